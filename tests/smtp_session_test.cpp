// The SMTP state machine played reply by reply against the fake host.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "fixtures/manual_clock.h"
#include "fixtures/received_size.h"
#include "platform/host_name.h"
#include "smtp/ehlo_domain.h"
#include "smtp/smtp_session.h"
#include "support/fake_host.h"
#include "support/system.h"
#include "support/temp_dir.h"

namespace postrix::smtp {
namespace {

using test::FakeConnection;
using test::FakeHost;

// The computer's own name (or the address literal), never the server text.
const std::string kEhlo = "EHLO " + ehloDomain(platform::hostName()) + "\r\n";

class SmtpSessionTest : public ::testing::Test {
protected:
    SmtpSessionTest()
        : session(Host(host.table()),
                  [this](SmtpSession&, const OutgoingMail& mail) { sent.push_back(mail.subject); },
                  [this](SmtpSession&, const std::string& message) { errors.push_back(message); }, 3),
          connection(host.connection("MAIL/Socket/SMTP/3")) {}

    void start(bool useSsl = false, std::string server = "smtp.example.com",
               std::vector<std::string> recipients = {"bob@example.com"}) {
        SmtpSettings settings{server, "alice@example.com", "alice", "secret", useSsl};
        OutgoingMail mail{"Bob", std::move(recipients), "Hi", "Hello", {}};
        session.start(settings, mail);
    }

    // The server says reply; the plug-in's answer is returned.
    std::string reply(std::string_view text) {
        host.deliverData(connection, text);
        return host.takeSent(connection);
    }

    // Plays the dialogue up to the point where MAIL FROM was sent.
    void authenticate() {
        start();
        ASSERT_EQ(reply("220 hi\r\n"), kEhlo);
        ASSERT_EQ(reply("250 ok\r\n"), "AUTH LOGIN\r\n");
        ASSERT_EQ(reply("334 VXNlcm5hbWU6\r\n"), "YWxpY2U=\r\n");
        ASSERT_EQ(reply("334 UGFzc3dvcmQ6\r\n"), "c2VjcmV0\r\n");
        ASSERT_EQ(reply("235 ok\r\n"), "MAIL FROM: <alice@example.com>\r\n");
    }

