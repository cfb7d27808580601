// A check of a mail address before it goes into a command or a header.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace postrix::smtp {

// "SMTP - Invalid address: " followed by the address (control characters
// shown as \r, \n, \0 or \xHH) when the address is empty or holds CR, LF,
// NUL, '<' or '>', any of which would break the command or header it stands
// in; nothing when the address can be used.
std::optional<std::string> addressProblem(std::string_view address);

}  // namespace postrix::smtp
