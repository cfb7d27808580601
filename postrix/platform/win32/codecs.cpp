// The byte-text conversions on Windows: MultiByteToWideChar and
// WideCharToMultiByte, with the same results as the POSIX tables wherever
// Windows versions (and Wine) disagree among themselves: ill-formed UTF-8
// and lone surrogates, bytes a multi-byte code page rejects, and plain
// ASCII. MIME charset names map to Windows code pages; the UTF-16 and
// UTF-32 forms, which MultiByteToWideChar does not decode, are decoded here.
#include "platform/codecs.h"

#include "platform/utf8.h"
#include "platform/win32/windows_api.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <initializer_list>
#include <limits>
#include <vector>

namespace postrix::platform {

namespace {

// Windows' number for US-ASCII. Windows folds bytes 80..FF onto 00..7F;
// here they are not ASCII and decode to U+FFFD, as on POSIX.
constexpr unsigned kAscii = 20127;
// Charsets decoded here rather than by the system, numbered as Windows
// numbers them (12000 and 12001 are .NET's numbers for UTF-32).
constexpr unsigned kUtf16Le = 1200;
constexpr unsigned kUtf16Be = 1201;
constexpr unsigned kUtf16 = 1202;  // byte-order mark, else big-endian
constexpr unsigned kUtf32Le = 12000;
constexpr unsigned kUtf32Be = 12001;
constexpr unsigned kUtf32 = 12002;  // byte-order mark, else big-endian

template <typename Text>
Text beforeFirstNul(Text text) {
    const auto nul = text.find(typename Text::value_type(0));
    return nul == Text::npos ? text : text.substr(0, nul);
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

std::string lowerCase(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}

struct CharsetAlias {
    std::string_view name;
    unsigned codePage;
    unsigned fallback = 0;  // used when the system lacks codePage; 0 for none
};

// Names (lower case) of the charsets mail uses, beyond the ISO-8859 and
// Windows-125x families that codePagesOf reads from the name.
const CharsetAlias kCharsets[] = {
    {"utf-8", kCodePageUtf8},
    {"utf8", kCodePageUtf8},
    {"us-ascii", kAscii},
    {"ascii", kAscii},
    {"ansi_x3.4-1968", kAscii},
    {"latin1", kCodePageLatin1},
    {"l1", kCodePageLatin1},
    {"cp819", kCodePageLatin1},
    {"iso-ir-100", kCodePageLatin1},
    {"latin2", kCodePageLatin2},
    {"l2", kCodePageLatin2},
    {"iso-ir-101", kCodePageLatin2},
    {"koi8-r", 20866},
    {"koi8-u", 21866},
    {"ibm866", 866},
    {"cp866", 866},
    {"windows-874", 874},
    {"tis-620", 874},
    {"gb2312", 936},
    {"gbk", 936},
    {"cp936", 936},
    {"x-gbk", 936},
    {"euc-cn", 936},
    {"gb18030", 54936},
    {"big5", 950},
    {"cp950", 950},
    {"shift_jis", 932},
    {"shift-jis", 932},
    {"sjis", 932},
    {"x-sjis", 932},
    {"ms_kanji", 932},
    {"cp932", 932},
    {"windows-31j", 932},
    {"euc-jp", 20932, 51932},
    {"x-euc-jp", 20932, 51932},
    {"iso-2022-jp", 50220},
    {"euc-kr", 949, 51949},
    {"ks_c_5601-1987", 949},
    {"ks_c_5601-1989", 949},
    {"cp949", 949},
    {"iso-2022-kr", 50225},
    {"utf-7", 65000},
    {"utf-16le", kUtf16Le},
    {"utf-16be", kUtf16Be},
    {"utf-16", kUtf16},
    {"utf-32le", kUtf32Le},
    {"utf-32be", kUtf32Be},
    {"utf-32", kUtf32},
};

// The number after one of the prefixes, with an optional ":year" after it
// ("iso_8859-1:1987"); empty when the name is not of that form.
std::optional<unsigned> numberAfter(std::string_view name, std::initializer_list<std::string_view> prefixes) {
    for (const std::string_view prefix : prefixes) {
        if (name.substr(0, prefix.size()) != prefix) continue;
        std::string_view rest = name.substr(prefix.size());
        const size_t colon = rest.find(':');
        if (colon != std::string_view::npos) rest = rest.substr(0, colon);
        unsigned number = 0;
        const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), number);
        if (error == std::errc() && end == rest.data() + rest.size() && !rest.empty()) return number;
    }
    return std::nullopt;
}

// The Windows code pages that decode charset, best first.
std::vector<unsigned> codePagesOf(std::string_view charset) {
    const std::string name = lowerCase(charset);
    if (const auto part = numberAfter(name, {"iso-8859-", "iso8859-", "iso_8859-"})) {
        // ISO-8859-11 is Thai, which Windows has as code page 874.
        if (*part == 11) return {874};
        if (*part >= 1 && *part <= 16 && *part != 12) return {28590 + *part};
        return {};
    }
    if (const auto page = numberAfter(name, {"windows-", "cp", "x-cp"}); page && *page >= 1250 && *page <= 1258) {
        return {*page};
    }
    for (const CharsetAlias& alias : kCharsets) {
        if (alias.name != name) continue;
        if (alias.fallback == 0) return {alias.codePage};
        return {alias.codePage, alias.fallback};
    }
    return {};
}

bool decodedHere(unsigned codePage) {
    return codePage == kAscii || codePage == kUtf16Le || codePage == kUtf16Be || codePage == kUtf16 ||
           codePage == kUtf32Le || codePage == kUtf32Be || codePage == kUtf32;
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

uint32_t unitAt(std::string_view bytes, size_t pos, size_t size, bool bigEndian) {
    uint32_t value = 0;
    for (size_t i = 0; i < size; ++i) {
        const uint32_t byte = static_cast<unsigned char>(bytes[pos + (bigEndian ? i : size - 1 - i)]);
        value = (value << 8) | byte;
    }
    return value;
}

void appendCodePoint(char32_t codePoint, std::u16string& out) {
    if (codePoint < 0x10000) {
        out.push_back(char16_t(codePoint));
    } else {
        codePoint -= 0x10000;
        out.push_back(char16_t(0xD800 + (codePoint >> 10)));
        out.push_back(char16_t(0xDC00 + (codePoint & 0x3FF)));
    }
}

bool isHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// UTF-16 or UTF-32 bytes; a lone surrogate, a value beyond U+10FFFF and a
// unit cut at the end each become U+FFFD. Without a byte order in the
// name, a leading byte-order mark decides it, else big-endian.
std::u16string unicodeFormToWide(std::string_view bytes, unsigned codePage) {
    const size_t unitSize = codePage == kUtf32Le || codePage == kUtf32Be || codePage == kUtf32 ? 4 : 2;
    bool bigEndian = codePage == kUtf16Be || codePage == kUtf32Be;
    if (codePage == kUtf16 || codePage == kUtf32) {
        bigEndian = true;
        if (bytes.size() >= unitSize) {
            const uint32_t mark = unitAt(bytes, 0, unitSize, true);
            const uint32_t swapped = unitAt(bytes, 0, unitSize, false);
            if (mark == 0xFEFF || swapped == 0xFEFF) {
                bigEndian = mark == 0xFEFF;
                bytes.remove_prefix(unitSize);
            }
        }
    }
    std::u16string out;
    size_t pos = 0;
    for (; pos + unitSize <= bytes.size(); pos += unitSize) {
        const uint32_t unit = unitAt(bytes, pos, unitSize, bigEndian);
        if (unitSize == 4) {
            const bool valid = unit <= 0x10FFFF && !isHighSurrogate(unit) && !isLowSurrogate(unit);
            appendCodePoint(valid ? char32_t(unit) : kReplacementCharacter, out);
        } else if (isHighSurrogate(unit) && pos + 2 * unitSize <= bytes.size() &&
                   isLowSurrogate(unitAt(bytes, pos + unitSize, unitSize, bigEndian))) {
            out.push_back(char16_t(unit));
            out.push_back(char16_t(unitAt(bytes, pos + unitSize, unitSize, bigEndian)));
            pos += unitSize;
        } else {
            out.push_back(isHighSurrogate(unit) || isLowSurrogate(unit) ? kReplacementCharacter : char16_t(unit));
        }
    }
    if (pos < bytes.size()) out.push_back(kReplacementCharacter);
    return out;
}

// Code pages whose conversions take no flags: the stateful ISO-2022 forms,
// UTF-7 and the like. They cannot report bad bytes, so what Windows makes
// of them stands.
bool takesNoFlags(unsigned codePage) {
    return (codePage >= 50220 && codePage <= 50229) || (codePage >= 57002 && codePage <= 57011) ||
           codePage == 65000 || codePage == 42;
}

// Converts bytes as a whole; empty optional when the system refuses them.
std::optional<std::u16string> systemDecode(std::string_view bytes, unsigned codePage, DWORD flags) {
    if (bytes.empty()) return std::u16string();
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(codePage, flags, bytes.data(), size, nullptr, 0);
    if (length <= 0) return std::nullopt;
    std::wstring wide(static_cast<size_t>(length), L'\0');
    if (MultiByteToWideChar(codePage, flags, bytes.data(), size, wide.data(), length) != length) return std::nullopt;
    return win32::fromWide(wide);
}

// Bytes of a code page Windows decodes, with U+FFFD for every byte that
// starts no character the page defines (and for a character cut at the
// end), then on with the next byte, as iconv does on POSIX. Windows itself
// gives private-use or look-alike characters for such bytes, differently
// from version to version.
std::u16string systemBytesToWide(std::string_view bytes, unsigned codePage) {
    if (bytes.size() > size_t(std::numeric_limits<int>::max())) bytes = bytes.substr(0, std::numeric_limits<int>::max());
    if (takesNoFlags(codePage)) return systemDecode(bytes, codePage, 0).value_or(std::u16string());
    if (auto whole = systemDecode(bytes, codePage, MB_ERR_INVALID_CHARS)) return std::move(*whole);
    if (codePage == kCodePageUtf8) {
        // Windows versions differ in how many U+FFFD ill-formed UTF-8 gives;
        // the shared decoder gives one for each maximal ill-formed subpart.
        std::u16string out;
        appendUtf8AsUtf16(bytes, out);
        return out;
    }
    CPINFO info{};
    const size_t longest = GetCPInfo(codePage, &info) ? std::max<size_t>(info.MaxCharSize, 1) : 1;
    std::u16string out;
    size_t pos = 0;
    while (pos < bytes.size()) {
        std::optional<std::u16string> character;
        size_t length = 1;
        for (; length <= longest && pos + length <= bytes.size(); ++length) {
            character = systemDecode(bytes.substr(pos, length), codePage, MB_ERR_INVALID_CHARS);
            if (character) break;
        }
        if (character) {
            out += *character;
            pos += length;
        } else {
            out.push_back(kReplacementCharacter);
            ++pos;
        }
    }
    return out;
}

std::u16string decode(std::string_view bytes, unsigned codePage) {
    if (codePage == kAscii) return asciiToWide(bytes);
    if (decodedHere(codePage)) return unicodeFormToWide(bytes, codePage);
    return systemBytesToWide(bytes, codePage);
}

bool isSupportedCodePage(unsigned codePage) {
    return codePage == kCodePageUtf8 || codePage == kCodePageLatin1 || codePage == kCodePageLatin2 ||
           codePage == kCodePageWindows1250 || codePage == kCodePageWindows1252;
}

}  // namespace

std::u16string codePageBytesToWide(std::string_view bytes, unsigned codePage) {
    // The same five pages as on POSIX, so that no page works on one system
    // only.
    if (!isSupportedCodePage(codePage)) return {};
    return systemBytesToWide(beforeFirstNul(bytes), codePage);
}

std::string wideToUtf8Bytes(std::u16string_view wide) {
    std::wstring text = win32::toWide(beforeFirstNul(wide));
    // WideCharToMultiByte's handling of lone surrogates varies with the
    // Windows version: they are replaced before it sees them.
    for (size_t i = 0; i < text.size(); ++i) {
        if (isHighSurrogate(text[i]) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            ++i;
        } else if (isHighSurrogate(text[i]) || isLowSurrogate(text[i])) {
            text[i] = static_cast<wchar_t>(kReplacementCharacter);
        }
    }
    if (text.empty() || text.size() > size_t(std::numeric_limits<int>::max()) / 3) return {};
    const int size = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), length, nullptr, nullptr);
    return out;
}

std::optional<std::u16string> charsetBytesToWide(std::string_view bytes, std::string_view charset) {
    for (const unsigned codePage : codePagesOf(charset)) {
        if (!decodedHere(codePage) && !IsValidCodePage(codePage)) continue;
        // Multi-byte charsets such as UTF-16 hold zero bytes inside
        // characters, so the first NUL character ends the text, not the
        // first zero byte.
        const std::u16string wide = decode(bytes, codePage);
        return std::u16string(beforeFirstNul(std::u16string_view(wide)));
    }
    return std::nullopt;
}

}  // namespace postrix::platform
