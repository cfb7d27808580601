// The POP3 state machine played reply by reply against the fake host.
#include <gtest/gtest.h>

#include <memory>

#include "fixtures/manual_clock.h"
#include "pop3/header_decoding.h"
#include "pop3/pop3_session.h"
#include "support/fake_host.h"

namespace postrix::pop3 {
namespace {

using test::FakeConnection;
using test::FakeHost;

constexpr std::string_view kHeaderOf4 =
    "From: Jan Kowalski <jan@example.com>\r\nSubject: Spotkanie\r\nDate: Mon, 5 Nov 2012 10:00:00 +0100\r\n\r\n.\r\n";
constexpr std::string_view kHeaderOf3 = "From: ola@example.com\r\nSubject: Re: plan\r\n\r\n.\r\n";

// One session on a fresh fake host; the probe says "online" unless told.
struct Harness {
    explicit Harness(uint32_t maxReply = mail::ReplyBuffer::kDefaultMaxLength)
        : session(
              Host(host.table()),
              [this](Pop3Session&, std::vector<NewMailEntry> entries) { notices.push_back(std::move(entries)); },
              [this](Pop3Session&, const std::string& message) { errors.push_back(message); }, 3, maxReply),
          connection(host.connection("MAIL/Socket/POP3/3")) {
        session.setProbe([this] {
            ++probes;
            return online;
        });
    }

    void start(bool ssl = false, std::string server = "pop.example.com") {
        session.start({std::move(server), "alice@example.com", "alice", "secret", ssl});
    }

    // The server says text; what the plug-in answered is returned.
    std::string reply(std::string_view text) {
        host.deliverData(connection, text);
        return host.takeSent(connection);
    }

    // Plays a check up to the UIDL command.
    void login() {
        start();
        ASSERT_EQ(reply("+OK POP3 ready\r\n"), "USER alice\r\n");
        ASSERT_EQ(reply("+OK\r\n"), "PASS secret\r\n");
        ASSERT_EQ(reply("+OK logged in\r\n"), "UIDL\r\n");
    }

    // A whole first check whose listing is only remembered.
    void firstCheck(std::string_view listing) {
        login();
        ASSERT_EQ(reply("+OK\r\n" + std::string(listing) + ".\r\n"), "QUIT\r\n");
    }

    FakeHost host;
    test::ManualClock clock;
    std::vector<std::vector<NewMailEntry>> notices;
    std::vector<std::string> errors;
    bool online = true;
    int probes = 0;
    Pop3Session session;
    FakeConnection& connection;
};

std::vector<std::string> subjects(const std::vector<NewMailEntry>& entries) {
    std::vector<std::string> result;
    for (const auto& entry : entries) result.push_back(entry.subject);
    return result;
}

TEST(Pop3Session, FirstCheckOnlyRemembersTheIds) {
    Harness h;
    EXPECT_TRUE(h.session.tracker().firstCheck());
    h.firstCheck("1 a\r\n2 b\r\n");
    EXPECT_EQ(h.connection.host, "pop.example.com");
    EXPECT_EQ(h.connection.port, 110);
    EXPECT_EQ(h.connection.sslStarts, 0);
    EXPECT_EQ(h.connection.closes, 1);
    EXPECT_EQ(h.session.state(), Pop3State::Idle);
    EXPECT_FALSE(h.session.tracker().firstCheck());
    EXPECT_TRUE(h.session.tracker().knows("a"));
    EXPECT_TRUE(h.session.tracker().knows("b"));
    EXPECT_TRUE(h.notices.empty());
    EXPECT_TRUE(h.errors.empty());
    // The reply to QUIT and the server's close are nobody's business.
    EXPECT_EQ(h.reply("+OK bye\r\n"), "");
    h.host.deliverClosed(h.connection);
    EXPECT_TRUE(h.errors.empty());
}

TEST(Pop3Session, LaterCheckFetchesNewHeadersNewestFirst) {
    Harness h;
    h.firstCheck("1 a\r\n2 b\r\n");
    h.login();
    EXPECT_EQ(h.reply("+OK 4 messages\r\n1 a\r\n2 b\r\n3 c\r\n4 d\r\n.\r\n"), "TOP 4 0\r\n");
    EXPECT_EQ(h.session.state(), Pop3State::AwaitTop);
    EXPECT_EQ(h.reply("+OK\r\n" + std::string(kHeaderOf4)), "TOP 3 0\r\n");
    EXPECT_EQ(h.reply("+OK\r\n" + std::string(kHeaderOf3)), "QUIT\r\n");
    ASSERT_EQ(h.notices.size(), 1u);
    const auto& entries = h.notices[0];
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].from, "Jan Kowalski <jan@example.com>");
    EXPECT_EQ(entries[0].subject, "Spotkanie");
    EXPECT_EQ(entries[0].date, 1352106000);
    EXPECT_EQ(entries[1].from, "ola@example.com");
    EXPECT_EQ(entries[1].subject, "Re: plan");
    EXPECT_EQ(entries[1].date, 0);
    EXPECT_TRUE(h.errors.empty());
    EXPECT_TRUE(h.host.logs.empty());  // a missing Date is no failure
}

