#include "services/desktop.h"

#include "core/utf.h"

namespace joxhost {
namespace {

Desktop* current = nullptr;

}  // namespace

JoxWindowInfo Dialog::info() const {
    JoxWindowInfo info{};
    ops_->window(window_, &info);
    return info;
}

std::vector<JoxControlInfo> Dialog::controls() const {
    std::vector<JoxControlInfo> all;
    const int32_t count = info().controlCount;
    for (int32_t i = 0; i < count; ++i) {
        JoxControlInfo control{};
        if (ops_->control(window_, i, &control) == 1) all.push_back(control);
    }
    return all;
}

std::optional<JoxControlInfo> Dialog::control(int id) const {
    for (const JoxControlInfo& control : controls())
        if (control.id == id) return control;
    return std::nullopt;
}

std::string Dialog::text(int id) const {
    const auto found = control(id);
    return found ? utf8FromHost(found->text) : std::string();
}

std::vector<std::string> Dialog::comboItems(int id) const {
    std::vector<std::string> items;
    const auto found = control(id);
    for (int32_t i = 0; found && i < found->itemCount; ++i) {
        const int32_t length = ops_->itemText(window_, id, i, nullptr, 0);
        std::u16string text(static_cast<size_t>(std::max(length, 0)) + 1, u'\0');
        ops_->itemText(window_, id, i, text.data(), static_cast<int32_t>(text.size()));
        items.push_back(utf8FromHost(text.c_str()));
    }
    return items;
}

bool Dialog::type(int id, const std::string& text) const {
    return ops_->setText(window_, id, toUtf16(text).c_str()) == 1;
}
bool Dialog::check(int id, bool checked) const { return ops_->setChecked(window_, id, checked ? 1 : 0) == 1; }
bool Dialog::select(int id, int item) const { return ops_->select(window_, id, item) == 1; }
bool Dialog::click(int id) const { return ops_->command(window_, id) == 1; }

struct DesktopCallbacks {
    static Desktop& of(uintptr_t context) { return *reinterpret_cast<Desktop*>(context); }

    static void runModal(uintptr_t context, const JoxDialogOps* ops, JoxWindow dialog) {
        Desktop& desktop = of(context);
        desktop.reporter_.detail(Event("dialog").add("template", Dialog(ops, dialog).info().templateId));
        if (desktop.onModal) desktop.onModal(Dialog(ops, dialog));
    }
    static void pageCreated(uintptr_t context, const JoxDialogOps* ops, JoxWindow page) {
        of(context).pages_[page] = ops;
    }
    static void pageDestroyed(uintptr_t context, JoxWindow page) { of(context).pages_.erase(page); }
    static int32_t messageBox(uintptr_t context, JoxWindow, const char16_t* title, const char16_t* text,
                              int32_t kind) {
        Desktop& desktop = of(context);
        ++desktop.messageBoxes_;
        desktop.lastBoxText_ = utf8FromHost(text);
        desktop.reporter_.emit(Event(kind == JOX_BOX_ERROR ? "error" : "message")
                                   .add("title", utf8FromHost(title))
                                   .add("text", desktop.lastBoxText_));
        return JOX_ANSWER_OK;
    }
    static int32_t pickFiles(uintptr_t context, JoxWindow, const char*, JoxFileSink sink, void* sinkContext) {
        Desktop& desktop = of(context);
        if (desktop.picks.empty()) return 0;
        const std::vector<std::string> chosen = std::move(desktop.picks.front());
        desktop.picks.pop_front();
        if (chosen.empty()) return 0;
        for (const std::string& path : chosen) sink(sinkContext, path.c_str());
        return 1;
    }
    static int32_t popupMenu(uintptr_t context, JoxWindow, const JoxMenuEntry* entries, int32_t count) {
        Desktop& desktop = of(context);
        std::vector<MenuChoice> choices;
        for (int32_t i = 0; i < count; ++i)
            choices.push_back({entries[i].id, entries[i].flags, utf8FromHost(entries[i].text)});
        return desktop.chooseFromMenu ? desktop.chooseFromMenu(choices) : 0;
    }
    static void openAddress(uintptr_t context, const char* address) {
        of(context).reporter_.emit(Event("open").add("address", address ? address : ""));
    }
};

Desktop::Desktop(Reporter& reporter) : reporter_(reporter) {
    table_.size = sizeof(JoxDesktop);
    table_.version = JOX_DESKTOP_VERSION;
    table_.context = reinterpret_cast<uintptr_t>(this);
    table_.runModal = DesktopCallbacks::runModal;
    table_.pageCreated = DesktopCallbacks::pageCreated;
    table_.pageDestroyed = DesktopCallbacks::pageDestroyed;
    table_.messageBox = DesktopCallbacks::messageBox;
    table_.pickFiles = DesktopCallbacks::pickFiles;
    table_.popupMenu = DesktopCallbacks::popupMenu;
    table_.openAddress = DesktopCallbacks::openAddress;
    current = this;
}

Desktop::~Desktop() {
    if (current == this) current = nullptr;
}

const JoxDesktop* Desktop::currentTable() { return current ? &current->table_ : nullptr; }

}  // namespace joxhost
