// libFuzzer entry point: one POP3 session over several checks, driven by a
// fuzzer-chosen sequence of starts, connection events (data of any bytes,
// well-formed status lines, UIDL listings over a small pool of ids, header
// blocks, each whole or cut in two), closes, TLS results, connection errors,
// timeout sweeps with a moved clock, failing host calls and clicks on and
// ends of the new-mail notice. After every step:
// - each check ends in at most one error and at most one new-mail notice;
// - a refused or skipped start reports nothing and disturbs nothing; a
//   login that would break its command line is reported without connecting;
// - after an outcome the session is idle (a failed TLS handshake excepted,
//   which waits for the timeout sweep), and busy exactly while the host's
//   connection is open;
// - nothing is sent after a failure until the next check;
// - the session hands each check's new entries over once; the notice's end
//   empties its list, its click opens the mailbox page when there is one,
//   and a notice that outlives its account does nothing.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "abi/records_notify.h"
#include "accounts/check_error_notice.h"
#include "accounts/new_mail_notice.h"
#include "fuzz_host.h"
#include "pop3/pop3_session.h"
#include "text/text_conversion.h"

namespace {

using namespace postrix;
using postrix::fuzz::FuzzClock;
using postrix::fuzz::FuzzHost;
using postrix::fuzz::wideTextFrom;
using pop3::Pop3Session;
using pop3::Pop3Settings;
using pop3::Pop3State;

const char* const kServers[] = {"pop.example.com", "pop.example.com:1110", "pop.example.com:", "pop:x:-1", ""};
const char* const kStatusLines[] = {"+OK POP3 ready\r\n", "+OK\r\n", "-ERR no\r\n", "+OK 2 messages\r\n", "+",
                                    "OK\r\n",             "\r\n",    "-ERR",      "+OK\r\n.\r\n"};
const char* const kIds[] = {"a", "b", "c", "d", "e", "f", "000000a1", "UID-2012"};
const char* const kHeaders[] = {
    "From: Jan Kowalski <jan@example.com>\r\nSubject: Spotkanie\r\nDate: Mon, 5 Nov 2012 10:00:00 +0100\r\n",
    ("From: =?UTF-8?B?WmHFvMOzxYLEhyBnxJnFm2zEhQ==?= <z@example.org>\r\nSubject: =?ISO-8859-2?Q?Za=BF=F3=B3?=\r\n"
     " =?UTF-8?Q?_g=C4=99=C5=9Bl=C4=85?=\r\nDate: 7 Dec 2026 18:05:03 GMT\r\n"),
    "Subject: \r\n\tfolded\r\nDate: Thu, 31 Feb 2019 25:61:61 +9999\r\nFrom:\r\n",
    "From: =?windows-1250?Q?=8A=9A?= =?bogus?X?x?=\r\nSubject: =?UTF-8?B?***?=\r\n",
};

struct Check {
    bool begun = false;
    int errors = 0;
    int notices = 0;
    std::string lastError;
    std::optional<int> sendsAtError;
};

struct Harness {
    FuzzHost host;
    FuzzClock clock;
    Check check;
    bool constructing = true;
    int constructionErrors = 0;
    bool online = true;
    int opened = 0;
    std::optional<NewMailNotice> notice;
    std::optional<Pop3Session> session;

    void onNewMail(Pop3Session& s, std::vector<pop3::NewMailEntry> entries) {
        FUZZ_CHECK(check.begun);
        FUZZ_CHECK(!entries.empty() && s.tracker().entries().empty());
        ++check.notices;
        notice->add(s.settings().mail, std::move(entries));
    }

    void onError(Pop3Session& s, const std::string& message) {
        FUZZ_CHECK(!message.empty());
        if (constructing) {
            ++constructionErrors;
        } else {
            FUZZ_CHECK(check.begun);
            ++check.errors;
            check.lastError = message;
            check.sendsAtError = host.sends;
            if (message.starts_with("POP3 - SSL error")) FUZZ_CHECK(text::utf8ToWide(message).size() <= 1022);
        }
        showCheckError(s.host(), s.settings().mail, message);
    }

