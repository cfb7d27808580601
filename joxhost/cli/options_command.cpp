// options: an account's options page as the host's options window runs it:
// the page is shown (its first event builds it), the given values are typed
// into its controls, it is applied (event 4) and closed (event 3).
#include <cctype>
#include <iostream>

#include "cli/command_support.h"
#include "cli/password_input.h"
#include "postrix/abi/records_accounts.h"
#include "core/utf.h"

namespace joxhost {
namespace {

// The page's controls.
constexpr int kMail = 1001;
constexpr int kLogin = 1002;
constexpr int kPassword = 1003;
constexpr int kSmtp = 1004;
constexpr int kPop3 = 1005;
constexpr int kWww = 1006;
constexpr int kSsl = 1007;
constexpr int kInterval = 1008;
constexpr int kProtocol = 1009;  // a drop-down list: "POP3", "IMAP"
constexpr int kImap = 1010;
constexpr int kFolder = 1011;

// Where the options window puts its pages.
constexpr int32_t kPageX = 170, kPageY = 10, kPageWidth = 400, kPageHeight = 330;

class PageEvents {
public:
    PageEvents(Host& host, std::u16string pageId, const OptionsPages::Page& page)
        : host_(host), pageId_(std::move(pageId)), page_(page) {}

    void send(int32_t code) {
        postrix::PageEventRecord event{};
        event.size = sizeof event;
        event.pageId = pageId_.c_str();
        event.code = code;
        event.x = kPageX;
        event.y = kPageY;
        event.width = kPageWidth;
        event.height = kPageHeight;
        PluginCalls::Scope scope(host_.calls);
        page_.handler(reinterpret_cast<uintptr_t>(&event), 0, page_.context);
    }

private:
    Host& host_;
    std::u16string pageId_;
    OptionsPages::Page page_;
};

std::string labelText(std::string text) {
    while (!text.empty() && (text.back() == ':' || text.back() == ' ')) text.pop_back();
    return text;
}

// The page as a person reads it: each label with its control's value.
void showPage(const Dialog& page, Reporter& reporter) {
    const auto controls = page.controls();
    for (size_t i = 0; i < controls.size(); ++i) {
        const JoxControlInfo& control = controls[i];
        if (control.kind == JOX_CONTROL_CHECKBOX) {
            reporter.emit(Event("option")
                              .add("id", control.id)
                              .add("label", utf8FromHost(control.text))
                              .add("value", control.checked ? "tak" : "nie"));
            continue;
        }
        if (control.kind == JOX_CONTROL_LABEL && i + 1 < controls.size() && controls[i + 1].kind == JOX_CONTROL_COMBO) {
            const JoxControlInfo& list = controls[++i];
            const auto items = page.comboItems(list.id);
            const bool chosen = list.selection >= 0 && static_cast<size_t>(list.selection) < items.size();
            reporter.emit(Event("option")
                              .add("id", list.id)
                              .add("label", labelText(utf8FromHost(control.text)))
                              .add("value", chosen ? items[static_cast<size_t>(list.selection)] : ""));
            continue;
        }
        if (control.kind != JOX_CONTROL_LABEL || i + 1 >= controls.size() || controls[i + 1].kind != JOX_CONTROL_EDIT)
            continue;
        const JoxControlInfo& edit = controls[++i];
        std::string value = utf8FromHost(edit.text);
        if ((edit.style & JOX_STYLE_PASSWORD) && !value.empty()) value = "********";
        // A unit after the value ("min"): a label that names no control.
        if (i + 1 < controls.size() && controls[i + 1].kind == JOX_CONTROL_LABEL &&
            (i + 2 >= controls.size() ||
             (controls[i + 2].kind != JOX_CONTROL_EDIT && controls[i + 2].kind != JOX_CONTROL_COMBO)))
            value += " " + utf8FromHost(controls[++i].text);
        reporter.emit(
            Event("option").add("id", edit.id).add("label", labelText(utf8FromHost(control.text))).add("value", value));
    }
}

// The entry of a list whose text equals the name, letters compared without
// case; -1 when none does.
int itemNamed(const std::vector<std::string>& items, const std::string& name) {
    const auto lower = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    for (size_t i = 0; i < items.size(); ++i)
        if (lower(items[i]) == lower(name)) return static_cast<int>(i);
    return -1;
}

}  // namespace

int optionsCommand(const CommandLine& line, const Environment& environment, Reporter& reporter) {
    const int position = *parseIndex(line.arguments[0]);
    std::optional<std::string> password;
    if (line.passwordStdin) password = firstLine(std::cin);

    asio::io_context io;
    auto session = openSession(io, line, environment, reporter);
    if (!session) return kExitFailed;
    Host& host = session->host();
    size_t count = 0;
    const auto account = accountAt(host, position, &count);
    if (!account) {
        return fail(reporter, kExitUsage, noAccountAt("options", position, count));
    }
    const std::u16string pageId = toUtf16("MAIL/Options/" + std::to_string(account->id));
    const auto found = host.optionsPages.pages().find(pageId);
    if (found == host.optionsPages.pages().end()) return fail(reporter, kExitFailed, "options: the account has no options page");
    PageEvents events(host, pageId, found->second);

    const auto pagesBefore = host.desktop.pages();
    events.send(postrix::kPageShow);
    std::optional<Dialog> page;
    for (const auto& [window, ops] : host.desktop.pages())
        if (!pagesBefore.count(window)) page.emplace(ops, window);
    if (!page) return fail(reporter, kExitFailed, "options: the plug-in showed no page");

    bool typed = true;
    const std::pair<int, const std::optional<std::string>*> texts[] = {
        {kMail, &line.mail}, {kLogin, &line.login}, {kPassword, &password}, {kSmtp, &line.smtp},
        {kPop3, &line.pop3}, {kWww, &line.www},     {kInterval, &line.interval}, {kImap, &line.imap},
        {kFolder, &line.folder}};
    bool edited = false;
    for (const auto& [id, value] : texts) {
        if (!*value) continue;
        typed &= page->type(id, **value);
        edited = true;
    }
    if (line.ssl) {
        typed &= page->check(kSsl, *line.ssl);
        edited = true;
    }
    if (line.protocol) {
        // The list's entry that reads as the protocol ("imap" picks "IMAP").
        const int item = itemNamed(page->comboItems(kProtocol), *line.protocol);
        typed &= item >= 0 && page->select(kProtocol, item);
        edited = true;
    }
    if (!typed) {
        events.send(postrix::kPageCancel);
        return fail(reporter, kExitFailed, "options: the page refused a value");
    }
    const int failedWritesBefore = host.settings.failedWrites();
    if (edited) events.send(postrix::kPageApply);
    if (line.show) showPage(*page, reporter);
    events.send(postrix::kPageClose);
    if (host.settings.failedWrites() != failedWritesBefore) {
        return fail(reporter, kExitFailed, settingsNotSaved("options", host.settings));
    }
    if (edited) reporter.emit(Event("options-applied").add("account", account->id));
    return kExitOk;
}

}  // namespace joxhost
