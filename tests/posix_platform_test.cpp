// The POSIX platform layer where it differs from Windows: the zone bias
// from TZ at run time, the opener on PATH, the probe's TCP fallback, and
// the own code-page tables against the C library's iconv.
#include "platform/clock.h"
#include "platform/desktop.h"
#include "platform/posix/echo_probe.h"
#include "platform/posix/iconv_decoder.h"
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

// Every byte 01..FF decodes to exactly one unit, and the defined ones
// agree with the C library's iconv wherever iconv defines the byte.
TEST(TextConversion, EveryByteGivesOneUnitAndAgreesWithIconv) {
    const struct {
        unsigned codePage;
        const char* charset;
    } pages[] = {{1250, "CP1250"}, {1252, "CP1252"}, {28592, "ISO-8859-2"}, {28591, "ISO-8859-1"}};
    for (const auto& page : pages) {
        for (int b = 1; b < 256; ++b) {
            const std::string byte(1, char(b));
            const std::u16string own = text::codePageToWide(byte, page.codePage);
            ASSERT_EQ(own.size(), 1u) << page.charset << " " << b;
            const auto system = platform::posix::iconvToUtf16(byte, page.charset);
            ASSERT_TRUE(system.has_value());
            if ((*system)[0] != u'\uFFFD') {
                EXPECT_EQ(own, *system) << page.charset << " byte " << b;
            }
        }
    }
}

}  // namespace
