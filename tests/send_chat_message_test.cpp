// A chat message to a mail contact goes out as an e-mail: from the host's
// send service through the whole SMTP dialogue to the success notice and
// the archive entry, every byte on the wire checked.
#include <gtest/gtest.h>

#include "abi/records_send.h"
#include "accounts/account.h"
#include "accounts/account_manager.h"
#include "fixtures/manual_clock.h"
#include "platform/host_name.h"
#include "platform/module.h"
#include "plugin/plugin.h"
#include "smtp/ehlo_domain.h"
#include "support/fake_host.h"

namespace postrix {
namespace {

using test::FakeHost;

class SendChatMessageTest : public ::testing::Test {
protected:
    SendChatMessageTest() {
        host.setText(u"postrix.config", u"MAIL/mail", u"alice@example.com");
        host.setText(u"postrix.config", u"MAIL/smtpServer", u"smtp.example.com");
        host.setText(u"postrix.config", u"MAIL/login", u"alice");
        host.setText(u"postrix.config", u"MAIL/password", u"sekret");
        Plugin::instance().setModuleHandle(platform::ownModuleHandle());
        Plugin::instance().load(host.table());
    }
    ~SendChatMessageTest() override { Plugin::instance().unload(); }

    int64_t chat(const char16_t* contact, const char16_t* netClass, const char16_t* text,
                 const char16_t* subject = nullptr) {
        MessageSendRecord record{};
        record.size = sizeof(MessageSendRecord);
        record.contactId = contact;
        record.netClass = netClass;
        record.subject = subject;
        record.text = text;
        return host.callPluginService(u"MAIL/1/PFMessageSend", reinterpret_cast<uintptr_t>(&record));
    }
    std::string reply(std::string_view text) {
        host.deliverData(smtp(), text);
        return host.takeSent(smtp());
    }
    test::FakeConnection& smtp() { return host.connection("MAIL/Socket/SMTP/1"); }

