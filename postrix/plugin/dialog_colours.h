// The plug-in's dialogs paint white: edits, buttons, the dialog itself and
// labels get the white stock brush taken when the plug-in loaded; list boxes
// and scroll bars keep the platform's colours.
#pragma once

#include "platform/ui.h"

namespace postrix {

platform::Brush dialogColour(platform::ColourQuery query);

}  // namespace postrix
