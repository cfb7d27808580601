#include "platform/win32/windows_api.h"

#include "platform/codecs.h"

#include <limits>

namespace postrix::platform::win32 {

std::optional<std::wstring> narrowToWide(std::string_view text, unsigned codePage) {
    if (text.find('\0') != std::string_view::npos) return std::nullopt;
    if (text.empty()) return std::wstring();
    if (text.size() > size_t(std::numeric_limits<int>::max())) return std::nullopt;
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (length <= 0) return std::nullopt;
    std::wstring wide(static_cast<size_t>(length), L'\0');
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), length) != length) {
        return std::nullopt;
    }
    return wide;
}

std::string wideToUtf8(std::wstring_view text) {
    return wideToUtf8Bytes(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

}  // namespace postrix::platform::win32
