// <windows.h> as every Win32 file of the platform layer includes it, and
// the conversions between the plug-in's char16_t text and the wchar_t text
// of the Win32 calls (both UTF-16 on Windows).
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace postrix::platform::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

inline std::wstring toWide(std::u16string_view text) {
    return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

inline std::u16string fromWide(std::wstring_view text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.data()), text.size());
}

// Narrow text in a code page (CP_ACP, CP_UTF8) as wchar_t text; empty
// optional when it holds a NUL (the system would act on the part before it)
// or bytes the code page does not define.
std::optional<std::wstring> narrowToWide(std::string_view text, unsigned codePage);

// wchar_t text as UTF-8; a lone surrogate becomes U+FFFD.
std::string wideToUtf8(std::wstring_view text);

}  // namespace postrix::platform::win32
