// The account's page in the host's options window.
#pragma once

#include <cstdint>

namespace postrix {

// Handler of the page's events; the context is the account.
int64_t onOptionsPage(uintptr_t pageEvent, uintptr_t unused, uintptr_t context);

}  // namespace postrix
