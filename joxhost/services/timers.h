// "JOX/Timer/Create" and "JOX/Timer/Destroy": periodic timers by id text.
// Each period the handler gets a timer event with code 3; fire() hands it
// any other code at once (a mail check on demand is code 1). A mail check
// timer ("MAIL/<id>/mailRecvTimer") of whole minutes runs on the minute it
// is given (tests shorten it).
#pragma once

#include <asio.hpp>
#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "core/plugin_calls.h"
#include "core/reporter.h"
#include "core/service_registry.h"

namespace joxhost {

class Timers {
public:
    static constexpr int32_t kPeriodCode = 3;

    Timers(PluginCalls& calls, Reporter& reporter, std::chrono::milliseconds mailTimerMinute = std::chrono::minutes(1))
        : calls_(calls), reporter_(reporter), mailTimerMinute_(mailTimerMinute) {}
    ~Timers();

    void install(ServiceRegistry& services);

    int64_t create(const void* record);
    int64_t destroy(const char16_t* id);

    // Queues one event with the given code for the timer; false when there
    // is no such timer.
    bool fire(const std::u16string& id, int32_t code);
    // Hands the timer one event with the given code now, from a command that
    // runs on the loop (never from inside a plug-in call), so that what the
    // plug-in does about it has happened when this returns; false when there
    // is no such timer.
    bool deliverNow(const std::u16string& id, int32_t code);
    bool exists(const std::u16string& id) const { return timers_.count(id) != 0; }
    size_t count() const { return timers_.size(); }

private:
    struct Timer;
    void arm(const std::shared_ptr<Timer>& timer);
    void deliver(const std::shared_ptr<Timer>& timer, int32_t code);

    PluginCalls& calls_;
    Reporter& reporter_;
    std::chrono::milliseconds mailTimerMinute_;
    std::map<std::u16string, std::shared_ptr<Timer>> timers_;
};

}  // namespace joxhost
