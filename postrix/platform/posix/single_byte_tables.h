// The single-byte code pages the mail headers use, decoded without help
// from the system: ISO-8859-1, ISO-8859-2, Windows-1250 and Windows-1252.
// Bytes 00..7F are ASCII in all of them.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace postrix::platform::posix {

using UpperHalf = std::array<char16_t, 128>;

// The UTF-16 values of bytes 80..FF of a code page, or nullptr when the
// page is not one of the four.
const UpperHalf* upperHalfOf(unsigned codePage);

// Decodes every byte of bytes (NULs included) and appends it to out.
void appendSingleByteAsUtf16(std::string_view bytes, const UpperHalf& upperHalf, std::u16string& out);

}  // namespace postrix::platform::posix
