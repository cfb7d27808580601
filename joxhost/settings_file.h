// One settings file: typed values by key, kept as readable UTF-8 text.
//
//   # comment
//   MAIL/checkInterval = int:5
//   MAIL/mail = text:"jan@example.com"
//
// Texts are quoted with \" \\ \n \r \t and \uXXXX escapes; a \uXXXX also
// carries a UTF-16 unit that UTF-8 cannot (a lone surrogate), so every value
// the plug-in stores comes back unit for unit. Keys outside [A-Za-z0-9_./-]
// are quoted the same way. Saving is atomic and the file is private (0600).
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace joxhost {

struct SettingValue {
    enum class Type { Int, Text };
    Type type = Type::Int;
    int64_t integer = 0;
    std::u16string text;

    static SettingValue ofInt(int64_t v) { return {Type::Int, v, {}}; }
    static SettingValue ofText(std::u16string v) { return {Type::Text, 0, std::move(v)}; }
    bool operator==(const SettingValue&) const = default;
};

using SettingValues = std::map<std::u16string, SettingValue>;

struct ParsedSettings {
    SettingValues values;
    std::vector<std::string> errors;  // "line N: why", one per rejected line
};

std::string serializeSettings(const SettingValues& values);
ParsedSettings parseSettings(std::string_view text);

// Reads the file; a missing file is an empty set without errors.
std::optional<ParsedSettings> loadSettingsFile(const std::filesystem::path& path, std::string* error);

// Writes a temporary file beside path (mode 0600), syncs it, renames it over
// path and syncs the directory. On failure path keeps its old content.
bool saveSettingsFile(const std::filesystem::path& path, const SettingValues& values,
                      std::string* error);

}  // namespace joxhost
