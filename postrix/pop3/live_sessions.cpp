#include "pop3/live_sessions.h"

#include <unordered_map>

namespace postrix::pop3 {

namespace {

// The host calls the plug-in one call at a time, so the table needs no lock.
struct LiveSessions {
    std::unordered_map<uint64_t, Pop3Session*> sessions;
    uint64_t lastNumber = 0;
};

LiveSessions& liveSessions() {
    static LiveSessions table;
    return table;
}

}  // namespace

uint64_t registerLiveSession(Pop3Session& session) {
    LiveSessions& table = liveSessions();
    const uint64_t number = ++table.lastNumber;
    table.sessions.emplace(number, &session);
    return number;
}

void unregisterLiveSession(uint64_t number) { liveSessions().sessions.erase(number); }

Pop3Session* findLiveSession(uint64_t number) {
    LiveSessions& table = liveSessions();
    const auto found = table.sessions.find(number);
    return found == table.sessions.end() ? nullptr : found->second;
}

}  // namespace postrix::pop3
