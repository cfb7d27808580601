// How a failed mailbox check reaches the user: a log line and a warning
// notification titled with the account's address.
#pragma once

#include <string>

#include "host/host.h"

namespace postrix {

// A failed check of the account whose address is given.
void showCheckError(Host host, const std::string& address, const std::string& message);

}  // namespace postrix
