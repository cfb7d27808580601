// The plug-in's dialog templates, menu and bitmaps as data: the one source of
// the dialogs' controls, ids, texts, styles and positions (in dialog units).
// The headless toolkit builds its dialogs from these tables; the Windows
// resource script postrix.rc describes the same resources and a test checks
// that the two agree.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace postrix::resources {

inline constexpr int kOptionsPageDialogId = 101;
inline constexpr int kSendDialogId = 102;
inline constexpr int kAttachmentsMenuId = 103;
inline constexpr int kAttachmentBitmapId = 112;  // red square with a white cross
inline constexpr int kPaperClipBitmapId = 115;   // shown beside the attachment count

inline constexpr int kNoId = -1;

enum class ControlKind { Label, Edit, Button, CheckBox, Combo, Picture };

// Style bits of a control, independent of any toolkit's numbers.
enum ControlStyle : uint32_t {
    kStyleHidden = 1u << 0,           // not visible when created
    kStyleTabStop = 1u << 1,
    kStyleBorder = 1u << 2,
    kStyleAutoHScroll = 1u << 3,
    kStyleAutoVScroll = 1u << 4,
    kStyleVScrollBar = 1u << 5,
    kStyleReadOnly = 1u << 6,
    kStylePassword = 1u << 7,
    kStyleMultiLine = 1u << 8,
    kStyleWantReturn = 1u << 9,       // Return inserts a new line
    kStyleDefaultButton = 1u << 10,
    kStyleCentreImage = 1u << 11,
    kStyleCentreVertically = 1u << 12,
    kStyleDropDownList = 1u << 13,
};

// Style bits of a dialog.
enum DialogStyle : uint32_t {
    kDialogChild = 1u << 0,        // a page inside a parent window, no caption
    kDialogCaption = 1u << 1,
    kDialogSizingBorder = 1u << 2,
    kDialogSystemMenu = 1u << 3,
    kDialogHiddenAtStart = 1u << 4,
    kDialogTopmost = 1u << 5,      // extended style
    kDialogWindowEdge = 1u << 6,   // extended style
};

struct ControlTemplate {
    int id;  // kNoId for labels without one
    ControlKind kind;
    std::u16string_view text;  // for a picture: empty (its bitmap is `bitmapId`)
    int x, y, width, height;   // dialog units
    uint32_t style;            // ControlStyle bits
    int bitmapId = 0;
};

struct DialogTemplate {
    int id;
    std::u16string_view caption;
    std::u16string_view fontName;
    int fontPoints;
    int fontWeight;
    int x, y, width, height;  // dialog units
    uint32_t style;           // DialogStyle bits
    std::span<const ControlTemplate> controls;
};

struct MenuItemTemplate {
    int id;
    std::u16string_view text;
};

// A menu resource with one pop-up.
struct MenuTemplate {
    int id;
    std::u16string_view popupText;
    std::span<const MenuItemTemplate> items;
};

struct BitmapTemplate {
    int id;
    int width, height, bitsPerPixel;
    std::string_view fileName;  // beside postrix.rc
};

// The template with that id, or nullptr.
const DialogTemplate* findDialog(int id);
const MenuTemplate* findMenu(int id);
const BitmapTemplate* findBitmap(int id);

std::span<const DialogTemplate> dialogs();
std::span<const MenuTemplate> menus();
std::span<const BitmapTemplate> bitmaps();

// Dialog units to pixels with the fixed base units of Verdana 8 points at
// 96 dots per inch: 6 pixels per 4 horizontal units, 13 pixels per 8
// vertical units, rounded to the nearest pixel.
inline constexpr int kBaseUnitX = 6;
inline constexpr int kBaseUnitY = 13;
constexpr int dialogUnitsToPixelsX(int units) { return (units * kBaseUnitX + 2) / 4; }
constexpr int dialogUnitsToPixelsY(int units) { return (units * kBaseUnitY + 4) / 8; }

}  // namespace postrix::resources
