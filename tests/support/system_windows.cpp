#include "support/system.h"

#include <stdlib.h>

namespace postrix::test {

const char16_t kNativePathSeparator = u'\\';

void setEnvironment(const char* name, const char* value) {
    // An empty value removes the variable from the C runtime's environment.
    _putenv_s(name, value != nullptr ? value : "");
}

std::vector<std::string> nonRegularFiles(const std::filesystem::path&) {
    return {"NUL"};
}

}  // namespace postrix::test
