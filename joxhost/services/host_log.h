// "JOX/Log" and the traffic report "JOX/CallProtolHooks". Log lines are
// shown; traffic is only counted, since it carries the password.
#pragma once

#include <cstdint>

#include "core/reporter.h"
#include "core/service_registry.h"

namespace joxhost {

class HostLog {
public:
    struct Traffic {
        int64_t reports = 0;
        int64_t bytesSent = 0;
        int64_t bytesReceived = 0;
    };

    explicit HostLog(Reporter& reporter) : reporter_(reporter) {}

    void install(ServiceRegistry& services);

    int64_t log(const void* record);
    int64_t traffic(const void* header, const void* data);

    const Traffic& trafficCounts() const { return traffic_; }
    int64_t failureCount() const { return failures_; }

private:
    Reporter& reporter_;
    Traffic traffic_;
    int64_t failures_ = 0;
};

}  // namespace joxhost
