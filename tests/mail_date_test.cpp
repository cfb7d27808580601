#include "pop3/mail_date.h"
#include "support/system.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace postrix::pop3 {
namespace {

// 2012-11-05 10:00:00 UTC
constexpr int64_t kNov5At10Utc = 1352109600;
constexpr int64_t kHour = 3600;

struct ReadableDate {
    const char* value;
    int64_t expected;
};

class ReadableDates : public ::testing::TestWithParam<ReadableDate> {};

TEST_P(ReadableDates, GiveTheInstantTheyMean) {
    const auto result = readMailDate(GetParam().value);
    ASSERT_TRUE(result.has_value()) << GetParam().value;
    EXPECT_EQ(*result, GetParam().expected) << GetParam().value;
    EXPECT_EQ(parseRfc822Date(GetParam().value), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rfc5322, ReadableDates,
    ::testing::Values(ReadableDate{"Mon, 5 Nov 2012 10:00:00 +0100", 1352106000},
                      ReadableDate{"05 Nov 2012 10:00:00 GMT", kNov5At10Utc},
                      ReadableDate{"Mon, 05 Nov 2012 10:00:00 -0000", kNov5At10Utc},
                      ReadableDate{"Mon, 5 Nov 2012 10:00:00 -0330", kNov5At10Utc + 3 * kHour + 1800},
                      ReadableDate{"Mon, 5 Nov 2012 10:00:00 +1345", kNov5At10Utc - 13 * kHour - 45 * 60},
                      // Trailing comments, nested and with quoted pairs.
                      ReadableDate{"05 Nov 2012 10:00:00 +0100 (CET)", kNov5At10Utc - kHour},
                      ReadableDate{"Mon, 05 Nov 2012 10:00:00 +0100 (CET)", kNov5At10Utc - kHour},
                      ReadableDate{"5 Nov 2012 10:00:00 GMT (x)", kNov5At10Utc},
                      ReadableDate{"5 Nov 2012 10:00:00 GMT (a (nested \\) one))  ", kNov5At10Utc},
                      // Obsolete forms.
                      ReadableDate{"Mon, 5 Nov 12 10:00:00 +0000", kNov5At10Utc},
                      ReadableDate{"Fri, 5 Nov 99 10:00:00 +0000", 941796000},
                      ReadableDate{"Sat, 1 Jan 00 00:00:00 GMT", 946684800},
                      ReadableDate{"5 Nov 49 10:00:00 GMT", 2519719200},
                      ReadableDate{"5 Nov 50 10:00:00 GMT", -604504800},
                      ReadableDate{"5 Nov 112 10:00:00 GMT", kNov5At10Utc},
                      ReadableDate{"Mon, 5 Nov 2012 10:00 +0000", kNov5At10Utc},
                      ReadableDate{"Mon 5 Nov 2012 10:00:00 +0000", kNov5At10Utc},
                      ReadableDate{" (sent) Mon , 5 Nov 2012 10 : 00 : 00 +0000", kNov5At10Utc},
                      ReadableDate{"Mon,\r\n 5 Nov 2012\r\n\t10:00:00 +0000", kNov5At10Utc},
                      ReadableDate{"mon, 5 NOV 2012 10:00:00 gmt", kNov5At10Utc},
                      ReadableDate{"5 Nov 2012 9:05:07 +0000", kNov5At10Utc - 3300 + 7},
                      // Named zones.
                      ReadableDate{"5 Nov 2012 10:00:00 UT", kNov5At10Utc},
                      ReadableDate{"5 Nov 2012 10:00:00 EST", kNov5At10Utc + 5 * kHour},
                      ReadableDate{"5 Nov 2012 10:00:00 EDT", kNov5At10Utc + 4 * kHour},
                      ReadableDate{"5 Nov 2012 10:00:00 CST", kNov5At10Utc + 6 * kHour},
                      ReadableDate{"5 Nov 2012 10:00:00 CDT", kNov5At10Utc + 5 * kHour},
                      ReadableDate{"5 Nov 2012 10:00:00 MST", kNov5At10Utc + 7 * kHour},
                      ReadableDate{"5 Nov 2012 10:00:00 MDT", kNov5At10Utc + 6 * kHour},
                      ReadableDate{"5 Nov 2012 10:00:00 PST", kNov5At10Utc + 8 * kHour},
                      ReadableDate{"5 Nov 2012 10:00:00 PDT", kNov5At10Utc + 7 * kHour},
                      // Military letters and unknown names carry no reliable offset.
                      ReadableDate{"5 Nov 2012 10:00:00 Z", kNov5At10Utc},
                      ReadableDate{"5 Nov 2012 10:00:00 A", kNov5At10Utc},
                      ReadableDate{"5 Nov 2012 10:00:00 y", kNov5At10Utc},
                      ReadableDate{"5 Nov 2012 10:00:00 CET", kNov5At10Utc},
                      ReadableDate{"5 Nov 2012 10:00:00", kNov5At10Utc},
                      // Calendar edges.
                      ReadableDate{"Thu, 29 Feb 2024 23:59:60 +0000", 1709251200},
                      ReadableDate{"29 Feb 2000 00:00:00 +0000", 951782400},
                      ReadableDate{"31 Dec 1969 23:59:59 +0000", -1},
                      ReadableDate{"1 Jan 1970 00:00:00 +0000", 0}));

class UnreadableDates : public ::testing::TestWithParam<const char*> {};

TEST_P(UnreadableDates, GiveNothing) {
    EXPECT_EQ(readMailDate(GetParam()), std::nullopt) << GetParam();
    EXPECT_EQ(parseRfc822Date(GetParam()), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rfc5322, UnreadableDates,
    ::testing::Values("", "   ", "5 Nov 2012", "yesterday", "Mon, 5 Foo 2012 10:00:00 +0100",
                      "Foo, 5 Nov 2012 10:00:00 GMT", "32 Oct 2012 10:00:00 GMT", "0 Oct 2012 10:00:00 GMT",
                      "30 Feb 2012 10:00:00 GMT", "29 Feb 2100 10:00:00 GMT", "123 Nov 2012 10:00:00 GMT",
                      "5 Nov 2 10:00:00 GMT", "5 Nov 2012 24:00:00 GMT", "5 Nov 2012 10:60:00 GMT",
                      "5 Nov 2012 10:00:61 GMT", "5 Nov 2012 10 GMT", "5 Nov 2012 10:00:00 +01",
                      "5 Nov 2012 10:00:00 +01000", "5 Nov 2012 10:00:00 +0160", "5 Nov 2012 10:00:00 -",
                      "5 Nov 2012 10:00:00 GMT+1", "5 Nov 2012 10:00:00 +0100 junk",
                      "5 Nov 2012 10:00:00 +0100 (CET", "(5 Nov 2012 10:00:00 +0100",
                      "5 Nov 2012 10:00:00 +0100 (x\\"));

TEST(MailDate, DoesNotDependOnTheLocalTimeZone) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    for (const char* zone : {"UTC0", "NZST-12NZDT,M9.5.0,M4.1.0/3", "EST5EDT,M3.2.0,M11.1.0"}) {
        test::setEnvironment("TZ", zone);
        tzset();
        EXPECT_EQ(parseRfc822Date("Mon, 5 Nov 2012 10:00:00 +0100"), 1352106000) << zone;
        EXPECT_EQ(parseRfc822Date("Sun, 1 Jul 2012 10:00:00 GMT"), 1341136800) << zone;
    }
    test::setEnvironment("TZ", old ? saved.c_str() : nullptr);
    tzset();
}

TEST(MailDate, CountsDaysOfTheGregorianCalendar) {
    EXPECT_EQ(daysFromCivil(1970, 1, 1), 0);
    EXPECT_EQ(daysFromCivil(1969, 12, 31), -1);
    EXPECT_EQ(daysFromCivil(2000, 3, 1), 11017);
    EXPECT_EQ(daysFromCivil(1600, 2, 29), -135081);
    EXPECT_EQ(daysFromCivil(2012, 11, 5), 15649);
}

}  // namespace
}  // namespace postrix::pop3
