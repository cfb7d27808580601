// One account's known mail ids on disk, in a file of their own next to its
// settings file (the account manager names it), so that a check after a
// restart announces what arrived meanwhile instead of only remembering the
// mailbox again.
//
// The file belongs to one account and one mailbox: its owner text holds
// the file's name, the POP3 server and the login, so that a file copied
// from another account, or kept from before the server or login changed,
// is not taken for this one (which would announce the whole mailbox).
// Whatever keeps a file from being used costs one log line and makes the
// check a first one. Writes replace the file whole (platform::replaceFile).
#pragma once

#include <string>
#include <string_view>

#include "host/host.h"
#include "pop3/new_mail_tracker.h"

namespace postrix::pop3 {

class KnownIdsFile {
public:
    // The file at path; host takes the log lines.
    KnownIdsFile(Host host, std::u16string path);

    // Gives a reset tracker the ids the file holds for mailbox; when it
    // holds none, one log line says why and the tracker stays reset.
    void load(NewMailTracker& tracker, std::string_view mailbox);
    // Writes the tracker's known ids when they changed since loaded or last
    // written. A failure is logged once until a write succeeds again; the
    // ids stay unsaved, so the next check tries again.
    void save(NewMailTracker& tracker, std::string_view mailbox);

    // The owner text of the file for a mailbox.
    std::string owner(std::string_view mailbox) const;
    // A mailbox as owner() takes it: server and login.
    static std::string mailboxOf(std::string_view server, std::string_view login);

private:
    Host host_;
    std::u16string path_;
    std::string name_;  // the file's name, UTF-8, for the owner and the log
    bool saveFailed_ = false;
};

}  // namespace postrix::pop3
