// The headless dialog toolkit of the POSIX build: every dialog is a list of
// controls built from the plug-in's templates, run by the same dialog
// procedures as on Windows, and shown to a user only through the desktop of
// the embedding process.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "abi/desktop_abi.h"
#include "platform/ui.h"
#include "resources/templates.h"

namespace postrix::platform::posix {

struct HeadlessControl {
    int id = resources::kNoId;
    resources::ControlKind kind = resources::ControlKind::Label;
    std::u16string text;
    uint32_t style = 0;  // resources::ControlStyle bits
    bool visible = true;
    bool checked = false;
    std::vector<std::u16string> items;
    int selection = -1;
    Rect rect;  // pixels, client coordinates
    bool whiteBackground = false;
};

struct HeadlessDialog {
    int templateId = 0;
    DialogProcedure* procedure = nullptr;
    Window parent = 0;
    bool modal = false;
    bool ended = false;
    intptr_t endCode = 0;
    bool visible = false;
    bool destroyed = false;  // destroy asked while a message was being handled
    int dispatching = 0;
    Rect window;       // pixels, the whole window in its parent's coordinates
    Size frame;        // what the frame adds to the client area
    std::u16string caption;
    bool whiteBackground = false;
    std::vector<HeadlessControl> controls;
    std::map<std::string, uintptr_t, std::less<>> properties;
    std::deque<int> postedCommands;

    HeadlessControl* control(int id);
    Size client() const { return {window.width - frame.width, window.height - frame.height}; }
};

// The dialog behind a window handle, or nullptr.
HeadlessDialog* headlessDialog(Window window);

// The table the desktop gets to operate dialogs.
const JoxDialogOps& dialogOps();

}  // namespace postrix::platform::posix
