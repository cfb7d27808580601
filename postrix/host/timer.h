// Periodic host timers ("JOX/Timer/Create", "JOX/Timer/Destroy"), named by
// an id text that is unique in the host.
#pragma once

#include <cstdint>
#include <string>

#include "abi/abi.h"
#include "host/host.h"

namespace postrix {

// Starts a timer that calls handler(timer event, 0, context) every
// intervalMs; false when the host refused it.
bool createTimer(const Host& host, const std::u16string& id, int32_t intervalMs, JoxHandler handler,
                 uintptr_t context);
void destroyTimer(const Host& host, const std::u16string& id);

}  // namespace postrix
