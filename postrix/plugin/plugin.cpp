#include "plugin/plugin.h"

#include <new>

#include "abi/records_plugin.h"
#include "accounts/account.h"
#include "accounts/account_manager.h"
#include "host/log.h"
#include "host/timer.h"
#include "platform/resources.h"
#include "plugin/dialog_colours.h"
#include "plugin/plugin_info.h"
#include "text/text_conversion.h"
#include "ui/contact_menu.h"

namespace postrix {

namespace {

constexpr int32_t kTimerSweepCode = 3;

MenuItemRecord fastSendMenuItem() {
    MenuItemRecord item{};
    item.size = sizeof(MenuItemRecord);
    item.itemId = kFastSendItemId;
    item.parentId = kContactSendMenuId;
    return item;
}

}  // namespace

Plugin& Plugin::instance() {
    // Constructed in static storage on first use and never destroyed.
    alignas(Plugin) static unsigned char storage[sizeof(Plugin)];
    static Plugin* plugin = ::new (storage) Plugin();
    return *plugin;
}

void Plugin::load(HostTable* table) {
    hostTable_ = table;
    whiteBrush_ = platform::whiteBrush();
    // Dialogs and message boxes reach a user through the embedding process's
    // desktop when it has one; boxes no one can see go to the log.
    platform::connectDesktop();
    platform::setUnseenMessageSink([](std::u16string_view caption, std::u16string_view text) {
        logFailure(instance().host(), text::wideToUtf8(caption) + ": " + text::wideToUtf8(text));
    });
    bitmap_ = platform::loadBitmap(moduleHandle_, platform::kAttachmentBitmapId);

    MenuItemRecord item = fastSendMenuItem();
    item.caption = u"Wyślij e-mail...";
    item.iconId = u"Image/Mail";
    item.onClick = onFastSend;
    host().call(u"JOX/Menu/Add", &item);

    menuHook_ = host().hookEvent(u"JOX/OnMenuRebuild", onMenuRebuild, 0);

    accountManager_ = std::make_unique<AccountManager>(host(), moduleHandle_, kPluginGuid, dialogColour);

    if (!createTimer(host(), kTimeoutTimerId, kTimeoutTimerIntervalMs, onTimeoutTimer, 0))
        logFailure(host(), "Cannot start timeout timer");
}

void Plugin::unload() {
    destroyTimer(host(), kTimeoutTimerId);
    host().call(u"JOX/RemoveOptionsPage", moduleHandle_, reinterpret_cast<uintptr_t>(u"postrix"));
    MenuItemRecord item = fastSendMenuItem();
    host().call(u"JOX/Menu/Remove", &item);
    if (menuHook_ != 0) host().unhookEvent(menuHook_);
    accountManager_.reset();
    if (bitmap_ != 0) platform::deleteBitmap(bitmap_);
    platform::setUnseenMessageSink(nullptr);
    platform::disconnectDesktop();
    // The fields keep their values until a later load sets them anew, except
    // that nothing may reach the released manager or bitmap.
    bitmap_ = 0;
}

int64_t Plugin::onTimeoutTimer(uintptr_t timerEvent, uintptr_t, uintptr_t) {
    const auto* event = reinterpret_cast<const TimerEventRecord*>(timerEvent);
    if (!event || event->code != kTimerSweepCode) return 0;
    if (AccountManager* manager = instance().accountManager()) checkTimeouts(*manager);
    return 0;
}

int64_t Plugin::onFastSend(uintptr_t, uintptr_t menuInfo, uintptr_t) {
    const Plugin& plugin = instance();
    return postrix::onFastSend(plugin.host(), plugin.accountManager_, plugin.bitmap_, dialogColour, menuInfo);
}

int64_t Plugin::onMenuRebuild(uintptr_t wParam, uintptr_t, uintptr_t) {
    return postrix::onMenuRebuild(instance().host(), wParam);
}

void checkTimeouts(AccountManager& manager) {
    const size_t count = manager.count();
    for (size_t i = 0; i < count && i < manager.count(); ++i) manager.at(i).checkTimeouts();
}

}  // namespace postrix
