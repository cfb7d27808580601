#include "host/host.h"

namespace postrix {

// Every wrapper tolerates a missing table or slot, so a half-built host
// (or none, before load) degrades to failed calls instead of a crash.

int64_t Host::call(const char16_t* service, uintptr_t wParam, uintptr_t lParam) const {
    if (!table_ || !table_->callService) return -1;
    return table_->callService(service, wParam, lParam);
}

bool Host::serviceExists(const char16_t* service) const {
    return table_ && table_->serviceExists && table_->serviceExists(service) != 0;
}

int64_t Host::createService(const char16_t* name, JoxHandler handler, uintptr_t context) const {
    if (!table_ || !table_->createService) return 0;
    return table_->createService(name, handler, context);
}

void Host::destroyService(int64_t handle) const {
    if (table_ && table_->destroyService) table_->destroyService(handle);
}

int64_t Host::hookEvent(const char16_t* event, JoxHandler handler, uintptr_t context) const {
    if (!table_ || !table_->hookEvent) return 0;
    return table_->hookEvent(event, handler, context);
}

void Host::unhookEvent(int64_t hook) const {
    if (table_ && table_->unhookEvent) table_->unhookEvent(hook);
}

}  // namespace postrix
