#include "host/timer.h"

#include "abi/records_plugin.h"

namespace postrix {

bool createTimer(const Host& host, const std::u16string& id, int32_t intervalMs, JoxHandler handler,
                 uintptr_t context) {
    TimerRecord timer{};
    timer.size = sizeof(TimerRecord);
    timer.timerId = id.c_str();
    timer.intervalMs = intervalMs;
    timer.handler = handler;
    timer.context = context;
    return host.call(u"JOX/Timer/Create", &timer) == 0;
}

void destroyTimer(const Host& host, const std::u16string& id) {
    host.call(u"JOX/Timer/Destroy", reinterpret_cast<uintptr_t>(id.c_str()));
}

}  // namespace postrix
