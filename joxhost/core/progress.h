// The progress of long work (a send with large attachments) as people read
// it: amounts in B, KiB, MiB and GiB, a share of an expected total and a
// rate.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace joxhost {

// "512 B", "3.2 KiB", "13.7 MiB", "1.0 GiB".
std::string formatBytes(int64_t bytes);

// "sending 3.2 MiB of ~13.7 MiB (23%), 5.1 MiB/s". The total is an estimate
// (0: unknown, then only the amount and the rate); past it, the amount is
// the total. Before the first tenth of a second there is no rate yet.
std::string progressLine(int64_t bytes, int64_t expectedTotal, std::chrono::steady_clock::duration elapsed);

// Bytes per second, 0 before the first tenth of a second.
int64_t bytesPerSecond(int64_t bytes, std::chrono::steady_clock::duration elapsed);

// When to show progress: not before `delay` has passed since the start (so
// short work shows none), then at most once per `every`.
class ProgressPacer {
public:
    using Clock = std::chrono::steady_clock;

    ProgressPacer(Clock::time_point start, Clock::duration delay, Clock::duration every)
        : start_(start), next_(start + delay), every_(every) {}

    // True when progress is due at `now`; the next is due `every` later.
    bool due(Clock::time_point now);
    Clock::duration elapsed(Clock::time_point now) const { return now - start_; }

private:
    Clock::time_point start_;
    Clock::time_point next_;
    Clock::duration every_;
};

}  // namespace joxhost
