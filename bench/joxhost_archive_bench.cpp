// joxhost's archive under a mail check: the news entries of 1,000 new
// messages added through "News/AddEntry" as the plug-in adds them, inside
// one call into the plug-in, up to the event that ends the check (the POP3
// connection's close) and the loop's next turn. Each iteration is one check
// against an archive that already holds the entries of earlier ones.
//   build-bench/bench/joxhost_archive_bench --benchmark_repetitions=3
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/host.h"
#include "postrix/abi/records_notify.h"

namespace {

using namespace joxhost;

class Profile {
public:
    Profile() {
        std::string pattern = (std::filesystem::temp_directory_path() / "archive-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~Profile() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

void BM_CheckWithNewMail(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    Profile profile;
    asio::io_context io;
    std::FILE* sink = std::fopen("/dev/null", "w");
    Reporter reporter(true, false, sink);
    {
        HostOptions options;
        options.profileDir = profile.path();
        Host host(io, reporter, options);
        const std::u16string address = u"jan@example.com";
        int64_t serial = 0;
        for (auto _ : state) {
            {
                PluginCalls::Scope scope(host.calls);
                for (int i = 0; i < entries; ++i) {
                    const std::u16string first = address + u"-Anna Nowak  anna@example.org -Raport " +
                                                 std::u16string(1, u'a' + serial % 26) + u"-1796666703";
                    ++serial;
                    postrix::NewsEntryRecord entry{};
                    entry.size = sizeof entry;
                    entry.firstText = first.c_str();
                    entry.sender = u"Anna Nowak  anna@example.org ";
                    entry.subject = u"Raport kwartalny";
                    entry.accountAddress = address.c_str();
                    entry.iconId = u"Image/Mail";
                    if (host.callService(u"News/AddEntry", reinterpret_cast<uintptr_t>(&entry), 0) != 0) {
                        state.SkipWithError("News/AddEntry failed");
                        break;
                    }
                }
                reporter.emit(Event("net").add("connection", "MAIL/Socket/POP3/1").add("what", "close"));
            }
            io.poll();
            io.restart();
        }
        state.counters["entries"] = benchmark::Counter(static_cast<double>(serial));
    }
    std::fclose(sink);
}
BENCHMARK(BM_CheckWithNewMail)->Arg(1000)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
