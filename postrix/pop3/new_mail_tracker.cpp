#include "pop3/new_mail_tracker.h"

#include <charconv>
#include <cstring>

#include "pop3/known_ids_format.h"

namespace postrix::pop3 {

namespace {

// Room readied for a first listing, which no earlier one sizes: the ids of
// about 100,000 messages of 16 characters (as Dovecot gives them). A larger
// listing allocates the rest as it arrives; a smaller one frees what it
// leaves at its end. Later listings add few ids and ready none.
constexpr size_t kFirstListingRoom = 2 * 1024 * 1024;

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
bool splitPair(std::string_view line, int32_t& number, std::string_view& id) {
    const std::string_view digits = nextField(line);
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc() || end != digits.data() + digits.size()) return false;
    id = nextField(line);
    return !id.empty();
}

}  // namespace

void NewMailTracker::reset() {
    pendingTops_.clear();
    fetching_.reset();
    listingComplete_ = false;
    knownIds_.clear();
    firstCheck_ = true;
    unsaved_ = true;
}

std::optional<std::string> NewMailTracker::restore(std::string_view fileBytes, std::string_view owner) {
    if (auto problem = decodeKnownIds(fileBytes, owner, knownIds_)) {
        reset();
        return problem;
    }
    firstCheck_ = false;
    unsaved_ = false;
    return std::nullopt;
}

bool NewMailTracker::writeFile(std::string_view owner, const std::function<bool(std::string_view)>& append) const {
    return writeKnownIds(owner, knownIds_, append);
}

void NewMailTracker::startCheck() { endCheck(); }

void NewMailTracker::readListingLine(std::string_view line) {
    // A NUL neither hides the rest of the line nor becomes part of an id.
    if (std::memchr(line.data(), '\0', line.size())) {
        withoutNul_.clear();
        for (char c : line)
            if (c != '\0') withoutNul_ += c;
        line = withoutNul_;
    }
    for (size_t lf; (lf = line.find('\n')) != std::string_view::npos; line.remove_prefix(lf + 1)) {
        std::string_view piece = line.substr(0, lf);
        if (piece.ends_with('\r')) piece.remove_suffix(1);
        readPair(piece);
    }
    readPair(line);
}

void NewMailTracker::readPair(std::string_view line) {
    int32_t number = 0;
    std::string_view id;
    if (!splitPair(line, number, id)) return;
    uint32_t place = 0;
    if (knownIds_.list(id, &place) == IdSet::Listed::New && !firstCheck_) pendingTops_.push_back({number, place});
}

void NewMailTracker::prepareListing() {
    if (!firstCheck_) return;
    // A first listing has nothing to compare with.
    knownIds_.deferLookups();
    knownIds_.prepareRoom(kFirstListingRoom);
}

void NewMailTracker::endListing() { listingComplete_ = true; }

std::optional<int32_t> NewMailTracker::takeNextMessage() {
    if (pendingTops_.empty()) return std::nullopt;
    fetching_ = pendingTops_.back();
    pendingTops_.pop_back();
    return fetching_->number;
}

void NewMailTracker::addEntry(NewMailEntry entry) {
    newMail_.push_back(std::move(entry));
    fetching_.reset();
}

void NewMailTracker::endCheck() {
    if (listingComplete_) {
        // The messages not fetched stay new for the next check.
        if (fetching_) knownIds_.unlist(fetching_->place);
        for (const Pending& pending : pendingTops_) knownIds_.unlist(pending.place);
        if (knownIds_.commit()) unsaved_ = true;
        firstCheck_ = false;
    } else {
        knownIds_.abandon();
    }
    listingComplete_ = false;
    pendingTops_.clear();
    fetching_.reset();
}

}  // namespace postrix::pop3
