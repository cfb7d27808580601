// How `check` tells a check that ran from one that failed or never started,
// fed the events joxhost emits in the order a real check brings them.
#include "cli/check_outcome.h"

#include <gtest/gtest.h>

namespace joxhost {
namespace {

Event net(const std::string& connection, const std::string& what) {
    return Event("net").add("connection", connection).add("what", what);
}

Event failureLog(const std::string& text) {
    return Event("log").add("level", -1).add("source", "MAIL").add("text", text);
}

TEST(CheckOutcome, EndsWhenThePlugInClosesTheAccountsConnection) {
    CheckOutcome outcome(2);
    EXPECT_FALSE(outcome.connected() || outcome.ended());
    outcome.observe(net("MAIL/Socket/POP3/2", "connect"));
    outcome.observe(net("MAIL/Socket/POP3/2", "connected"));
    outcome.observe(net("MAIL/Socket/POP3/1", "close"));  // another account's check
    outcome.observe(net("MAIL/Socket/SMTP/2", "close"));  // a send of the same account
    outcome.observe(
        net("MAIL/Socket/POP3/2", "closed"));  // the server hung up; the plug-in has not ended yet
    outcome.observe(failureLog("Parsing RFC822 date failed, date=x"));  // one message's trouble
    EXPECT_TRUE(outcome.connected());
    EXPECT_FALSE(outcome.ended());
    outcome.observe(Event("notify").add("icon", "Image/Mail").add("text", "Ilość nieprzeczytanych: 1"));
    outcome.observe(net("MAIL/Socket/POP3/2", "close"));
    EXPECT_TRUE(outcome.ended());
    EXPECT_FALSE(outcome.failed());
}

TEST(CheckOutcome, AFailureLoggedRightAfterTheCloseIsTheOutcome) {
    CheckOutcome outcome(1);
    outcome.observe(net("MAIL/Socket/POP3/1", "connect"));
    outcome.observe(net("MAIL/Socket/POP3/1", "close"));
    outcome.observe(
        failureLog("jan@example.com: POP3 - Error on PASS:\r\n-ERR [AUTH] Authentication failed.\r\n"));
    outcome.observe(failureLog("jan@example.com: POP3 - a second failure"));
    EXPECT_TRUE(outcome.ended());
    EXPECT_TRUE(outcome.failed());
    EXPECT_EQ(outcome.reason(), "POP3 - Error on PASS: -ERR [AUTH] Authentication failed.");
}

TEST(CheckOutcome, AFailureWithoutAConnectionEndsTheCheck) {
    CheckOutcome outcome(1);
    outcome.observe(Event("log").add("level", 1).add("text", "x: POP3 - One connection in progress"));
    EXPECT_FALSE(outcome.ended());
    outcome.observe(failureLog(": POP3 - Invalid login: it holds CR, LF or NUL"));
    EXPECT_FALSE(outcome.connected());
    EXPECT_TRUE(outcome.ended() && outcome.failed());
    EXPECT_EQ(outcome.reason(), "POP3 - Invalid login: it holds CR, LF or NUL");
}

TEST(CheckOutcome, TextsBecomeOneLine) {
    EXPECT_EQ(oneLine("a\r\nb\n\nc\r\n"), "a b c");
    EXPECT_EQ(oneLine("\r\nx"), "x");
    EXPECT_EQ(oneLine(""), "");
}

}  // namespace
}  // namespace joxhost
