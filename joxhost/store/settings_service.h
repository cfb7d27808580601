// "JOX/Settings/InitEx", "Read", "Write", "Get", "Set", "Destroy": settings
// files in the profile directory, opened by handle.
#pragma once

#include <filesystem>
#include <map>

#include "core/reporter.h"
#include "core/service_registry.h"
#include "store/settings_file.h"

namespace joxhost {

class SettingsService {
public:
    SettingsService(std::filesystem::path profileDir, Reporter& reporter)
        : profileDir_(std::move(profileDir)), reporter_(reporter) {}

    void install(ServiceRegistry& services);

    // The services themselves (public for tests).
    int64_t initEx(const char16_t* path, void* handleOut);
    int64_t read(int64_t handle);
    int64_t write(int64_t handle);
    int64_t get(void* record);
    int64_t set(const void* record);
    int64_t destroy(int64_t handle);

    // The file a name handed to InitEx stands for: relative names live in the
    // profile directory.
    std::filesystem::path resolve(const std::u16string& name) const;
    size_t openCount() const { return open_.size(); }
    // How many times a file could not be created or written; a command
    // whose plug-in call saved nothing fails by this.
    int failedWrites() const { return failedWrites_; }
    const std::string& lastWriteError() const { return lastWriteError_; }

private:
    // The file as read, and the values set since: Write merges these into
    // the file as it is then, Read drops them.
    struct OpenFile {
        std::filesystem::path path;
        LoadedSettings settings;
        SettingValues pending;
    };

    OpenFile* find(int64_t handle);
    void warn(const std::string& text);
    bool refresh(OpenFile& file);
    bool update(OpenFile& file);
    static const SettingValue* valueOf(const OpenFile& file, const std::u16string& key);

    std::filesystem::path profileDir_;
    Reporter& reporter_;
    std::map<int64_t, OpenFile> open_;
    int64_t nextHandle_ = 1;
    int failedWrites_ = 0;
    std::string lastWriteError_;
};

}  // namespace joxhost
