// The host name on POSIX: gethostname.
#include "platform/host_name.h"

#include <unistd.h>
#include <array>

namespace postrix::platform {

std::optional<std::string> hostName() {
    std::array<char, 256> name{};
    // One byte is kept back so a cut-off name still ends in a NUL.
    if (gethostname(name.data(), name.size() - 1) != 0 || name.front() == '\0') return std::nullopt;
    return std::string(name.data());
}

}  // namespace postrix::platform
