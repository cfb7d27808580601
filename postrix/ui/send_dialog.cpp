#include "ui/send_dialog.h"

#include "accounts/account.h"
#include "accounts/account_manager.h"
#include "resources/templates.h"
#include "text/text_conversion.h"
#include "ui/send_dialog_layout.h"

namespace postrix::ui {

SendDialog::SendDialog(const AccountManager* accounts, std::u16string recipientsText, uintptr_t entryBitmap,
                       platform::DialogColours colours)
    : accounts_(accounts),
      recipientsText_(std::move(recipientsText)),
      entryBitmap_(entryBitmap),
      colours_(colours) {}

SendDialog::~SendDialog() = default;

bool SendDialog::onInit(platform::Window dialog) {
    if (accounts_ != nullptr) {
        for (size_t i = 0; i < accounts_->count(); ++i)
            platform::addComboItem(dialog, kAccountComboId, text::utf8ToWide(accounts_->at(i).currentAddress()));
    }
    platform::selectComboItem(dialog, kAccountComboId, 0);
    platform::setItemText(dialog, kRecipientsEditId, recipientsText_);
    return true;
}

bool SendDialog::onCommand(platform::Window dialog, int id) {
    // Entries of the attachments menu first: their ids follow the list.
    if (AttachmentList* list = attachmentsOf(dialog)) {
        const int position = id - kFirstAttachmentCommand;
        if (position >= 0 && static_cast<size_t>(position) < list->size()) {
            list->erase(list->begin() + position);
            updateAttachmentIndicator(dialog, list->size());
            return false;
        }
    }
    switch (id) {
        case kSendButtonId:
            send(dialog);
            return true;
        case kCancelButtonId:
            platform::endDialog(dialog, 0);
            return true;
        case kAttachmentsButtonId:
            showAttachmentsMenu(dialog);
            return true;
        case kAddAttachmentCommand:
            addAttachments(dialog);
            return true;
        default:
            return false;
    }
}

void SendDialog::send(platform::Window dialog) {
    DialogResult result;
    result.accountIndex = platform::comboSelection(dialog, kAccountComboId);
    result.subject = text::wideToUtf8(platform::dialogItemText(dialog, kSubjectEditId));
    result.body = text::wideToUtf8(platform::dialogItemText(dialog, kBodyEditId));
    if (const AttachmentList* list = attachmentsOf(dialog)) result.attachments = *list;
    result_ = std::move(result);
    platform::endDialog(dialog, 1);
}

void SendDialog::showAttachmentsMenu(platform::Window dialog) {
    const platform::Point at = platform::cursorPosition();
    platform::trackPopupMenu(dialog, attachmentsMenu(attachmentsOf(dialog), entryBitmap_), at);
}

void SendDialog::addAttachments(platform::Window dialog) {
    if (attachmentsOf(dialog) == nullptr) {
        attachments_ = std::make_unique<AttachmentList>();
        platform::setProperty(dialog, kAttachmentsProperty, reinterpret_cast<uintptr_t>(attachments_.get()));
    }
    AttachmentList& list = *attachmentsOf(dialog);
    pickAttachments(dialog, list);
    updateAttachmentIndicator(dialog, list.size());
}

void SendDialog::onSize(platform::Window dialog, int width, int height) { layoutSendDialog(dialog, width, height); }

std::optional<platform::Size> SendDialog::minimumTrackSize(platform::Window dialog) {
    return minimumSendDialogSize(dialog);
}

platform::Brush SendDialog::colourFor(platform::Window, platform::ColourQuery query) {
    return colours_ != nullptr ? colours_(query) : 0;
}

void SendDialog::onDestroy(platform::Window dialog) {
    platform::removeProperty(dialog, kAttachmentsProperty);
    attachments_.reset();
}

std::optional<DialogResult> runSendDialog(const AccountManager* accounts, std::u16string recipientsText,
                                          uintptr_t entryBitmap, platform::DialogColours colours) {
    SendDialog dialog(accounts, std::move(recipientsText), entryBitmap, colours);
    platform::runModalDialog(resources::kSendDialogId, dialog);
    return dialog.takeResult();
}

}  // namespace postrix::ui
