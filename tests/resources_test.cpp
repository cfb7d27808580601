// The Windows resource script and the templates the headless toolkit uses
// describe the same dialogs, menu and bitmaps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "resources/templates.h"
#include "support/fake_host.h"

namespace postrix::resources {
namespace {

const std::string kResourceDir = POSTRIX_SOURCE_DIR "/postrix/resources/";

struct RcControl {
    int id;
    ControlKind kind;
    std::string text;
    int x, y, w, h;
    uint32_t style;
    int bitmapId;
};

struct RcDialog {
    int id = 0, x = 0, y = 0, w = 0, h = 0;
    uint32_t style = 0;
    std::string caption, font;
    int points = 0, weight = 0;
    std::vector<RcControl> controls;
};

struct RcFile {
    std::map<int, RcDialog> dialogs;
    std::map<int, std::pair<std::string, std::vector<std::pair<int, std::string>>>> menus;
    std::map<int, std::string> bitmaps;
};

std::string trim(std::string s) {
    const size_t begin = s.find_first_not_of(" \t\r");
    const size_t end = s.find_last_not_of(" \t\r");
    return begin == std::string::npos ? std::string() : s.substr(begin, end - begin + 1);
}

// Comma-separated arguments; quoted texts lose their quotes.
std::vector<std::string> arguments(const std::string& text) {
    std::vector<std::string> out(1);
    bool quoted = false;
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        else if (c == ',' && !quoted) out.emplace_back();
        else out.back() += c;
    }
    for (auto& a : out) a = trim(a);
    return out;
}

std::vector<std::string> flags(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string word;
    bool negate = false;
    while (in >> word) {
        if (word == "|") continue;
        if (word == "NOT") {
            negate = true;
            continue;
        }
        out.push_back(negate ? "NOT " + word : word);
        negate = false;
    }
    return out;
}

uint32_t controlStyle(ControlKind kind, const std::string& keyword, const std::vector<std::string>& names) {
    uint32_t style = 0;
    if (keyword == "EDITTEXT") style |= kStyleTabStop | kStyleBorder;
    if (keyword == "PUSHBUTTON" || keyword == "AUTOCHECKBOX") style |= kStyleTabStop;
    if (keyword == "DEFPUSHBUTTON") style |= kStyleTabStop | kStyleDefaultButton;
    const std::map<std::string, uint32_t> known{
        {"ES_AUTOHSCROLL", kStyleAutoHScroll}, {"ES_AUTOVSCROLL", kStyleAutoVScroll},
        {"ES_READONLY", kStyleReadOnly},       {"ES_PASSWORD", kStylePassword},
        {"ES_MULTILINE", kStyleMultiLine},     {"ES_WANTRETURN", kStyleWantReturn},
        {"WS_VSCROLL", kStyleVScrollBar},      {"WS_TABSTOP", kStyleTabStop},
        {"NOT WS_VISIBLE", kStyleHidden},      {"CBS_DROPDOWNLIST", kStyleDropDownList},
        {"SS_BITMAP", 0},
        {"SS_CENTERIMAGE", kind == ControlKind::Picture ? kStyleCentreImage : kStyleCentreVertically},
    };
    for (const std::string& name : names) {
        const auto found = known.find(name);
        if (found == known.end()) ADD_FAILURE() << "unknown style " << name;
        else style |= found->second;
    }
    return style;
}

RcControl parseControl(const std::string& keyword, const std::string& rest) {
    const std::vector<std::string> a = arguments(rest);
    auto number = [&](size_t i) { return std::stoi(a.at(i)); };
    auto styleFrom = [&](size_t i) { return i < a.size() ? flags(a[i]) : std::vector<std::string>{}; };
    if (keyword == "CONTROL") {  // picture, id, class, style, x, y, w, h
        EXPECT_EQ(a.at(2), "Static");
        return {number(1), ControlKind::Picture, "", number(4), number(5), number(6), number(7),
                controlStyle(ControlKind::Picture, keyword, flags(a.at(3))), number(0)};
    }
    if (keyword == "EDITTEXT" || keyword == "COMBOBOX") {  // id, x, y, w, h [, style]
        const ControlKind kind = keyword == "EDITTEXT" ? ControlKind::Edit : ControlKind::Combo;
        return {number(0), kind, "", number(1), number(2), number(3), number(4),
                controlStyle(kind, keyword, styleFrom(5)), 0};
    }
    // text, id, x, y, w, h [, style]
    const ControlKind kind = keyword == "LTEXT"          ? ControlKind::Label
                             : keyword == "AUTOCHECKBOX" ? ControlKind::CheckBox
                                                         : ControlKind::Button;
    return {number(1), kind, a.at(0), number(2), number(3), number(4), number(5),
            controlStyle(kind, keyword, styleFrom(6)), 0};
}

RcFile parseRc() {
    std::ifstream in(kResourceDir + "postrix.rc");
    EXPECT_TRUE(in) << "postrix.rc missing";
    RcFile rc;
    RcDialog* dialog = nullptr;
    int menu = 0;
    std::string line;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line.starts_with("//") || line.starts_with("#")) continue;
        std::istringstream words(line);
        std::string first, second;
        words >> first >> second;
        std::string rest;
        std::getline(words, rest);
        rest = trim(rest);
        if (second == "DIALOGEX") {
            dialog = &rc.dialogs[std::stoi(first)];
            const auto a = arguments(rest);
            dialog->id = std::stoi(first);
            dialog->x = std::stoi(a[0]);
            dialog->y = std::stoi(a[1]);
            dialog->w = std::stoi(a[2]);
            dialog->h = std::stoi(a[3]);
        } else if (second == "MENU") {
            menu = std::stoi(first);
            dialog = nullptr;
        } else if (second == "BITMAP") {
            rc.bitmaps[std::stoi(first)] = arguments(rest).at(0);
        } else if (first == "STYLE" || first == "EXSTYLE") {
            const std::map<std::string, uint32_t> known{
                {"WS_CHILD", kDialogChild},          {"WS_CAPTION", kDialogCaption},
                {"WS_THICKFRAME", kDialogSizingBorder}, {"WS_SYSMENU", kDialogSystemMenu},
                {"WS_EX_TOPMOST", kDialogTopmost},   {"WS_EX_WINDOWEDGE", kDialogWindowEdge}};
            bool visible = false;
            for (const std::string& name : flags(second + " " + rest)) {
                if (name == "WS_VISIBLE") visible = true;
                if (auto found = known.find(name); found != known.end()) dialog->style |= found->second;
            }
            if (first == "STYLE" && (dialog->style & kDialogChild) && !visible) dialog->style |= kDialogHiddenAtStart;
        } else if (first == "CAPTION") {
            dialog->caption = arguments(second + " " + rest).at(0);
        } else if (first == "FONT") {
            const auto a = arguments(second + " " + rest);
            dialog->points = std::stoi(a[0]);
            dialog->font = a[1];
            dialog->weight = std::stoi(a[2]);
        } else if (first == "POPUP") {
            rc.menus[menu].first = arguments(second + " " + rest).at(0);
        } else if (first == "MENUITEM") {
            const auto a = arguments(second + " " + rest);
            rc.menus[menu].second.push_back({std::stoi(a.at(1)), a.at(0)});
        } else if (first != "BEGIN" && first != "END" && dialog != nullptr) {
            dialog->controls.push_back(parseControl(first, second + " " + rest));
        }
    }
    return rc;
}

