// JSON lines, readable lines (failures once, on one line, with the
// meaning of network error numbers), the status line and UTF-16
// conversion of what joxhost prints.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "core/json.h"
#include "core/reporter.h"
#include "cli/send_outcome.h"
#include "core/utf.h"
#include "net/winsock_errors.h"

namespace joxhost {
namespace {

TEST(JsonString, EscapesWhatJsonRequires) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"", R"("")"},
        {"plain", R"("plain")"},
        {"a\"b\\c", R"("a\"b\\c")"},
        {"line\r\nnext\ttab", R"("line\r\nnext\ttab")"},
        {std::string("nul\0x", 5), R"("nul\u0000x")"},
        {"\x01\x1f\x7f\b\f", R"("\u0001\u001f\u007f\b\f")"},
        {"Wyślij e-mail — 😀", "\"Wyślij e-mail — 😀\""},
        {"</script>", R"("</script>")"},
    };
    for (const auto& c : cases) EXPECT_EQ(jsonString(c.in), c.out) << c.in;
}

TEST(Reporter, JsonLinesKeepFieldOrderAndTypes) {
    Event event("notify");
    event.add("title", "Nowa poczta (a@b)").add("count", 2).add("shown", true);
    EXPECT_EQ(jsonLine(event), R"j({"event":"notify","title":"Nowa poczta (a@b)","count":2,"shown":true})j");
}

TEST(Reporter, ReadableLinesPutFailuresAndLogLinesOnOneLine) {
    Event log("log");
    log.add("level", -1).add("source", "MAIL").add("text", "a@b: SMTP - Authorization error:\r\n535 no\r\n");
    EXPECT_EQ(readableLine(log), "log [-1] MAIL: a@b: SMTP - Authorization error: 535 no");
    Event box("error");
    box.add("title", "a@b").add("text", "SMTP - Connection error:10061");
    EXPECT_EQ(readableLine(box), "error box a@b: SMTP - Connection error:10061 (connection refused)");
    Event warning("notify");
    warning.add("id", 2).add("title", "a@b").add("text", "POP3 - Error on PASS:\r\n-ERR no\r\n").add("icon", "Image/Warning32");
    EXPECT_EQ(readableLine(warning), "warning a@b: POP3 - Error on PASS: -ERR no");
    // A list stays a list.
    Event notice("notify");
    notice.add("title", "Nowa poczta").add("text", "Ilość: 2\r\n1 - x\r\n2 - y").add("icon", "Image/Mail");
    EXPECT_EQ(readableLine(notice), "notification [Image/Mail] Nowa poczta: Ilość: 2\n    1 - x\n    2 - y");
    Event other("net");
    other.add("connection", "MAIL/Socket/SMTP/1").add("what", "error").add("code", 10060);
    EXPECT_EQ(readableLine(other), "net connection=MAIL/Socket/SMTP/1 what=error code=10060 (connection timed out)");
}

TEST(Reporter, FoldLinesJoinsLinesWithASpace) {
    EXPECT_EQ(foldLines("one"), "one");
    EXPECT_EQ(foldLines("a:\r\n535-x\r\n535 y\r\n"), "a: 535-x 535 y");
    EXPECT_EQ(foldLines("\r\nlf\nand\rcr\r\n\r\nblank"), "lf and cr blank");
    EXPECT_EQ(foldLines("\r\n"), "");
}

TEST(Reporter, WinsockNumbersGetTheirMeaningOnlyWhereAnErrorReportsThem) {
    EXPECT_EQ(winsock::withMeanings("SMTP - Connection error:10061"), "SMTP - Connection error:10061 (connection refused)");
    EXPECT_EQ(winsock::withMeanings("POP3 - Connection error: 10054"), "POP3 - Connection error: 10054 (connection reset)");
    EXPECT_EQ(winsock::withMeanings("Could not connect to server, err=0x2AF9"),
              "Could not connect to server, err=0x2AF9 (host not found)");
    EXPECT_EQ(winsock::withMeanings("error:10060 then Error: 11001."),
              "error:10060 (connection timed out) then Error: 11001 (host not found).");
    // Numbers elsewhere, unknown numbers and numbers running into words stay.
    for (const char* same : {"535 10061 refused", "SSL error (10061): x", "Connection error:1", "error:10061x",
                             "error: 0x80000000", "err=", "error:"}) {
        EXPECT_EQ(winsock::withMeanings(same), same);
    }
    EXPECT_EQ(winsock::meaning(winsock::kTimedOut), "connection timed out");
    EXPECT_EQ(winsock::meaning(0), "");
}

// What a reporter printed, line by line.
class Printed {
public:
    Printed() : file_(std::tmpfile()) {}
    ~Printed() { std::fclose(file_); }
    std::FILE* file() { return file_; }
    std::string text() {
        std::fflush(file_);
        std::rewind(file_);
        std::string all;
        for (int c; (c = std::fgetc(file_)) != EOF;) all += static_cast<char>(c);
        return all;
    }

private:
    std::FILE* file_;
};

