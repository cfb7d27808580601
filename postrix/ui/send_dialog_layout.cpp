#include "ui/send_dialog_layout.h"

#include "ui/send_dialog.h"

namespace postrix::ui {

namespace {

constexpr int kRightMargin = 14;
constexpr int kBottomMargin = 14;
constexpr int kButtonGap = 6;
constexpr int kCountWidth = 50;

}  // namespace

void layoutSendDialog(platform::Window dialog, int width, int height) {
    const std::optional<platform::Rect> send = platform::itemRect(dialog, kSendButtonId);
    if (!send) return;
    const int bw = send->width;
    const int bh = send->height;
    const int y = height - bh - kBottomMargin;
    platform::moveItem(dialog, kSendButtonId, {width - 2 * bw - kRightMargin - kButtonGap, y, bw, bh});
    platform::moveItem(dialog, kCancelButtonId, {width - bw - kRightMargin, y, bw, bh});
    if (const auto attach = platform::itemRect(dialog, kAttachmentsButtonId))
        platform::moveItem(dialog, kAttachmentsButtonId, {attach->x, y, bw, bh});
    if (const auto clip = platform::itemRect(dialog, kPaperClipId))
        platform::moveItem(dialog, kPaperClipId, {clip->x, y, clip->width, bh});
    if (const auto count = platform::itemRect(dialog, kAttachmentCountId))
        platform::moveItem(dialog, kAttachmentCountId, {count->x, y, kCountWidth, bh});
    if (const auto label = platform::itemRect(dialog, kBodyLabelId)) {
        const int lb = label->bottom();
        platform::moveItem(dialog, kBodyEditId, {label->x, lb + 2, width - 26, height - lb - bh - 30});
    }
}

std::optional<platform::Size> minimumSendDialogSize(platform::Window dialog) {
    const std::optional<platform::Rect> marker = platform::itemRect(dialog, kMinimumMarkerId);
    if (!marker) return std::nullopt;
    return platform::Size{marker->right() + 28, marker->bottom() + 14};
}

}  // namespace postrix::ui
