// How the send dialog's controls follow the window when it is resized, and
// how small it may get.
#pragma once

#include <optional>

#include "platform/ui.h"

namespace postrix::ui {

// Places the button row along the bottom edge (the two right-hand buttons
// kept to the right edge) and lets the body edit take the rest; width and
// height are the new client size in pixels.
void layoutSendDialog(platform::Window dialog, int width, int height);

// The smallest window size: the right and bottom edges of the hidden marker
// control 1016 plus a margin. Empty while the marker does not exist.
std::optional<platform::Size> minimumSendDialogSize(platform::Window dialog);

}  // namespace postrix::ui
