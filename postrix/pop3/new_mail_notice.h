// The notice about new mail: one notification listing every collected entry
// and, when the host offers "News/AddEntry", one news entry per message not
// announced before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pop3/new_mail_entry.h"

namespace postrix::pop3 {

class Pop3Session;

// The session's new-mail handler; it lists the session's entries itself.
void showNewMailNotice(Pop3Session& session, size_t entryCount);

// The notification's callback. The context is the session's live number:
// kind 1 (clicked) opens the web mailbox, kind 4 (ended) empties the list of
// entries; a notice whose session is gone does nothing.
int64_t onNewMailNoticeEvent(uintptr_t event, uintptr_t unused, uintptr_t context);

// "Ilość nieprzeczytanych: N" and one numbered line per entry.
std::string newMailNoticeText(const std::vector<NewMailEntry>& entries);

// The first text of a news entry: address "-" sender "-" subject "-" date.
std::u16string newsEntryFirstText(const std::u16string& address, const std::u16string& sender,
                                  const std::u16string& subject, int64_t date);

}  // namespace postrix::pop3
