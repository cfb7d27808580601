#include "store/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "store/settings_lock.h"

namespace joxhost {
namespace {

std::string errnoText(const std::string& what, const std::filesystem::path& path) {
    return what + " " + path.string() + ": " + std::strerror(errno);
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Reads the whole file, refusing one larger than kMaxSettingsFileSize before
// reading any of it.
bool readBytes(int fd, const std::filesystem::path& path, std::string& text, std::string* error) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        if (error) *error = errnoText("cannot read", path);
        return false;
    }
    if (info.st_size > static_cast<off_t>(kMaxSettingsFileSize)) {
        if (error) {
            *error = "settings file " + path.string() + " is " + std::to_string(info.st_size) +
                     " bytes, more than the " + std::to_string(kMaxSettingsFileSize >> 20) + " MiB allowed";
        }
        return false;
    }
    text.reserve(static_cast<size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (error) *error = errnoText("cannot read", path);
            return false;
        }
        if (n == 0) return true;
        if (text.size() + static_cast<size_t>(n) > kMaxSettingsFileSize) {
            if (error) *error = "settings file " + path.string() + " grew past the size allowed while being read";
            return false;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
}

// The file's bytes; exists is false (and text empty) for a missing file.
bool readFile(const std::filesystem::path& path, bool& exists, std::string& text, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    exists = fd >= 0;
    if (!exists) {
        if (errno == ENOENT) return true;
        if (error) *error = errnoText("cannot open", path);
        return false;
    }
    const bool read = readBytes(fd, path, text, error);
    ::close(fd);
    return read;
}

void syncDirectory(const std::filesystem::path& directory) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

std::filesystem::path directoryOf(const std::filesystem::path& path) {
    return path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
}

}  // namespace

bool refreshSettings(const std::filesystem::path& path, LoadedSettings& settings, std::string* error) {
    bool exists = false;
    std::string text;
    if (!readFile(path, exists, text, error)) return false;
    settings.errors.clear();
    if (exists == settings.exists && text == settings.text) return true;
    settings.document = SettingsDocument::parse(text, &settings.errors);
    settings.exists = exists;
    settings.text = std::move(text);
    return true;
}

bool updateSettingsFile(const std::filesystem::path& path, const SettingValues& changes, LoadedSettings& settings,
                        std::string* error) {
    const auto lock = SettingsLock::acquire(directoryOf(path), error);
    if (!lock) return false;
    LoadedSettings current = settings;
    if (!refreshSettings(path, current, error)) return false;
    bool changed = !current.exists;
    for (const auto& [key, value] : changes) changed |= current.document.set(key, value);
    if (changed) {
        std::string text = current.document.text();
        if (!saveSettingsFile(path, text, error)) return false;
        current.text = std::move(text);
        current.exists = true;
    }
    settings = std::move(current);
    return true;
}

bool saveSettingsFile(const std::filesystem::path& path, std::string_view text, std::string* error) {
    // A name of its own: another process may be saving beside it.
    std::string temporary = path.string() + ".tmp-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = errnoText("cannot create a temporary file for", path);
        return false;
    }
    // mkostemp creates it 0600; set the mode anyway, as the file's promise.
    const bool written = ::fchmod(fd, 0600) == 0 && writeAll(fd, text) && ::fsync(fd) == 0;
    if (!written) {
        if (error) *error = errnoText("cannot write", temporary);
        ::close(fd);
        ::unlink(temporary.c_str());
        return false;
    }
    if (::close(fd) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
        if (error) *error = errnoText("cannot replace", path);
        ::unlink(temporary.c_str());
        return false;
    }
    syncDirectory(directoryOf(path));
    return true;
}

}  // namespace joxhost
