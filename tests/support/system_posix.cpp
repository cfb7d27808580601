#include "support/system.h"

#include <stdexcept>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace postrix::test {

const char16_t kNativePathSeparator = u'/';

void setEnvironment(const char* name, const char* value) {
    if (value != nullptr) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}

std::string systemNarrowPath(const std::filesystem::path& path) { return path.string(); }

unsigned long processId() { return static_cast<unsigned long>(getpid()); }

std::vector<std::string> nonRegularFiles(const std::filesystem::path& directory) {
    const std::string fifo = (directory / "queue").string();
    if (mkfifo(fifo.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
    return {fifo, "/dev/zero"};
}

}  // namespace postrix::test
