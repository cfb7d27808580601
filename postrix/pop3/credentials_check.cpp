#include "pop3/credentials_check.h"

namespace postrix::pop3 {

namespace {

bool breaksCommandLine(std::string_view text) {
    constexpr std::string_view kForbidden("\r\n\0", 3);
    return text.find_first_of(kForbidden) != std::string_view::npos;
}

}  // namespace

std::optional<std::string> credentialsProblem(std::string_view login, std::string_view password) {
    if (breaksCommandLine(login)) return "POP3 - Invalid login: it holds CR, LF or NUL";
    if (breaksCommandLine(password)) return "POP3 - Invalid password: it holds CR, LF or NUL";
    return std::nullopt;
}

}  // namespace postrix::pop3
