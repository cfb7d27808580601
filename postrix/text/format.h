// printf-style formatting into a std::string, for log lines, protocol
// commands and host names built from an account id.
#pragma once

#include <string>

namespace postrix {

std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace postrix
