// Time as the plug-in sees it: a wrapping millisecond tick for time-outs,
// UTC seconds for records and headers, and the local zone's standard bias.
// Tests replace the clock with one they move by hand.
#pragma once

#include <cstdint>
#include <optional>

namespace postrix::platform {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since some start, wrapping at 2^32.
    virtual uint32_t tickMs() = 0;
    // Seconds since 1970-01-01 00:00 UTC.
    virtual int64_t utcSeconds() = 0;
    // The local zone's bias in minutes without daylight saving, counted so
    // that UTC = local standard time + bias (CET gives -60). Empty when the
    // zone cannot be determined.
    virtual std::optional<int> standardBiasMinutes() = 0;
};

// The clock in use: the system clock unless a test installed another.
Clock& clock();

// Installs a clock (not owned); nullptr restores the system clock.
void setClock(Clock* replacement);

}  // namespace postrix::platform
