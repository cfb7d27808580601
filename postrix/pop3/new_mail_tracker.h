// Which messages of a mailbox are new since the session's previous check,
// and the entries collected for the new-mail notice until they are handed
// over. Nothing is kept on disk: the first listing after the plug-in
// started is only remembered.
//
// The known ids are those of the latest complete listing, less the new
// messages whose header a check did not get to: those stay new until a
// check fetches them, so a check that breaks off after its listing loses
// none.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pop3/id_set.h"
#include "pop3/new_mail_entry.h"

namespace postrix::pop3 {

class NewMailTracker {
public:
    // A check begins: message numbers of an earlier connection are void,
    // and so is what a listing that broke off had read.
    void startCheck();

    // Reads one line of a UIDL listing (the lines after the status line, as
    // they arrive): a message number and unique id; a line without them, or
    // with an id longer than IdSet::kMaxIdLength, is skipped, and a bare LF
    // in it separates lines as well. Numbers of ids
    // that the known ids do not hold are queued, unless this is the
    // first listing of the session; an id listed twice is new once.
    void readListingLine(std::string_view line);
    // The listing's terminating line arrived. Only a complete listing
    // counts: a partial one would make the ids it misses new at the next
    // check.
    void endListing();

    // The message whose header is to be fetched next: the one queued last,
    // so that with a listing in ascending order the newest comes first.
    std::optional<int32_t> takeNextMessage();

    // The header of the message taken last, read.
    void addEntry(NewMailEntry entry);
    // The entries not handed over yet: those of this check and of one the
    // timeout sweep dropped.
    const std::vector<NewMailEntry>& entries() const { return newMail_; }
    // Hands the entries over, so each message is announced once.
    std::vector<NewMailEntry> takeEntries() { return std::exchange(newMail_, {}); }

    // The check ended, done, failed or dropped. After a complete listing the
    // known ids become its ids, so that they stay bounded by the mailbox
    // however many ids a server makes up (a message that leaves the listing
    // and comes back counts as new again), less the queued messages whose
    // header was not read.
    void endCheck();

    bool firstCheck() const { return firstCheck_; }
    bool knows(std::string_view id) const { return knownIds_.contains(id); }

private:
    // A queued message: its number and where its id lies in the set.
    struct Pending {
        int32_t number;
        uint32_t place;
    };

    // Reads one line of a listing, without bare LFs.
    void readPair(std::string_view line);

    bool firstCheck_ = true;
    bool listingComplete_ = false;  // of the check in progress
    IdSet knownIds_;
    std::string withoutNul_;  // a listing line whose NUL bytes were dropped
    std::vector<Pending> pendingTops_;  // a stack: pushed and taken at the back
    std::optional<Pending> fetching_;   // taken, its header not read yet
    std::vector<NewMailEntry> newMail_;
};

}  // namespace postrix::pop3
