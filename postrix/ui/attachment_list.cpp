#include "ui/attachment_list.h"

#include <algorithm>
#include <string_view>

#include "platform/files.h"
#include "resources/templates.h"
#include "smtp/attachment_names.h"
#include "text/text_conversion.h"

namespace postrix::ui {

namespace {

using Buffer = std::array<char, platform::kFilePickerBufferSize>;

// The terminated string at position, never reading at or beyond the end.
std::string_view stringAt(const Buffer& buffer, size_t position) {
    if (position >= buffer.size()) return {};
    const auto begin = buffer.begin() + static_cast<std::ptrdiff_t>(position);
    const auto end = std::find(begin, buffer.end(), '\0');
    return std::string_view(&*begin, static_cast<size_t>(end - begin));
}

// Whether the file may be attached; a FIFO, device or folder is refused with
// a message box, since sending could block or never end. A path the system
// cannot look at is kept: sending reports it.
bool mayAttach(platform::Window dialog, const std::string& path) {
    if (platform::fileKind(path) != platform::FileKind::other) return true;
    const std::string text = "SMTP - Could not read file " + std::string(smtp::fileNameOf(platform::pathToUtf8(path)));
    platform::messageBox(dialog, text::utf8ToWide(text), u"Załączniki", platform::MessageBoxKind::Error);
    return false;
}

}  // namespace

AttachmentList* attachmentsOf(platform::Window dialog) {
    return reinterpret_cast<AttachmentList*>(platform::property(dialog, kAttachmentsProperty));
}

void appendPickedFiles(const Buffer& buffer, int fileOffset, AttachmentList& list) {
    if (fileOffset <= 0 || fileOffset >= static_cast<int>(buffer.size())) return;
    const auto offset = static_cast<size_t>(fileOffset);
    // One file: its path cut before the name leaves the folder with its
    // separator. Several: the first string is the folder itself.
    std::string folder(stringAt(buffer, 0).substr(0, offset));
    if (folder.empty()) return;
    if (folder.back() != '\\' && folder.back() != '/') folder.push_back(static_cast<char>(platform::kPathSeparator));
    for (size_t position = offset;;) {
        const std::string_view name = stringAt(buffer, position);
        if (name.empty()) break;
        list.push_back(folder + std::string(name));
        position += name.size() + 1;
    }
}

void pickAttachments(platform::Window dialog, AttachmentList& list) {
    Buffer buffer{};
    platform::FilePickRequest request;
    request.filterName = u"Wszystkie pliki";
    request.filterPattern = u"*.*";
    request.initialDirectory = platform::currentDirectory();
    const platform::FilePickOutcome outcome = platform::pickFiles(dialog, request, buffer);
    if (outcome.confirmed) {
        AttachmentList picked;
        appendPickedFiles(buffer, outcome.fileOffset, picked);
        for (std::string& path : picked) {
            if (mayAttach(dialog, path)) list.push_back(std::move(path));
        }
    } else if (outcome.extendedError == platform::kFilePickerBufferTooSmall) {
        platform::messageBox(dialog, u"Zbyt długa ścieżka lub zbyt wiele wybranych plików", u"Załączniki",
                             platform::MessageBoxKind::Ok);
    }
}

void updateAttachmentIndicator(platform::Window dialog, size_t count) {
    if (count == 0) {
        platform::showItem(dialog, kPaperClipId, false);
        platform::showItem(dialog, kAttachmentCountId, false);
        return;
    }
    platform::setItemText(dialog, kAttachmentCountId, text::utf8ToWide(std::to_string(count)));
    platform::showItem(dialog, kPaperClipId, true);
    platform::showItem(dialog, kAttachmentCountId, true);
}

std::vector<platform::MenuEntry> attachmentsMenu(const AttachmentList* list, uintptr_t entryBitmap) {
    std::vector<platform::MenuEntry> entries = platform::loadPopupMenu(resources::kAttachmentsMenuId);
    if (list == nullptr || list->empty()) return entries;
    entries.push_back({kAttachmentSeparatorId, {}, true, 0});
    for (size_t i = 0; i < list->size(); ++i) {
        // Paths are in the system's code page, which is UTF-8 on POSIX.
        entries.push_back({kFirstAttachmentCommand + static_cast<int>(i), text::utf8ToWide(platform::pathToUtf8((*list)[i])), false,
                           entryBitmap});
    }
    return entries;
}

}  // namespace postrix::ui
