#include "host/log.h"

#include "abi/records_plugin.h"
#include "text/text_conversion.h"

namespace postrix {

namespace {
constexpr size_t kMaxLogUnits = 2047;
}

void logError(const Host& host, int level, std::string_view message) {
    std::u16string line = text::utf8ToWide(message);
    if (line.size() > kMaxLogUnits) line.resize(kMaxLogUnits);
    LogRecord record{};
    record.size = sizeof(LogRecord);
    record.level = level;
    record.source = kNetClass;
    record.text = line.c_str();
    host.call(u"JOX/Log", &record);
}

}  // namespace postrix
