// JSON lines, readable lines and UTF-16 conversion of what joxhost prints.
#include <gtest/gtest.h>

#include "core/json.h"
#include "core/reporter.h"
#include "cli/send_outcome.h"
#include "core/utf.h"

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

TEST(Reporter, ReadableLinesShowMultiLineTextsIndented) {
    Event log("log");
    log.add("level", -1).add("source", "MAIL").add("text", "a@b: SMTP - Authorization error:\r\n535 no");
    EXPECT_EQ(readableLine(log), "log [-1] MAIL: a@b: SMTP - Authorization error:\n    535 no");
    Event other("net");
    other.add("connection", "MAIL/Socket/SMTP/1").add("what", "connected");
    EXPECT_EQ(readableLine(other), "net connection=MAIL/Socket/SMTP/1 what=connected");
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
