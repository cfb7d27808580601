// How one piece of network work that joxhost asked of the plug-in ended: a
// mail check of one account (POP3 or IMAP) or a send (SMTP). The plug-in
// tells it only through what it reports, so a WorkOutcome reads the
// reporter's events:
//  - the work began when the plug-in connected the account's socket
//    (MAIL/Socket/POP3/<id> or MAIL/Socket/IMAP/<id>, MAIL/Socket/SMTP/<id>),
//    or, for a check, when it said that a check of the account is in
//    progress already (that check's end is this one's), or when it ended
//    the IDLE of the account's connection ("DONE\r\n") to check on it. A
//    check watches both
//    of its sockets until one begins: that one decides its protocol;
//  - it failed at the first failure the plug-in reports for the protocol: a
//    log line of a negative level, an error box or a warning notification
//    whose text names it ("POP3 - ", "IMAP - ", "SMTP - ");
//  - a send succeeded at the success notification;
//  - an IMAP check succeeded when the plug-in sent IDLE (a line ending in
//    " IDLE\r\n", the `net` `sent` event): it stays connected, waiting for
//    mail, and the check itself is over;
//  - the work ended when the plug-in closed the socket. The plug-in may
//    report a failure in the same call after closing (a check that fails
//    does), so a close becomes the end only at settle(), which whoever runs
//    the loop calls between two of its turns.
//
// To wait for an account's check:
//     WorkOutcome outcome(WorkOutcome::Kind::Check, account.id);
//     const ReporterTap tap(reporter, [&](const Event& e) { outcome.observe(e); });
//     if (!startCheck(host, account.id)) ...;   // no mail-check timer
//     if (!outcome.started()) ...;              // the plug-in began no check
//     awaitOutcome(session, outcome, std::chrono::seconds(120));
//     outcome.decided(), outcome.failed(), outcome.reason()
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "core/reporter.h"
#include "core/session.h"

namespace joxhost {

class WorkOutcome {
public:
    enum class Kind { Check, Send };
    enum class State { NotStarted, Running, Closing, Succeeded, Failed };

    WorkOutcome(Kind kind, int32_t accountId);

    void observe(const Event& event);
    // Between two turns of the loop: a close seen becomes the end (a send
    // that closed without its success notification failed).
    void settle();

    Kind kind() const { return kind_; }
    int32_t accountId() const { return accountId_; }
    State state() const { return state_; }
    bool started() const { return state_ != State::NotStarted; }
    bool decided() const { return state_ == State::Succeeded || state_ == State::Failed; }
    bool failed() const { return state_ == State::Failed; }
    const std::string& reason() const { return reason_; }  // the failure's text

private:
    // A connection the work may run on.
    struct Channel {
        std::string socket;    // its id in `net` events
        std::string protocol;  // "POP3 - ", "IMAP - " or "SMTP - "
    };

    void fail(std::string reason);
    // Where the text names one of the channels' protocols; npos if nowhere.
    size_t protocolIn(const std::string& text) const;
    // The work runs on that channel from now on.
    void begin(size_t channel);

    Kind kind_;
    int32_t accountId_;
    std::vector<Channel> channels_;  // one once the work has begun
    State state_ = State::NotStarted;
    std::string reason_;
};

// Starts a mail check of the account now, as its timer's "check now" code
// does; when this returns, the plug-in has begun the check or decided not
// to. False when the account has no mail-check timer.
bool startCheck(Host& host, int32_t accountId);

// Runs the loop until the outcome is decided, the time is up or the loop has
// nothing left to do, settling the outcome between turns; returns its state
// then (NotStarted, Running or Closing: no end in time). An outcome that
// never started returns at once.
WorkOutcome::State awaitOutcome(Session& session, WorkOutcome& outcome, std::chrono::milliseconds timeLimit);

}  // namespace joxhost
