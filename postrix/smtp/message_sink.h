// Where the composer hands the message text, piece by piece.
#pragma once

#include <string_view>

namespace postrix::smtp {

class MessageSink {
public:
    // Transmits the piece exactly as given (never printf-formatted). Returns
    // false when it failed; the sink has then already reported the failure.
    virtual bool send(std::string_view piece) = 0;

protected:
    ~MessageSink() = default;
};

}  // namespace postrix::smtp
