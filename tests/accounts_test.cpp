// The account manager and its accounts against the fake host.
#include <gtest/gtest.h>

#include "abi/records_accounts.h"
#include "accounts/account.h"
#include "accounts/account_manager.h"
#include "platform/files.h"
#include "smtp/smtp_session.h"
#include "support/fake_host.h"
#include "support/temp_dir.h"

namespace postrix {
namespace {

using test::FakeHost;
using test::TempDir;

constexpr char16_t kGuid[] = u"{6F1C2B9E-4D3A-4E8B-9C51-2A7D0E3F8B64}";

class AccountsTest : public ::testing::Test {
protected:
    AccountsTest() { host.directory = dir.path().u16string() + platform::kPathSeparator; }

    std::unique_ptr<AccountManager> makeManager() {
        return std::make_unique<AccountManager>(Host(host.table()), 0x1234, kGuid, nullptr);
    }
    static std::vector<std::u16string> profiles(const AccountManager& manager) {
        std::vector<std::u16string> names;
        for (size_t i = 0; i < manager.count(); ++i) names.push_back(manager.at(i).profileName());
        return names;
    }
    int64_t event(AccountManager& manager, int32_t code, const char16_t* netClass = u"MAIL", int32_t id = 0) {
        AccountEventRecord record{sizeof(AccountEventRecord), code};
        AccountRecord account{};
        account.netClass = netClass;
        account.accountId = id;
        return AccountManager::onAccountEvent(reinterpret_cast<uintptr_t>(&record),
                                              reinterpret_cast<uintptr_t>(&account), contextOf(&manager));
    }

