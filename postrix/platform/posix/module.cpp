// The module handle on POSIX: nothing loads resources through it, so the
// address of an object in the library serves as an opaque, non-null value
// unique to the loaded library.
#include "platform/module.h"

namespace postrix::platform {

namespace {

const char moduleIdentity = 0;

}  // namespace

uintptr_t ownModuleHandle() { return reinterpret_cast<uintptr_t>(&moduleIdentity); }

}  // namespace postrix::platform
