// Throughput of attachment encoding: a message with one attachment of a few
// megabytes composed into a sink that drops every piece, the bare streaming
// encoder over the same bytes (each way of encoding lines this CPU runs), and
// OpenSSL's EVP_EncodeBlock over them as the yardstick (one unbroken line,
// so it does less work than the encoder).
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/clock.h"
#include "smtp/base64.h"
#include "smtp/mime_composer.h"

namespace {

using namespace postrix;

class NullSink : public smtp::MessageSink {
public:
    bool send(std::string_view piece) override {
        bytes += piece.size();
        benchmark::DoNotOptimize(piece.data());
        return true;
    }
    std::size_t bytes = 0;
};

class FixedClock : public platform::Clock {
public:
    uint32_t tickMs() override { return 0; }
    int64_t utcSeconds() override { return 1796666703; }
    std::optional<int> standardBiasMinutes() override { return -60; }
};

std::string randomBytes(std::size_t n) {
    std::string bytes(n, '\0');
    uint32_t seed = 12345;
    for (auto& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<char>(seed >> 24);
    }
    return bytes;
}

void BM_ComposeAttachment(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("postrix_mime_bench_" + std::to_string(size) + ".bin");
    {
        const std::string bytes = randomBytes(size);
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    FixedClock clock;
    platform::setClock(&clock);

    smtp::OutgoingMail mail;
    mail.recipientName = "Anna";
    mail.recipients = {"anna@example.org"};
    mail.subject = "Benchmark";
    mail.body = "See the attachment.";
    mail.attachments = {path.string()};

    for (auto _ : state) {
        NullSink sink;
        const auto result = smtp::composeMessage("jan@example.com", mail, sink);
        if (result.outcome != smtp::ComposeResult::Outcome::sent) state.SkipWithError("compose failed");
        benchmark::DoNotOptimize(sink.bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));

    platform::setClock(nullptr);
    std::filesystem::remove(path);
}
BENCHMARK(BM_ComposeAttachment)->Arg(4 << 20)->Unit(benchmark::kMillisecond);

const std::string& attachmentBytes() {
    static const std::string bytes = randomBytes(4 << 20);
    return bytes;
}

// Blocks as the composer reads them from the file, each encoded into a buffer
// that is sent and cleared.
void BM_Base64EncoderBlocks(benchmark::State& state) {
    const auto path = static_cast<smtp::Base64Path>(state.range(0));
    if (!smtp::base64PathSupported(path)) {
        state.SkipWithError("this CPU cannot run the path");
        return;
    }
    const std::string& bytes = attachmentBytes();
    std::string out;
    out.reserve(smtp::Base64Encoder::maxEncodedSize(smtp::kAttachmentBlockSize + 2));
    for (auto _ : state) {
        smtp::Base64Encoder encoder(path);
        for (std::size_t pos = 0; pos < bytes.size(); pos += smtp::kAttachmentBlockSize) {
            out.clear();
            encoder.append(std::string_view(bytes).substr(pos, smtp::kAttachmentBlockSize), out);
            benchmark::DoNotOptimize(out.data());
        }
        out.clear();
        encoder.finish(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_Base64EncoderBlocks)
    ->ArgName("path")  // 0 portable, 1 SSSE3, 2 AVX2
    ->Arg(static_cast<int>(smtp::Base64Path::portable))
    ->Arg(static_cast<int>(smtp::Base64Path::ssse3))
    ->Arg(static_cast<int>(smtp::Base64Path::avx2))
    ->Unit(benchmark::kMillisecond);

// The same bytes in one call, without line breaks.
void BM_OpenSslEncodeBlock(benchmark::State& state) {
    const std::string& bytes = attachmentBytes();
    std::string out((bytes.size() + 2) / 3 * 4 + 1, '\0');
    for (auto _ : state) {
        const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                      reinterpret_cast<const unsigned char*>(bytes.data()),
                                      static_cast<int>(bytes.size()));
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_OpenSslEncodeBlock)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
