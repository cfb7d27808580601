// Regular files on Windows, read through a file handle.
#include "platform/file_reader.h"

#include "platform/files.h"
#include "platform/win32/windows_api.h"

#include <algorithm>
#include <utility>

namespace postrix::platform {

namespace {

HANDLE handleOf(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

std::optional<std::uint64_t> sizeOf(HANDLE file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0) return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
}

}  // namespace

std::optional<FileReader> FileReader::open(std::string_view path) {
    // Looking first keeps directories and devices from being opened at all;
    // the second look at what was opened refuses a device or pipe that a
    // name such as NUL or \\.\pipe\x reached.
    if (fileKind(path) != FileKind::regular) return std::nullopt;
    const auto name = win32::narrowToWide(path, CP_ACP);
    if (!name) return std::nullopt;
    // Others may go on reading and writing the file, as on POSIX: a file
    // another program holds open for writing can still be attached, and a
    // change while it is sent shows in sizeUnchanged.
    const HANDLE file = CreateFileW(name->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const auto size = sizeOf(file);
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !size) {
        CloseHandle(file);
        return std::nullopt;
    }
    return FileReader(reinterpret_cast<std::intptr_t>(file), *size);
}

FileReader::~FileReader() {
    if (handle_ != kNoHandle) CloseHandle(handleOf(handle_));
}

FileReader::FileReader(FileReader&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)), size_(other.size_) {}

FileReader& FileReader::operator=(FileReader&& other) noexcept {
    std::swap(handle_, other.handle_);
    std::swap(size_, other.size_);
    return *this;
}

std::optional<std::size_t> FileReader::read(std::span<char> buffer) {
    // ReadFile takes at most 4 GiB - 1 at once; a block is far smaller.
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), 0x7FFFFFFF));
    DWORD count = 0;
    if (!ReadFile(handleOf(handle_), buffer.data(), wanted, &count, nullptr)) return std::nullopt;
    return static_cast<std::size_t>(count);
}

bool FileReader::sizeUnchanged() const {
    const auto size = sizeOf(handleOf(handle_));
    return size && *size == size_;
}

}  // namespace postrix::platform
