// What the commands share: the host's options from the command line, a
// loaded plug-in, failures and the account list.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/send_outcome.h"
#include "core/session.h"
#include "store/known_settings.h"

namespace joxhost {

// The net class of the accounts joxhost drives.
inline constexpr char16_t kMailClass[] = u"MAIL";

// Prints the one-line failure (stderr, and an event on stdout) and returns
// the status to exit with.
int fail(Reporter& reporter, int status, const std::string& text);

// The profile directory for the command line, created when missing.
std::optional<std::filesystem::path> profileDirFor(const CommandLine& line, const Environment& environment,
                                                   Reporter& reporter);

// The CA file to trust besides the system's: --ca-file, else the one saved
// in the profile (host/caFile), else "". Nothing, after printing why, when
// the saved file is gone.
std::optional<std::string> caFileFor(const CommandLine& line, const std::filesystem::path& profileDir,
                                     Reporter& reporter);

// A host with the plug-in loaded, or null after printing why.
std::unique_ptr<Session> openSession(asio::io_context& io, const CommandLine& line,
                                     const Environment& environment, Reporter& reporter);

void printAccount(Reporter& reporter, const ListedAccount& account);

// The mail account at a position of the plug-in's list.
std::optional<ListedAccount> accountAt(Host& host, int position, size_t* count = nullptr);

// Runs the loop until the send the plug-in started has its outcome or the
// time runs out, prints it and returns the exit status: 0 after the success
// notice, 1 after a failure or without an outcome in time. command names the
// command in the time-out line, to the recipients in the success line.
// Meanwhile the send's progress shows (cli/send_progress.h), of about
// expectedBytes when known.
int awaitSendOutcome(Session& session, asio::io_context& io, const SendOutcome& outcome, int timeoutSeconds,
                     Reporter& reporter, const std::string& command, const std::string& to,
                     int64_t expectedBytes = 0);

// The failure line of a command during which a settings file could not be
// written.
std::string settingsNotSaved(const std::string& command, const SettingsService& settings);

// The bad-usage line of a command given a position the list does not have.
std::string noAccountAt(const std::string& command, int position, size_t count);

// The settings file of the account with an id: the plug-in captions the
// main account's options page "Mail" and profile P's "Mail - P". Nothing
// when the account has no page.
std::optional<std::filesystem::path> accountSettingsPath(Host& host, int32_t accountId);

// Why the account at a position cannot start the task, naming the keys its
// file lacks ("check: account 0 cannot check mail: missing MAIL/pop3Server,
// MAIL/password"); "" when its settings are complete or its file unknown.
std::string incompleteSettings(Host& host, const ListedAccount& account, AccountTask task,
                               const std::string& command);
// The same line for settings at hand, of the account at that position.
std::string incompleteSettingsText(const SettingValues& values, int position, AccountTask task,
                                   const std::string& command);

// The names joxhost derives from an account id, as the plug-in registers them.
std::u16string sendServiceName(int32_t accountId);
std::u16string mailTimerName(int32_t accountId);

}  // namespace joxhost
