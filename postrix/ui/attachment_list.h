// The send dialog's attachments: the list kept on the dialog window, the
// file picker that fills it, the count beside the paper clip and the menu
// that offers each entry for removal.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace postrix::ui {

// Full paths in the system's code page, in the order picked; duplicates
// allowed.
using AttachmentList = std::vector<std::string>;

inline constexpr char kAttachmentsProperty[] = "postrix_attachments";

inline constexpr int kAttachmentCountId = 1013;
inline constexpr int kPaperClipId = 1014;
inline constexpr int kAddAttachmentCommand = 40002;
inline constexpr int kAttachmentSeparatorId = 1678;
inline constexpr int kFirstAttachmentCommand = 1679;

// The list on the dialog window, or nullptr before the first "Dodaj...".
AttachmentList* attachmentsOf(platform::Window dialog);

// Appends the files of a confirmed pick: the folder (the first string cut at
// fileOffset, given a separator when it has none) joined with each name from
// fileOffset on. Reads nothing at or beyond the buffer's end.
void appendPickedFiles(const std::array<char, platform::kFilePickerBufferSize>& buffer, int fileOffset,
                       AttachmentList& list);

// Shows the file picker and appends what the user chose; a pick too large
// for the buffer, and each chosen file that is no regular file, is refused
// with a message box.
void pickAttachments(platform::Window dialog, AttachmentList& list);

// Shows the count and the paper clip when there are attachments, hides both
// when there are none.
void updateAttachmentIndicator(platform::Window dialog, size_t count);

// Menu 103's pop-up, then a separator and one entry per attachment.
std::vector<platform::MenuEntry> attachmentsMenu(const AttachmentList* list, uintptr_t entryBitmap);

}  // namespace postrix::ui
