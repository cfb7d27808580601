#include "platform/resources.h"

#include "resources/templates.h"

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
    const resources::BitmapTemplate* source = resources::findBitmap(resourceId);
    if (source == nullptr) return 0;
    auto bitmap = std::make_unique<Bitmap>(Bitmap{resourceId, source->width, source->height, source->bitsPerPixel});
    const auto handle = reinterpret_cast<uintptr_t>(bitmap.get());
    loadedBitmaps().emplace(handle, std::move(bitmap));
    return handle;
}

void deleteBitmap(uintptr_t bitmap) { loadedBitmaps().erase(bitmap); }

}  // namespace postrix::platform
