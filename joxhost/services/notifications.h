// "JOX/ShowStandardNotify": notifications kept while they are shown. A click
// (kind 1) is a command; a notification ends (kind 4) by a command or after
// its showing time.
#pragma once

#include <asio.hpp>
#include <chrono>
#include <list>
#include <memory>
#include <string>

#include "core/plugin_calls.h"
#include "core/reporter.h"
#include "core/service_registry.h"

namespace joxhost {

class Notifications {
public:
    Notifications(PluginCalls& calls, Reporter& reporter,
                  std::chrono::milliseconds showingTime = std::chrono::seconds(30))
        : calls_(calls), reporter_(reporter), showingTime_(showingTime) {}
    ~Notifications();

    void install(ServiceRegistry& services);

    int64_t show(const void* record);

    // The newest notification still shown: click hands it kind 1 (it stays),
    // close hands it kind 4 (it goes). False when none is shown.
    bool clickNewest();
    bool closeNewest();
    // Ends every notification without telling the plug-in (it is going away).
    void discardAll();

    size_t shownCount() const { return shown_.size(); }

private:
    struct Notice;
    // Takes its own reference: the caller's may be the list node end removes.
    void end(std::shared_ptr<Notice> notice, const char* why);
    void deliver(const std::shared_ptr<Notice>& notice, int32_t kind);

    PluginCalls& calls_;
    Reporter& reporter_;
    std::chrono::milliseconds showingTime_;
    std::list<std::shared_ptr<Notice>> shown_;
    int64_t nextId_ = 1;
};

}  // namespace joxhost
