// The contact-menu item "Wyślij e-mail..." and its rebuild hook: the item is
// offered when a selected contact has an e-mail address, and a click opens
// the send dialog for the selected contacts and sends through the account
// chosen there.
#pragma once

#include <cstdint>

namespace postrix {

inline constexpr char16_t kFastSendItemId[] = u"MAIL/fastSend";
inline constexpr char16_t kContactSendMenuId[] = u"JOX/Menu/Contact/Send";

// Click handler of the menu item; lParam describes the selected contacts.
int64_t onFastSend(uintptr_t wParam, uintptr_t menuInfo, uintptr_t context);
// Handler of "JOX/OnMenuRebuild".
int64_t onMenuRebuild(uintptr_t wParam, uintptr_t lParam, uintptr_t context);

}  // namespace postrix
