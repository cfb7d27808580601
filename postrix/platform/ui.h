// The user-interface services the dialogs of the plug-in are written
// against: dialogs made from the plug-in's templates and run by a dialog
// procedure, their controls, window properties, a pop-up menu with
// pictures, the multi-select file picker, message boxes.
//
// On Windows these are user32/comdlg32 dialogs. On POSIX a headless toolkit
// keeps every dialog as a list of controls and shows it through the desktop
// of the embedding process (see abi/desktop_abi.h); without one, modal
// dialogs end as cancelled, the file picker picks nothing and message boxes
// go to stderr and to the log.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace postrix::platform {

// A dialog window; 0 is none.
using Window = uintptr_t;
// A brush handle for the colour queries; 0 keeps the platform's colours.
using Brush = uintptr_t;

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    int right() const { return x + width; }
    int bottom() const { return y + height; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Size {
    int width = 0, height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// What asks for a colour: the control kinds the dialogs distinguish.
enum class ColourQuery { Edit, Button, Dialog, Static, ListBox, ScrollBar };

// The messages a dialog gets, as calls. Window is the dialog.
class DialogProcedure {
public:
    virtual ~DialogProcedure() = default;
    // The controls exist. True lets the platform give the focus to the
    // first control that takes it.
    virtual bool onInit(Window dialog) = 0;
    // A button, a menu choice or a key; true when handled.
    virtual bool onCommand(Window dialog, int id) = 0;
    // The client area has the new size (pixels).
    virtual void onSize(Window, int /*width*/, int /*height*/) {}
    // The smallest window size the user may drag the dialog to; empty keeps
    // the platform's.
    virtual std::optional<Size> minimumTrackSize(Window) { return std::nullopt; }
    virtual Brush colourFor(Window, ColourQuery) { return 0; }
    // The window is going away; its controls still exist.
    virtual void onDestroy(Window) {}
};

// The brush a family of dialogs paints each kind of control with; dialog
// procedures hand their colourFor queries to it.
using DialogColours = Brush (*)(ColourQuery query);

// The platform's white stock brush.
Brush whiteBrush();

// --- dialogs ------------------------------------------------------------
// Runs the dialog from template `templateId` modally, owned by `owner`
// (0 = none), and returns its end code once it has ended; the window is
// destroyed by then. The procedure must outlive the call.
intptr_t runModalDialog(int templateId, DialogProcedure& procedure, Window owner = 0);
// Ends a modal dialog with the code runModalDialog returns.
void endDialog(Window dialog, intptr_t code);
// Creates a modeless child dialog (hidden when its template says so). The
// procedure must outlive the window. 0 on failure.
Window createDialog(int templateId, DialogProcedure& procedure, Window parent);
void destroyWindow(Window window);

void showWindow(Window window, bool visible);
// Moves and sizes a window in its parent's client coordinates, repainting.
void moveWindow(Window window, const Rect& rect);

// --- controls -------------------------------------------------------------
bool hasItem(Window dialog, int id);
// The control's text length in UTF-16 units (0 for none), and its text into
// buffer: at most capacity-1 units and a terminator; the count copied.
int itemTextLength(Window dialog, int id);
int itemText(Window dialog, int id, char16_t* buffer, int capacity);
// The whole text of a dialog's control; empty when it has none or the dialog
// has no such control.
std::u16string dialogItemText(Window dialog, int controlId);
void setItemText(Window dialog, int id, std::u16string_view text);
bool isChecked(Window dialog, int id);
void setChecked(Window dialog, int id, bool checked);
void addComboItem(Window dialog, int id, std::u16string_view text);
void selectComboItem(Window dialog, int id, int index);
// The selected entry, -1 when none.
int comboSelection(Window dialog, int id);
void showItem(Window dialog, int id, bool visible);
// A control's rectangle in the dialog's client coordinates; empty when the
// dialog has no such control.
std::optional<Rect> itemRect(Window dialog, int id);
void moveItem(Window dialog, int id, const Rect& rect);

// --- window properties ----------------------------------------------------
// A value kept under a name on a window until removed or the window goes.
void setProperty(Window window, std::string_view name, uintptr_t value);
// 0 when the property does not exist.
uintptr_t property(Window window, std::string_view name);
void removeProperty(Window window, std::string_view name);

// --- pop-up menu ------------------------------------------------------------
struct MenuEntry {
    int id = 0;
    std::u16string text;
    bool separator = false;
    uintptr_t bitmap = 0;  // picture beside the text, 0 = none
};

// The first pop-up of a menu resource, as a copy the caller may extend.
std::vector<MenuEntry> loadPopupMenu(int menuId);
// The mouse cursor in screen coordinates.
struct Point {
    int x = 0, y = 0;
};
Point cursorPosition();
// Shows the menu at `at`, owned by the dialog; the choice arrives later as
// an ordinary command of the dialog, after the current message is handled.
void trackPopupMenu(Window owner, const std::vector<MenuEntry>& entries, Point at);

// --- file picker ------------------------------------------------------------
// The multi-select open-file dialog with byte paths in the system's ANSI code
// page (UTF-8 on POSIX), filling the buffer the way GetOpenFileNameA does
// with the explorer style: one file gives its full path and the offset of its
// name; several files give the folder, a NUL, each name with its NUL and a
// final NUL, with the offset of the first name.
inline constexpr int kFilePickerBufferSize = 261;
inline constexpr int kFilePickerCapacity = 260;
inline constexpr uint32_t kFilePickerBufferTooSmall = 0x3003;
inline constexpr uint32_t kFilePickerFlags = 0x81204;  // explorer, multi-select, must exist, no read-only box

struct FilePickRequest {
    std::u16string filterName;  // "Wszystkie pliki"
    std::u16string filterPattern;  // "*.*"
    std::string initialDirectory;
    uint32_t flags = kFilePickerFlags;
};

struct FilePickOutcome {
    bool confirmed = false;
    int fileOffset = 0;
    uint32_t extendedError = 0;  // when not confirmed: 0 for cancelled
};

// `buffer` holds kFilePickerBufferSize bytes, of which the picker may use
// kFilePickerCapacity.
FilePickOutcome pickFiles(Window owner, const FilePickRequest& request,
                          std::array<char, kFilePickerBufferSize>& buffer);

// The process's current directory in the ANSI code page, at most 260 bytes;
// empty when it is longer or unknown.
std::string currentDirectory();

// --- message boxes ------------------------------------------------------------
enum class MessageBoxKind { Ok, Error, Warning };
// Shows a modal message box owned by `owner`; returns when it is closed.
void messageBox(Window owner, std::u16string_view text, std::u16string_view caption, MessageBoxKind kind);

// Where message boxes go when no one can see them (besides stderr): the
// plug-in points this at its log while it is loaded.
using UnseenMessageSink = std::function<void(std::u16string_view caption, std::u16string_view text)>;
void setUnseenMessageSink(UnseenMessageSink sink);

// --- the desktop ----------------------------------------------------------
// Looks for the desktop of the embedding process (at plug-in load) and
// forgets it again (at unload). Nothing on a platform with its own desktop.
void connectDesktop();
void disconnectDesktop();

}  // namespace postrix::platform
