#include "pop3/new_mail_tracker.h"

#include <charconv>

namespace postrix::pop3 {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The next field of a listing line: what stands before the next blank,
// leading blanks skipped.
std::string_view nextField(std::string_view& line) {
    while (!line.empty() && isBlank(line.front())) line.remove_prefix(1);
    size_t end = 0;
    while (end < line.size() && !isBlank(line[end])) ++end;
    const std::string_view field = line.substr(0, end);
    line.remove_prefix(end);
    return field;
}

// Message number and unique id of one listing line; false for a line that
// has no number and id.
bool readPair(std::string_view line, int32_t& number, std::string_view& id) {
    const std::string_view digits = nextField(line);
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc() || end != digits.data() + digits.size()) return false;
    id = nextField(line);
    return !id.empty();
}

}  // namespace

void NewMailTracker::readListing(std::string_view listing) {
    std::unordered_set<std::string> listed;
    while (!listing.empty()) {
        const size_t lineEnd = listing.find('\n');
        std::string_view line = listing.substr(0, lineEnd);
        listing.remove_prefix(lineEnd == std::string_view::npos ? listing.size() : lineEnd + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line == ".") break;

        int32_t number = 0;
        std::string_view id;
        if (!readPair(line, number, id)) continue;
        // An id listed twice is new once.
        if (!listed.emplace(id).second) continue;
        if (!firstCheck_ && !knownIds_.contains(std::string(id))) pendingTops_.push_back(number);
    }
    knownIds_ = std::move(listed);
    firstCheck_ = false;
}

std::optional<int32_t> NewMailTracker::takeNextMessage() {
    if (pendingTops_.empty()) return std::nullopt;
    const int32_t number = pendingTops_.back();
    pendingTops_.pop_back();
    return number;
}

}  // namespace postrix::pop3
