// The contact-menu item "Wyślij e-mail..." and its rebuild hook: the item is
// offered when a selected contact has an e-mail address, and a click opens
// the send dialog for the selected contacts and sends through the account
// chosen there. The plug-in registers the handlers and hands in what they
// need of it.
#pragma once

#include <cstdint>
#include <memory>

#include "host/host.h"
#include "platform/ui.h"

namespace postrix {

class AccountManager;

inline constexpr char16_t kFastSendItemId[] = u"MAIL/fastSend";
inline constexpr char16_t kContactSendMenuId[] = u"JOX/Menu/Contact/Send";

// A click on the menu item; menuInfo (the click's lParam) describes the
// selected contacts. The dialog offers the accounts of the manager that
// `accounts` owns, gives attachment entries entryBitmap and paints with
// colours. `accounts` is read again once the dialog has ended, so that a
// manager released meanwhile is seen as gone.
int64_t onFastSend(const Host& host, const std::unique_ptr<AccountManager>& accounts, uintptr_t entryBitmap,
                   platform::DialogColours colours, uintptr_t menuInfo);
// "JOX/OnMenuRebuild"; wParam is the rebuild event.
int64_t onMenuRebuild(const Host& host, uintptr_t wParam);

}  // namespace postrix
