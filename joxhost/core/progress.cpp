#include "core/progress.h"

#include <algorithm>
#include <cstdio>

namespace joxhost {

std::string formatBytes(int64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " B";
    static const char* const units[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes) / 1024;
    size_t unit = 0;
    // 1023.96 KiB would print as "1024.0 KiB": move up before rounding does.
    while (value >= 1023.95 && unit + 1 < std::size(units)) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

int64_t bytesPerSecond(int64_t bytes, std::chrono::steady_clock::duration elapsed) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    if (ms < 100) return 0;
    return static_cast<int64_t>(static_cast<double>(bytes) * 1000.0 / static_cast<double>(ms));
}

std::string progressLine(int64_t bytes, int64_t expectedTotal, std::chrono::steady_clock::duration elapsed) {
    std::string line = "sending ";
    if (expectedTotal > 0) {
        const int64_t shown = std::min(bytes, expectedTotal);
        line += formatBytes(shown) + " of ~" + formatBytes(expectedTotal) + " (" +
                std::to_string(shown * 100 / expectedTotal) + "%)";
    } else {
        line += formatBytes(bytes);
    }
    if (const int64_t rate = bytesPerSecond(bytes, elapsed); rate > 0) line += ", " + formatBytes(rate) + "/s";
    return line;
}

bool ProgressPacer::due(Clock::time_point now) {
    if (now < next_) return false;
    next_ = now + every_;
    return true;
}

}  // namespace joxhost
