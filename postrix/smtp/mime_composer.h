// Writes an OutgoingMail as a MIME message for the DATA phase: the header
// block, a plain-text part and one Base64 part per attachment, streamed from
// the files in blocks, ending with the line that holds a single dot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "smtp/message_sink.h"
#include "smtp/outgoing_mail.h"

namespace postrix::smtp {

// Attachments are read and encoded this many bytes at a time.
inline constexpr std::size_t kAttachmentBlockSize = 16384;

// The multipart boundary parameter; delimiter lines read "--" followed by it.
inline constexpr std::string_view kBoundary = "--boundary_postrix";

struct ComposeResult {
    enum class Outcome {
        sent,        // every piece went out, the final "." line included
        sendFailed,  // the sink refused a piece and has reported it already
        error,       // the message could not be built; errorText says why
    };

    Outcome outcome = Outcome::sent;
    std::string errorText;

    static ComposeResult sent() { return {}; }
    static ComposeResult sendFailed() { return {Outcome::sendFailed, {}}; }
    static ComposeResult error(std::string text) { return {Outcome::error, std::move(text)}; }
};

// The error text for the first attachment that names no regular file or
// cannot be opened; empty when every one can be read. Checked before
// connecting, so a bad file sends nothing; composeMessage checks each file
// again as it opens it.
std::optional<std::string> attachmentsProblem(const OutgoingMail& mail);

// What the text of a message depends on besides the sender and the mail:
// the Date header's text and the size of each attachment. Taken once before
// the transaction, it makes the size announced in MAIL FROM and the text
// sent after DATA come from the same values.
struct MessageFrame {
    std::string date;
    std::vector<std::uint64_t> attachmentSizes;  // in the order of mail.attachments
};

// The frame as of now: the current date and the size of every file, each
// opened but none read. On failure, the error text composeMessage would give
// (unknown local time zone, a file that cannot be opened) and frame is left
// partly filled.
std::optional<std::string> takeMessageFrame(const OutgoingMail& mail, MessageFrame& frame);

// The size of the message composeMessage sends with this frame, as RFC 1870
// defines it for the SIZE parameter of MAIL FROM: the bytes sent after the
// 354 reply, CRLF pairs included, but neither the dots doubled so that a body
// line cannot read as the end of the message nor the final ".\r\n" line.
// Measured on the same text the composer builds; each attachment's Base64
// counted from its size in the frame.
std::uint64_t messageSize(std::string_view senderAddress, const OutgoingMail& mail,
                          const MessageFrame& frame);

// Builds the message from senderAddress, mail and frame and transmits it
// through sink. Pieces: the header block with the text part (and the first
// part head) together; per attachment its part head (after the first), each
// encoded block of the file, and a last piece with the padding and CRLF;
// finally the closing delimiter (when there are attachments) with ".\r\n".
// Stops at the first refused piece. A file that is no regular file, cannot be
// read, or whose size differs from the frame's or changes while it is sent
// ends it with an error. On an error result, pieces may already have gone out
// and the caller must end the transaction rather than complete it.
ComposeResult composeMessage(std::string_view senderAddress, const OutgoingMail& mail,
                             const MessageFrame& frame, MessageSink& sink);

// The same with the frame taken as it starts (takeMessageFrame's errors come
// before any piece).
ComposeResult composeMessage(std::string_view senderAddress, const OutgoingMail& mail,
                             MessageSink& sink);

}  // namespace postrix::smtp
