// Cuts the data events of one connection into whole replies, one framer per
// protocol. The channel hands it each event's bytes and passes every whole
// reply on to the session.
#pragma once

#include <string_view>

namespace postrix::mail {

class ReplyFramer {
public:
    enum class Result {
        Incomplete,  // waiting for more bytes
        Complete,    // reply() holds a whole reply (or a whole part of one)
        Empty,       // an event without bytes where a reply was awaited
        TooLong,     // the reply passed the framer's bound
    };

    // Adds one data event's bytes.
    virtual Result add(std::string_view bytes) = 0;
    // After a Complete result was handled: a further part already framed from
    // the same event's bytes, or Incomplete.
    virtual Result next() { return Result::Incomplete; }
    virtual std::string_view reply() const = 0;
    // Forgets everything, for a new exchange.
    virtual void clear() = 0;

protected:
    ~ReplyFramer() = default;
};

}  // namespace postrix::mail
