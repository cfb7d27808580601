#include "accounts/options_page.h"

namespace postrix {

// The page's dialog is not built yet; the host may still send its events.
int64_t onOptionsPage(uintptr_t, uintptr_t, uintptr_t) { return 0; }

}  // namespace postrix
