// The new-mail notices that exist, each under a number that is never reused.
// A notification shown by one carries the number rather than the object's
// address, so a notification that outlives its account finds nothing
// instead of freed memory.
#pragma once

#include <cstdint>

namespace postrix {

class NewMailNotice;

// Registers a notice and gives its number (never 0).
uint64_t registerLiveNotice(NewMailNotice& notice);
void unregisterLiveNotice(uint64_t number);
// The notice of a number, or nullptr once it is gone.
NewMailNotice* findLiveNotice(uint64_t number);

}  // namespace postrix
