// accounts, account-add and account-remove: the account window's three
// events, run on a freshly loaded plug-in.
#include "cli/command_support.h"
#include "store/profile.h"
#include "core/utf.h"

namespace joxhost {

int accountsCommand(const CommandLine& line, const Environment& environment, Reporter& reporter) {
    asio::io_context io;
    auto session = openSession(io, line, environment, reporter);
    if (!session) return kExitFailed;
    Host& host = session->host();
    if (!host.accounts.hasInterface(kMailClass)) {
        return fail(reporter, kExitFailed, "the plug-in offers no account window for MAIL");
    }
    for (const auto& account : host.accounts.list(kMailClass)) printAccount(reporter, account);
    return kExitOk;
}

int accountAddCommand(const CommandLine& line, const Environment& environment, Reporter& reporter) {
    const std::string& name = line.arguments[0];
    if (const auto problem = profileNameProblem(name)) return fail(reporter, kExitUsage, "account-add: " + *problem);
    asio::io_context io;
    auto session = openSession(io, line, environment, reporter);
    if (!session) return kExitFailed;
    Host& host = session->host();
    if (!host.accounts.hasInterface(kMailClass)) {
        return fail(reporter, kExitFailed, "the plug-in offers no account window for MAIL");
    }
    const int32_t lastBefore = host.protocols.lastAdded();
    const int failedWritesBefore = host.settings.failedWrites();
    if (!host.accounts.add(kMailClass, toUtf16(name))) {
        return fail(reporter, kExitFailed, "account-add: the plug-in did not ask for a profile name");
    }
    const int32_t id = host.protocols.lastAdded();
    if (id == lastBefore) return fail(reporter, kExitFailed, "account-add: the plug-in added no account");
    // Without its file the account is gone with this process.
    if (host.settings.failedWrites() != failedWritesBefore) {
        return fail(reporter, kExitFailed, settingsNotSaved("account-add", host.settings));
    }
    reporter.emit(Event("account-added").add("id", id).add("name", name));
    return kExitOk;
}

int accountRemoveCommand(const CommandLine& line, const Environment& environment, Reporter& reporter) {
    const int position = *parseIndex(line.arguments[0]);
    asio::io_context io;
    auto session = openSession(io, line, environment, reporter);
    if (!session) return kExitFailed;
    Host& host = session->host();
    if (!host.accounts.hasInterface(kMailClass)) {
        return fail(reporter, kExitFailed, "the plug-in offers no account window for MAIL");
    }
    size_t count = 0;
    const auto account = accountAt(host, position, &count);
    if (!account) return fail(reporter, kExitUsage, noAccountAt("account-remove", position, count));
    if (!account->isProfile) {
        return fail(reporter, kExitUsage,
                    "account-remove: account " + std::to_string(position) +
                        " is the main account, which cannot be removed");
    }
    host.accounts.remove(kMailClass, account->id);
    if (host.protocols.instances().count(account->id) != 0) {
        return fail(reporter, kExitFailed, "account-remove: the plug-in kept the account (see its log)");
    }
    reporter.emit(Event("account-removed").add("id", account->id).add("name", account->name));
    return kExitOk;
}

}  // namespace joxhost
