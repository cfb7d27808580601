// Which messages of a mailbox are new since the session's previous check,
// and the entries collected for the new-mail notice. Nothing is kept on
// disk: the first listing after the plug-in started is only remembered.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
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
    // Every entry since the last notice ended; a notice lists them all.
    const std::vector<NewMailEntry>& entries() const { return newMail_; }
    // The entries no notice has announced yet: each message is announced,
    // and gets its news entry, once.
    std::span<const NewMailEntry> unannounced() const {
        return std::span<const NewMailEntry>(newMail_).subspan(announced_);
    }
    void markAnnounced() { announced_ = newMail_.size(); }
    // The notice about the entries has ended.
    void clearEntries() {
        newMail_.clear();
        announced_ = 0;
    }

    bool firstCheck() const { return firstCheck_; }
    bool knows(const std::string& id) const { return knownIds_.contains(id); }
    size_t pendingCount() const { return pendingTops_.size(); }

private:
    bool firstCheck_ = true;
    std::unordered_set<std::string> knownIds_;
    std::vector<int32_t> pendingTops_;  // a stack: pushed and taken at the back
    std::vector<NewMailEntry> newMail_;
    size_t announced_ = 0;  // the first entries of newMail_ that were announced
};

}  // namespace postrix::pop3
