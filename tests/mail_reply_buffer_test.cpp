// The reply buffer's bound and its completion test.
#include <gtest/gtest.h>

#include "mail/reply_buffer.h"

namespace postrix::mail {
namespace {

TEST(ReplyBuffer, RefusesToGrowPastItsLimit) {
    EXPECT_EQ(ReplyBuffer::kDefaultMaxLength, 64u * 1024 * 1024);
    ReplyBuffer buffer(200);
    EXPECT_TRUE(buffer.append(std::string(150, 'x')));
    EXPECT_FALSE(buffer.append(std::string(51, 'y')));
    EXPECT_EQ(buffer.length(), 150u);
    EXPECT_TRUE(buffer.append(std::string(50, 'y')));
    EXPECT_FALSE(buffer.append("z"));
    EXPECT_EQ(buffer.length(), 200u);
}

TEST(ReplyBuffer, CompleteAtTheTerminatingLineOnly) {
    struct Case {
        const char* text;
        bool complete;
    };
    const Case cases[] = {
        {".\r\n", true},          {"1 a\r\n.\r\n", true}, {"1 a\r\n.\r", false}, {"1 a\r\n.", false},
        {"1 a\r\n", false},       {"", false},            {"x.\r\n", false},     {"1 a\r\n..\r\n", false},
        {"\r\n.\r\n", true},
    };
    for (const Case& c : cases) {
        ReplyBuffer buffer;
        buffer.append(c.text);
        EXPECT_EQ(buffer.complete(), c.complete) << c.text;
    }
}

}  // namespace
}  // namespace postrix::mail
