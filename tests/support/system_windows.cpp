#include "support/system.h"

#include <stdlib.h>
#include <windows.h>

namespace postrix::test {

const char16_t kNativePathSeparator = u'\\';

void setEnvironment(const char* name, const char* value) {
    // An empty value removes the variable from the C runtime's environment.
    _putenv_s(name, value != nullptr ? value : "");
}

std::string systemNarrowPath(const std::filesystem::path& path) {
    const std::wstring wide = path.wstring();
    const int size = static_cast<int>(wide.size());
    const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length > 0 ? length : 0), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), size, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

unsigned long processId() { return GetCurrentProcessId(); }

std::vector<std::string> nonRegularFiles(const std::filesystem::path&) {
    return {"NUL"};
}

}  // namespace postrix::test
