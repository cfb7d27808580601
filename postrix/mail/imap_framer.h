// Frames IMAP responses out of the data events of one connection. One
// response is a line up to CRLF, continued past each literal announced at
// the line's end ("{n}" or "{n+}" right before the CRLF) by exactly n bytes
// and then the rest of the response, up to the next CRLF that no literal
// marker precedes. Only CRLF ends a line; a bare LF is part of it, and so is
// any CR or LF inside a literal's bytes.
//
// A response is bounded by the maximum length, its final CRLF included
// (1 MiB unless told otherwise); a literal announced longer than what is
// left of the bound fails at once, without waiting for its bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "mail/reply_framer.h"

namespace postrix::mail {

class ImapFramer final : public ReplyFramer {
public:
    static constexpr uint32_t kDefaultMaxLength = 1u << 20;

    explicit ImapFramer(uint32_t maxLength = kDefaultMaxLength);

    // Empty for an event without bytes; on Complete, reply() is one whole
    // response without its final CRLF, with every literal marker's CRLF and
    // every literal's bytes kept as they came.
    Result add(std::string_view bytes) override;
    // The next response framed from the same event's bytes.
    Result next() override;
    std::string_view reply() const override { return reply_; }
    void clear() override;

private:
    Result frame();
    // The byte at position at of the response so far: carried_ first, then
    // the event's bytes.
    char byteAt(size_t at) const;
    // The count of the literal marker that ends just before the CR at
    // position cr of the response, or -1 when no marker ends there; a count
    // past the maximum length comes back as the maximum length plus one.
    int64_t literalBefore(size_t cr) const;
    // Drops the response and the rest of the event.
    Result tooLong();
    // Keeps the event's bytes framed so far for the next event.
    void carry();

    uint32_t maxLength_;
    std::string_view input_;      // the event's bytes from the response's start (or its start)
    size_t scanned_ = 0;          // of input_, the bytes framed so far
    std::string carried_;         // the response's bytes from earlier events
    bool carriedTaken_ = false;   // carried_ was handed over as a response
    size_t lineStart_ = 0;        // where the response's current line begins (after a literal)
    uint32_t literalLeft_ = 0;    // bytes of an announced literal not seen yet
    std::string_view reply_;
};

}  // namespace postrix::mail
