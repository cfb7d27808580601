// The name matching both platforms' file searches use, so that a pattern
// selects the same names everywhere: Windows' own wildcard search ignores
// letter case and also matches the short 8.3 names.
#pragma once

#include <string_view>

namespace postrix::platform {

// Whether name matches pattern, where '*' stands for any run of units (the
// empty run too) and every other unit matches itself, letter case included.
bool matchesNamePattern(std::u16string_view name, std::u16string_view pattern);

}  // namespace postrix::platform
