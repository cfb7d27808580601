#include "platform/resources.h"

#include <map>
#include <memory>

namespace postrix::platform {

namespace {

// The headless toolkit draws nothing; a bitmap is its size and depth, kept
// alive until deleted so its handle stays unique.
struct Bitmap {
    int resourceId;
    int width;
    int height;
    int bitsPerPixel;
};

std::map<uintptr_t, std::unique_ptr<Bitmap>>& loadedBitmaps() {
    static std::map<uintptr_t, std::unique_ptr<Bitmap>> bitmaps;
    return bitmaps;
}

}  // namespace

uintptr_t loadBitmap(uintptr_t moduleHandle, int resourceId) {
    if (moduleHandle == 0) return 0;
    int size = 0;
    if (resourceId == kAttachmentBitmapId) size = 14;
    if (size == 0) return 0;
    auto bitmap = std::make_unique<Bitmap>(Bitmap{resourceId, size, size, 24});
    const auto handle = reinterpret_cast<uintptr_t>(bitmap.get());
    loadedBitmaps().emplace(handle, std::move(bitmap));
    return handle;
}

void deleteBitmap(uintptr_t bitmap) { loadedBitmaps().erase(bitmap); }

}  // namespace postrix::platform
