// Mail checks as an account runs them: timer, settings, notices, news
// entries, the notice callback, the timeout sweep and teardown.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "abi/records_notify.h"
#include "accounts/account.h"
#include "accounts/new_mail_notice.h"
#include "fixtures/manual_clock.h"
#include "pop3/pop3_session.h"
#include "platform/files.h"
#include "support/fake_host.h"
#include "support/system.h"
#include "support/temp_dir.h"

namespace postrix::pop3 {
namespace {

using test::FakeConnection;
using test::FakeHost;

constexpr char16_t kConfig[] = u"postrix.config";
constexpr char16_t kTimer[] = u"MAIL/7/mailRecvTimer";

constexpr std::string_view kHeaderOf3 =
    "Subject: Spotkanie\r\nFrom: Jan Kowalski <jan@example.com>\r\nDate: Mon, 5 Nov 2012 10:00:00 +0100\r\n\r\n.\r\n";
constexpr std::string_view kHeaderOf2 = "From: ola@example.com\r\nSubject: Re: plan\r\n\r\n.\r\n";

struct AccountHarness {
    AccountHarness() {
        account->pop3().setProbe([] { return true; });
        account->newMailNotice().setOpener([this](std::string_view address) { opened.emplace_back(address); });
    }

    std::unique_ptr<Account> configuredAccount() {
        // The probe is replaced in the constructor; should the real one ever
        // run, it stays on this machine.
        test::setEnvironment("POSTRIX_PROBE_HOST", "127.0.0.1");
        // Settings and known ids in a folder of the test's own.
        host.directory = dir.path().u16string() + platform::kPathSeparator;
        host.setText(kConfig, u"MAIL/pop3Server", u"pop.example.com");
        host.setText(kConfig, u"MAIL/mail", u"alice@example.com");
        host.setText(kConfig, u"MAIL/login", u"alice");
        host.setText(kConfig, u"MAIL/password", u"secret");
        host.setText(kConfig, u"MAIL/mailboxWww", u"https://poczta.example.com/");
        return std::make_unique<Account>(Host(host.table()), 0, 7, u"", nullptr);
    }

    // The failure lines of the log (the first check's notice that no known
    // ids were stored yet is not among them).
    std::vector<test::LogLine> failures() const {
        std::vector<test::LogLine> lines;
        for (const auto& line : host.logs)
            if (line.level != 0) lines.push_back(line);
        return lines;
    }

    Pop3Session& session() { return account->pop3(); }

    std::string reply(std::string_view text) {
        host.deliverData(connection, text);
        return host.takeSent(connection);
    }

    // One whole check started by the mail-check timer; each reply must draw
    // an answer until QUIT.
    void check(std::vector<std::string_view> replies) {
        host.fireTimer(kTimer, 3);
        for (std::string_view text : replies) ASSERT_NE(reply(text), "") << text;
        ASSERT_EQ(session().state(), Pop3State::Idle);
    }

    // The first check, then one that finds messages 2 and 3.
    void checkWithNewMail() {
        check({"+OK\r\n", "+OK\r\n", "+OK\r\n", "+OK\r\n1 a\r\n.\r\n"});
        check({"+OK\r\n", "+OK\r\n", "+OK\r\n", "+OK\r\n1 a\r\n2 b\r\n3 c\r\n.\r\n", "+OK\r\n" + std::string(kHeaderOf3),
               "+OK\r\n" + std::string(kHeaderOf2)});
    }

    int64_t noticeEvent(const test::Notification& notice, int32_t kind) {
        NotifyEventRecord event{};
        event.size = sizeof(NotifyEventRecord);
        event.kind = kind;
        return notice.callback(reinterpret_cast<uintptr_t>(&event), 0, notice.context);
    }