    FakeHost host;
    test::ManualClock clock;
    std::vector<std::string> sent;
    std::vector<std::string> errors;
    SmtpSession session;
    FakeConnection& connection;
};

TEST_F(SmtpSessionTest, PlainDialogueSendsTheMessageAndQuits) {
    authenticate();
    EXPECT_EQ(reply("250 ok\r\n"), "RCPT TO: <bob@example.com>\r\n");
    EXPECT_EQ(reply("250 ok\r\n"), "DATA\r\n");
    const std::string message = reply("354 go ahead\r\n");
    EXPECT_TRUE(message.starts_with("MIME-Version: 1.0\r\nFrom: <alice@example.com>\r\nTo: Bob <bob@example.com>\r\n"));
    EXPECT_TRUE(message.ends_with("\r\nHello\r\n.\r\n"));
    EXPECT_EQ(session.state(), SmtpState::AwaitAcceptance);
    EXPECT_EQ(reply("250 queued\r\n"), "QUIT\r\n");
    EXPECT_EQ(sent, std::vector<std::string>{"Hi"});
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(session.state(), SmtpState::Idle);
    EXPECT_EQ(connection.host, "smtp.example.com");
    EXPECT_EQ(connection.port, 587);
    EXPECT_EQ(connection.closes, 1);
}

TEST_F(SmtpSessionTest, StartTlsComesBeforeAuthenticationAndEhloIsRepeated) {
    start(true);
    EXPECT_EQ(reply("220 hi\r\n"), kEhlo);
    EXPECT_EQ(reply("250 ok\r\n"), "STARTTLS\r\n");
    EXPECT_EQ(reply("220 go\r\n"), "");
    EXPECT_EQ(connection.sslStarts, 1);
    host.deliverTls(connection, true);
    EXPECT_EQ(host.takeSent(connection), kEhlo);
    EXPECT_EQ(reply("250 ok\r\n"), "AUTH LOGIN\r\n");
}

TEST_F(SmtpSessionTest, ServerTextGivesHostAndPortButNotTheEhloArgument) {
    struct Case {
        std::string server, host;
        int32_t port;
    };
    for (const Case& c : {Case{"mx", "mx", 587}, Case{"mx:", "mx", 587}, Case{"mx:25", "mx", 25},
                          Case{"[::1]:2525", "[::1]", 2525}, Case{"mx:abc", "mx", 0}}) {
        start(false, c.server);
        EXPECT_EQ(connection.host, c.host) << c.server;
        EXPECT_EQ(connection.port, c.port) << c.server;
        EXPECT_EQ(reply("220 hi\r\n"), kEhlo);
        session.finish();
        host.takeSent(connection);
    }
}

TEST_F(SmtpSessionTest, MultiLineRepliesAreJudgedWhenComplete) {
    start();
    EXPECT_EQ(reply("220-first greeting line\r\n"), "");
    EXPECT_EQ(reply("220 second\r\n"), kEhlo);
    // The EHLO reply arrives in three events, cut inside a line.
    EXPECT_EQ(reply("250-smtp.example.com\r\n250-PIPE"), "");
    EXPECT_EQ(reply("LINING\r\n250 AUTH LOGIN"), "");
    EXPECT_EQ(reply("\r\n"), "AUTH LOGIN\r\n");
    EXPECT_TRUE(errors.empty());
    // One report per data event all the same.
    size_t received = 0;
    for (const auto& t : host.traffic) received += t.direction == kTrafficReceived && t.phase == 1;
    EXPECT_EQ(received, 5u);
}

TEST_F(SmtpSessionTest, OneEventIsNeverJudgedAsTwoReplies) {
    start();
    EXPECT_EQ(reply("220 hi\r\n250 unsolicited\r\n"), kEhlo);
    EXPECT_EQ(session.state(), SmtpState::AwaitEhlo);
    EXPECT_EQ(reply("250 ok\r\n"), "AUTH LOGIN\r\n");
}

TEST_F(SmtpSessionTest, ThreeRecipientsGetThreeRcptLinesInOrder) {
    start(false, "mx", {"a@x", "b@x", "c@x"});
    reply("220 hi\r\n");
    reply("250 ok\r\n");
    reply("334 u\r\n");
    reply("334 p\r\n");
    reply("235 ok\r\n");
    EXPECT_EQ(reply("250 ok\r\n"), "RCPT TO: <a@x>\r\n");
    EXPECT_EQ(reply("250 ok\r\n"), "RCPT TO: <b@x>\r\n");
    EXPECT_EQ(reply("250 ok\r\n"), "RCPT TO: <c@x>\r\n");
    EXPECT_EQ(reply("250 ok\r\n"), "DATA\r\n");
}

TEST_F(SmtpSessionTest, EveryRefusedReplyEndsWithItsMessageAndQuit) {
    struct Case {
        int repliesBefore;
        std::string refusal;
        std::string message;
    };
    const std::vector<std::string> goodReplies = {"220 hi\r\n", "250 ok\r\n", "334 u\r\n", "334 p\r\n",
                                                  "235 ok\r\n", "250 ok\r\n", "250 ok\r\n", "354 go\r\n"};
    const std::vector<Case> cases = {
        {0, "554 go away\r\n", "SMTP - On welcome server returned code different than 2xx:\r\n554 go away\r\n"},
        {1, "500 what\r\n", "SMTP - On EHLO server returned code different than 2xx:\r\n500 what\r\n"},
        {2, "504 no\r\n",
         "SMTP - After usename sent server returned code different than 2xx or 3xx:\r\n504 no\r\n"},
        {3, "501 no\r\n",
         "SMTP - After password sent server returned code different than 2xx or 3xx:\r\n501 no\r\n"},
        {4, "535 bad credentials\r\n", "SMTP - Authorization error:\r\n535 bad credentials\r\n"},
        {5, "334 odd\r\n", "SMTP - On MAIL FROM server returned code different than 2xx:\r\n334 odd\r\n"},
        {5, "552 too big\r\n",
         "SMTP - On MAIL FROM server returned code different than 2xx:\r\n552 too big\r\n"},
        {6, "550 no such user\r\n",
         "SMTP - On RCPT TO server returned code different than 2xx:\r\n550 no such user\r\n"},
        {7, "451 later\r\n", "SMTP - On DATA server returned code different than 2xx or 3xx:\r\n451 later\r\n"},
        {8, "552 too big\r\n",
         "SMTP - After sending mail content server returned code different than 2xx:\r\n552 too big\r\n"},
    };
    for (const Case& c : cases) {
        errors.clear();
        start();
        for (int i = 0; i < c.repliesBefore; ++i) reply(goodReplies[i]);
        EXPECT_TRUE(reply(c.refusal).ends_with("QUIT\r\n")) << c.message;
        EXPECT_EQ(errors, std::vector<std::string>{c.message});
        EXPECT_EQ(session.state(), SmtpState::Idle);
        // Late events of the failed send are ignored, the close included.
        host.deliverClosed(connection);
        reply("250 late\r\n");
        EXPECT_EQ(errors.size(), 1u);
    }
    EXPECT_TRUE(sent.empty());
}

TEST_F(SmtpSessionTest, EmptyDataEventIsAnError) {
    start();
    reply("");
    EXPECT_EQ(errors, std::vector<std::string>{"SMTP - Received empty buffer"});
}

TEST_F(SmtpSessionTest, SecondStartIsRefusedWithTheStateAndTheFirstGoesOn) {
    authenticate();
    start();
    EXPECT_EQ(errors,
              std::vector<std::string>{"SMTP - One connection in progress (state=7), cannot start new one"});
    EXPECT_EQ(connection.connects, 1);
    EXPECT_EQ(reply("250 ok\r\n"), "RCPT TO: <bob@example.com>\r\n");
}

TEST_F(SmtpSessionTest, ConnectionLossAndErrorsCloseWithoutQuit) {
    start();
    host.deliverClosed(connection);
    EXPECT_EQ(host.takeSent(connection), "");
    start();
    host.deliverError(connection, 10061);
    start();
    host.deliverError(connection, static_cast<int32_t>(0x80004005));
    EXPECT_EQ(errors, (std::vector<std::string>{"SMTP - Connection closed by server", "SMTP - Connection error:10061",
                                                "SMTP - Connection error: 0x80004005"}));
    EXPECT_EQ(host.takeSent(connection), "");
}

TEST_F(SmtpSessionTest, FailedTlsHandshakeReportsOnceAndAllowsANewSend) {
    start(true);
    reply("220 hi\r\n");
    reply("250 ok\r\n");
    reply("220 go\r\n");
    host.deliverTls(connection, false, 337047686, u"certificate verify failed");
    host.deliverTls(connection, false, 1, nullptr);
    EXPECT_EQ(errors, std::vector<std::string>{"SMTP - SSL error (337047686): certificate verify failed"});
    EXPECT_EQ(session.state(), SmtpState::Idle);
    start(true);
    EXPECT_EQ(reply("220 hi\r\n"), kEhlo);
    EXPECT_EQ(reply("250 ok\r\n"), "STARTTLS\r\n");  // TLS is off again on the new connection
}

TEST_F(SmtpSessionTest, AnAttachmentThatIsNoRegularFileEndsTheSendBeforeConnecting) {
    test::TempDir dir;
    std::vector<std::string> paths = test::nonRegularFiles(dir.path());
    paths.push_back((dir.path() / "gone.txt").string());
    for (const std::string& path : paths) {
        errors.clear();
        SmtpSettings settings{"smtp.example.com", "alice@example.com", "alice", "secret", false};
        session.start(settings, OutgoingMail{"Bob", {"bob@example.com"}, "Hi", "Hello", {dir.write("ok.txt", "x"), path}});
        const std::string name = std::filesystem::path(path).filename().string();
        EXPECT_EQ(errors, std::vector<std::string>{"SMTP - Could not read file " + name});
        EXPECT_EQ(connection.connects, 0) << path;
        EXPECT_EQ(session.state(), SmtpState::Idle) << path;
    }
}

TEST_F(SmtpSessionTest, RefusedConnectAndRefusedTlsStart) {
    host.setResult(u"NetLib/Connect", 11001);
    start();
    EXPECT_EQ(errors, std::vector<std::string>{"SMTP - Could not connect to SMTP server, err=0x2AF9"});
    EXPECT_EQ(session.state(), SmtpState::Idle);
    host.clearResult(u"NetLib/Connect");
    host.setResult(u"NetLib/InitSSL", 1);
    start(true);
    reply("220 hi\r\n");
    reply("250 ok\r\n");
    EXPECT_EQ(reply("220 go\r\n"), "QUIT\r\n");
    EXPECT_EQ(errors.back(), "SMTP - Starting TLS failed");
}

TEST_F(SmtpSessionTest, FailedSendReportsOnce) {
    start();
    host.failSendNumber = 1;
    reply("220 hi\r\n");
    EXPECT_EQ(errors, std::vector<std::string>{"SMTP - Send failed"});
    EXPECT_EQ(session.state(), SmtpState::Idle);
}

TEST_F(SmtpSessionTest, SilentServerTimesOutAfterTwentySecondsAcrossTickWrap) {
    clock.tick = 0xFFFFF000u;  // the 32-bit tick wraps during the wait
    authenticate();
    clock.advance(19999);
    session.checkTimeout();
    EXPECT_TRUE(errors.empty());
    clock.advance(1);
    session.checkTimeout();
    EXPECT_EQ(errors, std::vector<std::string>{"SMTP - Receive timeout"});
    EXPECT_EQ(host.takeSent(connection), "");  // no QUIT to a silent server
    EXPECT_EQ(session.state(), SmtpState::Idle);
    session.checkTimeout();
    EXPECT_EQ(errors.size(), 1u);
}

TEST_F(SmtpSessionTest, BadAddressesAndNoRecipientsAreRefusedBeforeConnecting) {
    start(false, "mx", {});
    start(false, "mx", {"bob@x\r\nRCPT TO: <evil@x>"});
    start(false, "mx", {"a@x", "<b@x>"});
    start(false, "mx", {""});
    EXPECT_EQ(errors, (std::vector<std::string>{"SMTP - No recipients",
                                                "SMTP - Invalid address: bob@x\\r\\nRCPT TO: <evil@x>",
                                                "SMTP - Invalid address: <b@x>", "SMTP - Invalid address: "}));
    EXPECT_EQ(connection.connects, 0);
    EXPECT_EQ(session.state(), SmtpState::Idle);
}

TEST_F(SmtpSessionTest, TrafficIsReportedInBothPhasesAndQuitToo) {
    start();
    reply("220 hi\r\n");
    ASSERT_EQ(host.traffic.size(), 4u);
    EXPECT_EQ(host.traffic[0].direction, kTrafficReceived);
    EXPECT_EQ(host.traffic[0].phase, 1);
    EXPECT_EQ(host.traffic[1].phase, 2);
    EXPECT_EQ(host.traffic[2].bytes, kEhlo);
    EXPECT_EQ(host.traffic[2].accountId, 3);
    host.hookResult = 1;  // a refusing first phase skips the second
    session.finish();
    ASSERT_EQ(host.traffic.size(), 5u);
    EXPECT_EQ(host.traffic[4].bytes, "QUIT\r\n");
}

TEST_F(SmtpSessionTest, Port465HandshakesBeforeTheGreetingAndNeverSendsStartTls) {
    // TLS from the first byte whatever the STARTTLS setting says.
    for (const bool useSsl : {true, false}) {
        start(useSsl, "smtp.example.com:465");
        EXPECT_EQ(connection.sslStarts, 0);  // not before the connection stands
        host.deliverConnected(connection);
        EXPECT_EQ(connection.sslStarts, 1);
        host.deliverTls(connection, true);
        EXPECT_EQ(host.takeSent(connection), "");  // the server greets first
        EXPECT_EQ(reply("220 hi\r\n"), kEhlo);
        EXPECT_EQ(reply("250-mx\r\n250 AUTH LOGIN PLAIN\r\n"), "AUTH LOGIN\r\n");
        session.finish();
        host.takeSent(connection);
        connection.sslStarts = 0;
    }
    // Every other port connects in the clear and uses STARTTLS.
    for (const char* server : {"mx", "mx:587", "mx:25", "mx:4650"}) {
        start(true, server);
        host.deliverConnected(connection);
        host.deliverTls(connection, true);  // no handshake of the session's: ignored
        EXPECT_EQ(connection.sslStarts, 0) << server;
        EXPECT_EQ(reply("220 hi\r\n"), kEhlo) << server;
        EXPECT_EQ(reply("250 ok\r\n"), "STARTTLS\r\n") << server;
        session.finish();
        host.takeSent(connection);
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(SmtpSessionTest, FailedHandshakeOnPort465ClosesWithoutQuit) {
    start(false, "mx:465");
    host.deliverConnected(connection);
    host.deliverTls(connection, false, 337047686, u"certificate verify failed");
    host.deliverTls(connection, false, 1, nullptr);
    host.deliverData(connection, "220 late\r\n");
    host.setResult(u"NetLib/InitSSL", 1);
    start(false, "mx:465");
    host.deliverConnected(connection);
    EXPECT_EQ(errors, (std::vector<std::string>{"SMTP - SSL error (337047686): certificate verify failed",
                                                "SMTP - Starting TLS failed"}));
    EXPECT_EQ(session.state(), SmtpState::Idle);
    EXPECT_EQ(host.takeSent(connection), "");
    EXPECT_EQ(connection.closes, 2);
}

// The authentication command that answers an EHLO reply; with ehloAfterTls,
// the reply after STARTTLS.
class SmtpAuthTest : public SmtpSessionTest {
protected:
    std::string authCommandAfter(std::string_view ehloReply, const char* ehloAfterTls = nullptr,
                                 const std::string& login = "alice", const std::string& password = "secret") {
        host.takeSent(connection);  // the QUIT of an earlier send
        session.start({"mx", "alice@example.com", login, password, ehloAfterTls != nullptr},
                      OutgoingMail{"Bob", {"bob@example.com"}, "Hi", "Hello", {}});
        reply("220 hi\r\n");
        if (ehloAfterTls) {
            reply(ehloReply);
            reply("220 go\r\n");
            host.deliverTls(connection, true);
            host.takeSent(connection);
            ehloReply = ehloAfterTls;
        }
        return reply(ehloReply);
    }
};

TEST_F(SmtpAuthTest, PlainOnlyWhenTheLatestEhloOffersPlainWithoutLogin) {
    const std::string plain = "AUTH PLAIN AGFsaWNlAHNlY3JldA==\r\n", login = "AUTH LOGIN\r\n";
    const std::vector<std::tuple<std::string, const char*, std::string>> cases = {
        {"250-mx\r\n250 AUTH CRAM-MD5 plain\r\n", nullptr, plain},
        {"250-mx\r\n250 AUTH=PLAIN\r\n", nullptr, plain},
        {"250-mx\r\n250 AUTH PLAIN LOGIN\r\n", nullptr, login},
        {"250-mx\r\n250-AUTH PLAIN\r\n250 AUTH=LOGIN\r\n", nullptr, login},
        {"250-mx\r\n250 AUTH CRAM-MD5\r\n", nullptr, login},
        {"250 mx\r\n", nullptr, login},
        {"250-mx\r\n250 AUTH PLAIN\r\n", "250-mx\r\n250 AUTH LOGIN PLAIN\r\n", login},
        {"250-mx\r\n250 AUTH LOGIN\r\n", "250-mx\r\n250 AUTH PLAIN\r\n", plain},
    };
    for (const auto& [ehlo, ehloAfterTls, command] : cases) {
        EXPECT_EQ(authCommandAfter(ehlo, ehloAfterTls), command) << ehlo;
        session.finish();
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(SmtpAuthTest, PlainLineCarriesUtf8CredentialsAndIsReportedAsSent) {
    const std::string line = authCommandAfter("250-mx\r\n250 AUTH PLAIN\r\n", nullptr,
                                              "zofia.żółć@example.com", "hasło€:1");
    EXPECT_EQ(line, "AUTH PLAIN AHpvZmlhLsW8w7PFgsSHQGV4YW1wbGUuY29tAGhhc8WCb+KCrDox\r\n");
    EXPECT_EQ(host.traffic.back().bytes, line);  // like AUTH LOGIN's lines: as sent, nothing more
    EXPECT_EQ(reply("235 2.7.0 ok\r\n"), "MAIL FROM: <alice@example.com>\r\n");
    session.finish();

    for (const std::string refusal : {"535 5.7.8 Error: authentication failed\r\n", "334 \r\n"}) {
        authCommandAfter("250-mx\r\n250 AUTH PLAIN\r\n");
        EXPECT_EQ(reply(refusal), "QUIT\r\n");
        EXPECT_EQ(errors.back(), "SMTP - Authorization error:\r\n" + refusal);
    }
    EXPECT_EQ(errors.size(), 2u);
}

// The number after " SIZE=" in a MAIL FROM command, or 0 without one.
uint64_t announcedSize(const std::string& mailFrom) {
    const size_t at = mailFrom.find(" SIZE=");
    return at == std::string::npos ? 0 : std::stoull(mailFrom.substr(at + 6));
}

class SmtpSizeTest : public SmtpSessionTest {
protected:
    // Plays the dialogue up to MAIL FROM and returns that command; with TLS
    // the EHLO replies before and after STARTTLS are given.
    std::string mailFromAfter(std::string_view ehloReply, const char* ehloAfterTls = nullptr) {
        host.takeSent(connection);  // the QUIT of an earlier send
        session.start({"mx", "alice@example.com", "alice", "secret", ehloAfterTls != nullptr}, mail);
        reply("220 hi\r\n");
        if (ehloAfterTls) {
            EXPECT_EQ(reply(ehloReply), "STARTTLS\r\n");
            reply("220 go\r\n");
            host.deliverTls(connection, true);
            EXPECT_EQ(host.takeSent(connection), kEhlo);
            ehloReply = ehloAfterTls;
        }
        EXPECT_EQ(reply(ehloReply), "AUTH LOGIN\r\n");
        reply("334 u\r\n");
        reply("334 p\r\n");
        return reply("235 ok\r\n");
    }

    // After MAIL FROM was accepted: the message the server receives.
    std::string messageAfterMailFrom() {
        for (size_t i = 0; i <= mail.recipients.size(); ++i) reply("250 ok\r\n");
        return reply("354 go ahead\r\n");
    }

    test::TempDir dir;
    OutgoingMail mail{"Zofia Żółć", {"bob@example.com", "ewa@example.com"}, "Zażółć", ".a\n..b\n.",
                      {dir.write("photo.jpg", std::string(3000, 'x')), dir.write("empty.txt", "")}};
};

TEST_F(SmtpSizeTest, SizeIsAnnouncedOnlyToServersOfferingItAndIsWhatTheyReceive) {
    EXPECT_EQ(mailFromAfter("250-mx\r\n250 AUTH LOGIN PLAIN\r\n"), "MAIL FROM: <alice@example.com>\r\n");
    session.finish();
    const std::string mailFrom = mailFromAfter("250-mx\r\n250-SIZE 10000000\r\n250 AUTH LOGIN\r\n");
    EXPECT_TRUE(mailFrom.starts_with("MAIL FROM: <alice@example.com> SIZE=")) << mailFrom;
    EXPECT_EQ(announcedSize(mailFrom), test::receivedSize(messageAfterMailFrom()));
    EXPECT_EQ(reply("250 queued\r\n"), "QUIT\r\n");
    EXPECT_TRUE(errors.empty());
}

TEST_F(SmtpSizeTest, MessageOverTheLimitEndsBeforeMailFromWithQuit) {
    // No fixed limit, then a limit of exactly the size: both go on.
    const uint64_t size = announcedSize(mailFromAfter("250-mx\r\n250 SIZE 0\r\n"));
    ASSERT_GT(size, 4000u);
    session.finish();
    EXPECT_EQ(announcedSize(mailFromAfter("250-mx\r\n250 SIZE " + std::to_string(size) + "\r\n")), size);
    session.finish();

    EXPECT_EQ(mailFromAfter("250-mx\r\n250 SIZE " + std::to_string(size - 1) + "\r\n"), "QUIT\r\n");
    EXPECT_EQ(errors, std::vector<std::string>{"SMTP - Message too large: " + std::to_string(size) +
                                               " bytes, the server accepts " + std::to_string(size - 1)});
    EXPECT_EQ(session.state(), SmtpState::Idle);
    reply("250 late\r\n");
    EXPECT_EQ(errors.size(), 1u);
}

TEST_F(SmtpSizeTest, TheEhloAfterStartTlsDecides) {
    EXPECT_EQ(mailFromAfter("250-mx\r\n250 SIZE 10\r\n", "250 mx\r\n"), "MAIL FROM: <alice@example.com>\r\n");
    session.finish();
    EXPECT_EQ(mailFromAfter("250 mx\r\n", "250-mx\r\n250 SIZE 10\r\n"), "QUIT\r\n");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].ends_with(" bytes, the server accepts 10")) << errors[0];
}

TEST_F(SmtpSizeTest, DateAndFileSizesAreFixedWhenTheSizeIsAnnounced) {
    // The 7th turns into the 10th before DATA: the Date keeps its length.
    const uint64_t size = announcedSize(mailFromAfter("250-mx\r\n250 SIZE\r\n"));
    clock.utc += 3 * 86400;
    const std::string message = messageAfterMailFrom();
    EXPECT_NE(message.find("\r\nDate: 7 Dec 2026 19:05:03 +0100\r\n"), std::string::npos);
    EXPECT_EQ(test::receivedSize(message), size);

    // A file that grew since would make the message larger than announced.
    reply("250 queued\r\n");
    mailFromAfter("250-mx\r\n250 SIZE\r\n");
    dir.write("photo.jpg", std::string(3001, 'x'));
    EXPECT_EQ(messageAfterMailFrom(), "QUIT\r\n");
    EXPECT_EQ(errors, std::vector<std::string>{"SMTP - Could not read file photo.jpg"});

    clock.bias.reset();
    EXPECT_EQ(mailFromAfter("250 mx\r\n"), "QUIT\r\n");
    EXPECT_EQ(errors.back(), "SMTP - Could not determine local timezone");
}

TEST(SmtpSessionLifetime, RefusedSocketIsReportedAndDestructionDestroysTheConnection) {
    FakeHost host;
    std::vector<std::string> errors;
    host.setResult(u"NetLib/Create", 1);
    {
        SmtpSession session(Host(host.table()), nullptr,
                            [&](SmtpSession&, const std::string& message) { errors.push_back(message); }, 1);
    }
    EXPECT_EQ(errors, std::vector<std::string>{"SMTP - Could not create socket"});
    EXPECT_TRUE(host.connections.front().destroyed);
}

TEST(EhloDomain, AValidHostNameIsUsedAndAnythingElseGivesTheAddressLiteral) {
    const std::string label63(63, 'a');
    const std::string name255 = label63 + "." + label63 + "." + label63 + "." + std::string(63, 'b');
    const std::vector<std::string> valid = {"vm", "mail-1.example.com", "A1.b2", "123", label63, name255};
    for (const std::string& name : valid) EXPECT_EQ(ehloDomain(name), name) << name;
    const std::vector<std::string> invalid = {"",
                                              "smtp.example.com:587",
                                              "-host",
                                              "host-",
                                              "a..b",
                                              ".a",
                                              "a.",
                                              "under_score",
                                              "spa ce",
                                              "host\r\nRCPT TO: <x@y>",
                                              "żółw",
                                              label63 + "a",
                                              name255 + "b",
                                              "[10.0.0.1]"};
    for (const std::string& name : invalid) EXPECT_EQ(ehloDomain(name), "[127.0.0.1]") << name;
    EXPECT_EQ(ehloDomain(std::nullopt), "[127.0.0.1]");
}

}  // namespace
}  // namespace postrix::smtp
