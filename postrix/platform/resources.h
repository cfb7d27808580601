// Bitmaps from the plug-in's resources.
#pragma once

#include <cstdint>

namespace postrix::platform {

// The 14 x 14 picture of attachment entries in the send dialog's menu.
inline constexpr int kAttachmentBitmapId = 112;

// A bitmap handle, 0 when the resource cannot be loaded.
uintptr_t loadBitmap(uintptr_t moduleHandle, int resourceId);
void deleteBitmap(uintptr_t bitmap);

}  // namespace postrix::platform
