// Byte-text conversions the operating system provides. Every conversion
// stops at the first NUL, turns ill-formed input into U+FFFD and never
// fails loudly: an unsupported code page or charset gives an empty result.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace postrix::platform {

inline constexpr unsigned kCodePageUtf8 = 65001;
inline constexpr unsigned kCodePageLatin1 = 28591;
inline constexpr unsigned kCodePageLatin2 = 28592;
inline constexpr unsigned kCodePageWindows1250 = 1250;
inline constexpr unsigned kCodePageWindows1252 = 1252;

// Bytes in a Windows code page to UTF-16. Empty for an unsupported page.
std::u16string codePageBytesToWide(std::string_view bytes, unsigned codePage);

// UTF-16 to UTF-8 bytes (lone surrogates become U+FFFD).
std::string wideToUtf8Bytes(std::u16string_view wide);

// Bytes in a MIME charset (any letter case, e.g. "iso-8859-15") to UTF-16.
// Empty optional when the charset is unknown to the platform.
std::optional<std::u16string> charsetBytesToWide(std::string_view bytes, std::string_view charset);

}  // namespace postrix::platform
