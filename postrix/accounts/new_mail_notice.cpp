#include "accounts/new_mail_notice.h"

#include <algorithm>
#include <span>

#include "abi/records_notify.h"
#include "accounts/live_notices.h"
#include "host/log.h"
#include "platform/desktop.h"
#include "text/format.h"
#include "text/text_conversion.h"

namespace postrix {

using pop3::NewMailEntry;

namespace {

constexpr char16_t kMailIcon[] = u"Image/Mail";
constexpr char16_t kNewsService[] = u"News/AddEntry";

NotifyRecord newMailNotice(const std::u16string& text, const std::u16string& title, const std::u16string& address,
                           uint64_t noticeNumber) {
    NotifyRecord notice{};
    notice.size = sizeof(NotifyRecord);
    notice.text = text.c_str();
    notice.title = title.c_str();
    notice.thirdText = address.c_str();
    notice.iconId = kMailIcon;
    notice.value40 = 3;
    notice.value48 = 18;
    notice.value64 = 10;
    notice.callback = NewMailNotice::onEvent;
    notice.context = static_cast<uintptr_t>(noticeNumber);
    return notice;
}

NewsEntryRecord newsEntry(const std::u16string& firstText, const std::u16string& sender,
                          const std::u16string& subject, const std::u16string& address) {
    NewsEntryRecord entry{};
    entry.size = sizeof(NewsEntryRecord);
    entry.firstText = firstText.c_str();
    entry.sender = sender.c_str();
    entry.subject = subject.c_str();
    entry.accountAddress = address.c_str();
    entry.iconId = kMailIcon;
    return entry;
}

void addNewsEntries(const Host& host, const std::u16string& address, std::span<const NewMailEntry> entries) {
    for (const NewMailEntry& mail : entries) {
        std::u16string sender = text::utf8ToWide(mail.from);
        std::replace_if(sender.begin(), sender.end(), [](char16_t c) { return c == u'<' || c == u'>'; }, u' ');
        const std::u16string subject = text::utf8ToWide(mail.subject);
        const std::u16string firstText = newsEntryFirstText(address, sender, subject, mail.date);
        NewsEntryRecord entry = newsEntry(firstText, sender, subject, address);
        if (host.call(kNewsService, &entry) != 0) logFailure(host, "Showing news++ notification failed");
    }
}

}  // namespace

std::string newMailNoticeText(const std::vector<NewMailEntry>& entries) {
    // Counts through std::to_string: MinGW checks printf formats against the
    // Microsoft runtime's, which has no %zu.
    std::string text = "Ilość nieprzeczytanych: " + std::to_string(entries.size()) + "\r\n";
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) text += "\r\n";
        text += std::to_string(i + 1) + " - " + entries[i].from + ": \"" + entries[i].subject + "\"";
    }
    return text;
}

std::u16string newsEntryFirstText(const std::u16string& address, const std::u16string& sender,
                                  const std::u16string& subject, int64_t date) {
    return address + u"-" + sender + u"-" + subject + u"-" +
           text::utf8ToWide(formatText("%lld", static_cast<long long>(date)));
}

NewMailNotice::NewMailNotice(Host host)
    : host_(host), opener_(platform::openAddress), liveNumber_(registerLiveNotice(*this)) {}

NewMailNotice::~NewMailNotice() { unregisterLiveNotice(liveNumber_); }

void NewMailNotice::add(const std::string& mailbox, std::vector<NewMailEntry> fresh) {
    const size_t firstFresh = entries_.size();
    entries_.insert(entries_.end(), std::make_move_iterator(fresh.begin()), std::make_move_iterator(fresh.end()));
    const std::u16string address = text::utf8ToWide(mailbox);
    const std::u16string title = u"Nowa poczta (" + address + u")";
    const std::u16string text = text::utf8ToWide(newMailNoticeText(entries_));
    NotifyRecord notice = newMailNotice(text, title, address, liveNumber_);
    if (host_.call(u"JOX/ShowStandardNotify", &notice) != 0) logFailure(host_, "Showing notification failed");
    // Entries listed again by this notification already have their news entry.
    if (host_.serviceExists(kNewsService))
        addNewsEntries(host_, address, std::span<const NewMailEntry>(entries_).subspan(firstFresh));
}

int64_t NewMailNotice::onEvent(uintptr_t event, uintptr_t, uintptr_t context) {
    const auto* record = reinterpret_cast<const NotifyEventRecord*>(event);
    NewMailNotice* notice = findLiveNotice(static_cast<uint64_t>(context));
    if (!record || !notice) return 0;
    switch (record->kind) {
        case kNotifyClicked:
            if (!notice->mailboxWww_.empty() && notice->opener_) notice->opener_(notice->mailboxWww_);
            break;
        case kNotifyEnded:
            notice->entries_.clear();
            break;
        default:
            break;
    }
    return 0;
}

}  // namespace postrix
