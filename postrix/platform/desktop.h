// The few desktop services the mail core needs outside dialogs.
#pragma once

#include <string_view>

namespace postrix::platform {

// A modal error box with one OK button; returns when the user closed it.
// Without a desktop it writes the title and text to stderr and returns.
void showErrorBox(std::string_view title, std::string_view text);

// Opens an address (web page or document) with the desktop's default
// handler, without waiting for it. An empty address opens nothing.
void openAddress(std::string_view address);

// Whether the internet seems reachable: an ICMP echo with a 3-second limit.
bool probeReachability();

}  // namespace postrix::platform
