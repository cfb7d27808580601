// The Date header's text: local standard time with the zone offset.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace postrix::smtp {

// The moment utcSeconds in the zone whose standard bias is biasMinutes
// (UTC = local + bias), as "7 Dec 2026 19:05:03 +0100": day without a leading
// zero, month name, four-digit year, time, and the zone as sign, hours and
// minutes. Daylight saving is not applied.
std::string formatMailDate(int64_t utcSeconds, int biasMinutes);

// The current date text from the platform clock; empty when the local time
// zone cannot be determined.
std::optional<std::string> currentMailDate();

}  // namespace postrix::smtp
