#include "cli/send_outcome.h"

namespace joxhost {

void SendOutcome::observe(const Event& event) {
    if (decided()) return;
    if (event.name == "notify" && event.text("text") == kSentText) {
        state_ = State::Sent;
    } else if (event.name == "log" && event.number("level") < 0) {
        state_ = State::Failed;
        reason_ = event.text("text");
    } else if (event.name == "error") {
        state_ = State::Failed;
        reason_ = event.text("text");
    }
}

}  // namespace joxhost
