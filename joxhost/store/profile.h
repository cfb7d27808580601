// Where joxhost keeps its files and finds the plug-in, and the service
// "JOX/GetDirectoryLocation" that names the profile directory.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "core/service_registry.h"

namespace joxhost {

// --profile DIR, else $JOXHOST_PROFILE, else $XDG_DATA_HOME/joxhost, else
// $HOME/.local/share/joxhost. Empty values count as unset.
std::filesystem::path chooseProfileDir(const std::string& option, const char* joxhostProfile,
                                       const char* xdgDataHome, const char* home);

// --plugin PATH, else postrix.so beside the running executable.
std::filesystem::path choosePluginPath(const std::string& option);

// Creates the directory (0700) and its parents; the reason on failure.
bool ensureDirectory(const std::filesystem::path& dir, std::string* error);

// The name of an account's settings file: postrix.config for the main
// account, postrix_P.config for profile P.
std::string accountFileName(const std::string& profileName);

// joxhost's own settings of the profile (host/caFile), beside the
// plug-in's files, in the same format; the plug-in reads only
// postrix*.config.
inline constexpr char kHostSettingsFileName[] = "joxhost.settings";

// Why a profile name cannot name a file, or nothing when it can.
std::optional<std::string> profileNameProblem(const std::string& name);

class ProfileDirectory {
public:
    explicit ProfileDirectory(std::filesystem::path dir) : dir_(std::move(dir)) {}

    void install(ServiceRegistry& services);
    // Fills the record's buffer with the directory and a trailing separator;
    // 1 (nothing written) when it does not fit.
    int64_t get(const void* record) const;

    const std::filesystem::path& path() const { return dir_; }

private:
    std::filesystem::path dir_;
};

}  // namespace joxhost
