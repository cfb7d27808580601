#include "imap/imap_session.h"

#include <algorithm>
#include <utility>

#include "host/log.h"
#include "imap/imap_string.h"
#include "platform/clock.h"
#include "platform/desktop.h"
#include "pop3/display_text.h"
#include "pop3/header_decoding.h"
#include "smtp/base64.h"
#include "text/ascii.h"
#include "text/format.h"
#include "text/nul_bytes.h"
#include "text/text_conversion.h"

namespace postrix::imap {

namespace {

constexpr size_t kMaxTlsMessageUnits = 1022;
// Rounds of fetching one check makes while the folder keeps growing; what
// comes later is fetched by the next IDLE wake-up or check.
constexpr int kMaxFetchRounds = 10;

uint32_t now() { return platform::clock().tickMs(); }

// Whether a response code begins with the atom name, in any letter case.
bool codeIs(std::string_view code, std::string_view name) {
    if (code.size() > name.size() && code[name.size()] != ' ') return false;
    return text::equalsIgnoringCase(code.substr(0, name.size()), name);
}

// A status response as one line for a message: name, code and text, cleaned
// like header text so that a hostile server adds no lines of its own.
std::string statusLine(const ImapResponse& response) {
    std::string line = response.name;
    if (!response.code.empty()) line += " [" + response.code + "]";
    if (!response.text.empty()) line += " " + std::string(response.text);
    return pop3::displayText(text::upToNul(line));
}

std::string refusal(std::string_view command, const ImapResponse& response) {
    return "IMAP - Error on " + std::string(command) + ":\r\n" + statusLine(response) + "\r\n";
}

// Why a setting cannot go into a command: an IMAP string carries no NUL.
std::optional<std::string> settingsProblem(const ImapSettings& settings) {
    if (settings.login.find('\0') != std::string::npos) return "IMAP - Invalid login: it holds a NUL character";
    if (settings.password.find('\0') != std::string::npos)
        return "IMAP - Invalid password: it holds a NUL character";
    if (settings.folder.find('\0') != std::string::npos) return "IMAP - Invalid folder: it holds a NUL character";
    return std::nullopt;
}

}  // namespace

ImapSession::ImapSession(Host host, NewMailHandler onNewMail, ErrorHandler onError, int32_t accountId)
    : host_(host),
      accountId_(accountId),
      onNewMail_(std::move(onNewMail)),
      onError_(std::move(onError)),
      probe_(platform::probeReachability),
      channel_(host, text::utf8ToWide(formatText("MAIL/Socket/IMAP/%d", accountId)), accountId, framer_, *this) {
    if (!channel_.created()) onError_(*this, "IMAP - Could not create socket");
}

ImapSession::ImapSession(std::unique_ptr<mail::Link> link, NewMailHandler onNewMail, ErrorHandler onError,
                         int32_t accountId)
    : accountId_(accountId),
      onNewMail_(std::move(onNewMail)),
      onError_(std::move(onError)),
      probe_(platform::probeReachability),
      channel_(std::move(link), framer_, *this) {
    if (!channel_.created()) onError_(*this, "IMAP - Could not create socket");
}

ImapSession::~ImapSession() { stop(); }

void ImapSession::keepState(std::u16string path) { stateFile_.emplace(host_, std::move(path)); }

bool ImapSession::start(const ImapSettings& settings, Reason reason) {
    const bool sameSettings = settings == settings_;
    if (state_ == ImapState::WaitingToReconnect) {
        // The pause decides when the timer's check comes; a request or new
        // settings try at once.
        if (reason == Reason::Timer && sameSettings) return false;
        state_ = ImapState::Idle;
    }
    if (state_ != ImapState::Idle) {
        if (!sameSettings) {
            stop();
        } else if (state_ == ImapState::Idling) {
            if (reason == Reason::Timer) return false;
            endIdle(AfterIdle::Fetch);
            return true;
        } else {
            if (!pushing_)
                logError(host_, kLogNotice,
                         formatText("%s: IMAP - One connection in progress (state=%d), cannot start new one",
                                    settings.mail.c_str(), static_cast<int>(state_)));
            return false;
        }
    }
    // An offline computer makes no check and reports nothing.
    if (!probe_ || !probe_()) return false;

    settings_ = settings;
    pushing_ = false;
    reconnectDelayMs_ = kFirstReconnectDelayMs;
    connect();
    return true;
}

void ImapSession::connect() {
    channel_.begin();
    conn_ = {};

    const std::string key = ImapStateFile::folderKeyOf(settings_.server, settings_.login, settings_.folder);
    if (key != folderKey_) {
        // The state of one folder would make another's mail new or hide it.
        folder_.reset();
        if (stateFile_) folder_ = stateFile_->load(key);
        folderKey_ = key;
    }

    if (auto problem = settingsProblem(settings_)) return fail(*problem, Failure::Refused);
    const int64_t result = channel_.connect(settings_.server, settings_.useSsl ? kImapTlsPort : kImapPort);
    if (result != 0)
        return fail(formatText("IMAP - Could not connect to server, err=0x%X", static_cast<uint32_t>(result)),
                    Failure::ConnectionLost);
    state_ = ImapState::AwaitGreeting;
}

void ImapSession::tick() {
    switch (state_) {
        case ImapState::Idle:
            return;
        case ImapState::WaitingToReconnect:
            if (static_cast<int32_t>(now() - reconnectAt_) < 0) return;
            state_ = ImapState::Idle;
            if (!probe_ || !probe_()) return scheduleReconnect("the internet seems out of reach");
            return connect();
        case ImapState::Idling:
            if (now() - conn_.idleSince >= kIdleRenewalMs) endIdle(AfterIdle::Renew);
            return;
        default:
            if (!channel_.silentFor(kImapTimeoutMs)) return;
            // As with POP3, a silent server's check ends without a notice;
            // while pushing the connection comes back after a pause.
            if (pushing_) return scheduleReconnect("no reply for 20 s");
            closeConnection(false);
            state_ = ImapState::Idle;
    }
}

void ImapSession::stop() {
    if (state_ != ImapState::Idle && state_ != ImapState::WaitingToReconnect) closeConnection(true);
    state_ = ImapState::Idle;
    pushing_ = false;
}

bool ImapSession::awaitingReply() const {
    return state_ != ImapState::Idle && state_ != ImapState::WaitingToReconnect;
}

void ImapSession::onConnected() {
    // With TLS the handshake comes first; the greeting arrives as data either way.
    if (!awaitingReply() || !settings_.useSsl) return;
    if (channel_.initSsl() != 0) fail("IMAP - Starting SSL failed", Failure::ConnectionLost);
}

void ImapSession::onClosedByPeer() {
    if (awaitingReply()) fail("IMAP - Connection closed by server", Failure::ConnectionLost);
}

void ImapSession::onConnectionError(uint32_t code) {
    if (!awaitingReply()) return;
    fail((code & 0x80000000u) ? formatText("IMAP - Connection error: 0x%X", code)
                              : formatText("IMAP - Connection error: %d", static_cast<int>(code)),
         Failure::ConnectionLost);
}

void ImapSession::onTlsResult(int32_t status, int32_t errorCode, const char16_t* errorText) {
    if (!awaitingReply()) return;
    channel_.touch();
    if (status == 1) return;
    fail(pop3::cutToUnits(errorText ? formatText("IMAP - SSL error (%d): %s", errorCode,
                                                 text::wideToUtf8(errorText).c_str())
                                    : formatText("IMAP - SSL error (%d)", errorCode),
                          kMaxTlsMessageUnits),
         Failure::Refused);
}

void ImapSession::onBadReply(mail::ReplyFramer::Result result) {
    fail(result == mail::ReplyFramer::Result::Empty ? "IMAP - Received empty buffer" : "IMAP - Reply too long",
         Failure::Refused);
}

void ImapSession::onReply(std::string_view reply) {
    const std::optional<ImapResponse> response = parseResponse(reply);
    if (!response) {
        const std::string_view line = reply.substr(0, reply.find("\r\n"));
        return fail("IMAP - Unreadable reply:\r\n" + pop3::displayText(text::withoutNul(line)) + "\r\n",
                    Failure::Refused);
    }
    if (state_ == ImapState::AwaitGreeting) return onGreeting(*response);
    switch (response->kind) {
        case ImapResponse::Kind::Untagged:
            return onUntagged(*response);
        case ImapResponse::Kind::Continuation:
            return onContinuation();
        case ImapResponse::Kind::Tagged:
            return onTagged(*response);
    }
}

void ImapSession::onGreeting(const ImapResponse& response) {
    const bool ok = response.kind == ImapResponse::Kind::Untagged &&
                    (response.name == "OK" || response.name == "PREAUTH");
    if (!ok)
        return fail(refusal("welcome", response), response.name == "BYE" ? Failure::ConnectionLost : Failure::Refused);
    conn_.preauthenticated = response.name == "PREAUTH";
    readCode(response);
    // A greeting that names the capabilities saves asking for them.
    if (conn_.capabilities.empty()) return sendCapability();
    conn_.preauthenticated ? sendExamine() : sendLogin();
}

void ImapSession::readCode(const ImapResponse& response) {
    if (codeIs(response.code, "CAPABILITY")) conn_.capabilities = parseCapabilities(response.code);
    if (auto validity = codeNumber(response.code, "UIDVALIDITY")) conn_.uidValidity = validity;
    if (auto next = codeNumber(response.code, "UIDNEXT")) conn_.uidNext = next;
}

void ImapSession::onUntagged(const ImapResponse& response) {
    if (++conn_.untagged > kMaxUntaggedPerCommand)
        return fail("IMAP - Too many responses from the server", Failure::Refused);
    if (response.name == "BYE")
        return fail("IMAP - Server closed the connection:\r\n" + statusLine(response) + "\r\n",
                    Failure::ConnectionLost);
    if (response.name == "CAPABILITY") {
        conn_.capabilities = parseCapabilities(response.text);
    } else if (response.isStatus()) {
        readCode(response);
    } else if (response.number && response.name == "EXISTS") {
        conn_.exists = *response.number;
        if (state_ == ImapState::Idling) return endIdle(AfterIdle::Fetch);
        if (state_ != ImapState::AwaitExamine) conn_.existsChanged = true;
    } else if (response.number && response.name == "EXPUNGE") {
        if (conn_.exists > 0) --conn_.exists;
    } else if (response.number && response.name == "FETCH" && state_ == ImapState::AwaitFetch) {
        onFetchData(response);
    }
}

void ImapSession::onContinuation() {
    if (state_ == ImapState::AwaitIdleStart) return onIdleStarted();
    if (state_ == ImapState::AwaitLogin && !conn_.pieces.empty()) {
        const std::string piece = std::move(conn_.pieces.front());
        conn_.pieces.pop_front();
        if (!channel_.send(piece)) fail("IMAP - Send failed", Failure::ConnectionLost);
        return;
    }
    fail("IMAP - Unexpected continuation from the server", Failure::Refused);
}

void ImapSession::onTagged(const ImapResponse& response) {
    if (conn_.tag.empty() || response.tag != conn_.tag)
        return fail("IMAP - Unexpected tagged reply:\r\n" + statusLine(response) + "\r\n", Failure::Refused);
    conn_.untagged = 0;
    conn_.pieces.clear();
    readCode(response);
    switch (state_) {
        case ImapState::AwaitCapability:
            if (response.name != "OK") return fail(refusal("CAPABILITY", response), Failure::Refused);
            return conn_.preauthenticated ? sendExamine() : sendLogin();
        case ImapState::AwaitLogin:
            if (response.name != "OK") return fail(refusal(conn_.loginCommand, response), Failure::Refused);
            return sendExamine();
        case ImapState::AwaitExamine:
            if (response.name != "OK") return fail(refusal("EXAMINE", response), Failure::Refused);
            return onExamined();
        case ImapState::AwaitFetch:
            if (response.name != "OK") return fail(refusal("FETCH", response), Failure::Refused);
            return onFetched();
        case ImapState::AwaitIdleStart:
            // A server that refuses IDLE is checked on the timer.
            logError(host_, kLogNotice,
                     formatText("%s: IMAP - IDLE refused, checking on the timer: %s", settings_.mail.c_str(),
                                statusLine(response).c_str()));
            return logout();
        case ImapState::Idling:
            // The server ended the IDLE itself: idle again.
            conn_.afterIdle = AfterIdle::Renew;
            [[fallthrough]];
        case ImapState::AwaitIdleEnd:
            if (response.name != "OK") return fail(refusal("IDLE", response), Failure::Refused);
            return onIdleEnded();
        default:
            return;
    }
}

void ImapSession::sendCapability() { sendPieces({nextTag() + " CAPABILITY\r\n"}, ImapState::AwaitCapability); }

void ImapSession::sendLogin() {
    if (offers("AUTH=PLAIN")) {
        conn_.loginCommand = "AUTHENTICATE";
        const std::string response =
            smtp::base64Encode(std::string(1, '\0') + settings_.login + '\0' + settings_.password);
        const std::string tag = nextTag();
        // With SASL-IR the credentials go with the command, saving a round trip.
        if (offers("SASL-IR"))
            return (void)sendPieces({tag + " AUTHENTICATE PLAIN " + response + "\r\n"}, ImapState::AwaitLogin);
        sendPieces({tag + " AUTHENTICATE PLAIN\r\n", response + "\r\n"}, ImapState::AwaitLogin);
        return;
    }
    if (offers("LOGINDISABLED"))
        return fail("IMAP - The server allows no login on this connection (LOGINDISABLED); turn on SSL/TLS",
                    Failure::Refused);
    conn_.loginCommand = "LOGIN";
    sendPieces(buildCommand(nextTag(), "LOGIN", {settings_.login, settings_.password}).pieces, ImapState::AwaitLogin);
}

void ImapSession::sendExamine() {
    conn_.uidValidity.reset();
    conn_.uidNext.reset();
    conn_.exists = 0;
    sendPieces(buildCommand(nextTag(), "EXAMINE", {encodeMailboxName(settings_.folder)}).pieces,
               ImapState::AwaitExamine);
}

void ImapSession::onExamined() {
    const uint32_t validity = conn_.uidValidity.value_or(0);
    const std::optional<uint32_t> uidNext = std::exchange(conn_.uidNext, std::nullopt);
    if (folder_ && folder_->uidValidity == validity) return fetchOrFinish(uidNext);
    // A folder seen for the first time, or renumbered (another UIDVALIDITY):
    // its messages are only remembered.
    if (uidNext && *uidNext > 0) {
        rememberFolder({validity, *uidNext - 1});
        return finishCheck();
    }
    if (conn_.exists == 0) {
        rememberFolder({validity, 0});
        return finishCheck();
    }
    conn_.learningLastUid = true;
    conn_.learnedUid = 0;
    sendPieces({nextTag() + " UID FETCH * (UID)\r\n"}, ImapState::AwaitFetch);
}

void ImapSession::fetchOrFinish(std::optional<uint32_t> uidNext) {
    conn_.existsChanged = false;
    const uint32_t highest = folder_->highestUid;
    const bool maybeNew = conn_.exists > 0 && highest < UINT32_MAX && (!uidNext || *uidNext > highest + 1);
    if (!maybeNew || conn_.fetchRounds >= kMaxFetchRounds) return finishCheck();
    ++conn_.fetchRounds;
    sendPieces({formatText("%s UID FETCH %u:* (UID BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE)])\r\n",
                           nextTag().c_str(), highest + 1)},
               ImapState::AwaitFetch);
}

void ImapSession::onFetchData(const ImapResponse& response) {
    const std::optional<FetchData> data = parseFetch(response.text);
    // Flag changes and other unasked-for data carry no UID or no header.
    if (!data || !data->uid) return;
    if (conn_.learningLastUid) {
        conn_.learnedUid = std::max(conn_.learnedUid, *data->uid);
        return;
    }
    // "n:*" names the last message even when its UID is below n.
    if (!data->header || !folder_ || *data->uid <= folder_->highestUid) return;
    pop3::ParsedHeaders parsed = pop3::parseHeaders(text::withoutNul(*data->header));
    if (parsed.unreadableDate) logFailure(host_, pop3::dateFailureMessage(*parsed.unreadableDate));
    parsed.entry.from = pop3::displayText(parsed.entry.from);
    parsed.entry.subject = pop3::displayText(parsed.entry.subject);
    conn_.fetched.emplace_back(*data->uid, std::move(parsed.entry));
    // However many a server sends, a check keeps the newest it announces.
    if (conn_.fetched.size() >= 2 * kMaxAnnouncedPerCheck) keepNewest();
}

void ImapSession::keepNewest() {
    // Newest first; a UID the server sent twice is announced once.
    std::sort(conn_.fetched.begin(), conn_.fetched.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    conn_.fetched.erase(std::unique(conn_.fetched.begin(), conn_.fetched.end(),
                                    [](const auto& a, const auto& b) { return a.first == b.first; }),
                        conn_.fetched.end());
    if (conn_.fetched.size() > kMaxAnnouncedPerCheck) conn_.fetched.resize(kMaxAnnouncedPerCheck);
}

void ImapSession::onFetched() {
    if (conn_.learningLastUid) {
        conn_.learningLastUid = false;
        rememberFolder({conn_.uidValidity.value_or(0), conn_.learnedUid});
        return finishCheck();
    }
    handOver();
    if (conn_.existsChanged) return fetchOrFinish();
    finishCheck();
}

void ImapSession::handOver() {
    keepNewest();
    std::vector<pop3::NewMailEntry> entries;
    entries.reserve(conn_.fetched.size());
    FolderState state = *folder_;
    for (auto& [uid, entry] : conn_.fetched) {
        state.highestUid = std::max(state.highestUid, uid);
        entries.push_back(std::move(entry));
    }
    conn_.fetched.clear();
    rememberFolder(state);
    if (!entries.empty()) onNewMail_(*this, std::move(entries));
}

void ImapSession::rememberFolder(const FolderState& state) {
    const bool changed = !folder_ || !(*folder_ == state);
    folder_ = state;
    if (changed && stateFile_ && folderKey_) stateFile_->save(*folderKey_, state);
}

void ImapSession::finishCheck() {
    if (offers("IDLE")) return sendIdle();
    logout();
}

void ImapSession::sendIdle() { sendPieces({nextTag() + " IDLE\r\n"}, ImapState::AwaitIdleStart); }

void ImapSession::onIdleStarted() {
    state_ = ImapState::Idling;
    conn_.idleSince = now();
    pushing_ = true;
    reconnectDelayMs_ = kFirstReconnectDelayMs;
    // Mail that came while IDLE was being asked for is fetched at once.
    if (conn_.existsChanged) endIdle(AfterIdle::Fetch);
}

void ImapSession::endIdle(AfterIdle next) {
    conn_.afterIdle = next;
    if (!channel_.send("DONE\r\n")) return fail("IMAP - Send failed", Failure::ConnectionLost);
    state_ = ImapState::AwaitIdleEnd;
}

void ImapSession::onIdleEnded() {
    conn_.fetchRounds = 0;
    if (conn_.afterIdle == AfterIdle::Fetch || conn_.existsChanged) return fetchOrFinish();
    sendIdle();
}

void ImapSession::logout() {
    closeConnection(true);
    state_ = ImapState::Idle;
    pushing_ = false;
}

bool ImapSession::sendPieces(std::vector<std::string> pieces, ImapState next) {
    conn_.pieces.assign(std::make_move_iterator(pieces.begin() + 1), std::make_move_iterator(pieces.end()));
    conn_.untagged = 0;
    if (!channel_.send(pieces.front())) {
        fail("IMAP - Send failed", Failure::ConnectionLost);
        return false;
    }
    state_ = next;
    return true;
}

std::string ImapSession::nextTag() {
    conn_.tag = formatText("a%u", ++conn_.tagNumber);
    return conn_.tag;
}

bool ImapSession::offers(std::string_view capability) const {
    return std::find(conn_.capabilities.begin(), conn_.capabilities.end(), capability) !=
           conn_.capabilities.end();
}

void ImapSession::fail(const std::string& message, Failure failure) {
    if (failure == Failure::ConnectionLost && pushing_) return scheduleReconnect(message);
    // A refusal leaves politely; a lost connection has nobody to tell.
    if (awaitingReply()) closeConnection(failure == Failure::Refused);
    state_ = ImapState::Idle;
    pushing_ = false;
    onError_(*this, message);
}

void ImapSession::closeConnection(bool politely) {
    channel_.abandon();
    // Before the greeting (and its TLS) nothing may be said.
    if (politely && state_ != ImapState::AwaitGreeting) {
        if (state_ == ImapState::Idling || state_ == ImapState::AwaitIdleStart) channel_.send("DONE\r\n");
        channel_.send(nextTag() + " LOGOUT\r\n");
    }
    channel_.close();
}

void ImapSession::scheduleReconnect(const std::string& why) {
    if (awaitingReply()) closeConnection(false);
    state_ = ImapState::WaitingToReconnect;
    reconnectAt_ = now() + reconnectDelayMs_;
    logError(host_, kLogNotice,
             formatText("%s: %s; reconnecting in %u s", settings_.mail.c_str(),
                        pop3::displayText(why).c_str(), reconnectDelayMs_ / 1000));
    reconnectDelayMs_ = std::min(reconnectDelayMs_ * 2, kMaxReconnectDelayMs);
}

}  // namespace postrix::imap
