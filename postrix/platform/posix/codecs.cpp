// The byte-text conversions on POSIX systems: own tables for the code pages
// the mail headers use, the own UTF-8 codec, and iconv for other charsets.
#include "platform/codecs.h"

#include "platform/posix/iconv_decoder.h"
#include "platform/posix/single_byte_tables.h"
#include "platform/utf8.h"

#include <algorithm>
#include <array>

namespace postrix::platform {

namespace {

constexpr unsigned kAscii = 20127;  // Windows' number for US-ASCII

template <typename Text>
Text beforeFirstNul(Text text) {
    const auto nul = text.find(typename Text::value_type(0));
    return nul == Text::npos ? text : text.substr(0, nul);
}

struct CharsetAlias {
    std::string_view name;
    unsigned codePage;
};

// Names (lower case) of the charsets decoded with the own tables.
constexpr std::array kOwnCharsets{
    CharsetAlias{"utf-8", kCodePageUtf8},           CharsetAlias{"utf8", kCodePageUtf8},
    CharsetAlias{"us-ascii", kAscii},               CharsetAlias{"ascii", kAscii},
    CharsetAlias{"ansi_x3.4-1968", kAscii},         CharsetAlias{"iso-8859-1", kCodePageLatin1},
    CharsetAlias{"iso8859-1", kCodePageLatin1},     CharsetAlias{"iso_8859-1", kCodePageLatin1},
    CharsetAlias{"iso_8859-1:1987", kCodePageLatin1}, CharsetAlias{"latin1", kCodePageLatin1},
    CharsetAlias{"l1", kCodePageLatin1},            CharsetAlias{"cp819", kCodePageLatin1},
    CharsetAlias{"iso-ir-100", kCodePageLatin1},    CharsetAlias{"iso-8859-2", kCodePageLatin2},
    CharsetAlias{"iso8859-2", kCodePageLatin2},     CharsetAlias{"iso_8859-2", kCodePageLatin2},
    CharsetAlias{"iso_8859-2:1987", kCodePageLatin2}, CharsetAlias{"latin2", kCodePageLatin2},
    CharsetAlias{"l2", kCodePageLatin2},            CharsetAlias{"iso-ir-101", kCodePageLatin2},
    CharsetAlias{"windows-1250", kCodePageWindows1250}, CharsetAlias{"cp1250", kCodePageWindows1250},
    CharsetAlias{"x-cp1250", kCodePageWindows1250}, CharsetAlias{"windows-1252", kCodePageWindows1252},
    CharsetAlias{"cp1252", kCodePageWindows1252},   CharsetAlias{"x-cp1252", kCodePageWindows1252},
};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) {
               return lower(x) == lower(y);
           });
}

std::optional<unsigned> ownCodePageOf(std::string_view charset) {
    for (const CharsetAlias& alias : kOwnCharsets) {
        if (equalsIgnoringCase(alias.name, charset)) return alias.codePage;
    }
    return std::nullopt;
}

// Plain ASCII: bytes 80..FF are not ASCII and decode to U+FFFD.
std::u16string asciiToWide(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        out.push_back(value < 0x80 ? char16_t(value) : kReplacementCharacter);
    }
    return out;
}

std::u16string decodeOwn(std::string_view bytes, unsigned codePage) {
    if (codePage == kAscii) return asciiToWide(bytes);
    return codePageBytesToWide(bytes, codePage);
}

}  // namespace

std::u16string codePageBytesToWide(std::string_view bytes, unsigned codePage) {
    bytes = beforeFirstNul(bytes);
    std::u16string out;
    if (codePage == kCodePageUtf8) {
        appendUtf8AsUtf16(bytes, out);
    } else if (const posix::UpperHalf* upperHalf = posix::upperHalfOf(codePage)) {
        posix::appendSingleByteAsUtf16(bytes, *upperHalf, out);
    }
    return out;
}

std::string wideToUtf8Bytes(std::u16string_view wide) {
    return utf16ToUtf8(beforeFirstNul(wide));
}

std::optional<std::u16string> charsetBytesToWide(std::string_view bytes, std::string_view charset) {
    if (const auto codePage = ownCodePageOf(charset)) return decodeOwn(beforeFirstNul(bytes), *codePage);
    // Multi-byte charsets such as UTF-16 hold zero bytes inside characters,
    // so here the first NUL character ends the text, not the first zero byte.
    auto wide = posix::iconvToUtf16(bytes, charset);
    if (wide) *wide = std::u16string(beforeFirstNul(std::u16string_view(*wide)));
    return wide;
}

}  // namespace postrix::platform
