// The system clock on POSIX: the monotonic clock for ticks, the real-time
// clock for UTC and the C library's zone data for the standard bias.
#include "platform/system_clock.h"

#include <ctime>
#include <time.h>

namespace postrix::platform {

namespace {

class SystemClock final : public Clock {
public:
    uint32_t tickMs() override {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const uint64_t ms = uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u;
        return static_cast<uint32_t>(ms);  // wraps at 2^32 like a Windows tick count
    }

    int64_t utcSeconds() override {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        return int64_t(now.tv_sec);
    }

    std::optional<int> standardBiasMinutes() override {
        // tzset() reads TZ (or the system's zone file) and sets `timezone`
        // to the standard offset in seconds west of UTC, which is the bias
        // counted so that UTC = local standard time + bias.
        tzset();
        const long secondsWest = ::timezone;
        constexpr long kDay = 24L * 60 * 60;
        if (secondsWest <= -kDay || secondsWest >= kDay) return std::nullopt;
        return static_cast<int>(secondsWest / 60);
    }
};

}  // namespace

Clock& systemClock() {
    static SystemClock instance;
    return instance;
}

}  // namespace postrix::platform
