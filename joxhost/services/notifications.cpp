#include "services/notifications.h"

#include "postrix/abi/records_notify.h"
#include "core/utf.h"

namespace joxhost {

using postrix::NotifyEventRecord;
using postrix::NotifyRecord;

struct Notifications::Notice {
    Notice(asio::io_context& io) : timer(io) {}
    int64_t id = 0;
    std::string title;
    std::string text;
    JoxHandler callback = nullptr;
    uintptr_t context = 0;
    asio::steady_timer timer;
    bool ended = false;
};

Notifications::~Notifications() { discardAll(); }

void Notifications::install(ServiceRegistry& services) {
    services.addHostService(u"JOX/ShowStandardNotify", [this](uintptr_t w, uintptr_t) {
        return show(reinterpret_cast<const void*>(w));
    });
}

int64_t Notifications::show(const void* recordPointer) {
    const auto* r = static_cast<const NotifyRecord*>(recordPointer);
    if (!r) return 1;
    auto notice = std::make_shared<Notice>(calls_.io());
    notice->id = nextId_++;
    notice->title = utf8FromHost(r->title);
    notice->text = utf8FromHost(r->text);
    notice->callback = r->callback;
    notice->context = r->context;
    shown_.push_back(notice);
    reporter_.emit(Event("notify")
                       .add("id", notice->id)
                       .add("title", notice->title)
                       .add("text", notice->text)
                       .add("icon", utf8FromHost(r->iconId))
                       .add("third", utf8FromHost(r->thirdText)));
    notice->timer.expires_after(showingTime_);
    notice->timer.async_wait([this, notice](const std::error_code& error) {
        if (!error && !notice->ended) end(notice, "timeout");
    });
    return 0;
}

bool Notifications::clickNewest() {
    if (shown_.empty()) return false;
    auto notice = shown_.back();
    reporter_.emit(Event("notify-click").add("id", notice->id));
    calls_.post([this, notice] { deliver(notice, postrix::kNotifyClicked); });
    return true;
}

bool Notifications::closeNewest() {
    if (shown_.empty()) return false;
    end(shown_.back(), "closed");
    return true;
}

void Notifications::end(std::shared_ptr<Notice> notice, const char* why) {
    notice->ended = true;
    notice->timer.cancel();
    shown_.remove(notice);
    reporter_.emit(Event("notify-end").add("id", notice->id).add("why", why));
    calls_.post([this, notice] { deliver(notice, postrix::kNotifyEnded); });
}

void Notifications::discardAll() {
    for (auto& notice : shown_) {
        notice->ended = true;
        notice->callback = nullptr;
        notice->timer.cancel();
    }
    shown_.clear();
}

void Notifications::deliver(const std::shared_ptr<Notice>& notice, int32_t kind) {
    if (!notice->callback) return;
    NotifyEventRecord record{};
    record.size = sizeof record;
    record.kind = kind;
    notice->callback(reinterpret_cast<uintptr_t>(&record), 0, notice->context);
}

}  // namespace joxhost
