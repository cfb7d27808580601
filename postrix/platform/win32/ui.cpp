// The minimal toolkit: every ui.h service, dialogs end cancelled, boxes go to stderr and the log.
#include "platform/ui.h"

#include "platform/codecs.h"
#include "platform/win32/windows_api.h"

#include <cstdio>

namespace postrix::platform {

namespace {

UnseenMessageSink g_unseenSink;

}  // namespace

Brush whiteBrush() { return reinterpret_cast<Brush>(GetStockObject(WHITE_BRUSH)); }

intptr_t runModalDialog(int, DialogProcedure&, Window) { return 0; }
void endDialog(Window, intptr_t) {}
Window createDialog(int, DialogProcedure&, Window) { return 0; }
void destroyWindow(Window) {}
void showWindow(Window, bool) {}
void moveWindow(Window, const Rect&) {}

bool hasItem(Window, int) { return false; }
int itemTextLength(Window, int) { return 0; }
int itemText(Window, int, char16_t* buffer, int capacity) {
    if (buffer != nullptr && capacity > 0) buffer[0] = u'\0';
    return 0;
}
void setItemText(Window, int, std::u16string_view) {}
bool isChecked(Window, int) { return false; }
void setChecked(Window, int, bool) {}
void addComboItem(Window, int, std::u16string_view) {}
void selectComboItem(Window, int, int) {}
int comboSelection(Window, int) { return -1; }
void showItem(Window, int, bool) {}
std::optional<Rect> itemRect(Window, int) { return std::nullopt; }
void moveItem(Window, int, const Rect&) {}

void setProperty(Window, std::string_view, uintptr_t) {}
uintptr_t property(Window, std::string_view) { return 0; }
void removeProperty(Window, std::string_view) {}

std::vector<MenuEntry> loadPopupMenu(int) { return {}; }
Point cursorPosition() { return {}; }
void trackPopupMenu(Window, const std::vector<MenuEntry>&, Point) {}

FilePickOutcome pickFiles(Window, const FilePickRequest&, std::array<char, kFilePickerBufferSize>&) { return {}; }

std::string currentDirectory() {
    std::array<char, MAX_PATH + 1> path{};
    const DWORD length = GetCurrentDirectoryA(DWORD(path.size()), path.data());
    if (length == 0 || length > 260) return {};
    return std::string(path.data(), length);
}

void messageBox(Window, std::u16string_view text, std::u16string_view caption, MessageBoxKind) {
    std::string line = wideToUtf8Bytes(caption);
    line += ": ";
    line += wideToUtf8Bytes(text);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    if (g_unseenSink) g_unseenSink(caption, text);
}

void setUnseenMessageSink(UnseenMessageSink sink) { g_unseenSink = std::move(sink); }

// Windows has its own desktop; there is nothing to look for.
void connectDesktop() {}
void disconnectDesktop() {}

}  // namespace postrix::platform
