// Frames SMTP replies out of the data events of one connection. A reply is
// complete at the line whose code is followed by a blank (or nothing):
// "250-first\r\n250-second\r\n250 last\r\n" is one reply however the events
// cut it. One data event completes at most one reply; bytes after it in the
// same event are unsolicited (no command is outstanding) and are dropped.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace postrix::smtp {

class SmtpReplyReader {
public:
    // Replies longer than this end the send instead of growing without bound.
    static constexpr size_t kMaxReplyBytes = 64 * 1024;

    enum class Result { Incomplete, Complete, TooLong };

    // Adds one event's bytes; on Complete, reply() holds the whole reply.
    Result add(std::string_view bytes);
    const std::string& reply() const { return reply_; }
    void clear();

private:
    std::string pending_;
    std::string reply_;
};

}  // namespace postrix::smtp
