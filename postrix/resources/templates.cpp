#include "resources/templates.h"

#include <array>

namespace postrix::resources {

namespace {

using K = ControlKind;

constexpr uint32_t kEdit = kStyleTabStop | kStyleBorder | kStyleAutoHScroll;

// The account's options page: a captionless child page, shown by its first
// "show" event; template order is the tab order. The drop-down list's
// height is that of its open list: closed it takes one edit row.
constexpr std::array kOptionsPageControls{
    ControlTemplate{kNoId, K::Label, u"Adres e-mail:", 10, 0, 213, 8, 0},
    ControlTemplate{1001, K::Edit, u"", 10, 10, 214, 14, kEdit},
    ControlTemplate{kNoId, K::Label, u"Login:", 10, 29, 213, 8, 0},
    ControlTemplate{1002, K::Edit, u"", 10, 39, 214, 14, kEdit},
    ControlTemplate{kNoId, K::Label, u"Hasło:", 10, 57, 213, 8, 0},
    ControlTemplate{1003, K::Edit, u"", 10, 66, 214, 14, kEdit | kStylePassword},
    ControlTemplate{1007, K::CheckBox, u"Bezpieczne połączenie SSL/TLS (zalecane)", 10, 84, 214, 10, kStyleTabStop},
    ControlTemplate{kNoId, K::Label, u"Serwer SMTP:", 10, 98, 211, 8, 0},
    ControlTemplate{1004, K::Edit, u"", 10, 109, 214, 14, kEdit},
    ControlTemplate{kNoId, K::Label, u"Odbiór poczty:", 11, 129, 62, 8, 0},
    ControlTemplate{1009, K::Combo, u"", 75, 127, 60, 40, kStyleTabStop | kStyleDropDownList | kStyleVScrollBar},
    ControlTemplate{kNoId, K::Label, u"Serwer POP3 (pozostaw pusty, aby nie sprawdzać nowej poczty):", 10, 146, 221, 8,
                    0},
    ControlTemplate{1005, K::Edit, u"", 10, 156, 214, 14, kEdit},
    ControlTemplate{kNoId, K::Label, u"Serwer IMAP:", 10, 174, 213, 8, 0},
    ControlTemplate{1010, K::Edit, u"", 10, 184, 214, 14, kEdit},
    ControlTemplate{kNoId, K::Label, u"Folder IMAP (domyślnie INBOX):", 10, 202, 213, 8, 0},
    ControlTemplate{1011, K::Edit, u"", 10, 212, 214, 14, kEdit},
    ControlTemplate{kNoId, K::Label, u"Adres wywoływany po kliknięciu na powiadomienie (opcjonalny):", 10, 231, 215,
                    8, 0},
    ControlTemplate{1006, K::Edit, u"", 10, 242, 214, 14, kEdit},
    ControlTemplate{kNoId, K::Label, u"Sprawdzanie poczty co", 11, 261, 76, 8, 0},
    ControlTemplate{1008, K::Edit, u"", 89, 259, 26, 14, kEdit},
    ControlTemplate{kNoId, K::Label, u"min", 118, 261, 24, 8, 0},
};

// The send-mail dialog; template order is the tab order.
constexpr std::array kSendDialogControls{
    ControlTemplate{kNoId, K::Label, u"Do:", 7, 6, 210, 8, 0},
    ControlTemplate{1008, K::Edit, u"", 7, 16, 210, 14, kEdit | kStyleReadOnly},
    ControlTemplate{kNoId, K::Label, u"Od:", 7, 34, 210, 8, 0},
    ControlTemplate{1009, K::Combo, u"", 7, 43, 210, 30, kStyleTabStop | kStyleDropDownList | kStyleVScrollBar},
    ControlTemplate{kNoId, K::Label, u"Temat:", 7, 59, 210, 8, 0},
    ControlTemplate{1010, K::Edit, u"", 7, 68, 210, 14, kEdit},
    ControlTemplate{1015, K::Label, u"Treść:", 7, 85, 210, 8, 0},
    ControlTemplate{1011, K::Edit, u"", 7, 94, 210, 72,
                    kEdit | kStyleMultiLine | kStyleWantReturn | kStyleAutoVScroll | kStyleVScrollBar},
    ControlTemplate{1, K::Button, u"Wyślij", 114, 174, 50, 16, kStyleTabStop | kStyleDefaultButton},
    ControlTemplate{2, K::Button, u"Anuluj", 167, 174, 50, 16, kStyleTabStop},
    ControlTemplate{1012, K::Button, u"Załączniki...", 7, 174, 50, 16, kStyleTabStop},
    ControlTemplate{1014, K::Picture, u"", 58, 174, 8, 16, kStyleCentreImage | kStyleHidden, kPaperClipBitmapId},
    ControlTemplate{1013, K::Label, u"0", 66, 174, 34, 16, kStyleCentreVertically | kStyleHidden},
    ControlTemplate{1016, K::Label, u"Static", 7, 182, 210, 8, kStyleHidden},
};

constexpr std::array kDialogs{
    DialogTemplate{kOptionsPageDialogId, u"", u"Verdana", 8, 400, 0, 0, 259, 277,
                   kDialogChild | kDialogHiddenAtStart, kOptionsPageControls},
    DialogTemplate{kSendDialogId, u"Wyślij e-mail", u"Verdana", 8, 400, 0, 0, 224, 197,
                   kDialogCaption | kDialogSizingBorder | kDialogTopmost | kDialogWindowEdge, kSendDialogControls},
};

constexpr std::array kAttachmentsMenuItems{MenuItemTemplate{40002, u"Dodaj..."}};

constexpr std::array kMenus{MenuTemplate{kAttachmentsMenuId, u"Załączniki", kAttachmentsMenuItems}};

constexpr std::array kBitmaps{
    BitmapTemplate{kAttachmentBitmapId, 14, 14, 24, "remove_attachment.bmp"},
    BitmapTemplate{kPaperClipBitmapId, 7, 14, 24, "paper_clip.bmp"},
};

template <typename T, size_t N>
const T* findById(const std::array<T, N>& table, int id) {
    for (const T& entry : table)
        if (entry.id == id) return &entry;
    return nullptr;
}

}  // namespace

const DialogTemplate* findDialog(int id) { return findById(kDialogs, id); }
const MenuTemplate* findMenu(int id) { return findById(kMenus, id); }
const BitmapTemplate* findBitmap(int id) { return findById(kBitmaps, id); }

std::span<const DialogTemplate> dialogs() { return kDialogs; }
std::span<const MenuTemplate> menus() { return kMenus; }
std::span<const BitmapTemplate> bitmaps() { return kBitmaps; }

}  // namespace postrix::resources
