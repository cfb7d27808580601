// Files on Windows: paths travel as UTF-16 inside and to the system; the
// narrow paths of the file picker are in the ANSI code page.
#include "platform/files.h"

#include "platform/file_names.h"
#include "platform/win32/windows_api.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace postrix::platform {

namespace {

// The path in the system's form, or empty when it holds a NUL: the system
// would read it only up to there and act on a different file.
std::optional<std::wstring> systemPath(std::u16string_view path) {
    if (path.find(u'\0') != std::u16string_view::npos) return std::nullopt;
    return win32::toWide(path);
}

class FindHandle {
public:
    FindHandle(const std::wstring& query, WIN32_FIND_DATAW& first)
        : handle_(FindFirstFileExW(query.c_str(), FindExInfoBasic, &first, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH)) {}
    ~FindHandle() {
        if (valid()) FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;

    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (valid()) CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    // Closes now; false when the system reports an error.
    bool close() { return CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE)) != 0; }

private:
    HANDLE handle_;
};

// ReadFile and WriteFile move at most 4 GiB - 1 at once.
constexpr size_t kMaxTransfer = 1u << 30;

bool writeAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD count = 0;
        const auto wanted = static_cast<DWORD>(std::min(bytes.size(), kMaxTransfer));
        if (!WriteFile(file, bytes.data(), wanted, &count, nullptr) || count == 0) return false;
        bytes.remove_prefix(count);
    }
    return true;
}

// Directories and devices are not regular files; a symbolic link to a file
// is, as on POSIX, where links are followed.
bool isRegular(DWORD attributes) {
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

}  // namespace

std::vector<std::u16string> findFiles(std::u16string_view directory, std::u16string_view pattern) {
    std::vector<std::u16string> names;
    const auto dirPath = systemPath(directory.empty() ? u"." : directory);
    if (!dirPath) return names;
    // Every entry is listed and matched here: the system's own matching
    // ignores letter case and also looks at the short 8.3 names.
    WIN32_FIND_DATAW entry{};
    const FindHandle find(win32::toWide(joinPath(win32::fromWide(*dirPath), u"*")), entry);
    if (!find.valid()) return names;
    do {
        if (!isRegular(entry.dwFileAttributes)) continue;
        std::u16string name = win32::fromWide(entry.cFileName);
        if (matchesNamePattern(name, pattern)) names.push_back(std::move(name));
    } while (FindNextFileW(find.get(), &entry));
    return names;
}

bool deleteFile(std::u16string_view path) {
    const auto name = systemPath(path);
    if (!name || name->empty()) return false;
    if (DeleteFileW(name->c_str())) return true;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

WholeFile readWholeFile(std::u16string_view path, size_t maxBytes, std::string& bytes) {
    const auto name = systemPath(path);
    if (!name || name->empty()) return WholeFile::unreadable;
    // FILE_SHARE_DELETE lets another process rename a new file over this
    // one while it is read.
    const FileHandle file(CreateFileW(name->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                                      nullptr));
    if (!file.valid()) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? WholeFile::missing
                                                                               : WholeFile::unreadable;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    LARGE_INTEGER size{};
    if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !GetFileSizeEx(file.get(), &size) ||
        size.QuadPart < 0)
        return WholeFile::unreadable;
    if (static_cast<uint64_t>(size.QuadPart) > maxBytes) return WholeFile::tooLarge;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD count = 0;
        const auto wanted = static_cast<DWORD>(std::min(bytes.size() - done, kMaxTransfer));
        if (!ReadFile(file.get(), bytes.data() + done, wanted, &count, nullptr)) return WholeFile::unreadable;
        if (count == 0) break;
        done += count;
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
    const std::wstring temporary = *name + L".tmp-" + std::to_wstring(GetCurrentProcessId());
    FileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file.valid()) return false;
    const HANDLE handle = file.get();
    const bool written = produce([handle](std::string_view bytes) { return writeAll(handle, bytes); });
    if (!file.close() || !written ||
        !MoveFileExW(temporary.c_str(), name->c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

std::string pathToUtf8(std::string_view path) {
    if (const auto wide = win32::narrowToWide(path, CP_ACP)) return win32::wideToUtf8(*wide);
    // A byte the ANSI code page leaves undefined, or a NUL: converted without
    // the strict check, so the rest of the name still reads right.
    const int size = static_cast<int>(std::min<size_t>(path.size(), 0x7FFFFFFF));
    std::wstring wide(static_cast<size_t>(size), L'\0');
    const int length = MultiByteToWideChar(CP_ACP, 0, path.data(), size, wide.data(), size);
    wide.resize(static_cast<size_t>(std::max(length, 0)));
    return win32::wideToUtf8(wide);
}

FileKind fileKind(std::string_view path) {
    const auto wide = win32::narrowToWide(path, CP_ACP);
    if (!wide || wide->empty()) return FileKind::unknown;
    const DWORD attributes = GetFileAttributesW(wide->c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return FileKind::unknown;
    return isRegular(attributes) ? FileKind::regular : FileKind::other;
}

}  // namespace postrix::platform
