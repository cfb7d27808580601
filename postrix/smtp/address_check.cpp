#include "smtp/address_check.h"

namespace postrix::smtp {

namespace {

std::string visibleText(std::string_view text) {
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\0': out += "\\0"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    out += "\\x";
                    out += kHex[c >> 4];
                    out += kHex[c & 0x0F];
                } else {
                    out += ch;
                }
        }
    }
    return out;
}

}  // namespace

std::optional<std::string> addressProblem(std::string_view address) {
    constexpr std::string_view kForbidden("\r\n\0<>", 5);
    if (!address.empty() && address.find_first_of(kForbidden) == std::string_view::npos) {
        return std::nullopt;
    }
    return "SMTP - Invalid address: " + visibleText(address);
}

}  // namespace postrix::smtp
