// libFuzzer entry point: one SMTP session driven by a fuzzer-chosen sequence
// of sends and connection events (data of any bytes, well-formed replies,
// closes, TLS results, connection errors, timeout sweeps with a moved clock,
// a second start in the middle, failing host calls). After every step:
// - each start ends in at most one outcome (sent or error);
// - a start refused because a send is running reports exactly one error and
//   disturbs nothing;
// - the session is idle after an outcome, and busy exactly while the host's
//   connection is open;
// - nothing is sent after a failure (or after the QUIT that follows
//   success) until the next start;
// - a success means every recipient got its RCPT TO before DATA.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_host.h"
#include "smtp/smtp_session.h"

namespace {

using namespace postrix;
using postrix::fuzz::FuzzClock;
using postrix::fuzz::FuzzHost;
using postrix::fuzz::wideTextFrom;
using smtp::OutgoingMail;
using smtp::SmtpSession;
using smtp::SmtpSettings;
using smtp::SmtpState;

std::string g_attachment;  // a small file made once per process

const char* const kServers[] = {"smtp.example.com", "smtp.example.com:25", "smtp.example.com:",
                                "127.0.0.1:-5",     "smtp:x:99999999999",  ""};
const char* const kAddresses[] = {"anna@example.org", "ola@example.net", "piotr.nowak@example.com",
                                  "jan@example.com",  "bad<address>",    "a\r\nRSET@example.com"};
const char* const kReplies[] = {
    "220 smtp.example.com ESMTP\r\n",
    "250 ok\r\n",
    "250-smtp.example.com\r\n250-STARTTLS\r\n250 AUTH LOGIN\r\n",
    "250-smtp.example.com\r\n",
    "250 AUTH LOGIN\r\n",
    "334 VXNlcm5hbWU6\r\n",
    "235 2.7.0 Authentication successful\r\n",
    "354 End data with <CR><LF>.<CR><LF>\r\n",
    "221 bye\r\n",
    "421 closing\r\n",
    "535 5.7.8 Authentication failed\r\n",
    "550 no such user\r\n",
    "2",
    "50 ok\r\n",
    "\r\n",
};

// What one accepted start has produced so far.
struct Attempt {
    bool begun = false;
    OutgoingMail mail;
    int sent = 0;
    int errors = 0;
    std::optional<int> frozenSends;  // the host's send count once the send ended
};

struct Harness {
    FuzzHost host;
    FuzzClock clock;
    Attempt attempt;
    bool constructing = true;
    bool refusing = false;
    int refusalErrors = 0;
    int constructionErrors = 0;
    std::optional<int> sendsAtError;
    std::optional<SmtpSession> session;

    void onSent(SmtpSession& s, const OutgoingMail& mail) {
        FUZZ_CHECK(!refusing && attempt.begun);
        FUZZ_CHECK(s.state() == SmtpState::AwaitAcceptance);
        FUZZ_CHECK(mail.recipients == attempt.mail.recipients);
        FUZZ_CHECK(mail.subject == attempt.mail.subject);
        ++attempt.sent;
        // Every recipient had its RCPT TO, in order, before DATA.
        const std::string& sent = host.sentSinceConnect;
        const size_t data = sent.find("\r\nDATA\r\n");
        FUZZ_CHECK(data != std::string::npos);
        size_t at = 0;
        for (const std::string& recipient : mail.recipients) {
            at = sent.find("RCPT TO: <" + recipient + ">\r\n", at);
            FUZZ_CHECK(at != std::string::npos && at < data);
            ++at;
        }
        FUZZ_CHECK(sent.ends_with("\r\n.\r\n"));
    }

    void onError(SmtpSession& s, const std::string& message) {
        FUZZ_CHECK(!message.empty());
        if (constructing) {
            ++constructionErrors;
            return;
        }
        if (refusing) {
            ++refusalErrors;
            return;
        }
        FUZZ_CHECK(s.state() == SmtpState::Idle);
        ++attempt.errors;
        sendsAtError = host.sends;
    }

    OutgoingMail pickMail(FuzzedDataProvider& in) {
        OutgoingMail mail;
        const size_t count = in.ConsumeIntegralInRange<size_t>(1, 3);
        for (size_t i = 0; i < count; ++i) mail.recipients.push_back(in.PickValueInArray(kAddresses));
        mail.recipientName = in.ConsumeBool() ? "Anna Nowak" : "Zażółć, \"gęślą\"";
        mail.subject = in.ConsumeBool() ? "Spotkanie" : in.ConsumeRandomLengthString(64);
        mail.body = in.ConsumeBool() ? "Dzień dobry.\r\n.\r\nDo zobaczenia" : in.ConsumeRandomLengthString(256);
        switch (in.ConsumeIntegralInRange(0, 3)) {
            case 1:
                mail.attachments = {g_attachment};
                break;
            case 2:
                mail.attachments = {g_attachment + ".missing"};
                break;
            case 3:
                mail.attachments = {g_attachment, g_attachment};
                break;
            default:
                break;
        }
        return mail;
    }

