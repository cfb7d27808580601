#include "cli/send_progress.h"

#include <filesystem>

namespace joxhost {
namespace {

constexpr int64_t kMailHeadBytes = 1024;  // the mail's head and the text part's
constexpr int64_t kPartHeadBytes = 512;   // an attachment's part head, its name included

int64_t base64Bytes(int64_t bytes) {
    const int64_t characters = (bytes + 2) / 3 * 4;
    const int64_t lines = (characters + 75) / 76;
    return characters + 2 * lines;
}

using namespace std::chrono_literals;

}  // namespace

int64_t estimateMailBytes(size_t bodyBytes, const std::vector<int64_t>& attachmentSizes) {
    int64_t total = kMailHeadBytes + base64Bytes(static_cast<int64_t>(bodyBytes));
    for (const int64_t size : attachmentSizes) total += kPartHeadBytes + base64Bytes(size);
    return total;
}

int64_t estimateMailBytes(size_t bodyBytes, const std::vector<std::string>& attachmentPaths) {
    std::vector<int64_t> sizes;
    for (const auto& path : attachmentPaths) {
        std::error_code error;
        const auto size = std::filesystem::file_size(path, error);
        sizes.push_back(error ? 0 : static_cast<int64_t>(size));
    }
    return estimateMailBytes(bodyBytes, sizes);
}

SendProgress::SendProgress(Host& host, int64_t expectedBytes)
    : host_(host),
      expected_(expectedBytes),
      line_(ProgressPacer::Clock::now(), 500ms, 100ms),
      events_(ProgressPacer::Clock::now(), 500ms, 250ms) {
    host_.log.setTrafficObserver([this](int32_t, bool sent, int64_t bytes) { onTraffic(sent, bytes); });
}

SendProgress::~SendProgress() {
    host_.log.setTrafficObserver(nullptr);
    host_.reporter().clearStatus();
}

void SendProgress::onTraffic(bool sent, int64_t bytes) {
    if (!sent || bytes <= 0) return;
    sent_ += bytes;
    Reporter& reporter = host_.reporter();
    const auto now = ProgressPacer::Clock::now();
    if (reporter.json()) {
        if (!events_.due(now)) return;
        auto event = Event("progress").add("sent", sent_);
        if (expected_ > 0) event.add("expected", expected_);
        reporter.emit(event.add("rate", bytesPerSecond(sent_, events_.elapsed(now))));
    } else if (reporter.showsStatus() && line_.due(now)) {
        reporter.status(progressLine(sent_, expected_, line_.elapsed(now)));
    }
}

}  // namespace joxhost
