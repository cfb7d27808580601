// Base64 in one go (protocol arguments) and streamed in wrapped lines
// (message parts), checked against each other and against libb64's decoder;
// the ways of encoding whole lines (portable, SSSE3, AVX2) against a known
// text and each other. mime_base64_openssl_test checks them against OpenSSL
// where it is at hand.
#include <gtest/gtest.h>

// libb64 declares its functions without C linkage.
extern "C" {
#include <b64/cdecode.h>
}

#include <cstdint>
#include <string>
#include <vector>

#include "fixtures/base64_input.h"
#include "smtp/base64.h"

namespace postrix::smtp {
namespace {

using test::encodeInBlocks;
using test::randomBytes;

std::string decode(const std::string& text) {
    base64_decodestate state;
    base64_init_decodestate(&state);
    std::string out(text.size(), '\0');
    const auto n = base64_decode_block(text.data(), static_cast<int>(text.size()), out.data(), &state);
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find("\r\n", pos);
        EXPECT_NE(end, std::string::npos) << "text must end with CRLF";
        if (end == std::string::npos) break;
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

std::string bytePattern(std::size_t n) {
    std::string bytes(n, '\0');
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
    return bytes;
}

// The unwrapped text, for comparing with base64Encode.
std::string withoutCrlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c != '\r' && c != '\n') out += c;
    }
    return out;
}

TEST(Base64Encode, KnownVectors) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},           {"f", "Zg=="},         {"fo", "Zm8="},
        {"foo", "Zm9v"},    {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\xFF\xFE\x00", 3), "//4A"},
        {"zażółć", "emHFvMOzxYLEhw=="},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(base64Encode(in), out) << in;
}

TEST(Base64Encode, LongInputHasNoLineBreaks) {
    const std::string encoded = base64Encode(std::string(1000, 'x'));
    EXPECT_EQ(encoded.size(), 1336u);
    EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos);
}

TEST(Base64Encoder, EmptyStreamIsOneEmptyLine) {
    Base64Encoder encoder;
    std::string out;
    encoder.append("", out);
    EXPECT_EQ(out, "");
    encoder.finish(out);
    EXPECT_EQ(out, "\r\n");
}

TEST(Base64Encoder, WrapsAtSeventySixWithNoEmptyLastLine) {
    for (std::size_t n : {1u, 56u, 57u, 58u, 114u, 115u, 1000u}) {
        const std::string bytes = bytePattern(n);
        const std::string out = encodeInBlocks(bytes, {});
        const auto lines = linesOf(out);
        ASSERT_FALSE(lines.empty());
        for (std::size_t i = 0; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i].size(), 76u) << n;
        EXPECT_GT(lines.back().size(), 0u) << n;
        EXPECT_LE(lines.back().size(), 76u) << n;
        EXPECT_EQ(withoutCrlf(out), base64Encode(bytes)) << n;
    }
    // 57 bytes fill exactly one line: no break before the end.
    EXPECT_EQ(encodeInBlocks(bytePattern(57), {}).size(), 78u);
}

TEST(Base64Encoder, AnySplitIntoBlocksGivesTheSameText) {
    const std::string bytes = bytePattern(200);
    const std::string whole = encodeInBlocks(bytes, {});
    for (std::size_t a = 0; a <= bytes.size(); ++a) {
        EXPECT_EQ(encodeInBlocks(bytes, {a}), whole) << a;
    }
    // Many tiny blocks carry both the pending group and the line position.
    std::vector<std::size_t> everyByte;
    for (std::size_t i = 1; i < bytes.size(); ++i) everyByte.push_back(i);
    EXPECT_EQ(encodeInBlocks(bytes, everyByte), whole);
    EXPECT_EQ(decode(whole), bytes);
}

TEST(Base64Encoder, WritesEachCharacterOnceItsBitsAreKnown) {
    Base64Encoder encoder;
    std::string out;
    encoder.append("a", out);
    EXPECT_EQ(out, "Y");
    encoder.append("b", out);
    EXPECT_EQ(out, "YW");
    encoder.append("cd", out);
    EXPECT_EQ(out, "YWJjZ");
    encoder.finish(out);
    EXPECT_EQ(out, "YWJjZA==\r\n");
    // finish() leaves the encoder ready for a new stream.
    out.clear();
    encoder.append("abcde", out);
    encoder.finish(out);
    EXPECT_EQ(out, "YWJjZGU=\r\n");
}

TEST(Base64Encoder, MaxEncodedSizeBoundsEveryBlock) {
    const std::string bytes = bytePattern(20000);
    for (std::size_t first : {0u, 1u, 2u, 75u}) {
        Base64Encoder encoder;
        std::string out;
        encoder.append(std::string_view(bytes).substr(0, first), out);
        std::string block;
        encoder.append(std::string_view(bytes).substr(first, 16384), block);
        EXPECT_LE(block.size(), Base64Encoder::maxEncodedSize(16384 + 2)) << first;
    }
}

TEST(Base64Encoder, EncodedSizeIsTheLengthOfTheWholeStream) {
    // Every end of the last group and of the last line, then past 4 GiB.
    for (std::size_t n = 0; n <= 3 * Base64Encoder::kLineBytes + 3; ++n) {
        EXPECT_EQ(Base64Encoder::encodedSize(n), encodeInBlocks(bytePattern(n), {n / 2}).size()) << n;
    }
    const std::uint64_t lines = 100'000'000;  // of 57 bytes, 78 characters each
    EXPECT_EQ(Base64Encoder::encodedSize(lines * 57 + 1), lines * 78 + 4 + 2);
}

