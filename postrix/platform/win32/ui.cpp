// The dialog toolkit of the Windows build: user32 dialogs made from the
// templates in the DLL's resources (postrix.rc), their messages handed to a
// DialogProcedure as calls, their controls, window properties and message
// boxes. The pop-up menu and the file picker are in ui_menu.cpp and
// ui_file_picker.cpp.
#include "platform/ui.h"

#include <algorithm>
#include <string>
#include <utility>

#include "platform/win32/ui_handles.h"
#include "resources/templates.h"

namespace postrix::platform {

using win32::hwndOf;
using win32::windowOf;

namespace {

UnseenMessageSink g_unseenSink;

// The procedure rides in WM_INITDIALOG's lParam and is kept in the dialog's
// own user slot (DWLP_USER) until WM_DESTROY. Messages that come before
// WM_INITDIALOG (WM_GETMINMAXINFO, WM_SIZE while the window is created) find
// no procedure and get the default handling.
DialogProcedure* procedureOf(HWND dialog) {
    return reinterpret_cast<DialogProcedure*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

// A click on a button, a menu choice or an accelerator: the WM_COMMANDs a
// DialogProcedure handles. Other notifications of controls (an edit's
// EN_CHANGE, a combo box's CBN_SELCHANGE) carry the control's id too and
// are left to the default handling.
bool isCommand(WPARAM wParam, LPARAM lParam) { return lParam == 0 || HIWORD(wParam) == BN_CLICKED; }

// The brush the procedure paints a control kind with, as a dialog procedure
// answers WM_CTLCOLOR*: the brush, with the text background in its colour
// so labels carry no band of the default colour behind their text. FALSE
// keeps the system's colours.
INT_PTR colourAnswer(DialogProcedure& procedure, HWND dialog, ColourQuery query, HDC dc) {
    const Brush brush = procedure.colourFor(windowOf(dialog), query);
    if (brush == 0) return FALSE;
    LOGBRUSH pattern{};
    if (GetObjectW(reinterpret_cast<HBRUSH>(brush), sizeof pattern, &pattern) == sizeof pattern &&
        pattern.lbStyle == BS_SOLID)
        SetBkColor(dc, pattern.lbColor);
    return static_cast<INT_PTR>(brush);
}

INT_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* procedure = reinterpret_cast<DialogProcedure*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        return procedure->onInit(windowOf(hwnd)) ? TRUE : FALSE;
    }
    DialogProcedure* procedure = procedureOf(hwnd);
    if (procedure == nullptr) return FALSE;
    const Window dialog = windowOf(hwnd);
    const auto dc = reinterpret_cast<HDC>(wParam);
    switch (message) {
        case WM_COMMAND:
            if (!isCommand(wParam, lParam)) return FALSE;
            return procedure->onCommand(dialog, LOWORD(wParam)) ? TRUE : FALSE;
        case WM_SIZE:
            if (wParam != SIZE_MINIMIZED) procedure->onSize(dialog, LOWORD(lParam), HIWORD(lParam));
            return TRUE;
        case WM_GETMINMAXINFO:
            if (const std::optional<Size> minimum = procedure->minimumTrackSize(dialog)) {
                auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
                info->ptMinTrackSize = {minimum->width, minimum->height};
                return TRUE;
            }
            return FALSE;
        case WM_CTLCOLOREDIT:
            return colourAnswer(*procedure, hwnd, ColourQuery::Edit, dc);
        case WM_CTLCOLORBTN:
            return colourAnswer(*procedure, hwnd, ColourQuery::Button, dc);
        case WM_CTLCOLORDLG:
            return colourAnswer(*procedure, hwnd, ColourQuery::Dialog, dc);
        case WM_CTLCOLORSTATIC:
            return colourAnswer(*procedure, hwnd, ColourQuery::Static, dc);
        case WM_CTLCOLORLISTBOX:
            return colourAnswer(*procedure, hwnd, ColourQuery::ListBox, dc);
        case WM_CTLCOLORSCROLLBAR:
            return colourAnswer(*procedure, hwnd, ColourQuery::ScrollBar, dc);
        case WM_DESTROY:
            // The controls still exist; the procedure may be gone after this.
            procedure->onDestroy(dialog);
            SetWindowLongPtrW(hwnd, DWLP_USER, 0);
            return TRUE;
        default:
            return FALSE;
    }
}

// The control with that id; nullptr for none. Labels without an id share
// the id -1, so it names no control, as in the templates.
HWND itemOf(Window dialog, int id) {
    if (id == resources::kNoId || dialog == 0) return nullptr;
    return GetDlgItem(hwndOf(dialog), id);
}

// A property's name as Win32 takes it; our names are ASCII.
std::wstring propertyName(std::string_view name) {
    return win32::narrowToWide(name, CP_UTF8).value_or(std::wstring());
}

}  // namespace

Brush whiteBrush() { return reinterpret_cast<Brush>(GetStockObject(WHITE_BRUSH)); }

// --- dialogs ------------------------------------------------------------

intptr_t runModalDialog(int templateId, DialogProcedure& procedure, Window owner) {
    return DialogBoxParamW(win32::resourceModule(), MAKEINTRESOURCEW(templateId), hwndOf(owner), dialogProc,
                           reinterpret_cast<LPARAM>(&procedure));
}