TEST(Resources, ScriptDialogsMatchTheTemplates) {
    const RcFile rc = parseRc();
    ASSERT_EQ(rc.dialogs.size(), dialogs().size());
    for (const DialogTemplate& t : dialogs()) {
        SCOPED_TRACE(t.id);
        ASSERT_EQ(rc.dialogs.count(t.id), 1u);
        const RcDialog& d = rc.dialogs.at(t.id);
        EXPECT_EQ((std::array{d.x, d.y, d.w, d.h}), (std::array{t.x, t.y, t.width, t.height}));
        EXPECT_EQ(d.style, t.style);
        EXPECT_EQ(d.caption, test::utf8(t.caption));
        EXPECT_EQ(d.font, test::utf8(t.fontName));
        EXPECT_EQ(d.points, t.fontPoints);
        EXPECT_EQ(d.weight, t.fontWeight);
        ASSERT_EQ(d.controls.size(), t.controls.size());
        for (size_t i = 0; i < t.controls.size(); ++i) {
            const RcControl& c = d.controls[i];
            const ControlTemplate& e = t.controls[i];
            SCOPED_TRACE(i);
            EXPECT_EQ(c.id, e.id);
            EXPECT_EQ(c.kind, e.kind);
            EXPECT_EQ(c.text, test::utf8(e.text));
            EXPECT_EQ((std::array{c.x, c.y, c.w, c.h}), (std::array{e.x, e.y, e.width, e.height}));
            EXPECT_EQ(c.style, e.style);
            EXPECT_EQ(c.bitmapId, e.bitmapId);
        }
    }
}

