#pragma once

#include <filesystem>

namespace joxhost {

// A file joxhost ships beside its executable (the plug-in, the TLS module),
// or the bare name when the executable's own path cannot be read.
std::filesystem::path besideExecutable(const char* name);

}  // namespace joxhost
