// config: writes (or shows) an account's settings file directly, without
// loading the plug-in.
#include "cli/command_support.h"
#include "store/profile.h"
#include "store/settings_file.h"
#include "core/utf.h"

#include <charconv>

namespace joxhost {
namespace {

// "int:N" is an integer, "text:T" and anything else a text.
std::optional<SettingValue> parseValue(const std::string& text) {
    if (text.starts_with("int:")) {
        const std::string digits = text.substr(4);
        int64_t n = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
        if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
        return SettingValue::ofInt(n);
    }
    if (text.starts_with("text:")) return SettingValue::ofText(toUtf16(text.substr(5)));
    return SettingValue::ofText(toUtf16(text));
}

bool isSecret(const std::string& key) { return key.find("password") != std::string::npos; }

}  // namespace

int configCommand(const CommandLine& line, const Environment& environment, Reporter& reporter) {
    if (!line.profileName.empty()) {
        if (const auto problem = profileNameProblem(line.profileName)) {
            return fail(reporter, kExitUsage, "config: " + *problem);
        }
    }
    SettingValues changes;
    for (const auto& pair : line.arguments) {
        const size_t eq = pair.find('=');
        const auto value = parseValue(pair.substr(eq + 1));
        if (!value) return fail(reporter, kExitUsage, "config: not an integer in '" + pair + "'");
        changes[toUtf16(pair.substr(0, eq))] = *value;
    }
    const auto dir = profileDirFor(line, environment, reporter);
    if (!dir) return kExitFailed;
    const auto path = *dir / accountFileName(line.profileName);
    std::string error;
    LoadedSettings loaded;
    if (!refreshSettings(path, loaded, &error)) return fail(reporter, kExitFailed, error);
    for (const auto& why : loaded.errors) reporter.emit(Event("host-error").add("text", path.string() + ": " + why));

    if (changes.empty()) {
        for (const auto& [key, value] : loaded.document.values()) {
            const std::string name = toUtf8(key);
            Event event("setting");
            event.add("key", name).add("type", value.type == SettingValue::Type::Int ? "int" : "text");
            if (isSecret(name)) {
                event.add("value", "********");
            } else if (value.type == SettingValue::Type::Int) {
                event.add("value", value.integer);
            } else {
                event.add("value", toUtf8(value.text));
            }
            reporter.emit(event);
        }
        return kExitOk;
    }
    if (!updateSettingsFile(path, changes, loaded, &error)) return fail(reporter, kExitFailed, error);
    // Values are not echoed: one of them is the password.
    for (const auto& [key, value] : changes) {
        reporter.emit(Event("config")
                          .add("file", path.string())
                          .add("key", toUtf8(key))
                          .add("type", value.type == SettingValue::Type::Int ? "int" : "text"));
    }
    return kExitOk;
}

}  // namespace joxhost