TEST(Pop3Session, OnlyUnknownIdsAreFetched) {
    struct Case {
        const char* listing;
        std::vector<std::string> expected;  // what the plug-in sends, listing reply first
    };
    const Case cases[] = {
        // Message 1 was deleted on the server: nothing is new.
        {"1 b\r\n2 c\r\n", {"QUIT\r\n"}},
        // An id that occurs twice is new only once.
        {"1 b\r\n2 c\r\n3 d\r\n4 d\r\n", {"TOP 3 0\r\n", "QUIT\r\n"}},
        // An empty mailbox.
        {"", {"QUIT\r\n"}},
    };
    for (const Case& c : cases) {
        Harness h;
        h.firstCheck("1 a\r\n2 b\r\n3 c\r\n");
        h.login();
        std::vector<std::string> sent{h.reply("+OK\r\n" + std::string(c.listing) + ".\r\n")};
        while (sent.back() != "QUIT\r\n") sent.push_back(h.reply("+OK\r\nSubject: x\r\n\r\n.\r\n"));
        EXPECT_EQ(sent, c.expected) << c.listing;
    }
}

TEST(Pop3Session, KnownIdsAreThoseOfTheLatestCompleteListing) {
    Harness h;
    h.firstCheck("1 a\r\n2 b\r\n");
    h.login();
    EXPECT_EQ(h.reply("+OK\r\n1 c\r\n.\r\n"), "TOP 1 0\r\n");
    EXPECT_EQ(h.reply("+OK\r\nSubject: c\r\n\r\n.\r\n"), "QUIT\r\n");
    EXPECT_FALSE(h.session.tracker().knows("a"));
    EXPECT_FALSE(h.session.tracker().knows("b"));
    EXPECT_TRUE(h.session.tracker().knows("c"));

    // A listing that never completes replaces nothing.
    h.login();
    EXPECT_EQ(h.reply("+OK\r\n1 x\r\n2 y\r\n"), "");
    h.host.deliverClosed(h.connection);
    EXPECT_TRUE(h.session.tracker().knows("c"));
    EXPECT_FALSE(h.session.tracker().knows("x"));

    // An id that left the listing and comes back counts as new; a line that
    // cannot be read is skipped and the lines after it still count.
    h.login();
    EXPECT_EQ(h.reply("+OK\r\n1 a\r\nbogus\r\n2 c\r\n3\r\n4 d\r\n.\r\n"), "TOP 4 0\r\n");
    EXPECT_EQ(h.reply("+OK\r\nSubject: d\r\n\r\n.\r\n"), "TOP 1 0\r\n");
    EXPECT_EQ(h.reply("+OK\r\nSubject: a\r\n\r\n.\r\n"), "QUIT\r\n");
    for (const char* id : {"a", "c", "d"}) EXPECT_TRUE(h.session.tracker().knows(id)) << id;
}

TEST(Pop3Session, CheckThatFailsBeforeItsListingLeavesTheFirstCheckToTheNextOne) {
    Harness h;
    h.start();
    h.reply("+OK\r\n");
    h.reply("+OK\r\n");
    EXPECT_EQ(h.reply("-ERR wrong password\r\n"), "QUIT\r\n");
    EXPECT_TRUE(h.session.tracker().firstCheck());
    h.firstCheck("1 a\r\n");
    EXPECT_TRUE(h.notices.empty());
}

TEST(Pop3Session, AnotherServerOrLoginIsAnotherMailboxWhoseFirstCheckOnlyRemembers) {
    Harness h;
    h.firstCheck("1 a\r\n");
    for (const auto& [server, login] : {std::pair{"pop2.example.com", "alice"}, std::pair{"pop2.example.com", "bob"},
                                         std::pair{"pop.example.com", "alice"}}) {
        h.session.start({server, "alice@example.com", login, "secret", false});
        h.reply("+OK\r\n");
        h.reply("+OK\r\n");
        h.reply("+OK\r\n");
        EXPECT_EQ(h.reply(std::string("+OK\r\n1 a\r\n2 ") + server + login + "\r\n.\r\n"), "QUIT\r\n") << login;
        EXPECT_TRUE(h.session.tracker().knows(std::string(server) + login));
    }
    // The same mailbox again: its new mail counts.
    h.login();
    EXPECT_EQ(h.reply("+OK\r\n1 a\r\n2 b\r\n.\r\n"), "TOP 2 0\r\n");
    EXPECT_TRUE(h.notices.empty());
}

