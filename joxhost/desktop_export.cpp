// The desktop a plug-in running inside joxhost may look up with
// dlsym(RTLD_DEFAULT, "joxDesktop"). joxhost has no desktop table yet: the
// plug-in then behaves as without a desktop.
#include "postrix/plugin/abi.h"

extern "C" JOX_EXPORT const void* joxDesktop() { return nullptr; }
