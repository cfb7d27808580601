// The modal send-mail dialog: recipients shown, the sending account chosen,
// subject, body and attachments typed and picked. It checks nothing and
// sends nothing: "Wyślij" hands a DialogResult to the opener.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/ui.h"
#include "ui/attachment_list.h"
#include "ui/dialog_result.h"

namespace postrix {
class AccountManager;
}

namespace postrix::ui {

inline constexpr int kSendButtonId = 1;
inline constexpr int kCancelButtonId = 2;
inline constexpr int kRecipientsEditId = 1008;
inline constexpr int kAccountComboId = 1009;
inline constexpr int kSubjectEditId = 1010;
inline constexpr int kBodyEditId = 1011;
inline constexpr int kAttachmentsButtonId = 1012;
inline constexpr int kBodyLabelId = 1015;
inline constexpr int kMinimumMarkerId = 1016;

class SendDialog final : public platform::DialogProcedure {
public:
    // accounts may be null (no accounts to choose from); entryBitmap is the
    // picture of attachment entries in the attachments menu; the dialog
    // paints with colours, or with the platform's when it is null.
    SendDialog(const AccountManager* accounts, std::u16string recipientsText, uintptr_t entryBitmap,
               platform::DialogColours colours);
    ~SendDialog() override;

    // The result once the dialog ended with "Wyślij".
    std::optional<DialogResult> takeResult() { return std::move(result_); }

    bool onInit(platform::Window dialog) override;
    bool onCommand(platform::Window dialog, int id) override;
    void onSize(platform::Window dialog, int width, int height) override;
    std::optional<platform::Size> minimumTrackSize(platform::Window dialog) override;
    platform::Brush colourFor(platform::Window dialog, platform::ColourQuery query) override;
    void onDestroy(platform::Window dialog) override;

private:
    void send(platform::Window dialog);
    void showAttachmentsMenu(platform::Window dialog);
    void addAttachments(platform::Window dialog);

    const AccountManager* accounts_;
    std::u16string recipientsText_;
    uintptr_t entryBitmap_;
    platform::DialogColours colours_;
    // Owned here, reachable from the window as its "postrix_attachments"
    // property once the first "Dodaj..." created it.
    std::unique_ptr<AttachmentList> attachments_;
    std::optional<DialogResult> result_;
};

// Runs the dialog and waits for it to end; the result when the user sent.
std::optional<DialogResult> runSendDialog(const AccountManager* accounts, std::u16string recipientsText,
                                          uintptr_t entryBitmap, platform::DialogColours colours);

}  // namespace postrix::ui