TEST(Pop3Session, EachEntryIsHandedOverOnceAndOnlyNewMailHandsOverAgain) {
    Harness h;
    h.firstCheck("1 a\r\n");
    h.login();
    EXPECT_EQ(h.reply("+OK\r\n1 a\r\n2 b\r\n.\r\n"), "TOP 2 0\r\n");
    EXPECT_EQ(h.reply("+OK\r\nSubject: first\r\n\r\n.\r\n"), "QUIT\r\n");
    h.login();
    EXPECT_EQ(h.reply("+OK\r\n1 a\r\n2 b\r\n3 c\r\n.\r\n"), "TOP 3 0\r\n");
    EXPECT_EQ(h.reply("+OK\r\nSubject: second\r\n\r\n.\r\n"), "QUIT\r\n");
    ASSERT_EQ(h.notices.size(), 2u);
    EXPECT_EQ(subjects(h.notices[0]), std::vector<std::string>{"first"});
    EXPECT_EQ(subjects(h.notices[1]), std::vector<std::string>{"second"});

    // Checks that bring nothing new, or fail, announce nothing again.
    h.login();
    EXPECT_EQ(h.reply("+OK\r\n1 a\r\n2 b\r\n3 c\r\n.\r\n"), "QUIT\r\n");
    h.start();
    h.reply("+OK\r\n");
    EXPECT_EQ(h.reply("-ERR no\r\n"), "QUIT\r\n");
    EXPECT_EQ(h.notices.size(), 2u);
    EXPECT_EQ(h.errors.size(), 1u);
    EXPECT_TRUE(h.session.tracker().entries().empty());
}

TEST(Pop3Session, UnreadableDateIsLoggedOncePerMessageAndTheEntryStillCounts) {
    Harness h;
    h.firstCheck("");
    h.login();
    EXPECT_EQ(h.reply("+OK\r\n1 a\r\n2 b\r\n.\r\n"), "TOP 2 0\r\n");
    EXPECT_EQ(h.reply("+OK\r\nDate: someday\r\nSubject: s\r\n\r\n.\r\n"), "TOP 1 0\r\n");
    std::string manyDates;
    for (int i = 0; i < 1000; ++i) manyDates += "Date: never " + std::to_string(i) + "\r\n";
    EXPECT_EQ(h.reply("+OK\r\n" + manyDates + "\r\n.\r\n"), "QUIT\r\n");
    ASSERT_EQ(h.host.logs.size(), 2u);
    EXPECT_EQ(h.host.logs[0].level, -1);
    EXPECT_EQ(h.host.logs[0].text, dateFailureMessage("someday"));
    EXPECT_EQ(h.host.logs[1].text, dateFailureMessage("never 0"));
    ASSERT_EQ(h.notices.size(), 1u);
    EXPECT_EQ(h.notices[0][0].date, 0);
}

TEST(Pop3Session, NulBytesAreDroppedAndReadingGoesOn) {
    using namespace std::string_literals;
    Harness h;
    h.firstCheck("1 a\r\n");
    h.login();
    // The NUL neither hides the listing's later lines nor changes the known id.
    EXPECT_EQ(h.reply("+OK\r\n1 \0a\r\n2 b\0\r\n3 c\r\n.\r\n"s), "TOP 3 0\r\n");
    EXPECT_EQ(h.reply("+OK\r\nFrom: x@\0y\r\nSubject: s\r\n\r\n.\r\n"s), "TOP 2 0\r\n");
    EXPECT_EQ(h.reply("+OK\r\nSub\0ject: t\r\n\r\n.\r\n"s), "QUIT\r\n");
    ASSERT_EQ(h.notices.size(), 1u);
    EXPECT_EQ(h.notices[0][0].from, "x@y");
    EXPECT_EQ(h.notices[0][0].subject, "s");
    EXPECT_EQ(h.notices[0][1].subject, "t");
}

