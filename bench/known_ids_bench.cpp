// The known-ids file of mailboxes of 100,000 to 3,000,000 messages: the set
// written as the plug-in saves it (replaceFileWith, 64 KiB at a time), the
// file read (readWholeFile) and turned back into a set, each timed on its
// own in CPU time of the thread. Ids are the 16 hex digits Dovecot gives by
// default; a second run takes the 70 characters POP3 allows at most.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <time.h>

#include "platform/files.h"
#include "pop3/id_set.h"
#include "pop3/known_ids_format.h"

namespace {

using namespace postrix;
// CPU time of this thread: the machine may be shared with other work.
struct Clock {
    using time_point = double;
    static double now() {
        timespec at{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &at);
        return static_cast<double>(at.tv_sec) * 1e3 + static_cast<double>(at.tv_nsec) / 1e6;
    }
};

constexpr std::string_view kOwner = "13:postrix.known15:pop.example.com3:jan";

void fill(pop3::IdSet& set, int count, int length) {
    char id[80];
    for (int i = 0; i < count; ++i) {
        std::snprintf(id, sizeof id, "%0*llx", length, static_cast<unsigned long long>(0x5f3a000000000000ull + i));
        set.list(std::string_view(id, static_cast<size_t>(length)));
    }
    set.commit();
}

double millisecondsSince(Clock::time_point begun) { return Clock::now() - begun; }

// Arguments: ids, id length.
void BM_KnownIdsFile(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const int length = static_cast<int>(state.range(1));
    pop3::IdSet set;
    fill(set, count, length);
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "postrix-known-ids-bench.known";
    const std::u16string widePath = path.u16string();

    double save = 0, read = 0, decode = 0;
    for (auto _ : state) {
        Clock::time_point begun = Clock::now();
        if (!platform::replaceFileWith(widePath, [&set](const platform::AppendBytes& append) {
                return pop3::writeKnownIds(kOwner, set, append);
            }))
            state.SkipWithError("replaceFileWith failed");
        save += millisecondsSince(begun);

        std::string bytes;
        begun = Clock::now();
        if (platform::readWholeFile(widePath, pop3::kMaxKnownIdsFileBytes, bytes) != platform::WholeFile::read)
            state.SkipWithError("readWholeFile failed");
        read += millisecondsSince(begun);
        pop3::IdSet loaded;
        begun = Clock::now();
        if (pop3::decodeKnownIds(bytes, kOwner, loaded) || loaded.size() != set.size())
            state.SkipWithError("the file did not read back");
        decode += millisecondsSince(begun);
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["file_MiB"] = static_cast<double>(std::filesystem::file_size(path)) / (1024.0 * 1024.0);
    state.counters["save_ms"] = save / runs;
    state.counters["load_read_ms"] = read / runs;
    state.counters["load_decode_ms"] = decode / runs;
    std::filesystem::remove(path);
}
BENCHMARK(BM_KnownIdsFile)
    ->Args({100000, 16})
    ->Args({1000000, 16})
    ->Args({3000000, 16})
    ->Args({3000000, 70})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
