// The contact-menu item: when the rebuild hook offers it, and what a click
// does with the selected contacts, the send dialog and the chosen account.
#include <gtest/gtest.h>

#include "accounts/account_manager.h"
#include "fixtures/installed_desktop.h"
#include "fixtures/manual_clock.h"
#include "plugin/plugin.h"
#include "support/fake_host.h"
#include "support/temp_dir.h"

namespace postrix {
namespace {

using test::Contact;
using test::DialogDriver;

class ContactMenuTest : public ::testing::Test {
protected:
    ContactMenuTest() {
        host.directory = test::wide(dir.path().string() + "/");
        dir.write("postrix_work.config", "");
        configure(u"postrix.config", u"alice@example.com", u"smtp.example.com");
        configure(u"postrix_work.config", u"bob@praca.pl", u"smtp.praca.pl");
        Plugin::instance().setModuleHandle(0x1234);
        Plugin::instance().load(host.table());
    }
    ~ContactMenuTest() override { Plugin::instance().unload(); }

    void configure(std::u16string_view file, std::u16string_view mail, std::u16string_view server) {
        host.setText(file, u"MAIL/mail", mail);
        host.setText(file, u"MAIL/smtpServer", server);
        host.setText(file, u"MAIL/login", u"user");
        host.setText(file, u"MAIL/password", u"secret");
        host.setInt(file, u"MAIL/ssl", 0);
    }
    // Clicks "Wyślij e-mail..." for the selected contacts; the dialog sends
    // through the account at `account`, or is cancelled when it is -1.
    std::string click(const std::vector<size_t>& selected, int account = 0) {
        std::string toText;
        desktop.onModal = [&](DialogDriver& d) {
            toText = d.text(1008);
            if (account < 0) return void(d.click(2));
            d.select(1009, account);
            d.type(1010, "Temat");
            d.type(1011, "Treść");
            d.click(1);
        };
        host.clickMenuItem("MAIL/fastSend", selected);
        return toText;
    }
    // Plays a willing server for the account's SMTP session; what the
    // plug-in sent.
    std::string serve(int accountId) {
        test::FakeConnection& c = host.connection("MAIL/Socket/SMTP/" + std::to_string(accountId));
        std::string sent;
        for (const char* reply : {"220 hi\r\n", "250 AUTH LOGIN\r\n", "334 VXNlcm5hbWU6\r\n", "334 UGFzc3dvcmQ6\r\n",
                                  "235 ok\r\n", "250 ok\r\n"}) {
            host.deliverData(c, reply);
            sent += host.takeSent(c);
        }
        while (sent.find("DATA\r\n") == std::string::npos) {
            host.deliverData(c, "250 ok\r\n");
            sent += host.takeSent(c);
        }
        host.deliverData(c, "354 go\r\n");
        sent += host.takeSent(c);
        host.deliverData(c, "250 queued\r\n");
        return sent + host.takeSent(c);
    }

