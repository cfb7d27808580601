#include "store/settings_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace joxhost {

std::optional<SettingsLock> SettingsLock::acquire(const std::filesystem::path& directory, std::string* error) {
    const auto path = directory / ".settings.lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (error) *error = "cannot open " + path.string() + ": " + std::strerror(errno);
        return std::nullopt;
    }
    int result = 0;
    while ((result = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (result != 0) {
        if (error) *error = "cannot lock " + path.string() + ": " + std::strerror(errno);
        ::close(fd);
        return std::nullopt;
    }
    return SettingsLock(fd);
}

SettingsLock::~SettingsLock() {
    if (fd_ >= 0) ::close(fd_);  // closing the only descriptor releases the lock
}

}  // namespace joxhost
