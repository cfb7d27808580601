#include "smtp/ehlo_domain.h"

#include <algorithm>

namespace postrix::smtp {

namespace {

constexpr std::size_t kMaxLabelLength = 63;
constexpr std::size_t kMaxDomainLength = 255;

bool isLetterOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool isValidLabel(std::string_view label) {
    if (label.empty() || label.size() > kMaxLabelLength) return false;
    if (!isLetterOrDigit(label.front()) || !isLetterOrDigit(label.back())) return false;
    return std::all_of(label.begin(), label.end(), [](char c) { return isLetterOrDigit(c) || c == '-'; });
}

}  // namespace

bool isValidDomain(std::string_view text) {
    if (text.empty() || text.size() > kMaxDomainLength) return false;
    for (;;) {
        const std::size_t dot = text.find('.');
        if (!isValidLabel(text.substr(0, dot))) return false;
        if (dot == std::string_view::npos) return true;
        text.remove_prefix(dot + 1);
    }
}

std::string ehloDomain(const std::optional<std::string>& hostName) {
    if (hostName && isValidDomain(*hostName)) return *hostName;
    return std::string(kLoopbackAddressLiteral);
}

}  // namespace postrix::smtp
