// The IMAP state machine played response by response against the fake host.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "fixtures/manual_clock.h"
#include "imap/imap_session.h"
#include "support/fake_host.h"
#include "support/temp_dir.h"

namespace postrix::imap {
namespace {

using test::FakeConnection;
using test::FakeHost;

constexpr std::string_view kGreeting = "* OK [CAPABILITY IMAP4rev1 IDLE AUTH=PLAIN SASL-IR] ready\r\n";
constexpr std::string_view kAuthenticate = "a1 AUTHENTICATE PLAIN AGFsaWNlAHNlY3JldA==\r\n";
constexpr std::string_view kExamine = "a2 EXAMINE \"INBOX\"\r\n";
constexpr std::string_view kFetchSince41 = " UID FETCH 41:* (UID BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE)])\r\n";

std::string fetchResponse(int number, int uid, std::string_view subject) {
    const std::string header = "From: jan@example.com\r\nSubject: " + std::string(subject) +
                               "\r\nDate: Mon, 5 Nov 2012 10:00:00 +0100\r\n\r\n";
    return "* " + std::to_string(number) + " FETCH (UID " + std::to_string(uid) +
           " BODY[HEADER.FIELDS (FROM SUBJECT DATE)] {" + std::to_string(header.size()) + "}\r\n" + header + ")\r\n";
}

struct Harness {
    Harness()
        : session(
              Host(host.table()),
              [this](ImapSession&, std::vector<pop3::NewMailEntry> entries) { notices.push_back(std::move(entries)); },
              [this](ImapSession&, const std::string& message) { errors.push_back(message); }, 3),
          connection(host.connection("MAIL/Socket/IMAP/3")) {
        session.setProbe([this] { return online; });
    }

    bool start(ImapSession::Reason reason = ImapSession::Reason::Request, std::string password = "secret") {
        settings.password = std::move(password);
        return session.start(settings, reason);
    }

    // The server says text; what the plug-in answered is returned.
    std::string reply(std::string_view text) {
        host.deliverData(connection, text);
        return host.takeSent(connection);
    }

    // Plays a check up to the EXAMINE command.
    void login() {
        ASSERT_TRUE(start());
        ASSERT_EQ(reply(kGreeting), kAuthenticate);
        ASSERT_EQ(reply("a1 OK logged in\r\n"), kExamine);
    }

    // A first check of a folder holding UIDs up to 40, ending in IDLE.
    void firstCheckToIdle() {
        login();
        ASSERT_EQ(reply("* 3 EXISTS\r\n* OK [UIDVALIDITY 7] v\r\n* OK [UIDNEXT 41] n\r\na2 OK [READ-ONLY] done\r\n"),
                  "a3 IDLE\r\n");
        ASSERT_EQ(reply("+ idling\r\n"), "");
        ASSERT_EQ(session.state(), ImapState::Idling);
    }

