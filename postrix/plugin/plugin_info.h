// The static plug-in information record the host reads before loading.
#pragma once

#include "abi/records_plugin.h"

namespace postrix {

const PluginInfo& pluginInfo();

}  // namespace postrix
