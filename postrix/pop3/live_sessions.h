// The POP3 sessions that exist, each under a number that is never reused.
// A notice shown by a session carries the number rather than the session's
// address, so a notice that outlives its session (its account was removed)
// finds nothing instead of freed memory.
#pragma once

#include <cstdint>

namespace postrix::pop3 {

class Pop3Session;

// Registers a session and gives its number (never 0).
uint64_t registerLiveSession(Pop3Session& session);
void unregisterLiveSession(uint64_t number);
// The session of a number, or nullptr once it is gone.
Pop3Session* findLiveSession(uint64_t number);

}  // namespace postrix::pop3
