// The host a plug-in sees: the HostTable and every service behind it, on one
// single-threaded loop.
#pragma once

#include <asio.hpp>
#include <chrono>
#include <filesystem>

#include "account_window.h"
#include "archive.h"
#include "contacts.h"
#include "desktop.h"
#include "host_log.h"
#include "menus.h"
#include "netlib.h"
#include "notifications.h"
#include "options_pages.h"
#include "plugin_calls.h"
#include "postrix/abi/abi.h"
#include "profile.h"
#include "protocols.h"
#include "reporter.h"
#include "service_registry.h"
#include "settings_service.h"
#include "timers.h"

namespace joxhost {

struct HostOptions {
    std::filesystem::path profileDir;
    NetLibOptions net;
    std::chrono::milliseconds notificationTime{30000};
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
