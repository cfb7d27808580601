// The account's options page: built and filled at the first page event,
// shown, moved and closed by the host's events, and applied by the rules
// that write only what changed.
#include <gtest/gtest.h>

#include "abi/records_accounts.h"
#include "accounts/account.h"
#include "accounts/options_page.h"
#include "fixtures/installed_desktop.h"
#include "fixtures/manual_clock.h"
#include "pop3/pop3_session.h"
#include "support/fake_host.h"

namespace postrix {
namespace {

using test::DialogDriver;

constexpr char16_t kConfig[] = u"postrix.config";
constexpr char16_t kPage[] = u"MAIL/Options/7";
constexpr char16_t kTimer[] = u"MAIL/7/mailRecvTimer";

class OptionsPageTest : public ::testing::Test {
protected:
    OptionsPageTest() {
        host.setText(kConfig, u"MAIL/mail", u"alice@example.com");
        host.setText(kConfig, u"MAIL/login", u"alice");
        host.setText(kConfig, u"MAIL/password", u"secret");
        host.setText(kConfig, u"MAIL/smtpServer", u"smtp.example.com");
        host.setText(kConfig, u"MAIL/pop3Server", u"pop.example.com");
        host.setText(kConfig, u"MAIL/mailboxWww", u"https://poczta.example.com/");
        host.setInt(kConfig, u"MAIL/checkInterval", 5);
        account = std::make_unique<Account>(Host(host.table()), 0x1234, 7, u"", nullptr);
        account->pop3().setProbe([this] {
            ++checks;
            return false;
        });
    }

    // The page after a first event (hide, which shows nothing).
    DialogDriver open() {
        host.pageEvent(kPage, kPageHide);
        return desktop.page(account->optionsPage()->window());
    }
    // Applies (event 4) and counts what the apply wrote.
    void apply() {
        host.calls.clear();
        checks = 0;
        host.pageEvent(kPage, kPageApply);
    }
    std::u16string stored(const char16_t* key) {
        auto& value = host.file(kConfig)[key];
        return std::holds_alternative<std::u16string>(value) ? std::get<std::u16string>(value) : u"(number)";
    }
    int64_t storedInt(const char16_t* key) { return std::get<int64_t>(host.file(kConfig).at(key)); }

