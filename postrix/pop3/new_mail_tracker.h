// Which messages of a mailbox are new since the session's previous check,
// and the entries collected for the new-mail notice until they are handed
// over. Nothing is kept on
// disk: the first listing after the plug-in started is only remembered.
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
    // that the previous listing did not hold are queued, unless this is the
    // first listing of the session; an id listed twice is new once.
    void readListingLine(std::string_view line);
    // The listing's terminating line arrived: the known ids become those of
    // this listing, so that they stay bounded by the mailbox however many
    // ids a server makes up; a message that leaves the listing and comes
    // back counts as new again. Only a complete listing counts: a partial
    // one would make the ids it misses new at the next check.
    void endListing();

    // The message whose header is to be fetched next: the one queued last,
    // so that with a listing in ascending order the newest comes first.
    std::optional<int32_t> takeNextMessage();

    void addEntry(NewMailEntry entry) { newMail_.push_back(std::move(entry)); }
    // The entries not handed over yet: those of this check and of one the
    // timeout sweep dropped.
    const std::vector<NewMailEntry>& entries() const { return newMail_; }
    // Hands the entries over, so each message is announced once.
    std::vector<NewMailEntry> takeEntries() { return std::exchange(newMail_, {}); }

    bool firstCheck() const { return firstCheck_; }
    bool knows(std::string_view id) const { return knownIds_.contains(id); }

private:
    bool firstCheck_ = true;
    // Reads one line of a listing, without bare LFs.
    void readPair(std::string_view line);

    IdSet knownIds_;
    std::string withoutNul_;  // a listing line whose NUL bytes were dropped
    std::vector<int32_t> pendingTops_;  // a stack: pushed and taken at the back
    std::vector<NewMailEntry> newMail_;
};

}  // namespace postrix::pop3
