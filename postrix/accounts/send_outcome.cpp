#include "accounts/send_outcome.h"

#include <string_view>

#include "abi/records_notify.h"
#include "abi/records_send.h"
#include "accounts/account.h"
#include "host/log.h"
#include "platform/clock.h"
#include "platform/desktop.h"
#include "smtp/header_text.h"
#include "smtp/smtp_session.h"
#include "text/text_conversion.h"

namespace postrix {

int64_t handleMessageSend(uintptr_t message, uintptr_t, uintptr_t context) {
    const auto* record = reinterpret_cast<const MessageSendRecord*>(message);
    auto* account = fromContext<Account>(context);
    if (!record || !record->text || !record->contactId || !record->netClass || !account) return kInvalidArgument;
    if (std::u16string_view(record->netClass) != kNetClass) return 0;
    account->sendMail({}, {text::wideToUtf8(record->contactId)}, record->subject ? text::wideToUtf8(record->subject) : "",
                      text::wideToUtf8(record->text), {});
    return 0;
}

void notifyMailSent(const Host& host, smtp::SmtpSession& session, const smtp::OutgoingMail& mail) {
    const std::u16string title = text::utf8ToWide(mail.recipientName);
    NotifyRecord notice{};
    notice.size = sizeof(NotifyRecord);
    notice.text = u"Mail wysłany pomyślnie";
    notice.title = title.c_str();
    notice.iconId = u"Image/Mail";
    notice.value40 = 3;
    if (host.call(u"JOX/ShowStandardNotify", &notice) != 0) logFailure(host, "Showing notification failed");

    const std::u16string contact = text::utf8ToWide(smtp::joinRecipients(mail.recipients));
    const std::u16string subject = text::utf8ToWide(mail.subject);
    const std::u16string body = text::utf8ToWide(mail.body);
    ArchiveRecord entry{};
    entry.size = sizeof(ArchiveRecord);
    entry.direction = -1;
    entry.contact = contact.c_str();
    entry.netClass = kNetClass;
    entry.accountId = session.accountId();
    entry.subject = subject.c_str();
    entry.body = body.c_str();
    entry.flags = kArchiveSentMailFlags;
    entry.time = platform::clock().utcSeconds();
    if (host.call(u"Ar/WriteMessage", &entry) != 0) logFailure(host, "Writing message to archive failed");
}

void reportSmtpError(smtp::SmtpSession& session, const std::string& message) {
    logFailure(session.host(), session.senderAddress() + ": " + message);
    platform::showErrorBox(session.senderAddress(), message);
}

}  // namespace postrix
