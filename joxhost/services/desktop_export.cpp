// The desktop a plug-in running inside joxhost finds with
// dlsym(RTLD_DEFAULT, "joxDesktop"): the table of the host's Desktop, or null
// while no host exists.
#include "services/desktop.h"
#include "postrix/abi/abi.h"

extern "C" JOX_EXPORT const JoxDesktop* joxDesktop() { return joxhost::Desktop::currentTable(); }
