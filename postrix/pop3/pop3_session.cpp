#include "pop3/pop3_session.h"

#include <cstring>

#include "host/log.h"
#include "platform/desktop.h"
#include "pop3/credentials_check.h"
#include "pop3/display_text.h"
#include "pop3/header_decoding.h"
#include "text/format.h"
#include "text/nul_bytes.h"
#include "text/text_conversion.h"

namespace postrix::pop3 {

namespace {

constexpr size_t kMaxTlsMessageUnits = 1022;

}  // namespace

Pop3Session::Pop3Session(Host host, NewMailHandler onNewMail, ErrorHandler onError, int32_t accountId,
                         uint32_t maxReplyLength)
    : host_(host),
      accountId_(accountId),
      onNewMail_(std::move(onNewMail)),
      onError_(std::move(onError)),
      probe_(platform::probeReachability),
      framer_(maxReplyLength),
      channel_(host, text::utf8ToWide(formatText("MAIL/Socket/POP3/%d", accountId)), accountId, framer_, *this) {
    if (!channel_.created()) onError_(*this, "POP3 - Could not create socket");
}

Pop3Session::Pop3Session(std::unique_ptr<mail::Link> link, NewMailHandler onNewMail, ErrorHandler onError,
                         int32_t accountId, uint32_t maxReplyLength)
    : accountId_(accountId),
      onNewMail_(std::move(onNewMail)),
      onError_(std::move(onError)),
      probe_(platform::probeReachability),
      framer_(maxReplyLength),
      channel_(std::move(link), framer_, *this) {
    if (!channel_.created()) onError_(*this, "POP3 - Could not create socket");
}

Pop3Session::~Pop3Session() = default;

bool Pop3Session::start(const Pop3Settings& settings) {
    if (state_ != Pop3State::Idle) {
        logError(host_, kLogNotice,
                 formatText("%s: POP3 - One connection in progress (state=%d), cannot start new one",
                            settings.mail.c_str(), static_cast<int>(state_)));
        return false;
    }
    // An offline computer makes no check and reports nothing.
    if (!probe_ || !probe_()) return false;

    settings_ = settings;
    channel_.begin();
    tracker_.startCheck();
    useKnownIdsOfMailbox();
    if (auto problem = credentialsProblem(settings_.login, settings_.password)) {
        fail(*problem);
        return true;
    }

    const int64_t result = channel_.connect(settings_.server, settings_.useSsl ? kPop3TlsPort : kPop3Port);
    if (result != 0) {
        state_ = Pop3State::Idle;
        onError_(*this, formatText("POP3 - Could not connect to server, err=0x%X", static_cast<uint32_t>(result)));
        return true;
    }
    state_ = Pop3State::AwaitWelcome;
    return true;
}

void Pop3Session::keepKnownIds(std::u16string path) { knownIdsFile_.emplace(host_, std::move(path)); }

void Pop3Session::useKnownIdsOfMailbox() {
    std::string mailbox = KnownIdsFile::mailboxOf(settings_.server, settings_.login);
    if (mailbox == knownMailbox_) return;
    // The known ids of one mailbox would make all of another's mail new.
    tracker_.reset();
    if (knownIdsFile_) knownIdsFile_->load(tracker_, mailbox);
    knownMailbox_ = std::move(mailbox);
}

void Pop3Session::checkTimeout() {
    if (state_ == Pop3State::Idle || !channel_.silentFor(kPop3TimeoutMs)) return;
    drop(nullptr);
}

void Pop3Session::onConnected() {
    // With TLS the handshake comes first; the greeting arrives as data either way.
    if (state_ == Pop3State::Idle || !settings_.useSsl) return;
    if (channel_.initSsl() != 0) fail("POP3 - Starting SSL failed");
}

void Pop3Session::onClosedByPeer() {
    if (state_ == Pop3State::Idle) return;
    const std::string message = "POP3 - Connection closed by server";
    drop(&message);
}

void Pop3Session::onConnectionError(uint32_t code) {
    // A connection the session already closed has nothing left to report.
    if (state_ == Pop3State::Idle) return;
    const std::string message = (code & 0x80000000u)
                                    ? formatText("POP3 - Connection error: 0x%X", code)
                                    : formatText("POP3 - Connection error: %d", static_cast<int>(code));
    drop(&message);
}

void Pop3Session::onTlsResult(int32_t status, int32_t errorCode, const char16_t* errorText) {
    // A handshake of a connection the session no longer uses belongs to no
    // check: reporting it would give an ended check a second outcome.
    if (state_ == Pop3State::Idle) return;
    channel_.touch();
    if (status == 1) return;
    // The connection stays as it is; the timeout sweep ends it.
    channel_.abandon();
    onError_(*this, cutToUnits(errorText ? formatText("POP3 - SSL error (%d): %s", errorCode,
                                                           text::wideToUtf8(errorText).c_str())
                                              : formatText("POP3 - SSL error (%d)", errorCode),
                                kMaxTlsMessageUnits));
}

void Pop3Session::onReply(std::string_view reply) {
    switch (state_) {
        case Pop3State::AwaitWelcome:
            return onStatus(reply, "POP3 - Error on welcome:\r\n", &Pop3Session::onWelcome);
        case Pop3State::AwaitUser:
            return onStatus(reply, "POP3 - Error on USER:\r\n", &Pop3Session::onUserAccepted);
        case Pop3State::AwaitPass:
            return onStatus(reply, "POP3 - Error on PASS:\r\n", &Pop3Session::onPassAccepted);
        case Pop3State::AwaitUidl:
            return onStatus(reply, "POP3 - Error on UIDL:\r\n", &Pop3Session::onUidlAccepted);
        case Pop3State::ReadingUidl:
            return onListingLine(reply);
        case Pop3State::AwaitTop:
            return onStatus(reply, "POP3 - Error on TOP:\r\n", &Pop3Session::onTopAccepted);
        case Pop3State::ReadingTop:
            return onHeaderComplete(reply);
        case Pop3State::Idle:
            return;  // the channel hands over nothing while idle
    }
}

void Pop3Session::onBadReply(mail::ReplyFramer::Result result) {
    fail(result == mail::ReplyFramer::Result::Empty ? "POP3 - Received empty buffer" : "POP3 - Reply too long");
}

void Pop3Session::onStatus(std::string_view line, const char* errorPrefix, Step next) {
    // A refusal shows the server's status line in the warning notice: that
    // line alone, cleaned like header text, so that a hostile server cannot
    // add lines of its own or reverse text there.
    if (line.empty() || line.front() != '+')
        return fail(errorPrefix + displayText(text::upToNul(line)) + "\r\n");
    (this->*next)();
}

void Pop3Session::onWelcome() {
    sendCommand(formatText("USER %s\r\n", settings_.login.c_str()), Pop3State::AwaitUser);
}

void Pop3Session::onUserAccepted() {
    sendCommand(formatText("PASS %s\r\n", settings_.password.c_str()), Pop3State::AwaitPass);
}

void Pop3Session::onPassAccepted() {
    if (sendCommand("UIDL\r\n", Pop3State::AwaitUidl)) tracker_.prepareListing();
}

void Pop3Session::onUidlAccepted() {
    state_ = Pop3State::ReadingUidl;
    framer_.readLines();
}

void Pop3Session::onTopAccepted() {
    state_ = Pop3State::ReadingTop;
    framer_.readBody();
}

void Pop3Session::onListingLine(std::string_view line) {
    if (!framer_.bodyEnded()) return tracker_.readListingLine(line);
    tracker_.endListing();
    fetchNextHeader();
}

void Pop3Session::onHeaderComplete(std::string_view header) {
    ParsedHeaders parsed = parseHeaders(text::withoutNul(header));
    if (parsed.unreadableDate) logFailure(host_, dateFailureMessage(*parsed.unreadableDate));
    // The notice and the news entries show the same cleaned text.
    parsed.entry.from = displayText(parsed.entry.from);
    parsed.entry.subject = displayText(parsed.entry.subject);
    tracker_.addEntry(std::move(parsed.entry));
    fetchNextHeader();
}

void Pop3Session::fetchNextHeader() {
    const std::optional<int32_t> number = tracker_.takeNextMessage();
    if (!number) return finish();
    sendCommand(formatText("TOP %d 0\r\n", *number), Pop3State::AwaitTop);
}

bool Pop3Session::sendCommand(const std::string& command, Pop3State next) {
    if (!channel_.send(command)) {
        fail("POP3 - Send failed");
        return false;
    }
    state_ = next;
    return true;
}

void Pop3Session::finish() {
    if (state_ == Pop3State::Idle) return;
    tracker_.endCheck();
    // Mail of this check, or of one the timeout sweep dropped; a check that
    // brings none shows nothing again.
    if (!tracker_.entries().empty()) onNewMail_(*this, tracker_.takeEntries());
    // Every known id is now announced or was never new, so the file may
    // say so.
    if (knownIdsFile_ && knownMailbox_) knownIdsFile_->save(tracker_, *knownMailbox_);
    state_ = Pop3State::Idle;
    // The reply to QUIT is never read: with the state idle it only reaches
    // the traffic report.
    channel_.quit();
}

void Pop3Session::fail(const std::string& message) {
    channel_.abandon();
    finish();
    onError_(*this, message);
}

void Pop3Session::drop(const std::string* message) {
    channel_.abandon();
    channel_.close();
    // No file is written here: the entries fetched so far wait for the
    // next check's hand-over, and its start ends what the tracker holds of
    // this check.
    state_ = Pop3State::Idle;
    if (message) onError_(*this, *message);
}

}  // namespace postrix::pop3
