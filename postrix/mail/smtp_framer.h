// Frames SMTP replies out of the data events of one connection. A reply is
// complete at the line whose code is followed by a blank (or nothing):
// "250-first\r\n250-second\r\n250 last\r\n" is one reply however the events
// cut it. One data event completes at most one reply; bytes after it in the
// same event are unsolicited (no command is outstanding) and are dropped.
#pragma once

#include <string>
#include <string_view>

#include "mail/reply_framer.h"

namespace postrix::mail {

class SmtpFramer final : public ReplyFramer {
public:
    // Replies longer than this end the send instead of growing without bound.
    static constexpr size_t kMaxReplyBytes = 64 * 1024;

    // Empty for an event without bytes; on Complete, reply() holds the whole
    // reply, line ends included.
    Result add(std::string_view bytes) override;
    std::string_view reply() const override { return reply_; }
    void clear() override;

private:
    std::string pending_;
    std::string reply_;
};

}  // namespace postrix::mail
