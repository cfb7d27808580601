#include "cli/work_outcome.h"

#include <memory>

#include "cli/command_support.h"
#include "cli/send_outcome.h"

namespace joxhost {
namespace {

constexpr char kCheckInProgress[] = "POP3 - One connection in progress";
constexpr char kWarningIcon[] = "Image/Warning32";
// Well above any pause between a server's reply and the plug-in's close, and
// below the plug-in's 20 s receive time-out.
constexpr int64_t kGaveUpAfterMs = 15000;

}  // namespace

WorkOutcome::WorkOutcome(Kind kind, int32_t accountId)
    : kind_(kind),
      accountId_(accountId),
      socket_(std::string(kind == Kind::Check ? "MAIL/Socket/POP3/" : "MAIL/Socket/SMTP/") + std::to_string(accountId)),
      protocol_(kind == Kind::Check ? "POP3 - " : "SMTP - ") {}

void WorkOutcome::fail(std::string reason) {
    state_ = State::Failed;
    reason_ = std::move(reason);
}

void WorkOutcome::observe(const Event& event) {
    if (decided()) return;
    std::string text = event.text("text");
    const size_t named = text.find(protocol_);
    const bool names = named != std::string::npos;
    // The failure's own text, on one line: from "POP3 - " or "SMTP - " on,
    // without the account's address that the plug-in puts before it.
    if (names) text = foldLines(std::string_view(text).substr(named));
    if (event.name == "net" && event.text("connection") == socket_) {
        const std::string what = event.text("what");
        if (what == "connect" && state_ == State::NotStarted) state_ = State::Running;
        if (what == "close" && started()) {
            // The plug-in ends a session whose server stayed silent for 20 s
            // without a word when it is a check; a normal end comes right
            // after the server's last reply.
            const int64_t silentMs = event.number("silentMs");
            if (silentMs >= kGaveUpAfterMs) {
                return fail(protocol_ + "the server stopped answering: no reply for " +
                            std::to_string(silentMs / 1000) + " s");
            }
            state_ = State::Closing;
        }
    } else if (event.name == "log" && names) {
        if (event.number("level") < 0) return fail(text);
        if (kind_ == Kind::Check && text.find(kCheckInProgress) != std::string::npos && !started())
            state_ = State::Running;
    } else if (event.name == "error" && names) {
        fail(text);
    } else if (event.name == "notify") {
        if (event.text("icon") == kWarningIcon && names) return fail(text);
        if (kind_ == Kind::Send && started() && text == SendOutcome::kSentText) state_ = State::Succeeded;
    }
}

void WorkOutcome::settle() {
    if (state_ != State::Closing) return;
    if (kind_ == Kind::Check) {
        state_ = State::Succeeded;
    } else {
        fail(protocol_ + "the connection ended without the success notification");
    }
}

bool startCheck(Host& host, int32_t accountId) {
    constexpr int32_t kCheckNow = 1;
    return host.timers.deliverNow(mailTimerName(accountId), kCheckNow);
}

WorkOutcome::State awaitOutcome(Session& session, WorkOutcome& outcome, std::chrono::milliseconds timeLimit) {
    // The wait's handler runs even when cancelled, after this returns: it
    // shares the flag rather than pointing into this frame.
    const auto timedOut = std::make_shared<bool>(false);
    asio::steady_timer deadline(session.host().io(), timeLimit);
    deadline.async_wait([timedOut](const std::error_code& error) { *timedOut = !error; });
    session.runUntil([&] {
        outcome.settle();
        return !outcome.started() || outcome.decided() || *timedOut;
    });
    return outcome.state();
}

}  // namespace joxhost
