// What the Win32 dialog toolkit's files share: the conversions between the
// portable window handle and HWND, and the module whose resources hold the
// dialog templates, the menu and the bitmaps.
#pragma once

#include "platform/module.h"
#include "platform/ui.h"
#include "platform/win32/windows_api.h"

namespace postrix::platform::win32 {

inline HWND hwndOf(Window window) { return reinterpret_cast<HWND>(window); }
inline Window windowOf(HWND hwnd) { return reinterpret_cast<Window>(hwnd); }

// The plug-in's own DLL (not the host's executable): the dialogs and menus
// are its resources.
inline HINSTANCE resourceModule() { return reinterpret_cast<HINSTANCE>(ownModuleHandle()); }

}  // namespace postrix::platform::win32
