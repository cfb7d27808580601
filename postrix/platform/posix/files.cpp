// Files on POSIX: paths travel as UTF-16 inside and as UTF-8 to the system.
#include "platform/files.h"

#include "platform/file_names.h"
#include "platform/utf8.h"

#include <cerrno>
#include <optional>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace postrix::platform {

namespace {

// The path in the system's form, or empty when it holds a NUL: the system
// would read it only up to there and act on a different file.
std::optional<std::string> systemPath(std::u16string_view path) {
    if (path.find(u'\0') != std::u16string_view::npos) return std::nullopt;
    return utf16ToUtf8(path);
}

class DirectoryHandle {
public:
    explicit DirectoryHandle(const std::string& path) : dir_(opendir(path.c_str())) {}
    ~DirectoryHandle() {
        if (dir_ != nullptr) closedir(dir_);
    }
    DirectoryHandle(const DirectoryHandle&) = delete;
    DirectoryHandle& operator=(const DirectoryHandle&) = delete;

    DIR* get() const { return dir_; }

private:
    DIR* dir_;
};

bool isRegularFile(DIR* dir, const char* name) {
    struct stat info {};
    return fstatat(dirfd(dir), name, &info, 0) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::vector<std::u16string> findFiles(std::u16string_view directory, std::u16string_view pattern) {
    std::vector<std::u16string> names;
    const auto dirPath = systemPath(directory.empty() ? u"." : directory);
    if (!dirPath) return names;
    const DirectoryHandle dir(*dirPath);
    if (dir.get() == nullptr) return names;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view name(entry->d_name);
        // A name that is not UTF-8 could not be named back to the system
        // after the round trip through UTF-16, so it is left out.
        if (!isWellFormedUtf8(name)) continue;
        std::u16string wideName;
        appendUtf8AsUtf16(name, wideName);
        if (!matchesNamePattern(wideName, pattern)) continue;
        if (!isRegularFile(dir.get(), entry->d_name)) continue;
        names.push_back(std::move(wideName));
    }
    return names;
}

bool deleteFile(std::u16string_view path) {
    const auto name = systemPath(path);
    if (!name || name->empty()) return false;
    return unlink(name->c_str()) == 0 || errno == ENOENT;
}

std::string pathToUtf8(std::string_view path) {
    if (isWellFormedUtf8(path)) return std::string(path);
    std::u16string wide;
    appendUtf8AsUtf16(path, wide);
    return utf16ToUtf8(wide);
}

FileKind fileKind(std::string_view path) {
    if (path.find('\0') != std::string_view::npos) return FileKind::unknown;
    struct stat info {};
    if (stat(std::string(path).c_str(), &info) != 0) return FileKind::unknown;
    return S_ISREG(info.st_mode) ? FileKind::regular : FileKind::other;
}

}  // namespace postrix::platform
