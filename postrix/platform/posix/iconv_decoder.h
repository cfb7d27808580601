// Decoding of any charset the C library's iconv knows, for the charsets
// the own tables do not cover.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace postrix::platform::posix {

// bytes in charset to UTF-16. A byte iconv rejects becomes U+FFFD and the
// conversion goes on after it; a truncated sequence at the end becomes one
// U+FFFD. Labels mail uses that iconv knows under another name are mapped
// ("ks_c_5601-1987" is CP949). Empty optional when iconv does not know the
// charset or the name is not a plain charset name (iconv's "//" suffixes are
// refused).
std::optional<std::u16string> iconvToUtf16(std::string_view bytes, std::string_view charset);

}  // namespace postrix::platform::posix
