// One account's IMAP client: an event-driven state machine over the shared
// command channel that logs in, examines the folder read-only, fetches the
// headers of the messages above the highest UID it has seen and, when the
// server offers IDLE, stays connected and waits for new mail (RFC 2177);
// without IDLE it logs out after each check, as POP3 does.
//
// While idling, an untagged EXISTS ends the IDLE (DONE), the new headers are
// fetched and announced, and the session idles again. IDLE is renewed every
// 25 minutes, before servers drop it. A connection lost while pushing comes
// back after a pause that doubles from 5 s to 5 min, with a log line per try
// and no error notice; a refusal by the server (login, folder) ends pushing
// and is reported like any failed check.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"
#include "imap/imap_response.h"
#include "imap/imap_state_file.h"
#include "mail/channel.h"
#include "mail/imap_framer.h"
#include "pop3/new_mail_entry.h"

namespace postrix::imap {

// The numbers appear in a log line, so they are fixed.
enum class ImapState : int32_t {
    Idle = 0,                // no connection
    AwaitGreeting = 1,
    AwaitCapability = 2,
    AwaitLogin = 3,          // LOGIN or AUTHENTICATE sent, pieces may wait for "+"
    AwaitExamine = 4,
    AwaitFetch = 5,          // UID FETCH of new headers or of the last UID
    AwaitIdleStart = 6,      // IDLE sent, its "+" not yet here
    Idling = 7,
    AwaitIdleEnd = 8,        // DONE sent, IDLE's tagged result not yet here
    WaitingToReconnect = 9,  // the connection was lost while pushing
};

struct ImapSettings {
    std::string server;  // host, optionally ":port"
    std::string mail;    // the account's address, for messages and notice titles
    std::string login;
    std::string password;
    std::string folder = "INBOX";
    bool useSsl = true;  // TLS from the first byte
    bool operator==(const ImapSettings&) const = default;
};

inline constexpr int32_t kImapPort = 143;
inline constexpr int32_t kImapTlsPort = 993;
inline constexpr uint32_t kImapTimeoutMs = 20000;
inline constexpr uint32_t kIdleRenewalMs = 25 * 60 * 1000;
inline constexpr uint32_t kFirstReconnectDelayMs = 5000;
inline constexpr uint32_t kMaxReconnectDelayMs = 5 * 60 * 1000;
// Untagged responses one command may draw before the server counts as
// flooding: far more than a folder's new messages in any real check.
inline constexpr uint32_t kMaxUntaggedPerCommand = 1000000;
// The new messages one check announces at most, the newest: a notice lists
// far fewer, and a server sending endless headers takes no more memory.
inline constexpr size_t kMaxAnnouncedPerCheck = 2000;

class ImapSession final : private mail::ChannelEvents {
public:
    // The new mail of a check, newest first, handed over once.
    using NewMailHandler = std::function<void(ImapSession&, std::vector<pop3::NewMailEntry> entries)>;
    using ErrorHandler = std::function<void(ImapSession&, const std::string&)>;
    using Probe = std::function<bool()>;

    // Why a check is asked for: the periodic timer does nothing while IDLE
    // holds; a request (check now, changed settings) fetches at once.
    enum class Reason { Timer, Request };

    ImapSession(Host host, NewMailHandler onNewMail, ErrorHandler onError, int32_t accountId);
    // Over any link, a fake in tests: its events enter through channel().
    ImapSession(std::unique_ptr<mail::Link> link, NewMailHandler onNewMail, ErrorHandler onError,
                int32_t accountId);
    // Ends a connection politely (DONE, LOGOUT, close); nothing of it
    // reaches the session afterwards.
    ~ImapSession();
    ImapSession(const ImapSession&) = delete;
    ImapSession& operator=(const ImapSession&) = delete;

    // Begins a check, unless one is in progress, IDLE holds (for the timer)
    // or the internet seems out of reach. New settings end the connection
    // of the old ones first. True when a check began or IDLE was ended to
    // fetch at once.
    bool start(const ImapSettings& settings, Reason reason);
    // The clock, every second (the account's IMAP timer) and at each
    // time-out sweep: ends a check whose server has been silent for 20
    // seconds (outside IDLE), renews IDLE after 25 minutes and reconnects
    // when the pause after a lost connection is over.
    void tick();
    // Logs out and closes, as for unload; pushing ends.
    void stop();