    test::TempDir dir;
    FakeHost host;
    test::ManualClock clock;
    std::vector<std::string> opened;
    std::unique_ptr<Account> account = configuredAccount();
    FakeConnection& connection = host.connection("MAIL/Socket/POP3/7");
};

TEST(Pop3Account, TimerCodesOneAndThreeStartACheckAndTwoDoesNot) {
    AccountHarness h;
    const int readsBefore = h.host.settingsReads;
    h.host.fireTimer(kTimer, 2);
    EXPECT_EQ(h.connection.connects, 0);
    h.host.fireTimer(kTimer, 1);
    EXPECT_EQ(h.connection.connects, 1);
    EXPECT_EQ(h.host.settingsReads, readsBefore + 1);
    EXPECT_EQ(h.connection.port, 995);  // "MAIL/ssl" absent means secure
    EXPECT_EQ(h.session().state(), Pop3State::AwaitWelcome);
    h.host.deliverClosed(h.connection);
    h.host.fireTimer(kTimer, 3);
    EXPECT_EQ(h.connection.connects, 2);
}

TEST(Pop3Account, CheckNeedsServerAddressLoginAndPassword) {
    for (const char16_t* key : {u"MAIL/pop3Server", u"MAIL/mail", u"MAIL/login", u"MAIL/password"}) {
        AccountHarness h;
        h.host.setText(kConfig, key, u"");
        h.account->checkMail();
        EXPECT_EQ(h.connection.connects, 0) << test::utf8(key);
        EXPECT_TRUE(h.host.notifications.empty());
    }
    AccountHarness h;
    h.host.setInt(kConfig, u"MAIL/ssl", 0);
    h.host.setText(kConfig, u"MAIL/mailboxWww", u"");
    h.account->checkMail();
    EXPECT_EQ(h.connection.port, 110);
    EXPECT_EQ(h.account->newMailNotice().mailboxWww(), "");
    EXPECT_FALSE(h.session().settings().useSsl);
}

TEST(Pop3Account, NewMailNoticeAndNewsEntries) {
    AccountHarness h;
    h.host.existingServices.insert(u"News/AddEntry");
    h.checkWithNewMail();
    ASSERT_EQ(h.host.notifications.size(), 1u);
    const test::Notification& notice = h.host.notifications[0];
    EXPECT_EQ(notice.title, "Nowa poczta (alice@example.com)");
    EXPECT_EQ(notice.text,
              "Ilość nieprzeczytanych: 2\r\n"
              "1 - Jan Kowalski <jan@example.com>: \"Spotkanie\"\r\n"
              "2 - ola@example.com: \"Re: plan\"");
    EXPECT_EQ(notice.thirdText, "alice@example.com");
    EXPECT_EQ(notice.icon, "Image/Mail");
    EXPECT_EQ(notice.value40, 3);
    EXPECT_EQ(notice.value48, 18);
    EXPECT_EQ(notice.value64, 10);
    EXPECT_NE(notice.callback, nullptr);

    ASSERT_EQ(h.host.news.size(), 2u);
    EXPECT_EQ(h.host.news[0].firstText, "alice@example.com-Jan Kowalski  jan@example.com -Spotkanie-1352106000");
    EXPECT_EQ(h.host.news[0].sender, "Jan Kowalski  jan@example.com ");
    EXPECT_EQ(h.host.news[0].subject, "Spotkanie");
    EXPECT_EQ(h.host.news[0].accountAddress, "alice@example.com");
    EXPECT_EQ(h.host.news[0].icon, "Image/Mail");
    EXPECT_EQ(h.host.news[1].firstText, "alice@example.com-ola@example.com-Re: plan-0");
    EXPECT_TRUE(h.failures().empty());
}

TEST(Pop3Account, EachMessageGetsOneNewsEntryWhileTheNoticeIsShown) {
    AccountHarness h;
    h.host.existingServices.insert(u"News/AddEntry");
    h.checkWithNewMail();
    h.check({"+OK\r\n", "+OK\r\n", "+OK\r\n", "+OK\r\n1 a\r\n2 b\r\n3 c\r\n4 d\r\n.\r\n",
             "+OK\r\nSubject: later\r\n\r\n.\r\n"});
    h.check({"+OK\r\n", "+OK\r\n", "-ERR no\r\n"});
    std::vector<std::string> news;
    for (const auto& entry : h.host.news) news.push_back(entry.subject);
    EXPECT_EQ(news, (std::vector<std::string>{"Spotkanie", "Re: plan", "later"}));
    ASSERT_EQ(h.host.notifications.size(), 3u);
    EXPECT_EQ(h.host.notifications[1].text,
              "Ilo\xC5\x9B\xC4\x87 nieprzeczytanych: 3\r\n"
              "1 - Jan Kowalski <jan@example.com>: \"Spotkanie\"\r\n"
              "2 - ola@example.com: \"Re: plan\"\r\n"
              "3 - : \"later\"");
    EXPECT_EQ(h.host.notifications[2].icon, "Image/Warning32");
}

TEST(Pop3Account, HeaderTextCannotForgeALineInTheNoticeOrTheNews) {
    AccountHarness h;
    h.host.existingServices.insert(u"News/AddEntry");
    h.check({"+OK\r\n", "+OK\r\n", "+OK\r\n", "+OK\r\n1 a\r\n.\r\n"});
    h.check({"+OK\r\n", "+OK\r\n", "+OK\r\n", "+OK\r\n1 a\r\n2 b\r\n.\r\n",
             "+OK\r\nFrom: =?utf-8?Q?Eve_=E2=80=AEgpj.exe?= <e@x.pl>\r\n"
             "Subject: =?utf-8?Q?hi=0D=0A2_-_boss@corp:_pay_now?=\r\n\r\n.\r\n"});
    ASSERT_EQ(h.host.notifications.size(), 1u);
    EXPECT_EQ(h.host.notifications[0].text,
              "Ilo\xC5\x9B\xC4\x87 nieprzeczytanych: 1\r\n"
              "1 - Eve gpj.exe <e@x.pl>: \"hi  2 - boss@corp: pay now\"");
    ASSERT_EQ(h.host.news.size(), 1u);
    EXPECT_EQ(h.host.news[0].sender, "Eve gpj.exe  e@x.pl ");
    EXPECT_EQ(h.host.news[0].subject, "hi  2 - boss@corp: pay now");
}

TEST(Pop3Account, WithoutTheNewsServiceOnlyTheNoticeIsShown) {
    AccountHarness h;
    h.checkWithNewMail();
    EXPECT_EQ(h.host.notifications.size(), 1u);
    EXPECT_TRUE(h.host.news.empty());
    EXPECT_EQ(h.host.count(u"News/AddEntry"), 0u);
}

TEST(Pop3Account, SecondCheckWhileTheNoticeIsShownListsAllButAddsNewsOnlyForItsMail) {
    AccountHarness h;
    h.host.existingServices.insert(u"News/AddEntry");
    h.checkWithNewMail();
    h.check({"+OK\r\n", "+OK\r\n", "+OK\r\n", "+OK\r\n1 a\r\n2 b\r\n3 c\r\n4 d\r\n.\r\n",
             "+OK\r\nSubject: later\r\n\r\n.\r\n"});
    ASSERT_EQ(h.host.notifications.size(), 2u);
    EXPECT_EQ(h.host.notifications[1].text,
              "Ilość nieprzeczytanych: 3\r\n1 - Jan Kowalski <jan@example.com>: \"Spotkanie\"\r\n"
              "2 - ola@example.com: \"Re: plan\"\r\n3 - : \"later\"");
    EXPECT_EQ(h.host.count(u"News/AddEntry"), 3u);
    // A check that fails or brings nothing new shows nothing again.
    h.check({"+OK\r\n", "+OK\r\n", "+OK\r\n", "+OK\r\n1 a\r\n2 b\r\n3 c\r\n4 d\r\n.\r\n"});
    h.check({"+OK\r\n", "-ERR no\r\n"});
    EXPECT_EQ(h.host.notifications.size(), 3u);  // the warning only
    EXPECT_EQ(h.host.count(u"News/AddEntry"), 3u);
    EXPECT_EQ(h.account->newMailNotice().entries().size(), 3u);
}

TEST(Pop3Account, NoticeAndNewsFailuresAreLoggedIndependently) {
    AccountHarness h;
    h.host.existingServices.insert(u"News/AddEntry");
    h.host.setResult(u"JOX/ShowStandardNotify", 1);
    h.host.setResult(u"News/AddEntry", 1);
    h.checkWithNewMail();
    EXPECT_EQ(h.host.count(u"News/AddEntry"), 2u);
    std::vector<std::string> logged;
    for (const auto& line : h.failures()) {
        EXPECT_EQ(line.level, -1);
        logged.push_back(line.text);
    }
    EXPECT_EQ(logged, (std::vector<std::string>{"Showing notification failed", "Showing news++ notification failed",
                                                "Showing news++ notification failed"}));
    EXPECT_EQ(h.account->newMailNotice().entries().size(), 2u);  // nothing empties the list but the notice's end
}

TEST(Pop3Account, ClickOpensTheMailboxAndTheNoticeEndEmptiesTheList) {
    AccountHarness h;
    h.checkWithNewMail();
    const test::Notification notice = h.host.notifications.at(0);
    EXPECT_EQ(h.noticeEvent(notice, 2), 0);
    EXPECT_TRUE(h.opened.empty());
    EXPECT_EQ(h.noticeEvent(notice, kNotifyClicked), 0);
    EXPECT_EQ(h.opened, std::vector<std::string>{"https://poczta.example.com/"});
    EXPECT_EQ(h.account->newMailNotice().entries().size(), 2u);
    EXPECT_EQ(h.noticeEvent(notice, kNotifyEnded), 0);
    EXPECT_TRUE(h.account->newMailNotice().entries().empty());

    h.check({"+OK\r\n", "+OK\r\n", "+OK\r\n", "+OK\r\n1 a\r\n2 b\r\n3 c\r\n4 d\r\n.\r\n", "+OK\r\nSubject: later\r\n\r\n.\r\n"});
    ASSERT_EQ(h.host.notifications.size(), 2u);
    EXPECT_EQ(h.host.notifications[1].text, "Ilość nieprzeczytanych: 1\r\n1 - : \"later\"");
}

TEST(Pop3Account, ClickWithoutAMailboxAddressOpensNothing) {
    AccountHarness h;
    h.host.setText(kConfig, u"MAIL/mailboxWww", u"");
    h.checkWithNewMail();
    h.noticeEvent(h.host.notifications.at(0), kNotifyClicked);
    EXPECT_TRUE(h.opened.empty());
}

TEST(Pop3Account, NoticeThatOutlivesItsAccountDoesNothing) {
    AccountHarness h;
    h.checkWithNewMail();
    const test::Notification notice = h.host.notifications.at(0);
    h.account.reset();
    EXPECT_EQ(h.noticeEvent(notice, kNotifyClicked), 0);
    EXPECT_EQ(h.noticeEvent(notice, kNotifyEnded), 0);
    EXPECT_TRUE(h.opened.empty());

    // A new account in its place is not reached by the old notice either.
    h.account = std::make_unique<Account>(Host(h.host.table()), 0, 7, u"", nullptr);
    h.account->newMailNotice().setOpener([&](std::string_view address) { h.opened.emplace_back(address); });
    h.noticeEvent(notice, kNotifyClicked);
    EXPECT_TRUE(h.opened.empty());
}

TEST(Pop3Account, FailedCheckShowsAWarningTitledWithTheAddress) {
    AccountHarness h;
    h.check({"+OK\r\n", "+OK\r\n", "-ERR invalid password\r\n"});
    ASSERT_EQ(h.host.notifications.size(), 1u);
    const test::Notification& notice = h.host.notifications[0];
    EXPECT_EQ(notice.text, "POP3 - Error on PASS:\r\n-ERR invalid password\r\n");
    EXPECT_EQ(notice.title, "alice@example.com");
    EXPECT_EQ(notice.thirdText, "");
    EXPECT_EQ(notice.icon, "Image/Warning32");
    EXPECT_EQ(notice.value40, 3);
    EXPECT_EQ(notice.value48, 0);
    EXPECT_EQ(notice.value64, 0);
    EXPECT_EQ(notice.callback, nullptr);
    const std::vector<test::LogLine> failures = h.failures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].source, "MAIL");
    EXPECT_EQ(failures[0].text, "alice@example.com: POP3 - Error on PASS:\r\n-ERR invalid password\r\n");

