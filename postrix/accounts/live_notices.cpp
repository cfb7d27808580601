#include "accounts/live_notices.h"

#include <unordered_map>

namespace postrix {

namespace {

// The host calls the plug-in one call at a time, so the table needs no lock.
struct LiveNotices {
    std::unordered_map<uint64_t, NewMailNotice*> notices;
    uint64_t lastNumber = 0;
};

LiveNotices& liveNotices() {
    static LiveNotices table;
    return table;
}

}  // namespace

uint64_t registerLiveNotice(NewMailNotice& notice) {
    LiveNotices& table = liveNotices();
    const uint64_t number = ++table.lastNumber;
    table.notices.emplace(number, &notice);
    return number;
}

void unregisterLiveNotice(uint64_t number) { liveNotices().notices.erase(number); }

NewMailNotice* findLiveNotice(uint64_t number) {
    LiveNotices& table = liveNotices();
    const auto found = table.notices.find(number);
    return found == table.notices.end() ? nullptr : found->second;
}

}  // namespace postrix