    test::FakeHost host;
    test::InstalledDesktop desktop;
    test::ManualClock clock;
    int checks = 0;
    std::unique_ptr<Account> account;
};

TEST_F(OptionsPageTest, FirstEventBuildsTheFilledPageAndEventsShowHideAndMoveIt) {
    const PageEventRecord event = host.pageEvent(kPage, kPageHide);
    EXPECT_EQ(std::u16string(event.title), u"Mail");
    EXPECT_EQ(std::u16string(event.description), u"Wysyłanie/odbieranie poczty");
    ASSERT_EQ(desktop.pages.size(), 1u);
    DialogDriver page = desktop.page(account->optionsPage()->window());
    EXPECT_EQ(page.window().templateId, JOX_DIALOG_OPTIONS_PAGE);
    EXPECT_FALSE(page.window().visible);
    EXPECT_EQ(page.text(1001), "alice@example.com");
    EXPECT_EQ(page.text(1002), "alice");
    EXPECT_EQ(page.text(1003), "secret");
    EXPECT_TRUE(page.control(1003).style & JOX_STYLE_PASSWORD);
    EXPECT_EQ(page.text(1004), "smtp.example.com");
    EXPECT_EQ(page.text(1005), "pop.example.com");
    EXPECT_EQ(page.text(1006), "https://poczta.example.com/");
    EXPECT_TRUE(page.control(1007).checked);  // no "MAIL/ssl": secure
    EXPECT_EQ(page.text(1008), "5");

    host.pageEvent(kPage, kPageShow, 0, 10, 20, 400, 330);
    JoxWindowInfo window = page.window();
    EXPECT_TRUE(window.visible);
    EXPECT_EQ((std::array{window.x, window.y, window.width, window.height}), (std::array{10, 20, 400, 330}));
    host.pageEvent(kPage, kPageMove, 0, 5, 6, 300, 200);
    window = page.window();
    EXPECT_EQ((std::array{window.x, window.y, window.width, window.height}), (std::array{5, 6, 300, 200}));
    host.pageEvent(kPage, kPageHide);
    EXPECT_FALSE(page.window().visible);
    host.pageEvent(kPage, 77);  // unknown codes change nothing
    EXPECT_EQ(desktop.pages.size(), 1u);
}

TEST_F(OptionsPageTest, ApplyWritesOnlyTheChangedValueAndChecksMailForConnectionSettings) {
    struct Case {
        int control;
        const char16_t* key;
        bool checksMail;
    };
    const Case cases[] = {
        {1004, u"MAIL/smtpServer", false}, {1006, u"MAIL/mailboxWww", false}, {1005, u"MAIL/pop3Server", true},
        {1002, u"MAIL/login", true},       {1003, u"MAIL/password", true},    {1010, u"MAIL/imapServer", true},
        {1011, u"MAIL/imapFolder", true},  {1001, u"MAIL/mail", true},
    };
    DialogDriver page = open();
    apply();
    EXPECT_EQ(host.count(u"JOX/Settings/Set"), 0u);
    EXPECT_EQ(checks, 0);
    for (const Case& c : cases) {
        const std::string value = "nowa-wartość-" + std::to_string(c.control);
        ASSERT_TRUE(page.type(c.control, value));
        const size_t loginInfos = host.loginInfos.size();
        apply();
        EXPECT_EQ(stored(c.key), test::wide(value)) << c.control;
        EXPECT_EQ(host.count(u"JOX/Settings/Set"), 1u) << c.control;
        EXPECT_EQ(checks, c.checksMail ? 1 : 0) << c.control;
        // The address updates the login info during apply; event 4 once more.
        EXPECT_EQ(host.loginInfos.size() - loginInfos, c.control == 1001 ? 2u : 1u) << c.control;
    }
    EXPECT_EQ(host.loginInfos.back().login, "nowa-wartość-1001");
}

TEST_F(OptionsPageTest, IntervalIsReadAsANumberKeptWithinItsRangeAndRestartsTheTimer) {
    struct Case {
        int64_t storedBefore;
        const char* typed;
        int64_t storedAfter;
        const char* shown;
        bool restarted;
    };
    const Case cases[] = {
        {5, "0", 1, "1", true},        {5, "-3", 1, "1", true},         {5, "abc", 1, "1", true},
        {1, "abc", 1, "abc", false},   {5, "99999", 35791, "35791", true}, {5, " 12min", 12, "12", true},
        {5, "5", 5, "5", false},
    };
    for (const Case& c : cases) {
        host.setInt(kConfig, u"MAIL/checkInterval", c.storedBefore);
        host.pageEvent(kPage, kPageCancel);
        DialogDriver page = open();
        page.type(1008, c.typed);
        host.destroyedTimers.clear();
        apply();
        EXPECT_EQ(storedInt(u"MAIL/checkInterval"), c.storedAfter) << c.typed;
        EXPECT_EQ(page.text(1008), c.shown) << c.typed;
        EXPECT_EQ(host.destroyedTimers.size(), c.restarted ? 1u : 0u) << c.typed;
        if (c.restarted) {
            EXPECT_EQ(host.timers.at(kTimer).intervalMs, c.storedAfter * 60000) << c.typed;
        }
        EXPECT_EQ(checks, c.restarted ? 1 : 0) << c.typed;
    }
}

TEST_F(OptionsPageTest, SecureConnectionBoxIsWrittenOnlyWhenItChanges) {
    DialogDriver page = open();
    apply();
    EXPECT_EQ(host.file(kConfig).count(u"MAIL/ssl"), 0u);
    page.check(1007, false);
    apply();
    EXPECT_EQ(storedInt(u"MAIL/ssl"), 0);
    EXPECT_EQ(checks, 1);
    apply();
    EXPECT_EQ(host.count(u"JOX/Settings/Set"), 0u);
}

TEST_F(OptionsPageTest, ProtocolListShowsTheStoredProtocolAndImapFieldsTheirTexts) {
    struct Case {
        const char16_t* protocol;  // nullptr: no key
        int selection;
    };
    const Case cases[] = {{nullptr, 0}, {u"pop3", 0}, {u"imap", 1}, {u"IMAP4rev1", 0}, {u"", 0}};
    host.setText(kConfig, u"MAIL/imapServer", u"imap.example.com:143");
    host.setText(kConfig, u"MAIL/imapFolder", u"Praca/Ważne");
    for (const Case& c : cases) {
        const std::string name = c.protocol ? test::utf8(c.protocol) : "(none)";
        if (c.protocol) host.setText(kConfig, u"MAIL/protocol", c.protocol);
        else host.file(kConfig).erase(u"MAIL/protocol");
        host.pageEvent(kPage, kPageCancel);
        DialogDriver page = open();
        EXPECT_EQ(page.comboItems(1009), (std::vector<std::string>{"POP3", "IMAP"})) << name;
        EXPECT_EQ(page.control(1009).selection, c.selection) << name;
        EXPECT_EQ(page.text(1010), "imap.example.com:143") << name;
        EXPECT_EQ(page.text(1011), "Praca/Ważne") << name;
        // Applying what was shown writes nothing, an unknown value included.
        apply();
        EXPECT_EQ(host.count(u"JOX/Settings/Set"), 0u) << name;
        EXPECT_EQ(checks, 0) << name;
    }
}

TEST_F(OptionsPageTest, ChoosingAnotherProtocolWritesItAndChecksMail) {
    struct Step {
        int select;
        const char16_t* stored;  // nullptr: still no key
        size_t writes;
    };
    const Step steps[] = {{0, nullptr, 0}, {1, u"imap", 1}, {1, u"imap", 0}, {0, u"pop3", 1}, {0, u"pop3", 0}};
    host.setText(kConfig, u"MAIL/imapServer", u"imap.example.com");
    DialogDriver page = open();
    apply();
    const size_t quietReads = host.count(u"JOX/Settings/Read");
    for (const Step& step : steps) {
        ASSERT_TRUE(page.select(1009, step.select));
        apply();
        if (step.stored) EXPECT_EQ(stored(u"MAIL/protocol"), step.stored) << step.select;
        else EXPECT_EQ(host.file(kConfig).count(u"MAIL/protocol"), 0u);
        EXPECT_EQ(host.count(u"JOX/Settings/Set"), step.writes) << step.select;
        // A check starts by reading the file again, whichever protocol it
        // then speaks.
        EXPECT_EQ(host.count(u"JOX/Settings/Read"), quietReads + step.writes) << step.select;
    }
    EXPECT_FALSE(page.select(1009, 2));
}

TEST_F(OptionsPageTest, CancelDiscardsEditsAndTheNextEventBuildsAFreshPage) {
    DialogDriver page = open();
    const JoxWindow first = page.handle();
    page.type(1004, "inny.example.com");
    host.pageEvent(kPage, kPageCancel);
    EXPECT_EQ(account->optionsPage(), nullptr);
    EXPECT_EQ(desktop.destroyedPages, std::vector<JoxWindow>{first});
    EXPECT_EQ(stored(u"MAIL/smtpServer"), u"smtp.example.com");
    EXPECT_EQ(open().text(1004), "smtp.example.com");
}

TEST_F(OptionsPageTest, CloseAppliesAndReleasesThePage) {
    open().type(1005, "pop.praca.pl");
    host.pageEvent(kPage, kPageClose);
    EXPECT_EQ(stored(u"MAIL/pop3Server"), u"pop.praca.pl");
    EXPECT_EQ(checks, 1);
    EXPECT_EQ(account->optionsPage(), nullptr);
    EXPECT_TRUE(desktop.pages.empty());
}

TEST_F(OptionsPageTest, TeardownDestroysAnOpenPageAfterTheSmtpSession) {
    const JoxWindow window = open().handle();
    account.reset();
    EXPECT_EQ(desktop.destroyedPages, std::vector<JoxWindow>{window});
    EXPECT_FALSE(platform::hasItem(window, 1001));
    EXPECT_EQ(readIntervalText(u"+7"), 7);
}

}  // namespace
}  // namespace postrix
