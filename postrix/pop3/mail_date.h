// Reading the Date header of a message (RFC 5322 date-time, the obsolete
// forms included) into seconds since 1970-01-01 00:00:00 UTC.
//
// The result is the instant the header means, independent of the local time
// zone of the machine: only civil-date arithmetic is used.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace postrix::pop3 {

// The instant of a date-time value such as "Mon, 5 Nov 2012 10:00:00 +0100",
// or nothing when the value cannot be read.
//
// Accepted: an optional day name (with or without its comma), a one- or
// two-digit day, the month name in any letter case, four-digit years, two-digit
// years (00-49 are 2000-2049, 50-99 are 1950-1999), three-digit years (+1900),
// missing seconds, comments "( ... )" and folding white space between the
// parts, and as zone "+hhmm"/"-hhmm", UT, GMT, the US zones EST/EDT, CST/CDT,
// MST/MDT, PST/PDT, or any other alphabetic name (military letters, "CET",
// ...), which says nothing reliable and counts as UTC. A missing zone counts
// as UTC as well. The day must exist in its month.
std::optional<int64_t> readMailDate(std::string_view value);

// readMailDate, with 0 standing for a value that could not be read.
int64_t parseRfc822Date(std::string_view value);

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar
// (month 1-12); negative before 1970.
int64_t daysFromCivil(int64_t year, unsigned month, unsigned day);

}  // namespace postrix::pop3
