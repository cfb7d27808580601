// libFuzzer entry point: one IMAP session over several checks, driven by a
// fuzzer-chosen sequence of starts (for the timer or on request), connection
// events (data of any bytes; greetings, capability lists, results tagged
// with the tag of the command last sent, continuations, EXISTS, FETCH data
// with literal headers, codes and BYE, alone or several in one event, whole
// or cut in two), closes, TLS results, connection errors, sweeps with a
// moved clock (IDLE renewal, reconnection pauses), stops and failing host
// calls. After every step:
// - each check ends in at most one error, after which the session is idle,
//   no longer pushing, and sends nothing until the next check;
// - a login, password or folder holding NUL is refused without connecting;
// - the connection is open exactly while the session awaits the server;
//   waiting to reconnect happens only while pushing, after a pause between
//   5 s and 5 min;
// - nothing sent holds a NUL, and every send ends with CRLF;
// - new mail comes in non-empty lists, and each list raises the folder's
//   highest UID.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_host.h"
#include "imap/imap_session.h"

namespace {

using namespace postrix;
using imap::FolderState;
using imap::ImapSession;
using imap::ImapSettings;
using imap::ImapState;
using postrix::fuzz::FuzzClock;
using postrix::fuzz::FuzzHost;
using postrix::fuzz::wideTextFrom;

const char* const kServers[] = {"imap.example.com", "imap.example.com:1143", "imap.example.com:", "imap:x:-1", ""};
const char* const kFolders[] = {"INBOX", "Entw\xc3\xbcrfe", "a&b", "\"quoted\"", "line\r\nbreak"};
const char* const kGreetings[] = {
    "* OK IMAP4rev1 ready\r\n",
    "* OK [CAPABILITY IMAP4rev1 IDLE AUTH=PLAIN SASL-IR] ready\r\n",
    "* OK [CAPABILITY IMAP4rev1 IDLE LOGINDISABLED] ready\r\n",
    "* OK [CAPABILITY IMAP4rev1] ready\r\n",
    "* PREAUTH [CAPABILITY IMAP4rev1 IDLE] logged in\r\n",
    "* BYE busy\r\n",
    "* NO go away\r\n",
    "+ hello\r\n",
};
const char* const kCapabilities[] = {
    "* CAPABILITY IMAP4rev1 IDLE\r\n",
    "* CAPABILITY IMAP4rev1 AUTH=PLAIN\r\n",
    "* CAPABILITY IMAP4rev1 AUTH=PLAIN SASL-IR IDLE\r\n",
    "* CAPABILITY IMAP4rev1 LOGINDISABLED\r\n",
    "* CAPABILITY\r\n",
};
const char* const kCodes[] = {"", "[READ-ONLY] ", "[UIDVALIDITY 7] ", "[UIDVALIDITY 8] ", "[UIDNEXT 1] ",
                              "[UIDNEXT 5] ", "[UIDNEXT 4294967295] ", "[ALERT] ", "[CAPABILITY IMAP4rev1 IDLE] "};
const char* const kStatuses[] = {"OK", "OK", "OK", "NO", "BAD", "BYE", "PREAUTH"};
const char* const kHeaders[] = {
    "From: Jan Kowalski <jan@example.com>\r\nSubject: Spotkanie\r\nDate: Mon, 5 Nov 2012 10:00:00 +0100\r\n\r\n",
    "From: =?UTF-8?B?WmHFvMOzxYLEhyBnxJnFm2zEhQ==?= <z@example.org>\r\nSubject: =?ISO-8859-2?Q?Za=BF=F3=B3?=\r\n\r\n",
    "Subject: \r\n\tfolded\r\nDate: Thu, 31 Feb 2019 25:61:61 +9999\r\nFrom:\r\n\r\n",
    "",
};

struct Check {
    bool begun = false;
    int errors = 0;
    std::string lastError;
    std::optional<int> sendsAtError;
};

// A text of the settings' kind: plain, or with the bytes an IMAP string
// must carry as a literal or cannot carry at all.
std::string settingText(FuzzedDataProvider& in, const char* plain) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0:
            return in.ConsumeRandomLengthString(40);
        case 1:
            return std::string(plain) + (in.ConsumeBool() ? std::string("\"\\\r\n\xc3\xa4") : std::string(1, '\0'));
        default:
            return plain;
    }
}

struct Harness {
    FuzzHost host;
    FuzzClock clock;
    Check check;
    bool constructing = true;
    int constructionErrors = 0;
    bool online = true;
    std::optional<FolderState> folder;  // as after the last step
    std::optional<ImapSession> session;

    void onNewMail(ImapSession& s, const std::vector<pop3::NewMailEntry>& entries) {
        FUZZ_CHECK(check.begun && !entries.empty());
        // The folder is remembered before the mail is announced, higher.
        const std::optional<FolderState> now = s.folderState();
        FUZZ_CHECK(now.has_value());
        if (folder && folder->uidValidity == now->uidValidity) FUZZ_CHECK(now->highestUid > folder->highestUid);
        folder = now;
    }