    void start(FuzzedDataProvider& in) {
        Pop3Settings settings;
        settings.server = in.PickValueInArray(kServers);
        settings.mail = "alice@example.com";
        settings.login = in.ConsumeBool() ? "alice" : in.ConsumeRandomLengthString(32);
        settings.password = "secret";
        const std::string mailboxWww = in.ConsumeBool() ? "https://mail.example.com" : "";
        settings.useSsl = in.ConsumeBool();

        const Pop3State before = session->state();
        const int connects = host.connects;
        const int logs = host.logs;
        const Check previous = check;
        if (before != Pop3State::Idle || !online) {
            FUZZ_CHECK(!session->start(settings));
            FUZZ_CHECK(session->state() == before);
            FUZZ_CHECK(host.connects == connects);
            FUZZ_CHECK(check.errors == previous.errors && check.notices == previous.notices);
            // A refusal is logged; an offline start says nothing.
            FUZZ_CHECK(host.logs == logs + (before != Pop3State::Idle ? 1 : 0));
            return;
        }
        check = Check{};
        check.begun = true;
        FUZZ_CHECK(session->start(settings));
        notice->setMailboxWww(mailboxWww);
        if (settings.login.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
            // Refused before connecting.
            FUZZ_CHECK(host.connects == connects && check.errors == 1);
            FUZZ_CHECK(check.lastError == "POP3 - Invalid login: it holds CR, LF or NUL");
            return;
        }
        FUZZ_CHECK(host.connects == connects + 1);
        FUZZ_CHECK(session->state() == Pop3State::Idle || session->state() == Pop3State::AwaitWelcome);
        if (session->state() == Pop3State::Idle) FUZZ_CHECK(check.errors == 1);
    }

    // Bytes delivered in one event or cut in two at a chosen place.
    void deliver(FuzzedDataProvider& in, const std::string& bytes) {
        if (bytes.size() < 2 || in.ConsumeBool()) return host.deliverData(bytes);
        const size_t cut = in.ConsumeIntegralInRange<size_t>(1, bytes.size() - 1);
        host.deliverData(bytes.substr(0, cut));
        check_();
        host.deliverData(bytes.substr(cut));
    }

    std::string listing(FuzzedDataProvider& in) {
        std::string text = in.ConsumeBool() ? "+OK\r\n" : "";
        const int lines = in.ConsumeIntegralInRange(0, 6);
        for (int i = 0; i < lines; ++i) {
            const int number = in.ConsumeBool() ? i + 1 : in.ConsumeIntegral<int32_t>();
            text += std::to_string(number) + " " + in.PickValueInArray(kIds) + "\r\n";
        }
        if (in.ConsumeBool()) text += ".\r\n";
        return text;
    }

    std::string headerBlock(FuzzedDataProvider& in) {
        std::string text = in.ConsumeBool() ? "+OK\r\n" : "";
        text += in.ConsumeBool() ? std::string(in.PickValueInArray(kHeaders)) : in.ConsumeRandomLengthString(400);
        text += "\r\n.\r\n";
        return text;
    }

    void fireNotice(int32_t kind) {
        const bool ours = host.noticeCallback && host.noticeContext == notice->liveNumber();
        const int opens = opened;
        host.fireNotice(kind);
        if (!ours) {
            FUZZ_CHECK(opened == opens);
            return;
        }
        if (kind == kNotifyEnded) FUZZ_CHECK(notice->entries().empty());
        FUZZ_CHECK(opened == opens + (kind == kNotifyClicked && !notice->mailboxWww().empty() ? 1 : 0));
    }

    void check_() {
        const auto state = static_cast<int32_t>(session->state());
        FUZZ_CHECK(state >= 0 && state <= 7);
        FUZZ_CHECK(check.errors <= 1 && check.notices <= 1);
        const bool tlsFailed = check.errors == 1 && check.lastError.starts_with("POP3 - SSL error");
        if (check.errors + check.notices > 0 && !tlsFailed) FUZZ_CHECK(session->state() == Pop3State::Idle);
        // A refused connect leaves nothing behind whose events could arrive.
        if (check.errors == 1 && !check.lastError.starts_with("POP3 - Could not connect"))
            FUZZ_CHECK(session->aborted());
        FUZZ_CHECK((session->state() != Pop3State::Idle) == host.open);
        if (check.sendsAtError) FUZZ_CHECK(host.sends == *check.sendsAtError);
    }