    FakeHost host;
    test::ManualClock clock;
};

TEST_F(SendChatMessageTest, PolishChatMessageIsSentOverStartTlsNotifiedAndArchived) {
    EXPECT_EQ(chat(u"bob@example.com", u"MAIL", u"Zażółć gęślą jaźń"), 0);
    EXPECT_EQ(smtp().host, "smtp.example.com");
    EXPECT_EQ(smtp().port, 587);
    EXPECT_EQ(reply("220 smtp.example.com ESMTP\r\n"), "EHLO " + smtp::ehloDomain(platform::hostName()) + "\r\n");
    EXPECT_EQ(reply("250-smtp.example.com\r\n250-STARTTLS\r\n250 AUTH LOGIN\r\n"), "STARTTLS\r\n");
    EXPECT_EQ(reply("220 2.0.0 Ready to start TLS\r\n"), "");
    host.deliverTls(smtp(), true);
    EXPECT_EQ(host.takeSent(smtp()), "EHLO " + smtp::ehloDomain(platform::hostName()) + "\r\n");
    EXPECT_EQ(reply("250 AUTH LOGIN\r\n"), "AUTH LOGIN\r\n");
    EXPECT_EQ(reply("334 VXNlcm5hbWU6\r\n"), "YWxpY2U=\r\n");
    EXPECT_EQ(reply("334 UGFzc3dvcmQ6\r\n"), "c2VrcmV0\r\n");
    EXPECT_EQ(reply("235 2.7.0 Authentication successful\r\n"), "MAIL FROM: <alice@example.com>\r\n");
    EXPECT_EQ(reply("250 2.1.0 Ok\r\n"), "RCPT TO: <bob@example.com>\r\n");
    EXPECT_EQ(reply("250 2.1.5 Ok\r\n"), "DATA\r\n");
    EXPECT_EQ(reply("354 End data with <CR><LF>.<CR><LF>\r\n"),
              "MIME-Version: 1.0\r\n"
              "From: <alice@example.com>\r\n"
              "To:  <bob@example.com>\r\n"
              "Subject: \r\n"
              "Date: 7 Dec 2026 19:05:03 +0100\r\n"
              "Content-Type: text/plain; charset=UTF-8\r\n"
              "Content-Transfer-Encoding: base64\r\n"
              "\r\n"
              "WmHFvMOzxYLEhyBnxJnFm2zEhSBqYcW6xYQ=\r\n"
              ".\r\n");
    EXPECT_TRUE(host.notifications.empty());
    EXPECT_EQ(reply("250 2.0.0 Ok: queued as 4F2A1\r\n"), "QUIT\r\n");

    ASSERT_EQ(host.notifications.size(), 1u);
    const test::Notification& notice = host.notifications[0];
    EXPECT_EQ(notice.text, "Mail wysłany pomyślnie");
    EXPECT_EQ(notice.title, "");
    EXPECT_EQ(notice.icon, "Image/Mail");
    EXPECT_EQ(notice.value40, 3);
    EXPECT_EQ(notice.callback, nullptr);

    ASSERT_EQ(host.archive.size(), 1u);
    const test::ArchiveEntry& entry = host.archive[0];
    EXPECT_EQ(entry.contact, "bob@example.com");
    EXPECT_EQ(entry.netClass, "MAIL");
    EXPECT_EQ(entry.accountId, 1);
    EXPECT_EQ(entry.subject, "");
    EXPECT_EQ(entry.body, "Zażółć gęślą jaźń");
    EXPECT_EQ(entry.direction, -1);
    EXPECT_EQ(entry.flags, kArchiveSentMailFlags);
    EXPECT_EQ(entry.time, clock.utc);
    EXPECT_TRUE(host.unknownServices.empty());
}

TEST_F(SendChatMessageTest, PlainConnectionWhenSslIsNotOne) {
    host.setInt(u"postrix.config", u"MAIL/ssl", 2);
    chat(u"bob@example.com", u"MAIL", u"hi", u"Subject here");
    reply("220 hi\r\n");
    EXPECT_EQ(reply("250 ok\r\n"), "AUTH LOGIN\r\n");
}

TEST_F(SendChatMessageTest, OtherNetClassesAndMalformedCallsSendNothing) {
    EXPECT_EQ(chat(u"bob@example.com", u"ICQ", u"hi"), 0);
    EXPECT_EQ(chat(u"bob@example.com", u"mail", u"hi"), 0);
    EXPECT_EQ(chat(nullptr, u"MAIL", u"hi"), kInvalidArgument);
    EXPECT_EQ(chat(u"bob@example.com", nullptr, u"hi"), kInvalidArgument);
    EXPECT_EQ(chat(u"bob@example.com", u"MAIL", nullptr), kInvalidArgument);
    EXPECT_EQ(host.callPluginService(u"MAIL/1/PFMessageSend", 0), kInvalidArgument);
    EXPECT_EQ(smtp().connects, 0);
}

TEST_F(SendChatMessageTest, IncompleteSettingsSendNothingAndShowNothing) {
    host.setText(u"postrix.config", u"MAIL/password", u"");
    chat(u"bob@example.com", u"MAIL", u"hi");
    EXPECT_EQ(smtp().connects, 0);
    EXPECT_TRUE(host.logs.empty());
}

TEST_F(SendChatMessageTest, FailureIsLoggedWithTheSenderAndTheAddressStaysTheLastSendOne) {
    chat(u"bob@example.com", u"MAIL", u"hi");
    reply("554 no service\r\n");
    ASSERT_EQ(host.logs.size(), 1u);
    EXPECT_EQ(host.logs[0].level, -1);
    EXPECT_EQ(host.logs[0].source, "MAIL");
    EXPECT_EQ(host.logs[0].text,
              "alice@example.com: SMTP - On welcome server returned code different than 2xx:\r\n554 no service\r\n");
    EXPECT_TRUE(host.notifications.empty());
    EXPECT_TRUE(host.archive.empty());
    // The account reports the address its last send used until the next one.
    host.setText(u"postrix.config", u"MAIL/mail", u"new@example.com");
    EXPECT_EQ(Plugin::instance().accountManager()->at(0).currentAddress(), "alice@example.com");
}

TEST_F(SendChatMessageTest, RefusedNoticeAndArchiveAreLoggedAndTheSendStillCounts) {
    host.setResult(u"JOX/ShowStandardNotify", 1);
    host.setResult(u"Ar/WriteMessage", 1);
    host.setInt(u"postrix.config", u"MAIL/ssl", 0);
    chat(u"bob@example.com", u"MAIL", u"hi");
    for (const char* line : {"220 a\r\n", "250 b\r\n", "334 c\r\n", "334 d\r\n", "235 e\r\n", "250 f\r\n",
                             "250 g\r\n", "354 h\r\n"})
        reply(line);
    EXPECT_EQ(reply("250 queued\r\n"), "QUIT\r\n");
    EXPECT_TRUE(host.loggedContains("Showing notification failed"));
    EXPECT_TRUE(host.loggedContains("Writing message to archive failed"));
    EXPECT_EQ(host.archive.size(), 1u);
}

}  // namespace
}  // namespace postrix