    void onError(ImapSession&, const std::string& message) {
        FUZZ_CHECK(!message.empty() && message.starts_with("IMAP - "));
        if (constructing) {
            ++constructionErrors;
            return;
        }
        FUZZ_CHECK(check.begun);
        ++check.errors;
        check.lastError = message;
        check.sendsAtError = host.sends;
    }

    // The tag of the command sent last on this connection.
    std::string currentTag() const {
        const std::string& sent = host.sentSinceConnect;
        std::string tag = "a1";
        for (size_t at = 0; at < sent.size();) {
            const size_t space = sent.find(' ', at);
            if (space != std::string::npos && sent[at] == 'a' && space > at + 1 &&
                sent.find_first_not_of("0123456789", at + 1) == space) {
                tag = sent.substr(at, space - at);
            }
            const size_t end = sent.find("\r\n", at);
            if (end == std::string::npos) break;
            at = end + 2;
        }
        return tag;
    }

    void start(FuzzedDataProvider& in) {
        ImapSettings settings;
        settings.server = in.PickValueInArray(kServers);
        settings.mail = "alice@example.com";
        settings.login = settingText(in, "alice");
        settings.password = settingText(in, "secret");
        settings.folder = in.ConsumeBool() ? std::string("INBOX")
                                           : (in.ConsumeBool() ? std::string(in.PickValueInArray(kFolders))
                                                               : settingText(in, "Archive"));
        settings.useSsl = in.ConsumeBool();
        const auto reason = in.ConsumeBool() ? ImapSession::Reason::Timer : ImapSession::Reason::Request;

        const ImapState before = session->state();
        const bool sameSettings = settings == session->settings();
        const int connects = host.connects;
        // A check that begins may fail inside start(); one that does not
        // begin reports nothing.
        const Check previous = check;
        check = Check{};
        check.begun = true;
        const bool started = session->start(settings, reason);
        if (!started || (before == ImapState::Idling && sameSettings)) {
            // Refused, or IDLE ended to fetch at once within the check in progress.
            FUZZ_CHECK(check.errors == 0 && host.connects == connects);
            check = previous;
            return;
        }
        const bool nul = settings.login.find('\0') != std::string::npos ||
                         settings.password.find('\0') != std::string::npos ||
                         settings.folder.find('\0') != std::string::npos;
        if (nul) {
            FUZZ_CHECK(host.connects == connects && check.errors == 1);
            FUZZ_CHECK(check.lastError.starts_with("IMAP - Invalid "));
        } else {
            FUZZ_CHECK(host.connects == connects + 1);
        }
    }

    // Bytes delivered in one event or cut in two at a chosen place.
    void deliver(FuzzedDataProvider& in, const std::string& bytes) {
        if (bytes.size() < 2 || in.ConsumeBool()) return host.deliverData(bytes);
        const size_t cut = in.ConsumeIntegralInRange<size_t>(1, bytes.size() - 1);
        host.deliverData(bytes.substr(0, cut));
        check_();
        host.deliverData(bytes.substr(cut));
    }

    std::string fetchResponse(FuzzedDataProvider& in) {
        std::string header = in.ConsumeBool() ? std::string(in.PickValueInArray(kHeaders))
                                              : in.ConsumeRandomLengthString(300);
        const uint32_t uid = in.ConsumeBool() ? in.ConsumeIntegralInRange<uint32_t>(1, 12) : in.ConsumeIntegral<uint32_t>();
        std::string body = "BODY[HEADER.FIELDS (FROM SUBJECT DATE)] {" + std::to_string(header.size()) + "}\r\n" + header;
        if (in.ConsumeIntegralInRange(0, 5) == 0) body = "BODY[HEADER.FIELDS (FROM SUBJECT DATE)] NIL";
        std::string items = in.ConsumeBool() ? "UID " + std::to_string(uid) + " " + body
                                             : body + " UID " + std::to_string(uid);
        if (in.ConsumeBool()) items = "FLAGS (\\Seen) " + items;
        if (in.ConsumeIntegralInRange(0, 7) == 0) items = "FLAGS (\\Seen)";
        return "* " + std::to_string(in.ConsumeIntegralInRange(1, 12)) + " FETCH (" + items + ")\r\n";
    }

