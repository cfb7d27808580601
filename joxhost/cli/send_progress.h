// The progress of a send while it lasts, from the plug-in's traffic
// reports: a line on a terminal's standard error ("sending 3.2 MiB of
// ~13.7 MiB (23%), 5.1 MiB/s") rewritten in place and cleared at the end, or
// with --json a "progress" event at most four times a second. A send that
// takes less than half a second shows neither.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/host.h"
#include "core/progress.h"

namespace joxhost {

// About the bytes a mail takes on the wire: the head, the body (at most
// Base64's size) and each attachment in Base64 (4 characters for 3 bytes, a
// CR LF after each 76) with its part head.
int64_t estimateMailBytes(size_t bodyBytes, const std::vector<int64_t>& attachmentSizes);

// The same for files by their paths (a file that cannot be read counts 0).
int64_t estimateMailBytes(size_t bodyBytes, const std::vector<std::string>& attachmentPaths);

class SendProgress {
public:
    // expectedBytes: the estimate, 0 when unknown.
    SendProgress(Host& host, int64_t expectedBytes);
    ~SendProgress();
    SendProgress(const SendProgress&) = delete;
    SendProgress& operator=(const SendProgress&) = delete;

    int64_t bytesSent() const { return sent_; }

private:
    void onTraffic(bool sent, int64_t bytes);

    Host& host_;
    int64_t expected_;
    int64_t sent_ = 0;
    ProgressPacer line_;
    ProgressPacer events_;
};

}  // namespace joxhost