TEST(Pop3Session, EveryRefusedReplyEndsTheCheckWithItsMessageAndQuit) {
    struct Case {
        int step;  // replies answered positively before the refusal
        const char* refusal;
        const char* message;
    };
    const Case cases[] = {
        {0, "-ERR go away\r\n", "POP3 - Error on welcome:\r\n-ERR go away\r\n"},
        {1, "-ERR no such user\r\n", "POP3 - Error on USER:\r\n-ERR no such user\r\n"},
        {2, "-ERR bad\r\n", "POP3 - Error on PASS:\r\n-ERR bad\r\n"},
        {3, "-ERR no UIDL\r\n", "POP3 - Error on UIDL:\r\n-ERR no UIDL\r\n"},
        {4, "-ERR gone\r\n", "POP3 - Error on TOP:\r\n-ERR gone\r\n"},
        {1, "", "POP3 - Received empty buffer"},
        {4, "", "POP3 - Received empty buffer"},
        {0, "OK\r\n", "POP3 - Error on welcome:\r\nOK\r\n"},
        {0, "\r\n", "POP3 - Error on welcome:\r\n\r\n"},
        // Only the status line, cleaned: no line or text direction of the server's own.
        {1, "-ERR no\r\n1 - boss@corp: pay now\r\n", "POP3 - Error on USER:\r\n-ERR no\r\n"},
        {2,
         "-ERR \x1B[8m\xE2\x80\xAE"
         "fdp.exe\r\n",
         "POP3 - Error on PASS:\r\n-ERR  [8mfdp.exe\r\n"},
    };
    const char* positive[] = {"+OK\r\n", "+OK\r\n", "+OK\r\n", "+OK\r\n1 a\r\n2 b\r\n.\r\n"};
    for (const Case& c : cases) {
        Harness h;
        h.firstCheck("1 a\r\n");
        h.start();
        for (int i = 0; i < c.step; ++i) h.reply(positive[i]);
        EXPECT_EQ(h.reply(c.refusal), "QUIT\r\n") << c.message;
        EXPECT_EQ(h.errors, std::vector<std::string>{c.message});
        EXPECT_EQ(h.session.state(), Pop3State::Idle);
        EXPECT_TRUE(h.session.aborted());
        EXPECT_EQ(h.connection.closes, 2);
        // Nothing after the failure reaches the state machine.
        EXPECT_EQ(h.reply("+OK\r\n"), "");
        h.host.deliverClosed(h.connection);
        EXPECT_EQ(h.errors.size(), 1u);
    }
}

TEST(Pop3Session, FailureDuringTopsAnnouncesWhatWasFetchedThenReports) {
    Harness h;
    h.firstCheck("1 a\r\n");
    h.login();
    EXPECT_EQ(h.reply("+OK\r\n1 a\r\n2 b\r\n3 c\r\n.\r\n"), "TOP 3 0\r\n");
    EXPECT_EQ(h.reply("+OK\r\nSubject: three\r\n\r\n.\r\n"), "TOP 2 0\r\n");
    EXPECT_EQ(h.reply("-ERR\r\n"), "QUIT\r\n");
    ASSERT_EQ(h.notices.size(), 1u);
    EXPECT_EQ(subjects(h.notices[0]), std::vector<std::string>{"three"});
    EXPECT_EQ(h.errors, std::vector<std::string>{"POP3 - Error on TOP:\r\n-ERR\r\n"});
    // Message 2 was never announced: the next check fetches it, and only it.
    EXPECT_TRUE(h.session.tracker().knows("c"));
    EXPECT_FALSE(h.session.tracker().knows("b"));
    h.login();
    EXPECT_EQ(h.reply("+OK\r\n1 a\r\n2 b\r\n3 c\r\n.\r\n"), "TOP 2 0\r\n");
    EXPECT_EQ(h.reply("+OK\r\nSubject: two\r\n\r\n.\r\n"), "QUIT\r\n");
    ASSERT_EQ(h.notices.size(), 2u);
    EXPECT_EQ(subjects(h.notices[1]), std::vector<std::string>{"two"});
    h.login();
    EXPECT_EQ(h.reply("+OK\r\n1 a\r\n2 b\r\n3 c\r\n.\r\n"), "QUIT\r\n");
}

TEST(Pop3Session, LoginOrPasswordThatWouldBreakTheCommandLineIsRefusedBeforeConnecting) {
    using namespace std::string_literals;
    struct Case {
        std::string login;
        std::string password;
        const char* message;
    };
    const Case cases[] = {
        {"me\r\nDELE 1", "secret", "POP3 - Invalid login: it holds CR, LF or NUL"},
        {"me\n", "secret", "POP3 - Invalid login: it holds CR, LF or NUL"},
        {"me\0x"s, "secret", "POP3 - Invalid login: it holds CR, LF or NUL"},
        {"me", "se\rcret", "POP3 - Invalid password: it holds CR, LF or NUL"},
        {"me", "secret\r\nDELE 1", "POP3 - Invalid password: it holds CR, LF or NUL"},
        {"me", "\0"s, "POP3 - Invalid password: it holds CR, LF or NUL"},
    };
    for (const Case& c : cases) {
        Harness h;
        h.session.start({"pop.example.com", "alice@example.com", c.login, c.password, false});
        EXPECT_EQ(h.errors, std::vector<std::string>{c.message});
        EXPECT_EQ(h.connection.connects, 0);
        EXPECT_EQ(h.session.state(), Pop3State::Idle);
        EXPECT_EQ(h.session.settings().mail, "alice@example.com");  // the warning's title
        // The next check with usable settings runs as usual.
        h.firstCheck("1 a\r\n");
        EXPECT_EQ(h.errors.size(), 1u);
    }
}

