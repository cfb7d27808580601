// UTF-8 <-> UTF-16 transcoding with U+FFFD for ill-formed input, the same
// on every platform: the code-page conversions use it for ill-formed UTF-8
// (where Windows versions disagree on how many U+FFFD to give), and the
// POSIX file functions for the UTF-8 names of the file system.
#pragma once

#include <string>
#include <string_view>

namespace postrix::platform {

inline constexpr char16_t kReplacementCharacter = u'\uFFFD';

// Decodes all of bytes (NULs included) and appends the UTF-16 units to out.
// Each maximal ill-formed subpart becomes one U+FFFD, so "C3 28" gives
// U+FFFD U+0028.
void appendUtf8AsUtf16(std::string_view bytes, std::u16string& out);

// Encodes all of wide (NULs included); a lone surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view wide);

// Whether bytes are well-formed UTF-8 (no overlongs, surrogates or values
// beyond U+10FFFF).
bool isWellFormedUtf8(std::string_view bytes);

}  // namespace postrix::platform
