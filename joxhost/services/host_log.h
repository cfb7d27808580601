// "JOX/Log" and the traffic report "JOX/CallProtolHooks". Log lines are
// shown; traffic is only counted, since it carries the password.
#pragma once

#include <cstdint>
#include <functional>

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

    // Told of each traffic report as it comes (while a send shows its
    // progress); empty clears it.
    using TrafficObserver = std::function<void(int32_t accountId, bool sent, int64_t bytes)>;
    void setTrafficObserver(TrafficObserver observer) { trafficObserver_ = std::move(observer); }
    int64_t failureCount() const { return failures_; }

private:
    Reporter& reporter_;
    Traffic traffic_;
    TrafficObserver trafficObserver_;
    int64_t failures_ = 0;
};

}  // namespace joxhost