TEST(Reporter, AFailureReportedSeveralWaysInOneTurnIsPrintedOnce) {
    const auto failureEvents = [](Reporter& reporter) {
        reporter.emit(Event("log").add("level", -1).add("source", "MAIL").add("text", "a@b: SMTP - Authorization error:\r\n535 no"));
        reporter.emit(Event("error").add("title", "a@b").add("text", "SMTP - Authorization error:\r\n535 no"));
        reporter.emit(Event("send-failed").add("reason", "a@b: SMTP - Authorization error:\r\n535 no"));
        reporter.emit(Event("net").add("connection", "MAIL/Socket/SMTP/1").add("what", "close"));
    };
    Printed people;
    Reporter reporter(false, false, people.file());
    failureEvents(reporter);
    reporter.emit(Event("error").add("title", "a@b").add("text", "SMTP - Receive timeout"));  // another failure
    EXPECT_EQ(people.text(),
              "log [-1] MAIL: a@b: SMTP - Authorization error: 535 no\n"
              "error box a@b: SMTP - Receive timeout\n");
    reporter.newTurn();  // the same failure again later is news
    reporter.emit(Event("send-failed").add("reason", "a@b: SMTP - Authorization error:\r\n535 no"));
    const std::string later = people.text();
    EXPECT_EQ(later.substr(later.rfind("send")), "send failed: a@b: SMTP - Authorization error: 535 no\n");

    // --verbose and --json show every event.
    Printed verbose, json;
    Reporter all(false, true, verbose.file()), programs(true, false, json.file());
    failureEvents(all);
    failureEvents(programs);
    const std::string verboseText = verbose.text(), jsonText = json.text();
    EXPECT_EQ(std::count(verboseText.begin(), verboseText.end(), '\n'), 4) << verboseText;
    EXPECT_EQ(std::count(jsonText.begin(), jsonText.end(), '\n'), 4) << jsonText;

    EXPECT_TRUE(reporter.printedFailure("a@b: SMTP - Authorization error: 535 no"));
    EXPECT_TRUE(reporter.printedFailure("send: SMTP - Authorization error:\n535 no"));
    EXPECT_FALSE(reporter.printedFailure("SMTP - Receive timeout"));  // an earlier turn's
    EXPECT_FALSE(all.printedFailure("a@b: SMTP - Authorization error: 535 no"));  // --verbose prints each

    EXPECT_TRUE(sameFailure("a@b: SMTP - x", "SMTP - x"));
    EXPECT_TRUE(sameFailure("a@b: POP3 - x:\r\n-ERR y\r\n", "check: POP3 - x: -ERR y"));
    EXPECT_FALSE(sameFailure("a@b: SMTP - x", "- x"));
    EXPECT_FALSE(sameFailure("a@bSMTP - x", "SMTP - x"));
    EXPECT_FALSE(sameFailure("SMTP - SSL error (1): a", "SMTP - SSL error (1): b"));
}

TEST(Reporter, PrintingAnEventClearsTheStatusLine) {
    Printed out, terminal;
    Reporter reporter(false, false, out.file());
    reporter.status("nowhere");
    reporter.setStatusOutput(terminal.file());
    reporter.status("sending 1 B");
    reporter.status("sending 2 B");
    reporter.emit(Event("sent").add("to", "x"));
    reporter.clearStatus();  // cleared already: nothing more
    EXPECT_EQ(terminal.text(), "\rsending 1 B\x1b[K\rsending 2 B\x1b[K\r\x1b[K");
    EXPECT_EQ(out.text(), "sent to=x\n");
}

TEST(Utf, ConvertsBothWaysAndReplacesIllFormedInput) {
    EXPECT_EQ(toUtf8(u"Wyślij e-mail"), "Wy\xC5\x9Blij e-mail");
    EXPECT_EQ(toUtf16("Wy\xC5\x9Blij e-mail"), u"Wyślij e-mail");
    EXPECT_EQ(toUtf8(u"😀"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(toUtf16("\xF0\x9F\x98\x80"), u"😀");
    EXPECT_EQ(toUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
    EXPECT_EQ(toUtf16("\xC3\x28"), u"\uFFFD(");
    EXPECT_EQ(toUtf16("\xE0\x80\x80"), u"\uFFFD");  // overlong
    EXPECT_EQ(toUtf16("\xED\xA0\x80"), u"\uFFFD");  // an encoded surrogate
    EXPECT_EQ(toUtf16("\xF0\x9F"), u"\uFFFD");      // cut short
    EXPECT_EQ(utf8FromHost(nullptr), "");
}

TEST(SendOutcome, TheFirstSuccessOrFailureDecides) {
    auto notify = [](const char* text) { return Event("notify").add("text", text); };
    auto log = [](int level, const char* text) { return Event("log").add("level", level).add("text", text); };
    {
        SendOutcome outcome;
        outcome.observe(log(0, "POP3 - notice"));
        outcome.observe(notify("Ilość nieprzeczytanych: 1"));
        EXPECT_FALSE(outcome.decided());
        outcome.observe(notify(SendOutcome::kSentText));
        outcome.observe(log(-1, "Writing message to archive failed"));
        EXPECT_EQ(outcome.state(), SendOutcome::State::Sent);
    }
    {
        SendOutcome outcome;
        outcome.observe(log(-1, "a@b: SMTP - Connection error:10061"));
        outcome.observe(notify(SendOutcome::kSentText));
        EXPECT_EQ(outcome.state(), SendOutcome::State::Failed);
        EXPECT_EQ(outcome.reason(), "a@b: SMTP - Connection error:10061");
    }
    {
        SendOutcome outcome;
        outcome.observe(Event("error").add("title", "a@b").add("text", "SMTP - Receive timeout"));
        EXPECT_EQ(outcome.state(), SendOutcome::State::Failed);
    }
}

}  // namespace
}  // namespace joxhost
