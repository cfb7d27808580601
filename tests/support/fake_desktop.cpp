#include "support/fake_desktop.h"

#include <stdexcept>

#include "support/fake_host.h"

namespace postrix::test {

namespace {

std::string text(const char16_t* value) { return value ? utf8(value) : std::string(); }

}  // namespace

JoxWindowInfo DialogDriver::window() const {
    JoxWindowInfo info{};
    if (ops_->window(window_, &info) != 1) throw std::runtime_error("no such window");
    return info;
}

std::vector<JoxControlInfo> DialogDriver::controls() const {
    std::vector<JoxControlInfo> all;
    const int32_t count = window().controlCount;
    for (int32_t i = 0; i < count; ++i) {
        JoxControlInfo info{};
        ops_->control(window_, i, &info);
        all.push_back(info);
    }
    return all;
}

JoxControlInfo DialogDriver::control(int id) const {
    for (const JoxControlInfo& info : controls())
        if (info.id == id) return info;
    throw std::runtime_error("no control " + std::to_string(id));
}

std::string DialogDriver::text(int id) const { return utf8(control(id).text); }

std::vector<std::string> DialogDriver::comboItems(int id) const {
    std::vector<std::string> items;
    const int32_t count = control(id).itemCount;
    for (int32_t i = 0; i < count; ++i) {
        char16_t buffer[512];
        ops_->itemText(window_, id, i, buffer, 512);
        items.push_back(utf8(buffer));
    }
    return items;
}

bool DialogDriver::type(int id, std::string_view value) const {
    return ops_->setText(window_, id, wide(value).c_str()) == 1;
}
bool DialogDriver::check(int id, bool checked) const { return ops_->setChecked(window_, id, checked) == 1; }
bool DialogDriver::select(int id, int item) const { return ops_->select(window_, id, item) == 1; }
bool DialogDriver::click(int id) const { return ops_->command(window_, id) == 1; }
bool DialogDriver::key(int id, int key) const { return ops_->pressKey(window_, id, key) == 1; }
bool DialogDriver::resize(int width, int height) const { return ops_->resize(window_, width, height) == 1; }

struct FakeDesktopThunks {
    static FakeDesktop& of(uintptr_t context) { return *reinterpret_cast<FakeDesktop*>(context); }

    static void runModal(uintptr_t context, const JoxDialogOps* ops, JoxWindow dialog) {
        FakeDesktop& desktop = of(context);
        ++desktop.modalRuns;
        if (!desktop.onModal) return;
        DialogDriver driver(ops, dialog);
        desktop.onModal(driver);
    }
    static void pageCreated(uintptr_t context, const JoxDialogOps* ops, JoxWindow page) { of(context).pages[page] = ops; }
    static void pageDestroyed(uintptr_t context, JoxWindow page) {
        of(context).pages.erase(page);
        of(context).destroyedPages.push_back(page);
    }
    static int32_t messageBox(uintptr_t context, JoxWindow owner, const char16_t* title, const char16_t* body,
                              int32_t kind) {
        of(context).boxes.push_back({owner, text(title), text(body), kind});
        return JOX_ANSWER_OK;
    }
    static int32_t pickFiles(uintptr_t context, JoxWindow, const char* directory, JoxFileSink sink, void* sinkContext) {
        FakeDesktop& desktop = of(context);
        desktop.pickDirectories.push_back(directory ? directory : "");
        if (desktop.picks.empty()) return 0;
        const std::vector<std::string> chosen = desktop.picks.front();
        desktop.picks.pop_front();
        if (chosen.empty()) return 0;
        for (const std::string& path : chosen) sink(sinkContext, path.c_str());
        return 1;
    }
    static int32_t popupMenu(uintptr_t context, JoxWindow, const JoxMenuEntry* entries, int32_t count) {
        FakeDesktop& desktop = of(context);
        std::vector<ShownMenuEntry> shown;
        for (int32_t i = 0; i < count; ++i) shown.push_back({entries[i].id, entries[i].flags, text(entries[i].text)});
        desktop.menus.push_back(shown);
        return desktop.chooseFromMenu ? desktop.chooseFromMenu(shown) : 0;
    }
    static void openAddress(uintptr_t context, const char* address) { of(context).openedAddresses.emplace_back(address); }
};

FakeDesktop::FakeDesktop() {
    table_.size = sizeof(JoxDesktop);
    table_.version = JOX_DESKTOP_VERSION;
    table_.context = reinterpret_cast<uintptr_t>(this);
    table_.runModal = FakeDesktopThunks::runModal;
    table_.pageCreated = FakeDesktopThunks::pageCreated;
    table_.pageDestroyed = FakeDesktopThunks::pageDestroyed;
    table_.messageBox = FakeDesktopThunks::messageBox;
    table_.pickFiles = FakeDesktopThunks::pickFiles;
    table_.popupMenu = FakeDesktopThunks::popupMenu;
    table_.openAddress = FakeDesktopThunks::openAddress;
}

}  // namespace postrix::test
