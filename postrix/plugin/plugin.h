// The one process-wide object: the host table, the module handle, the
// account manager, the menu hook and the attachment bitmap.
#pragma once

#include <cstdint>
#include <memory>

#include "host/host.h"
#include "platform/ui.h"

namespace postrix {

class AccountManager;

inline constexpr char16_t kTimeoutTimerId[] = u"postrix/timeoutTimer";
inline constexpr int32_t kTimeoutTimerIntervalMs = 10000;

class Plugin {
public:
    // The single instance; it is never destroyed, so a host that exits
    // without unloading the plug-in gets no calls from static destructors.
    static Plugin& instance();

    void setModuleHandle(uintptr_t handle) { moduleHandle_ = handle; }

    void load(HostTable* table);
    void unload();

    Host host() const { return Host(hostTable_); }
    uintptr_t moduleHandle() const { return moduleHandle_; }
    AccountManager* accountManager() const { return accountManager_.get(); }
    uintptr_t bitmap() const { return bitmap_; }
    platform::Brush whiteBrush() const { return whiteBrush_; }

    // Handler of the global timer: code 3 runs the timeout sweep.
    static int64_t onTimeoutTimer(uintptr_t timerEvent, uintptr_t unused, uintptr_t context);
    // Handlers of the contact-menu item's click and of "JOX/OnMenuRebuild":
    // they hand the contact menu (ui/contact_menu.h) the host, the account
    // manager, the bitmap and the dialog colours.
    static int64_t onFastSend(uintptr_t wParam, uintptr_t menuInfo, uintptr_t context);
    static int64_t onMenuRebuild(uintptr_t wParam, uintptr_t lParam, uintptr_t context);

private:
    Plugin() = default;
    ~Plugin() = default;

    HostTable* hostTable_ = nullptr;
    uintptr_t moduleHandle_ = 0;
    std::unique_ptr<AccountManager> accountManager_;
    int64_t menuHook_ = 0;
    uintptr_t bitmap_ = 0;
    platform::Brush whiteBrush_ = 0;
};

// Ends every mail session whose server has been silent too long.
void checkTimeouts(AccountManager& manager);

}  // namespace postrix
