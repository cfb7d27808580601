// The vector encoders of whole Base64 lines (base64_x86.cpp), which the
// streaming encoder picks from at run time.
#pragma once

#include "smtp/base64.h"

namespace postrix::smtp {

// The line encoder of a vector path, or nullptr where this build or this CPU
// cannot run it (and for the portable path).
Base64Encoder::LineEncoder vectorLineEncoder(Base64Path path);

}  // namespace postrix::smtp