    h.host.setResult(u"JOX/ShowStandardNotify", 1);
    h.check({"-ERR\r\n"});
    EXPECT_EQ(h.host.logs.back().text, "Showing notification failed");
}

TEST(Pop3Account, RefusedSocketAtConstructionGivesANoticeWithoutTitle) {
    FakeHost host;
    host.setResult(u"NetLib/Create", 1);
    Account account(Host(host.table()), 0, 7, u"", nullptr);
    // Both sessions report; the POP3 one through a notice.
    ASSERT_EQ(host.notifications.size(), 1u);
    EXPECT_EQ(host.notifications[0].text, "POP3 - Could not create socket");
    EXPECT_EQ(host.notifications[0].title, "");
    EXPECT_TRUE(std::any_of(host.logs.begin(), host.logs.end(),
                            [](const test::LogLine& l) { return l.text == ": POP3 - Could not create socket"; }));
}

TEST(Pop3Account, TimeoutSweepDropsASilentCheckWithoutAWord) {
    AccountHarness h;
    h.host.fireTimer(kTimer, 3);
    h.reply("+OK\r\n");
    h.clock.advance(19999);
    h.account->checkTimeouts();
    EXPECT_EQ(h.session().state(), Pop3State::AwaitUser);
    h.clock.advance(1);
    h.account->checkTimeouts();
    EXPECT_EQ(h.session().state(), Pop3State::Idle);
    EXPECT_TRUE(h.session().aborted());
    EXPECT_EQ(h.connection.closes, 1);
    EXPECT_EQ(h.host.takeSent(h.connection), "");
    EXPECT_TRUE(h.host.notifications.empty());
    EXPECT_TRUE(h.failures().empty());
    h.host.fireTimer(kTimer, 3);  // the next check starts normally
    EXPECT_EQ(h.session().state(), Pop3State::AwaitWelcome);
}

TEST(Pop3Account, SessionsAreBuiltAndReleasedInOrder) {
    AccountHarness h;
    const auto position = [&](std::u16string_view call, size_t occurrence) {
        size_t seen = 0;
        for (size_t i = 0; i < h.host.calls.size(); ++i)
            if (h.host.calls[i] == call && seen++ == occurrence) return i;
        return h.host.calls.size();
    };
    EXPECT_EQ(h.host.connections[0].id, "MAIL/Socket/SMTP/7");
    EXPECT_EQ(h.host.connections[1].id, "MAIL/Socket/POP3/7");
    EXPECT_LT(position(u"NetLib/Create", 1), position(u"JOX/Settings/InitEx", 0));
    h.account.reset();
    EXPECT_TRUE(h.host.connections[1].destroyed);
    EXPECT_LT(position(u"NetLib/Destroy", 0), position(u"JOX/Settings/Destroy", 0));
    EXPECT_LT(position(u"JOX/Settings/Destroy", 0), position(u"NetLib/Destroy", 1));
}

}  // namespace
}  // namespace postrix::pop3
