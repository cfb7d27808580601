#include "mail/reply_buffer.h"

#include <algorithm>
#include <bit>

namespace postrix::mail {

ReplyBuffer::ReplyBuffer(uint32_t maxLength)
    : data_(std::make_unique<char[]>(kInitialCapacity)), maxLength_(std::min(maxLength, kDefaultMaxLength)) {
    data_[0] = '\0';
}

bool ReplyBuffer::append(std::string_view bytes) {
    if (bytes.size() > maxLength_ - length_) return false;
    const auto newLength = static_cast<uint32_t>(length_ + bytes.size());
    if (newLength + 1 > capacity_) grow(newLength);
    std::copy(bytes.begin(), bytes.end(), data_.get() + length_);
    length_ = newLength;
    data_[length_] = '\0';
    return true;
}

void ReplyBuffer::grow(uint32_t needed) {
    // The smallest power of two greater than needed; needed stays below 2^31
    // because of the maximum length.
    const uint32_t capacity = std::bit_ceil(needed + 1);
    auto data = std::make_unique<char[]>(capacity);
    std::copy_n(data_.get(), length_ + 1, data.get());
    data_ = std::move(data);
    capacity_ = capacity;
}

void ReplyBuffer::clear() {
    length_ = 0;
    data_[0] = '\0';
}

bool ReplyBuffer::complete() const {
    const std::string_view text = view();
    return text == ".\r\n" || text.ends_with("\r\n.\r\n");
}

}  // namespace postrix::mail