TEST(Pop3Session, ConnectionLossAndErrorEventsCloseWithoutQuit) {
    struct Case {
        std::function<void(FakeHost&, FakeConnection&)> event;
        const char* message;
    };
    const Case cases[] = {
        {[](FakeHost& host, FakeConnection& c) { host.deliverClosed(c); }, "POP3 - Connection closed by server"},
        {[](FakeHost& host, FakeConnection& c) { host.deliverError(c, -5); }, "POP3 - Connection error: 0xFFFFFFFB"},
        {[](FakeHost& host, FakeConnection& c) { host.deliverError(c, 10061); }, "POP3 - Connection error: 10061"},
    };
    for (const Case& c : cases) {
        Harness h;
        h.start();
        h.reply("+OK\r\n");
        c.event(h.host, h.connection);
        EXPECT_EQ(h.errors, std::vector<std::string>{c.message});
        EXPECT_EQ(h.host.takeSent(h.connection), "");
        EXPECT_EQ(h.connection.closes, 1);
        EXPECT_EQ(h.session.state(), Pop3State::Idle);
        EXPECT_TRUE(h.session.aborted());
    }
}

TEST(Pop3Session, TlsIsStartedOnConnectAndItsFailureWaitsForTheSweep) {
    {
        Harness h;
        h.start(true);
        EXPECT_EQ(h.connection.port, 995);
        h.host.deliverConnected(h.connection);
        EXPECT_EQ(h.connection.sslStarts, 1);
        h.host.deliverTls(h.connection, true);
        EXPECT_EQ(h.reply("+OK\r\n"), "USER alice\r\n");
    }

    struct Case {
        const char16_t* text;
        const char* message;
    };
    for (const Case& c : {Case{nullptr, "POP3 - SSL error (5)"}, Case{u"certificate expired",
                                                                       "POP3 - SSL error (5): certificate expired"}}) {
        Harness f;
        f.start(true);
        f.host.deliverConnected(f.connection);
        f.clock.advance(15000);
        f.host.deliverTls(f.connection, false, 5, c.text);
        EXPECT_EQ(f.errors, std::vector<std::string>{c.message});
        EXPECT_EQ(f.session.state(), Pop3State::AwaitWelcome);
        EXPECT_EQ(f.connection.closes, 0);
        f.clock.advance(19999);  // the TLS event counted as activity
        f.session.checkTimeout();
        EXPECT_EQ(f.session.state(), Pop3State::AwaitWelcome);
        f.clock.advance(1);
        f.session.checkTimeout();
        EXPECT_EQ(f.session.state(), Pop3State::Idle);
        EXPECT_EQ(f.connection.closes, 1);
        EXPECT_EQ(f.errors.size(), 1u);
    }
}

TEST(Pop3Session, TlsResultWithoutACheckIsIgnored) {
    Harness h;
    h.host.deliverTls(h.connection, false, 5, u"late");  // before any check
    h.firstCheck("1 a\r\n");
    h.login();
    EXPECT_EQ(h.reply("+OK\r\n1 a\r\n2 b\r\n.\r\n"), "TOP 2 0\r\n");
    EXPECT_EQ(h.reply("+OK\r\nSubject: hi\r\n\r\n.\r\n"), "QUIT\r\n");
    h.host.deliverTls(h.connection, false, 5, nullptr);  // after a check that ended well
    EXPECT_TRUE(h.errors.empty());
    EXPECT_EQ(h.notices.size(), 1u);
    EXPECT_FALSE(h.session.aborted());
}

TEST(Pop3Session, LongTlsErrorTextIsCut) {
    Harness h;
    h.start(true);
    const std::u16string text(2000, u'x');
    h.host.deliverTls(h.connection, false, 7, text.c_str());
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_EQ(h.errors[0].size(), 1022u);
    EXPECT_TRUE(h.errors[0].starts_with("POP3 - SSL error (7): xxx"));
}

