// The dialog colours of the loaded plug-in, seen through the headless
// toolkit's desktop.
#include <gtest/gtest.h>

#include "fixtures/installed_desktop.h"
#include "plugin/plugin.h"
#include "support/fake_host.h"

namespace postrix {
namespace {

using test::FakeHost;

class PluginColoursTest : public ::testing::Test {
protected:
    PluginColoursTest() { Plugin::instance().setModuleHandle(0x1234); }
    ~PluginColoursTest() override {
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

    FakeHost host;
    bool loaded = false;
};

// The plug-in hands its dialog colours down to the accounts' options pages
// and to the send dialog of the contact menu.
TEST_F(PluginColoursTest, DialogsOfTheLoadedPluginPaintWhite) {
    test::InstalledDesktop desktop;
    host.contacts = {{u"Jan", u"jan@example.com"}};
    load();
    host.pageEvent(u"MAIL/Options/1", kPageHide);
    ASSERT_EQ(desktop.pages.size(), 1u);
    const test::DialogDriver page = desktop.page(desktop.pages.begin()->first);
    EXPECT_TRUE(page.window().whiteBackground);
    EXPECT_TRUE(page.control(1001).whiteBackground);

    JoxWindowInfo dialog{};
    JoxControlInfo accounts{};
    desktop.onModal = [&](test::DialogDriver& d) {
        dialog = d.window();
        accounts = d.control(1009);
        d.click(2);
    };
    host.clickMenuItem("MAIL/fastSend", {0});
    EXPECT_EQ(dialog.templateId, JOX_DIALOG_SEND_MAIL);
    EXPECT_TRUE(dialog.whiteBackground);
    EXPECT_FALSE(accounts.whiteBackground);
    unload();
}

}  // namespace
}  // namespace postrix
