#include "platform/codecs.h"
#include "text/text_conversion.h"

#include <gtest/gtest.h>

#include <string>

using namespace postrix;
using namespace std::string_literals;
using text::codePageToUtf8;
using text::codePageToWide;
using text::utf8ToWide;
using text::wideToUtf8;

namespace {

const std::string kSendMailUtf8 = "\x57\x79\xC5\x9B\x6C\x69\x6A\x20\x65\x2D\x6D\x61\x69\x6C";

TEST(TextConversion, SendMailCaptionRoundTrips) {
    const std::u16string caption = u"Wyślij e-mail";
    ASSERT_EQ(caption.size(), 13u);
    EXPECT_EQ(wideToUtf8(caption), kSendMailUtf8);
    EXPECT_EQ(utf8ToWide(kSendMailUtf8), caption);
}

TEST(TextConversion, EmptyInGivesEmptyOut) {
    EXPECT_EQ(wideToUtf8(u""), "");
    EXPECT_EQ(utf8ToWide(""), u"");
    EXPECT_EQ(codePageToWide("", 1250), u"");
    for (unsigned codePage : {65001u, 28592u, 12345u}) EXPECT_EQ(codePageToUtf8("", codePage), "");
}

TEST(TextConversion, StopsAtFirstNul) {
    EXPECT_EQ(wideToUtf8(u"ab\0cd"s), "ab");
    EXPECT_EQ(utf8ToWide("ab\0cd"s), u"ab");
    EXPECT_EQ(codePageToWide("\xB3\0\xB3"s, 28592), u"ł");
    EXPECT_EQ(codePageToUtf8("x\0y"s, 1252), "x");
    EXPECT_EQ(wideToUtf8(u"\0ab"s), "");
}

TEST(TextConversion, ByteB3InEachSingleBytePage) {
    EXPECT_EQ(codePageToWide("\xB3", 28592), u"\u0142");
    EXPECT_EQ(codePageToWide("\xB3", 1250), u"\u0142");
    EXPECT_EQ(codePageToWide("\xB3", 28591), u"\u00B3");
    EXPECT_EQ(codePageToWide("\xB3", 1252), u"\u00B3");
    EXPECT_EQ(codePageToUtf8("\xB3", 28592), "\xC5\x82");
}

TEST(TextConversion, UnsupportedCodePageGivesEmpty) {
    EXPECT_EQ(codePageToWide("abc", 12345), u"");
    EXPECT_EQ(codePageToUtf8("abc", 12345), "");
    EXPECT_EQ(codePageToUtf8("abc", 0), "");
}

struct Utf8Case {
    const char* name;
    std::string bytes;
    std::u16string wide;
};

// Each maximal ill-formed subpart becomes exactly one U+FFFD.
TEST(TextConversion, IllFormedUtf8BecomesReplacementCharacters) {
    const Utf8Case cases[] = {
        {"truncated pair", "\xC3\x28", u"\uFFFD("},
        {"lone continuation", "a\x80z", u"a\uFFFDz"},
        {"overlong slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"overlong three-byte", "\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"cut four-byte", "\xF0\x9F\x98x", u"\uFFFDx"},
        {"cut at end", "ab\xE2\x82", u"ab\uFFFD"},
        {"invalid lead", "\xFF\xFE", u"\uFFFD\uFFFD"},
        {"astral", "\xF0\x9F\x98\x80", u"\U0001F600"},
        {"euro", "\xE2\x82\xAC", u"\u20AC"},
    };
    for (const Utf8Case& c : cases) EXPECT_EQ(utf8ToWide(c.bytes), c.wide) << c.name;
}

TEST(TextConversion, LoneSurrogatesBecomeReplacementCharacters) {
    EXPECT_EQ(wideToUtf8(u"a\xD800z"s), "a\xEF\xBF\xBDz");
    EXPECT_EQ(wideToUtf8(u"\xDC00"s), "\xEF\xBF\xBD");
    EXPECT_EQ(wideToUtf8(u"\xD83D"s), "\xEF\xBF\xBD");
    EXPECT_EQ(wideToUtf8(u"\xDE00\xD83D"s), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(wideToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

struct ByteMapping {
    unsigned char byte;
    char16_t windows1250;
    char16_t windows1252;
    char16_t iso8859_2;
};

// A sample of bytes 80..FF, including the bytes Windows leaves undefined
// (which decode to the C1 control of the same value).
constexpr ByteMapping kSample[] = {
    {0x80, 0x20AC, 0x20AC, 0x0080}, {0x81, 0x0081, 0x0081, 0x0081}, {0x83, 0x0083, 0x0192, 0x0083},
    {0x88, 0x0088, 0x02C6, 0x0088}, {0x8A, 0x0160, 0x0160, 0x008A}, {0x8C, 0x015A, 0x0152, 0x008C},
    {0x8D, 0x0164, 0x008D, 0x008D}, {0x8F, 0x0179, 0x008F, 0x008F}, {0x90, 0x0090, 0x0090, 0x0090},
    {0x98, 0x0098, 0x02DC, 0x0098}, {0x9C, 0x015B, 0x0153, 0x009C}, {0x9D, 0x0165, 0x009D, 0x009D},
    {0x9F, 0x017A, 0x0178, 0x009F}, {0xA1, 0x02C7, 0x00A1, 0x0104}, {0xA3, 0x0141, 0x00A3, 0x0141},
    {0xA5, 0x0104, 0x00A5, 0x013D}, {0xA6, 0x00A6, 0x00A6, 0x015A}, {0xAF, 0x017B, 0x00AF, 0x017B},
    {0xB1, 0x00B1, 0x00B1, 0x0105}, {0xB9, 0x0105, 0x00B9, 0x0161}, {0xBF, 0x017C, 0x00BF, 0x017C},
    {0xC6, 0x0106, 0x00C6, 0x0106}, {0xCA, 0x0118, 0x00CA, 0x0118}, {0xD1, 0x0143, 0x00D1, 0x0143},
    {0xD3, 0x00D3, 0x00D3, 0x00D3}, {0xE6, 0x0107, 0x00E6, 0x0107}, {0xEA, 0x0119, 0x00EA, 0x0119},
    {0xF1, 0x0144, 0x00F1, 0x0144}, {0xF3, 0x00F3, 0x00F3, 0x00F3}, {0xFF, 0x02D9, 0x00FF, 0x02D9},
};

TEST(TextConversion, SingleBytePagesMatchWindows) {
    for (const ByteMapping& m : kSample) {
        const std::string byte(1, char(m.byte));
        EXPECT_EQ(codePageToWide(byte, 1250), std::u16string(1, m.windows1250)) << std::hex << int(m.byte);
        EXPECT_EQ(codePageToWide(byte, 1252), std::u16string(1, m.windows1252)) << std::hex << int(m.byte);
        EXPECT_EQ(codePageToWide(byte, 28592), std::u16string(1, m.iso8859_2)) << std::hex << int(m.byte);
        EXPECT_EQ(codePageToWide(byte, 28591), std::u16string(1, char16_t(m.byte))) << std::hex << int(m.byte);
    }
}

TEST(TextConversion, PolishLettersToUtf8) {
    EXPECT_EQ(codePageToUtf8("\xB1\xE6\xEA\xB3\xF1\xF3\xB6\xBC\xBF", 28592), "ąćęłńóśźż");
    EXPECT_EQ(codePageToUtf8("\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF", 1250), "ąćęłńóśźż");
    EXPECT_EQ(codePageToUtf8("caf\xE9", 1252), "café");
    EXPECT_EQ(codePageToUtf8("Wy\xC5\x9Blij", 65001), "Wyślij");
}

TEST(CharsetConversion, OwnTablesIgnoreLetterCase) {
    EXPECT_EQ(platform::charsetBytesToWide("\xB3", "ISO-8859-2"), u"ł");
    EXPECT_EQ(platform::charsetBytesToWide("\xB3", "Windows-1250"), u"ł");
    EXPECT_EQ(platform::charsetBytesToWide("\xB3", "latin1"), u"\u00B3");
    EXPECT_EQ(platform::charsetBytesToWide("\x80", "CP1252"), u"€");
    EXPECT_EQ(platform::charsetBytesToWide("\xC5\x82", "UTF-8"), u"ł");
    EXPECT_EQ(platform::charsetBytesToWide("a\xE9", "us-ascii"), u"a\uFFFD");
}

TEST(CharsetConversion, OtherCharsetsThroughTheSystem) {
    EXPECT_EQ(platform::charsetBytesToWide("\xA4", "iso-8859-15"), u"€");
    EXPECT_EQ(platform::charsetBytesToWide("\xF0\xD2\xC9\xD7\xC5\xD4", "KOI8-R"), u"Привет");
    EXPECT_EQ(text::charsetToUtf8("\xA4", "ISO-8859-15"), "€");
}

TEST(CharsetConversion, SystemCharsetsReplaceBadBytesAndStopAtNul) {
    // 0xFF is not valid as a Shift_JIS lead byte; 0x82 0xA0 is HIRAGANA A.
    EXPECT_EQ(platform::charsetBytesToWide("\x82\xA0\xFF" "a", "shift_jis"), u"\u3042\uFFFDa");
    // A sequence cut at the end of the input.
    EXPECT_EQ(platform::charsetBytesToWide("a\x82", "shift_jis"), u"a\uFFFD");
    EXPECT_EQ(platform::charsetBytesToWide("ab\0cd"s, "iso-8859-15"), u"ab");
    // In UTF-16 zero bytes are part of characters; the NUL character ends it.
    EXPECT_EQ(platform::charsetBytesToWide("a\0b\0\0\0c\0"s, "UTF-16LE"), u"ab");
}

TEST(CharsetConversion, UnknownCharsetGivesNothing) {
    EXPECT_EQ(platform::charsetBytesToWide("abc", "x-no-such-charset"), std::nullopt);
    EXPECT_EQ(platform::charsetBytesToWide("abc", ""), std::nullopt);
    EXPECT_EQ(platform::charsetBytesToWide("abc", "utf-8//IGNORE"), std::nullopt);
    EXPECT_EQ(text::charsetToUtf8("abc", "x-no-such-charset"), std::nullopt);
}

}  // namespace
