// One message announced by the new-mail notice: who sent it, what it is
// about and when it was written.
#pragma once

#include <cstdint>
#include <string>

namespace postrix::pop3 {

struct NewMailEntry {
    std::string from;     // decoded From header (UTF-8), empty when absent
    std::string subject;  // decoded Subject header (UTF-8), empty when absent
    int64_t date = 0;     // Date header in seconds since 1970-01-01 UTC; 0 when absent or unreadable
};

}  // namespace postrix::pop3