TEST(Pop3Session, RefusedConnectTlsStartAndSend) {
    {
        Harness h;
        h.host.setResult(u"NetLib/Connect", 0x2749);
        h.start();
        EXPECT_EQ(h.errors, std::vector<std::string>{"POP3 - Could not connect to server, err=0x2749"});
        EXPECT_EQ(h.connection.closes, 1);
        EXPECT_EQ(h.session.state(), Pop3State::Idle);
    }
    {
        Harness h;
        h.host.setResult(u"NetLib/InitSSL", 1);
        h.start(true);
        h.host.deliverConnected(h.connection);
        EXPECT_EQ(h.errors, std::vector<std::string>{"POP3 - Starting SSL failed"});
        EXPECT_EQ(h.host.takeSent(h.connection), "QUIT\r\n");
        EXPECT_EQ(h.session.state(), Pop3State::Idle);
    }
    {
        Harness h;
        h.host.failSendNumber = 2;  // PASS
        h.start();
        h.reply("+OK\r\n");
        EXPECT_EQ(h.reply("+OK\r\n"), "QUIT\r\n");
        EXPECT_EQ(h.errors, std::vector<std::string>{"POP3 - Send failed"});
        EXPECT_EQ(h.session.state(), Pop3State::Idle);
        EXPECT_EQ(h.connection.closes, 1);
    }
}

TEST(Pop3Session, SecondStartIsLoggedAndTheRunningCheckGoesOn) {
    Harness h;
    h.firstCheck("1 a\r\n");
    h.login();
    EXPECT_EQ(h.reply("+OK\r\n1 a\r\n2 b\r\n.\r\n"), "TOP 2 0\r\n");
    h.start();
    ASSERT_EQ(h.host.logs.size(), 1u);
    EXPECT_EQ(h.host.logs[0].level, 0);
    EXPECT_EQ(h.host.logs[0].text,
              "alice@example.com: POP3 - One connection in progress (state=6), cannot start new one");
    EXPECT_EQ(h.connection.connects, 2);
    EXPECT_EQ(h.reply("+OK\r\nSubject: s\r\n\r\n.\r\n"), "QUIT\r\n");
    EXPECT_EQ(h.notices.size(), 1u);
}

TEST(Pop3Session, OfflineComputerMakesNoCheck) {
    Harness h;
    h.online = false;
    h.start();
    EXPECT_EQ(h.probes, 1);
    EXPECT_EQ(h.connection.connects, 0);
    EXPECT_EQ(h.session.state(), Pop3State::Idle);
    EXPECT_TRUE(h.errors.empty());
    EXPECT_TRUE(h.host.logs.empty());
    EXPECT_TRUE(h.host.notifications.empty());
}

TEST(Pop3Session, ServerTextGivesHostAndPort) {
    struct Case {
        const char* server;
        bool ssl;
        const char* host;
        int32_t port;
    };
    const Case cases[] = {
        {"pop.example.com", true, "pop.example.com", 995},  {"pop.example.com", false, "pop.example.com", 110},
        {"pop.example.com:1110", true, "pop.example.com", 1110}, {"pop.example.com:1110", false, "pop.example.com", 1110},
        {"pop.example.com:", true, "pop.example.com", 995},  {"pop.example.com:", false, "pop.example.com", 110},
    };
    for (const Case& c : cases) {
        Harness h;
        h.start(c.ssl, c.server);
        EXPECT_EQ(h.connection.host, c.host) << c.server;
        EXPECT_EQ(h.connection.port, c.port) << c.server << " " << c.ssl;
    }
}

