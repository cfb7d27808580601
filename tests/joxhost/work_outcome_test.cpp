// How a check or a send ended, read from the events the plug-in causes.
#include <gtest/gtest.h>

#include "cli/work_outcome.h"

#include <algorithm>

#include "cli/send_outcome.h"
#include "temp_dir.h"

namespace joxhost {
namespace {

using Kind = WorkOutcome::Kind;
using State = WorkOutcome::State;

Event net(const std::string& connection, const std::string& what) {
    return Event("net").add("connection", connection).add("what", what);
}
Event log(int level, const std::string& text) {
    return Event("log").add("level", level).add("source", "MAIL").add("text", text);
}
Event notify(const std::string& icon, const std::string& text) {
    return Event("notify").add("id", 1).add("title", "a@b").add("text", text).add("icon", icon);
}

TEST(WorkOutcome, ACheckEndsWhenItsSocketClosesAndFailsOnAFailureOfTheSameCall) {
    WorkOutcome ok(Kind::Check, 2);
    ok.observe(net("MAIL/Socket/POP3/2", "connect"));
    ok.observe(net("MAIL/Socket/POP3/2", "connected"));
    EXPECT_EQ(ok.state(), State::Running);
    ok.settle();
    EXPECT_EQ(ok.state(), State::Running);
    ok.observe(net("MAIL/Socket/POP3/2", "close"));
    EXPECT_FALSE(ok.decided());  // the same call may still report a failure
    ok.settle();
    EXPECT_EQ(ok.state(), State::Succeeded);
    ok.observe(log(-1, "a@b: POP3 - Connection closed by server"));  // a later check's
    EXPECT_EQ(ok.state(), State::Succeeded);

    // A refused password: the plug-in closes, then logs and warns.
    WorkOutcome refused(Kind::Check, 2);
    refused.observe(net("MAIL/Socket/POP3/2", "connect"));
    refused.observe(net("MAIL/Socket/POP3/2", "close"));
    refused.observe(log(-1, "a@b: POP3 - Error on PASS:\r\n-ERR no\r\n"));
    refused.observe(notify("Image/Warning32", "POP3 - Error on PASS:\r\n-ERR no\r\n"));
    refused.settle();
    EXPECT_EQ(refused.state(), State::Failed);
    EXPECT_EQ(refused.reason(), "POP3 - Error on PASS: -ERR no");  // its own text, one line

    // A TLS failure warns while the connection stays open.
    WorkOutcome tls(Kind::Check, 2);
    tls.observe(net("MAIL/Socket/POP3/2", "connect"));
    tls.observe(notify("Image/Warning32", "POP3 - SSL error (1): certificate verify failed"));
    EXPECT_TRUE(tls.failed());
}

TEST(WorkOutcome, ACheckThePlugInDroppedAfterTheServerFellSilentFailed) {
    // The plug-in's receive time-out ends a check without a word: only the
    // silence before the close tells it from a check that ended well.
    WorkOutcome dropped(Kind::Check, 2);
    dropped.observe(net("MAIL/Socket/POP3/2", "connect"));
    dropped.observe(net("MAIL/Socket/POP3/2", "close").add("silentMs", int64_t{21500}));
    dropped.settle();
    EXPECT_EQ(dropped.state(), State::Failed);
    EXPECT_EQ(dropped.reason(), "POP3 - the server stopped answering: no reply for 21 s");

    WorkOutcome quick(Kind::Check, 2);
    quick.observe(net("MAIL/Socket/POP3/2", "connect"));
    quick.observe(net("MAIL/Socket/POP3/2", "close").add("silentMs", int64_t{3}));
    quick.settle();
    EXPECT_EQ(quick.state(), State::Succeeded);
}

TEST(WorkOutcome, ACheckIgnoresOtherAccountsAndOtherWork) {
    WorkOutcome check(Kind::Check, 1);
    check.observe(net("MAIL/Socket/POP3/12", "connect"));  // not "1" as a prefix
    check.observe(net("MAIL/Socket/SMTP/1", "connect"));
    EXPECT_FALSE(check.started());
    check.observe(net("MAIL/Socket/POP3/1", "connect"));
    check.observe(log(-1, "a@b: SMTP - Connection error:10061"));
    check.observe(Event("error").add("title", "a@b").add("text", "SMTP - Receive timeout"));
    check.observe(log(-1, "Writing message to archive failed"));
    check.observe(notify("Image/Mail", "Ilość nieprzeczytanych: 1"));
    check.observe(net("MAIL/Socket/POP3/12", "close"));
    check.settle();
    EXPECT_EQ(check.state(), State::Running);
}

TEST(WorkOutcome, ACheckInProgressAlreadyIsThisOnesStart) {
    WorkOutcome check(Kind::Check, 1);
    check.observe(log(0, "a@b: POP3 - One connection in progress (state=3), cannot start new one"));
    EXPECT_EQ(check.state(), State::Running);
    check.observe(net("MAIL/Socket/POP3/1", "close"));
    check.settle();
    EXPECT_EQ(check.state(), State::Succeeded);

    // A plug-in that begins nothing (settings incomplete, offline) says nothing.
    WorkOutcome nothing(Kind::Check, 1);
    nothing.observe(log(0, "loaded"));
    nothing.settle();
    EXPECT_EQ(nothing.state(), State::NotStarted);
}

Event sent(const std::string& connection, const std::string& tail) {
    return net(connection, "sent").add("bytes", static_cast<int64_t>(tail.size())).add("tail", tail);
}

TEST(WorkOutcome, AnImapCheckEndsWhenThePlugInIdlesOrClosesAndFailsOnItsFailures) {
    const std::string imap = "MAIL/Socket/IMAP/3";
    struct Case {
        const char* name;
        std::vector<Event> events;  // one turn of the loop: settle() after the last
        State state;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"idles", {net(imap, "connect"), sent(imap, "a3 SELECT INBOX\r\n"), sent(imap, "a4 IDLE\r\n")},
         State::Succeeded, ""},
        // A server without IDLE: the plug-in logs out after each check.
        {"closes", {net(imap, "connect"), sent(imap, "a5 LOGOUT\r\n"), net(imap, "close")}, State::Succeeded, ""},
        // Selecting a folder named IDLE is no IDLE command, nor is a bare line.
        {"no idle line", {net(imap, "connect"), sent(imap, "a3 SELECT IDLE"), sent(imap, "IDLE\r\n")},
         State::Running, ""},
        {"refused login",
         {net(imap, "connect"), net(imap, "close"), log(-1, "a@b: IMAP - Error on LOGIN:\r\na2 NO [AUTHENTICATIONFAILED]"),
          notify("Image/Warning32", "IMAP - Error on LOGIN")},
         State::Failed, "IMAP - Error on LOGIN: a2 NO [AUTHENTICATIONFAILED]"},
        {"tls warning", {net(imap, "connect"), notify("Image/Warning32", "IMAP - SSL error (1): bad certificate")},
         State::Failed, "IMAP - SSL error (1): bad certificate"},
        {"fell silent", {net(imap, "connect"), net(imap, "close").add("silentMs", int64_t{20000})}, State::Failed,
         "IMAP - the server stopped answering: no reply for 20 s"},
        {"in progress then idles",
         {log(0, "a@b: IMAP - One connection in progress (state=4), cannot start new one"), sent(imap, "a9 IDLE\r\n")},
         State::Succeeded, ""},
        // Asked for while the account idles: the plug-in ends the IDLE,
        // fetches, and idles again on the same connection.
        {"asked while idling",
         {sent(imap, "DONE\r\n"), sent(imap, "a7 UID FETCH 5:* (UID)\r\n"), sent(imap, "a8 IDLE\r\n")},
         State::Succeeded, ""},
        // IDLE sent before this check began belongs to an earlier one.
        {"idle before start", {sent(imap, "a4 IDLE\r\n")}, State::NotStarted, ""},
        {"another account idles", {net(imap, "connect"), sent("MAIL/Socket/IMAP/33", "a4 IDLE\r\n")},
         State::Running, ""},
    };
    for (const Case& c : cases) {
        WorkOutcome check(Kind::Check, 3);
        for (const Event& e : c.events) check.observe(e);
        check.settle();
        EXPECT_EQ(check.state(), c.state) << c.name;
        EXPECT_EQ(check.reason(), c.reason) << c.name;
    }
}

TEST(WorkOutcome, TheSocketThatBeginsDecidesTheChecksProtocol) {
    // Begun over IMAP: POP3's events are another check's (a profile switched).
    WorkOutcome imap(Kind::Check, 1);
    imap.observe(net("MAIL/Socket/IMAP/1", "connect"));
    imap.observe(log(-1, "a@b: POP3 - Connection closed by server"));
    imap.observe(net("MAIL/Socket/POP3/1", "close"));
    imap.settle();
    EXPECT_EQ(imap.state(), State::Running);

    // Begun over POP3: a line ending in IDLE on it ends nothing, IMAP's
    // failures are not its own.
    WorkOutcome pop3(Kind::Check, 1);
    pop3.observe(log(0, "a@b: POP3 - One connection in progress (state=3), cannot start new one"));
    pop3.observe(log(-1, "a@b: IMAP - Error on LOGIN"));
    pop3.observe(sent("MAIL/Socket/IMAP/1", "a1 IDLE\r\n"));
    EXPECT_EQ(pop3.state(), State::Running);
    pop3.observe(net("MAIL/Socket/POP3/1", "close"));
    pop3.settle();
    EXPECT_EQ(pop3.state(), State::Succeeded);

    // Before either began, a failure of either protocol is this check's.
    WorkOutcome early(Kind::Check, 1);
    early.observe(log(-1, "a@b: IMAP - Connection error:10061"));
    EXPECT_EQ(early.reason(), "IMAP - Connection error:10061");
}

TEST(WorkOutcome, ASendSucceedsAtItsNotificationAndFailsAtAFailureOrABareClose) {
    WorkOutcome sent(Kind::Send, 1);
    sent.observe(notify("Image/Mail", SendOutcome::kSentText));  // before it began: an earlier send's
    EXPECT_FALSE(sent.started());
    sent.observe(net("MAIL/Socket/SMTP/1", "connect"));
    sent.observe(notify("Image/Mail", SendOutcome::kSentText));
    sent.observe(net("MAIL/Socket/SMTP/1", "close"));
    sent.settle();
    EXPECT_EQ(sent.state(), State::Succeeded);

    WorkOutcome boxed(Kind::Send, 1);
    boxed.observe(net("MAIL/Socket/SMTP/1", "connect"));
    boxed.observe(net("MAIL/Socket/SMTP/1", "close"));
    boxed.observe(log(-1, "a@b: SMTP - Authorization error:\r\n535 no"));
    boxed.observe(Event("error").add("title", "a@b").add("text", "SMTP - Authorization error:\r\n535 no"));
    EXPECT_EQ(boxed.reason(), "SMTP - Authorization error: 535 no");

    // Refused before connecting: the failure alone starts and ends it.
    WorkOutcome busy(Kind::Send, 1);
    busy.observe(log(-1, "a@b: SMTP - One connection in progress (state=2), cannot start new one"));
    EXPECT_TRUE(busy.failed());

    WorkOutcome silent(Kind::Send, 1);
    silent.observe(net("MAIL/Socket/SMTP/1", "connect"));
    silent.observe(net("MAIL/Socket/SMTP/1", "close"));
    silent.settle();
    EXPECT_TRUE(silent.failed());
}

TEST(StartCheck, ThePlugInHasActedOnTheCheckWhenItReturns) {
    test::TempDir profile;
    asio::io_context io;
    std::FILE* sink = std::fopen("/dev/null", "w");
    Reporter reporter(true, false, sink);
    {
        HostOptions options;
        options.profileDir = profile.path();
        Session session(io, reporter, options);
        std::string error;
        ASSERT_TRUE(session.load(JOXHOST_FAKE_PLUGIN, &error)) << error;
        WorkOutcome outcome(Kind::Check, 1);
        std::vector<std::string> seen, seenSecond;
        {
            const ReporterTap tap(reporter, [&](const Event& e) {
                outcome.observe(e);
                seen.push_back(e.text("text"));
            });
            const ReporterTap second(reporter, [&](const Event& e) { seenSecond.push_back(e.text("text")); });
            ASSERT_TRUE(startCheck(session.host(), 1));
            // The fake plug-in checks at once and connects nothing.
            EXPECT_NE(std::find(seen.begin(), seen.end(), "check done"), seen.end());
            EXPECT_EQ(seenSecond, seen);
            EXPECT_FALSE(outcome.started());
            const auto before = std::chrono::steady_clock::now();
            EXPECT_EQ(awaitOutcome(session, outcome, std::chrono::seconds(5)), State::NotStarted);
            EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
            EXPECT_FALSE(startCheck(session.host(), 7));  // no such account's timer
        }
        const size_t count = seen.size();
        reporter.emit(Event("after"));  // the taps are gone
        EXPECT_EQ(seen.size(), count);
    }
    std::fclose(sink);
}

}  // namespace
}  // namespace joxhost
