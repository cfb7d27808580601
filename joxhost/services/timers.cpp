#include "services/timers.h"

#include <string_view>

#include "postrix/abi/records_plugin.h"
#include "core/utf.h"

namespace joxhost {

using postrix::TimerEventRecord;
using postrix::TimerRecord;

struct Timers::Timer {
    Timer(asio::io_context& io, std::u16string timerId, std::chrono::milliseconds every, JoxHandler h,
          uintptr_t c)
        : id(std::move(timerId)), period(every), handler(h), context(c), clock(io) {}

    std::u16string id;
    std::chrono::milliseconds period;
    JoxHandler handler;
    uintptr_t context;
    asio::steady_timer clock;
    std::chrono::steady_clock::time_point next;
    bool destroyed = false;
};

Timers::~Timers() {
    for (auto& [id, timer] : timers_) {
        timer->destroyed = true;
        timer->clock.cancel();
    }
}

void Timers::install(ServiceRegistry& services) {
    services.addHostService(u"JOX/Timer/Create", [this](uintptr_t w, uintptr_t) {
        return create(reinterpret_cast<const void*>(w));
    });
    services.addHostService(u"JOX/Timer/Destroy", [this](uintptr_t w, uintptr_t) {
        return destroy(reinterpret_cast<const char16_t*>(w));
    });
}

int64_t Timers::create(const void* recordPointer) {
    const auto* r = static_cast<const TimerRecord*>(recordPointer);
    if (!r || !r->timerId || !*r->timerId || !r->handler || r->intervalMs <= 0) return 1;
    destroy(r->timerId);  // a second create with the same id replaces the first
    std::chrono::milliseconds period(r->intervalMs);
    static constexpr std::u16string_view kMailTimerEnd = u"/mailRecvTimer";
    const std::u16string_view id(r->timerId);
    constexpr int64_t kMinuteMs = 60000;
    if (id.size() > kMailTimerEnd.size() && id.substr(id.size() - kMailTimerEnd.size()) == kMailTimerEnd &&
        r->intervalMs % kMinuteMs == 0)
        period = r->intervalMs / kMinuteMs * mailTimerMinute_;
    auto timer = std::make_shared<Timer>(calls_.io(), r->timerId, period, r->handler, r->context);
    timer->next = std::chrono::steady_clock::now() + timer->period;
    timers_[timer->id] = timer;
    Event created("timer");
    created.add("id", toUtf8(timer->id)).add("interval", r->intervalMs);
    if (period.count() != r->intervalMs) created.add("shortenedTo", static_cast<int64_t>(period.count()));
    reporter_.detail(std::move(created));
    arm(timer);
    return 0;
}

int64_t Timers::destroy(const char16_t* id) {
    if (!id) return 1;
    const auto it = timers_.find(id);
    if (it == timers_.end()) return 1;
    it->second->destroyed = true;
    it->second->clock.cancel();
    timers_.erase(it);
    return 0;
}

void Timers::arm(const std::shared_ptr<Timer>& timer) {
    timer->clock.expires_at(timer->next);
    timer->clock.async_wait([this, timer](const std::error_code& error) {
        if (error || timer->destroyed) return;
        // Fixed rate without catching up a backlog after a long stall.
        timer->next += timer->period;
        const auto now = std::chrono::steady_clock::now();
        if (timer->next <= now) timer->next = now + timer->period;
        arm(timer);
        calls_.post([this, timer] { deliver(timer, kPeriodCode); });
    });
}

bool Timers::fire(const std::u16string& id, int32_t code) {
    const auto it = timers_.find(id);
    if (it == timers_.end()) return false;
    calls_.post([this, timer = it->second, code] { deliver(timer, code); });
    return true;
}

bool Timers::deliverNow(const std::u16string& id, int32_t code) {
    const auto it = timers_.find(id);
    if (it == timers_.end()) return false;
    const auto timer = it->second;  // the handler may destroy the timer
    PluginCalls::Scope scope(calls_);
    deliver(timer, code);
    return true;
}

void Timers::deliver(const std::shared_ptr<Timer>& timer, int32_t code) {
    if (timer->destroyed) return;
    TimerEventRecord record{};
    record.size = sizeof record;
    record.timerId = timer->id.c_str();
    record.code = code;
    timer->handler(reinterpret_cast<uintptr_t>(&record), 0, timer->context);
}

}  // namespace joxhost