    void start(FuzzedDataProvider& in) {
        SmtpSettings settings;
        settings.server = in.PickValueInArray(kServers);
        settings.senderAddress = in.ConsumeIntegralInRange(0, 7) == 0 ? in.PickValueInArray(kAddresses)
                                                                       : "jan@example.com";
        settings.login = in.ConsumeBool() ? "jan" : in.ConsumeRandomLengthString(32);
        settings.password = "sekret";
        settings.useSsl = in.ConsumeBool();
        const OutgoingMail mail = pickMail(in);

        const SmtpState before = session->state();
        const int connects = host.connects;
        if (before != SmtpState::Idle) {
            refusing = true;
            const int errors = refusalErrors;
            session->start(settings, mail);
            refusing = false;
            FUZZ_CHECK(refusalErrors == errors + 1);
            FUZZ_CHECK(session->state() == before);
            FUZZ_CHECK(host.connects == connects);
            return;
        }
        attempt = Attempt{};
        attempt.begun = true;
        attempt.mail = mail;
        sendsAtError.reset();
        session->start(settings, mail);
        FUZZ_CHECK(session->state() == SmtpState::Idle || session->state() == SmtpState::AwaitGreeting);
        if (session->state() == SmtpState::Idle) FUZZ_CHECK(attempt.errors == 1);
    }

    void check() {
        const auto state = static_cast<uint32_t>(session->state());
        FUZZ_CHECK(state <= 10);
        FUZZ_CHECK(attempt.sent + attempt.errors <= 1);
        const bool ended = attempt.sent + attempt.errors == 1;
        if (ended) FUZZ_CHECK(session->state() == SmtpState::Idle);
        FUZZ_CHECK((session->state() != SmtpState::Idle) == host.open);
        // The failure was the last thing the session did on the network.
        if (sendsAtError) FUZZ_CHECK(host.sends == *sendsAtError);
        if (attempt.sent == 1 && !attempt.frozenSends) FUZZ_CHECK(host.lastSent == "QUIT\r\n");
        if (ended && !attempt.frozenSends) attempt.frozenSends = host.sends;
        if (attempt.frozenSends) FUZZ_CHECK(host.sends == *attempt.frozenSends);
    }

    void step(FuzzedDataProvider& in) {
        switch (in.ConsumeIntegralInRange(0, 13)) {
            case 0:
                return start(in);
            case 1:
                return host.deliverData(in.ConsumeRandomLengthString(512));
            case 2:
            case 3:
            case 4:
                return host.deliverData(in.PickValueInArray(kReplies));
            case 5:
                return host.deliverClosed();
            case 6:
                return host.deliverTls(1, 0, nullptr);
            case 7: {
                const int32_t code = in.ConsumeIntegral<int32_t>();
                if (in.ConsumeBool()) return host.deliverTls(0, code, nullptr);
                const std::string bytes = in.ConsumeRandomLengthString(64);
                std::u16string text = wideTextFrom(bytes);
                return host.deliverTls(in.ConsumeIntegral<int32_t>(), code, text.c_str());
            }
            case 8:
                return host.deliverError(in.ConsumeIntegral<uint32_t>());
            case 9:
                clock.tick += in.ConsumeBool() ? in.ConsumeIntegralInRange<uint32_t>(0, 30000)
                                               : in.ConsumeIntegral<uint32_t>();
                return session->checkTimeout();
            case 10:
                if (const std::optional<int> knob = host.turnNetworkKnob(in, 5)) switch (*knob) {
                    default:
                        if (in.ConsumeBool()) clock.bias = std::nullopt;
                        else clock.bias = in.ConsumeIntegralInRange(-900, 900);
                        return;
                }
                return;
            case 11:
                return host.deliverConnected();
            case 12:
                return host.deliverOddData(in.ConsumeIntegral<uint8_t>());
            default:
                return host.deliverUnknown(in.ConsumeIntegral<int32_t>());
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const auto path = std::filesystem::temp_directory_path() / "postrix_smtp_fuzz_attachment.txt";
    static constexpr char content[] = "Zażółć gęślą jaźń\r\n.\r\nline two\0\x01\xff";
    std::ofstream(path, std::ios::binary).write(content, sizeof(content) - 1);
    g_attachment = path.string();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    Harness h;
    h.host.createFails = in.ConsumeIntegralInRange(0, 15) == 0;
    h.clock.tick = in.ConsumeIntegral<uint32_t>();
    h.session.emplace(
        Host(h.host.table()), [&h](SmtpSession& s, const OutgoingMail& mail) { h.onSent(s, mail); },
        [&h](SmtpSession& s, const std::string& message) { h.onError(s, message); }, 3);
    h.constructing = false;
    FUZZ_CHECK(h.constructionErrors == (h.host.createFails ? 1 : 0));
    for (int steps = 0; in.remaining_bytes() > 0 && steps < 200; ++steps) {
        h.step(in);
        h.check();
    }
    h.session.reset();
    FUZZ_CHECK(!h.host.open);
    FUZZ_CHECK(h.host.destroyed == h.host.created);
    return 0;
}
