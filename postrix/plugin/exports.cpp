// The plug-in's three exported entry points.
#include "abi/abi.h"
#include "platform/module.h"
#include "plugin/plugin.h"
#include "plugin/plugin_info.h"

extern "C" {

JOX_EXPORT const void* queryPlugInfo(uintptr_t) {
    postrix::Plugin::instance();
    return &postrix::pluginInfo();
}

JOX_EXPORT int32_t pluginLoad(uintptr_t, HostTable* host) {
    postrix::Plugin& plugin = postrix::Plugin::instance();
    plugin.setModuleHandle(postrix::platform::ownModuleHandle());
    plugin.load(host);
    return 0;
}

JOX_EXPORT int32_t pluginUnload(uintptr_t) {
    postrix::Plugin::instance().unload();
    return 0;
}

}  // extern "C"