std::vector<Base64Path> supportedPaths() {
    std::vector<Base64Path> paths;
    for (Base64Path path : {Base64Path::portable, Base64Path::ssse3, Base64Path::avx2}) {
        if (base64PathSupported(path)) paths.push_back(path);
    }
    return paths;
}

TEST(Base64Paths, PortableAlwaysAndTheFastestAreSupported) {
    EXPECT_TRUE(base64PathSupported(Base64Path::portable));
    EXPECT_TRUE(base64PathSupported(fastestBase64Path()));
}

// Every byte value once up and once down: nine full lines through the line
// encoder and a padded last line (the text of coreutils' base64 -w 76).
TEST(Base64Paths, EachGivesTheKnownText) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    for (int i = 255; i >= 0; --i) bytes += static_cast<char>(i);
    const std::string expected =
        "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4\r\n"
        "OTo7PD0+P0BBQkNERUZHSElKS0xNTk9QUVJTVFVWV1hZWltcXV5fYGFiY2RlZmdoaWprbG1ub3Bx\r\n"
        "cnN0dXZ3eHl6e3x9fn+AgYKDhIWGh4iJiouMjY6PkJGSk5SVlpeYmZqbnJ2en6ChoqOkpaanqKmq\r\n"
        "q6ytrq+wsbKztLW2t7i5uru8vb6/wMHCw8TFxsfIycrLzM3Oz9DR0tPU1dbX2Nna29zd3t/g4eLj\r\n"
        "5OXm5+jp6uvs7e7v8PHy8/T19vf4+fr7/P3+///+/fz7+vn49/b19PPy8fDv7u3s6+rp6Ofm5eTj\r\n"
        "4uHg397d3Nva2djX1tXU09LR0M/OzczLysnIx8bFxMPCwcC/vr28u7q5uLe2tbSzsrGwr66trKuq\r\n"
        "qainpqWko6KhoJ+enZybmpmYl5aVlJOSkZCPjo2Mi4qJiIeGhYSDgoGAf359fHt6eXh3dnV0c3Jx\r\n"
        "cG9ubWxramloZ2ZlZGNiYWBfXl1cW1pZWFdWVVRTUlFQT05NTEtKSUhHRkVEQ0JBQD8+PTw7Ojk4\r\n"
        "NzY1NDMyMTAvLi0sKyopKCcmJSQjIiEgHx4dHBsaGRgXFhUUExIREA8ODQwLCgkIBwYFBAMCAQA=\r\n";
    for (Base64Path path : supportedPaths()) {
        EXPECT_EQ(encodeInBlocks(bytes, {}, path), expected) << static_cast<int>(path);
        // Started off the line boundary, so the lines reach the line encoder
        // at other offsets of the input.
        EXPECT_EQ(encodeInBlocks(bytes, {1, 5}, path), expected) << static_cast<int>(path);
    }
}

// The vector paths read and write whole vectors beyond a line inside a run
// of lines; every length up to a few lines, in blocks of every size from one
// byte to past a line, must give the portable text, which must decode back.
TEST(Base64Paths, AgreeWithThePortablePathAtEveryLengthAndBlockSize) {
    const std::string bytes = randomBytes(520, 7);
    for (std::size_t n = 0; n <= bytes.size(); n += (n < 240 ? 1 : 37)) {
        const std::string input = bytes.substr(0, n);
        const std::string expected = encodeInBlocks(input, {}, Base64Path::portable);
        ASSERT_EQ(decode(expected), input) << n;
        for (Base64Path path : supportedPaths()) {
            for (std::size_t block : {std::size_t{1}, std::size_t{2}, std::size_t{56}, std::size_t{57},
                                      std::size_t{58}, std::size_t{114}, std::size_t{200}}) {
                std::vector<std::size_t> cuts;
                for (std::size_t cut = block; cut < n; cut += block) cuts.push_back(cut);
                ASSERT_EQ(encodeInBlocks(input, cuts, path), expected)
                    << "path " << static_cast<int>(path) << " length " << n << " block " << block;
            }
        }
    }
}

// Large inputs in blocks of varying size, as files arrive from a reader.
TEST(Base64Paths, AgreeOnLargeInputsInUnevenBlocks) {
    const std::string bytes = randomBytes(300000, 99);
    std::vector<std::size_t> cuts;
    uint32_t seed = 5;
    for (std::size_t pos = 0;;) {
        seed = seed * 1664525u + 1013904223u;
        pos += 1 + (seed >> 16) % 20000;
        if (pos >= bytes.size()) break;
        cuts.push_back(pos);
    }
    const std::string expected = encodeInBlocks(bytes, {}, Base64Path::portable);
    EXPECT_EQ(decode(expected), bytes);
    for (Base64Path path : supportedPaths()) {
        EXPECT_EQ(encodeInBlocks(bytes, cuts, path), expected) << static_cast<int>(path);
        EXPECT_EQ(encodeInBlocks(bytes, {}, path), expected) << static_cast<int>(path);
    }
}

}  // namespace
}  // namespace postrix::smtp
