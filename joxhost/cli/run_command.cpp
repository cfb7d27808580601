// run: the plug-in runs driven by its timers, its connections and the
// commands read on standard input, until the input ends and the checks and
// sends it asked for have ended (or, with --stay, until SIGINT, SIGTERM or
// `quit`). The exit status says whether any of them failed.
#include <csignal>
#include <deque>
#include <iostream>
#include <mutex>
#include <thread>

#include "cli/work_outcome.h"
#include "cli/command_support.h"
#include "cli/console.h"
#include "postrix/abi/records_send.h"
#include "core/utf.h"

namespace joxhost {
namespace {

// Lines from standard input, read on a thread of their own and handed to
// the loop. The thread never touches the plug-in.
class InputLines {
public:
    using Handler = std::function<void(std::optional<std::string>)>;  // nothing = end of input

    InputLines(asio::io_context& io, Handler handler) : shared_(std::make_shared<Shared>()) {
        shared_->io = &io;
        shared_->handler = std::move(handler);
        std::thread([shared = shared_] {
            std::string line;
            while (std::getline(std::cin, line)) {
                if (!deliver(shared, line)) return;
            }
            deliver(shared, std::nullopt);
        }).detach();
    }
    ~InputLines() {
        std::lock_guard lock(shared_->mutex);
        shared_->io = nullptr;
    }

private:
    struct Shared {
        std::mutex mutex;
        asio::io_context* io = nullptr;
        Handler handler;
    };

    static bool deliver(const std::shared_ptr<Shared>& shared, std::optional<std::string> line) {
        std::lock_guard lock(shared->mutex);
        if (!shared->io) return false;
        asio::post(*shared->io, [shared, line = std::move(line)] { shared->handler(line); });
        return true;
    }

    std::shared_ptr<Shared> shared_;
};

// The checks and sends run was asked for, until each has its outcome.
class WorkInFlight {
public:
    explicit WorkInFlight(Reporter& reporter)
        : tap_(reporter, [this](const Event& event) { observe(event); }) {}

    // Runs start (a call into the plug-in) while a new outcome of the kind
    // watches alone: what the plug-in reports meanwhile answers this request,
    // not one made before. The outcome stays if the plug-in began the work.
    void begin(WorkOutcome::Kind kind, int32_t accountId, const std::function<void()>& start) {
        WorkOutcome outcome(kind, accountId);
        starting_ = &outcome;
        start();
        starting_ = nullptr;
        if (outcome.started()) outcomes_.push_back(outcome);
        settle();
    }

    // Between two turns of the loop: closes become ends, and what ended is
    // counted and forgotten.
    void settle() {
        for (auto& outcome : outcomes_) {
            outcome.settle();
            if (outcome.failed()) ++failures_;
        }
        std::erase_if(outcomes_, [](const WorkOutcome& outcome) { return outcome.decided(); });
    }

    size_t unfinished() const { return outcomes_.size(); }
    int failures() const { return failures_; }

private:
    void observe(const Event& event) {
        if (starting_) return starting_->observe(event);
        for (auto& outcome : outcomes_) outcome.observe(event);
    }

    std::vector<WorkOutcome> outcomes_;
    WorkOutcome* starting_ = nullptr;
    int failures_ = 0;
    ReporterTap tap_;  // last: it goes first, while the rest is still there
};

class Console {
public:
    Console(Session& session, Reporter& reporter, WorkInFlight& work, bool& stop)
        : session_(session), reporter_(reporter), work_(work), stop_(stop) {}

    void handle(const std::string& line) {
        const auto parsed = parseConsoleLine(line);
        if (!parsed.command) return error(parsed.error);
        const ConsoleCommand& command = *parsed.command;
        switch (command.kind) {
            case ConsoleCommand::Kind::Empty: return;
            case ConsoleCommand::Kind::Quit: stop_ = true; return;
            case ConsoleCommand::Kind::Accounts: accounts(); return;
            case ConsoleCommand::Kind::Check: check(command.account); return;
            case ConsoleCommand::Kind::Chat: chat(command); return;
            case ConsoleCommand::Kind::Click:
                if (!host().notifications.clickNewest()) error("no notification is shown");
                return;
            case ConsoleCommand::Kind::Close:
                if (!host().notifications.closeNewest()) error("no notification is shown");
                return;
        }
    }

    // Lines that were no command, or asked for what could not be done.
    int errors() const { return errors_; }

private:
    Host& host() { return session_.host(); }
    void error(const std::string& text) {
        ++errors_;
        reporter_.emit(Event("command-error").add("text", text));
    }

