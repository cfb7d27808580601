#include "pop3/new_mail_tracker.h"

#include <sstream>

namespace postrix::pop3 {

void NewMailTracker::readListing(std::string_view listing) {
    std::istringstream in{std::string(listing)};
    int32_t number = 0;
    std::string id;
    // The terminating line "." is no number and ends the loop.
    while (in >> number >> id) {
        if (!knownIds_.insert(id).second) continue;
        if (!firstCheck_) pendingTops_.push_back(number);
    }
    firstCheck_ = false;
}

std::optional<int32_t> NewMailTracker::takeNextMessage() {
    if (pendingTops_.empty()) return std::nullopt;
    const int32_t number = pendingTops_.back();
    pendingTops_.pop_back();
    return number;
}

}  // namespace postrix::pop3
