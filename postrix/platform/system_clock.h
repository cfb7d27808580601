// The operating system's clock, provided by each platform's implementation.
#pragma once

#include "platform/clock.h"

namespace postrix::platform {

// The process-wide system clock; it lives as long as the process.
Clock& systemClock();

}  // namespace postrix::platform
