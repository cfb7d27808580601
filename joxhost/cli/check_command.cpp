// check: one mail check of an account, as its timer's "check now" starts it,
// then the loop runs until the check is over. New mail shows as in `run`.
#include "cli/check_outcome.h"
#include "cli/command_support.h"

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

    CheckOutcome outcome(account->id);
    const CheckOutcomeTap tap(reporter, outcome);
    constexpr int32_t kCheckNow = 1;
    if (!host.timers.fire(mailTimerName(account->id), kCheckNow)) {
        return fail(reporter, kExitNothingStarted,
                    "check: account " + std::to_string(position) + " has no mail-check timer");
    }
    // Calls into the plug-in run in the order queued: once this one ran, the
    // timer's event has been handled.
    bool delivered = false;
    host.calls.post([&delivered] { delivered = true; });
    session->runUntil([&] { return delivered; });
    reporter.detail(Event("check").add("account", position).add("id", account->id));
    if (!outcome.connected() && !outcome.ended()) {
        return fail(reporter, kExitNothingStarted,
                    "check: the plug-in started no check of account " + std::to_string(position) +
                        " (it checks none while its probe host, $POSTRIX_PROBE_HOST or "
                        "one.one.one.one, does not answer)");
    }

    bool timedOut = false;
    asio::steady_timer deadline(io, std::chrono::seconds(line.timeoutSeconds));
    deadline.async_wait([&timedOut](const std::error_code& error) { timedOut = !error; });
    session->runUntil([&] { return outcome.ended() || timedOut; });
    deadline.cancel();
    if (outcome.failed()) return fail(reporter, kExitFailed, "check: " + outcome.reason());
    if (!outcome.ended()) {
        return fail(
            reporter, kExitFailed,
            "check: the check did not end within " + std::to_string(line.timeoutSeconds) + " seconds");
    }
    return kExitOk;
}

}  // namespace joxhost
