// Frames POP3 replies out of the data events of one connection: first the
// status line, judged only once its CRLF arrived; then, when the session asks
// for it after a positive status line, the body of a multi-line reply up to
// its terminating line, either whole (a header block) or line by line as the
// lines arrive (a listing of any length, never kept whole). The bytes after
// a status line in the same event start the body; without a body they are
// dropped, and so are the bytes after a body's terminating line. A status
// line, a body line or a whole body is bounded by the maximum length, CRLF
// included (64 MiB unless smaller).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "mail/reply_buffer.h"
#include "mail/reply_framer.h"

namespace postrix::mail {

class Pop3Framer final : public ReplyFramer {
public:
    explicit Pop3Framer(uint32_t maxLength = ReplyBuffer::kDefaultMaxLength);

    // Awaiting a status line: Empty for an event without bytes; on Complete,
    // reply() is the status line without its CRLF. Reading a whole body: on
    // Complete, reply() is the body with its terminating line. Reading lines:
    // on Complete, reply() is one line without its CRLF and with a leading
    // dot of a dot-stuffed line removed, or, when bodyEnded(), nothing.
    Result add(std::string_view bytes) override;
    // The next part framed from the same event's bytes.
    Result next() override;
    std::string_view reply() const override { return reply_; }
    void clear() override;

    // Reads the body of the multi-line reply whose positive status line was
    // framed last, starting with the bytes that followed that line: whole,
    // or line by line.
    void readBody();
    void readLines();
    // Whether the line last framed by readLines() was the terminating one.
    bool bodyEnded() const { return ended_; }

private:
    enum class Mode { StatusLine, Body, Lines };

    Result frame();
    Result frameStatusLine();
    Result frameBody();
    Result frameLine();
    // The next CRLF-ended line of the bytes at hand, without its CRLF; a
    // line begun in an earlier event is completed from partial_.
    Result takeLine(std::string_view& line);

    uint32_t maxLength_;
    Mode mode_ = Mode::StatusLine;
    std::string_view input_;     // the bytes of the event at hand not framed yet
    std::string partial_;        // a line so far, until its CRLF arrives
    bool partialTaken_ = false;  // partial_ was handed over as a line
    bool ended_ = false;
    std::string_view reply_;
    ReplyBuffer body_;
};

}  // namespace postrix::mail
