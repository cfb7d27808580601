// Files on POSIX: paths travel as UTF-16 inside and as UTF-8 to the system.
#include "platform/files.h"

#include "platform/file_names.h"
#include "platform/utf8.h"

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
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

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    // Closes now; false when the system reports an error (for a written
    // file, bytes that may not have reached it).
    bool close() { return ::close(std::exchange(fd_, -1)) == 0; }

private:
    int fd_;
};

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t count = ::write(fd, bytes.data(), bytes.size());
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(count));
    }
    return true;
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

WholeFile readWholeFile(std::u16string_view path, size_t maxBytes, std::string& bytes) {
    const auto name = systemPath(path);
    if (!name || name->empty()) return WholeFile::unreadable;
    // O_NONBLOCK: a FIFO in the file's place must not hold the open until a
    // writer comes; the look at what was opened then refuses it.
    const Descriptor file(::open(name->c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) return errno == ENOENT || errno == ENOTDIR ? WholeFile::missing : WholeFile::unreadable;
    struct stat info {};
    if (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return WholeFile::unreadable;
    if (static_cast<uint64_t>(info.st_size) > maxBytes) return WholeFile::tooLarge;
    bytes.resize(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::read(file.get(), bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return WholeFile::unreadable;
        if (count == 0) break;
        done += static_cast<size_t>(count);
    }
    bytes.resize(done);
    return WholeFile::read;
}

bool replaceFile(std::u16string_view path, std::string_view bytes) {
    return replaceFileWith(path, [bytes](const AppendBytes& append) { return append(bytes); });
}

bool replaceFileWith(std::u16string_view path, const std::function<bool(const AppendBytes&)>& produce) {
    const auto name = systemPath(path);
    if (!name || name->empty()) return false;
    const std::string temporary = *name + ".tmp-" + std::to_string(getpid());
    // A temporary file a crashed process of the same id left, or anything
    // else of that name, goes first: O_EXCL then refuses to write through a
    // link put there.
    unlink(temporary.c_str());
    Descriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0600));
    if (file.get() < 0) return false;
    const int fd = file.get();
    const bool written = produce([fd](std::string_view bytes) { return writeAll(fd, bytes); });
    if (!file.close() || !written || rename(temporary.c_str(), name->c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
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
