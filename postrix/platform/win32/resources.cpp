// Bitmaps on Windows: the BITMAP resources of the plug-in's module.
#include "platform/resources.h"

#include "platform/win32/windows_api.h"

namespace postrix::platform {

uintptr_t loadBitmap(uintptr_t moduleHandle, int resourceId) {
    // Without a module LoadImageW would load the system's own bitmaps.
    if (moduleHandle == 0) return 0;
    const HANDLE bitmap = LoadImageW(reinterpret_cast<HINSTANCE>(moduleHandle), MAKEINTRESOURCEW(resourceId),
                                     IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR);
    return reinterpret_cast<uintptr_t>(bitmap);
}

void deleteBitmap(uintptr_t bitmap) {
    if (bitmap != 0) DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
}

}  // namespace postrix::platform
