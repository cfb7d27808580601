// A desktop for the headless toolkit in unit tests: it runs modal dialogs
// through a script, answers message boxes, the file picker and pop-up menus
// from queues, and records what the plug-in showed.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "abi/desktop_abi.h"

namespace postrix::test {

// Reads and operates one dialog through the plug-in's operations table, as
// a user would. Texts are UTF-8.
class DialogDriver {
public:
    DialogDriver(const JoxDialogOps* ops, JoxWindow window) : ops_(ops), window_(window) {}

    JoxWindow handle() const { return window_; }
    JoxWindowInfo window() const;
    // The control with that id; throws when there is none.
    JoxControlInfo control(int id) const;
    std::vector<JoxControlInfo> controls() const;
    std::string text(int id) const;
    bool visible(int id) const { return control(id).visible != 0; }
    std::vector<std::string> comboItems(int id) const;

    bool type(int id, std::string_view text) const;
    bool check(int id, bool checked) const;
    bool select(int id, int item) const;
    bool click(int id) const;
    bool key(int id, int key) const;
    bool resize(int width, int height) const;

private:
    const JoxDialogOps* ops_;
    JoxWindow window_;
};

struct ShownBox {
    JoxWindow owner;
    std::string title, text;
    int32_t kind;
};

struct ShownMenuEntry {
    int32_t id, flags;
    std::string text;
};

// The desktop table only; tests install it into the plug-in's headless
// toolkit with fixtures/installed_desktop.h.
class FakeDesktop {
public:
    FakeDesktop();
    FakeDesktop(const FakeDesktop&) = delete;
    FakeDesktop& operator=(const FakeDesktop&) = delete;

    // --- scripts ---------------------------------------------------------
    // Operates each modal dialog; without one the dialog is left alone and
    // so ends as cancelled.
    std::function<void(DialogDriver&)> onModal;
    // Each file-picker call takes the front entry: the chosen paths, or
    // none to cancel. An empty queue cancels.
    std::deque<std::vector<std::string>> picks;
    // Chooses from a pop-up menu: the chosen id, 0 for none.
    std::function<int32_t(const std::vector<ShownMenuEntry>&)> chooseFromMenu;

    // --- what the plug-in showed ---------------------------------------------
    std::vector<ShownBox> boxes;
    std::vector<std::vector<ShownMenuEntry>> menus;
    std::vector<std::string> pickDirectories;
    std::vector<std::string> openedAddresses;
    std::map<JoxWindow, const JoxDialogOps*> pages;  // live pages
    std::vector<JoxWindow> destroyedPages;
    int modalRuns = 0;

    DialogDriver page(JoxWindow window) const { return DialogDriver(pages.at(window), window); }
    const JoxDesktop* table() const { return &table_; }

private:
    JoxDesktop table_{};
    friend struct FakeDesktopThunks;
};

}  // namespace postrix::test
