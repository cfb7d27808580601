// The lock joxhost processes take before changing a settings file: an
// exclusive flock on ".settings.lock" in the file's directory, held while
// the object lives. The lock file stays; removing it would let two
// processes lock two different files.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>

namespace joxhost {

class SettingsLock {
public:
    // Waits for the lock; nothing, with the reason, when it cannot be taken.
    static std::optional<SettingsLock> acquire(const std::filesystem::path& directory, std::string* error);

    SettingsLock(SettingsLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    SettingsLock& operator=(SettingsLock&&) = delete;
    SettingsLock(const SettingsLock&) = delete;
    ~SettingsLock();

private:
    explicit SettingsLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

}  // namespace joxhost
