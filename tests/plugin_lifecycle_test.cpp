// Load and unload order, the information record and the timeout sweep.
#include <gtest/gtest.h>

#include "abi/records_plugin.h"
#include "accounts/account.h"
#include "accounts/account_manager.h"
#include "fixtures/manual_clock.h"
#include "platform/module.h"
#include "plugin/plugin.h"
#include "plugin/plugin_info.h"
#include "smtp/smtp_session.h"
#include "support/fake_host.h"

namespace postrix {
namespace {

using test::FakeHost;

class PluginTest : public ::testing::Test {
protected:
    // The test program's own module, which carries the plug-in's resources
    // as the library does.
    PluginTest() { Plugin::instance().setModuleHandle(platform::ownModuleHandle()); }
    ~PluginTest() override {
        if (loaded) Plugin::instance().unload();
    }
    void load() {
        Plugin::instance().load(host.table());
        loaded = true;
    }
    void unload() {
        Plugin::instance().unload();
        loaded = false;
    }
    size_t indexOf(std::u16string_view call) const {
        const auto found = std::find(host.calls.begin(), host.calls.end(), call);
        return static_cast<size_t>(found - host.calls.begin());
    }

    FakeHost host;
    bool loaded = false;
};

TEST(PluginInfoTest, RecordHoldsTheHostFormat) {
    const PluginInfo& info = pluginInfo();
    EXPECT_EQ(info.size, 128);
    EXPECT_EQ(std::u16string_view(info.name), u"Mail Protocol");
    EXPECT_EQ(std::u16string_view(info.description), u"POP3/SMTP with SSL/TLS");
    EXPECT_EQ(std::u16string_view(info.extra), u"");
    EXPECT_EQ(info.version, 0x00020000000004B0ull);
    EXPECT_EQ(info.apiVersion, 0x0001000000060000ull);
    EXPECT_EQ(info.flags, 1);
    EXPECT_EQ(info.guid, kPluginGuid);
    EXPECT_EQ(info.guid[0], u'{');
}

TEST_F(PluginTest, LoadRegistersInOrderAndUnloadRemovesEverything) {
    load();
    ASSERT_EQ(host.menuItems.size(), 1u);
    EXPECT_EQ(host.menuItems[0].itemId, "MAIL/fastSend");
    EXPECT_EQ(host.menuItems[0].parentId, "JOX/Menu/Contact/Send");
    EXPECT_EQ(host.menuItems[0].caption, "Wyślij e-mail...");
    EXPECT_EQ(host.menuItems[0].iconId, "Image/Mail");
    EXPECT_NE(host.menuItems[0].onClick, nullptr);
    ASSERT_EQ(host.hooks.size(), 1u);
    EXPECT_EQ(host.hooks.begin()->second.first, u"JOX/OnMenuRebuild");
    ASSERT_TRUE(host.timers.count(u"postrix/timeoutTimer"));
    EXPECT_EQ(host.timers[u"postrix/timeoutTimer"].intervalMs, 10000);
    // Menu item, hook, account manager (interface, then accounts), global timer.
    EXPECT_LT(indexOf(u"JOX/Menu/Add"), indexOf(u"hookEvent:JOX/OnMenuRebuild"));
    EXPECT_LT(indexOf(u"hookEvent:JOX/OnMenuRebuild"), indexOf(u"ACM/InterfaceAdd"));
    EXPECT_LT(indexOf(u"ACM/InterfaceAdd"), indexOf(u"JOX/ProtocolAdd"));
    EXPECT_LT(indexOf(u"JOX/PFSetInfo"), host.calls.size() - 1);
    EXPECT_EQ(host.calls.back(), u"JOX/Timer/Create");
    EXPECT_NE(Plugin::instance().bitmap(), 0u);

    host.calls.clear();
    unload();
    EXPECT_EQ(host.calls[0], u"JOX/Timer/Destroy");
    EXPECT_EQ(host.destroyedTimers[0], u"postrix/timeoutTimer");
    EXPECT_EQ(host.calls[1], u"JOX/RemoveOptionsPage");
    EXPECT_EQ(host.calls[2], u"JOX/Menu/Remove");
    ASSERT_EQ(host.removedMenuItems.size(), 1u);
    EXPECT_EQ(host.removedMenuItems[0].itemId, "MAIL/fastSend");
    EXPECT_EQ(host.removedMenuItems[0].caption, "");
    EXPECT_EQ(host.calls[3], u"unhookEvent");
    EXPECT_EQ(host.calls[4], u"ACM/InterfaceRemove");
    EXPECT_TRUE(host.hooks.empty());
    EXPECT_EQ(host.removedProtocols, std::vector<int32_t>{1});
    EXPECT_TRUE(host.services.empty());
    EXPECT_TRUE(host.timers.empty());
    EXPECT_EQ(Plugin::instance().accountManager(), nullptr);
}

TEST_F(PluginTest, RefusedTimerIsLoggedAndEverythingElseStillExists) {
    host.setResult(u"JOX/Timer/Create", 1);
    load();
    EXPECT_TRUE(host.loggedContains("Cannot start timeout timer"));
    EXPECT_EQ(host.menuItems.size(), 1u);
    EXPECT_EQ(Plugin::instance().accountManager()->count(), 1u);
}

TEST_F(PluginTest, UnloadAfterARefusedHookUnhooksNothing) {
    host.setResult(u"hookEvent", 0);
    load();
    unload();
    EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), u"unhookEvent"), 0);
}

TEST_F(PluginTest, OnlyTimerCodeThreeRunsTheSweep) {
    test::ManualClock clock;
    host.setText(u"postrix.config", u"MAIL/mail", u"a@x");
    host.setText(u"postrix.config", u"MAIL/smtpServer", u"mx");
    host.setText(u"postrix.config", u"MAIL/login", u"a");
    host.setText(u"postrix.config", u"MAIL/password", u"p");
    load();
    Account& account = Plugin::instance().accountManager()->at(0);
    account.sendMail("", {"b@x"}, "s", "b", {});
    ASSERT_EQ(account.smtp().state(), smtp::SmtpState::AwaitGreeting);
    clock.advance(25000);
    for (int code : {0, 1, 2, 4}) host.fireTimer(u"postrix/timeoutTimer", code);
    EXPECT_EQ(account.smtp().state(), smtp::SmtpState::AwaitGreeting);
    host.fireTimer(u"postrix/timeoutTimer", 3);
    EXPECT_EQ(account.smtp().state(), smtp::SmtpState::Idle);
    EXPECT_TRUE(host.loggedContains("a@x: SMTP - Receive timeout"));
}

}  // namespace
}  // namespace postrix
