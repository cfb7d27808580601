#include "platform/clock.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/posix/echo_probe.h"
#include "text/text_conversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

using namespace postrix;
namespace fs = std::filesystem;

namespace {

TEST(JoinPath, PutsExactlyOneSeparatorBetween) {
    EXPECT_EQ(platform::joinPath(u"/home/jan", u"postrix.config"), u"/home/jan/postrix.config");
    EXPECT_EQ(platform::joinPath(u"/home/jan/", u"postrix.config"), u"/home/jan/postrix.config");
    EXPECT_EQ(platform::joinPath(u"/home/jan//", u"a"), u"/home/jan/a");
    EXPECT_EQ(platform::joinPath(u"/", u"a"), u"/a");
    EXPECT_EQ(platform::joinPath(u"", u"a"), u"a");
}

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        directory_ = fs::temp_directory_path() / (std::string("postrix_files_") + info->name() + "_" +
                                                  std::to_string(::getpid()));
        fs::remove_all(directory_);
        fs::create_directories(directory_);
    }
    void TearDown() override { fs::remove_all(directory_); }

    void touch(const std::string& name) { std::ofstream(directory_ / fs::u8path(name)) << "x"; }
    std::u16string wideDirectory() const { return text::utf8ToWide(directory_.string()); }

    std::vector<std::u16string> sortedFind(std::u16string_view pattern) const {
        auto names = platform::findFiles(wideDirectory(), pattern);
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path directory_;
};

TEST_F(FilesTest, FindsRegularFilesMatchingThePattern) {
    touch("postrix.config");
    touch("postrix_praca.config");
    touch("postrix_zażółć.config");
    touch("other.CONFIG");
    touch("notes.txt");
    touch("postrix.config.bak");
    fs::create_directory(directory_ / "folder.config");

    EXPECT_EQ(sortedFind(u"*.config"),
              (std::vector<std::u16string>{u"postrix.config", u"postrix_praca.config", u"postrix_zażółć.config"}));
    EXPECT_EQ(sortedFind(u"postrix_*.config"),
              (std::vector<std::u16string>{u"postrix_praca.config", u"postrix_zażółć.config"}));
    EXPECT_EQ(sortedFind(u"*.CONFIG"), (std::vector<std::u16string>{u"other.CONFIG"}));
    EXPECT_EQ(sortedFind(u"notes.txt"), (std::vector<std::u16string>{u"notes.txt"}));
    EXPECT_EQ(sortedFind(u"*a*a*"), (std::vector<std::u16string>{u"postrix_praca.config"}));
    EXPECT_TRUE(sortedFind(u"*.cfg").empty());
}

TEST_F(FilesTest, MissingDirectoryGivesNothing) {
    EXPECT_TRUE(platform::findFiles(platform::joinPath(wideDirectory(), u"missing"), u"*").empty());
}

TEST_F(FilesTest, DeletesOneFile) {
    touch("postrix_praca.config");
    touch("postrix_dom.config");
    const std::u16string path = platform::joinPath(wideDirectory(), u"postrix_praca.config");
    EXPECT_TRUE(platform::deleteFile(path));
    EXPECT_FALSE(fs::exists(directory_ / "postrix_praca.config"));
    EXPECT_TRUE(fs::exists(directory_ / "postrix_dom.config"));
}

TEST_F(FilesTest, DeleteRefusesDirectoriesAndCutPaths) {
    touch("a");
    fs::create_directory(directory_ / "sub");
    EXPECT_FALSE(platform::deleteFile(platform::joinPath(wideDirectory(), u"sub")));
    // A NUL inside the path must not delete the file named by its first part.
    std::u16string cut = platform::joinPath(wideDirectory(), u"a");
    cut += std::u16string(1, u'\0') + u"b";
    EXPECT_FALSE(platform::deleteFile(cut));
    EXPECT_TRUE(fs::exists(directory_ / "a"));
    EXPECT_FALSE(platform::deleteFile(u""));
}

class ManualClock : public platform::Clock {
public:
    uint32_t tickMs() override { return tick; }
    int64_t utcSeconds() override { return utc; }
    std::optional<int> standardBiasMinutes() override { return bias; }

    uint32_t tick = 0xFFFFFFF0u;
    int64_t utc = 1700000000;
    std::optional<int> bias = -60;
};

