// The host name on Windows: the DNS host name of the computer.
#include "platform/host_name.h"

#include "platform/win32/windows_api.h"

namespace postrix::platform {

std::optional<std::string> hostName() {
    DWORD size = 0;
    // The first call asks for the length, terminator included.
    GetComputerNameExW(ComputerNameDnsHostname, nullptr, &size);
    if (size == 0) return std::nullopt;
    std::wstring name(size, L'\0');
    if (!GetComputerNameExW(ComputerNameDnsHostname, name.data(), &size) || size == 0) return std::nullopt;
    name.resize(size);
    return win32::wideToUtf8(name);
}

}  // namespace postrix::platform
