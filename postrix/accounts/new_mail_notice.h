// The notice about new mail of one account: one notification listing every
// entry collected since the notification last ended and, when the host
// offers "News/AddEntry", one news entry per message as it is handed over,
// so each message is announced once.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"
#include "pop3/new_mail_entry.h"

namespace postrix {

class NewMailNotice {
public:
    using Opener = std::function<void(std::string_view address)>;

    explicit NewMailNotice(Host host);
    ~NewMailNotice();
    NewMailNotice(const NewMailNotice&) = delete;
    NewMailNotice& operator=(const NewMailNotice&) = delete;

    // The new mail of one check, from the mailbox address: shows the
    // notification with all entries and adds the news entries of these.
    void add(const std::string& address, std::vector<pop3::NewMailEntry> entries);
    // The web mailbox a click opens; empty opens nothing.
    void setMailboxWww(std::string address) { mailboxWww_ = std::move(address); }
    const std::string& mailboxWww() const { return mailboxWww_; }
    // Replaces the opener of the web mailbox (tests; the default is the
    // platform's).
    void setOpener(Opener opener) { opener_ = std::move(opener); }

    // Every entry since the notification last ended.
    const std::vector<pop3::NewMailEntry>& entries() const { return entries_; }
    // The number under which the notification finds this notice.
    uint64_t liveNumber() const { return liveNumber_; }

    // The notification's callback. The context is the live number: kind 1
    // (clicked) opens the web mailbox, kind 4 (ended) empties the list of
    // entries; a notification whose notice is gone does nothing.
    static int64_t onEvent(uintptr_t event, uintptr_t unused, uintptr_t context);

private:
    Host host_;
    std::vector<pop3::NewMailEntry> entries_;
    std::string mailboxWww_;
    Opener opener_;
    uint64_t liveNumber_;
};

// "Ilość nieprzeczytanych: N" and one numbered line per entry.
std::string newMailNoticeText(const std::vector<pop3::NewMailEntry>& entries);

// The first text of a news entry: address "-" sender "-" subject "-" date.
std::u16string newsEntryFirstText(const std::u16string& address, const std::u16string& sender,
                                  const std::u16string& subject, int64_t date);

}  // namespace postrix