    // One response in the server's manner.
    std::string response(FuzzedDataProvider& in) {
        switch (in.ConsumeIntegralInRange(0, 9)) {
            case 0:
                return in.PickValueInArray(kGreetings);
            case 1:
                return in.PickValueInArray(kCapabilities);
            case 2:
            case 3:
                return (in.ConsumeIntegralInRange(0, 7) == 0 ? std::string("a99") : currentTag()) + " " +
                       in.PickValueInArray(kStatuses) + " " + in.PickValueInArray(kCodes) + "done\r\n";
            case 4:
                return in.ConsumeBool() ? "+ go ahead\r\n" : "+\r\n";
            case 5:
                return "* " + std::to_string(in.ConsumeIntegralInRange(0, 12)) +
                       (in.ConsumeIntegralInRange(0, 3) == 0 ? " EXPUNGE\r\n" : " EXISTS\r\n");
            case 6:
            case 7:
                return fetchResponse(in);
            case 8:
                return std::string("* OK ") + in.PickValueInArray(kCodes) + "noted\r\n";
            default:
                return "* BYE [ALERT] shutting down\r\n";
        }
    }

    void check_() {
        const ImapState state = session->state();
        const auto number = static_cast<int32_t>(state);
        FUZZ_CHECK(number >= 0 && number <= 9);
        FUZZ_CHECK(check.errors <= 1);
        if (check.errors == 1) FUZZ_CHECK(state == ImapState::Idle && !session->pushing());
        if (check.sendsAtError) FUZZ_CHECK(host.sends == *check.sendsAtError);
        const bool connected = state != ImapState::Idle && state != ImapState::WaitingToReconnect;
        FUZZ_CHECK(connected == host.open);
        if (state == ImapState::WaitingToReconnect) FUZZ_CHECK(session->pushing());
        FUZZ_CHECK(session->reconnectDelayMs() >= imap::kFirstReconnectDelayMs &&
                   session->reconnectDelayMs() <= imap::kMaxReconnectDelayMs);
        FUZZ_CHECK(host.sentSinceConnect.find('\0') == std::string::npos);
        FUZZ_CHECK(host.sentSinceConnect.empty() || host.sentSinceConnect.ends_with("\r\n"));
        folder = session->folderState();
    }

    void step(FuzzedDataProvider& in) {
        switch (in.ConsumeIntegralInRange(0, 17)) {
            case 0:
                return start(in);
            case 1:
                return deliver(in, in.ConsumeRandomLengthString(512));
            case 2:
            case 3:
            case 4:
                return deliver(in, response(in));
            case 5: {
                std::string bytes;
                const int count = in.ConsumeIntegralInRange(2, 5);
                for (int i = 0; i < count; ++i) bytes += response(in);
                return deliver(in, bytes);
            }
            case 6:
                return host.deliverClosed();
            case 7:
                return host.deliverConnected();
            case 8:
                return host.deliverTls(1, 0, nullptr);
            case 9: {
                const int32_t code = in.ConsumeIntegral<int32_t>();
                if (in.ConsumeBool()) return host.deliverTls(0, code, nullptr);
                const std::u16string text = wideTextFrom(in.ConsumeRandomLengthString(4000));
                return host.deliverTls(in.ConsumeIntegral<int32_t>(), code, text.c_str());
            }
            case 10:
                return host.deliverError(in.ConsumeIntegral<uint32_t>());
            case 11:
            case 12:
                switch (in.ConsumeIntegralInRange(0, 3)) {
                    case 0:
                        clock.tick += in.ConsumeIntegralInRange<uint32_t>(0, 30000);
                        break;
                    case 1:
                        clock.tick += imap::kIdleRenewalMs;
                        break;
                    case 2:
                        clock.tick += imap::kMaxReconnectDelayMs;
                        break;
                    default:
                        clock.tick += in.ConsumeIntegral<uint32_t>();
                }
                return session->tick();
            case 13:
                if (const std::optional<int> knob = host.turnNetworkKnob(in, 5)) switch (*knob) {
                    default:
                        online = in.ConsumeBool();
                        return;
                }
                return;
            case 14:
                session->stop();
                FUZZ_CHECK(session->state() == ImapState::Idle && !session->pushing());
                return;
            case 15:
                return host.deliverOddData(in.ConsumeIntegral<uint8_t>());
            case 16:
                return host.deliverUnknown(in.ConsumeIntegral<int32_t>());
            default:
                return deliver(in, fetchResponse(in));
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    Harness h;
    h.host.createFails = in.ConsumeIntegralInRange(0, 15) == 0;
    h.clock.tick = in.ConsumeIntegral<uint32_t>();
    h.session.emplace(
        Host(h.host.table()),
        [&h](ImapSession& s, std::vector<pop3::NewMailEntry> entries) { h.onNewMail(s, entries); },
        [&h](ImapSession& s, const std::string& message) { h.onError(s, message); }, 3);
    h.constructing = false;
    FUZZ_CHECK(h.constructionErrors == (h.host.createFails ? 1 : 0));
    h.session->setProbe([&h] { return h.online; });

    for (int steps = 0; in.remaining_bytes() > 0 && steps < 300; ++steps) {
        h.step(in);
        h.check_();
    }

    h.session.reset();
    FUZZ_CHECK(!h.host.open);
    FUZZ_CHECK(h.host.destroyed == h.host.created);
    return 0;
}
