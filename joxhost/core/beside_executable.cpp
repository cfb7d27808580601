#include "core/beside_executable.h"

namespace joxhost {

std::filesystem::path besideExecutable(const char* name) {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path(name) : self.parent_path() / name;
}

}  // namespace joxhost
