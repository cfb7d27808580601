// A clock that tests move by hand, installed for the lifetime of the object.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/clock.h"

namespace postrix::test {

class ManualClock : public platform::Clock {
public:
    ManualClock() { platform::setClock(this); }
    ~ManualClock() override { platform::setClock(nullptr); }

    uint32_t tickMs() override { return tick; }
    int64_t utcSeconds() override { return utc; }
    std::optional<int> standardBiasMinutes() override { return bias; }

    void advance(uint32_t ms) { tick += ms; }

    uint32_t tick = 1000;
    int64_t utc = 1796666703;  // Mon, 7 Dec 2026 18:05:03 UTC
    std::optional<int> bias = -60;
};

}  // namespace postrix::test
