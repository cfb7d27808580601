// The desktop of the embedding process, found through its "joxDesktop"
// export (abi/desktop_abi.h).
#pragma once

#include "abi/desktop_abi.h"

namespace postrix::platform::posix {

// The desktop in use, or nullptr when there is none.
const JoxDesktop* desktop();

// A desktop that takes precedence over the one found at load, or nullptr to
// drop it again. For programs that link the plug-in's code directly.
void installDesktop(const JoxDesktop* table);

}  // namespace postrix::platform::posix
