// One account's POP3 client: an event-driven state machine that logs in,
// lists the mailbox with UIDL, fetches the header block of every new message
// with TOP and leaves with QUIT, over a connection of the host's network
// service.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"
#include "mail/channel.h"
#include "mail/pop3_framer.h"
#include "pop3/known_ids_file.h"
#include "pop3/new_mail_tracker.h"

namespace postrix::pop3 {

// The numbers appear in a log line, so they are fixed.
enum class Pop3State : int32_t {
    Idle = 0,
    AwaitWelcome = 1,
    AwaitUser = 2,
    AwaitPass = 3,
    AwaitUidl = 4,
    ReadingUidl = 5,
    AwaitTop = 6,
    ReadingTop = 7,
};

struct Pop3Settings {
    std::string server;  // host, optionally ":port"
    std::string mail;    // the account's address, for messages and notice titles
    std::string login;
    std::string password;
    bool useSsl = true;  // TLS from the first byte
};

inline constexpr int32_t kPop3Port = 110;
inline constexpr int32_t kPop3TlsPort = 995;
inline constexpr uint32_t kPop3TimeoutMs = 20000;

class Pop3Session final : private mail::ChannelEvents {
public:
    // The new mail of a check, handed over once when the check ends.
    using NewMailHandler = std::function<void(Pop3Session&, std::vector<NewMailEntry> entries)>;
    using ErrorHandler = std::function<void(Pop3Session&, const std::string&)>;
    using Probe = std::function<bool()>;

    Pop3Session(Host host, NewMailHandler onNewMail, ErrorHandler onError, int32_t accountId,
                uint32_t maxReplyLength = mail::ReplyBuffer::kDefaultMaxLength);
    // Over any link, a fake in tests: its events enter through channel().
    Pop3Session(std::unique_ptr<mail::Link> link, NewMailHandler onNewMail, ErrorHandler onError,
                int32_t accountId, uint32_t maxReplyLength = mail::ReplyBuffer::kDefaultMaxLength);
    ~Pop3Session();
    Pop3Session(const Pop3Session&) = delete;
    Pop3Session& operator=(const Pop3Session&) = delete;

    // Begins one check, unless one is in progress or the internet seems out
    // of reach. Failures arrive through the error handler, among them a
    // login or password that would break its command line (refused before
    // connecting). True when the check began with these settings.
    bool start(const Pop3Settings& settings);
    // Ends a check whose server has been silent for 20 seconds: closed
    // without QUIT and without any message.
    void checkTimeout();

    // Keeps the known ids in the file at path across restarts: read at the
    // first check (and whenever server or login changed), written at the
    // end of a check that handed its mail over and changed them. Without
    // it they live in memory only.
    void keepKnownIds(std::u16string path);

    // Replaces the reachability probe (tests; the default is the
    // platform's).
    void setProbe(Probe probe) { probe_ = std::move(probe); }

    Pop3State state() const { return state_; }
    bool aborted() const { return channel_.abandoned(); }
    int32_t accountId() const { return accountId_; }
    Host host() const { return host_; }
    const Pop3Settings& settings() const { return settings_; }
    NewMailTracker& tracker() { return tracker_; }
    mail::Channel& channel() { return channel_; }

private:
    using Step = void (Pop3Session::*)();

    bool awaitingReply() const override { return state_ != Pop3State::Idle; }
    void onConnected() override;
    void onReply(std::string_view reply) override;
    void onBadReply(mail::ReplyFramer::Result result) override;
    void onClosedByPeer() override;
    void onTlsResult(int32_t status, int32_t errorCode, const char16_t* errorText) override;
    void onConnectionError(uint32_t code) override;

    // A reply's status line: a positive one leads to next.
    void onStatus(std::string_view line, const char* errorPrefix, Step next);
    void onWelcome();
    void onUserAccepted();
    void onPassAccepted();
    void onUidlAccepted();
    void onTopAccepted();
    void onListingLine(std::string_view line);
    void onHeaderComplete(std::string_view header);

    // The known ids are those of the mailbox of settings_: when it is
    // another than before, they start over from the file.
    void useKnownIdsOfMailbox();
    bool sendCommand(const std::string& command, Pop3State next);
    void fetchNextHeader();
    // Ends the check: hands over the mail not yet handed over, QUIT and
    // close.
    void finish();
    // The one place a check fails after a reply or a send: QUIT and report.
    void fail(const std::string& message);
    // A lost connection: close without QUIT, and report when given a message.
    void drop(const std::string* message);

    Host host_;
    int32_t accountId_;
    Pop3Settings settings_;
    NewMailHandler onNewMail_;
    ErrorHandler onError_;
    Pop3State state_ = Pop3State::Idle;
    NewMailTracker tracker_;
    std::optional<KnownIdsFile> knownIdsFile_;
    std::optional<std::string> knownMailbox_;  // whose ids the tracker holds
    Probe probe_;
    mail::Pop3Framer framer_;
    mail::Channel channel_;
};

}  // namespace postrix::pop3
