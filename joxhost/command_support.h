// What the commands share: the host's options from the command line, a
// loaded plug-in, failures and the account list.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "session.h"

namespace joxhost {

// The net class of the accounts joxhost drives.
inline constexpr char16_t kMailClass[] = u"MAIL";

// Prints the one-line failure (stderr, and an event on stdout) and returns
// the status to exit with.
int fail(Reporter& reporter, int status, const std::string& text);

// The profile directory for the command line, created when missing.
std::optional<std::filesystem::path> profileDirFor(const CommandLine& line, const Environment& environment,
                                                   Reporter& reporter);

// A host with the plug-in loaded, or null after printing why.
std::unique_ptr<Session> openSession(asio::io_context& io, const CommandLine& line,
                                     const Environment& environment, Reporter& reporter);

void printAccount(Reporter& reporter, const ListedAccount& account);

// The mail account at a position of the plug-in's list.
std::optional<ListedAccount> accountAt(Host& host, int position, size_t* count = nullptr);

// The names joxhost derives from an account id, as the plug-in registers them.
std::u16string sendServiceName(int32_t accountId);
std::u16string mailTimerName(int32_t accountId);

}  // namespace joxhost