void endDialog(Window dialog, intptr_t code) { EndDialog(hwndOf(dialog), code); }

Window createDialog(int templateId, DialogProcedure& procedure, Window parent) {
    return windowOf(CreateDialogParamW(win32::resourceModule(), MAKEINTRESOURCEW(templateId), hwndOf(parent),
                                       dialogProc, reinterpret_cast<LPARAM>(&procedure)));
}

void destroyWindow(Window window) {
    if (window != 0) DestroyWindow(hwndOf(window));
}

void showWindow(Window window, bool visible) { ShowWindow(hwndOf(window), visible ? SW_SHOW : SW_HIDE); }

void moveWindow(Window window, const Rect& rect) {
    MoveWindow(hwndOf(window), rect.x, rect.y, rect.width, rect.height, TRUE);
}

// --- controls -------------------------------------------------------------

bool hasItem(Window dialog, int id) { return itemOf(dialog, id) != nullptr; }

int itemTextLength(Window dialog, int id) {
    HWND item = itemOf(dialog, id);
    return item != nullptr ? GetWindowTextLengthW(item) : 0;
}

int itemText(Window dialog, int id, char16_t* buffer, int capacity) {
    if (buffer == nullptr || capacity <= 0) return 0;
    buffer[0] = u'\0';
    if (itemOf(dialog, id) == nullptr) return 0;
    std::wstring text(static_cast<size_t>(capacity), L'\0');
    const UINT copied = GetDlgItemTextW(hwndOf(dialog), id, text.data(), capacity);
    std::copy_n(text.begin(), copied, buffer);
    buffer[copied] = u'\0';
    return static_cast<int>(copied);
}

void setItemText(Window dialog, int id, std::u16string_view text) {
    if (itemOf(dialog, id) != nullptr) SetDlgItemTextW(hwndOf(dialog), id, win32::toWide(text).c_str());
}

bool isChecked(Window dialog, int id) {
    return itemOf(dialog, id) != nullptr && IsDlgButtonChecked(hwndOf(dialog), id) == BST_CHECKED;
}

void setChecked(Window dialog, int id, bool checked) {
    if (itemOf(dialog, id) != nullptr) CheckDlgButton(hwndOf(dialog), id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void addComboItem(Window dialog, int id, std::u16string_view text) {
    if (HWND combo = itemOf(dialog, id)) {
        const std::wstring item = win32::toWide(text);
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
}

void selectComboItem(Window dialog, int id, int index) {
    // An index beyond the list clears the selection.
    if (HWND combo = itemOf(dialog, id)) SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int comboSelection(Window dialog, int id) {
    HWND combo = itemOf(dialog, id);
    if (combo == nullptr) return -1;
    const LRESULT selection = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    return selection == CB_ERR ? -1 : static_cast<int>(selection);
}

void showItem(Window dialog, int id, bool visible) {
    if (HWND item = itemOf(dialog, id)) ShowWindow(item, visible ? SW_SHOW : SW_HIDE);
}

std::optional<Rect> itemRect(Window dialog, int id) {
    HWND item = itemOf(dialog, id);
    RECT rect{};
    if (item == nullptr || !GetWindowRect(item, &rect)) return std::nullopt;
    MapWindowPoints(HWND_DESKTOP, hwndOf(dialog), reinterpret_cast<POINT*>(&rect), 2);
    return Rect{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

void moveItem(Window dialog, int id, const Rect& rect) {
    if (HWND item = itemOf(dialog, id)) MoveWindow(item, rect.x, rect.y, rect.width, rect.height, TRUE);
}

// --- window properties ----------------------------------------------------

void setProperty(Window window, std::string_view name, uintptr_t value) {
    SetPropW(hwndOf(window), propertyName(name).c_str(), reinterpret_cast<HANDLE>(value));
}

uintptr_t property(Window window, std::string_view name) {
    if (window == 0) return 0;
    return reinterpret_cast<uintptr_t>(GetPropW(hwndOf(window), propertyName(name).c_str()));
}

void removeProperty(Window window, std::string_view name) {
    RemovePropW(hwndOf(window), propertyName(name).c_str());
}

// --- message boxes ------------------------------------------------------------

void messageBox(Window owner, std::u16string_view text, std::u16string_view caption, MessageBoxKind kind) {
    UINT style = MB_OK;
    if (kind == MessageBoxKind::Error) style |= MB_ICONERROR;
    if (kind == MessageBoxKind::Warning) style |= MB_ICONWARNING;
    const std::wstring body = win32::toWide(text);
    const std::wstring title = win32::toWide(caption);
    // A box the system could not show (no interactive desktop) still reaches
    // the log.
    if (MessageBoxW(hwndOf(owner), body.c_str(), title.c_str(), style) == 0 && g_unseenSink)
        g_unseenSink(caption, text);
}

void setUnseenMessageSink(UnseenMessageSink sink) { g_unseenSink = std::move(sink); }

// --- the desktop ----------------------------------------------------------
// Windows has its own desktop: there is nothing to look for.

void connectDesktop() {}
void disconnectDesktop() {}

}  // namespace postrix::platform
