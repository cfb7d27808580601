#include "platform/posix/desktop_bridge.h"

#include "platform/ui.h"

#include <dlfcn.h>

namespace postrix::platform {

namespace {

const JoxDesktop* g_found = nullptr;
const JoxDesktop* g_installed = nullptr;

// A table is used only when it is at least as large as this version's.
bool usable(const JoxDesktop* table) {
    return table != nullptr && table->size >= static_cast<int32_t>(sizeof(JoxDesktop)) &&
           table->version >= JOX_DESKTOP_VERSION;
}

}  // namespace

void connectDesktop() {
    g_found = nullptr;
    void* symbol = dlsym(RTLD_DEFAULT, "joxDesktop");
    if (symbol == nullptr) return;
    const auto lookup = reinterpret_cast<JoxDesktopFunction>(symbol);
    const JoxDesktop* table = lookup();
    if (usable(table)) g_found = table;
}

void disconnectDesktop() { g_found = nullptr; }

namespace posix {

const JoxDesktop* desktop() { return g_installed != nullptr ? g_installed : g_found; }

void installDesktop(const JoxDesktop* table) { g_installed = usable(table) ? table : nullptr; }

}  // namespace posix

}  // namespace postrix::platform
