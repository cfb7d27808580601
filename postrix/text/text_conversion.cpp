#include "text/text_conversion.h"

#include "platform/codecs.h"

namespace postrix::text {

static_assert(kCodePageUtf8 == platform::kCodePageUtf8);
static_assert(kCodePageIso8859_1 == platform::kCodePageLatin1);
static_assert(kCodePageIso8859_2 == platform::kCodePageLatin2);
static_assert(kCodePageWindows1250 == platform::kCodePageWindows1250);
static_assert(kCodePageWindows1252 == platform::kCodePageWindows1252);

std::string wideToUtf8(std::u16string_view wide) {
    return platform::wideToUtf8Bytes(wide);
}

std::u16string utf8ToWide(std::string_view utf8) {
    return platform::codePageBytesToWide(utf8, kCodePageUtf8);
}

std::u16string codePageToWide(std::string_view bytes, unsigned codePage) {
    return platform::codePageBytesToWide(bytes, codePage);
}

std::string codePageToUtf8(std::string_view bytes, unsigned codePage) {
    if (bytes.empty()) return {};
    return wideToUtf8(codePageToWide(bytes, codePage));
}

std::optional<std::string> charsetToUtf8(std::string_view bytes, std::string_view charset) {
    const auto wide = platform::charsetBytesToWide(bytes, charset);
    if (!wide) return std::nullopt;
    return wideToUtf8(*wide);
}

}  // namespace postrix::text