TEST(Clock, OverrideAndRestore) {
    ManualClock manual;
    platform::setClock(&manual);
    EXPECT_EQ(platform::clock().tickMs(), 0xFFFFFFF0u);
    manual.tick += 0x20;  // wraps
    EXPECT_EQ(platform::clock().tickMs(), 0x10u);
    EXPECT_EQ(platform::clock().utcSeconds(), 1700000000);
    EXPECT_EQ(platform::clock().standardBiasMinutes(), -60);
    platform::setClock(nullptr);
    EXPECT_NE(&platform::clock(), &manual);
    EXPECT_GT(platform::clock().utcSeconds(), 1600000000);
}

// The zone offset without daylight saving, whatever the season.
TEST(Clock, StandardBiasFollowsTheZone) {
    const char* saved = std::getenv("TZ");
    const std::string previous = saved != nullptr ? saved : "";
    const struct {
        const char* zone;
        int bias;
    } zones[] = {{"UTC0", 0}, {"CET-1CEST,M3.5.0,M10.5.0/3", -60}, {"EST5EDT,M3.2.0,M11.1.0", 300},
                 {"IST-5:30", -330}};
    for (const auto& z : zones) {
        setenv("TZ", z.zone, 1);
        EXPECT_EQ(platform::clock().standardBiasMinutes(), z.bias) << z.zone;
    }
    if (saved != nullptr) {
        setenv("TZ", previous.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
}

TEST(Clock, SystemTickMoves) {
    // Not a timing assertion: two reads a sleep apart must differ.
    const uint32_t first = platform::clock().tickMs();
    ::usleep(20000);
    EXPECT_NE(platform::clock().tickMs(), first);
}

// A stand-in opener on PATH records the arguments it was given.
class OpenAddressTest : public ::testing::Test {
protected:
    void SetUp() override {
        directory_ = fs::temp_directory_path() / ("postrix_open_" + std::to_string(::getpid()));
        fs::remove_all(directory_);
        fs::create_directories(directory_);
        record_ = directory_ / "opened";
        const fs::path opener = directory_ / "xdg-open";
        std::ofstream(opener) << "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" > '" << record_.string()
                              << ".tmp'\nmv '" << record_.string() << ".tmp' '" << record_.string() << "'\n";
        fs::permissions(opener, fs::perms::owner_all);
        const char* path = std::getenv("PATH");
        savedPath_ = path != nullptr ? path : "";
        setenv("PATH", (directory_.string() + ":" + savedPath_).c_str(), 1);
    }
    void TearDown() override {
        setenv("PATH", savedPath_.c_str(), 1);
        fs::remove_all(directory_);
    }

    // What the opener recorded, waiting for it to run (bounded, not timed).
    std::string recorded() const {
        for (int i = 0; i < 1000 && !fs::exists(record_); ++i) ::usleep(10000);
        std::ifstream in(record_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path directory_;
    fs::path record_;
    std::string savedPath_;
};

TEST_F(OpenAddressTest, PassesTheAddressAsOneArgumentAndLeavesNoChild) {
    platform::openAddress("https://poczta.example/?a=1&b=2 $(touch x); echo");
    EXPECT_EQ(recorded(), "1|https://poczta.example/?a=1&b=2 $(touch x); echo|");
    // The intermediate child was reaped; the opener is not ours to reap.
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
}

TEST_F(OpenAddressTest, EmptyAddressOpensNothing) {
    platform::openAddress("");
    platform::openAddress(std::string_view("\0abc", 4));
    platform::openAddress("last");
    EXPECT_EQ(recorded(), "1|last|");
}

TEST(Reachability, ProbesTheConfiguredHost) {
    setenv(platform::posix::kProbeHostVariable, "127.0.0.1", 1);
    EXPECT_EQ(platform::posix::probeHostName(), "127.0.0.1");
    const auto outcome = platform::posix::probeHost("127.0.0.1", platform::posix::kProbeTimeoutMs);
    if (outcome == platform::posix::ProbeOutcome::NotPermitted) {
        GTEST_SKIP() << "neither ICMP nor TCP is permitted here";
    }
    EXPECT_EQ(outcome, platform::posix::ProbeOutcome::Reachable);
    EXPECT_TRUE(platform::probeReachability());
}

}  // namespace
