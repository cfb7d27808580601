// The system clock on Windows: the tick count, the system time and the
// zone information.
#include "platform/system_clock.h"

#include "platform/win32/windows_api.h"

namespace postrix::platform {

namespace {

// 100-nanosecond intervals from 1601-01-01 (the FILETIME epoch) to 1970-01-01.
constexpr int64_t kUnixEpochInFileTime = 116444736000000000LL;
constexpr int64_t kFileTimePerSecond = 10000000LL;

class SystemClock final : public Clock {
public:
    uint32_t tickMs() override { return GetTickCount(); }

    int64_t utcSeconds() override {
        FILETIME now{};
        GetSystemTimeAsFileTime(&now);
        const int64_t ticks = int64_t((uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime);
        return (ticks - kUnixEpochInFileTime) / kFileTimePerSecond;
    }

    std::optional<int> standardBiasMinutes() override {
        // Windows counts the bias the same way: UTC = local time + bias,
        // with StandardBias added outside daylight saving time.
        TIME_ZONE_INFORMATION zone{};
        if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) return std::nullopt;
        const long bias = zone.Bias + zone.StandardBias;
        constexpr long kDay = 24L * 60;
        if (bias <= -kDay || bias >= kDay) return std::nullopt;
        return static_cast<int>(bias);
    }
};

}  // namespace

Clock& systemClock() {
    static SystemClock instance;
    return instance;
}

}  // namespace postrix::platform
