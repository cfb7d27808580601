// The file picker of the Windows dialog toolkit: comdlg32's explorer-style
// open-file dialog with ANSI paths, writing straight into the caller's
// buffer, and the current directory in the same code page.
#include <algorithm>
#include <array>
#include <string>

#include "platform/ui.h"
#include "platform/win32/ui_handles.h"

#include <commdlg.h>

namespace postrix::platform {

namespace {

// Text in the ANSI code page, where the picker's paths and filter live;
// what the page cannot hold becomes its default character.
std::string ansiOf(std::u16string_view text) {
    if (text.empty()) return {};
    const std::wstring wide = win32::toWide(text);
    const int size = static_cast<int>(wide.size());
    const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) WideCharToMultiByte(CP_ACP, 0, wide.data(), size, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

// "name NUL pattern NUL NUL" in the ANSI code page; the string's own
// terminator is the last NUL.
std::string filterOf(const FilePickRequest& request) {
    std::string filter = ansiOf(request.filterName);
    filter.push_back('\0');
    filter += ansiOf(request.filterPattern);
    filter.push_back('\0');
    return filter;
}

// Whether the picker's answer ends within the bytes it may use: one path
// and its NUL, or the folder, the names and the closing double NUL. A
// comdlg32 that cuts an answer too long for the buffer instead of failing
// (wine's does) leaves no such end, and the cut name would be attached.
bool endsWithinCapacity(const std::array<char, kFilePickerBufferSize>& buffer, int fileOffset) {
    if (fileOffset <= 0 || fileOffset >= kFilePickerCapacity) return false;
    const auto end = buffer.begin() + kFilePickerCapacity;
    if (buffer[static_cast<size_t>(fileOffset) - 1] != '\0') return std::find(buffer.begin(), end, '\0') != end;
    for (auto at = buffer.begin() + fileOffset; at + 1 < end; ++at)
        if (at[0] == '\0' && at[1] == '\0') return true;
    return false;
}

}  // namespace

FilePickOutcome pickFiles(Window owner, const FilePickRequest& request, std::array<char, kFilePickerBufferSize>& buffer) {
    const std::string filter = filterOf(request);
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = win32::hwndOf(owner);
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = kFilePickerCapacity;
    dialog.lpstrInitialDir = request.initialDirectory.empty() ? nullptr : request.initialDirectory.c_str();
    dialog.Flags = request.flags;
    FilePickOutcome outcome;
    if (GetOpenFileNameA(&dialog)) {
        if (endsWithinCapacity(buffer, dialog.nFileOffset)) {
            outcome.confirmed = true;
            outcome.fileOffset = dialog.nFileOffset;
        } else {
            outcome.extendedError = kFilePickerBufferTooSmall;
        }
    } else {
        // 0 when the user cancelled; FNERR_BUFFERTOOSMALL for a pick too long.
        outcome.extendedError = CommDlgExtendedError();
    }
    return outcome;
}

std::string currentDirectory() {
    std::array<char, MAX_PATH + 1> path{};
    // Too long a directory gives the size it needs, beyond the buffer.
    const DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(path.size()), path.data());
    if (length == 0 || length > static_cast<DWORD>(kFilePickerCapacity)) return {};
    return std::string(path.data(), length);
}

}  // namespace postrix::platform