    void accounts() {
        for (const auto& account : host().accounts.list(kMailClass)) printAccount(reporter_, account);
    }

    void check(int position) {
        const auto account = accountAt(host(), position);
        if (!account) return error("check: no account at position " + std::to_string(position));
        // The plug-in starts no check without these and says nothing about it.
        if (auto missing = incompleteSettings(host(), *account, AccountTask::Check, "check"); !missing.empty())
            return error(missing);
        bool timer = false;
        work_.begin(WorkOutcome::Kind::Check, account->id, [&] { timer = startCheck(host(), account->id); });
        if (!timer) return error("check: account " + std::to_string(position) + " has no mail-check timer");
        reporter_.detail(Event("check").add("account", position).add("id", account->id));
    }

    void chat(const ConsoleCommand& command) {
        const auto account = accountAt(host(), command.account);
        if (!account) return error("chat: no account at position " + std::to_string(command.account));
        if (auto missing = incompleteSettings(host(), *account, AccountTask::Send, "chat"); !missing.empty())
            return error(missing);
        const std::u16string address = toUtf16(command.address);
        const std::u16string text = toUtf16(command.text);
        postrix::MessageSendRecord record{};
        record.size = sizeof record;
        record.contactId = address.c_str();
        record.netClass = kMailClass;
        record.text = text.c_str();
        std::optional<int64_t> result;
        work_.begin(WorkOutcome::Kind::Send, account->id, [&] {
            PluginCalls::Scope scope(host().calls);
            result = host().services.call(sendServiceName(account->id), reinterpret_cast<uintptr_t>(&record), 0);
        });
        if (!result) error("chat: the account has no send service");
    }

    Session& session_;
    Reporter& reporter_;
    WorkInFlight& work_;
    bool& stop_;
    int errors_ = 0;
};

}  // namespace

int runLoopCommand(const CommandLine& line, const Environment& environment, Reporter& reporter) {
    asio::io_context io;
    auto session = openSession(io, line, environment, reporter);
    if (!session) return kExitFailed;
    bool stop = false;
    WorkInFlight work(reporter);
    Console console(*session, reporter, work, stop);

    asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](const std::error_code& error, int number) {
        if (error) return;
        reporter.emit(Event("signal").add("number", number));
        stop = true;
    });
    // One line at a time: what a line queues for the plug-in runs before the
    // next line is read, so "check 0" then "click" clicks that check's notice.
    std::deque<std::string> pending;
    bool draining = false;
    std::function<void()> next = [&] {
        if (pending.empty() || stop) {
            draining = false;
            return;
        }
        const std::string text = std::move(pending.front());
        pending.pop_front();
        console.handle(text);
        asio::post(io, next);
    };
    // At the end of the input the work begun is given the time limit to end
    // (unless --stay keeps joxhost running).
    bool inputEnded = false;
    const auto finishingTimedOut = std::make_shared<bool>(false);
    asio::steady_timer finishing(io);
    InputLines input(io, [&](std::optional<std::string> text) {
        if (!text) {
            reporter.detail(Event("input-ended"));
            inputEnded = true;
            if (!line.stay) {
                finishing.expires_after(std::chrono::seconds(line.timeoutSeconds));
                finishing.async_wait([finishingTimedOut](const std::error_code& error) {
                    if (!error) *finishingTimedOut = true;
                });
            }
            return;
        }
        pending.push_back(std::move(*text));
        if (!draining) {
            draining = true;
            next();
        }
    });
    reporter.emit(Event("ready").add("profile", session->host().options.profileDir.string()));
    const auto finished = [&] {
        return inputEnded && !line.stay && !draining && (work.unfinished() == 0 || *finishingTimedOut);
    };
    session->runUntil([&] {
        work.settle();
        return stop || finished();
    });
    signals.cancel();
    finishing.cancel();
    bool failed = work.failures() > 0 || console.errors() > 0;
    if (!stop && work.unfinished() > 0) {
        failed = true;
        fail(reporter, kExitFailed,
             "run: " + std::to_string(work.unfinished()) + " check(s) or send(s) had no outcome within " +
                 std::to_string(line.timeoutSeconds) + " seconds");
    }
    session->unload();
    const auto& traffic = session->host().log.trafficCounts();
    reporter.emit(Event("stopped")
                      .add("trafficReports", traffic.reports)
                      .add("bytesSent", traffic.bytesSent)
                      .add("bytesReceived", traffic.bytesReceived));
    return failed ? kExitFailed : kExitOk;
}

}  // namespace joxhost
