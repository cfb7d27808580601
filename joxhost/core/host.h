// The host a plug-in sees: the HostTable and every service behind it, on one
// single-threaded loop.
#pragma once

#include <asio.hpp>
#include <chrono>
#include <filesystem>

#include "services/account_window.h"
#include "store/archive.h"
#include "store/contacts.h"
#include "services/desktop.h"
#include "services/host_log.h"
#include "services/menus.h"
#include "net/netlib.h"
#include "services/notifications.h"
#include "services/options_pages.h"
#include "core/plugin_calls.h"
#include "postrix/abi/abi.h"
#include "store/profile.h"
#include "services/protocols.h"
#include "core/reporter.h"
#include "core/service_registry.h"
#include "store/settings_service.h"
#include "services/timers.h"

namespace joxhost {

struct HostOptions {
    std::filesystem::path profileDir;
    NetLibOptions net;
    std::chrono::milliseconds notificationTime{30000};
    // How long a minute of a mail check timer lasts: shorter only in tests
    // (JOXHOST_MINUTE_MS), so that a timer check comes without a minute's wait.
    std::chrono::milliseconds mailTimerMinute{60000};
};

class Host {
public:
    // One host per process at a time: the table's functions carry no context.
    Host(asio::io_context& io, Reporter& reporter, HostOptions options);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    HostTable* table() { return &table_; }
    asio::io_context& io() { return io_; }
    Reporter& reporter() { return reporter_; }

    // callService as the plug-in calls it; unknown names give kNoService.
    int64_t callService(const char16_t* name, uintptr_t wParam, uintptr_t lParam);

    static constexpr int64_t kNoService = -1;

    asio::io_context& io_;
    Reporter& reporter_;
    HostOptions options;
    PluginCalls calls;
    ServiceRegistry services;
    ProfileDirectory profile;
    HostLog log;
    SettingsService settings;
    Archive archive;
    NetLib net;
    Timers timers;
    Notifications notifications;
    AccountWindow accounts;
    Protocols protocols;
    OptionsPages optionsPages;
    Menus menus;
    Contacts contacts;
    Desktop desktop;

private:
    HostTable table_{};
};

}  // namespace joxhost
