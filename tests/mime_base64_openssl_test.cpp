// The streaming Base64 encoder on each way of encoding lines this CPU runs,
// against OpenSSL's EVP_EncodeBlock with CRLF put in after every 76
// characters. Built where OpenSSL is (not in the Windows build).
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fixtures/base64_input.h"
#include "smtp/base64.h"

namespace postrix::smtp {
namespace {

using test::encodeInBlocks;
using test::randomBytes;

// OpenSSL's text in 76-character lines, each ended by CRLF; an empty input
// gives one empty line, as the encoder's does.
std::string reference(const std::string& bytes) {
    std::string flat((bytes.size() + 2) / 3 * 4 + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(flat.data()),
                                  reinterpret_cast<const unsigned char*>(bytes.data()),
                                  static_cast<int>(bytes.size()));
    flat.resize(static_cast<std::size_t>(n));
    std::string wrapped;
    for (std::size_t pos = 0; pos < flat.size(); pos += 76) wrapped += flat.substr(pos, 76) + "\r\n";
    return wrapped.empty() ? "\r\n" : wrapped;
}

class Base64AgainstOpenSsl : public testing::TestWithParam<Base64Path> {
protected:
    void SetUp() override {
        if (!base64PathSupported(GetParam())) GTEST_SKIP() << "this CPU cannot run the path";
    }
};

TEST_P(Base64AgainstOpenSsl, EveryLengthUpToFiveLines) {
    const std::string bytes = randomBytes(300, 1);
    for (std::size_t n = 0; n <= bytes.size(); ++n) {
        const std::string input = bytes.substr(0, n);
        ASSERT_EQ(encodeInBlocks(input, {}, GetParam()), reference(input)) << n;
    }
}

TEST_P(Base64AgainstOpenSsl, EverySplitIntoTwoBlocks) {
    for (std::size_t n : {171u, 172u, 230u, 300u}) {
        const std::string input = randomBytes(n, static_cast<uint32_t>(n));
        const std::string expected = reference(input);
        for (std::size_t cut = 0; cut <= n; ++cut) {
            ASSERT_EQ(encodeInBlocks(input, {cut}, GetParam()), expected) << n << " cut at " << cut;
        }
    }
}

TEST_P(Base64AgainstOpenSsl, LargeRandomInputs) {
    for (std::size_t n : {65536u, 1000003u, (4u << 20) + 2}) {
        const std::string input = randomBytes(n, static_cast<uint32_t>(n) * 3);
        const std::string expected = reference(input);
        EXPECT_EQ(encodeInBlocks(input, {}, GetParam()), expected) << n;
        // In the composer's blocks, then in blocks off the line size.
        for (std::size_t block : {16384u, 4099u}) {
            std::vector<std::size_t> cuts;
            for (std::size_t cut = block; cut < n; cut += block) cuts.push_back(cut);
            EXPECT_EQ(encodeInBlocks(input, cuts, GetParam()), expected) << n << " in blocks of " << block;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, Base64AgainstOpenSsl,
                         testing::Values(Base64Path::portable, Base64Path::ssse3, Base64Path::avx2),
                         [](const testing::TestParamInfo<Base64Path>& info) {
                             switch (info.param) {
                                 case Base64Path::portable: return "portable";
                                 case Base64Path::ssse3: return "ssse3";
                                 case Base64Path::avx2: return "avx2";
                             }
                             return "unknown";
                         });

}  // namespace
}  // namespace postrix::smtp