TEST(Pop3Session, TrafficIsReportedBothWaysPasswordIncluded) {
    Harness h;
    h.start();
    h.reply("+OK hi\r\n");
    h.reply("+OK\r\n");
    std::vector<std::pair<int32_t, std::string>> seen;
    for (const auto& t : h.host.traffic) {
        EXPECT_EQ(t.accountId, 3);
        if (t.phase == 1) seen.emplace_back(t.direction, t.bytes);
    }
    const std::vector<std::pair<int32_t, std::string>> expected = {
        {kTrafficReceived, "+OK hi\r\n"}, {kTrafficSent, "USER alice\r\n"},
        {kTrafficReceived, "+OK\r\n"}, {kTrafficSent, "PASS secret\r\n"}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(h.host.traffic.size(), 8u);  // phase 2 follows each phase 1
}

TEST(Pop3Session, SilentServerIsDroppedAfterTwentySecondsWithoutAWord) {
    Harness h;
    h.firstCheck("1 a\r\n");
    h.login();
    EXPECT_EQ(h.reply("+OK\r\n1 a\r\n2 b\r\n3 c\r\n.\r\n"), "TOP 3 0\r\n");
    EXPECT_EQ(h.reply("+OK\r\nSubject: kept\r\n\r\n.\r\n"), "TOP 2 0\r\n");
    h.clock.tick = 0xFFFFF000u;  // the sweep works across the tick's wrap
    h.reply("+OK\r\n");
    h.clock.advance(19999);
    h.session.checkTimeout();
    EXPECT_EQ(h.session.state(), Pop3State::ReadingTop);
    h.clock.advance(1);
    h.session.checkTimeout();
    EXPECT_EQ(h.session.state(), Pop3State::Idle);
    EXPECT_TRUE(h.session.aborted());
    EXPECT_EQ(h.connection.closes, 2);
    EXPECT_EQ(h.host.takeSent(h.connection), "");  // no QUIT
    EXPECT_TRUE(h.errors.empty());
    EXPECT_EQ(h.notices.size(), 0u);
    // The entry fetched so far is announced by the next check, together
    // with the message whose header the dropped check was reading.
    h.login();
    EXPECT_EQ(h.reply("+OK\r\n1 a\r\n2 b\r\n3 c\r\n.\r\n"), "TOP 2 0\r\n");
    EXPECT_EQ(h.reply("+OK\r\nSubject: late\r\n\r\n.\r\n"), "QUIT\r\n");
    ASSERT_EQ(h.notices.size(), 1u);
    EXPECT_EQ(subjects(h.notices[0]), (std::vector<std::string>{"kept", "late"}));
}

// --- replies cut into data events anywhere ------------------------------

constexpr std::string_view kListingReply = "+OK 3 messages\r\n1 a\r\n2 b\r\n3 c\r\n.\r\n";
constexpr std::string_view kTopReply = "+OK\r\nFrom: x@example.com\r\nSubject: cut\r\n\r\n.\r\n";

// Plays a later check whose listing reply and header reply arrive in the
// given pieces; returns everything the plug-in sent after UIDL.
std::string playCut(const std::vector<std::string_view>& listing, const std::vector<std::string_view>& top,
                    std::vector<std::string>& subjectsSeen) {
    Harness h;
    h.firstCheck("1 a\r\n2 b\r\n");
    h.login();
    std::string sent;
    for (size_t i = 0; i < listing.size(); ++i) {
        sent += h.reply(listing[i]);
        if (i + 1 < listing.size()) {
            EXPECT_EQ(sent, "") << "judged before the listing was complete";
        }
    }
    for (size_t i = 0; i < top.size(); ++i) {
        const std::string answer = h.reply(top[i]);
        if (i + 1 < top.size()) {
            EXPECT_EQ(answer, "") << "judged before the header block was complete";
        }
        sent += answer;
    }
    for (const auto& notice : h.notices) subjectsSeen = subjects(notice);
    EXPECT_TRUE(h.errors.empty());
    return sent;
}

TEST(Pop3Session, ListingCutAnywhereIsCollectedWhole) {
    for (size_t cut = 1; cut < kListingReply.size(); ++cut) {
        std::vector<std::string> seen;
        const std::string sent =
            playCut({kListingReply.substr(0, cut), kListingReply.substr(cut)}, {kTopReply}, seen);
        EXPECT_EQ(sent, "TOP 3 0\r\nQUIT\r\n") << "cut at " << cut;
        EXPECT_EQ(seen, std::vector<std::string>{"cut"}) << "cut at " << cut;
    }
}

TEST(Pop3Session, HostileListingCutAnywhereGivesTheSameChoice) {
    using namespace std::string_literals;
    // NUL bytes, an unreadable line, a dot-stuffed one, a bare LF, a repeat.
    const std::string reply = "+OK\r\n1 a\r\n2 \0x\r\nbogus\r\n..3 y\r\n4 z\n5 b\r\n6 x\r\n7 w\0\r\n.\r\n"s;
    const auto play = [&](std::vector<std::string_view> pieces) {
        Harness h;
        h.firstCheck("1 a\r\n2 b\r\n");
        h.login();
        std::string sent;
        for (std::string_view piece : pieces) sent += h.reply(piece);
        while (sent.ends_with(" 0\r\n")) sent += h.reply("+OK\r\nSubject: s\r\n\r\n.\r\n");
        std::string known;
        for (const char* id : {"a", "b", "x", "y", "z", "w", "v"}) known += h.session.tracker().knows(id) ? id : "-";
        return sent + known;
    };
    const std::string whole = play({reply});
    // (".3 y" has no number; bytes after the terminating line are dropped)
    EXPECT_EQ(play({reply + "9 v\r\n"}), whole);
    EXPECT_EQ(whole, "TOP 7 0\r\nTOP 4 0\r\nTOP 2 0\r\nQUIT\r\nabx-zw-");
    const std::string_view text = reply;
    for (size_t cut = 1; cut < reply.size(); ++cut) {
        EXPECT_EQ(play({text.substr(0, cut), text.substr(cut)}), whole) << "cut at " << cut;
    }
}

TEST(Pop3Session, ListingFarPastTheReplyBoundIsReadLineByLine) {
    // The bound holds for one line: a listing of 200 KB passes a 64-byte one.
    Harness h(64);
    std::string listing;
    for (int i = 1; i <= 10000; ++i) listing += std::to_string(i) + " uid-" + std::to_string(i) + "\r\n";
    h.firstCheck(listing);
    EXPECT_TRUE(h.errors.empty());
    EXPECT_TRUE(h.session.tracker().knows("uid-1"));
    EXPECT_TRUE(h.session.tracker().knows("uid-10000"));
    h.login();
    EXPECT_EQ(h.reply("+OK\r\n" + listing + "10001 uid-new\r\n.\r\n"), "TOP 10001 0\r\n");
    EXPECT_EQ(h.reply("+OK\r\nSubject: s\r\n\r\n.\r\n"), "QUIT\r\n");
    EXPECT_TRUE(h.errors.empty());
    // A line past it still ends the check, and the listing counts for nothing.
    h.login();
    EXPECT_EQ(h.reply("+OK\r\n1 uid-1\r\n2 " + std::string(61, 'x') + "\r\n.\r\n"), "QUIT\r\n");
    EXPECT_EQ(h.errors, std::vector<std::string>{"POP3 - Reply too long"});
    EXPECT_TRUE(h.session.tracker().knows("uid-new"));
    EXPECT_FALSE(h.session.tracker().knows(std::string(61, 'x')));
    h.login();
    EXPECT_EQ(h.reply("+OK\r\n1 uid-1\r\n.\r\n"), "QUIT\r\n");
    EXPECT_FALSE(h.session.tracker().knows("uid-2"));
}

TEST(Pop3Session, HeaderBlockCutAnywhereIsCollectedWhole) {
    for (size_t cut = 1; cut < kTopReply.size(); ++cut) {
        std::vector<std::string> seen;
        const std::string sent = playCut({kListingReply}, {kTopReply.substr(0, cut), kTopReply.substr(cut)}, seen);
        EXPECT_EQ(sent, "TOP 3 0\r\nQUIT\r\n") << "cut at " << cut;
        EXPECT_EQ(seen, std::vector<std::string>{"cut"}) << "cut at " << cut;
    }
}

TEST(Pop3Session, ByteByByteDialogueWorks) {
    Harness h;
    h.firstCheck("1 a\r\n");
    h.start();
    std::string sent;
    const auto trickle = [&](std::string_view text) {
        for (char c : text) sent += h.reply(std::string_view(&c, 1));
    };
    for (std::string_view reply : {"+OK ready\r\n", "+OK\r\n", "+OK\r\n", "+OK\r\n1 a\r\n2 b\r\n.\r\n",
                                   "+OK\r\nSubject: slow\r\n\r\n.\r\n"})
        trickle(reply);
    EXPECT_EQ(sent, "USER alice\r\nPASS secret\r\nUIDL\r\nTOP 2 0\r\nQUIT\r\n");
    ASSERT_EQ(h.notices.size(), 1u);
    EXPECT_EQ(subjects(h.notices[0]), std::vector<std::string>{"slow"});
}

TEST(Pop3Session, RefusalInPiecesIsJudgedOnceItsLineIsWhole) {
    Harness h;
    h.start();
    EXPECT_EQ(h.reply("-ER"), "");
    EXPECT_TRUE(h.errors.empty());
    EXPECT_EQ(h.reply("R busy\r"), "");
    EXPECT_EQ(h.reply("\n"), "QUIT\r\n");
    EXPECT_EQ(h.errors, std::vector<std::string>{"POP3 - Error on welcome:\r\n-ERR busy\r\n"});
}

TEST(Pop3Session, ReplyPastTheLimitEndsTheCheck) {
    struct Case {
        std::vector<std::string> replies;  // after UIDL
    };
    const Case cases[] = {
        {{"+OK\r\n", std::string(60, 'x'), std::string(5, 'x')}},  // a listing body of 65 bytes
        {{std::string(64, '+'), "+"}},                              // a status line that never ends
    };
    for (const Case& c : cases) {
        Harness h(64);
        h.login();
        std::string sent;
        for (const std::string& reply : c.replies) sent += h.reply(reply);
        EXPECT_EQ(sent, "QUIT\r\n");
        EXPECT_EQ(h.errors, std::vector<std::string>{"POP3 - Reply too long"});
    }
}

}  // namespace
}  // namespace postrix::pop3
