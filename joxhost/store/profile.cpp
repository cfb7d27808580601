#include "store/profile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "core/beside_executable.h"
#include "core/utf.h"
#include "postrix/abi/records_plugin.h"

namespace joxhost {

namespace {
bool set(const char* value) { return value && *value; }
}  // namespace

std::filesystem::path chooseProfileDir(const std::string& option, const char* joxhostProfile,
                                       const char* xdgDataHome, const char* home) {
    if (!option.empty()) return option;
    if (set(joxhostProfile)) return joxhostProfile;
    if (set(xdgDataHome)) return std::filesystem::path(xdgDataHome) / "joxhost";
    return std::filesystem::path(set(home) ? home : ".") / ".local" / "share" / "joxhost";
}

std::filesystem::path choosePluginPath(const std::string& option) {
    return option.empty() ? besideExecutable("postrix.so") : std::filesystem::path(option);
}

bool ensureDirectory(const std::filesystem::path& dir, std::string* error) {
    std::error_code ec;
    if (std::filesystem::is_directory(dir, ec)) return true;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        if (error) *error = "cannot create " + dir.string() + ": " + ec.message();
        return false;
    }
    ::chmod(dir.c_str(), 0700);
    return true;
}

std::string accountFileName(const std::string& profileName) {
    return profileName.empty() ? "postrix.config" : "postrix_" + profileName + ".config";
}

std::optional<std::string> profileNameProblem(const std::string& name) {
    if (name.empty()) return "the profile name is empty";
    if (toUtf16(name).size() > 32) return "the profile name is longer than 32 characters";
    if (name.find_first_of("/\\") != std::string::npos) return "the profile name contains a path separator";
    if (name == "." || name == "..") return "the profile name is not a file name";
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20) return "the profile name contains a control character";
    }
    return std::nullopt;
}

void ProfileDirectory::install(ServiceRegistry& services) {
    services.addHostService(u"JOX/GetDirectoryLocation",
                            [this](uintptr_t w, uintptr_t) { return get(reinterpret_cast<const void*>(w)); });
}

int64_t ProfileDirectory::get(const void* recordPointer) const {
    const auto* r = static_cast<const postrix::DirectoryRecord*>(recordPointer);
    if (!r || !r->buffer || r->capacity <= 0) return 1;
    std::string text = dir_.string();
    if (text.empty() || text.back() != '/') text += '/';
    const std::u16string wide = toUtf16(text);
    // A cut path would name another directory: refuse instead.
    if (wide.size() + 1 > static_cast<size_t>(r->capacity)) return 1;
    std::memcpy(r->buffer, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
    return 0;
}

}  // namespace joxhost
