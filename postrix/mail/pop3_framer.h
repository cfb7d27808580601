// Frames POP3 replies out of the data events of one connection: first the
// status line, judged only once its CRLF arrived; then, when the session asks
// for it after a positive status line, the body of a multi-line reply up to
// its terminating line. The bytes after a status line in the same event
// start the body; without a body they are dropped. Status line and body are
// each bounded by the maximum length (64 MiB unless smaller).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "mail/reply_buffer.h"
#include "mail/reply_framer.h"

namespace postrix::mail {

class Pop3Framer final : public ReplyFramer {
public:
    explicit Pop3Framer(uint32_t maxLength = ReplyBuffer::kDefaultMaxLength) : body_(maxLength) {}

    // Awaiting a status line: Empty for an event without bytes; on Complete,
    // reply() is the status line without its CRLF. Reading a body: on
    // Complete, reply() is the body with its terminating line.
    Result add(std::string_view bytes) override;
    // The body begun by readBody(), when the bytes it had were enough.
    Result next() override;
    std::string_view reply() const override { return reply_; }
    void clear() override;

    // Reads the body of the multi-line reply whose positive status line was
    // framed last, starting with the bytes that followed that line.
    void readBody();
    const ReplyBuffer& body() const { return body_; }

private:
    Result addToBody(std::string_view bytes);

    bool readingBody_ = false;
    std::string statusLine_;  // the status line so far, until its CRLF
    std::string received_;    // the last status line and the bytes after it
    size_t statusEnd_ = 0;    // where the CRLF stands in received_
    std::string_view reply_;
    std::optional<Result> pending_;
    ReplyBuffer body_;
};

}  // namespace postrix::mail
