// Header text as the new-mail notice and the news entries show it.
#include "pop3/display_text.h"

#include <gtest/gtest.h>

#include <string>

namespace postrix::pop3 {
namespace {

using namespace std::string_literals;

TEST(DisplayText, ControlsBecomeSpacesAndBidiControlsGo) {
    struct Case {
        std::string text;
        std::string shown;
    };
    const Case cases[] = {
        {"Zaproszenie na spotkanie zespo\xC5\x82u", "Zaproszenie na spotkanie zespo\xC5\x82u"},
        {"pay\r\n2 - boss@corp: now", "pay  2 - boss@corp: now"},
        {"a\tb\x1B[31mc\x07\x7F", "a b [31mc  "},
        // C1 controls: NEL, APC.
        {"a\xC2\x85|\xC2\x9F", "a | "},
        // Line and paragraph separators.
        {"a\xE2\x80\xA8|\xE2\x80\xA9", "a | "},
        // RLO ... PDF around a file name.
        {"x\xE2\x80\xAE|gpj.exe\xE2\x80\xAC", "x|gpj.exe"},
        {"\xE2\x80\xAA\xE2\x80\xAB\xE2\x80\xAD\xE2\x81\xA6\xE2\x81\xA7\xE2\x81\xA8\xE2\x81\xA9", ""},
        // The direction marks and other format characters stay.
        {"\xE2\x80\x8F\xE2\x80\x8E\xE2\x80\xAF", "\xE2\x80\x8F\xE2\x80\x8E\xE2\x80\xAF"},
    };
    for (const Case& c : cases) EXPECT_EQ(displayText(c.text), c.shown) << c.text;
}

TEST(DisplayText, LongTextIsCutNeverInsideASurrogatePair) {
    EXPECT_EQ(displayText(std::string(1000, 'x')), std::string(kMaxDisplayUnits, 'x'));
    EXPECT_EQ(displayText(std::string(kMaxDisplayUnits, 'x')), std::string(kMaxDisplayUnits, 'x'));
    // U+1F600 is two UTF-16 units; after one "a" the 256th unit would be a high surrogate.
    std::string emoji;
    for (int i = 0; i < 300; ++i) emoji += "\xF0\x9F\x98\x80";
    std::string expected = "a";
    for (size_t i = 0; i < (kMaxDisplayUnits - 2) / 2; ++i) expected += "\xF0\x9F\x98\x80";
    EXPECT_EQ(displayText("a" + emoji), expected);
    // Removed bidi controls do not count.
    EXPECT_EQ(displayText("\xE2\x80\xAE" + std::string(kMaxDisplayUnits, 'y')),
              std::string(kMaxDisplayUnits, 'y'));
}

}  // namespace
}  // namespace postrix::pop3
