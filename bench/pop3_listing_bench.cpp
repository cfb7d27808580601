// The UIDL listing of a POP3 check at mailbox sizes from 10,000 to 3,000,000
// messages, through a session over an in-process link (no host, no server):
// the heap a check holds at its peak and after it, and the time per listing
// line. The listing arrives in 8 KiB data events made on the fly, so the
// figures are the session's alone.
#include <benchmark/benchmark.h>

#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "mail/channel.h"
#include "platform/clock.h"
#include "pop3/pop3_session.h"

namespace {

// Heap accounting of the whole program: every allocation carries its size
// in front of it.
size_t gLive = 0;
size_t gPeak = 0;

void* allocate(size_t size) {
    constexpr size_t kHeader = alignof(std::max_align_t);
    auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (!block) throw std::bad_alloc();
    *reinterpret_cast<size_t*>(block) = size;
    gLive += size;
    if (gLive > gPeak) gPeak = gLive;
    return block + kHeader;
}

void release(void* pointer) {
    if (!pointer) return;
    constexpr size_t kHeader = alignof(std::max_align_t);
    auto* block = static_cast<unsigned char*>(pointer) - kHeader;
    gLive -= *reinterpret_cast<size_t*>(block);
    std::free(block);
}

}  // namespace

void* operator new(size_t size) { return allocate(size); }
void* operator new[](size_t size) { return allocate(size); }
void operator delete(void* pointer) noexcept { release(pointer); }
void operator delete[](void* pointer) noexcept { release(pointer); }
void operator delete(void* pointer, size_t) noexcept { release(pointer); }
void operator delete[](void* pointer, size_t) noexcept { release(pointer); }

namespace {

using namespace postrix;

class FixedClock final : public platform::Clock {
public:
    uint32_t tickMs() override { return 1000; }
    int64_t utcSeconds() override { return 1796666703; }
    std::optional<int> standardBiasMinutes() override { return -60; }
};

// A link that only counts what the session sends.
class QuietLink final : public mail::Link {
public:
    explicit QuietLink(std::string& sent) : sent_(sent) {}
    bool created() const override { return true; }
    int64_t connect(std::u16string_view, int32_t) override { return 0; }
    int32_t send(std::string_view bytes) override {
        sent_.assign(bytes);
        return static_cast<int32_t>(bytes.size());
    }
    int64_t initSsl() override { return 0; }
    void close() override {}
    void reportTraffic(TrafficDirection, std::string_view) override {}

private:
    std::string& sent_;
};

constexpr size_t kChunkBytes = 8192;

// The UIDL reply for messages 1..count with ids in the style of common
// servers.
std::string uidlReply(int count) {
    std::string text = "+OK\r\n";
    text.reserve(static_cast<size_t>(count) * 28 + 8);
    char line[64];
    for (int i = 0; i < count; ++i) {
        const int n = std::snprintf(line, sizeof line, "%d %016llx\r\n", i + 1,
                                    static_cast<unsigned long long>(0x5f3a000000000000ull + i));
        text.append(line, static_cast<size_t>(n));
    }
    return text + ".\r\n";
}

// Plays one check whose listing arrives in data events of kChunkBytes.
void playCheck(pop3::Pop3Session& session, std::string_view listing) {
    const pop3::Pop3Settings settings{"pop.example.com", "jan@example.com", "jan", "secret", false};
    session.start(settings);
    for (const char* status : {"+OK ready\r\n", "+OK\r\n", "+OK\r\n"}) session.channel().onData(status);
    for (size_t at = 0; at < listing.size(); at += kChunkBytes) session.channel().onData(listing.substr(at, kChunkBytes));
}

// Argument: messages in the mailbox. The first check learns the ids; each
// later one finds the same mailbox with nothing new.
void BM_ListingCheck(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    FixedClock clock;
    platform::setClock(&clock);
    const std::string listing = uidlReply(count);
    std::string sent;
    sent.reserve(64);
    std::string error;

    const size_t before = gLive;
    gPeak = gLive;
    auto session = std::make_unique<pop3::Pop3Session>(
        std::make_unique<QuietLink>(sent), [](pop3::Pop3Session&, std::vector<pop3::NewMailEntry>) {},
        [&error](pop3::Pop3Session&, const std::string& message) { error = message; }, 3);
    session->setProbe([] { return true; });
    playCheck(*session, listing);
    const size_t firstPeak = gPeak - before;
    const size_t held = gLive - before;

    gPeak = gLive;
    std::clock_t used = 0;
    int64_t checks = 0;
    for (auto _ : state) {
        const std::clock_t begun = std::clock();
        playCheck(*session, listing);
        used += std::clock() - begun;
        ++checks;
    }
    const size_t laterPeak = gPeak - before;
    if (!error.empty() || sent != "QUIT\r\n" || session->state() != pop3::Pop3State::Idle)
        state.SkipWithError(("the check did not end well: " + error).c_str());
    constexpr double kMiB = 1024.0 * 1024.0;
    state.counters["first_check_peak_MiB"] = static_cast<double>(firstPeak) / kMiB;
    state.counters["later_check_peak_MiB"] = static_cast<double>(laterPeak) / kMiB;
    state.counters["held_between_MiB"] = static_cast<double>(held) / kMiB;
    state.counters["cpu_ns_per_line"] =
        static_cast<double>(used) / CLOCKS_PER_SEC * 1e9 / static_cast<double>(checks) / count;
    session.reset();
    platform::setClock(nullptr);
}
BENCHMARK(BM_ListingCheck)->Arg(10000)->Arg(100000)->Arg(3000000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
