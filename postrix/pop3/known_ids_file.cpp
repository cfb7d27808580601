#include "pop3/known_ids_file.h"

#include "host/kept_file.h"
#include "host/log.h"
#include "platform/files.h"
#include "pop3/known_ids_format.h"
#include "text/text_conversion.h"

namespace postrix::pop3 {

namespace {

// Each field with its length in front, so no two lists of fields give the
// same text.
void appendField(std::string& text, std::string_view field) {
    text += std::to_string(field.size());
    text += ':';
    text += field;
}

constexpr std::string_view kFirstCheck = ": this check only remembers the mailbox";

}  // namespace

KnownIdsFile::KnownIdsFile(Host host, std::u16string path) : host_(host), path_(std::move(path)) {
    const size_t separator = path_.find_last_of(u"/\\");
    name_ = text::wideToUtf8(separator == std::u16string::npos ? path_ : path_.substr(separator + 1));
}

std::string KnownIdsFile::mailboxOf(std::string_view server, std::string_view login) {
    std::string mailbox;
    appendField(mailbox, server);
    appendField(mailbox, login);
    return mailbox;
}

std::string KnownIdsFile::owner(std::string_view mailbox) const {
    std::string text;
    appendField(text, name_);
    text += mailbox;
    return text;
}

void KnownIdsFile::load(NewMailTracker& tracker, std::string_view mailbox) {
    std::string bytes;
    std::optional<KeptFileProblem> problem = readKeptFile(path_, kMaxKnownIdsFileBytes, bytes);
    if (!problem) {
        const auto refused = tracker.restore(bytes, owner(mailbox));
        if (!refused) return;
        problem = KeptFileProblem{" is not used, " + *refused, kLogFailure};
    }
    logError(host_, problem->level, "Known mail ids: " + name_ + problem->why + std::string(kFirstCheck));
}

void KnownIdsFile::save(NewMailTracker& tracker, std::string_view mailbox) {
    if (!tracker.unsaved()) return;
    const std::string fileOwner = owner(mailbox);
    if (platform::replaceFileWith(path_, [&](const platform::AppendBytes& append) {
            return tracker.writeFile(fileOwner, append);
        })) {
        tracker.markSaved();
        saveFailed_ = false;
        return;
    }
    if (!saveFailed_)
        logFailure(host_, "Known mail ids: writing " + name_ +
                              " failed; the next check tries again");
    saveFailed_ = true;
}

}  // namespace postrix::pop3
