#include "smtp/smtp_session.h"

#include <algorithm>
#include <array>

#include "host/connection.h"
#include "platform/host_name.h"
#include "smtp/base64.h"
#include "smtp/address_check.h"
#include "smtp/ehlo_domain.h"
#include "smtp/mime_composer.h"
#include "text/format.h"
#include "text/text_conversion.h"

namespace postrix::smtp {

namespace {

// How a reply in each waiting state is judged, and what follows a pass.
struct ReplyRule {
    bool acceptsIntermediate;  // 3xx passes as well as 2xx
    const char* failurePrefix;
    void (SmtpSession::*onPass)(std::string_view reply);
};

}  // namespace

SmtpSession::SmtpSession(Host host, SentHandler onSent, ErrorHandler onError, int32_t accountId)
    : host_(host),
      accountId_(accountId),
      onSent_(std::move(onSent)),
      onError_(std::move(onError)),
      channel_(host, text::utf8ToWide(formatText("MAIL/Socket/SMTP/%d", accountId)), accountId, framer_, *this) {
    if (!channel_.created()) onError_(*this, "SMTP - Could not create socket");
}

SmtpSession::SmtpSession(std::unique_ptr<mail::Link> link, SentHandler onSent, ErrorHandler onError,
                         int32_t accountId)
    : accountId_(accountId),
      onSent_(std::move(onSent)),
      onError_(std::move(onError)),
      channel_(std::move(link), framer_, *this) {
    if (!channel_.created()) onError_(*this, "SMTP - Could not create socket");
}

SmtpSession::~SmtpSession() { finish(); }

void SmtpSession::start(const SmtpSettings& settings, const OutgoingMail& mail) {
    if (state_ != SmtpState::Idle) {
        onError_(*this, formatText("SMTP - One connection in progress (state=%d), cannot start new one",
                                   static_cast<int>(state_)));
        return;
    }
    senderAddress_ = settings.senderAddress;
    server_ = settings.server;
    // The server text, port and all, is no domain; servers print the EHLO
    // argument in the Received line and some check its form.
    ehloDomain_ = ehloDomain(platform::hostName());
    login_ = settings.login;
    password_ = settings.password;
    useSsl_ = settings.useSsl;
    implicitTls_ = splitHostPort(server_, kSmtpDefaultPort).port == kSmtpImplicitTlsPort;
    mail_ = mail;
    tlsActive_ = false;
    nextRecipient_ = 0;
    frame_ = {};
    capabilities_ = {};
    channel_.begin();

    // Addresses go into commands and headers: refuse what could break them
    // before anything reaches the server.
    if (mail_.recipients.empty()) return onError_(*this, "SMTP - No recipients");
    if (auto problem = addressProblem(senderAddress_)) return onError_(*this, *problem);
    for (const std::string& recipient : mail_.recipients)
        if (auto problem = addressProblem(recipient)) return onError_(*this, *problem);
    // A file that cannot be sent whole would otherwise stop the message in the
    // middle of the DATA phase.
    if (auto problem = attachmentsProblem(mail_)) return onError_(*this, *problem);

    const int64_t result = channel_.connect(server_, kSmtpDefaultPort);
    if (result != 0) {
        state_ = SmtpState::Idle;
        onError_(*this, formatText("SMTP - Could not connect to SMTP server, err=0x%X", static_cast<uint32_t>(result)));
        return;
    }
    state_ = SmtpState::AwaitGreeting;
}

bool SmtpSession::send(std::string_view text) {
    if (channel_.send(text)) return true;
    channel_.abandon();
    finish();
    onError_(*this, "SMTP - Send failed");
    return false;
}

void SmtpSession::finish() {
    if (state_ == SmtpState::Idle) return;
    state_ = SmtpState::Idle;
    channel_.quit();
    tlsActive_ = false;
}

void SmtpSession::checkTimeout() {
    if (state_ == SmtpState::Idle || !channel_.silentFor(kReceiveTimeoutMs)) return;
    fail(Ending::Close, "SMTP - Receive timeout");
}

void SmtpSession::fail(Ending ending, const std::string& message) {
    channel_.abandon();
    if (ending == Ending::Quit) {
        finish();
    } else {
        tlsActive_ = false;
        channel_.close();
        state_ = SmtpState::Idle;
    }
    onError_(*this, message);
}

void SmtpSession::onClosedByPeer() {
    if (state_ != SmtpState::Idle) fail(Ending::Close, "SMTP - Connection closed by server");
}

void SmtpSession::onConnectionError(uint32_t code) {
    // A connection that is no longer ours (the send ended) has nothing to report.
    if (state_ == SmtpState::Idle) return;
    fail(Ending::Close, (code & 0x80000000u) ? formatText("SMTP - Connection error: 0x%X", code)
                                              : formatText("SMTP - Connection error:%d", static_cast<int>(code)));
}

void SmtpSession::onConnected() {
    // With TLS from the first byte the handshake comes before anything else;
    // the greeting arrives as data after it. A refusal closes without QUIT,
    // which would reach the server as no TLS record.
    if (state_ != SmtpState::AwaitGreeting || !implicitTls_ || tlsActive_) return;
    if (channel_.initSsl() != 0) fail(Ending::Close, "SMTP - Starting TLS failed");
}

bool SmtpSession::awaitingHandshake() const {
    if (state_ == SmtpState::AwaitStartTls) return true;
    return state_ == SmtpState::AwaitGreeting && implicitTls_ && !tlsActive_;
}

void SmtpSession::onTlsResult(int32_t status, int32_t errorCode, const char16_t* errorText) {
    if (!awaitingHandshake()) return;
    channel_.touch();
    if (status == 1) {
        tlsActive_ = true;
        // After STARTTLS the client speaks first; with TLS from the first
        // byte the server's greeting comes next.
        if (state_ == SmtpState::AwaitStartTls) {
            sendCommand("EHLO " + ehloDomain_ + "\r\n", SmtpState::AwaitEhlo);
        }
        return;
    }
    fail(Ending::Close, errorText ? formatText("SMTP - SSL error (%d): %s", errorCode, text::wideToUtf8(errorText).c_str())
                                  : formatText("SMTP - SSL error (%d)", errorCode));
}

void SmtpSession::onBadReply(mail::ReplyFramer::Result result) {
    fail(Ending::Quit, result == mail::ReplyFramer::Result::Empty ? "SMTP - Received empty buffer"
                                                                   : "SMTP - Reply too long");
}

void SmtpSession::onReply(std::string_view reply) {
    static const std::array<ReplyRule, 11> rules = {{
        {false, nullptr, nullptr},
        {false, "SMTP - On welcome server returned code different than 2xx:\r\n", &SmtpSession::onGreeting},
        {false, "SMTP - On EHLO server returned code different than 2xx:\r\n", &SmtpSession::onEhlo},
        {true, "SMTP - After usename sent server returned code different than 2xx or 3xx:\r\n",
         &SmtpSession::onUserPrompt},
        {true, "SMTP - After password sent server returned code different than 2xx or 3xx:\r\n",
         &SmtpSession::onPasswordPrompt},
        {false, "SMTP - Authorization error:\r\n", &SmtpSession::onAuthResult},
        {false, "SMTP - On STARTTLS server returned code different than 2xx:\r\n", &SmtpSession::onStartTls},
        {false, "SMTP - On MAIL FROM server returned code different than 2xx:\r\n", &SmtpSession::onMailFrom},
        {false, "SMTP - On RCPT TO server returned code different than 2xx:\r\n", &SmtpSession::onRcptTo},
        {true, "SMTP - On DATA server returned code different than 2xx or 3xx:\r\n", &SmtpSession::onDataAccepted},
        {false, "SMTP - After sending mail content server returned code different than 2xx:\r\n",
         &SmtpSession::onMessageAccepted},
    }};
    const ReplyRule& rule = rules.at(static_cast<size_t>(state_));
    const char first = reply.empty() ? '\0' : reply.front();
    if (first == '2' || (rule.acceptsIntermediate && first == '3')) {
        (this->*rule.onPass)(reply);
    } else {
        fail(Ending::Quit, rule.failurePrefix + std::string(reply));
    }
}

void SmtpSession::sendCommand(const std::string& command, SmtpState next) {
    if (send(command)) state_ = next;
}

void SmtpSession::onGreeting(std::string_view) {
    sendCommand("EHLO " + ehloDomain_ + "\r\n", SmtpState::AwaitEhlo);
}

void SmtpSession::onEhlo(std::string_view reply) {
    capabilities_ = parseEhloReply(reply);
    if (useSsl_ && !tlsActive_ && !implicitTls_) {
        sendCommand("STARTTLS\r\n", SmtpState::AwaitStartTls);
    } else {
        authenticate();
    }
}

void SmtpSession::authenticate() {
    const std::vector<std::string>& offered = capabilities_.authMechanisms;
    const auto offers = [&offered](std::string_view name) {
        return std::find(offered.begin(), offered.end(), name) != offered.end();
    };
    if (!offers("PLAIN") || offers("LOGIN")) {
        sendCommand("AUTH LOGIN\r\n", SmtpState::AwaitUserPrompt);
        return;
    }
    // The initial response in the command itself: authorization identity
    // (empty: the same as the login), login and password, each after a NUL.
    // The line goes through send() like AUTH LOGIN's Base64 lines, so the
    // traffic report carries no more than those do.
    std::string response;
    response.reserve(login_.size() + password_.size() + 2);
    response += '\0';
    response += login_;
    response += '\0';
    response += password_;
    sendCommand("AUTH PLAIN " + base64Encode(response) + "\r\n", SmtpState::AwaitAuthResult);
}

void SmtpSession::onStartTls(std::string_view) {
    if (channel_.initSsl() != 0) fail(Ending::Quit, "SMTP - Starting TLS failed");
}

void SmtpSession::onUserPrompt(std::string_view) {
    sendCommand(base64Encode(login_) + "\r\n", SmtpState::AwaitPasswordPrompt);
}

void SmtpSession::onPasswordPrompt(std::string_view) {
    sendCommand(base64Encode(password_) + "\r\n", SmtpState::AwaitAuthResult);
}

void SmtpSession::onAuthResult(std::string_view) {
    // The message after DATA is built from this date and these file sizes,
    // so it has the size announced below.
    if (auto problem = takeMessageFrame(mail_, frame_)) return fail(Ending::Quit, *problem);
    std::string command = formatText("MAIL FROM: <%s>", senderAddress_.c_str());
    if (capabilities_.size) {
        // Refused here, a message too large for the server costs no upload;
        // announced, it lets the server refuse it at MAIL FROM with its own
        // limit.
        const auto size = static_cast<unsigned long long>(messageSize(senderAddress_, mail_, frame_));
        const auto limit = static_cast<unsigned long long>(*capabilities_.size);
        if (limit != 0 && size > limit) {
            return fail(Ending::Quit,
                        formatText("SMTP - Message too large: %llu bytes, the server accepts %llu",
                                   size, limit));
        }
        command += formatText(" SIZE=%llu", size);
    }
    sendCommand(command + "\r\n", SmtpState::AwaitMailFrom);
}

void SmtpSession::sendNextRecipient() {
    const std::string& recipient = mail_.recipients.at(nextRecipient_++);
    sendCommand(formatText("RCPT TO: <%s>\r\n", recipient.c_str()), SmtpState::AwaitRcptTo);
}

void SmtpSession::onMailFrom(std::string_view) { sendNextRecipient(); }

void SmtpSession::onRcptTo(std::string_view) {
    if (nextRecipient_ < mail_.recipients.size()) {
        sendNextRecipient();
    } else {
        sendCommand("DATA\r\n", SmtpState::AwaitData);
    }
}

void SmtpSession::onDataAccepted(std::string_view) { composeAndSend(); }

void SmtpSession::composeAndSend() {
    // The composer's pieces go through send() unchanged, never formatted.
    struct SessionSink final : MessageSink {
        explicit SessionSink(SmtpSession& session) : session(session) {}
        bool send(std::string_view piece) override { return session.send(piece); }
        SmtpSession& session;
    } sink(*this);
    const ComposeResult result = composeMessage(senderAddress_, mail_, frame_, sink);
    switch (result.outcome) {
        case ComposeResult::Outcome::sent:
            state_ = SmtpState::AwaitAcceptance;
            break;
        case ComposeResult::Outcome::sendFailed:
            break;  // send() reported it and ended the session
        case ComposeResult::Outcome::error:
            fail(Ending::Quit, result.errorText);
            break;
    }
}

void SmtpSession::onMessageAccepted(std::string_view) {
    onSent_(*this, mail_);
    finish();
}

}  // namespace postrix::smtp
