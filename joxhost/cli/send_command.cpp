// send: a mail through the plug-in's send dialog, the way a person sends
// one: the contact menu is rebuilt for the chosen contacts and must offer
// "Wyślij e-mail...", the item is clicked, and the dialog that opens is
// filled in and sent; then the loop runs until the send's outcome.
#include <algorithm>
#include <fstream>
#include <iterator>

#include "cli/command_support.h"
#include "store/contacts.h"
#include "postrix/abi/records_ui.h"
#include "cli/send_outcome.h"
#include "cli/send_progress.h"
#include "core/utf.h"

namespace joxhost {
namespace {

constexpr char16_t kContactSendMenu[] = u"JOX/Menu/Contact/Send";
constexpr char16_t kFastSendItem[] = u"MAIL/fastSend";

// The send dialog's controls and commands.
constexpr int kSend = 1;
constexpr int kCancel = 2;
constexpr int kAccountBox = 1009;
constexpr int kSubject = 1010;
constexpr int kBody = 1011;
constexpr int kAttachments = 1012;
constexpr int kAttachmentCount = 1013;
constexpr int kAddAttachment = 40002;

// The contacts a menu acts on, as the host lists them.
struct Selection {
    std::vector<postrix::ContactRef> refs;
    postrix::MenuCallbackInfo info{};

