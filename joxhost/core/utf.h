// UTF-8 <-> UTF-16 conversion at the plug-in boundary. Ill-formed input
// (lone surrogates, bad byte sequences) becomes U+FFFD, never an error.
#pragma once

#include <string>
#include <string_view>

namespace joxhost {

std::string toUtf8(std::u16string_view text);
std::u16string toUtf16(std::string_view text);

// The text of a zero-terminated UTF-16 pointer; empty for null.
std::u16string fromHost(const char16_t* text);
std::string utf8FromHost(const char16_t* text);

}  // namespace joxhost
