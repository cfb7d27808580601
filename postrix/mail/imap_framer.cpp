#include "mail/imap_framer.h"

#include <cstring>

namespace postrix::mail {

namespace {

// A buffer that once held a long response is not kept that large.
constexpr size_t kKeptCapacity = 64 * 1024;

constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

ImapFramer::ImapFramer(uint32_t maxLength) : maxLength_(maxLength) {}

ImapFramer::Result ImapFramer::add(std::string_view bytes) {
    if (bytes.empty()) return Result::Empty;
    input_ = bytes;
    scanned_ = 0;
    return frame();
}

ImapFramer::Result ImapFramer::next() { return frame(); }

char ImapFramer::byteAt(size_t at) const {
    return at < carried_.size() ? carried_[at] : input_[at - carried_.size()];
}

int64_t ImapFramer::literalBefore(size_t cr) const {
    // "{" digits ["+"] "}" right before the CR, all within the current line.
    if (cr < lineStart_ + 3 || byteAt(cr - 1) != '}') return -1;
    size_t at = cr - 1;
    if (byteAt(at - 1) == '+') --at;
    const size_t digitsEnd = at;
    while (at > lineStart_ && isDigit(byteAt(at - 1))) --at;
    if (at == digitsEnd || at == lineStart_ || byteAt(at - 1) != '{') return -1;
    int64_t count = 0;
    for (; at < digitsEnd; ++at) {
        count = count * 10 + (byteAt(at) - '0');
        if (count > maxLength_) return int64_t{maxLength_} + 1;
    }
    return count;
}

void ImapFramer::carry() {
    carried_.append(input_.substr(0, scanned_));
    input_.remove_prefix(scanned_);
    scanned_ = 0;
}

ImapFramer::Result ImapFramer::tooLong() {
    // The response is dropped with the rest of the event.
    clear();
    return Result::TooLong;
}

ImapFramer::Result ImapFramer::frame() {
    if (carriedTaken_) {
        carried_.clear();
        carriedTaken_ = false;
    }
    if (input_.empty()) return Result::Incomplete;
    for (;;) {
        if (literalLeft_ > 0) {
            const size_t available = input_.size() - scanned_;
            const size_t taken = available < literalLeft_ ? available : literalLeft_;
            scanned_ += taken;
            literalLeft_ -= static_cast<uint32_t>(taken);
            if (literalLeft_ > 0) {
                carry();
                return Result::Incomplete;
            }
            lineStart_ = carried_.size() + scanned_;
        }
        const auto* found = scanned_ < input_.size()
                                ? static_cast<const char*>(
                                      std::memchr(input_.data() + scanned_, '\n', input_.size() - scanned_))
                                : nullptr;
        if (!found) {
            // Were its LF next, the response would pass the bound.
            if (carried_.size() + input_.size() >= maxLength_) {
                return tooLong();
            }
            scanned_ = input_.size();
            carry();
            return Result::Incomplete;
        }
        const auto lf = static_cast<size_t>(found - input_.data());
        const size_t length = carried_.size() + lf + 1;  // the response so far, this LF included
        if (length > maxLength_) {
            return tooLong();
        }
        scanned_ = lf + 1;
        const size_t crAt = length - 2;  // where a CR ending the line would be
        if (length < 2 || crAt < lineStart_ || byteAt(crAt) != '\r') continue;
        const int64_t literal = literalBefore(crAt);
        if (literal >= 0) {
            // The literal's bytes and at least the final CRLF must still fit.
            if (static_cast<uint64_t>(literal) + 2 > maxLength_ - length) {
                return tooLong();
            }
            literalLeft_ = static_cast<uint32_t>(literal);
            if (literalLeft_ == 0) lineStart_ = length;
            continue;
        }
        // A whole response: handed over from the event's bytes where it lies
        // there whole, else from the carried bytes.
        if (carried_.empty()) {
            reply_ = input_.substr(0, scanned_ - 2);
        } else {
            carried_.append(input_.substr(0, scanned_));
            carriedTaken_ = true;
            reply_ = std::string_view(carried_).substr(0, carried_.size() - 2);
        }
        input_.remove_prefix(scanned_);
        scanned_ = 0;
        lineStart_ = 0;
        return Result::Complete;
    }
}

void ImapFramer::clear() {
    input_ = {};
    scanned_ = 0;
    carried_.clear();
    if (carried_.capacity() > kKeptCapacity) carried_.shrink_to_fit();
    carriedTaken_ = false;
    lineStart_ = 0;
    literalLeft_ = 0;
    reply_ = {};
}

}  // namespace postrix::mail
