#include "ui/contact_menu.h"

#include <array>
#include <string>
#include <vector>

#include "abi/records_ui.h"
#include "accounts/account.h"
#include "accounts/account_manager.h"
#include "host/log.h"
#include "text/text_conversion.h"
#include "ui/send_dialog.h"

namespace postrix {

namespace {

using ReplyBuffer = std::array<char16_t, kFieldReplyCapacity + 1>;

GetFieldRequest mailFieldRequest(const ContactRef& contact, ReplyBuffer& reply) {
    GetFieldRequest request{};
    request.size = sizeof(GetFieldRequest);
    request.contact = contact;
    request.fieldName = u"mail";
    request.reply = reply.data();
    request.replyCapacity = kFieldReplyCapacity;
    return request;
}

ContactInfo emptyContactInfo() {
    ContactInfo info{};
    info.size = sizeof(ContactInfo);
    return info;
}

// The contact's "mail" field; empty when it has none. The buffer starts
// empty on every call, so a host that writes nothing means no address.
std::u16string mailAddressOf(const Host& host, const ContactRef& contact) {
    ReplyBuffer reply{};
    GetFieldRequest request = mailFieldRequest(contact, reply);
    host.call(u"JOX/Extend/GetField", &request);
    reply.back() = u'\0';
    return std::u16string(reply.data());
}

// The contact's display name, or empty (with a log line when the host could
// not find the contact or its information).
std::u16string displayNameOf(const Host& host, const ContactRef& contact) {
    const int64_t handle = host.call(u"JOX/CTL/FndContact", reinterpret_cast<uintptr_t>(&contact));
    if (handle == 0) {
        logFailure(host, "Could not find contact via JOX_CTL_FND_CONTACT");
        return {};
    }
    ContactInfo info = emptyContactInfo();
    if (host.call(u"JOX/CTL/GetContact", static_cast<uintptr_t>(handle), reinterpret_cast<uintptr_t>(&info)) != 0) {
        logFailure(host, "Could not get contact info via JOX_CTL_GET_CONTACT");
        return {};
    }
    return info.displayName != nullptr ? std::u16string(info.displayName) : std::u16string();
}

struct Recipients {
    std::vector<std::string> addresses;  // UTF-8, one RCPT TO each
    std::u16string names;
    std::u16string toText;  // what the "Do:" field shows
};

Recipients collectRecipients(const Host& host, const MenuCallbackInfo* info) {
    Recipients recipients;
    std::u16string addressText;
    const int32_t count = info != nullptr && info->contacts != nullptr ? info->contactCount : 0;
    for (int32_t i = 0; i < count; ++i) {
        const ContactRef& contact = info->contacts[i];
        const std::u16string address = mailAddressOf(host, contact);
        if (address.empty()) continue;
        if (!recipients.addresses.empty()) addressText += u", ";
        addressText += address;
        recipients.addresses.push_back(text::wideToUtf8(address));
        // A contact whose name cannot be read is still a recipient.
        const std::u16string name = displayNameOf(host, contact);
        if (name.empty()) continue;
        if (!recipients.names.empty()) recipients.names += u", ";
        recipients.names += name;
    }
    recipients.toText = recipients.names + u" <" + addressText + u">";
    return recipients;
}

}  // namespace

int64_t onMenuRebuild(const Host& host, uintptr_t wParam) {
    const auto* event = reinterpret_cast<const MenuRebuildEvent*>(wParam);
    if (event == nullptr || event->menuInfo == nullptr || event->addItem == nullptr) return 0;
    const MenuCallbackInfo& info = *event->menuInfo;
    if (info.contactCount <= 0 || info.contacts == nullptr) return 0;
    for (int32_t i = 0; i < info.contactCount; ++i) {
        if (mailAddressOf(host, info.contacts[i]).empty()) continue;
        event->addItem(event->menu, kFastSendItemId);
        break;
    }
    return 0;
}

int64_t onFastSend(const Host& host, const std::unique_ptr<AccountManager>& accounts, uintptr_t entryBitmap,
                   platform::DialogColours colours, uintptr_t menuInfo) {
    Recipients recipients = collectRecipients(host, reinterpret_cast<const MenuCallbackInfo*>(menuInfo));
    std::optional<ui::DialogResult> result =
        ui::runSendDialog(accounts.get(), recipients.toText, entryBitmap, colours);
    if (!result) return 0;
    // The account list may have changed while the dialog was open.
    AccountManager* manager = accounts.get();
    if (manager == nullptr || result->accountIndex < 0 || static_cast<size_t>(result->accountIndex) >= manager->count())
        return 0;
    manager->at(static_cast<size_t>(result->accountIndex))
        .sendMail(text::wideToUtf8(recipients.names), std::move(recipients.addresses), std::move(result->subject),
                  std::move(result->body), std::move(result->attachments));
    return 0;
}

}  // namespace postrix
