// How a send begins from a chat message, and how it ends: the success notice
// with its archive entry, or an error box.
#pragma once

#include <cstdint>
#include <string>

#include "host/host.h"

namespace postrix {

namespace smtp {
class SmtpSession;
struct OutgoingMail;
}  // namespace smtp

// Handler of an account's "MAIL/<id>/PFMessageSend" service: sends a chat
// message to a mail contact as an e-mail. The context is the account.
int64_t handleMessageSend(uintptr_t message, uintptr_t unused, uintptr_t context);

// The session's onSent: "Mail wysłany pomyślnie" and the archive entry.
void notifyMailSent(const Host& host, smtp::SmtpSession& session, const smtp::OutgoingMail& mail);

// The session's onError: a log line and a modal error box.
void reportSmtpError(smtp::SmtpSession& session, const std::string& message);

}  // namespace postrix
