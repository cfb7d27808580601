// Path joining and name patterns: plain text work, the same on every
// platform but for the separator.
#include "platform/file_names.h"

#include "platform/files.h"

namespace postrix::platform {

std::u16string joinPath(std::u16string_view directory, std::u16string_view name) {
    if (directory.empty()) return std::u16string(name);
    while (!directory.empty() && directory.back() == kPathSeparator) directory.remove_suffix(1);
    std::u16string path(directory);
    path.push_back(kPathSeparator);
    path.append(name);
    return path;
}

// On a mismatch the last '*' takes one more unit and the match goes on from
// there.
bool matchesNamePattern(std::u16string_view name, std::u16string_view pattern) {
    size_t n = 0;
    size_t p = 0;
    size_t starPattern = std::u16string_view::npos;
    size_t starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starPattern = p++;
            starName = n;
        } else if (p < pattern.size() && pattern[p] == name[n]) {
            ++p;
            ++n;
        } else if (starPattern != std::u16string_view::npos) {
            p = starPattern + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

}  // namespace postrix::platform
