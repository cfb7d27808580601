// How a send that the plug-in started ended, read from what it shows: the
// success notification, or a failure (every failure is logged at a negative
// level, and an error box is a failure too).
#pragma once

#include <string>

#include "core/reporter.h"

namespace joxhost {

class SendOutcome {
public:
    enum class State { Waiting, Sent, Failed };

    // The text of the plug-in's success notification.
    static constexpr const char* kSentText = "Mail wysłany pomyślnie";

    void observe(const Event& event);

    State state() const { return state_; }
    bool decided() const { return state_ != State::Waiting; }
    const std::string& reason() const { return reason_; }

private:
    State state_ = State::Waiting;
    std::string reason_;
};

}  // namespace joxhost
