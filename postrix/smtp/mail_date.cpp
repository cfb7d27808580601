#include "smtp/mail_date.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/clock.h"

namespace postrix::smtp {

namespace {

constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Floor division, so moments before 1970 still fall on the right day.
int64_t floorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

}  // namespace

std::string formatMailDate(int64_t utcSeconds, int biasMinutes) {
    using namespace std::chrono;
    const int64_t local = utcSeconds - int64_t{biasMinutes} * 60;
    const int64_t dayNumber = floorDiv(local, 86400);
    const int64_t secondOfDay = local - dayNumber * 86400;
    const year_month_day date{sys_days{days{dayNumber}}};

    // The sign comes from the bias itself, so a zone less than an hour west of
    // UTC still reads as negative.
    const int offset = -biasMinutes;
    const char sign = offset < 0 ? '-' : '+';
    const int absOffset = std::abs(offset);

    char text[64];
    std::snprintf(text, sizeof text, "%u %s %.4d %.2d:%.2d:%.2d %c%.2d%.2d",
                  static_cast<unsigned>(date.day()),
                  kMonths[static_cast<unsigned>(date.month()) - 1],
                  static_cast<int>(date.year()), static_cast<int>(secondOfDay / 3600),
                  static_cast<int>(secondOfDay / 60 % 60), static_cast<int>(secondOfDay % 60),
                  sign, absOffset / 60, absOffset % 60);
    return text;
}

std::optional<std::string> currentMailDate() {
    platform::Clock& clock = platform::clock();
    const std::optional<int> bias = clock.standardBiasMinutes();
    if (!bias) return std::nullopt;
    return formatMailDate(clock.utcSeconds(), *bias);
}

}  // namespace postrix::smtp