    explicit Selection(const std::vector<size_t>& positions) {
        for (size_t position : positions) refs.push_back(Contacts::refFor(position));
        info.contactCount = static_cast<int32_t>(refs.size());
        info.contacts = refs.data();
    }
};

std::vector<std::u16string>* g_offered = nullptr;

int64_t offerItem(uintptr_t, const char16_t* itemId) {
    if (g_offered && itemId) g_offered->push_back(itemId);
    return 0;
}

// The items the rebuild hooks put into the contact menu for the selection.
std::vector<std::u16string> rebuildContactMenu(Host& host, Selection& selection) {
    postrix::MenuRebuildEvent event{};
    event.menuInfo = &selection.info;
    event.menu = 1;
    event.addItem = offerItem;
    std::vector<std::u16string> offered;
    g_offered = &offered;
    for (const auto& hook : host.services.hooks(u"JOX/OnMenuRebuild")) {
        PluginCalls::Scope scope(host.calls);
        hook.handler(reinterpret_cast<uintptr_t>(&event), 0, hook.context);
    }
    g_offered = nullptr;
    return offered;
}

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int attachmentCount(const Dialog& dialog) {
    const auto count = dialog.control(kAttachmentCount);
    if (!count || !count->visible) return 0;
    return parseIndex(utf8FromHost(count->text)).value_or(0);
}

struct Message {
    int accountPosition = 0;
    std::string subject;
    std::string body;
    std::vector<std::string> attachments;  // absolute paths
};

// Fills the dialog in and sends it; the problem when it could not.
std::optional<std::string> operateSendDialog(Desktop& desktop, const Dialog& dialog, const Message& message,
                                             Reporter& reporter) {
    const auto accounts = dialog.comboItems(kAccountBox);
    if (static_cast<size_t>(message.accountPosition) >= accounts.size() ||
        !dialog.select(kAccountBox, message.accountPosition))
        return "the dialog offers no account at position " + std::to_string(message.accountPosition);
    reporter.detail(Event("dialog-from").add("account", accounts[static_cast<size_t>(message.accountPosition)]));
    if (!dialog.type(kSubject, message.subject) || !dialog.type(kBody, message.body))
        return "the dialog refused the subject or the body";
    desktop.chooseFromMenu = [](const std::vector<MenuChoice>& choices) {
        for (const MenuChoice& choice : choices)
            if (choice.id == kAddAttachment) return kAddAttachment;
        return 0;
    };
    for (const std::string& path : message.attachments) {
        const int before = attachmentCount(dialog);
        const int boxesBefore = desktop.messageBoxes();
        desktop.picks.push_back({path});
        dialog.click(kAttachments);
        if (attachmentCount(dialog) != before + 1) {
            // The plug-in says why in a box, e.g. for a file that is no regular file.
            const bool told = desktop.messageBoxes() != boxesBefore;
            return "the dialog did not take the attachment " + path + (told ? ": " + desktop.lastBoxText() : "");
        }
        reporter.detail(Event("dialog-attached").add("path", path));
    }
    desktop.chooseFromMenu = nullptr;
    if (!dialog.click(kSend)) return "the dialog's \"Wyślij\" did not respond";
    return std::nullopt;
}

}  // namespace

int sendCommand(const CommandLine& line, const Environment& environment, Reporter& reporter) {
    Message message;
    message.accountPosition = *parseIndex(line.arguments[0]);
    message.subject = line.subject.value_or("");
    if (line.bodyFile) {
        const auto body = readFile(*line.bodyFile);
        if (!body) return fail(reporter, kExitUsage, "send: cannot read " + *line.bodyFile);
        message.body = *body;
    } else {
        message.body = *line.body;
    }
    for (const std::string& file : line.attachments) {
        // The file picker lets the user choose only what exists.
        std::error_code error;
        const auto path = std::filesystem::absolute(file, error);
        if (error || !std::filesystem::exists(path, error))
            return fail(reporter, kExitUsage, "send: no such file " + file);
        message.attachments.push_back(path.string());
    }
    std::vector<std::string> recipients = line.to;
    recipients.insert(recipients.end(), line.arguments.begin() + 1, line.arguments.end());
    if (recipients.empty()) return fail(reporter, kExitUsage, "send: name the recipients with --to");

    asio::io_context io;
    SendOutcome outcome;
    const ReporterTap tap(reporter, [&outcome](const Event& event) { outcome.observe(event); });
    auto session = openSession(io, line, environment, reporter);
    if (!session) return kExitFailed;
    Host& host = session->host();
    size_t count = 0;
    const auto account = accountAt(host, message.accountPosition, &count);
    if (!account) return fail(reporter, kExitUsage, noAccountAt("send", message.accountPosition, count));
    // The plug-in would take the whole dialog and then send nothing.
    if (const auto missing = incompleteSettings(host, *account, AccountTask::Send, "send"); !missing.empty()) {
        return fail(reporter, kExitNothingStarted, missing);
    }

    // Contacts by name; an address not in the list is a contact of its own.
    std::vector<size_t> positions;
    for (const std::string& recipient : recipients) {
        if (const auto position = host.contacts.positionOf(recipient)) {
            positions.push_back(*position);
        } else if (recipient.find('@') != std::string::npos) {
            positions.push_back(host.contacts.addTemporary({"", recipient}));
        } else {
            return fail(reporter, kExitUsage, "send: no contact named '" + recipient + "' (see `contacts`)");
        }
    }
    Selection selection(positions);
    const auto offered = rebuildContactMenu(host, selection);
    const auto item = host.menus.items().find({kContactSendMenu, kFastSendItem});
    if (std::find(offered.begin(), offered.end(), kFastSendItem) == offered.end() || item == host.menus.items().end())
        return fail(reporter, kExitNothingStarted, "send: the contact menu offers no \"Wyślij e-mail...\" for them");

    outcome = SendOutcome();  // what loading showed is no part of this send
    std::optional<std::string> problem = "the plug-in opened no send dialog";
    host.desktop.onModal = [&](const Dialog& dialog) {
        problem = operateSendDialog(host.desktop, dialog, message, reporter);
        if (problem) dialog.click(kCancel);
    };
    const int connectsBefore = host.net.connectCount();
    {
        PluginCalls::Scope scope(host.calls);
        item->second.onClick(0, reinterpret_cast<uintptr_t>(&selection.info), 0);
    }
    host.desktop.onModal = nullptr;
    if (problem) return fail(reporter, kExitNothingStarted, "send: " + *problem);
    if (!outcome.decided() && host.net.connectCount() == connectsBefore) {
        return fail(reporter, kExitNothingStarted,
                    "send: the plug-in started no send (are the account's settings complete?)");
    }

    std::string to;
    for (const std::string& recipient : recipients) to += (to.empty() ? "" : ", ") + recipient;
    return awaitSendOutcome(*session, io, outcome, line.timeoutSeconds, reporter, "send", to,
                            estimateMailBytes(message.body.size(), message.attachments));
}

}  // namespace joxhost