    test::TempDir dir;
    test::FakeHost host;
    test::InstalledDesktop desktop;
    test::ManualClock clock;
};

TEST_F(ContactMenuTest, ItemIsOfferedWhenASelectedContactHasAnAddress) {
    host.contacts = {{u"Jan", u"jan@example.com"}, {u"Ewa", u""}, {u"Ola", u""}, {u"Piotr", u"p@example.com"}};
    struct Case {
        std::vector<size_t> selected;
        bool offered;
    };
    const Case cases[] = {{{0}, true}, {{1}, false}, {{1, 2, 3}, true}, {{1, 2}, false}, {{}, false}};
    for (const Case& c : cases) {
        const std::vector<std::string> expected =
            c.offered ? std::vector<std::string>{"MAIL/fastSend"} : std::vector<std::string>{};
        EXPECT_EQ(host.rebuildMenu(c.selected), expected) << c.selected.size();
    }
    // It asks no further once one contact has an address.
    host.calls.clear();
    host.rebuildMenu({0, 3});
    EXPECT_EQ(host.count(u"JOX/Extend/GetField"), 1u);
}

TEST_F(ContactMenuTest, ClickOpensTheDialogForTheContactAndSendsThroughTheChosenAccount) {
    host.contacts = {{u"Jan Nowak", u"jan@example.com"}};
    EXPECT_EQ(click({0}, 1), "Jan Nowak <jan@example.com>");
    EXPECT_EQ(host.connection("MAIL/Socket/SMTP/2").host, "smtp.praca.pl");
    const std::string sent = serve(2);
    EXPECT_NE(sent.find("MAIL FROM: <bob@praca.pl>\r\n"), std::string::npos);
    EXPECT_NE(sent.find("RCPT TO: <jan@example.com>\r\n"), std::string::npos);
    EXPECT_NE(sent.find("To: Jan Nowak <jan@example.com>\r\n"), std::string::npos);
    EXPECT_NE(sent.find("Subject: Temat\r\n"), std::string::npos);
    ASSERT_EQ(host.notifications.size(), 1u);
    EXPECT_EQ(host.notifications[0].title, "Jan Nowak");
}

TEST_F(ContactMenuTest, NamesAndAddressesOfSeveralContactsAreJoinedInUtf8) {
    host.contacts = {{u"Łukasz", u"lukasz@example.com"}, {u"Ewa", u""}, {u"Żaneta", u"zaneta@example.com"}};
    EXPECT_EQ(click({0, 1, 2}), "Łukasz, Żaneta <lukasz@example.com, zaneta@example.com>");
    const std::string sent = serve(1);
    EXPECT_NE(sent.find("RCPT TO: <lukasz@example.com>\r\nRCPT TO: <zaneta@example.com>\r\n"), std::string::npos)
        << sent;
    ASSERT_EQ(host.notifications.size(), 1u);
    EXPECT_EQ(host.notifications[0].title, "\xC5\x81ukasz, \xC5\xBB" "aneta");
}

TEST_F(ContactMenuTest, UnreadableContactsStayRecipientsWithoutNamesAndAreLogged) {
    host.contacts = {{u"Ewa", u""}, {u"Jan", u"jan@example.com", false}, {u"Ola", u"ola@example.com", true, false},
                     {u"Piotr", u"piotr@example.com"}};
    EXPECT_EQ(click({0, 1, 2, 3}), "Piotr <jan@example.com, ola@example.com, piotr@example.com>");
    EXPECT_TRUE(host.loggedContains("Could not find contact via JOX_CTL_FND_CONTACT"));
    EXPECT_TRUE(host.loggedContains("Could not get contact info via JOX_CTL_GET_CONTACT"));
    const std::string sent = serve(1);
    EXPECT_NE(sent.find("RCPT TO: <jan@example.com>\r\nRCPT TO: <ola@example.com>\r\nRCPT TO: <piotr@example.com>"),
              std::string::npos);
}

TEST_F(ContactMenuTest, CancelSendsNothing) {
    host.contacts = {{u"Jan", u"jan@example.com"}};
    click({0}, -1);
    EXPECT_EQ(host.connection("MAIL/Socket/SMTP/1").connects, 0);
    EXPECT_EQ(host.connection("MAIL/Socket/SMTP/2").connects, 0);
}

TEST_F(ContactMenuTest, NoRecipientReachesTheNoRecipientsBoxWithoutConnecting) {
    host.contacts = {{u"Ewa", u""}};
    EXPECT_EQ(click({0}), " <>");
    EXPECT_EQ(host.connection("MAIL/Socket/SMTP/1").connects, 0);
    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(desktop.boxes[0].title, "alice@example.com");
    EXPECT_EQ(desktop.boxes[0].text, "SMTP - No recipients");
    EXPECT_EQ(desktop.boxes[0].kind, JOX_BOX_ERROR);
}

TEST_F(ContactMenuTest, AnAccountGoneWhileTheDialogWasOpenSendsNothing) {
    host.contacts = {{u"Jan", u"jan@example.com"}};
    desktop.onModal = [&](DialogDriver& d) {
        d.select(1009, 1);
        Plugin::instance().accountManager()->removeAccount(2);
        d.click(1);
    };
    host.clickMenuItem("MAIL/fastSend", {0});
    EXPECT_EQ(host.connection("MAIL/Socket/SMTP/1").connects, 0);
    EXPECT_TRUE(desktop.boxes.empty());
}

}  // namespace
}  // namespace postrix
