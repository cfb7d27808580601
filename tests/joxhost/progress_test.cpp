// The progress of a send: amounts, the line a terminal shows, its pace and
// the estimate of a mail's size on the wire.
#include <gtest/gtest.h>

#include "cli/send_progress.h"
#include "core/progress.h"

namespace joxhost {
namespace {

using namespace std::chrono_literals;

TEST(Progress, AmountsInBinaryUnitsWithOneDecimal) {
    EXPECT_EQ(formatBytes(0), "0 B");
    EXPECT_EQ(formatBytes(1023), "1023 B");
    EXPECT_EQ(formatBytes(1024), "1.0 KiB");
    EXPECT_EQ(formatBytes(1536), "1.5 KiB");
    EXPECT_EQ(formatBytes(1024 * 1024 - 1), "1.0 MiB");  // not "1024.0 KiB"
    EXPECT_EQ(formatBytes(14365491), "13.7 MiB");
    EXPECT_EQ(formatBytes(int64_t{3} << 30), "3.0 GiB");
}

TEST(Progress, TheLineShowsTheShareOfTheEstimateAndTheRate) {
    EXPECT_EQ(progressLine(3355443, 14365491, 650ms), "sending 3.2 MiB of ~13.7 MiB (23%), 4.9 MiB/s");
    // Past the estimate the amount is the estimate; no rate in the first tenth.
    EXPECT_EQ(progressLine(2000, 1000, 50ms), "sending 1000 B of ~1000 B (100%)");
    EXPECT_EQ(progressLine(2048, 0, 2s), "sending 2.0 KiB, 1.0 KiB/s");
    EXPECT_EQ(bytesPerSecond(5000, 99ms), 0);
    EXPECT_EQ(bytesPerSecond(5000, 500ms), 10000);
}

TEST(Progress, ThePacerWaitsForTheDelayThenKeepsItsPace) {
    const auto start = ProgressPacer::Clock::time_point{} + 10s;
    ProgressPacer pacer(start, 500ms, 100ms);
    EXPECT_FALSE(pacer.due(start));
    EXPECT_FALSE(pacer.due(start + 499ms));
    EXPECT_TRUE(pacer.due(start + 500ms));
    EXPECT_FALSE(pacer.due(start + 599ms));
    EXPECT_TRUE(pacer.due(start + 600ms));
    EXPECT_TRUE(pacer.due(start + 2s));  // after a stall at once, then paced from there
    EXPECT_FALSE(pacer.due(start + 2050ms));
    EXPECT_EQ(pacer.elapsed(start + 2s), 2s);
}

TEST(Progress, TheEstimateCountsBase64WithItsLineBreaks) {
    // 57 bytes make one line of 76 characters and CR LF.
    EXPECT_EQ(estimateMailBytes(0, std::vector<int64_t>{57}) - estimateMailBytes(0, std::vector<int64_t>{}),
              512 + 78);
    EXPECT_EQ(estimateMailBytes(0, std::vector<int64_t>{58}) - estimateMailBytes(0, std::vector<int64_t>{}),
              512 + 80 + 4);
    // 10 MiB of attachment: within a percent of what Base64 makes of it.
    const int64_t tenMiB = 10 << 20;
    const double ratio = static_cast<double>(estimateMailBytes(100, std::vector<int64_t>{tenMiB})) / tenMiB;
    EXPECT_NEAR(ratio, 4.0 / 3 * 78 / 76, 0.01);
    // A file that is not there counts nothing.
    EXPECT_EQ(estimateMailBytes(0, std::vector<std::string>{"/nonexistent/file"}),
              estimateMailBytes(0, std::vector<int64_t>{0}));
}

}  // namespace
}  // namespace joxhost
