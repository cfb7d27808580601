// config: writes (or shows) an account's settings file directly, without
// loading the plug-in, and joxhost's own settings of the profile (host/...).
// Keys and value types come from the table in store/known_settings.h.
#include <iostream>

#include "cli/command_support.h"
#include "cli/password_input.h"
#include "core/utf.h"
#include "store/known_settings.h"
#include "store/profile.h"
#include "store/settings_file.h"

namespace joxhost {
namespace {

constexpr char16_t kPasswordKey[] = u"MAIL/password";

bool isSecret(const std::string& key) {
    return key.find("password") != std::string::npos;
}

struct Changes {
    SettingValues account;
    SettingValues host;  // joxhost.settings
};

// Every KEY=VALUE checked against the table; the bad-usage line on the
// first that is refused.
std::optional<std::string> collect(const CommandLine& line, Changes& changes) {
    for (const auto& pair : line.arguments) {
        const size_t eq = pair.find('=');
        const std::string key = pair.substr(0, eq);
        const std::string text = pair.substr(eq + 1);
        const KnownSetting* setting = findSetting(key);
        if (!setting) {
            if (!line.anyKey) return "config: " + unknownSettingText(key);
            const auto parsed = parseUntypedValue(text);
            if (!parsed.value) return "config: " + parsed.problem;
            changes.account[toUtf16(key)] = *parsed.value;
            continue;
        }
        auto parsed = parseSettingValue(*setting, text);
        if (!parsed.value) return "config: " + parsed.problem;
        if (setting->home == SettingHome::Account) {
            changes.account[toUtf16(key)] = *parsed.value;
            continue;
        }
        if (!line.profileName.empty()) {
            return "config: " + key + " holds for the whole profile: give it without --profile-name";
        }
        if (setting->kind == SettingKind::Path && !parsed.value->text.empty()) {
            // Later commands run from anywhere: keep the file's full name.
            std::error_code error;
            const auto path = std::filesystem::absolute(toUtf8(parsed.value->text), error);
            if (error || !std::filesystem::is_regular_file(path, error)) {
                return "config: " + key + ": no such file " + toUtf8(parsed.value->text);
            }
            parsed.value->text = toUtf16(path.string());
        }
        changes.host[toUtf16(key)] = *parsed.value;
    }
    return std::nullopt;
}

// The password from standard input or the terminal, when asked for.
std::optional<std::string> readPassword(const CommandLine& line, Changes& changes) {
    if (!line.passwordStdin && !line.passwordPrompt) return std::nullopt;
    if (changes.account.count(kPasswordKey)) return "config: the password is given twice";
    std::string password;
    if (line.passwordStdin) {
        password = firstLine(std::cin);
    } else {
        const auto typed = promptPassword("Password: ");
        if (!typed) return "config: --password asks on a terminal; with other input use --password-stdin";
        password = *typed;
    }
    if (password.empty()) return "config: the password is empty";
    changes.account[kPasswordKey] = SettingValue::ofText(toUtf16(password));
    return std::nullopt;
}

void showSettings(const SettingsDocument& document, Reporter& reporter) {
    for (const auto& [key, value] : document.values()) {
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
}

// Reads a settings file, reporting the lines it could not take.
bool load(const std::filesystem::path& path, LoadedSettings& loaded, Reporter& reporter, std::string* error) {
    if (!refreshSettings(path, loaded, error)) return false;
    for (const auto& why : loaded.errors)
        reporter.emit(Event("host-error").add("text", path.string() + ": " + why));
    return true;
}

bool write(const std::filesystem::path& path, const SettingValues& changes, Reporter& reporter,
           std::string* error) {
    if (changes.empty()) return true;
    LoadedSettings loaded;
    if (!load(path, loaded, reporter, error) || !updateSettingsFile(path, changes, loaded, error))
        return false;
    // Values are not echoed: one of them is the password.
    for (const auto& [key, value] : changes) {
        reporter.emit(Event("config")
                          .add("file", path.string())
                          .add("key", toUtf8(key))
                          .add("type", value.type == SettingValue::Type::Int ? "int" : "text"));
    }
    return true;
}

}  // namespace

int configCommand(const CommandLine& line, const Environment& environment, Reporter& reporter) {
    if (!line.profileName.empty()) {
        if (const auto problem = profileNameProblem(line.profileName)) {
            return fail(reporter, kExitUsage, "config: " + *problem);
        }
    }
    Changes changes;
    if (auto problem = collect(line, changes)) return fail(reporter, kExitUsage, *problem);
    if (auto problem = readPassword(line, changes)) return fail(reporter, kExitUsage, *problem);

    const auto dir = profileDirFor(line, environment, reporter);
    if (!dir) return kExitFailed;
    const auto path = *dir / accountFileName(line.profileName);
    const auto hostPath = *dir / kHostSettingsFileName;
    std::string error;
    if (changes.account.empty() && changes.host.empty()) {
        LoadedSettings account, host;
        if (!load(path, account, reporter, &error)) return fail(reporter, kExitFailed, error);
        if (!load(hostPath, host, reporter, &error)) return fail(reporter, kExitFailed, error);
        showSettings(account.document, reporter);
        showSettings(host.document, reporter);
        return kExitOk;
    }
    if (!write(path, changes.account, reporter, &error) || !write(hostPath, changes.host, reporter, &error)) {
        return fail(reporter, kExitFailed, error);
    }
    return kExitOk;
}

}  // namespace joxhost
