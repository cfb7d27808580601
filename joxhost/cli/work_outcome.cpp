#include "cli/work_outcome.h"

#include <algorithm>
#include <memory>
#include <string_view>

#include "cli/command_support.h"
#include "cli/send_outcome.h"

namespace joxhost {
namespace {

constexpr char kCheckInProgress[] = "One connection in progress";
constexpr char kWarningIcon[] = "Image/Warning32";
// How the plug-in's line that starts IMAP's IDLE ends, and the line that
// ends it (a check asked for while the account idles begins with it).
constexpr std::string_view kIdleEnd = " IDLE\r\n";
constexpr std::string_view kDone = "DONE\r\n";
// Well above any pause between a server's reply and the plug-in's close, and
// below the plug-in's 20 s receive time-out.
constexpr int64_t kGaveUpAfterMs = 15000;

}  // namespace

WorkOutcome::WorkOutcome(Kind kind, int32_t accountId) : kind_(kind), accountId_(accountId) {
    const std::string id = std::to_string(accountId);
    if (kind == Kind::Check) {
        channels_ = {{"MAIL/Socket/POP3/" + id, "POP3 - "}, {"MAIL/Socket/IMAP/" + id, "IMAP - "}};
    } else {
        channels_ = {{"MAIL/Socket/SMTP/" + id, "SMTP - "}};
    }
}

void WorkOutcome::fail(std::string reason) {
    state_ = State::Failed;
    reason_ = std::move(reason);
}

size_t WorkOutcome::protocolIn(const std::string& text) const {
    size_t at = std::string::npos;
    for (const Channel& channel : channels_) at = std::min(at, text.find(channel.protocol));
    return at;
}

void WorkOutcome::begin(size_t channel) {
    if (channels_.size() > 1) channels_ = {channels_[channel]};
    state_ = State::Running;
}

void WorkOutcome::observe(const Event& event) {
    if (decided()) return;
    std::string text = event.text("text");
    const size_t named = protocolIn(text);
    const bool names = named != std::string::npos;
    // The failure's own text, on one line: from "POP3 - " (or the other
    // protocols' label) on, without the account's address that the plug-in
    // puts before it.
    if (names) text = foldLines(std::string_view(text).substr(named));
    if (event.name == "net") {
        const std::string connection = event.text("connection");
        const auto channel = std::find_if(channels_.begin(), channels_.end(),
                                          [&](const Channel& c) { return c.socket == connection; });
        if (channel == channels_.end()) return;
        const std::string what = event.text("what");
        if (what == "connect" && state_ == State::NotStarted) begin(channel - channels_.begin());
        if (what == "sent" && kind_ == Kind::Check) {
            const std::string tail = event.text("tail");
            if (state_ == State::NotStarted && tail == kDone) return begin(channel - channels_.begin());
            if (state_ == State::Running && tail.ends_with(kIdleEnd)) state_ = State::Succeeded;
        }
        if (what == "close" && started()) {
            // The plug-in ends a session whose server stayed silent for 20 s
            // without a word when it is a check; a normal end comes right
            // after the server's last reply.
            const int64_t silentMs = event.number("silentMs");
            if (silentMs >= kGaveUpAfterMs) {
                return fail(channels_.front().protocol + "the server stopped answering: no reply for " +
                            std::to_string(silentMs / 1000) + " s");
            }
            state_ = State::Closing;
        }
    } else if (event.name == "log" && names) {
        if (event.number("level") < 0) return fail(text);
        if (kind_ == Kind::Check && !started() && text.find(kCheckInProgress) != std::string::npos) {
            for (size_t i = 0; i < channels_.size(); ++i)
                if (text.starts_with(channels_[i].protocol)) return begin(i);
        }
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
        fail(channels_.front().protocol + "the connection ended without the success notification");
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