    void step(FuzzedDataProvider& in) {
        switch (in.ConsumeIntegralInRange(0, 17)) {
            case 0:
                return start(in);
            case 1:
                return deliver(in, in.ConsumeRandomLengthString(512));
            case 2:
            case 3:
                return deliver(in, in.PickValueInArray(kStatusLines));
            case 4:
                return deliver(in, listing(in));
            case 5:
                return deliver(in, headerBlock(in));
            case 6:
                return host.deliverClosed();
            case 7:
                return host.deliverConnected();
            case 8:
                return host.deliverTls(1, 0, nullptr);
            case 9: {
                const int32_t code = in.ConsumeIntegral<int32_t>();
                if (in.ConsumeBool()) return host.deliverTls(0, code, nullptr);
                const std::string bytes = in.ConsumeRandomLengthString(4000);
                std::u16string text = wideTextFrom(bytes);
                // Many units of one kind, so that the 1022-unit limit is reached.
                if (in.ConsumeBool()) text += std::u16string(1100, in.ConsumeBool() ? u'\xD83D' : u'\x0105');
                return host.deliverTls(in.ConsumeIntegral<int32_t>(), code, text.c_str());
            }
            case 10:
                return host.deliverError(in.ConsumeIntegral<uint32_t>());
            case 11:
                clock.tick += in.ConsumeBool() ? in.ConsumeIntegralInRange<uint32_t>(0, 30000)
                                               : in.ConsumeIntegral<uint32_t>();
                return session->checkTimeout();
            case 12:
                if (const std::optional<int> knob = host.turnNetworkKnob(in, 7)) switch (*knob) {
                    case 4:
                        host.notifyResult = in.ConsumeIntegralInRange(0, 1);
                        return;
                    case 5:
                        host.newsAvailable = in.ConsumeBool();
                        return;
                    default:
                        online = in.ConsumeBool();
                        return;
                }
                return;
            case 13:
                return fireNotice(kNotifyClicked);
            case 14:
                return fireNotice(kNotifyEnded);
            case 15:
                return fireNotice(in.ConsumeIntegral<int32_t>());
            case 16:
                return host.deliverOddData(in.ConsumeIntegral<uint8_t>());
            default:
                return host.deliverUnknown(in.ConsumeIntegral<int32_t>());
        }
    }
};

const uint32_t kMaxReplyLengths[] = {mail::ReplyBuffer::kDefaultMaxLength, 4096, 128, 127, 16, 1};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    Harness h;
    h.host.createFails = in.ConsumeIntegralInRange(0, 15) == 0;
    h.clock.tick = in.ConsumeIntegral<uint32_t>();
    const uint32_t maxReply = in.PickValueInArray(kMaxReplyLengths);
    h.notice.emplace(Host(h.host.table()));
    h.session.emplace(
        Host(h.host.table()),
        [&h](Pop3Session& s, std::vector<pop3::NewMailEntry> entries) { h.onNewMail(s, std::move(entries)); },
        [&h](Pop3Session& s, const std::string& message) { h.onError(s, message); }, 3, maxReply);
    h.constructing = false;
    FUZZ_CHECK(h.constructionErrors == (h.host.createFails ? 1 : 0));
    h.session->setProbe([&h] { return h.online; });
    h.notice->setOpener([&h](std::string_view address) {
        FUZZ_CHECK(!address.empty());
        ++h.opened;
    });

    for (int steps = 0; in.remaining_bytes() > 0 && steps < 300; ++steps) {
        h.step(in);
        h.check_();
    }

    // A notice that outlives its account finds nothing.
    h.session.reset();
    h.notice.reset();
    FUZZ_CHECK(h.host.destroyed == h.host.created);
    const int opens = h.opened;
    h.host.fireNotice(kNotifyClicked);
    h.host.fireNotice(kNotifyEnded);
    FUZZ_CHECK(h.opened == opens);
    return 0;
}
