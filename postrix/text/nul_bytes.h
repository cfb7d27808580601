// NUL bytes from the wire. A C string would end at the first one; mail text
// drops them instead and reads on, so one NUL cannot hide what follows it.
// A server's status line in an error message ends there, as a C string.
#pragma once

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>

namespace postrix::text {

inline std::string withoutNul(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::copy_if(bytes.begin(), bytes.end(), std::back_inserter(out), [](char c) { return c != '\0'; });
    return out;
}

// Text as a C string reads it: up to the first NUL.
inline std::string_view upToNul(std::string_view text) {
    return text.substr(0, std::min(text.find('\0'), text.size()));
}

}  // namespace postrix::text
