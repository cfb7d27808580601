// The IMAP framer: whole responses with their literals, however the events
// cut them, several in one event, bounded.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/imap_framer.h"

namespace postrix::mail {
namespace {

using Result = ReplyFramer::Result;
using Responses = std::vector<std::string>;

// Plays the channel: each event goes to the framer, every response framed
// from it is taken. One entry per response, or "TOO LONG" / "EMPTY" (which
// end the play).
Responses play(ImapFramer& framer, const std::vector<std::string_view>& events) {
    Responses responses;
    for (std::string_view event : events) {
        for (Result result = framer.add(event); result != Result::Incomplete; result = framer.next()) {
            if (result != Result::Complete) {
                responses.push_back(result == Result::TooLong ? "TOO LONG" : "EMPTY");
                return responses;
            }
            responses.emplace_back(framer.reply());
        }
    }
    return responses;
}

Responses play(const std::vector<std::string_view>& events, uint32_t maxLength = ImapFramer::kDefaultMaxLength) {
    ImapFramer framer(maxLength);
    return play(framer, events);
}

const std::string kHeader = "From: a@b.example\r\nSubject: {3}\r\n\r\n";

// A check's traffic: greeting, capabilities, a login's OK, a FETCH with a
// literal header whose bytes hold CRLFs and a "{3}", a synchronizing and a
// non-synchronizing literal, and an empty one.
const std::string kExchange =
    "* OK [CAPABILITY IMAP4rev1 IDLE] ready\r\n"
    "* CAPABILITY IMAP4rev1 IDLE LITERAL+\r\n"
    "a1 OK LOGIN completed\r\n"
    "* 3 FETCH (UID 7 BODY[HEADER.FIELDS (FROM SUBJECT)] {" + std::to_string(kHeader.size()) + "}\r\n" +
    kHeader + ")\r\n"
    "* 4 FETCH (BODY[] {2+}\r\nx\n UID 8)\r\n"
    "* 5 FETCH (BODY[] {0}\r\n UID 9)\r\n"
    "a2 OK done\r\n";

const Responses kExchangeResponses = {
    "* OK [CAPABILITY IMAP4rev1 IDLE] ready",
    "* CAPABILITY IMAP4rev1 IDLE LITERAL+",
    "a1 OK LOGIN completed",
    "* 3 FETCH (UID 7 BODY[HEADER.FIELDS (FROM SUBJECT)] {" + std::to_string(kHeader.size()) + "}\r\n" + kHeader + ")",
    "* 4 FETCH (BODY[] {2+}\r\nx\n UID 8)",
    "* 5 FETCH (BODY[] {0}\r\n UID 9)",
    "a2 OK done",
};

TEST(ImapFramer, ExchangeInOneEventGivesEveryResponse) { EXPECT_EQ(play({kExchange}), kExchangeResponses); }

TEST(ImapFramer, ExchangeCutAnywhereGivesTheSameResponses) {
    const std::string_view text = kExchange;
    for (size_t cut = 1; cut < text.size(); ++cut) {
        ASSERT_EQ(play({text.substr(0, cut), text.substr(cut)}), kExchangeResponses) << "cut at " << cut;
        // and in three pieces, the middle one of one or two bytes
        for (size_t middle = 1; middle <= 2 && cut + middle < text.size(); ++middle) {
            ASSERT_EQ(play({text.substr(0, cut), text.substr(cut, middle), text.substr(cut + middle)}),
                      kExchangeResponses)
                << "cut at " << cut << "+" << middle;
        }
    }
    // One byte per event.
    std::vector<std::string_view> bytes;
    for (size_t at = 0; at < text.size(); ++at) bytes.push_back(text.substr(at, 1));
    EXPECT_EQ(play(bytes), kExchangeResponses);
}

TEST(ImapFramer, OnlyAMarkerAtTheLineEndAnnouncesALiteral) {
    struct Case {
        const char* name;
        std::string bytes;
        Responses expected;
    };
    const std::vector<Case> cases = {
        {"bare LF is no line end", "* OK a\nb\r\nt OK\r\n", {"* OK a\nb", "t OK"}},
        {"CR alone is no line end", "* OK a\rb\r\n", {"* OK a\rb"}},
        {"marker inside the line", "* OK {3} x\r\nt OK\r\n", {"* OK {3} x", "t OK"}},
        {"marker before a bare LF", "* OK {3}\nab\r\n", {"* OK {3}\nab"}},
        {"no digits", "* OK {}\r\n* OK {+}\r\n", {"* OK {}", "* OK {+}"}},
        {"not a number", "* OK {3a}\r\n* OK {-1}\r\n", {"* OK {3a}", "* OK {-1}"}},
        {"no opening brace", "* OK 3}\r\n", {"* OK 3}"}},
        {"marker alone is a line", "{1}\r\nx\r\n", {"{1}\r\nx"}},
        {"leading zeros", "* x {002}\r\nab\r\n", {"* x {002}\r\nab"}},
        {"two literals in a row", "* x {1}\r\na {2}\r\nbc\r\n", {"* x {1}\r\na {2}\r\nbc"}},
        {"literal ends the response", "* x {2}\r\nab\r\nt OK\r\n", {"* x {2}\r\nab", "t OK"}},
        // A literal's own bytes never end the response or announce one.
        {"literal ending in a marker", "* x {5}\r\nab{1}\r\nt OK\r\n", {"* x {5}\r\nab{1}", "t OK"}},
        {"literal holding a marker line", "* x {7}\r\n{1}\r\nab )\r\n", {"* x {7}\r\n{1}\r\nab )"}},
        {"literal ending in CR", "* x {2}\r\na\r\n)\r\n", {"* x {2}\r\na\r\n)"}},
        {"literal of CRLF only", "* x {2}\r\n\r\n\r\n", {"* x {2}\r\n\r\n"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(play({c.bytes}), c.expected) << c.name;
        const std::string_view text = c.bytes;
        for (size_t cut = 1; cut < text.size(); ++cut) {
            EXPECT_EQ(play({text.substr(0, cut), text.substr(cut)}), c.expected) << c.name << " cut at " << cut;
        }
    }
}

TEST(ImapFramer, ResponseIsBoundedWithItsFinalCrLf) {
    constexpr uint32_t kMax = 32;
    // "* " and the text and CRLF: up to 28 bytes of text fit.
    for (size_t length = 24; length <= 34; ++length) {
        const std::string line = "* " + std::string(length, 'x');
        const std::string bytes = line + "\r\nt OK\r\n";
        const Responses expected = length + 4 <= kMax ? Responses{line, "t OK"} : Responses{"TOO LONG"};
        EXPECT_EQ(play({bytes}, kMax), expected) << length;
        const std::string_view text = bytes;
        for (size_t cut = 1; cut < text.size(); ++cut) {
            ASSERT_EQ(play({text.substr(0, cut), text.substr(cut)}, kMax), expected) << length << " cut at " << cut;
        }
    }
    // The bound counts each response on its own, not the event.
    std::string many;
    for (int i = 0; i < 100; ++i) many += "* " + std::to_string(i) + " EXISTS\r\n";
    EXPECT_EQ(play({many}, kMax).size(), 100u);
}

TEST(ImapFramer, LiteralPastTheBoundFailsAtOnce) {
    constexpr uint32_t kMax = 32;
    // "* x {nn}\r\n" is 10 bytes; with the literal and the final CRLF, 20 fit.
    EXPECT_EQ(play({"* x {20}\r\n", std::string(20, 'a'), "\r\n"}, kMax),
              Responses{"* x {20}\r\n" + std::string(20, 'a')});
    // One byte more fails as the marker's line arrives, before any literal byte.
    EXPECT_EQ(play({"* x {21}\r\n"}, kMax), Responses{"TOO LONG"});
    EXPECT_EQ(play({"* x {20+}\r\n"}, kMax), Responses{"TOO LONG"});
    EXPECT_EQ(play({"* x {4294967296}\r\n"}), Responses{"TOO LONG"});
    EXPECT_EQ(play({"* x {99999999999999999999999999}\r\n"}), Responses{"TOO LONG"});
    EXPECT_EQ(play({"* x {1048577}\r\n"}), Responses{"TOO LONG"});
    // A response made long by its bytes after a literal fails as well.
    EXPECT_EQ(play({"* x {2}\r\nab" + std::string(30, 'y') + "\r\n"}, kMax), Responses{"TOO LONG"});
}

TEST(ImapFramer, EventWithoutBytesIsEmptyEvenMidResponse) {
    EXPECT_EQ(play({""}), Responses{"EMPTY"});
    EXPECT_EQ(play({"* OK", ""}), Responses{"EMPTY"});
    EXPECT_EQ(play({"* x {3}\r\na", ""}), Responses{"EMPTY"});
}

TEST(ImapFramer, ClearForgetsAHalfResponse) {
    ImapFramer framer(64);
    // In a line, in a literal, right after a CR.
    for (const char* half : {"* OK half", "* x {10}\r\nabc", "* OK\r"}) {
        EXPECT_EQ(play(framer, {half}), Responses{}) << half;
        framer.clear();
        EXPECT_EQ(play(framer, {"\nt OK\r\n", "u OK\r\n"}), (Responses{"\nt OK", "u OK"})) << half;
        framer.clear();
    }
    // And a failed response leaves nothing behind.
    EXPECT_EQ(play(framer, {"* x {100}\r\n"}), Responses{"TOO LONG"});
    EXPECT_EQ(play(framer, {"t OK\r\n"}), Responses{"t OK"});
}

TEST(ImapFramer, ResponseInOneEventIsHandedOverWithoutACopy) {
    ImapFramer framer;
    const std::string event = "* 1 EXISTS\r\nt OK\r\n";
    ASSERT_EQ(framer.add(event), Result::Complete);
    EXPECT_EQ(framer.reply().data(), event.data());
    ASSERT_EQ(framer.next(), Result::Complete);
    EXPECT_EQ(framer.reply().data(), event.data() + 12);
    EXPECT_EQ(framer.next(), Result::Incomplete);
}

}  // namespace
}  // namespace postrix::mail
