// Texts for message header lines: encoded words for non-ASCII text,
// display names, the To field and the recipients list.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace postrix::smtp {

// Longest encoded word written; the Base64 part of one word then carries at
// most 45 bytes of text.
inline constexpr std::size_t kMaxEncodedWordLength = 75;

// Plain ASCII text longer than this is written as encoded words, which can be
// folded, so the header line stays within the 998-byte line limit.
inline constexpr std::size_t kMaxPlainHeaderText = 900;

// CR, LF and NUL can never stand in a header: a CRLF pair becomes one space,
// any other CR, LF or NUL becomes a space.
std::string withoutLineBreaks(std::string_view text);

// Header text for an unstructured field such as Subject. Line breaks are
// first replaced by spaces (see above). ASCII text up to kMaxPlainHeaderText
// bytes is returned unchanged; other text becomes "=?UTF-8?B?...?=" encoded
// words of at most kMaxEncodedWordLength characters, each word holding whole
// UTF-8 characters, joined by CRLF and a space (a folded continuation line).
std::string encodeHeaderText(std::string_view text);

// Display name for an address field: like encodeHeaderText, but ASCII text
// holding a character that would end or break the name in an address
// ( ( ) < > [ ] : ; @ \ , " ) is also encoded, so "Kowalski, Jan" stays one
// name rather than reading as two addresses.
std::string encodeDisplayName(std::string_view name);

// The addresses joined with ", " in order; none gives the empty text.
std::string joinRecipients(const std::vector<std::string>& recipients);

// The value of the To field, after "To: ". One address gives
// name + " <" + address + ">" (an empty name leaves the blank before '<').
// Several give the name on the first address and every further address as
// its own mailbox on a continuation line: name <a@x>,CRLF <b@y>.
std::string toFieldValue(std::string_view recipientName,
                         const std::vector<std::string>& recipients);

}  // namespace postrix::smtp