TEST(Resources, ScriptMenuAndBitmapsMatchTheTemplates) {
    const RcFile rc = parseRc();
    ASSERT_EQ(rc.menus.size(), menus().size());
    for (const MenuTemplate& t : menus()) {
        const auto& [popup, items] = rc.menus.at(t.id);
        EXPECT_EQ(popup, test::utf8(t.popupText));
        ASSERT_EQ(items.size(), t.items.size());
        for (size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(items[i].first, t.items[i].id);
            EXPECT_EQ(items[i].second, test::utf8(t.items[i].text));
        }
    }
    ASSERT_EQ(rc.bitmaps.size(), bitmaps().size());
    for (const BitmapTemplate& t : bitmaps()) {
        SCOPED_TRACE(t.id);
        EXPECT_EQ(rc.bitmaps.at(t.id), t.fileName);
        std::ifstream file(kResourceDir + std::string(t.fileName), std::ios::binary);
        std::string header(54, '\0');
        ASSERT_TRUE(file.read(header.data(), 54));
        auto field = [&](size_t at, size_t size) {
            int32_t value = 0;
            std::memcpy(&value, header.data() + at, size);
            return value;
        };
        EXPECT_EQ(header.substr(0, 2), "BM");
        EXPECT_EQ(field(18, 4), t.width);
        EXPECT_EQ(field(22, 4), t.height);
        EXPECT_EQ(field(28, 2), t.bitsPerPixel);
    }
}

// A closed drop-down list shows one row, whatever its open list's height.
constexpr int kClosedComboHeight = 14;

TEST(Resources, VisibleControlsLieInsideTheirDialogWithoutOverlapping) {
    for (const DialogTemplate& t : dialogs()) {
        SCOPED_TRACE(t.id);
        struct Box {
            int id, x, y, right, bottom;
            std::string text;
        };
        std::vector<Box> boxes;
        // Hidden controls stand in for others at times and may share their place.
        for (const ControlTemplate& c : t.controls) {
            if (c.style & kStyleHidden) continue;
            const int height = c.kind == ControlKind::Combo ? std::min(c.height, kClosedComboHeight) : c.height;
            boxes.push_back({c.id, c.x, c.y, c.x + c.width, c.y + height, test::utf8(c.text)});
        }
        for (size_t i = 0; i < boxes.size(); ++i) {
            const Box& a = boxes[i];
            EXPECT_TRUE(a.x >= 0 && a.y >= 0 && a.right <= t.width && a.bottom <= t.height)
                << a.id << " " << a.text << " leaves the dialog";
            for (size_t j = i + 1; j < boxes.size(); ++j) {
                const Box& b = boxes[j];
                const bool apart = a.right <= b.x || b.right <= a.x || a.bottom <= b.y || b.bottom <= a.y;
                EXPECT_TRUE(apart) << a.id << " " << a.text << " overlaps " << b.id << " " << b.text;
            }
        }
    }
}

TEST(Resources, OptionsPageTabOrderRunsDownThePage) {
    const DialogTemplate* page = findDialog(kOptionsPageDialogId);
    ASSERT_NE(page, nullptr);
    std::vector<int> order;
    for (const ControlTemplate& c : page->controls)
        if (c.style & kStyleTabStop) order.push_back(c.id);
    EXPECT_EQ(order, (std::vector<int>{1001, 1002, 1003, 1007, 1004, 1009, 1005, 1010, 1011, 1006, 1008}));
    // Each label stands right before the control it names: joxhost's
    // options command pairs them by that order.
    for (size_t i = 0; i + 1 < page->controls.size(); ++i) {
        const ControlTemplate& c = page->controls[i];
        if (c.kind != ControlKind::Label || c.text == u"min") continue;
        EXPECT_NE(page->controls[i + 1].kind, ControlKind::Label) << test::utf8(c.text);
    }
}

TEST(Resources, DialogUnitsBecomePixelsWithVerdanaBaseUnits) {
    EXPECT_EQ(dialogUnitsToPixelsX(224), 336);
    EXPECT_EQ(dialogUnitsToPixelsY(197), 320);
    EXPECT_EQ(dialogUnitsToPixelsX(7), 11);   // 10.5 rounds up
    EXPECT_EQ(dialogUnitsToPixelsY(85), 138);  // 138.1
}

}  // namespace
}  // namespace postrix::resources
