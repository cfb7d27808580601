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
