#include "mail/pop3_framer.h"

namespace postrix::mail {

Pop3Framer::Result Pop3Framer::add(std::string_view bytes) {
    if (readingBody_) return addToBody(bytes);
    if (bytes.empty()) return Result::Empty;
    // Nothing is judged from part of a line: a status line that arrives in
    // pieces waits here for its CRLF, within the same bound as a body.
    if (bytes.size() > body_.maxLength() - statusLine_.size()) return Result::TooLong;
    const size_t searchFrom = statusLine_.empty() ? 0 : statusLine_.size() - 1;
    statusLine_.append(bytes);
    const size_t end = statusLine_.find("\r\n", searchFrom);
    if (end == std::string::npos) return Result::Incomplete;
    received_ = std::move(statusLine_);
    statusLine_.clear();
    statusEnd_ = end;
    reply_ = std::string_view(received_).substr(0, end);
    return Result::Complete;
}

Pop3Framer::Result Pop3Framer::next() {
    const Result result = pending_.value_or(Result::Incomplete);
    pending_.reset();
    return result;
}

void Pop3Framer::readBody() {
    body_.clear();
    readingBody_ = true;
    pending_ = addToBody(std::string_view(received_).substr(statusEnd_ + 2));
}

Pop3Framer::Result Pop3Framer::addToBody(std::string_view bytes) {
    if (!body_.append(bytes)) return Result::TooLong;
    if (!body_.complete()) return Result::Incomplete;
    readingBody_ = false;
    reply_ = body_.view();
    return Result::Complete;
}

void Pop3Framer::clear() {
    readingBody_ = false;
    statusLine_.clear();
    received_.clear();
    statusEnd_ = 0;
    reply_ = {};
    pending_.reset();
    body_.clear();
}

}  // namespace postrix::mail
