// Conversions between the plug-in's UTF-8 text, the host's UTF-16 text and
// the legacy code pages of mail headers. None of them fails loudly: each
// converts the input up to its first NUL, turns ill-formed input into
// U+FFFD, and gives an empty result for a code page that is not supported.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace postrix::text {

// Code pages by their Windows numbers.
inline constexpr unsigned kCodePageUtf8 = 65001;
inline constexpr unsigned kCodePageIso8859_1 = 28591;
inline constexpr unsigned kCodePageIso8859_2 = 28592;
inline constexpr unsigned kCodePageWindows1250 = 1250;
inline constexpr unsigned kCodePageWindows1252 = 1252;

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string wideToUtf8(std::u16string_view wide);

// UTF-8 to UTF-16; each ill-formed sequence becomes U+FFFD.
std::u16string utf8ToWide(std::string_view utf8);

// Bytes in a code page to UTF-16.
std::u16string codePageToWide(std::string_view bytes, unsigned codePage);

// Bytes in a code page to UTF-8. Empty input gives empty output at once.
std::string codePageToUtf8(std::string_view bytes, unsigned codePage);

// Bytes in a MIME charset (any letter case) to UTF-8; empty optional when
// the charset is unknown.
std::optional<std::string> charsetToUtf8(std::string_view bytes, std::string_view charset);

}  // namespace postrix::text
