// joxhost's desktop for the plug-in's dialogs (postrix/abi/desktop_abi.h):
// modal dialogs run under a script the running command sets, options pages
// are kept while they live, message boxes become `error` (or `message`)
// events answered OK, the file picker and pop-up menus answer from what the
// command queued, and opened addresses become `open` events.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "postrix/abi/desktop_abi.h"
#include "core/reporter.h"

namespace joxhost {

// One of the plug-in's dialogs, operated through its operations table.
class Dialog {
public:
    Dialog(const JoxDialogOps* ops, JoxWindow window) : ops_(ops), window_(window) {}

    JoxWindowInfo info() const;
    std::vector<JoxControlInfo> controls() const;
    // The control with that id, if the dialog has one.
    std::optional<JoxControlInfo> control(int id) const;
    std::string text(int id) const;
    std::vector<std::string> comboItems(int id) const;

    bool type(int id, const std::string& text) const;
    bool check(int id, bool checked) const;
    bool select(int id, int item) const;
    bool click(int id) const;

private:
    const JoxDialogOps* ops_;
    JoxWindow window_;
};

struct MenuChoice {
    int32_t id;
    int32_t flags;
    std::string text;
};

class Desktop {
public:
    // The desktop joxDesktop() hands out while this object lives.
    explicit Desktop(Reporter& reporter);
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    static const JoxDesktop* currentTable();

    // Operates each modal dialog; without one the dialog ends as cancelled.
    std::function<void(const Dialog&)> onModal;
    // The answers of the next file-picker calls (full paths); none: cancel.
    std::deque<std::vector<std::string>> picks;
    // Chooses from a pop-up menu; 0 for nothing. Without one nothing.
    std::function<int32_t(const std::vector<MenuChoice>&)> chooseFromMenu;

    // The live options pages.
    const std::map<JoxWindow, const JoxDialogOps*>& pages() const { return pages_; }
    int messageBoxes() const { return messageBoxes_; }
    // The text of the latest message box.
    const std::string& lastBoxText() const { return lastBoxText_; }

private:
    friend struct DesktopCallbacks;

    Reporter& reporter_;
    JoxDesktop table_{};
    std::map<JoxWindow, const JoxDialogOps*> pages_;
    int messageBoxes_ = 0;
    std::string lastBoxText_;
};

}  // namespace joxhost
