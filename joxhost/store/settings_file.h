// A settings file on disk; settings_format.h describes its text.
//
// Reading refuses a file larger than kMaxSettingsFileSize and parses the
// text only when it differs from what was read before. Every change is a
// read-merge-write under the directory's settings lock: joxhost processes
// sharing a profile take turns, each writes a temporary file of its own
// (mode 0600), syncs it and renames it over the file, so no process loses
// another one's values and none removes another one's temporary file.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "store/settings_format.h"

namespace joxhost {

inline constexpr size_t kMaxSettingsFileSize = size_t{16} << 20;

struct LoadedSettings {
    bool exists = false;
    std::string text;  // the bytes on disk that document was read from
    SettingsDocument document;
    std::vector<std::string> errors;  // "line N: why" of the latest parse
};

// Reads the file into settings; a missing file is an empty document. The
// text is parsed again only when it changed; errors then holds the lines
// the reader could not take. On failure settings stay as they were.
bool refreshSettings(const std::filesystem::path& path, LoadedSettings& settings, std::string* error);

// Under the lock: reads the file again, sets changes and writes it when
// anything differs or the file is missing. settings then hold what was
// written; on failure the file and settings keep their old content.
bool updateSettingsFile(const std::filesystem::path& path, const SettingValues& changes, LoadedSettings& settings,
                        std::string* error);

// Writes text to a temporary file beside path, syncs it, renames it over
// path and syncs the directory. Callers hold the settings lock.
bool saveSettingsFile(const std::filesystem::path& path, std::string_view text, std::string* error);

}  // namespace joxhost
