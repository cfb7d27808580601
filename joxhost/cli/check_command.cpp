// check: one mail check of an account, as its timer's "check now" starts it,
// then the loop runs until the check is over. New mail shows as in `run`.
#include "cli/command_support.h"
#include "cli/work_outcome.h"

namespace joxhost {

int checkCommand(const CommandLine& line, const Environment& environment, Reporter& reporter) {
    const int position = *parseIndex(line.arguments[0]);
    asio::io_context io;
    auto session = openSession(io, line, environment, reporter);
    if (!session) return kExitFailed;
    Host& host = session->host();
    size_t count = 0;
    const auto account = accountAt(host, position, &count);
    if (!account) return fail(reporter, kExitUsage, noAccountAt("check", position, count));
    // The plug-in starts no check without these and says nothing about it.
    if (const auto missing = incompleteSettings(host, *account, AccountTask::Check, "check");
        !missing.empty()) {
        return fail(reporter, kExitNothingStarted, missing);
    }

    WorkOutcome outcome(WorkOutcome::Kind::Check, account->id);
    const ReporterTap tap(reporter, [&outcome](const Event& event) { outcome.observe(event); });
    if (!startCheck(host, account->id)) {
        return fail(reporter, kExitNothingStarted,
                    "check: account " + std::to_string(position) + " has no mail-check timer");
    }
    reporter.detail(Event("check").add("account", position).add("id", account->id));
    if (!outcome.started() && !outcome.failed()) {
        return fail(reporter, kExitNothingStarted,
                    "check: the plug-in started no check of account " + std::to_string(position) +
                        " (it checks none while its probe host, $POSTRIX_PROBE_HOST or "
                        "one.one.one.one, does not answer)");
    }

    awaitOutcome(*session, outcome, std::chrono::seconds(line.timeoutSeconds));
    if (outcome.failed()) return fail(reporter, kExitFailed, "check: " + outcome.reason());
    if (!outcome.decided()) {
        return fail(
            reporter, kExitFailed,
            "check: the check did not end within " + std::to_string(line.timeoutSeconds) + " seconds");
    }
    return kExitOk;
}

}  // namespace joxhost