    // Keeps the folder's state in the file at path across restarts.
    void keepState(std::u16string path);
    void setProbe(Probe probe) { probe_ = std::move(probe); }

    ImapState state() const { return state_; }
    bool pushing() const { return pushing_; }
    uint32_t reconnectDelayMs() const { return reconnectDelayMs_; }
    std::optional<FolderState> folderState() const { return folder_; }
    int32_t accountId() const { return accountId_; }
    Host host() const { return host_; }
    const ImapSettings& settings() const { return settings_; }
    mail::Channel& channel() { return channel_; }

private:
    // What ending an IDLE leads to.
    enum class AfterIdle { Fetch, Renew };
    // How a failure ends the check.
    enum class Failure { Refused, ConnectionLost };

    bool awaitingReply() const override;
    void onConnected() override;
    void onReply(std::string_view reply) override;
    void onBadReply(mail::ReplyFramer::Result result) override;
    void onClosedByPeer() override;
    void onTlsResult(int32_t status, int32_t errorCode, const char16_t* errorText) override;
    void onConnectionError(uint32_t code) override;

    // Opens a connection for settings_ (a check, or a reconnection).
    void connect();
    void onGreeting(const ImapResponse& response);
    void onUntagged(const ImapResponse& response);
    void onContinuation();
    void onTagged(const ImapResponse& response);
    // Capabilities, UIDVALIDITY and UIDNEXT from a status response's code.
    void readCode(const ImapResponse& response);

    void sendCapability();
    void sendLogin();
    void sendExamine();
    void onExamined();
    // Fetches the headers above the highest UID seen, or ends the check.
    // UIDNEXT, right after EXAMINE, says at once whether anything is new;
    // later rounds know only that the folder grew.
    void fetchOrFinish(std::optional<uint32_t> uidNext = std::nullopt);
    void onFetchData(const ImapResponse& response);
    void onFetched();
    // Announces what was fetched, newest first, and keeps its highest UID.
    void handOver();
    // Sorts what was fetched newest first, once per UID, at most
    // kMaxAnnouncedPerCheck.
    void keepNewest();
    void rememberFolder(const FolderState& state);
    // The check is over: idle when the server can, else log out.
    void finishCheck();
    void sendIdle();
    void onIdleStarted();
    void endIdle(AfterIdle next);
    void onIdleEnded();
    void logout();

    bool sendPieces(std::vector<std::string> pieces, ImapState next);
    std::string nextTag();
    bool offers(std::string_view capability) const;

    // The one place a check fails: a refusal is reported and ends pushing;
    // a lost connection while pushing waits and reconnects.
    void fail(const std::string& message, Failure failure);
    void closeConnection(bool politely);
    void scheduleReconnect(const std::string& why);

    Host host_;
    int32_t accountId_;
    ImapSettings settings_;
    NewMailHandler onNewMail_;
    ErrorHandler onError_;
    Probe probe_;
    ImapState state_ = ImapState::Idle;

    // What one connection learns and holds; each connection starts afresh.
    struct Connection {
        uint32_t tagNumber = 0;
        std::string tag;                 // of the command awaiting its result
        std::deque<std::string> pieces;  // of that command, each after a "+"
        std::vector<std::string> capabilities;
        bool preauthenticated = false;
        std::string loginCommand;  // for its error text
        uint32_t untagged = 0;     // drawn by the command in progress
        std::optional<uint32_t> uidValidity;
        std::optional<uint32_t> uidNext;  // from EXAMINE, used once
        uint32_t exists = 0;
        bool existsChanged = false;    // an EXISTS came during a fetch
        bool learningLastUid = false;  // the fetch asks only for the last UID
        uint32_t learnedUid = 0;
        int fetchRounds = 0;
        std::vector<std::pair<uint32_t, pop3::NewMailEntry>> fetched;
        AfterIdle afterIdle = AfterIdle::Fetch;
        uint32_t idleSince = 0;
    };
    Connection conn_;

    // The folder across connections.
    std::optional<ImapStateFile> stateFile_;
    std::optional<std::string> folderKey_;  // whose state folder_ is
    std::optional<FolderState> folder_;

    // Pushing: IDLE held on this or a lost connection.
    bool pushing_ = false;
    uint32_t reconnectDelayMs_ = kFirstReconnectDelayMs;
    uint32_t reconnectAt_ = 0;

    mail::ImapFramer framer_;
    mail::Channel channel_;
};

}  // namespace postrix::imap
