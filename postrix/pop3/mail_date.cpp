#include "pop3/mail_date.h"

#include <array>
#include <cstddef>

#include "text/ascii.h"

namespace postrix::pop3 {
namespace {

using text::asciiLower;
using text::equalsIgnoringCase;

constexpr std::array<std::string_view, 7> kDayNames = {"Mon", "Tue", "Wed", "Thu",
                                                       "Fri", "Sat", "Sun"};
constexpr std::array<std::string_view, 12> kMonthNames = {
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct NamedZone {
  std::string_view name;
  int hours;  // offset from UTC
};
constexpr std::array<NamedZone, 10> kNamedZones = {{
    {"UT", 0}, {"GMT", 0}, {"EST", -5}, {"EDT", -4}, {"CST", -6},
    {"CDT", -5}, {"MST", -7}, {"MDT", -6}, {"PST", -8}, {"PDT", -7},
}};

constexpr int64_t kSecondsPerDay = 86400;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isWhite(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool isLeapYear(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned daysInMonth(int64_t year, unsigned month) {
  constexpr std::array<unsigned, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return (month == 2 && isLeapYear(year)) ? 29 : kDays[month - 1];
}

// A cursor over the value that reads the tokens of a date-time, skipping the
// white space and comments ("CFWS") that may stand between any two of them.
class DateReader {
 public:
  explicit DateReader(std::string_view text) : text_(text) {}

  bool atEnd() const { return pos_ >= text_.size(); }
  char peek() const { return atEnd() ? '\0' : text_[pos_]; }

  bool accept(char c) {
    if (atEnd() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }

  // Skips white space and (possibly nested) comments; false when a comment
  // is not closed.
  bool skipCfws() {
    while (!atEnd()) {
      if (isWhite(text_[pos_])) {
        ++pos_;
      } else if (text_[pos_] == '(') {
        if (!skipComment()) return false;
      } else {
        break;
      }
    }
    return true;
  }

  std::string_view word() {
    const std::size_t start = pos_;
    while (!atEnd() && isAlpha(text_[pos_])) ++pos_;
    return text_.substr(start, pos_ - start);
  }

  std::string_view digits() {
    const std::size_t start = pos_;
    while (!atEnd() && isDigit(text_[pos_])) ++pos_;
    return text_.substr(start, pos_ - start);
  }

 private:
  bool skipComment() {
    int depth = 0;
    while (!atEnd()) {
      const char c = text_[pos_++];
      if (c == '\\') {
        if (atEnd()) return false;
        ++pos_;
      } else if (c == '(') {
        ++depth;
      } else if (c == ')') {
        if (--depth == 0) return true;
      }
    }
    return false;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

// A run of 1 to maxDigits digits as a number.
std::optional<int64_t> numberOf(std::string_view digits, std::size_t maxDigits) {
  if (digits.empty() || digits.size() > maxDigits) return std::nullopt;
  int64_t n = 0;
  for (char c : digits) n = n * 10 + (c - '0');
  return n;
}

std::optional<unsigned> monthNumber(std::string_view name) {
  for (std::size_t i = 0; i < kMonthNames.size(); ++i) {
    if (equalsIgnoringCase(name, kMonthNames[i])) return static_cast<unsigned>(i + 1);
  }
  return std::nullopt;
}

bool isDayName(std::string_view name) {
  for (std::string_view day : kDayNames) {
    if (equalsIgnoringCase(name, day)) return true;
  }
  return false;
}

// Two-digit years count from 1950, three-digit years from 1900.
std::optional<int64_t> fullYear(std::string_view digits) {
  const auto year = numberOf(digits, 9);
  if (!year || digits.size() < 2) return std::nullopt;
  if (digits.size() == 2) return *year + (*year < 50 ? 2000 : 1900);
  if (digits.size() == 3) return *year + 1900;
  return year;
}

// The zone as seconds east of UTC. Alphabetic names other than the ones that
// carry a known offset (military letters, "CET", ...) say nothing reliable
// and count as UTC; so does a missing zone.
std::optional<int64_t> zoneOffset(DateReader& in) {
  if (in.atEnd()) return 0;
  const char sign = in.peek();
  if (sign == '+' || sign == '-') {
    in.accept(sign);
    const std::string_view digits = in.digits();
    const auto hhmm = numberOf(digits, 4);
    if (!hhmm || digits.size() != 4 || *hhmm % 100 > 59) return std::nullopt;
    const int64_t seconds = (*hhmm / 100 * 60 + *hhmm % 100) * 60;
    return sign == '-' ? -seconds : seconds;
  }
  const std::string_view name = in.word();
  if (name.empty()) return std::nullopt;
  for (const NamedZone& zone : kNamedZones) {
    if (equalsIgnoringCase(name, zone.name)) return int64_t{zone.hours} * 3600;
  }
  return 0;
}

}  // namespace

int64_t daysFromCivil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

std::optional<int64_t> readMailDate(std::string_view value) {
  DateReader in(value);
  if (!in.skipCfws()) return std::nullopt;

  // [day-name [","]]
  if (isAlpha(in.peek())) {
    if (!isDayName(in.word()) || !in.skipCfws()) return std::nullopt;
    in.accept(',');
    if (!in.skipCfws()) return std::nullopt;
  }

  // day month year
  const auto day = numberOf(in.digits(), 2);
  if (!day || !in.skipCfws()) return std::nullopt;
  const auto month = monthNumber(in.word());
  if (!month || !in.skipCfws()) return std::nullopt;
  const auto year = fullYear(in.digits());
  if (!year || !in.skipCfws()) return std::nullopt;
  if (*day < 1 || *day > daysInMonth(*year, *month)) return std::nullopt;

  // hour ":" minute [":" second]
  const auto hour = numberOf(in.digits(), 2);
  if (!hour || !in.skipCfws() || !in.accept(':') || !in.skipCfws()) return std::nullopt;
  const auto minute = numberOf(in.digits(), 2);
  if (!minute || !in.skipCfws()) return std::nullopt;
  int64_t second = 0;
  if (in.accept(':')) {
    if (!in.skipCfws()) return std::nullopt;
    const auto s = numberOf(in.digits(), 2);
    if (!s || !in.skipCfws()) return std::nullopt;
    second = *s;
  }
  if (*hour > 23 || *minute > 59 || second > 60) return std::nullopt;

  // zone [CFWS]
  const auto offset = zoneOffset(in);
  if (!offset || !in.skipCfws() || !in.atEnd()) return std::nullopt;

  return daysFromCivil(*year, *month, static_cast<unsigned>(*day)) * kSecondsPerDay +
         *hour * 3600 + *minute * 60 + second - *offset;
}

int64_t parseRfc822Date(std::string_view value) { return readMailDate(value).value_or(0); }

}  // namespace postrix::pop3
