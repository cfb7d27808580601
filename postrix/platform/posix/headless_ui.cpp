#include "platform/posix/headless_ui.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <utility>

#include "platform/posix/desktop_bridge.h"
#include "platform/utf8.h"

#include <unistd.h>

namespace postrix::platform {

using posix::HeadlessControl;
using posix::HeadlessDialog;
using resources::ControlKind;

namespace {

// A dialog with a caption and a sizing border: 8 pixels of border on three
// sides and a 23-pixel caption above the top border.
constexpr Size kCaptionFrame{16, 39};
constexpr Brush kWhiteBrush = 0x00FFFFFF;

std::map<Window, std::unique_ptr<HeadlessDialog>>& dialogs() {
    static std::map<Window, std::unique_ptr<HeadlessDialog>> all;
    return all;
}

Window g_nextWindow = 0x10000;
UnseenMessageSink g_unseenSink;

Rect pixelsOf(int x, int y, int width, int height) {
    const int left = resources::dialogUnitsToPixelsX(x);
    const int top = resources::dialogUnitsToPixelsY(y);
    return {left, top, resources::dialogUnitsToPixelsX(x + width) - left,
            resources::dialogUnitsToPixelsY(y + height) - top};
}

ColourQuery colourQueryOf(ControlKind kind) {
    switch (kind) {
        case ControlKind::Edit:
            return ColourQuery::Edit;
        case ControlKind::Button:
        case ControlKind::CheckBox:
            return ColourQuery::Button;
        case ControlKind::Combo:
            return ColourQuery::ListBox;
        case ControlKind::Label:
        case ControlKind::Picture:
            break;
    }
    return ColourQuery::Static;
}

HeadlessControl controlFrom(const resources::ControlTemplate& source) {
    HeadlessControl control;
    control.id = source.id;
    control.kind = source.kind;
    control.text = source.text;
    control.style = source.style;
    control.visible = (source.style & resources::kStyleHidden) == 0;
    control.rect = pixelsOf(source.x, source.y, source.width, source.height);
    return control;
}

// Builds the dialog from its template; nullptr for an unknown template.
HeadlessDialog* makeDialog(int templateId, DialogProcedure& procedure, Window parent, bool modal, Window& handle) {
    const resources::DialogTemplate* source = resources::findDialog(templateId);
    if (source == nullptr) return nullptr;
    auto dialog = std::make_unique<HeadlessDialog>();
    dialog->templateId = templateId;
    dialog->procedure = &procedure;
    dialog->parent = parent;
    dialog->modal = modal;
    dialog->caption = source->caption;
    dialog->visible = (source->style & resources::kDialogHiddenAtStart) == 0;
    if (source->style & resources::kDialogCaption) dialog->frame = kCaptionFrame;
    const Rect client = pixelsOf(source->x, source->y, source->width, source->height);
    dialog->window = {client.x, client.y, client.width + dialog->frame.width, client.height + dialog->frame.height};
    for (const resources::ControlTemplate& control : source->controls) dialog->controls.push_back(controlFrom(control));
    handle = g_nextWindow;
    g_nextWindow += 0x10;
    HeadlessDialog* made = dialog.get();
    dialogs().emplace(handle, std::move(dialog));
    return made;
}

// Colours are asked once, when the controls exist: nothing here repaints.
void askColours(Window handle, HeadlessDialog& dialog) {
    dialog.whiteBackground = dialog.procedure->colourFor(handle, ColourQuery::Dialog) == kWhiteBrush;
    for (HeadlessControl& control : dialog.controls)
        control.whiteBackground = dialog.procedure->colourFor(handle, colourQueryOf(control.kind)) == kWhiteBrush;
}

void erase(Window handle) { dialogs().erase(handle); }

// Runs one message through the dialog's procedure, then every command posted
// while it ran (menu choices). A destroy asked meanwhile happens at the end.
template <typename Message>
void dispatch(Window handle, HeadlessDialog& dialog, Message&& message) {
    ++dialog.dispatching;
    message();
    while (!dialog.postedCommands.empty() && !dialog.destroyed && !dialog.ended) {
        const int id = dialog.postedCommands.front();
        dialog.postedCommands.pop_front();
        dialog.procedure->onCommand(handle, id);
    }
    dialog.postedCommands.clear();
    if (--dialog.dispatching == 0 && dialog.destroyed) erase(handle);
}

void sendCommand(Window handle, HeadlessDialog& dialog, int id) {
    dispatch(handle, dialog, [&] { dialog.procedure->onCommand(handle, id); });
}

void applySize(Window handle, HeadlessDialog& dialog, int width, int height) {
    dialog.window.width = width;
    dialog.window.height = height;
    const Size client = dialog.client();
    dispatch(handle, dialog, [&] { dialog.procedure->onSize(handle, client.width, client.height); });
}

std::optional<Size> minimumOf(Window handle, HeadlessDialog& dialog) {
    return dialog.procedure->minimumTrackSize(handle);
}

// A live dialog that the desktop may operate.
HeadlessDialog* operable(JoxWindow handle) {
    HeadlessDialog* dialog = posix::headlessDialog(handle);
    if (dialog == nullptr || dialog->ended) return nullptr;
    return dialog;
}

int32_t styleBits(uint32_t style) {
    int32_t bits = 0;
    if (style & resources::kStylePassword) bits |= JOX_STYLE_PASSWORD;
    if (style & resources::kStyleReadOnly) bits |= JOX_STYLE_READ_ONLY;
    if (style & resources::kStyleMultiLine) bits |= JOX_STYLE_MULTI_LINE;
    if (style & resources::kStyleDefaultButton) bits |= JOX_STYLE_DEFAULT_BUTTON;
    if (style & resources::kStyleTabStop) bits |= JOX_STYLE_TAB_STOP;
    if (style & resources::kStyleWantReturn) bits |= JOX_STYLE_WANT_RETURN;
    return bits;
}

int32_t kindNumber(ControlKind kind) {
    switch (kind) {
        case ControlKind::Label:
            return JOX_CONTROL_LABEL;
        case ControlKind::Edit:
            return JOX_CONTROL_EDIT;
        case ControlKind::Button:
            return JOX_CONTROL_BUTTON;
        case ControlKind::CheckBox:
            return JOX_CONTROL_CHECKBOX;
        case ControlKind::Combo:
            return JOX_CONTROL_COMBO;
        case ControlKind::Picture:
            break;
    }
    return JOX_CONTROL_PICTURE;
}

// What typing gives in an edit: a multi-line edit holds its line breaks as
// CR LF, a single-line edit keeps only the first line.
std::u16string typedText(const HeadlessControl& edit, std::u16string_view typed) {
    std::u16string text;
    if (!(edit.style & resources::kStyleMultiLine)) {
        return std::u16string(typed.substr(0, typed.find_first_of(u"\r\n")));
    }
    for (size_t i = 0; i < typed.size(); ++i) {
        if (typed[i] == u'\r') {
            text += u"\r\n";
            if (i + 1 < typed.size() && typed[i + 1] == u'\n') ++i;
        } else if (typed[i] == u'\n') {
            text += u"\r\n";
        } else {
            text += typed[i];
        }
    }
    return text;
}

// --- the operations table -----------------------------------------------------

int32_t opWindow(JoxWindow handle, JoxWindowInfo* out) {
    HeadlessDialog* dialog = posix::headlessDialog(handle);
    if (dialog == nullptr || out == nullptr) return 0;
    JoxWindowInfo info{};
    info.templateId = dialog->templateId;
    info.visible = dialog->visible;
    info.modal = dialog->modal;
    info.ended = dialog->ended;
    info.x = dialog->window.x;
    info.y = dialog->window.y;
    info.width = dialog->window.width;
    info.height = dialog->window.height;
    info.clientWidth = dialog->client().width;
    info.clientHeight = dialog->client().height;
    if (const std::optional<Size> minimum = minimumOf(handle, *dialog)) {
        info.minimumWidth = minimum->width;
        info.minimumHeight = minimum->height;
    }
    info.controlCount = static_cast<int32_t>(dialog->controls.size());
    info.whiteBackground = dialog->whiteBackground;
    info.caption = dialog->caption.c_str();
    *out = info;
    return 1;
}

int32_t opControl(JoxWindow handle, int32_t index, JoxControlInfo* out) {
    HeadlessDialog* dialog = posix::headlessDialog(handle);
    if (dialog == nullptr || out == nullptr || index < 0 || index >= static_cast<int32_t>(dialog->controls.size()))
        return 0;
    const HeadlessControl& control = dialog->controls[static_cast<size_t>(index)];
    JoxControlInfo info{};
    info.id = control.id;
    info.kind = kindNumber(control.kind);
    info.visible = control.visible;
    info.checked = control.checked;
    info.x = control.rect.x;
    info.y = control.rect.y;
    info.width = control.rect.width;
    info.height = control.rect.height;
    info.style = styleBits(control.style);
    info.itemCount = static_cast<int32_t>(control.items.size());
    info.selection = control.selection;
    info.whiteBackground = control.whiteBackground;
    info.text = control.text.c_str();
    *out = info;
    return 1;
}

int32_t opItemText(JoxWindow handle, int32_t id, int32_t item, char16_t* buffer, int32_t capacity) {
    HeadlessDialog* dialog = posix::headlessDialog(handle);
    HeadlessControl* control = dialog ? dialog->control(id) : nullptr;
    if (control == nullptr || item < 0 || item >= static_cast<int32_t>(control->items.size())) return -1;
    const std::u16string& text = control->items[static_cast<size_t>(item)];
    if (buffer != nullptr && capacity > 0) {
        const size_t n = std::min(text.size(), static_cast<size_t>(capacity - 1));
        std::copy_n(text.begin(), n, buffer);
        buffer[n] = u'\0';
    }
    return static_cast<int32_t>(text.size());
}

int32_t opSetText(JoxWindow handle, int32_t id, const char16_t* text) {
    HeadlessDialog* dialog = operable(handle);
    HeadlessControl* control = dialog ? dialog->control(id) : nullptr;
    if (control == nullptr || text == nullptr || control->kind != ControlKind::Edit ||
        (control->style & resources::kStyleReadOnly) || !control->visible)
        return 0;
    control->text = typedText(*control, text);
    return 1;
}

int32_t opSetChecked(JoxWindow handle, int32_t id, int32_t checked) {
    HeadlessDialog* dialog = operable(handle);
    HeadlessControl* control = dialog ? dialog->control(id) : nullptr;
    if (control == nullptr || control->kind != ControlKind::CheckBox || !control->visible) return 0;
    control->checked = checked != 0;
    return 1;
}

int32_t opSelect(JoxWindow handle, int32_t id, int32_t item) {
    HeadlessDialog* dialog = operable(handle);
    HeadlessControl* control = dialog ? dialog->control(id) : nullptr;
    if (control == nullptr || control->kind != ControlKind::Combo || !control->visible || item < 0 ||
        item >= static_cast<int32_t>(control->items.size()))
        return 0;
    control->selection = item;
    return 1;
}

int32_t opCommand(JoxWindow handle, int32_t id) {
    HeadlessDialog* dialog = operable(handle);
    if (dialog == nullptr) return 0;
    // A control with that id must be a visible button to be clicked; other
    // ids are commands of their own (menu choices, Esc).
    if (const HeadlessControl* control = dialog->control(id)) {
        if (control->kind != ControlKind::Button || !control->visible) return 0;
    }
    sendCommand(handle, *dialog, id);
    return 1;
}

int32_t opPressKey(JoxWindow handle, int32_t id, int32_t key) {
    HeadlessDialog* dialog = operable(handle);
    if (dialog == nullptr) return 0;
    if (key == JOX_KEY_ESCAPE) {
        sendCommand(handle, *dialog, 2);
        return 1;
    }
    if (key != JOX_KEY_RETURN) return 0;
    HeadlessControl* focused = dialog->control(id);
    if (focused == nullptr || !focused->visible) return 0;
    if (focused->kind == ControlKind::Edit && (focused->style & resources::kStyleWantReturn)) {
        focused->text += u"\r\n";
        return 1;
    }
    int defaultId = 1;
    for (const HeadlessControl& control : dialog->controls)
        if (control.style & resources::kStyleDefaultButton) defaultId = control.id;
    sendCommand(handle, *dialog, defaultId);
    return 1;
}

int32_t opResize(JoxWindow handle, int32_t width, int32_t height) {
    HeadlessDialog* dialog = operable(handle);
    if (dialog == nullptr || width <= 0 || height <= 0) return 0;
    if (const std::optional<Size> minimum = minimumOf(handle, *dialog)) {
        width = std::max(width, minimum->width);
        height = std::max(height, minimum->height);
    }
    applySize(handle, *dialog, width, height);
    return 1;
}

constexpr JoxDialogOps kOps{
    sizeof(JoxDialogOps), JOX_DESKTOP_VERSION, opWindow, opControl, opItemText, opSetText, opSetChecked, opSelect,
    opCommand, opPressKey, opResize,
};

void collectFile(void* sink, const char* path) {
    if (path != nullptr) static_cast<std::vector<std::string>*>(sink)->emplace_back(path);
}

// The picked files laid out as the explorer-style ANSI file dialog leaves
// them in its buffer.
FilePickOutcome packPickedFiles(const std::vector<std::string>& paths, std::array<char, kFilePickerBufferSize>& buffer) {
    FilePickOutcome outcome;
    if (paths.empty()) return outcome;
    std::string packed;
    if (paths.size() == 1) {
        const size_t slash = paths[0].rfind('/');
        if (slash == std::string::npos) return outcome;
        packed = paths[0];
        packed.push_back('\0');
        outcome.fileOffset = static_cast<int>(slash + 1);
    } else {
        const size_t slash = paths[0].rfind('/');
        if (slash == std::string::npos) return outcome;
        // The folder without its separator, except for the root.
        const std::string folder = paths[0].substr(0, slash == 0 ? 1 : slash);
        packed = folder;
        packed.push_back('\0');
        outcome.fileOffset = static_cast<int>(packed.size());
        for (const std::string& path : paths) {
            const size_t nameStart = path.rfind('/');
            // One pick holds files of one folder.
            if (nameStart != slash || path.compare(0, slash, paths[0], 0, slash) != 0) return FilePickOutcome{};
            packed.append(path, nameStart + 1);
            packed.push_back('\0');
        }
        packed.push_back('\0');
    }
    if (packed.size() > static_cast<size_t>(kFilePickerCapacity)) {
        outcome.fileOffset = 0;
        outcome.extendedError = kFilePickerBufferTooSmall;
        return outcome;
    }
    std::copy(packed.begin(), packed.end(), buffer.begin());
    outcome.confirmed = true;
    return outcome;
}

int32_t boxKind(MessageBoxKind kind) {
    switch (kind) {
        case MessageBoxKind::Error:
            return JOX_BOX_ERROR;
        case MessageBoxKind::Warning:
            return JOX_BOX_WARNING;
        case MessageBoxKind::Ok:
            break;
    }
    return JOX_BOX_OK;
}

}  // namespace

namespace posix {

HeadlessControl* HeadlessDialog::control(int id) {
    if (id == resources::kNoId) return nullptr;
    for (HeadlessControl& control : controls)
        if (control.id == id) return &control;
    return nullptr;
}

HeadlessDialog* headlessDialog(Window window) {
    const auto found = dialogs().find(window);
    if (found == dialogs().end() || found->second->destroyed) return nullptr;
    return found->second.get();
}

const JoxDialogOps& dialogOps() { return kOps; }

}  // namespace posix

Brush whiteBrush() { return kWhiteBrush; }

intptr_t runModalDialog(int templateId, DialogProcedure& procedure, Window owner) {
    Window handle = 0;
    HeadlessDialog* dialog = makeDialog(templateId, procedure, owner, true, handle);
    if (dialog == nullptr) return -1;
    askColours(handle, *dialog);
    dispatch(handle, *dialog, [&] { procedure.onInit(handle); });
    if (!dialog->ended) {
        if (const JoxDesktop* desktop = posix::desktop(); desktop != nullptr && desktop->runModal != nullptr)
            desktop->runModal(desktop->context, &kOps, handle);
    }
    // A desktop that gave up, or none at all: the dialog ends as cancelled.
    if (!dialog->ended) endDialog(handle, 0);
    const intptr_t code = dialog->endCode;
    procedure.onDestroy(handle);
    erase(handle);
    return code;
}

void endDialog(Window window, intptr_t code) {
    HeadlessDialog* dialog = posix::headlessDialog(window);
    if (dialog == nullptr || !dialog->modal || dialog->ended) return;
    dialog->ended = true;
    dialog->endCode = code;
    dialog->visible = false;
}

Window createDialog(int templateId, DialogProcedure& procedure, Window parent) {
    Window handle = 0;
    HeadlessDialog* dialog = makeDialog(templateId, procedure, parent, false, handle);
    if (dialog == nullptr) return 0;
    askColours(handle, *dialog);
    dispatch(handle, *dialog, [&] { procedure.onInit(handle); });
    if (const JoxDesktop* desktop = posix::desktop(); desktop != nullptr && desktop->pageCreated != nullptr)
        desktop->pageCreated(desktop->context, &kOps, handle);
    return handle;
}

void destroyWindow(Window window) {
    HeadlessDialog* dialog = posix::headlessDialog(window);
    if (dialog == nullptr || dialog->modal) return;
    if (const JoxDesktop* desktop = posix::desktop(); desktop != nullptr && desktop->pageDestroyed != nullptr)
        desktop->pageDestroyed(desktop->context, window);
    dialog->procedure->onDestroy(window);
    if (dialog->dispatching > 0) {
        dialog->destroyed = true;
        return;
    }
    erase(window);
}

void showWindow(Window window, bool visible) {
    if (HeadlessDialog* dialog = posix::headlessDialog(window)) dialog->visible = visible;
}

void moveWindow(Window window, const Rect& rect) {
    HeadlessDialog* dialog = posix::headlessDialog(window);
    if (dialog == nullptr) return;
    const bool resized = rect.width != dialog->window.width || rect.height != dialog->window.height;
    dialog->window.x = rect.x;
    dialog->window.y = rect.y;
    if (resized) applySize(window, *dialog, rect.width, rect.height);
}

bool hasItem(Window dialog, int id) {
    HeadlessDialog* found = posix::headlessDialog(dialog);
    return found != nullptr && found->control(id) != nullptr;
}

int itemTextLength(Window dialog, int id) {
    HeadlessDialog* found = posix::headlessDialog(dialog);
    const HeadlessControl* control = found ? found->control(id) : nullptr;
    return control ? static_cast<int>(control->text.size()) : 0;
}

int itemText(Window dialog, int id, char16_t* buffer, int capacity) {
    if (buffer == nullptr || capacity <= 0) return 0;
    buffer[0] = u'\0';
    HeadlessDialog* found = posix::headlessDialog(dialog);
    const HeadlessControl* control = found ? found->control(id) : nullptr;
    if (control == nullptr) return 0;
    const size_t n = std::min(control->text.size(), static_cast<size_t>(capacity - 1));
    std::copy_n(control->text.begin(), n, buffer);
    buffer[n] = u'\0';
    return static_cast<int>(n);
}

void setItemText(Window dialog, int id, std::u16string_view text) {
    HeadlessDialog* found = posix::headlessDialog(dialog);
    if (HeadlessControl* control = found ? found->control(id) : nullptr) control->text = text;
}

bool isChecked(Window dialog, int id) {
    HeadlessDialog* found = posix::headlessDialog(dialog);
    const HeadlessControl* control = found ? found->control(id) : nullptr;
    return control != nullptr && control->checked;
}

void setChecked(Window dialog, int id, bool checked) {
    HeadlessDialog* found = posix::headlessDialog(dialog);
    if (HeadlessControl* control = found ? found->control(id) : nullptr) control->checked = checked;
}

void addComboItem(Window dialog, int id, std::u16string_view text) {
    HeadlessDialog* found = posix::headlessDialog(dialog);
    HeadlessControl* control = found ? found->control(id) : nullptr;
    if (control != nullptr && control->kind == ControlKind::Combo) control->items.emplace_back(text);
}

void selectComboItem(Window dialog, int id, int index) {
    HeadlessDialog* found = posix::headlessDialog(dialog);
    HeadlessControl* control = found ? found->control(id) : nullptr;
    if (control == nullptr || control->kind != ControlKind::Combo) return;
    control->selection = index >= 0 && index < static_cast<int>(control->items.size()) ? index : -1;
}

int comboSelection(Window dialog, int id) {
    HeadlessDialog* found = posix::headlessDialog(dialog);
    const HeadlessControl* control = found ? found->control(id) : nullptr;
    return control != nullptr ? control->selection : -1;
}

void showItem(Window dialog, int id, bool visible) {
    HeadlessDialog* found = posix::headlessDialog(dialog);
    if (HeadlessControl* control = found ? found->control(id) : nullptr) control->visible = visible;
}

std::optional<Rect> itemRect(Window dialog, int id) {
    HeadlessDialog* found = posix::headlessDialog(dialog);
    const HeadlessControl* control = found ? found->control(id) : nullptr;
    if (control == nullptr) return std::nullopt;
    return control->rect;
}

void moveItem(Window dialog, int id, const Rect& rect) {
    HeadlessDialog* found = posix::headlessDialog(dialog);
    if (HeadlessControl* control = found ? found->control(id) : nullptr) control->rect = rect;
}

void setProperty(Window window, std::string_view name, uintptr_t value) {
    if (HeadlessDialog* dialog = posix::headlessDialog(window)) dialog->properties[std::string(name)] = value;
}

uintptr_t property(Window window, std::string_view name) {
    HeadlessDialog* dialog = posix::headlessDialog(window);
    if (dialog == nullptr) return 0;
    const auto found = dialog->properties.find(name);
    return found == dialog->properties.end() ? 0 : found->second;
}

void removeProperty(Window window, std::string_view name) {
    HeadlessDialog* dialog = posix::headlessDialog(window);
    if (dialog == nullptr) return;
    if (const auto found = dialog->properties.find(name); found != dialog->properties.end())
        dialog->properties.erase(found);
}

std::vector<MenuEntry> loadPopupMenu(int menuId) {
    std::vector<MenuEntry> entries;
    if (const resources::MenuTemplate* menu = resources::findMenu(menuId))
        for (const resources::MenuItemTemplate& item : menu->items) entries.push_back({item.id, std::u16string(item.text)});
    return entries;
}

Point cursorPosition() { return {}; }

void trackPopupMenu(Window owner, const std::vector<MenuEntry>& entries, Point) {
    HeadlessDialog* dialog = posix::headlessDialog(owner);
    const JoxDesktop* desktop = posix::desktop();
    if (dialog == nullptr || desktop == nullptr || desktop->popupMenu == nullptr) return;
    std::vector<JoxMenuEntry> shown;
    for (const MenuEntry& entry : entries) {
        int32_t flags = 0;
        if (entry.separator) flags |= JOX_MENU_SEPARATOR;
        if (entry.bitmap != 0) flags |= JOX_MENU_PICTURE;
        shown.push_back({entry.id, flags, entry.separator ? nullptr : entry.text.c_str()});
    }
    const int32_t choice =
        desktop->popupMenu(desktop->context, owner, shown.data(), static_cast<int32_t>(shown.size()));
    // Only an entry of the menu can be chosen.
    const bool offered = std::any_of(entries.begin(), entries.end(),
                                     [&](const MenuEntry& entry) { return !entry.separator && entry.id == choice; });
    if (choice == 0 || !offered) return;
    dialog->postedCommands.push_back(choice);
    if (dialog->dispatching == 0) dispatch(owner, *dialog, [] {});
}

FilePickOutcome pickFiles(Window owner, const FilePickRequest& request, std::array<char, kFilePickerBufferSize>& buffer) {
    const JoxDesktop* desktop = posix::desktop();
    if (desktop == nullptr || desktop->pickFiles == nullptr) return {};
    std::vector<std::string> paths;
    if (desktop->pickFiles(desktop->context, owner, request.initialDirectory.c_str(), collectFile, &paths) == 0)
        return {};
    return packPickedFiles(paths, buffer);
}

std::string currentDirectory() {
    std::array<char, 4096> path{};
    if (getcwd(path.data(), path.size()) == nullptr) return {};
    std::string directory(path.data());
    return directory.size() <= 260 ? directory : std::string();
}

void messageBox(Window owner, std::u16string_view text, std::u16string_view caption, MessageBoxKind kind) {
    if (const JoxDesktop* desktop = posix::desktop(); desktop != nullptr && desktop->messageBox != nullptr) {
        const std::u16string title(caption);
        const std::u16string body(text);
        desktop->messageBox(desktop->context, owner, title.c_str(), body.c_str(), boxKind(kind));
        return;
    }
    std::string line = utf16ToUtf8(caption);
    line += ": ";
    line += utf16ToUtf8(text);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    if (g_unseenSink) g_unseenSink(caption, text);
}

void setUnseenMessageSink(UnseenMessageSink sink) { g_unseenSink = std::move(sink); }

}  // namespace postrix::platform
