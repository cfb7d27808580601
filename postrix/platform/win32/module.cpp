// The module handle on Windows: the HMODULE of the DLL (or program) this
// code is linked into, which dialogs and bitmaps are loaded from.
#include "platform/module.h"

#include "platform/win32/windows_api.h"

namespace postrix::platform {

uintptr_t ownModuleHandle() {
    HMODULE module = nullptr;
    // Any address inside the module names it; the module stays loaded
    // while its own code runs, so no reference is taken.
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ownModuleHandle), &module);
    return reinterpret_cast<uintptr_t>(module);
}

}  // namespace postrix::platform
