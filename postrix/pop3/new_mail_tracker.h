// Which messages of a mailbox are new since the session's previous check,
// and the entries collected for the new-mail notice until they are handed
// over. Nothing is kept on
// disk: the first listing after the plug-in started is only remembered.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "pop3/new_mail_entry.h"

namespace postrix::pop3 {

class NewMailTracker {
public:
    // A check begins: message numbers of an earlier connection are void.
    void startCheck() { pendingTops_.clear(); }

    // Reads a complete UIDL listing (the lines after the status line, up to
    // the terminating line): one message number and unique id per line; a
    // line without them is skipped. Numbers of ids that the previous listing
    // did not hold are queued, unless this is the first listing of the
    // session. The known ids become those of this listing, so that they
    // stay bounded by the mailbox however many ids a server makes up; a
    // message that leaves the listing and comes back counts as new again.
    // Only a complete listing may be read: a partial one would make the ids
    // it misses new at the next check.
    void readListing(std::string_view listing);

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
    bool knows(const std::string& id) const { return knownIds_.contains(id); }

private:
    bool firstCheck_ = true;
    std::unordered_set<std::string> knownIds_;
    std::vector<int32_t> pendingTops_;  // a stack: pushed and taken at the back
    std::vector<NewMailEntry> newMail_;
};

}  // namespace postrix::pop3
