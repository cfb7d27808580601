// The test host's loop and output. The loop fires the plug-in's timers at
// their intervals and hands it network events one at a time; the output
// writes what the plug-in showed (log lines, notifications, archive and news
// entries) and what the network did as JSON lines on stdout, with the event
// names and fields of `joxhost --json`.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "support/fake_host.h"

namespace postrix::winhost {

class WinsockNet;

// One JSON object, "event" first; texts are UTF-8.
class JsonLine {
public:
    explicit JsonLine(std::string_view event);
    JsonLine& text(std::string_view key, std::string_view value);
    JsonLine& number(std::string_view key, int64_t value);
    JsonLine& flag(std::string_view key, bool value);
    std::string str() const { return body_ + "}"; }

private:
    void key(std::string_view name);
    std::string body_;
};

std::string jsonQuoted(std::string_view text);

class HostOutput {
public:
    HostOutput(test::FakeHost& host, std::FILE* out);

    void write(const JsonLine& line);
    // Writes the entries the plug-in added to the host's records since the
    // last call; the host calls it after each service call.
    void catchUp();
    void net(const test::FakeConnection& c, std::string_view what, int code);

private:
    test::FakeHost& host_;
    std::FILE* out_;
    size_t logs_ = 0, notifications_ = 0, archive_ = 0, news_ = 0;
};

class HostLoop {
public:
    HostLoop(test::FakeHost& host, WinsockNet& net);

    // Runs until done() holds, checked after every event and timer, or until
    // the limit passes; false on time-out.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

    // The code of a timer's periodic event.
    static constexpr int32_t kTimerPeriodic = 3;

private:
    using Clock = std::chrono::steady_clock;
    struct Schedule {
        int32_t intervalMs;
        Clock::time_point due;
    };

    // Takes on the timers created and destroyed since the last look, fires
    // the due ones; the time until the next one is due.
    std::chrono::milliseconds fireDueTimers();

    test::FakeHost& host_;
    WinsockNet& net_;
    std::map<std::u16string, Schedule> schedule_;
    size_t destroyedSeen_ = 0;
};

}  // namespace postrix::winhost
