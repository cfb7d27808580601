// Header text made safe to show: the sender and subject of a new message
// reach the new-mail notice and the news entries, where a control character
// could start a forged line and a bidirectional override could reverse a
// file name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace postrix::pop3 {

// The most UTF-16 units of one field that a notice or news entry shows.
inline constexpr std::size_t kMaxDisplayUnits = 256;

// The UTF-8 text as it may be shown: C0 and C1 controls, DEL and the line and
// paragraph separators (U+2028, U+2029) become a space; the bidirectional
// embeddings, overrides and isolates (U+202A to U+202E, U+2066 to U+2069)
// are removed; the result is cut to kMaxDisplayUnits UTF-16 units, never
// inside a surrogate pair.
std::string displayText(std::string_view utf8);

// The UTF-8 text cut to at most maxUnits UTF-16 units, never inside a
// surrogate pair (a message the host keeps in a fixed buffer).
std::string cutToUnits(std::string_view utf8, std::size_t maxUnits);

}  // namespace postrix::pop3
