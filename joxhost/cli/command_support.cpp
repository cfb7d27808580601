#include "cli/command_support.h"

#include <cstdio>
#include <memory>

#include "cli/send_progress.h"
#include "store/profile.h"
#include "store/settings_file.h"
#include "core/utf.h"

namespace joxhost {

int fail(Reporter& reporter, int status, const std::string& text) {
    // A failure of the plug-in's that was just printed is not said twice.
    if (!reporter.printedFailure(text)) std::fprintf(stderr, "joxhost: %s\n", text.c_str());
    if (reporter.json()) reporter.emit(Event("host-error").add("text", text).add("status", status));
    return status;
}

std::string settingsNotSaved(const std::string& command, const SettingsService& settings) {
    return command + ": the settings were not saved: " + settings.lastWriteError();
}

std::optional<std::filesystem::path> profileDirFor(const CommandLine& line, const Environment& environment,
                                                   Reporter& reporter) {
    std::error_code ignored;
    const auto dir = std::filesystem::absolute(
        chooseProfileDir(line.profileDir, environment.joxhostProfile, environment.xdgDataHome, environment.home),
        ignored);
    std::string error;
    if (!ensureDirectory(dir, &error)) {
        fail(reporter, kExitFailed, error);
        return std::nullopt;
    }
    return dir;
}

std::optional<std::string> caFileFor(const CommandLine& line, const std::filesystem::path& profileDir,
                                     Reporter& reporter) {
    std::string caFile = line.caFile;
    const char* source = "given with --ca-file";
    if (caFile.empty()) {
        const auto path = profileDir / kHostSettingsFileName;
        LoadedSettings saved;
        std::string error;
        if (!refreshSettings(path, saved, &error)) {
            fail(reporter, kExitFailed, error);
            return std::nullopt;
        }
        const auto& values = saved.document.values();
        const auto found = values.find(toUtf16(kCaFileKey));
        if (found == values.end() || found->second.type != SettingValue::Type::Text) return "";
        caFile = toUtf8(found->second.text);
        source = "saved in the profile (host/caFile)";
    }
    // Only that the file is there is checked here: OpenSSL reads it when the
    // first connection starts, and a file it cannot use fails that
    // connection's TLS with the reason.
    std::error_code ignored;
    if (!caFile.empty() && !std::filesystem::is_regular_file(caFile, ignored)) {
        fail(reporter, kExitFailed, "the CA file " + std::string(source) + " does not exist: " + caFile);
        return std::nullopt;
    }
    return caFile;
}

std::unique_ptr<Session> openSession(asio::io_context& io, const CommandLine& line,
                                     const Environment& environment, Reporter& reporter) {
    const auto dir = profileDirFor(line, environment, reporter);
    if (!dir) return nullptr;
    const auto caFile = caFileFor(line, *dir, reporter);
    if (!caFile) return nullptr;
    HostOptions options;
    options.profileDir = *dir;
    options.net.caFile = *caFile;
    if (environment.minuteMs && *environment.minuteMs) {
        const auto minuteMs = parseIndex(environment.minuteMs);
        if (!minuteMs || *minuteMs < 1 || *minuteMs > 60000) {
            fail(reporter, kExitFailed,
                 std::string("JOXHOST_MINUTE_MS must be a number of milliseconds from 1 to 60000, not '") +
                     environment.minuteMs + "'");
            return nullptr;
        }
        options.mailTimerMinute = std::chrono::milliseconds(*minuteMs);
    }
    auto session = std::make_unique<Session>(io, reporter, options);
    std::string error;
    if (!session->load(choosePluginPath(line.pluginPath), &error)) {
        fail(reporter, kExitFailed, error);
        return nullptr;
    }
    return session;
}

void printAccount(Reporter& reporter, const ListedAccount& account) {
    reporter.emit(Event("account")
                      .add("position", account.position)
                      .add("id", account.id)
                      .add("name", account.name)
                      .add("main", !account.isProfile)
                      .add("note", account.secondText));
}

std::optional<ListedAccount> accountAt(Host& host, int position, size_t* count) {
    const auto accounts = host.accounts.list(kMailClass);
    if (count) *count = accounts.size();
    if (position < 0 || static_cast<size_t>(position) >= accounts.size()) return std::nullopt;
    return accounts[static_cast<size_t>(position)];
}

std::optional<std::filesystem::path> accountSettingsPath(Host& host, int32_t accountId) {
    const auto page = host.optionsPages.pages().find(toUtf16("MAIL/Options/" + std::to_string(accountId)));
    if (page == host.optionsPages.pages().end()) return std::nullopt;
    const std::string& caption = page->second.caption;
    constexpr std::string_view kMain = "Mail", kProfile = "Mail - ";
    if (caption == kMain) return host.options.profileDir / accountFileName("");
    if (caption.starts_with(kProfile) && caption.size() > kProfile.size())
        return host.options.profileDir / accountFileName(caption.substr(kProfile.size()));
    return std::nullopt;
}

std::string incompleteSettings(Host& host, const ListedAccount& account, AccountTask task,
                               const std::string& command) {
    const auto path = accountSettingsPath(host, account.id);
    if (!path) return "";
    LoadedSettings loaded;
    // The plug-in says itself what it could not read.
    if (!refreshSettings(*path, loaded, nullptr)) return "";
    return incompleteSettingsText(loaded.document.values(), account.position, task, command);
}

std::string incompleteSettingsText(const SettingValues& values, int position, AccountTask task,
                                   const std::string& command) {
    const auto missing = missingSettings(values, task);
    if (missing.empty()) return "";
    const std::string who = command + ": account " + std::to_string(position);
    if (task == AccountTask::Check && missing == std::vector<std::string>{"MAIL/pop3Server"})
        return who + " has no POP3 server (MAIL/pop3Server is empty): it checks no mail";
    if (task == AccountTask::Check && missing == std::vector<std::string>{"MAIL/imapServer"})
        return who + " has no IMAP server (MAIL/imapServer is empty): it checks no mail";
    std::string text = who + (task == AccountTask::Check ? " cannot check mail" : " cannot send mail");
    text += ": missing ";
    for (size_t i = 0; i < missing.size(); ++i) text += (i ? ", " : "") + missing[i];
    return text;
}

std::u16string sendServiceName(int32_t accountId) {
    return toUtf16("MAIL/" + std::to_string(accountId) + "/PFMessageSend");
}

std::u16string mailTimerName(int32_t accountId) {
    return toUtf16("MAIL/" + std::to_string(accountId) + "/mailRecvTimer");
}

std::string noAccountAt(const std::string& command, int position, size_t count) {
    return command + ": no account at position " + std::to_string(position) + " (there are " +
           std::to_string(count) + ")";
}

int awaitSendOutcome(Session& session, asio::io_context& io, const SendOutcome& outcome, int timeoutSeconds,
                     Reporter& reporter, const std::string& command, const std::string& to,
                     int64_t expectedBytes) {
    const SendProgress progress(session.host(), expectedBytes);
    // The wait's handler runs even when cancelled, after this returns: it
    // shares the flag rather than pointing into this frame.
    const auto timedOut = std::make_shared<bool>(false);
    asio::steady_timer deadline(io, std::chrono::seconds(timeoutSeconds));
    deadline.async_wait([timedOut](const std::error_code& error) { *timedOut = !error; });
    session.runUntil([&] { return outcome.decided() || *timedOut; });
    deadline.cancel();

    switch (outcome.state()) {
        case SendOutcome::State::Sent:
            reporter.emit(Event("sent").add("to", to));
            return kExitOk;
        case SendOutcome::State::Failed:
            reporter.emit(Event("send-failed").add("reason", outcome.reason()));
            return kExitFailed;
        case SendOutcome::State::Waiting:
            break;
    }
    return fail(reporter, kExitFailed,
                command + ": no outcome within " + std::to_string(timeoutSeconds) + " seconds");
}

}  // namespace joxhost
