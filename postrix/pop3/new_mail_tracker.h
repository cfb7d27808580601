// Which messages of a mailbox are new since the previous check, and the
// entries collected for the new-mail notice until they are handed over.
//
// The known ids are those of the latest complete listing, less the new
// messages whose header a check did not get to: those stay new until a
// check fetches them, so a check that breaks off after its listing loses
// none. The account keeps the known ids in a file across restarts
// (KnownIdsFile): restore() reads them back, writeFile() gives them for
// writing and unsaved() says whether they changed since. Without a file
// (or with one that does not fit) the first listing is only remembered.
#pragma once

#include <cstdint>
#include <functional>
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
    // Forgets every known id: the next complete listing is a first check
    // again (the mailbox is another, or nothing on disk says what it held).
    void reset();
    // Takes the known ids from the bytes of a known-ids file written for
    // owner (see known_ids_format.h); only right after reset(). Nothing
    // when they were taken; else what is wrong with the file, and the
    // tracker stays reset.
    std::optional<std::string> restore(std::string_view fileBytes, std::string_view owner);
    // Hands the known ids, as a known-ids file for owner holds them, to
    // append piece by piece; false when append refused one.
    bool writeFile(std::string_view owner, const std::function<bool(std::string_view)>& append) const;
    // Whether the known ids changed since they were restored or marked
    // saved; never before a first listing was remembered, so that no file
    // claims an empty mailbox that was never listed.
    bool unsaved() const { return !firstCheck_ && unsaved_; }
    void markSaved() { unsaved_ = false; }

    // A check begins: message numbers of an earlier connection are void,
    // and so is what a listing that broke off had read.
    void startCheck();

    // The listing was asked for. A first listing looks nothing up, and
    // while the server prepares it, readies room for its ids (see
    // IdSet::deferLookups and IdSet::prepareRoom).
    void prepareListing();
    // Reads one line of a UIDL listing (the lines after the status line, as
    // they arrive): a message number and unique id; a line without them, or
    // with an id longer than IdSet::kMaxIdLength, is skipped, and a bare LF
    // in it separates lines as well. Numbers of ids
    // that the known ids do not hold are queued, unless this is the
    // first listing; an id listed twice is new once.
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
    bool knows(std::string_view id) { return knownIds_.contains(id); }

private:
    // A queued message: its number and where its id lies in the set.
    struct Pending {
        int32_t number;
        uint32_t place;
    };

    // Reads one line of a listing, without bare LFs.
    void readPair(std::string_view line);

    bool firstCheck_ = true;
    bool unsaved_ = true;
    bool listingComplete_ = false;  // of the check in progress
    IdSet knownIds_;
    std::string withoutNul_;  // a listing line whose NUL bytes were dropped
    std::vector<Pending> pendingTops_;  // a stack: pushed and taken at the back
    std::optional<Pending> fetching_;   // taken, its header not read yet
    std::vector<NewMailEntry> newMail_;
};

}  // namespace postrix::pop3
