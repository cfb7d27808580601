#include "mail/smtp_framer.h"

namespace postrix::mail {

namespace {

// A reply's last line: three characters of code, then a blank or the end.
bool isFinalLine(std::string_view line) { return line.size() < 4 || line[3] != '-'; }

}  // namespace

SmtpFramer::Result SmtpFramer::add(std::string_view bytes) {
    if (bytes.empty()) return Result::Empty;
    // Lines before the last LF were looked at already and were not final.
    const size_t lastLf = pending_.rfind('\n');
    size_t lineStart = lastLf == std::string::npos ? 0 : lastLf + 1;
    pending_.append(bytes);
    for (size_t lf = pending_.find('\n', lineStart); lf != std::string::npos; lf = pending_.find('\n', lineStart)) {
        std::string_view line(pending_.data() + lineStart, lf - lineStart);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lineStart = lf + 1;
        if (isFinalLine(line)) {
            reply_.assign(pending_, 0, lineStart);
            pending_.clear();
            return Result::Complete;
        }
    }
    if (pending_.size() > kMaxReplyBytes) {
        reply_ = std::move(pending_);
        pending_.clear();
        return Result::TooLong;
    }
    return Result::Incomplete;
}

void SmtpFramer::clear() {
    pending_.clear();
    reply_.clear();
}

}  // namespace postrix::mail
