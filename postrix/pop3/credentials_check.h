// A check of the login and password before they go into the USER and PASS
// command lines.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace postrix::pop3 {

// "POP3 - Invalid login: ..." or "POP3 - Invalid password: ..." when the text
// holds CR, LF or NUL, any of which would end the command line early and let
// the rest of the setting be read as another command; nothing when both can
// be sent. The texts never quote the password.
std::optional<std::string> credentialsProblem(std::string_view login, std::string_view password);

}  // namespace postrix::pop3
