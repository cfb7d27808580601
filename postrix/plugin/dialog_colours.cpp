#include "plugin/dialog_colours.h"

#include "plugin/plugin.h"

namespace postrix {

platform::Brush dialogColour(platform::ColourQuery query) {
    switch (query) {
        case platform::ColourQuery::Edit:
        case platform::ColourQuery::Button:
        case platform::ColourQuery::Dialog:
        case platform::ColourQuery::Static:
            return Plugin::instance().whiteBrush();
        case platform::ColourQuery::ListBox:
        case platform::ColourQuery::ScrollBar:
            break;
    }
    return 0;
}

}  // namespace postrix
