// Regular files on POSIX, read through a descriptor.
#include "platform/file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <string>
#include <utility>

#include "platform/files.h"

namespace postrix::platform {

namespace {

int descriptorOf(std::intptr_t handle) {
    return static_cast<int>(handle);
}

}  // namespace

std::optional<FileReader> FileReader::open(std::string_view path) {
    // Looking first keeps devices from being opened at all (and refuses a
    // path with a NUL, which the system would cut short); O_NONBLOCK keeps a
    // FIFO put in the file's place since then from blocking the open, and the
    // second look at what was opened refuses it.
    if (fileKind(path) != FileKind::regular) return std::nullopt;
    const std::string name(path);
    struct stat info {};
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    return FileReader(fd, static_cast<std::uint64_t>(info.st_size));
}

FileReader::~FileReader() {
    if (handle_ != kNoHandle) ::close(descriptorOf(handle_));
}

FileReader::FileReader(FileReader&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)), size_(other.size_) {}

FileReader& FileReader::operator=(FileReader&& other) noexcept {
    std::swap(handle_, other.handle_);
    std::swap(size_, other.size_);
    return *this;
}

std::optional<std::size_t> FileReader::read(std::span<char> buffer) {
    for (;;) {
        const ssize_t count = ::read(descriptorOf(handle_), buffer.data(), buffer.size());
        if (count >= 0) return static_cast<std::size_t>(count);
        if (errno != EINTR) return std::nullopt;
    }
}

bool FileReader::sizeUnchanged() const {
    struct stat info {};
    return fstat(descriptorOf(handle_), &info) == 0 && static_cast<std::uint64_t>(info.st_size) == size_;
}

}  // namespace postrix::platform
