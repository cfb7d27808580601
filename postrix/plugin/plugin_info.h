// The static plug-in information record the host reads before loading.
#pragma once

#include "abi/records_plugin.h"

namespace postrix {

inline constexpr char16_t kPluginGuid[] = u"{6F1C2B9E-4D3A-4E8B-9C51-2A7D0E3F8B64}";

const PluginInfo& pluginInfo();

}  // namespace postrix
