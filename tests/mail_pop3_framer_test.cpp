// The POP3 framer's line-by-line body: lines handed over as they arrive,
// however the events cut them, each bounded on its own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/pop3_framer.h"

namespace postrix::mail {
namespace {

using Result = ReplyFramer::Result;

// Plays the channel: the events go to the framer, the first status line
// starts a line-by-line body. What came out, one entry per part: "S:" the
// status line, "L:" a body line, "END", "TOO LONG".
std::vector<std::string> play(const std::vector<std::string_view>& events, uint32_t maxLength = 1024) {
    Pop3Framer framer(maxLength);
    std::vector<std::string> parts;
    bool inBody = false;
    for (std::string_view event : events) {
        for (Result result = framer.add(event); result != Result::Incomplete; result = framer.next()) {
            if (result != Result::Complete) {
                parts.push_back(result == Result::TooLong ? "TOO LONG" : "EMPTY");
                return parts;
            }
            if (!inBody) {
                parts.push_back("S:" + std::string(framer.reply()));
                framer.readLines();
                inBody = true;
            } else if (framer.bodyEnded()) {
                parts.push_back("END");
            } else {
                parts.push_back("L:" + std::string(framer.reply()));
            }
        }
    }
    return parts;
}

TEST(Pop3Framer, LinesAreUnstuffedAndOnlyCrLfEndsThem) {
    using namespace std::string_literals;
    const std::string reply = "+OK 5\r\n1 a\r\n..\r\n...x\r\n\r\n2 b\nc\r\n3 \0d\r\nx\r.\r\n.\r\nafter\r\n"s;
    const std::vector<std::string> expected = {
        "S:+OK 5", "L:1 a", "L:.", "L:..x", "L:", "L:2 b\nc", std::string("L:3 \0d", 6), "L:x\r.", "END"};
    EXPECT_EQ(play({reply}), expected);
}

TEST(Pop3Framer, ListingCutAnywhereGivesTheSameLines) {
    const std::string reply = "+OK\r\n1 a\r\n2 bb\r\n..3 c\r\n\r\n4 d\n\r\n5 e\r\r\n.\r\n";
    const std::vector<std::string> whole = play({reply});
    ASSERT_EQ(whole.size(), 8u);
    ASSERT_EQ(whole.back(), "END");
    const std::string_view text = reply;
    for (size_t cut = 1; cut < reply.size(); ++cut) {
        EXPECT_EQ(play({text.substr(0, cut), text.substr(cut)}), whole) << "cut at " << cut;
        // and in three pieces, the middle one of two bytes
        if (cut + 3 <= reply.size()) {
            EXPECT_EQ(play({text.substr(0, cut), text.substr(cut, 2), text.substr(cut + 2)}), whole) << cut;
        }
    }
}

TEST(Pop3Framer, EachLineIsBoundedOnItsOwnNotTheListing) {
    // Lines of length L + CRLF at a bound of 32: up to 30 bytes fit.
    constexpr uint32_t kMax = 32;
    for (size_t length = 24; length <= 36; ++length) {
        const std::string line(length, 'x');
        const std::string reply = "+OK\r\n1 a\r\n" + line + "\r\n2 b\r\n.\r\n";
        const bool fits = length + 2 <= kMax;
        const std::vector<std::string> expected =
            fits ? std::vector<std::string>{"S:+OK", "L:1 a", "L:" + line, "L:2 b", "END"}
                 : std::vector<std::string>{"S:+OK", "L:1 a", "TOO LONG"};
        EXPECT_EQ(play({reply}, kMax), expected) << length;
        for (size_t cut = 1; cut < reply.size(); ++cut) {
            const std::string_view text = reply;
            ASSERT_EQ(play({text.substr(0, cut), text.substr(cut)}, kMax), expected) << length << " cut at " << cut;
        }
    }
    // A listing far longer than the bound passes, line by line.
    std::string listing = "+OK\r\n";
    for (int i = 1; i <= 1000; ++i) listing += std::to_string(i) + " id" + std::to_string(i) + "\r\n";
    const std::vector<std::string> parts = play({listing + ".\r\n"}, kMax);
    ASSERT_EQ(parts.size(), 1002u);
    EXPECT_EQ(parts[1000], "L:1000 id1000");
    EXPECT_EQ(parts.back(), "END");
}

TEST(Pop3Framer, StatusLineIsBoundedAndWaitsForItsCrLf) {
    EXPECT_EQ(play({"+OK", " ready\r", "\n"}), std::vector<std::string>{"S:+OK ready"});
    EXPECT_EQ(play({"+OK\nstill\r\n"}), std::vector<std::string>{"S:+OK\nstill"});
    EXPECT_EQ(play({std::string(14, '+') + "\r\n"}, 16), std::vector<std::string>{"S:" + std::string(14, '+')});
    EXPECT_EQ(play({std::string(15, '+') + "\r\n"}, 16), std::vector<std::string>{"TOO LONG"});
    EXPECT_EQ(play({std::string(15, '+'), "\r"}, 16), std::vector<std::string>{"TOO LONG"});
    EXPECT_EQ(play({""}), std::vector<std::string>{"EMPTY"});
}

TEST(Pop3Framer, WholeBodyStillCollectsUpToTheTerminatingLine) {
    Pop3Framer framer;
    ASSERT_EQ(framer.add("+OK\r\nSubject: a\r\n"), Result::Complete);
    framer.readBody();
    EXPECT_EQ(framer.next(), Result::Incomplete);
    EXPECT_EQ(framer.add(""), Result::Incomplete);
    ASSERT_EQ(framer.add("\r\n.\r\n"), Result::Complete);
    EXPECT_EQ(framer.reply(), "Subject: a\r\n\r\n.\r\n");
    // The next status line starts afresh.
    ASSERT_EQ(framer.add("+OK again\r\n"), Result::Complete);
    EXPECT_EQ(framer.reply(), "+OK again");
}

}  // namespace
}  // namespace postrix::mail
