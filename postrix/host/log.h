// One line to the host's log ("JOX/Log").
#pragma once

#include <string_view>

#include "host/host.h"

namespace postrix {

// The net class of every account, and the log source of the plug-in.
inline constexpr char16_t kNetClass[] = u"MAIL";

inline constexpr int kLogFailure = -1;
inline constexpr int kLogNotice = 0;

// Logs a UTF-8 message, cut at 2047 UTF-16 units, with the source "MAIL".
void logError(const Host& host, int level, std::string_view message);

// The usual case: a failure line.
inline void logFailure(const Host& host, std::string_view message) {
    logError(host, kLogFailure, message);
}

}  // namespace postrix