    FakeHost host;
    test::ManualClock clock;
    ImapSettings settings{"imap.example.com", "alice@example.com", "alice", "secret", "INBOX", false};
    std::vector<std::vector<pop3::NewMailEntry>> notices;
    std::vector<std::string> errors;
    bool online = true;
    ImapSession session;
    FakeConnection& connection;
};

std::vector<std::string> subjects(const std::vector<pop3::NewMailEntry>& entries) {
    std::vector<std::string> result;
    for (const auto& entry : entries) result.push_back(entry.subject);
    return result;
}

TEST(ImapSession, FirstCheckRemembersTheFolderAndIdles) {
    Harness h;
    h.firstCheckToIdle();
    EXPECT_EQ(h.connection.host, "imap.example.com");
    EXPECT_EQ(h.connection.port, 143);
    EXPECT_EQ(h.connection.sslStarts, 0);
    EXPECT_TRUE(h.notices.empty());
    EXPECT_TRUE(h.errors.empty());
    EXPECT_TRUE(h.session.pushing());
    EXPECT_EQ(h.session.folderState(), (FolderState{7, 40}));
}

TEST(ImapSession, ExistsWhileIdlingFetchesNewestFirstAndIdlesAgain) {
    Harness h;
    h.firstCheckToIdle();
    EXPECT_EQ(h.reply("* 5 EXISTS\r\n"), "DONE\r\n");
    EXPECT_EQ(h.reply("a3 OK idle done\r\n"), "a4" + std::string(kFetchSince41));
    // The "n:*" quirk: a UID at or below the highest seen is not new.
    EXPECT_EQ(h.reply(fetchResponse(3, 40, "old") + fetchResponse(4, 41, "first") + "* 4 FETCH (FLAGS (\\Seen))\r\n" +
                      fetchResponse(5, 42, "second") + "a4 OK fetched\r\n"),
              "a5 IDLE\r\n");
    ASSERT_EQ(h.notices.size(), 1u);
    EXPECT_EQ(subjects(h.notices[0]), (std::vector<std::string>{"second", "first"}));
    EXPECT_EQ(h.notices[0][0].from, "jan@example.com");
    EXPECT_EQ(h.notices[0][0].date, 1352106000);
    EXPECT_EQ(h.session.folderState(), (FolderState{7, 42}));
    EXPECT_EQ(h.reply("+ idling\r\n"), "");
    EXPECT_EQ(h.session.state(), ImapState::Idling);
}

TEST(ImapSession, RepliesSplitAtAnyByteGiveTheSameCheck) {
    const std::string server = std::string(kGreeting) + "a1 OK in\r\n" +
                               "* 3 EXISTS\r\n* OK [UIDVALIDITY 7] v\r\n* OK [UIDNEXT 41] n\r\na2 OK done\r\n" +
                               "+ idling\r\n* 4 EXISTS\r\n" + "a3 OK\r\n" + fetchResponse(4, 41, "split") +
                               "a4 OK\r\n";
    for (size_t size : {size_t{1}, size_t{2}, size_t{7}, size_t{64}}) {
        Harness h;
        ASSERT_TRUE(h.start());
        for (size_t i = 0; i < server.size(); i += size) h.host.deliverData(h.connection, server.substr(i, size));
        EXPECT_EQ(h.host.takeSent(h.connection),
                  std::string(kAuthenticate) + std::string(kExamine) + "a3 IDLE\r\nDONE\r\na4" +
                      std::string(kFetchSince41) + "a5 IDLE\r\n")
            << "events of " << size << " bytes";
        ASSERT_EQ(h.notices.size(), 1u) << size;
        EXPECT_EQ(subjects(h.notices[0]), std::vector<std::string>{"split"});
        EXPECT_TRUE(h.errors.empty()) << h.errors.front();
    }
}

TEST(ImapSession, LoginSendsStringsQuotedOrAsLiterals) {
    Harness h;
    ASSERT_TRUE(h.start(ImapSession::Reason::Request, "p\"ass"));
    EXPECT_EQ(h.reply("* OK [CAPABILITY IMAP4rev1] ready\r\n"), "a1 LOGIN \"alice\" {5}\r\n");
    EXPECT_EQ(h.reply("+ go on\r\n"), "p\"ass\r\n");
    EXPECT_EQ(h.reply("a1 OK [CAPABILITY IMAP4rev1] in\r\n"), kExamine);
    // Without IDLE the check logs out and closes.
    EXPECT_EQ(h.reply("* 0 EXISTS\r\n* OK [UIDVALIDITY 1] v\r\na2 OK done\r\n"), "a3 LOGOUT\r\n");
    EXPECT_EQ(h.connection.closes, 1);
    EXPECT_EQ(h.session.state(), ImapState::Idle);
    EXPECT_FALSE(h.session.pushing());
    EXPECT_TRUE(h.errors.empty());
}

TEST(ImapSession, CapabilityCodesMatchInAnyCase) {
    Harness h;
    ASSERT_TRUE(h.start());
    EXPECT_EQ(h.reply("* OK [capability imap4rev1 idle auth=plain sasl-ir] ready\r\n"), kAuthenticate);
}

TEST(ImapSession, AnEndlessFetchKeepsOnlyTheNewestHeaders) {
    Harness h;
    h.firstCheckToIdle();
    h.reply("* 4 EXISTS\r\n");
    h.reply("a3 OK\r\n");
    std::string burst;
    for (uint32_t uid = 41; uid < 41 + 5 * kMaxAnnouncedPerCheck; ++uid) burst += fetchResponse(4, uid, "m" + std::to_string(uid));
    h.reply(burst + "a4 OK\r\n");
    ASSERT_EQ(h.notices.size(), 1u);
    ASSERT_EQ(h.notices[0].size(), kMaxAnnouncedPerCheck);
    EXPECT_EQ(h.notices[0].front().subject, "m" + std::to_string(40 + 5 * kMaxAnnouncedPerCheck));
    EXPECT_EQ(h.session.folderState(), (FolderState{7, 40 + 5 * kMaxAnnouncedPerCheck}));
}

TEST(ImapSession, AuthenticateWithoutInitialResponseWaitsForTheContinuation) {
    Harness h;
    ASSERT_TRUE(h.start());
    EXPECT_EQ(h.reply("* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] ready\r\n"), "a1 AUTHENTICATE PLAIN\r\n");
    EXPECT_EQ(h.reply("+ \r\n"), "AGFsaWNlAHNlY3JldA==\r\n");
    // A second challenge has no answer: the check fails, once.
    EXPECT_EQ(h.reply("+ more?\r\n"), "a2 LOGOUT\r\n");
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_EQ(h.errors[0], "IMAP - Unexpected continuation from the server");
}

TEST(ImapSession, GreetingWithoutCapabilitiesAsksForThem) {
    Harness h;
    ASSERT_TRUE(h.start());
    EXPECT_EQ(h.reply("* OK hello\r\n"), "a1 CAPABILITY\r\n");
    EXPECT_EQ(h.reply("* CAPABILITY IMAP4rev1 LOGINDISABLED\r\na1 OK\r\n"), "a2 LOGOUT\r\n");
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_NE(h.errors[0].find("LOGINDISABLED"), std::string::npos);
}

TEST(ImapSession, RefusalAtEachStepFailsOnceAndLogsOut) {
    struct Case {
        std::string before;  // the server's replies up to the refused command
        std::string refusal;
        std::string message;
    };
    const std::string examined = "* 1 EXISTS\r\n* OK [UIDVALIDITY 7] v\r\n* OK [UIDNEXT 41] n\r\na2 OK\r\n";
    const std::vector<Case> cases = {
        {"", "* BYE go away\r\n", "IMAP - Error on welcome:\r\nBYE go away\r\n"},
        {std::string(kGreeting), "a1 NO [AUTHENTICATIONFAILED] wrong\r\n",
         "IMAP - Error on AUTHENTICATE:\r\nNO [AUTHENTICATIONFAILED] wrong\r\n"},
        {std::string(kGreeting) + "a1 OK\r\n", "a2 NO no such folder\r\n",
         "IMAP - Error on EXAMINE:\r\nNO no such folder\r\n"},
        {std::string(kGreeting) + "a1 OK\r\n", "a2 BAD \x1b[31mred\r\n", "IMAP - Error on EXAMINE:\r\nBAD  [31mred\r\n"},
        {std::string(kGreeting) + "a1 OK\r\n" + examined + "+ idling\r\n* 2 EXISTS\r\na3 OK\r\n", "a4 NO busy\r\n",
         "IMAP - Error on FETCH:\r\nNO busy\r\n"},
        {std::string(kGreeting) + "a1 OK\r\n", "a9 OK wrong tag\r\n", "IMAP - Unexpected tagged reply:\r\nOK wrong tag\r\n"},
        {std::string(kGreeting) + "a1 OK\r\n", "(oops)\r\n", "IMAP - Unreadable reply:\r\n(oops)\r\n"},
    };
    for (const Case& c : cases) {
        Harness h;
        ASSERT_TRUE(h.start());
        if (!c.before.empty()) h.reply(c.before);
        h.reply(c.refusal);
        ASSERT_EQ(h.errors.size(), 1u) << c.refusal;
        EXPECT_EQ(h.errors[0], c.message);
        EXPECT_EQ(h.session.state(), ImapState::Idle);
        EXPECT_EQ(h.connection.closes, 1);
        // Nothing more reaches the ended check.
        h.reply("* 9 EXISTS\r\n");
        h.host.deliverClosed(h.connection);
        EXPECT_EQ(h.errors.size(), 1u);
    }
}

TEST(ImapSession, ByeOutsideIdleIsAnErrorAndDuringIdleAReconnection) {
    {
        Harness h;
        h.login();
        h.reply("* BYE shutting down\r\n");
        ASSERT_EQ(h.errors.size(), 1u);
        EXPECT_EQ(h.errors[0], "IMAP - Server closed the connection:\r\nBYE shutting down\r\n");
    }
    Harness h;
    h.firstCheckToIdle();
    EXPECT_EQ(h.reply("* BYE autologout\r\n"), "");
    EXPECT_TRUE(h.errors.empty());
    EXPECT_EQ(h.session.state(), ImapState::WaitingToReconnect);
    EXPECT_TRUE(h.host.loggedContains("reconnecting in 5 s"));
}

TEST(ImapSession, ChangedUidValidityIsAFirstCheckAgain) {
    Harness h;
    h.firstCheckToIdle();
    h.session.stop();
    h.host.takeSent(h.connection);
    h.login();
    EXPECT_EQ(h.reply("* 9 EXISTS\r\n* OK [UIDVALIDITY 8] v\r\n* OK [UIDNEXT 100] n\r\na2 OK\r\n"), "a3 IDLE\r\n");
    EXPECT_TRUE(h.notices.empty());
    EXPECT_EQ(h.session.folderState(), (FolderState{8, 99}));
}

TEST(ImapSession, FirstCheckWithoutUidNextAsksForTheLastUid) {
    Harness h;
    h.login();
    EXPECT_EQ(h.reply("* 2 EXISTS\r\n* OK [UIDVALIDITY 7] v\r\na2 OK\r\n"), "a3 UID FETCH * (UID)\r\n");
    EXPECT_EQ(h.reply("* 2 FETCH (UID 17)\r\na3 OK\r\n"), "a4 IDLE\r\n");
    EXPECT_EQ(h.session.folderState(), (FolderState{7, 17}));
    EXPECT_TRUE(h.notices.empty());
}

TEST(ImapSession, ExistsBurstWhileFetchingFetchesAgain) {
    Harness h;
    h.firstCheckToIdle();
    h.reply("* 4 EXISTS\r\n");
    h.reply("a3 OK\r\n");
    EXPECT_EQ(h.reply(fetchResponse(4, 41, "one") + "* 5 EXISTS\r\n* 6 EXISTS\r\na4 OK\r\n"),
              "a5 UID FETCH 42:* (UID BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE)])\r\n");
    EXPECT_EQ(h.reply(fetchResponse(5, 42, "two") + fetchResponse(6, 43, "three") + "a5 OK\r\n"), "a6 IDLE\r\n");
    ASSERT_EQ(h.notices.size(), 2u);
    EXPECT_EQ(subjects(h.notices[1]), (std::vector<std::string>{"three", "two"}));
}

TEST(ImapSession, TimerLeavesAHealthyIdleAloneAndARequestFetches) {
    Harness h;
    h.firstCheckToIdle();
    EXPECT_FALSE(h.start(ImapSession::Reason::Timer));
    EXPECT_EQ(h.host.takeSent(h.connection), "");
    EXPECT_TRUE(h.start(ImapSession::Reason::Request));
    EXPECT_EQ(h.host.takeSent(h.connection), "DONE\r\n");
    EXPECT_EQ(h.reply("a3 OK\r\n"), "a4" + std::string(kFetchSince41));
}

TEST(ImapSession, IdleIsRenewedEveryTwentyFiveMinutes) {
    Harness h;
    h.firstCheckToIdle();
    // Silence during IDLE is no time-out.
    h.clock.advance(kIdleRenewalMs - 1);
    h.session.tick();
    EXPECT_EQ(h.host.takeSent(h.connection), "");
    h.clock.advance(1);
    h.session.tick();
    EXPECT_EQ(h.host.takeSent(h.connection), "DONE\r\n");
    EXPECT_EQ(h.reply("a3 OK\r\n"), "a4 IDLE\r\n");
    EXPECT_EQ(h.reply("+ idling\r\n"), "");
    EXPECT_TRUE(h.notices.empty());
    // Outside IDLE a server silent for 20 s ends the connection.
    h.session.tick();
    h.clock.advance(kIdleRenewalMs);
    h.session.tick();
    h.clock.advance(kImapTimeoutMs);
    h.session.tick();
    EXPECT_EQ(h.session.state(), ImapState::WaitingToReconnect);
    EXPECT_TRUE(h.errors.empty());
}

TEST(ImapSession, LostConnectionReconnectsWithDoublingPauses) {
    Harness h;
    h.firstCheckToIdle();
    h.host.deliverClosed(h.connection);
    EXPECT_EQ(h.session.state(), ImapState::WaitingToReconnect);
    EXPECT_TRUE(h.host.loggedContains("IMAP - Connection closed by server; reconnecting in 5 s"));
    // The timer does not hurry a reconnection.
    EXPECT_FALSE(h.start(ImapSession::Reason::Timer));
    h.clock.advance(4999);
    h.session.tick();
    EXPECT_EQ(h.connection.connects, 1);
    h.clock.advance(1);
    h.session.tick();
    EXPECT_EQ(h.connection.connects, 2);
    h.host.deliverError(h.connection, 10061);
    EXPECT_TRUE(h.host.loggedContains("reconnecting in 10 s"));
    for (uint32_t pause : {10u, 20u, 40u, 80u, 160u, 300u, 300u}) {
        h.clock.advance(pause * 1000);
        h.session.tick();
        h.host.deliverClosed(h.connection);
    }
    EXPECT_EQ(h.session.reconnectDelayMs(), kMaxReconnectDelayMs);
    EXPECT_TRUE(h.errors.empty());
    // A connection that reaches IDLE again starts the pauses over and
    // announces what came meanwhile.
    h.clock.advance(kMaxReconnectDelayMs);
    h.session.tick();
    h.host.takeSent(h.connection);
    EXPECT_EQ(h.reply(kGreeting), kAuthenticate);
    EXPECT_EQ(h.reply("a1 OK\r\n"), kExamine);
    EXPECT_EQ(h.reply("* 4 EXISTS\r\n* OK [UIDVALIDITY 7] v\r\n* OK [UIDNEXT 42] n\r\na2 OK\r\n"),
              "a3" + std::string(kFetchSince41));
    EXPECT_EQ(h.reply(fetchResponse(4, 41, "meanwhile") + "a3 OK\r\n"), "a4 IDLE\r\n");
    h.reply("+ idling\r\n");
    EXPECT_EQ(h.session.reconnectDelayMs(), kFirstReconnectDelayMs);
    ASSERT_EQ(h.notices.size(), 1u);
    // A refusal after reconnecting ends pushing with one error.
    h.host.deliverClosed(h.connection);
    h.clock.advance(kFirstReconnectDelayMs);
    h.session.tick();
    h.reply(kGreeting);
    h.reply("a1 NO [AUTHENTICATIONFAILED] changed\r\n");
    EXPECT_EQ(h.errors.size(), 1u);
    EXPECT_FALSE(h.session.pushing());
    EXPECT_EQ(h.session.state(), ImapState::Idle);
}

TEST(ImapSession, EndingDuringIdleSaysDoneAndLogout) {
    FakeHost* host = nullptr;
    FakeConnection* connection = nullptr;
    auto h = std::make_unique<Harness>();
    h->firstCheckToIdle();
    host = &h->host;
    connection = &h->connection;
    h->session.stop();
    EXPECT_EQ(host->takeSent(*connection), "DONE\r\na4 LOGOUT\r\n");
    EXPECT_EQ(connection->closes, 1);
    // Late events of the closed connection reach nothing.
    h->reply("* 7 EXISTS\r\n");
    h->host.deliverClosed(*connection);
    EXPECT_EQ(h->session.state(), ImapState::Idle);
    EXPECT_TRUE(h->errors.empty());
}

TEST(ImapSession, HostileServersGetOneClearError) {
    struct Case {
        std::string reply;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"* 1 FETCH (BODY[] {999999999}\r\n", "IMAP - Reply too long"},
        {"+ more\r\n", "IMAP - Unexpected continuation from the server"},
        {std::string(2 << 20, 'x'), "IMAP - Reply too long"},
    };
    for (const Case& c : cases) {
        Harness h;
        h.login();
        h.reply(c.reply);
        ASSERT_EQ(h.errors.size(), 1u) << c.message;
        EXPECT_EQ(h.errors[0], c.message);
    }
    // An untagged flood ends once the command has drawn too many.
    Harness h;
    h.login();
    std::string flood;
    for (int i = 0; i < 100000; ++i) flood += "* OK hi\r\n";
    for (uint32_t sent = 0; sent <= kMaxUntaggedPerCommand && h.errors.empty(); sent += 100000) h.reply(flood);
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_EQ(h.errors[0], "IMAP - Too many responses from the server");
}

TEST(ImapSession, SettingsWithNulAreRefusedBeforeConnecting) {
    Harness h;
    h.settings.folder = std::string("IN\0BOX", 6);
    EXPECT_TRUE(h.start());
    EXPECT_EQ(h.connection.connects, 0);
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_EQ(h.errors[0], "IMAP - Invalid folder: it holds a NUL character");
}

TEST(ImapSession, TlsFromTheFirstByteOnPort993) {
    Harness h;
    h.settings.useSsl = true;
    ASSERT_TRUE(h.start());
    EXPECT_EQ(h.connection.port, 993);
    h.host.deliverConnected(h.connection);
    EXPECT_EQ(h.connection.sslStarts, 1);
    h.host.deliverTls(h.connection, false, 5, u"certificate not trusted");
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_EQ(h.errors[0], "IMAP - SSL error (5): certificate not trusted");
}

TEST(ImapSession, FolderStateOutlivesTheSession) {
    test::TempDir dir;
    const std::u16string path = (dir.path() / "postrix.imap").u16string();
    {
        Harness h;
        h.session.keepState(path);
        h.firstCheckToIdle();
    }
    {
        Harness h;
        h.session.keepState(path);
        h.login();
        EXPECT_EQ(h.reply("* 4 EXISTS\r\n* OK [UIDVALIDITY 7] v\r\n* OK [UIDNEXT 42] n\r\na2 OK\r\n"),
                  "a3" + std::string(kFetchSince41));
        EXPECT_EQ(h.reply(fetchResponse(4, 41, "while away") + "a3 OK\r\n"), "a4 IDLE\r\n");
        ASSERT_EQ(h.notices.size(), 1u);
    }
    // Another login's folder is not this one's.
    Harness other;
    other.session.keepState(path);
    other.settings.login = "bob";
    ASSERT_TRUE(other.start());
    other.reply(kGreeting);
    EXPECT_EQ(other.reply("a1 OK\r\n"), kExamine);
    EXPECT_EQ(other.reply("* 4 EXISTS\r\n* OK [UIDVALIDITY 7] v\r\n* OK [UIDNEXT 42] n\r\na2 OK\r\n"), "a3 IDLE\r\n");
    EXPECT_TRUE(other.host.loggedContains("IMAP state: postrix.imap is not used"));
}

TEST(ImapStateFile, ReadsOnlyWhatItWroteForTheSameOwner) {
    const std::string text = formatStateFile("owner", {7, 40});
    EXPECT_EQ(parseStateFile(text, "owner"), (FolderState{7, 40}));
    EXPECT_EQ(parseStateFile(text, "other"), std::nullopt);
    for (size_t cut = 0; cut < text.size(); ++cut)
        EXPECT_EQ(parseStateFile(text.substr(0, cut), "owner"), std::nullopt) << cut;
    EXPECT_EQ(parseStateFile("postrix-imap-state 1\nowner\n7 x\nend\n", "owner"), std::nullopt);
    EXPECT_EQ(parseStateFile("postrix-imap-state 1\nowner\n7 4294967296\nend\n", "owner"), std::nullopt);
}

}  // namespace
}  // namespace postrix::imap
