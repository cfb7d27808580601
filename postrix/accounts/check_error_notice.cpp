#include "accounts/check_error_notice.h"

#include "abi/records_notify.h"
#include "host/log.h"
#include "text/format.h"
#include "text/text_conversion.h"

namespace postrix {

namespace {

NotifyRecord checkErrorNotice(const std::u16string& text, const std::u16string& title) {
    NotifyRecord notice{};
    notice.size = sizeof(NotifyRecord);
    notice.text = text.c_str();
    notice.title = title.c_str();
    notice.iconId = u"Image/Warning32";
    notice.value40 = 3;
    return notice;
}

}  // namespace

void showCheckError(Host host, const std::string& address, const std::string& message) {
    logFailure(host, formatText("%s: %s", address.c_str(), message.c_str()));
    const std::u16string text = text::utf8ToWide(message);
    const std::u16string title = text::utf8ToWide(address);
    NotifyRecord notice = checkErrorNotice(text, title);
    if (host.call(u"JOX/ShowStandardNotify", &notice) != 0) logFailure(host, "Showing notification failed");
}

}  // namespace postrix
