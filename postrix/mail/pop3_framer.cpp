#include "mail/pop3_framer.h"

#include <algorithm>
#include <cstring>

namespace postrix::mail {

namespace {

// A line buffer that once held a hostile long line is not kept that large.
constexpr size_t kKeptLineCapacity = 64 * 1024;

}  // namespace

Pop3Framer::Pop3Framer(uint32_t maxLength)
    : maxLength_(std::min(maxLength, ReplyBuffer::kDefaultMaxLength)), body_(maxLength) {}

Pop3Framer::Result Pop3Framer::add(std::string_view bytes) {
    if (mode_ == Mode::StatusLine && bytes.empty()) return Result::Empty;
    input_ = bytes;
    return frame();
}

Pop3Framer::Result Pop3Framer::next() {
    // After a status line that starts no body, or after a body's end, the
    // rest of the event belongs to no reply.
    if (mode_ == Mode::StatusLine) input_ = {};
    return frame();
}

Pop3Framer::Result Pop3Framer::frame() {
    switch (mode_) {
        case Mode::StatusLine:
            return frameStatusLine();
        case Mode::Body:
            return frameBody();
        case Mode::Lines:
            return frameLine();
    }
    return Result::Incomplete;
}

void Pop3Framer::readBody() {
    body_.clear();
    mode_ = Mode::Body;
}

void Pop3Framer::readLines() {
    ended_ = false;
    mode_ = Mode::Lines;
}

Pop3Framer::Result Pop3Framer::frameStatusLine() {
    std::string_view line;
    const Result result = takeLine(line);
    if (result == Result::Complete) reply_ = line;
    return result;
}

Pop3Framer::Result Pop3Framer::frameBody() {
    const bool appended = body_.append(input_);
    input_ = {};
    if (!appended) return Result::TooLong;
    if (!body_.complete()) return Result::Incomplete;
    mode_ = Mode::StatusLine;
    reply_ = body_.view();
    return Result::Complete;
}

Pop3Framer::Result Pop3Framer::frameLine() {
    std::string_view line;
    const Result result = takeLine(line);
    if (result != Result::Complete) return result;
    if (line == ".") {
        ended_ = true;
        mode_ = Mode::StatusLine;
        line = {};
    } else if (line.starts_with('.')) {
        line.remove_prefix(1);
    }
    reply_ = line;
    return Result::Complete;
}

Pop3Framer::Result Pop3Framer::takeLine(std::string_view& line) {
    if (partialTaken_) {
        partial_.clear();
        partialTaken_ = false;
    }
    // A bare LF is part of the line; only CRLF ends one, however the events
    // cut it.
    for (size_t from = 0;;) {
        const auto* found = from < input_.size()
                                ? static_cast<const char*>(std::memchr(input_.data() + from, '\n', input_.size() - from))
                                : nullptr;
        if (!found) {
            // Were its LF next, the line would pass the bound.
            if (partial_.size() + input_.size() >= maxLength_) {
                input_ = {};
                return Result::TooLong;
            }
            partial_.append(input_);
            input_ = {};
            return Result::Incomplete;
        }
        const auto lf = static_cast<size_t>(found - input_.data());
        const bool crlf = lf > 0 ? input_[lf - 1] == '\r' : !partial_.empty() && partial_.back() == '\r';
        if (!crlf) {
            from = lf + 1;
            continue;
        }
        if (partial_.size() + lf + 1 > maxLength_) {
            input_ = {};
            return Result::TooLong;
        }
        if (partial_.empty()) {
            line = input_.substr(0, lf - 1);
        } else {
            partial_.append(input_.substr(0, lf + 1));
            partialTaken_ = true;
            line = std::string_view(partial_).substr(0, partial_.size() - 2);
        }
        input_.remove_prefix(lf + 1);
        return Result::Complete;
    }
}

void Pop3Framer::clear() {
    mode_ = Mode::StatusLine;
    input_ = {};
    partial_.clear();
    if (partial_.capacity() > kKeptLineCapacity) partial_.shrink_to_fit();
    partialTaken_ = false;
    ended_ = false;
    reply_ = {};
    body_.clear();
}

}  // namespace postrix::mail
