// run: the plug-in runs until SIGINT, SIGTERM or `quit`, driven by its
// timers, its connections and the commands read on standard input.
#include <csignal>
#include <deque>
#include <iostream>
#include <mutex>
#include <thread>

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

class Console {
public:
    Console(Session& session, Reporter& reporter, bool& stop) : session_(session), reporter_(reporter), stop_(stop) {}

    void handle(const std::string& line) {
        const auto parsed = parseConsoleLine(line);
        if (!parsed.command) {
            reporter_.emit(Event("command-error").add("text", parsed.error));
            return;
        }
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

private:
    Host& host() { return session_.host(); }
    void error(const std::string& text) { reporter_.emit(Event("command-error").add("text", text)); }

    void accounts() {
        for (const auto& account : host().accounts.list(kMailClass)) printAccount(reporter_, account);
    }

    void check(int position) {
        const auto account = accountAt(host(), position);
        if (!account) return error("check: no account at position " + std::to_string(position));
        constexpr int32_t kCheckNow = 1;
        if (!host().timers.fire(mailTimerName(account->id), kCheckNow)) {
            return error("check: account " + std::to_string(position) + " has no mail-check timer");
        }
        reporter_.detail(Event("check").add("account", position).add("id", account->id));
    }

    void chat(const ConsoleCommand& command) {
        const auto account = accountAt(host(), command.account);
        if (!account) return error("chat: no account at position " + std::to_string(command.account));
        const std::u16string address = toUtf16(command.address);
        const std::u16string text = toUtf16(command.text);
        postrix::MessageSendRecord record{};
        record.size = sizeof record;
        record.contactId = address.c_str();
        record.netClass = kMailClass;
        record.text = text.c_str();
        PluginCalls::Scope scope(host().calls);
        const auto result =
            host().services.call(sendServiceName(account->id), reinterpret_cast<uintptr_t>(&record), 0);
        if (!result) error("chat: the account has no send service");
    }

    Session& session_;
    Reporter& reporter_;
    bool& stop_;
};

}  // namespace

int runLoopCommand(const CommandLine& line, const Environment& environment, Reporter& reporter) {
    asio::io_context io;
    auto session = openSession(io, line, environment, reporter);
    if (!session) return kExitFailed;
    bool stop = false;
    Console console(*session, reporter, stop);

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
    InputLines input(io, [&](std::optional<std::string> text) {
        if (!text) {
            reporter.detail(Event("input-ended"));  // keep running until a signal or quit
            return;
        }
        pending.push_back(std::move(*text));
        if (!draining) {
            draining = true;
            next();
        }
    });
    reporter.emit(Event("ready").add("profile", session->host().options.profileDir.string()));
    session->runUntil([&] { return stop; });
    signals.cancel();
    session->unload();
    const auto& traffic = session->host().log.trafficCounts();
    reporter.emit(Event("stopped")
                      .add("trafficReports", traffic.reports)
                      .add("bytesSent", traffic.bytesSent)
                      .add("bytesReceived", traffic.bytesReceived));
    return kExitOk;
}

}  // namespace joxhost
