#include "services/host_log.h"

#include "postrix/abi/records_netlib.h"
#include "postrix/abi/records_plugin.h"
#include "core/utf.h"

namespace joxhost {

using postrix::LogRecord;
using postrix::TrafficDataRecord;
using postrix::TrafficHeaderRecord;

void HostLog::install(ServiceRegistry& services) {
    services.addHostService(u"JOX/Log",
                            [this](uintptr_t w, uintptr_t) { return log(reinterpret_cast<const void*>(w)); });
    services.addHostService(u"JOX/CallProtolHooks", [this](uintptr_t w, uintptr_t l) {
        return traffic(reinterpret_cast<const void*>(w), reinterpret_cast<const void*>(l));
    });
}

int64_t HostLog::log(const void* recordPointer) {
    const auto* r = static_cast<const LogRecord*>(recordPointer);
    if (!r) return 1;
    if (r->level < 0) ++failures_;
    reporter_.emit(Event("log")
                       .add("level", r->level)
                       .add("source", utf8FromHost(r->source))
                       .add("text", utf8FromHost(r->text)));
    return 0;
}

int64_t HostLog::traffic(const void* headerPointer, const void* dataPointer) {
    const auto* header = static_cast<const TrafficHeaderRecord*>(headerPointer);
    const auto* data = static_cast<const TrafficDataRecord*>(dataPointer);
    if (!header || !data) return 1;
    // The report comes in two phases; count it once.
    if (header->phase == 1) {
        ++traffic_.reports;
        if (header->direction == postrix::kTrafficSent) traffic_.bytesSent += data->count;
        if (header->direction == postrix::kTrafficReceived) traffic_.bytesReceived += data->count;
        if (trafficObserver_)
            trafficObserver_(header->accountId, header->direction == postrix::kTrafficSent, data->count);
    }
    return 0;
}

}  // namespace joxhost
