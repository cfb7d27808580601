// What the client calls itself in EHLO: a domain as RFC 5321 writes it,
// since servers put it in the Received line and some refuse a malformed one.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace postrix::smtp {

// The address literal used when the computer has no usable name.
inline constexpr std::string_view kLoopbackAddressLiteral = "[127.0.0.1]";

// Whether the text is a Domain of RFC 5321: labels of letters, digits and
// hyphens joined by single dots, none starting or ending with a hyphen, each
// at most 63 characters, the whole at most 255.
bool isValidDomain(std::string_view text);

// The EHLO argument: the host name when it is a valid domain, otherwise
// kLoopbackAddressLiteral.
std::string ehloDomain(const std::optional<std::string>& hostName);

}  // namespace postrix::smtp
