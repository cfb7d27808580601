// Collects the body of one multi-line POP3 reply (a UIDL listing or a header
// block) across data events.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace postrix::mail {

class ReplyBuffer {
public:
    static constexpr uint32_t kInitialCapacity = 128;
    // A reply longer than this ends the check: the capacity stays within 32
    // bits, and a hostile server cannot make the plug-in take all memory.
    static constexpr uint32_t kDefaultMaxLength = 64u * 1024 * 1024;

    explicit ReplyBuffer(uint32_t maxLength = kDefaultMaxLength);

    // Appends bytes, first growing the capacity to the smallest power of two
    // greater than the new length when the bytes and a NUL would not fit.
    // False, with nothing appended, when the length would pass the maximum.
    bool append(std::string_view bytes);
    // Length 0, capacity kept.
    void clear();

    // The collected bytes.
    std::string_view view() const { return {data_.get(), length_}; }
    uint32_t length() const { return length_; }
    uint32_t maxLength() const { return maxLength_; }

    // Whether the reply's terminating line has arrived: the buffer holds
    // exactly ".\r\n" (an empty reply) or ends with "\r\n.\r\n".
    bool complete() const;

private:
    void grow(uint32_t needed);

    std::unique_ptr<char[]> data_;
    uint32_t length_ = 0;
    uint32_t capacity_ = kInitialCapacity;
    uint32_t maxLength_;
};

}  // namespace postrix::mail
