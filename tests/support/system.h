// What the tests do their own way on each system (system_posix.cpp,
// system_windows.cpp).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace postrix::test {

// The separator of the system's paths: '/' or '\\'.
extern const char16_t kNativePathSeparator;

// Sets an environment variable of this process; nullptr removes it.
void setEnvironment(const char* name, const char* value);

// The path as the file picker gives it: narrow text in the system's code
// page (UTF-8 on POSIX, the ANSI code page on Windows).
std::string systemNarrowPath(const std::filesystem::path& path);

// Paths of things that are neither regular files nor directories, which a
// file reader must refuse without blocking or reading forever: a FIFO made
// in directory and /dev/zero on POSIX, the NUL device on Windows.
std::vector<std::string> nonRegularFiles(const std::filesystem::path& directory);

// The system's id of this process.
unsigned long processId();

}  // namespace postrix::test
