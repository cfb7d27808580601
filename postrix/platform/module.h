// The loaded module the plug-in's code is part of.
#pragma once

#include <cstdint>

namespace postrix::platform {

// The handle of the plug-in's own module, which the host is given to find
// the options page template and bitmaps: the DLL's HMODULE on Windows, an
// opaque non-null value unique to the loaded library elsewhere.
uintptr_t ownModuleHandle();

}  // namespace postrix::platform
