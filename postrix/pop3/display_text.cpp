#include "pop3/display_text.h"

#include "text/text_conversion.h"

namespace postrix::pop3 {

namespace {

bool isControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

bool isBidiControl(char16_t c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

bool isHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

}  // namespace

std::string displayText(std::string_view utf8) {
    std::u16string shown;
    for (char16_t c : text::utf8ToWide(utf8)) {
        if (isBidiControl(c)) continue;
        shown += isControl(c) ? u' ' : c;
        if (shown.size() == kMaxDisplayUnits) break;
    }
    if (shown.size() == kMaxDisplayUnits && isHighSurrogate(shown.back())) shown.pop_back();
    return text::wideToUtf8(shown);
}

std::string cutToUnits(std::string_view utf8, std::size_t maxUnits) {
    std::u16string wide = text::utf8ToWide(utf8);
    if (wide.size() <= maxUnits) return std::string(utf8);
    size_t length = maxUnits;
    if (length > 0 && isHighSurrogate(wide[length - 1])) --length;
    wide.resize(length);
    return text::wideToUtf8(wide);
}

}  // namespace postrix::pop3
