// The plug-in's three exported entry points and its library entry routine.
#include "abi/abi.h"
#include "plugin/plugin.h"
#include "plugin/plugin_info.h"

namespace {

// On Linux the module handle is the address of this object: opaque, non-null
// and unique to the loaded library.
const char moduleIdentity = 0;

__attribute__((constructor)) void libraryEntry() {
    postrix::Plugin::instance().setModuleHandle(reinterpret_cast<uintptr_t>(&moduleIdentity));
}

}  // namespace

extern "C" {

JOX_EXPORT const void* queryPlugInfo(uintptr_t) {
    postrix::Plugin::instance();
    return &postrix::pluginInfo();
}

JOX_EXPORT int32_t pluginLoad(uintptr_t, HostTable* host) {
    postrix::Plugin::instance().load(host);
    return 0;
}

JOX_EXPORT int32_t pluginUnload(uintptr_t) {
    postrix::Plugin::instance().unload();
    return 0;
}

}  // extern "C"
