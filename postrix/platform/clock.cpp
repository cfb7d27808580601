#include "platform/clock.h"

#include "platform/system_clock.h"

namespace postrix::platform {

namespace {

// The clock a test installed, or nullptr for the system clock. The plug-in
// runs inside one host thread at a time, so a plain pointer serves.
Clock* installedClock = nullptr;

}  // namespace

Clock& clock() {
    return installedClock != nullptr ? *installedClock : systemClock();
}

void setClock(Clock* replacement) {
    installedClock = replacement;
}

}  // namespace postrix::platform
