// RFC 2047 encoded words ("=?charset?B?...?=", "=?charset?Q?...?=") in
// header values, decoded to UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace postrix::pop3 {

// What kind of text a header value is, which decides what may stand next to
// an encoded word: in unstructured text (Subject) only white space, in a
// phrase (the display names of From) also the specials that delimit words
// there: '"', '(', ')', '<', '>', ',', ';' and ':'.
enum class HeaderText { Unstructured, Phrase };

// Decodes every encoded word of a header value (both the "B" and the "Q"
// form, any letter case) and gives the value as UTF-8:
// - an encoded word counts only as a whole word (RFC 2047 section 5): at the
//   start or end of the value, next to white space, next to another encoded
//   word, or in a phrase next to a special; glued to other text ("x=?...?=y")
//   it is text;
// - text outside encoded words is kept as received;
// - white space between two adjacent encoded words is dropped, and adjacent
//   words in the same charset are joined before conversion, so a character
//   whose bytes were split over two words survives;
// - a word in a charset the platform does not know, or a malformed word, is
//   left exactly as received;
// - NUL bytes are dropped wherever they come from.
std::string decodeEncodedWord(std::string_view value, HeaderText kind = HeaderText::Unstructured);

// The bytes of base64 text (libb64's block decoder with a fresh state):
// characters outside the alphabet are skipped, an unfinished last group
// gives the bytes it completes. NUL bytes are kept.
std::string base64Decode(std::string_view text);

// The bytes of the "Q" form: "_" is a space, "=XX" a hexadecimal byte, any
// other character itself. Empty optional for an "=" without two hex digits.
std::optional<std::string> quotedDecode(std::string_view text);

}  // namespace postrix::pop3
