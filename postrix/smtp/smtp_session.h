// One account's SMTP client: an event-driven state machine that sends one
// OutgoingMail at a time over a connection of the host's network service.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "host/host.h"
#include "mail/channel.h"
#include "mail/smtp_framer.h"
#include "smtp/ehlo_capabilities.h"
#include "smtp/mime_composer.h"
#include "smtp/outgoing_mail.h"

namespace postrix::smtp {

// The numbers are shown to the user when a second send is refused.
enum class SmtpState : uint32_t {
    Idle = 0,
    AwaitGreeting = 1,
    AwaitEhlo = 2,
    AwaitUserPrompt = 3,
    AwaitPasswordPrompt = 4,
    AwaitAuthResult = 5,
    AwaitStartTls = 6,
    AwaitMailFrom = 7,
    AwaitRcptTo = 8,
    AwaitData = 9,
    AwaitAcceptance = 10,
};

struct SmtpSettings {
    std::string server;  // host, optionally ":port"; only for connecting
    std::string senderAddress;
    std::string login;
    std::string password;
    bool useSsl = true;  // STARTTLS; port kSmtpImplicitTlsPort has TLS either way
};

inline constexpr int32_t kSmtpDefaultPort = 587;
// The submission port whose servers speak TLS from the first byte; on every
// other port TLS comes through STARTTLS when the settings ask for it.
inline constexpr int32_t kSmtpImplicitTlsPort = 465;
inline constexpr uint32_t kReceiveTimeoutMs = 20000;

class SmtpSession final : private mail::ChannelEvents {
public:
    using SentHandler = std::function<void(SmtpSession&, const OutgoingMail&)>;
    using ErrorHandler = std::function<void(SmtpSession&, const std::string&)>;

    SmtpSession(Host host, SentHandler onSent, ErrorHandler onError, int32_t accountId);
    // Over any link, a fake in tests: its events enter through channel().
    SmtpSession(std::unique_ptr<mail::Link> link, SentHandler onSent, ErrorHandler onError, int32_t accountId);
    ~SmtpSession();
    SmtpSession(const SmtpSession&) = delete;
    SmtpSession& operator=(const SmtpSession&) = delete;

    // Begins one send; every outcome arrives through onSent or onError.
    void start(const SmtpSettings& settings, const OutgoingMail& mail);
    // Sends one text; false after the failure was reported and the send ended.
    bool send(std::string_view text);
    // Ends a send in progress with QUIT and closes the connection.
    void finish();
    // Aborts a send whose server has been silent for 20 seconds.
    void checkTimeout();

    SmtpState state() const { return state_; }
    const std::string& senderAddress() const { return senderAddress_; }
    int32_t accountId() const { return accountId_; }
    const OutgoingMail& mail() const { return mail_; }
    Host host() const { return host_; }
    mail::Channel& channel() { return channel_; }

private:
    bool awaitingReply() const override { return state_ != SmtpState::Idle; }
    void onConnected() override;
    void onReply(std::string_view reply) override;
    void onBadReply(mail::ReplyFramer::Result result) override;
    void onClosedByPeer() override;
    void onTlsResult(int32_t status, int32_t errorCode, const char16_t* errorText) override;
    void onConnectionError(uint32_t code) override;

    // Each takes the positive reply that moves the send on.
    void onGreeting(std::string_view reply);
    void onEhlo(std::string_view reply);
    void onStartTls(std::string_view reply);
    void onUserPrompt(std::string_view reply);
    void onPasswordPrompt(std::string_view reply);
    void onAuthResult(std::string_view reply);
    void onMailFrom(std::string_view reply);
    void onRcptTo(std::string_view reply);
    void onDataAccepted(std::string_view reply);
    void onMessageAccepted(std::string_view reply);

    // Sends a command and moves to the state that awaits its reply.
    void sendCommand(const std::string& command, SmtpState next);
    // AUTH PLAIN when the latest EHLO reply offers PLAIN but not LOGIN, else
    // AUTH LOGIN.
    void authenticate();
    // Whether a TLS result now answers the handshake the session began.
    bool awaitingHandshake() const;
    void sendNextRecipient();
    void composeAndSend();

    // The one place a send fails: after a reply, a send or a TLS refusal the
    // session quits politely; after a lost connection it only closes. Either
    // way the channel ignores the connection's events until the next start.
    enum class Ending { Quit, Close };
    void fail(Ending ending, const std::string& message);

    Host host_;
    std::string senderAddress_;
    std::string server_;
    std::string ehloDomain_;  // the EHLO argument, this computer's name
    std::string login_;
    std::string password_;
    bool useSsl_ = false;
    // The server's port is kSmtpImplicitTlsPort: the handshake follows the
    // connect, before the greeting, and STARTTLS is never sent.
    bool implicitTls_ = false;
    OutgoingMail mail_;
    // The date and file sizes the message is built from, fixed before MAIL
    // FROM so that the size announced there is the size sent.
    MessageFrame frame_;
    // What the latest EHLO reply offered; after STARTTLS, the second one.
    EhloCapabilities capabilities_;
    uint32_t nextRecipient_ = 0;
    int32_t accountId_;
    SmtpState state_ = SmtpState::Idle;
    bool tlsActive_ = false;
    SentHandler onSent_;
    ErrorHandler onError_;
    mail::SmtpFramer framer_;
    mail::Channel channel_;
};

}  // namespace postrix::smtp
