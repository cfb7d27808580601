// JSON text for the one-object-a-line output of --json.
#pragma once

#include <string>
#include <string_view>

namespace joxhost {

// The JSON string literal (with quotes) of UTF-8 text. Control characters
// are escaped; other characters pass through as UTF-8.
std::string jsonString(std::string_view text);

}  // namespace joxhost
