// The plain-text body as it travels in the DATA phase.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace postrix::smtp {

// Longest line a message may hold, without its CRLF.
inline constexpr std::size_t kMaxLineLength = 998;

// The text with every bare CR, bare LF and CRLF written as CRLF.
std::string withCrlfLineBreaks(std::string_view text);

// Whether the body must travel Base64-encoded: it holds a byte of 0x80 or
// above, a NUL, or a line longer than kMaxLineLength (text given with CRLF
// line breaks).
bool needsBase64(std::string_view crlfText);

// Whether a line of the text (given with CRLF line breaks) begins with
// prefix.
bool hasLineStartingWith(std::string_view crlfText, std::string_view prefix);

// The text with a second '.' in front of every line that begins with '.', so
// no line of the body can read as the end of the message.
std::string dotStuffed(std::string_view crlfText);

}  // namespace postrix::smtp