    TempDir dir;
    FakeHost host;
};

TEST_F(AccountsTest, ProfileFilesBecomeAccountsAfterTheMainOne) {
    for (const char* name : {"postrix.config", "postrix_work.config", "other.config", "postrix_.config",
                             "Postrix_case.config", "xpostrix_inside.config", "postrix_notes.txt",
                             "postrix_this-name-is-far-too-long-for-us.config", "postrix_a..b.config"})
        dir.write(name, "");
    auto manager = makeManager();
    EXPECT_EQ(profiles(*manager), (std::vector<std::u16string>{u"", u"work"}));
    EXPECT_EQ(host.protocols, (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(manager->at(1).id(), 2);
    EXPECT_TRUE(host.loggedContains("Skipping configuration file postrix_this-name-is-far-too-long-for-us.config"));
}

TEST_F(AccountsTest, WithoutADirectoryOnlyTheMainAccountExists) {
    dir.write("postrix_work.config", "");
    host.directoryAvailable = false;
    auto manager = makeManager();
    EXPECT_EQ(profiles(*manager), std::vector<std::u16string>{u""});
}

TEST_F(AccountsTest, AccountRegistersItsNamesTimerAndLoginInfo) {
    host.setText(u"postrix_work.config", u"MAIL/mail", u"work@example.com");
    dir.write("postrix_work.config", "");
    auto manager = makeManager();
    EXPECT_TRUE(host.services.count(u"MAIL/2/PFMessageSend"));
    ASSERT_TRUE(host.optionsPages.count(u"MAIL/Options/2"));
    EXPECT_EQ(host.optionsPages[u"MAIL/Options/2"].caption, "Mail - work");
    EXPECT_EQ(host.optionsPages[u"MAIL/Options/1"].caption, "Mail");
    EXPECT_EQ(host.optionsPages[u"MAIL/Options/1"].groupId, "JOX/Group/Network");
    EXPECT_EQ(host.optionsPages[u"MAIL/Options/1"].module, 0x1234u);
    EXPECT_EQ(host.timers[u"MAIL/2/mailRecvTimer"].intervalMs, 60000);
    ASSERT_EQ(host.loginInfos.size(), 2u);
    EXPECT_EQ(host.loginInfos[1].login, "work@example.com");
    EXPECT_EQ(host.loginInfos[1].profile, "Default");
    EXPECT_EQ(host.loginInfos[1].accountId, 2);
}

TEST_F(AccountsTest, CheckIntervalIsClampedSoMillisecondsFitInt32) {
    for (const auto& [stored, expectedMs] :
         std::vector<std::pair<int64_t, int32_t>>{{0, 60000}, {-3, 60000}, {35791, 2147460000}, {99999, 2147460000}}) {
        host.setInt(u"postrix.config", u"MAIL/checkInterval", stored);
        auto manager = makeManager();
        EXPECT_EQ(host.timers[u"MAIL/" + test::wide(std::to_string(manager->at(0).id())) + u"/mailRecvTimer"].intervalMs,
                  expectedMs)
            << stored;
    }
}

TEST_F(AccountsTest, RefusedSendServiceLeavesAListedButBareAccount) {
    host.setResult(u"createService", 0);
    auto manager = makeManager();
    EXPECT_TRUE(host.loggedContains("Registering JOX_PF_MESSAGE_SEND failed"));
    EXPECT_TRUE(host.optionsPages.empty());
    EXPECT_TRUE(host.timers.empty());
    EXPECT_TRUE(host.loginInfos.empty());
    event(*manager, kAcmList);
    EXPECT_EQ(host.listedAccounts.size(), 1u);
    manager.reset();
    EXPECT_EQ(host.count(u"destroyService"), 0u);
    EXPECT_EQ(host.removedProtocols, std::vector<int32_t>{1});
}

TEST_F(AccountsTest, RefusedProtocolCreatesNoAccount) {
    host.setResult(u"JOX/ProtocolAdd", 1);
    auto manager = makeManager();
    EXPECT_EQ(manager->count(), 0u);
    EXPECT_TRUE(host.loggedContains("Adding account failed"));
}

TEST_F(AccountsTest, ListEventNamesEveryAccount) {
    host.setText(u"postrix.config", u"MAIL/mail", u"me@example.com");
    dir.write("postrix_b.config", "");
    auto manager = makeManager();
    EXPECT_EQ(event(*manager, kAcmList), 0);
    EXPECT_EQ(host.listedAccounts,
              (std::vector<std::pair<std::string, int32_t>>{{"Mail [me@example.com]", 1}, {"Mail []", 2}}));
    host.setResult(u"ACM/AddAccount", 0);
    event(*manager, kAcmList);
    EXPECT_TRUE(host.loggedContains("Adding account MAIL/1 to accounts list failed"));
    EXPECT_TRUE(host.loggedContains("Adding account MAIL/2 to accounts list failed"));
}

TEST_F(AccountsTest, AddEventAsksForAProfileNameAndRefusesUnsafeOnes) {
    auto manager = makeManager();
    host.promptAnswer.reset();  // cancelled
    event(*manager, kAcmAdd);
    for (const char16_t* bad : {u"", u"../evil", u"a/b", u"a\\b", u"a:b", u"a*", u"q?", u"x\"y", u"<", u"|",
                                u"tab\there", u"twenty-five-characters-xx"}) {
        host.promptAnswer = bad;
        event(*manager, kAcmAdd);
    }
    EXPECT_EQ(manager->count(), 1u);
    host.promptAnswer = u"praca";
    event(*manager, kAcmAdd);
    host.promptAnswer = u"praca";
    event(*manager, kAcmAdd);  // already used
    EXPECT_EQ(profiles(*manager), (std::vector<std::u16string>{u"", u"praca"}));
    EXPECT_TRUE(host.loggedContains("Adding account failed, the profile name is already used"));
    EXPECT_TRUE(host.files.count(platform::joinPath(dir.path().u16string(), u"postrix_praca.config")));
}

TEST_F(AccountsTest, RemoveKeepsTheOrderDeletesTheFileAndProtectsTheMainAccount) {
    for (const char* name : {"postrix_a.config", "postrix_b.config", "postrix_c.config"}) dir.write(name, "");
    auto manager = makeManager();
    ASSERT_EQ(manager->count(), 4u);
    std::vector<std::u16string> before = profiles(*manager);
    const std::u16string middle = before[2];
    const int32_t middleId = manager->at(2).id();

    event(*manager, kAcmRemove, u"ICQ", middleId);  // another net class
    event(*manager, kAcmRemove, u"MAIL", 1);        // the main account
    event(*manager, kAcmRemove, u"MAIL", 99);       // unknown
    EXPECT_EQ(profiles(*manager), before);
    EXPECT_TRUE(host.loggedContains("Removing account failed, cannot remove main account"));
    EXPECT_TRUE(host.loggedContains("Removing account failed, cannot find account with id = 99"));

    const std::string known = "postrix_" + test::utf8(middle) + ".known";
    dir.write(known, "ids");
    dir.write(known + ".tmp-41", "ids cut short");
    dir.write(known + ".tmp-42", "ids cut short");
    dir.write("postrix.known", "ids of the main account");
    const std::string imapState = "postrix_" + test::utf8(middle) + ".imap";
    dir.write(imapState, "state");
    dir.write(imapState + ".tmp-43", "state cut short");
    event(*manager, kAcmRemove, u"MAIL", middleId);
    before.erase(before.begin() + 2);
    EXPECT_EQ(profiles(*manager), before);
    EXPECT_FALSE(dir.exists("postrix_" + test::utf8(middle) + ".config"));
    EXPECT_FALSE(dir.exists(known));
    EXPECT_FALSE(dir.exists(known + ".tmp-41"));
    EXPECT_FALSE(dir.exists(known + ".tmp-42"));
    EXPECT_FALSE(dir.exists(imapState));
    EXPECT_FALSE(dir.exists(imapState + ".tmp-43"));
    EXPECT_TRUE(dir.exists("postrix.known"));
    for (size_t i = 1; i < before.size(); ++i) EXPECT_TRUE(dir.exists("postrix_" + test::utf8(before[i]) + ".config"));
    EXPECT_TRUE(host.timers.count(u"MAIL/1/mailRecvTimer"));
    EXPECT_FALSE(host.timers.count(u"MAIL/" + test::wide(std::to_string(middleId)) + u"/mailRecvTimer"));
    EXPECT_FALSE(host.services.count(u"MAIL/" + test::wide(std::to_string(middleId)) + u"/PFMessageSend"));
}

TEST_F(AccountsTest, TeardownRunsInItsFixedOrder) {
    auto manager = makeManager();
    host.calls.clear();
    manager.reset();
    const std::vector<std::u16string> expected = {
        u"ACM/InterfaceRemove", u"JOX/Timer/Destroy", u"JOX/RemoveOptionsPage", u"destroyService",
        u"JOX/ProtocolDel",     u"NetLib/Destroy",    u"JOX/Settings/Destroy", u"NetLib/Destroy"};
    EXPECT_EQ(host.calls, expected);
    EXPECT_TRUE(host.accountInterfaceRemoved);
}

TEST_F(AccountsTest, MailTimerCodesOneAndThreeCheckMail) {
    auto manager = makeManager();
    const int reads = host.settingsReads;
    host.fireTimer(u"MAIL/1/mailRecvTimer", 2);
    EXPECT_EQ(host.settingsReads, reads);
}

}  // namespace
}  // namespace postrix
