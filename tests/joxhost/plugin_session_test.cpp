// A plug-in loaded into the host: the fake plug-in registers what the mail
// plug-in registers, and the host drives it through its loop.
#include "core/session.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <optional>

#include "cli/command_support.h"
#include "temp_dir.h"
#include "core/utf.h"

namespace joxhost {
namespace {

class PluginSessionTest : public testing::Test {
protected:
    test::TempDir profile;
    asio::io_context io;
    std::FILE* sink = std::fopen("/dev/null", "w");
    Reporter reporter{true, false, sink};
    std::vector<Event> seen;
    std::unique_ptr<Session> session;
    std::optional<ReporterTap> tap;  // from load() on

    ~PluginSessionTest() override {
        session.reset();
        std::fclose(sink);
    }

    void load(std::chrono::milliseconds notificationTime = std::chrono::seconds(30)) {
        tap.emplace(reporter, [this](const Event& e) { seen.push_back(e); });
        HostOptions options;
        options.profileDir = profile.path();
        options.notificationTime = notificationTime;
        session = std::make_unique<Session>(io, reporter, options);
        std::string error;
        ASSERT_TRUE(session->load(JOXHOST_FAKE_PLUGIN, &error)) << error;
    }
    Host& host() { return session->host(); }

    bool logged(const std::string& text) const {
        for (const auto& e : seen) {
            if (e.name == "log" && e.text("text") == text) return true;
        }
        return false;
    }
    void runUntilLogged(const std::string& text) {
        session->runUntil([&] { return logged(text); });
        EXPECT_TRUE(logged(text)) << text;
    }
    int count(const std::string& name) const {
        return static_cast<int>(std::count_if(seen.begin(), seen.end(), [&](const Event& e) { return e.name == name; }));
    }
};

TEST_F(PluginSessionTest, LoadRegistersTheAccountAndUnloadRemovesEverything) {
    load();
    EXPECT_TRUE(logged("loaded"));
    EXPECT_TRUE(host().services.exists(u"MAIL/1/PFMessageSend"));
    EXPECT_TRUE(host().timers.exists(u"MAIL/1/mailRecvTimer"));
    EXPECT_TRUE(host().accounts.hasInterface(u"MAIL"));
    struct stat info {};
    ASSERT_EQ(::stat((profile / "postrix.config").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    const auto accounts = host().accounts.list(u"MAIL");
    ASSERT_EQ(accounts.size(), 1u);
    EXPECT_EQ(accounts[0].id, 1);
    EXPECT_EQ(accounts[0].name, "Mail [fake@example.com]");
    EXPECT_EQ(accounts[0].secondText, "Konto główne");
    EXPECT_FALSE(accounts[0].isProfile);

    session->unload();
    EXPECT_EQ(host().timers.count(), 0u);
    EXPECT_EQ(host().services.pluginServiceCount(), 0u);
    EXPECT_EQ(host().settings.openCount(), 0u);
    EXPECT_FALSE(host().accounts.hasInterface(u"MAIL"));
}

TEST_F(PluginSessionTest, TimersFireWithCodeThreeAndMayBeDestroyedInTheirHandler) {
    load();
    runUntilLogged("tick 3");
    EXPECT_FALSE(host().timers.exists(u"fake/tick"));
    EXPECT_TRUE(host().timers.fire(mailTimerName(1), 2));
    EXPECT_FALSE(host().timers.fire(u"no/such/timer", 1));
}

TEST_F(PluginSessionTest, ACheckShowsANoticeThatIsClickedClosedAndArchivedAsNews) {
    load();
    ASSERT_TRUE(host().timers.fire(mailTimerName(1), 1));
    session->runUntil([&] { return count("news") == 1; });
    ASSERT_EQ(count("notify"), 1);
    ASSERT_TRUE(host().notifications.clickNewest());
    runUntilLogged("notice event 1");
    EXPECT_EQ(host().notifications.shownCount(), 1u);  // a click does not end it
    ASSERT_TRUE(host().notifications.closeNewest());
    runUntilLogged("notice event 4");
    EXPECT_EQ(host().notifications.shownCount(), 0u);
    EXPECT_FALSE(host().notifications.closeNewest());

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((profile / "archive.db").c_str(), &db), SQLITE_OK);
    sqlite3_stmt* row = nullptr;
    sqlite3_prepare_v2(db, "SELECT size, first_text, sender, subject, account_address, icon FROM news", -1, &row, nullptr);
    ASSERT_EQ(sqlite3_step(row), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(row, 0), 112);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(row, 1)), "fake-Jan  jan@example.com -Cześć-0");
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(row, 3)), "Cześć");
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(row, 4)), "fake@example.com");
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(row, 5)), "Image/Mail");
    EXPECT_EQ(sqlite3_step(row), SQLITE_DONE);
    sqlite3_finalize(row);
    sqlite3_close(db);
}

TEST_F(PluginSessionTest, ANoticeEndsByItselfAfterItsShowingTime) {
    load(std::chrono::milliseconds(1));
    ASSERT_TRUE(host().timers.fire(mailTimerName(1), 1));
    runUntilLogged("notice event 4");
    EXPECT_EQ(host().notifications.shownCount(), 0u);
}

TEST_F(PluginSessionTest, AddAndRemoveGoThroughThePromptAndTheProtocolList) {
    load();
    EXPECT_TRUE(host().accounts.add(u"MAIL", u"praca"));
    EXPECT_TRUE(logged("profile praca"));
    EXPECT_EQ(host().protocols.instances().count(2), 1u);
    ASSERT_EQ(host().accounts.list(u"MAIL").size(), 2u);
    host().accounts.remove(u"MAIL", 2);
    EXPECT_EQ(host().protocols.instances().count(2), 0u);
    host().accounts.remove(u"MAIL", 1);
    EXPECT_TRUE(logged("Removing account failed, cannot remove main account"));
    EXPECT_EQ(host().protocols.instances().count(1), 1u);
}

TEST_F(PluginSessionTest, UnknownServicesFailAndPlugInServicesAnswerTheirCaller) {
    load();
    EXPECT_EQ(host().callService(u"JOX/NoSuchService", 0, 0), Host::kNoService);
    EXPECT_EQ(host().callService(nullptr, 0, 0), Host::kNoService);
    // The send service checks its arguments like the mail plug-in's does.
    EXPECT_EQ(host().callService(u"MAIL/1/PFMessageSend", 0, 0), static_cast<int64_t>(0xFFFFFFFF80070057ull));
    EXPECT_EQ(host().table()->serviceExists(u"News/AddEntry"), 1);
    EXPECT_EQ(host().table()->serviceExists(u"MAIL/1/PFMessageSend"), 1);
    EXPECT_EQ(host().table()->serviceExists(u"MAIL/9/PFMessageSend"), 0);
    // A second service under a taken name is refused.
    EXPECT_EQ(host().table()->createService(u"MAIL/1/PFMessageSend", [](uintptr_t, uintptr_t, uintptr_t) -> int64_t { return 0; }, 0), 0);
}

}  // namespace
}  // namespace joxhost
