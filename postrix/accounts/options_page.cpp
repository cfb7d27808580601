#include "accounts/options_page.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "abi/records_accounts.h"
#include "accounts/account.h"
#include "host/settings_store.h"
#include "resources/templates.h"
#include "text/text_conversion.h"

namespace postrix {

namespace {

namespace ids = options_page_ids;

constexpr char16_t kPageTitle[] = u"Mail";
constexpr char16_t kPageDescription[] = u"Wysyłanie/odbieranie poczty";

// The protocol list's entries, by their index.
constexpr MailProtocol kProtocols[] = {MailProtocol::Pop3, MailProtocol::Imap};
constexpr std::u16string_view kProtocolNames[] = {u"POP3", u"IMAP"};

// Copies text into a host buffer of capacity units, terminator included.
template <size_t N>
void copyInto(char16_t (&buffer)[N], std::u16string_view text, size_t capacity) {
    const size_t n = std::min({text.size(), capacity - 1, N - 1});
    std::copy_n(text.begin(), n, buffer);
    buffer[n] = u'\0';
}

platform::Rect pageRect(const PageEventRecord& event) { return {event.x, event.y, event.width, event.height}; }

std::u16string decimal(int64_t value) { return text::utf8ToWide(std::to_string(value)); }

}  // namespace

int64_t readIntervalText(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{1} << 40;  // far beyond any interval; stops growth
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        value = std::min(kLimit, value * 10 + (text[i] - u'0'));
    return negative ? -value : value;
}

OptionsPage::OptionsPage(Account& account) : account_(account) {}

OptionsPage::~OptionsPage() {
    if (window_ != 0) platform::destroyWindow(window_);
}

void OptionsPage::create(platform::Window parent) {
    account_.settings().reload();
    window_ = platform::createDialog(resources::kOptionsPageDialogId, *this, parent);
}

bool OptionsPage::onInit(platform::Window dialog) {
    SettingsStore& settings = account_.settings();
    platform::setItemText(dialog, ids::kMail, settings.getText(keys::kMail));
    platform::setItemText(dialog, ids::kLogin, settings.getText(keys::kLogin));
    platform::setItemText(dialog, ids::kPassword, settings.getText(keys::kPassword));
    platform::setItemText(dialog, ids::kSmtpServer, settings.getText(keys::kSmtpServer));
    for (std::u16string_view name : kProtocolNames) platform::addComboItem(dialog, ids::kProtocol, name);
    const auto stored = std::find(std::begin(kProtocols), std::end(kProtocols), mailProtocol(settings));
    platform::selectComboItem(dialog, ids::kProtocol, static_cast<int>(stored - std::begin(kProtocols)));
    platform::setItemText(dialog, ids::kPop3Server, settings.getText(keys::kPop3Server));
    platform::setItemText(dialog, ids::kImapServer, settings.getText(keys::kImapServer));
    platform::setItemText(dialog, ids::kImapFolder, settings.getText(keys::kImapFolder));
    platform::setItemText(dialog, ids::kMailboxWww, settings.getText(keys::kMailboxWww));
    platform::setChecked(dialog, ids::kSsl, settings.getInt(keys::kSsl, kDefaultSsl) == 1);
    platform::setItemText(dialog, ids::kCheckInterval,
                          decimal(settings.getInt(keys::kCheckInterval, kDefaultCheckInterval)));
    return true;
}

platform::Brush OptionsPage::colourFor(platform::Window, platform::ColourQuery query) {
    const platform::DialogColours colours = account_.dialogColours();
    return colours != nullptr ? colours(query) : 0;
}

// Writes the edit's text under key when it differs from the stored text;
// true when it did.
bool OptionsPage::applyText(int controlId, const char16_t* key) {
    const std::u16string value = platform::dialogItemText(window_, controlId);
    if (value == account_.settings().getText(key)) return false;
    account_.settings().setText(key, value);
    return true;
}

// Writes the chosen protocol when it differs from the one the settings give
// (a missing or unknown value reads as POP3, so choosing POP3 keeps it).
bool OptionsPage::applyProtocol() {
    const int index = platform::comboSelection(window_, ids::kProtocol);
    if (index < 0 || index >= static_cast<int>(std::size(kProtocols))) return false;
    const MailProtocol chosen = kProtocols[index];
    if (chosen == mailProtocol(account_.settings())) return false;
    account_.settings().setText(keys::kProtocol, protocolText(chosen));
    return true;
}

void OptionsPage::apply() {
    SettingsStore& settings = account_.settings();
    bool changed = false;
    settings.reload();

    if (applyText(ids::kMail, keys::kMail)) {
        settings.flush();
        account_.updateLoginInfo();
        changed = true;
    }
    applyText(ids::kSmtpServer, keys::kSmtpServer);
    changed |= applyProtocol();
    changed |= applyText(ids::kPop3Server, keys::kPop3Server);
    changed |= applyText(ids::kImapServer, keys::kImapServer);
    changed |= applyText(ids::kImapFolder, keys::kImapFolder);
    changed |= applyText(ids::kLogin, keys::kLogin);
    changed |= applyText(ids::kPassword, keys::kPassword);
    applyText(ids::kMailboxWww, keys::kMailboxWww);

    const bool checked = platform::isChecked(window_, ids::kSsl);
    if (checked != (settings.getInt(keys::kSsl, kDefaultSsl) == 1)) {
        settings.setInt(keys::kSsl, checked ? 1 : 0);
        changed = true;
    }

    const int32_t interval =
        clampCheckInterval(readIntervalText(platform::dialogItemText(window_, ids::kCheckInterval)));
    if (interval != settings.getInt(keys::kCheckInterval, kDefaultCheckInterval)) {
        settings.setInt(keys::kCheckInterval, interval);
        platform::setItemText(window_, ids::kCheckInterval, decimal(interval));
        account_.startMailTimer(interval, true);
        changed = true;
    }

    settings.flush();
    // New connection settings are tried at once.
    if (changed) account_.checkMail();
}

int64_t onOptionsPage(uintptr_t pageEvent, uintptr_t, uintptr_t context) {
    auto* event = reinterpret_cast<PageEventRecord*>(pageEvent);
    auto* account = fromContext<Account>(context);
    if (event == nullptr || account == nullptr) return 0;
    copyInto(event->title, kPageTitle, 255);
    copyInto(event->description, kPageDescription, 511);

    if (account->optionsPage() == nullptr) {
        auto page = std::make_unique<OptionsPage>(*account);
        page->create(event->parentWindow);
        account->setOptionsPage(std::move(page));
    }
    OptionsPage& page = *account->optionsPage();
    switch (event->code) {
        case kPageShow:
            platform::showWindow(page.window(), true);
            platform::moveWindow(page.window(), pageRect(*event));
            break;
        case kPageHide:
            platform::showWindow(page.window(), false);
            break;
        case kPageClose:
            page.apply();
            account->setOptionsPage(nullptr);
            break;
        case kPageApply:
            page.apply();
            account->updateLoginInfo();
            break;
        case kPageCancel:
            account->setOptionsPage(nullptr);
            break;
        case kPageMove:
            platform::moveWindow(page.window(), pageRect(*event));
            break;
        default:
            break;
    }
    return 0;
}

}  // namespace postrix
