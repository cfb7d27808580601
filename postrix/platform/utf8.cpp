#include "platform/utf8.h"

#include <cstdint>

namespace postrix::platform {

namespace {

struct SequenceShape {
    int length;          // total bytes, 0 for a byte that cannot start one
    uint8_t secondLow;   // allowed range of the second byte; the later
    uint8_t secondHigh;  // bytes are always 80..BF
    char32_t leadBits;
};

// The well-formed shapes of UTF-8: the lead byte fixes the length and the
// range of the second byte, which is what excludes overlongs, surrogates
// and values beyond U+10FFFF.
SequenceShape shapeOf(uint8_t lead) {
    if (lead < 0x80) return {1, 0, 0, lead};
    if (lead < 0xC2) return {0, 0, 0, 0};
    if (lead < 0xE0) return {2, 0x80, 0xBF, char32_t(lead & 0x1F)};
    if (lead == 0xE0) return {3, 0xA0, 0xBF, char32_t(lead & 0x0F)};
    if (lead == 0xED) return {3, 0x80, 0x9F, char32_t(lead & 0x0F)};
    if (lead < 0xF0) return {3, 0x80, 0xBF, char32_t(lead & 0x0F)};
    if (lead == 0xF0) return {4, 0x90, 0xBF, char32_t(lead & 0x07)};
    if (lead < 0xF4) return {4, 0x80, 0xBF, char32_t(lead & 0x07)};
    if (lead == 0xF4) return {4, 0x80, 0x8F, char32_t(lead & 0x07)};
    return {0, 0, 0, 0};
}

// Reads one code point at pos. Returns the number of bytes consumed (at
// least 1) and sets valid; an ill-formed subpart is consumed up to, not
// including, the first byte that does not fit.
size_t decodeOne(std::string_view bytes, size_t pos, char32_t& codePoint, bool& valid) {
    const SequenceShape shape = shapeOf(uint8_t(bytes[pos]));
    valid = false;
    if (shape.length == 0) return 1;
    char32_t value = shape.leadBits;
    for (int i = 1; i < shape.length; ++i) {
        if (pos + i >= bytes.size()) return size_t(i);
        const uint8_t unit = uint8_t(bytes[pos + i]);
        const uint8_t low = i == 1 ? shape.secondLow : 0x80;
        const uint8_t high = i == 1 ? shape.secondHigh : 0xBF;
        if (unit < low || unit > high) return size_t(i);
        value = (value << 6) | (unit & 0x3F);
    }
    codePoint = value;
    valid = true;
    return size_t(shape.length);
}

void appendCodePoint(char32_t codePoint, std::string& out) {
    if (codePoint < 0x80) {
        out.push_back(char(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(char(0xC0 | (codePoint >> 6)));
        out.push_back(char(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(char(0xE0 | (codePoint >> 12)));
        out.push_back(char(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(char(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (codePoint >> 18)));
        out.push_back(char(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(char(0x80 | (codePoint & 0x3F)));
    }
}

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

void appendUtf8AsUtf16(std::string_view bytes, std::u16string& out) {
    out.reserve(out.size() + bytes.size());
    size_t pos = 0;
    while (pos < bytes.size()) {
        char32_t codePoint = 0;
        bool valid = false;
        pos += decodeOne(bytes, pos, codePoint, valid);
        if (!valid) {
            out.push_back(kReplacementCharacter);
        } else if (codePoint < 0x10000) {
            out.push_back(char16_t(codePoint));
        } else {
            codePoint -= 0x10000;
            out.push_back(char16_t(0xD800 + (codePoint >> 10)));
            out.push_back(char16_t(0xDC00 + (codePoint & 0x3FF)));
        }
    }
}

std::string utf16ToUtf8(std::u16string_view wide) {
    std::string out;
    out.reserve(wide.size() * 3);
    for (size_t i = 0; i < wide.size(); ++i) {
        const char16_t unit = wide[i];
        if (isHighSurrogate(unit) && i + 1 < wide.size() && isLowSurrogate(wide[i + 1])) {
            appendCodePoint(0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(wide[i + 1]) - 0xDC00), out);
            ++i;
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            appendCodePoint(kReplacementCharacter, out);
        } else {
            appendCodePoint(unit, out);
        }
    }
    return out;
}

bool isWellFormedUtf8(std::string_view bytes) {
    size_t pos = 0;
    while (pos < bytes.size()) {
        char32_t codePoint = 0;
        bool valid = false;
        pos += decodeOne(bytes, pos, codePoint, valid);
        if (!valid) return false;
    }
    return true;
}

}  // namespace postrix::platform
