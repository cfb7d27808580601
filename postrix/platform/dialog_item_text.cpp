#include "platform/ui.h"

#include <vector>

namespace postrix::platform {

std::u16string dialogItemText(Window dialog, int controlId) {
    const int length = itemTextLength(dialog, controlId);
    if (length <= 0) return {};
    // Room for the text, its terminator and one unit to spare.
    std::vector<char16_t> buffer(static_cast<size_t>(length) + 2, u'\0');
    itemText(dialog, controlId, buffer.data(), length + 1);
    return std::u16string(buffer.data());
}

}  // namespace postrix::platform
