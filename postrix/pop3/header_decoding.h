// Turning the header block of a new message (the reply to "TOP n 0") into
// the sender, subject and date that the new-mail notice shows.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "pop3/new_mail_entry.h"

namespace postrix::pop3 {

struct ParsedHeaders {
    NewMailEntry entry;
    // The first Date value that could not be read, if any; the session logs
    // dateFailureMessage(value) at level -1. One is enough: a block of many
    // bad Date lines must not flood the log.
    std::optional<std::string> unreadableDate;
};

// Reads From, Subject and Date out of a header block.
//
// The block is the text of the multi-line reply after its status line, as
// received: line ends CRLF or LF alone, with or without the terminating "."
// line (a line that is exactly "." ends the block; what follows it is
// ignored), and lines that begin with ".." are un-stuffed. An empty line ends
// the header section.
//
// Folded fields are unfolded first; names match in any letter case, with any
// white space after the colon. From (as a phrase) and Subject (as
// unstructured text) are decoded with decodeEncodedWord, Date with
// readMailDate (0 when it cannot be read, the first such value kept in
// unreadableDate). Fields are read in order, a later field of the same name
// replacing an earlier one, until the field on which all three names have
// been seen. A missing field leaves its member empty (date 0) and is not
// reported.
ParsedHeaders parseHeaders(std::string_view block);

// The log line for a Date value that could not be read; a long value is cut
// to its first kMaxLoggedDateBytes bytes (never inside a UTF-8 sequence).
inline constexpr std::size_t kMaxLoggedDateBytes = 256;
std::string dateFailureMessage(std::string_view dateValue);

}  // namespace postrix::pop3
