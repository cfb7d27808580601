// Base64 in one go (protocol arguments) and streamed in wrapped lines
// (message parts), checked against each other and against libb64's decoder.
#include <gtest/gtest.h>

// libb64 declares its functions without C linkage.
extern "C" {
#include <b64/cdecode.h>
}

#include <string>
#include <vector>

#include "smtp/base64.h"

namespace postrix::smtp {
namespace {

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

std::string encodeInBlocks(const std::string& bytes, const std::vector<std::size_t>& cuts) {
    Base64Encoder encoder;
    std::string out;
    std::size_t pos = 0;
    for (std::size_t cut : cuts) {
        encoder.append(std::string_view(bytes).substr(pos, cut - pos), out);
        pos = cut;
    }
    encoder.append(std::string_view(bytes).substr(pos), out);
    encoder.finish(out);
    return out;
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

}  // namespace
}  // namespace postrix::smtp
