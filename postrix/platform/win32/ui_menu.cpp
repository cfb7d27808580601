// The pop-up menu of the Windows dialog toolkit: the menu resource read
// back into entries, and a menu built from entries, tracked at a point and
// its choice posted to the owning dialog as an ordinary command.
#include <memory>
#include <string>
#include <type_traits>

#include "platform/ui.h"
#include "platform/win32/ui_handles.h"

namespace postrix::platform {

namespace {

struct MenuDestroyer {
    void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using MenuHandle = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDestroyer>;

// An item's text as the menu shows it: a single '&' would underline the
// next letter instead of showing itself (file names hold them).
std::wstring menuText(std::u16string_view text) {
    std::wstring shown;
    for (const char16_t unit : text) {
        if (unit == u'&') shown += L'&';
        shown += static_cast<wchar_t>(unit);
    }
    return shown;
}

MenuEntry entryAt(HMENU menu, int position) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING;
    GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info);
    MenuEntry entry;
    entry.id = static_cast<int>(info.wID);
    entry.separator = (info.fType & MFT_SEPARATOR) != 0;
    if (entry.separator || info.cch == 0) return entry;
    std::wstring text(info.cch + 1, L'\0');
    info.dwTypeData = text.data();
    info.cch = static_cast<UINT>(text.size());
    GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info);
    entry.text = win32::fromWide(std::wstring_view(text.c_str()));
    return entry;
}

}  // namespace

std::vector<MenuEntry> loadPopupMenu(int menuId) {
    std::vector<MenuEntry> entries;
    const MenuHandle menu(LoadMenuW(win32::resourceModule(), MAKEINTRESOURCEW(menuId)));
    HMENU popup = menu ? GetSubMenu(menu.get(), 0) : nullptr;
    if (popup == nullptr) return entries;
    const int count = GetMenuItemCount(popup);
    for (int position = 0; position < count; ++position) entries.push_back(entryAt(popup, position));
    return entries;
}

Point cursorPosition() {
    POINT at{};
    GetCursorPos(&at);
    return {at.x, at.y};
}

void trackPopupMenu(Window owner, const std::vector<MenuEntry>& entries, Point at) {
    HWND dialog = win32::hwndOf(owner);
    if (!IsWindow(dialog)) return;
    const MenuHandle menu(CreatePopupMenu());
    if (!menu) return;
    for (const MenuEntry& entry : entries) {
        if (entry.separator) {
            AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
            continue;
        }
        AppendMenuW(menu.get(), MF_STRING, static_cast<UINT_PTR>(entry.id), menuText(entry.text).c_str());
        if (entry.bitmap != 0) {
            MENUITEMINFOW picture{};
            picture.cbSize = sizeof picture;
            picture.fMask = MIIM_BITMAP;
            picture.hbmpItem = reinterpret_cast<HBITMAP>(entry.bitmap);
            SetMenuItemInfoW(menu.get(), static_cast<UINT>(GetMenuItemCount(menu.get()) - 1), TRUE, &picture);
        }
    }
    // The menu returns the choice instead of sending it, so the dialog gets
    // it after the message being handled (the button's click) is done, as a
    // menu command (no control, notification 0).
    const BOOL choice = TrackPopupMenu(menu.get(), TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, 0,
                                       dialog, nullptr);
    if (choice != 0) PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(choice, 0), 0);
}

}  // namespace postrix::platform
