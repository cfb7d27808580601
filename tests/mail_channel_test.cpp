// Both sessions over a fake link instead of the host: the channel frames the
// replies, sends, reports and ignores an abandoned exchange's events.
#include <gtest/gtest.h>

#include "fixtures/fake_link.h"
#include "fixtures/manual_clock.h"
#include "platform/host_name.h"
#include "pop3/pop3_session.h"
#include "smtp/ehlo_domain.h"
#include "smtp/smtp_session.h"

namespace postrix {
namespace {

using test::FakeLink;
using test::FakeLinkRecord;

struct SmtpHarness {
    SmtpHarness()
        : session(
              std::make_unique<FakeLink>(link), [this](smtp::SmtpSession&, const smtp::OutgoingMail&) { ++sent; },
              [this](smtp::SmtpSession&, const std::string& message) { errors.push_back(message); }, 3) {}

    std::string reply(std::string_view text) {
        session.channel().onData(text);
        return link.takeSent();
    }

    test::ManualClock clock;
    FakeLinkRecord link;
    int sent = 0;
    std::vector<std::string> errors;
    smtp::SmtpSession session;
};

TEST(MailChannel, SmtpDialogueFramesSplitMultiLineRepliesAndDropsWhatFollowsOne) {
    SmtpHarness h;
    h.session.start({"smtp.example.com:25", "alice@example.com", "alice", "secret", false},
                    {"Bob", {"bob@example.com"}, "Hi", "Hello", {}});
    EXPECT_EQ(h.link.host, "smtp.example.com");
    EXPECT_EQ(h.link.port, 25);
    EXPECT_EQ(h.reply("220-hello\r\n22"), "");
    // The rest of the greeting completes it; the line after it is dropped.
    EXPECT_EQ(h.reply("0 there\r\n250 unasked\r\n"), "EHLO " + smtp::ehloDomain(platform::hostName()) + "\r\n");
    EXPECT_EQ(h.reply("250-a\r\n250 b\r\n"), "AUTH LOGIN\r\n");
    EXPECT_EQ(h.reply("334 x\r\n"), "YWxpY2U=\r\n");
    EXPECT_EQ(h.reply("334 x\r\n"), "c2VjcmV0\r\n");
    EXPECT_EQ(h.reply("235 ok\r\n"), "MAIL FROM: <alice@example.com>\r\n");
    EXPECT_EQ(h.reply("250 ok\r\n"), "RCPT TO: <bob@example.com>\r\n");
    EXPECT_EQ(h.reply("250 ok\r\n"), "DATA\r\n");
    EXPECT_TRUE(h.reply("354 go\r\n").ends_with("\r\n.\r\n"));
    EXPECT_EQ(h.reply("250 queued\r\n"), "QUIT\r\n");
    EXPECT_EQ(h.sent, 1);
    EXPECT_TRUE(h.errors.empty());
    EXPECT_EQ(h.link.closes, 1);
    // The reply to QUIT is reported, never read.
    EXPECT_EQ(h.reply("221 bye\r\n"), "");
    ASSERT_FALSE(h.link.traffic.empty());
    EXPECT_EQ(h.link.traffic.back(), std::make_pair(kTrafficReceived, std::string("221 bye\r\n")));
}

TEST(MailChannel, FailedSendQuitsReportsOnceAndIgnoresLaterEvents) {
    SmtpHarness h;
    h.link.failSendNumber = 1;  // the EHLO
    h.session.start({"smtp.example.com", "alice@example.com", "alice", "secret", false},
                    {"Bob", {"bob@example.com"}, "Hi", "Hello", {}});
    EXPECT_EQ(h.reply("220 hi\r\n"), "QUIT\r\n");
    EXPECT_EQ(h.errors, std::vector<std::string>{"SMTP - Send failed"});
    const size_t reports = h.link.traffic.size();
    h.session.channel().onClosedByPeer();
    h.session.channel().onData("250 late\r\n");
    EXPECT_EQ(h.errors.size(), 1u);
    EXPECT_EQ(h.link.traffic.size(), reports);
}

TEST(MailChannel, Pop3StatusLineAndBodyInOneEventAndTimeout) {
    test::ManualClock clock;
    FakeLinkRecord link;
    std::vector<size_t> notices;
    std::vector<std::string> errors;
    pop3::Pop3Session session(
        std::make_unique<FakeLink>(link), [&](pop3::Pop3Session&, std::vector<pop3::NewMailEntry> entries) { notices.push_back(entries.size()); },
        [&](pop3::Pop3Session&, const std::string& message) { errors.push_back(message); }, 3);
    session.setProbe([] { return true; });
    auto reply = [&](std::string_view text) {
        session.channel().onData(text);
        return link.takeSent();
    };

    session.start({"pop.example.com", "alice@example.com", "alice", "secret", false});
    EXPECT_EQ(link.port, pop3::kPop3Port);
    EXPECT_EQ(reply("+OK ready\r\nunasked"), "USER alice\r\n");
    EXPECT_EQ(reply("+OK\r\n"), "PASS secret\r\n");
    EXPECT_EQ(reply("+OK\r\n"), "UIDL\r\n");
    EXPECT_EQ(reply("+OK\r\n1 a\r\n.\r\n"), "QUIT\r\n");  // the first check only learns the ids
    EXPECT_TRUE(notices.empty());

    session.start({"pop.example.com", "alice@example.com", "alice", "secret", false});
    EXPECT_EQ(reply("+OK ready\r\n"), "USER alice\r\n");
    clock.advance(pop3::kPop3TimeoutMs - 1);
    session.checkTimeout();
    EXPECT_EQ(session.state(), pop3::Pop3State::AwaitUser);
    clock.advance(1);
    session.checkTimeout();
    EXPECT_EQ(session.state(), pop3::Pop3State::Idle);
    EXPECT_EQ(link.takeSent(), "");  // closed without QUIT
    EXPECT_TRUE(errors.empty());
}

}  // namespace
}  // namespace postrix
