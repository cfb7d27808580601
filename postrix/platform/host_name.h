// The computer's name on the network, as the system knows it.
#pragma once

#include <optional>
#include <string>

namespace postrix::platform {

// The computer's DNS host name; empty when the system gives none. The text
// is whatever the system holds: callers check its form.
std::optional<std::string> hostName();

}  // namespace postrix::platform
