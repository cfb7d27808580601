#include "pop3/header_decoding.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "pop3/encoded_words.h"

namespace postrix::pop3 {
namespace {

using namespace std::string_literals;

// Zaproszenie na spotkanie zespołu w sprawie wdrożenia nowego systemu księgowego
const std::string kLongPolishSubject =
    "Zaproszenie na spotkanie zespo\xC5\x82u w sprawie wdro\xC5\xBC"
    "enia nowego systemu ksi\xC4\x99gowego";

struct EncodedCase {
    const char* name;
    std::string value;
    std::string expected;
    HeaderText kind = HeaderText::Unstructured;
};

class EncodedWords : public ::testing::TestWithParam<EncodedCase> {};

TEST_P(EncodedWords, DecodeToUtf8) {
    EXPECT_EQ(decodeEncodedWord(GetParam().value, GetParam().kind), GetParam().expected) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    Rfc2047, EncodedWords,
    ::testing::Values(
        EncodedCase{"Plain", "Faktura 12/2012", "Faktura 12/2012"}, EncodedCase{"Empty", "", ""},
        EncodedCase{"B_Utf8", "=?utf-8?B?WmHFvMOzxYLEhyBnxJnFm2zEhSBqYcW6xYQ=?=",
                    "Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87 g\xC4\x99\xC5\x9Bl\xC4\x85 "
                    "ja\xC5\xBA\xC5\x84"},
        EncodedCase{"B_UpperCaseLabel", "=?UTF-8?b?UGF3ZcWC?=", "Pawe\xC5\x82"},
        EncodedCase{"Q_Utf8", "=?utf-8?Q?Pawe=C5=82_Nowak?=", "Pawe\xC5\x82 Nowak"},
        EncodedCase{"Q_LowerCaseHex", "=?utf-8?q?Pawe=c5=82?=", "Pawe\xC5\x82"},
        EncodedCase{"Q_Latin2", "=?iso-8859-2?Q?Pawe=B3_=A6l=B1sk?=", "Pawe\xC5\x82 \xC5\x9Al\xC4\x85sk"},
        EncodedCase{"B_Latin2", "=?ISO-8859-2?B?pmyxc2s=?=", "\xC5\x9Al\xC4\x85sk"},
        EncodedCase{"Q_Windows1250", "=?windows-1250?Q?=9Cwi=EAta?=", "\xC5\x9Bwi\xC4\x99ta"},
        EncodedCase{"Q_Latin1", "=?iso-8859-1?Q?caf=E9?=", "caf\xC3\xA9"},
        EncodedCase{"Q_Windows1252", "=?windows-1252?Q?=80_price?=", "\xE2\x82\xAC price"},
        EncodedCase{"Q_UsAscii", "=?us-ascii?Q?hello_world?=", "hello world"},
        EncodedCase{"Q_Latin9", "=?iso-8859-15?Q?=A4?=", "\xE2\x82\xAC"},
        EncodedCase{"LanguageSuffix", "=?utf-8*pl?Q?a?=", "a"},
        EncodedCase{"EmptyWord", "x =?utf-8?Q?\?= y", "x  y"},
        EncodedCase{"ReplyMarkerKept", "Re: =?utf-8?Q?Pawe=C5=82?=", "Re: Pawe\xC5\x82"},
        EncodedCase{"NameBeforeAddress", "=?utf-8?q?Pawe=C5=82?= <pawel@x.pl>", "Pawe\xC5\x82 <pawel@x.pl>"},
        EncodedCase{"QuotedName", "\"=?utf-8?q?Pawe=C5=82?=\" <pawel@x.pl>", "\"Pawe\xC5\x82\" <pawel@x.pl>",
                    HeaderText::Phrase},
        EncodedCase{"AdjacentWordsJoin", "=?utf-8?Q?a?= =?utf-8?Q?b?=", "ab"},
        EncodedCase{"WhiteSpaceBetweenCharsets", "=?utf-8?Q?a?=\t \t=?iso-8859-2?Q?=B3?=", "a\xC5\x82"},
        EncodedCase{"TextBetweenWordsKept", "=?utf-8?Q?a?= b =?utf-8?Q?c?=", "a b c"},
        EncodedCase{"TouchingWords", "=?utf-8?Q?a?==?utf-8?Q?b?=", "ab"},
        EncodedCase{"CharacterSplitOverWords", "=?utf-8?B?UGF3ZcU=?= =?utf-8?B?gg==?=", "Pawe\xC5\x82"},
        EncodedCase{"DecodedNulDropped", "=?utf-8?Q?a=00b?= =?utf-8?B?YQBi?=", "abab"},
        EncodedCase{"RawNulDropped", "a\0b =?utf-8?Q?c?="s, "ab c"},
        EncodedCase{"UnknownCharsetKept", "=?x-klingon?Q?abc?= and", "=?x-klingon?Q?abc?= and"},
        EncodedCase{"UnknownBetweenKnown",
                    "=?utf-8?Q?a?= =?x-klingon?Q?b?= =?utf-8?Q?c?=", "a =?x-klingon?Q?b?= c"},
        EncodedCase{"StrayMarkerBeforeWord", "= =?utf-8?Q?a?= =? =?utf-8?Q?b?=", "= a =? b"},
        EncodedCase{"KoreanLabel", "=?ks_c_5601-1987?B?x9Gx2w==?=", "\xED\x95\x9C\xEA\xB8\x80"},
        // An encoded word stands only as a whole word: glued to other text it is
        // text. Touching encoded words still count as whole.
        EncodedCase{"GluedInsideAWord", "x=?utf-8?Q?a?=y", "x=?utf-8?Q?a?=y"},
        EncodedCase{"GluedBefore", "x=?utf-8?Q?a?= y", "x=?utf-8?Q?a?= y"},
        EncodedCase{"GluedAfter", "Re: =?utf-8?Q?a?=: b", "Re: =?utf-8?Q?a?=: b"},
        EncodedCase{"GluedChainStaysText",
                    "x=?utf-8?Q?a?==?utf-8?Q?b?= =?utf-8?Q?c?=", "x=?utf-8?Q?a?==?utf-8?Q?b?= c"},
        EncodedCase{"ParenthesesInUnstructured", "(=?utf-8?Q?a?=)", "(=?utf-8?Q?a?=)"},
        EncodedCase{"ParenthesesInPhrase", "(=?utf-8?Q?a?=) <a@x.pl>", "(a) <a@x.pl>", HeaderText::Phrase},
        EncodedCase{"AngleAndCommaInPhrase", "=?utf-8?Q?a?=<a@x.pl>, =?utf-8?Q?b?=,", "a<a@x.pl>, b,",
                    HeaderText::Phrase},
        EncodedCase{"AddressIsNoPhrase", "x.=?utf-8?Q?a?=@x.pl", "x.=?utf-8?Q?a?=@x.pl", HeaderText::Phrase},
        // Malformed words stay exactly as received.
        EncodedCase{"BadHex", "=?utf-8?Q?a=ZZ?=", "=?utf-8?Q?a=ZZ?="},
        EncodedCase{"CutHex", "=?utf-8?Q?a=C?=", "=?utf-8?Q?a=C?="},
        EncodedCase{"UnknownEncoding", "=?utf-8?X?abc?=", "=?utf-8?X?abc?="},
        EncodedCase{"NoEnd", "Re: =?utf-8?Q?abc", "Re: =?utf-8?Q?abc"},
        EncodedCase{"NoCharset", "=??Q?abc?=", "=??Q?abc?="},
        EncodedCase{"SpaceInside", "=?utf-8?Q?a b?=", "=?utf-8?Q?a b?="},
        EncodedCase{"BadBase64", "=?utf-8?B?ab!c?=", "=?utf-8?B?ab!c?="},
        EncodedCase{"PaddingInside", "=?utf-8?B?QQ==QQ==?=", "=?utf-8?B?QQ==QQ==?="},
        EncodedCase{"OnlyMarker", "=?", "=?"}, EncodedCase{"Truncated", "=?utf-8?B", "=?utf-8?B"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Base64Decode, SkipsWhatIsNotBase64AndKeepsNul) {
    EXPECT_EQ(base64Decode("YQBi"), "a\0b"s);
    EXPECT_EQ(base64Decode("UGF3\r\nZcWC"), "Pawe\xC5\x82");
    EXPECT_EQ(base64Decode("QQ"), "A");
    EXPECT_EQ(base64Decode(""), "");
}

// Builds a header block from lines and a line end.
std::string block(std::initializer_list<const char*> lines, const char* lineEnd = "\r\n") {
    std::string text;
    for (const char* line : lines) text += std::string(line) + lineEnd;
    return text;
}

TEST(ParseHeaders, ReadsAGmailBlockWithFoldedBase64Subject) {
    const auto parsed = parseHeaders(block({
        "Delivered-To: pawel@x.pl",
        "Received: by 10.0.0.1 with SMTP id abc;",
        "        Mon, 5 Nov 2012 01:00:00 -0800 (PST)",
        "MIME-Version: 1.0",
        "Date: Mon, 5 Nov 2012 10:00:00 +0100",
        "Subject: =?UTF-8?B?WmFwcm9zemVuaWUgbmEgc3BvdGthbmllIHplc3Bv?=",
        " =?UTF-8?B?xYJ1IHcgc3ByYXdpZSB3ZHJvxbxlbmlhIG5vd2VnbyA=?=",
        " =?UTF-8?B?c3lzdGVtdSBrc2nEmWdvd2Vnbw==?=",
        "From: =?UTF-8?Q?Pawe=C5=82_Nowak?= <pawel.nowak@gmail.com>",
        "To: pawel@x.pl",
        "Content-Type: text/plain; charset=UTF-8",
        "",
        ".",
    }));
    EXPECT_EQ(parsed.entry.subject, kLongPolishSubject);
    EXPECT_EQ(parsed.entry.from, "Pawe\xC5\x82 Nowak <pawel.nowak@gmail.com>");
    EXPECT_EQ(parsed.entry.date, 1352106000);
    EXPECT_EQ(parsed.unreadableDate, std::nullopt);
}

TEST(ParseHeaders, ReadsAnOutlookBlockWithTabFoldsAndLatin2) {
    const auto parsed = parseHeaders(block({
        "From: =?iso-8859-2?Q?Pawe=B3_Nowak?= <pawel@firma.pl>",
        "To: =?iso-8859-2?Q?Jan_Kowalski?= <jan@x.pl>",
        "Subject: RE: =?iso-8859-2?Q?Zaproszenie_na_spotkanie_zespo=B3u_w_sprawie_wdro=BF?=",
        "\t=?iso-8859-2?Q?enia_nowego_systemu_ksi=EAgowego?=",
        "Thread-Topic:",
        "\t=?iso-8859-2?Q?Zaproszenie_na_spotkanie?=",
        "Date: Mon, 5 Nov 2012 09:00:00 +0000",
        "Content-Language: pl-PL",
    }));
    EXPECT_EQ(parsed.entry.subject, "RE: " + kLongPolishSubject);
    EXPECT_EQ(parsed.entry.from, "Pawe\xC5\x82 Nowak <pawel@firma.pl>");
    EXPECT_EQ(parsed.entry.date, 1352106000);
}

TEST(ParseHeaders, ReadsAThunderbirdBlockWithLineFeedsOnly) {
    const auto parsed = parseHeaders(block(
        {
            "Message-ID: <5097A1B2.3000504@x.pl>",
            "Date: Mon, 05 Nov 2012 10:00:00 +0100",
            "From: \"=?UTF-8?B?UGF3ZcWC?=\" <pawel@x.pl>",
            "User-Agent: Mozilla/5.0 Thunderbird/16.0.2",
            "Subject: =?UTF-8?Q?Zaproszenie_na_spotkanie_zespo=C5=82u_w_sprawie_wdro?=",
            " =?UTF-8?Q?=C5=BCenia_nowego_systemu_ksi=C4=99gowego?=",
        },
        "\n"));
    EXPECT_EQ(parsed.entry.subject, kLongPolishSubject);
    EXPECT_EQ(parsed.entry.from, "\"Pawe\xC5\x82\" <pawel@x.pl>");
    EXPECT_EQ(parsed.entry.date, 1352106000);
}

TEST(ParseHeaders, MatchesNamesInAnyCaseWithOrWithoutTheSpace) {
    const auto parsed = parseHeaders(block({
        "FROM:jan@x.pl",
        "subject:\t  Faktura  ",
        "dAtE :Mon, 5 Nov 2012 10:00:00 +0100",
    }));
    EXPECT_EQ(parsed.entry.from, "jan@x.pl");
    EXPECT_EQ(parsed.entry.subject, "Faktura");
    EXPECT_EQ(parsed.entry.date, 1352106000);
}

TEST(ParseHeaders, KeepsTheWhiteSpaceOfAFoldInPlainText) {
    const auto parsed = parseHeaders(block({"Subject: Bardzo d\xC5\x82ugi", "\ttemat",
                                            "  wiadomo\xC5\x9B"
                                            "ci"}));
    EXPECT_EQ(parsed.entry.subject,
              "Bardzo d\xC5\x82ugi\ttemat  wiadomo\xC5\x9B"
              "ci");
}

TEST(ParseHeaders, IgnoresFieldsWhoseNamesOnlyContainTheWanted) {
    const auto parsed = parseHeaders(block({
        "Resent-From: a@x.pl",
        "X-Original-Subject: old",
        "Resent-Date: Mon, 5 Nov 2012 10:00:00 +0100",
        "From x@y Mon Nov  5 10:00:00 2012",
        " Subject: continuation of a line that is no field",
    }));
    EXPECT_EQ(parsed.entry.from, "");
    EXPECT_EQ(parsed.entry.subject, "");
    EXPECT_EQ(parsed.entry.date, 0);
}

TEST(ParseHeaders, LaterFieldsReplaceEarlierOnesUntilAllThreeAreSeen) {
    const auto lateDate = parseHeaders(block({
        "Subject: first",
        "From: a@x.pl",
        "Subject: second",
        "Date: 5 Nov 2012 10:00:00 GMT",
        "Subject: third",
    }));
    EXPECT_EQ(lateDate.entry.subject, "second");

    const auto earlyDate = parseHeaders(block({
        "Subject: first",
        "Date: 5 Nov 2012 10:00:00 GMT",
        "From: a@x.pl",
        "Subject: second",
    }));
    EXPECT_EQ(earlyDate.entry.subject, "first");
}

TEST(ParseHeaders, StopsAtTheEndOfTheHeaderSectionOrTheTerminatingLine) {
    EXPECT_EQ(parseHeaders("Subject: a\r\n\r\nFrom: body@x.pl\r\n.\r\n").entry.from, "");
    EXPECT_EQ(parseHeaders("Subject: a\r\n.\r\nFrom: after@x.pl\r\n").entry.from, "");
    EXPECT_EQ(parseHeaders("Subject: a\r\n.\r\n").entry.subject, "a");
    EXPECT_EQ(parseHeaders("Subject: a").entry.subject, "a");
    EXPECT_EQ(parseHeaders("Subject: a\r").entry.subject, "a");
}

TEST(ParseHeaders, UnstuffsDotLines) {
    // ".." is a stuffed "." that belongs to the text: it must not end the block.
    const auto parsed = parseHeaders(block({"X-Art: a", "..", "Subject: s", "..From: x", "."}));
    EXPECT_EQ(parsed.entry.subject, "s");
    EXPECT_EQ(parsed.entry.from, "");
}

TEST(ParseHeaders, ReportsTheFirstUnreadableDate) {
    const auto parsed =
        parseHeaders(block({"Date: 05 Nov 2012 10:00:00 +0100 (CET) junk", "Date: later junk"}));
    EXPECT_EQ(parsed.entry.date, 0);
    EXPECT_EQ(parsed.unreadableDate, "05 Nov 2012 10:00:00 +0100 (CET) junk");
    EXPECT_EQ(dateFailureMessage(*parsed.unreadableDate),
              "Parsing RFC822 date failed, date=05 Nov 2012 10:00:00 +0100 (CET) junk");

    EXPECT_EQ(parseHeaders("Date: \r\n").unreadableDate, "");
    // A later readable Date gives the date; the bad one is still reported.
    const auto mixed = parseHeaders(block({"Date: junk", "Date: 5 Nov 2012 09:00:00 GMT"}));
    EXPECT_EQ(mixed.entry.date, 1352106000);
    EXPECT_EQ(mixed.unreadableDate, "junk");
}

TEST(ParseHeaders, LongUnreadableDateIsCutInTheLogLine) {
    const std::string prefix = "Parsing RFC822 date failed, date=";
    EXPECT_EQ(dateFailureMessage(std::string(1000, 'x')), prefix + std::string(kMaxLoggedDateBytes, 'x'));
    // "ł" is two bytes; the cut falls between them and moves before it.
    const std::string value = std::string(kMaxLoggedDateBytes - 1, 'x') + "\xC5\x82" + "tail";
    EXPECT_EQ(dateFailureMessage(value), prefix + std::string(kMaxLoggedDateBytes - 1, 'x'));
}

TEST(ParseHeaders, LeavesMissingFieldsEmptyWithoutReport) {
    const auto parsed = parseHeaders(block({"To: a@x.pl", "Subject: s"}));
    EXPECT_EQ(parsed.entry.from, "");
    EXPECT_EQ(parsed.entry.date, 0);
    EXPECT_EQ(parsed.unreadableDate, std::nullopt);

    const auto empty = parseHeaders("");
    EXPECT_EQ(empty.entry.subject, "");
    EXPECT_EQ(empty.unreadableDate, std::nullopt);
}

}  // namespace
}  // namespace postrix::pop3
