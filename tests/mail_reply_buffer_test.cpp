// The reply buffer's growth, bound and completion test.
#include <gtest/gtest.h>

#include "mail/reply_buffer.h"

namespace postrix::mail {
namespace {

TEST(ReplyBuffer, CapacityGrowsToTheNextPowerOfTwoAboveTheLength) {
    struct Case {
        size_t first, second;  // two appends
        uint32_t capacity;
    };
    const Case cases[] = {
        {0, 0, 128}, {127, 0, 128}, {128, 0, 256}, {100, 28, 256}, {100, 27, 128}, {255, 0, 256},
        {256, 0, 512}, {300, 1000, 2048},
    };
    for (const Case& c : cases) {
        ReplyBuffer buffer;
        ASSERT_TRUE(buffer.append(std::string(c.first, 'a')));
        ASSERT_TRUE(buffer.append(std::string(c.second, 'b')));
        EXPECT_EQ(buffer.capacity(), c.capacity) << c.first << "+" << c.second;
        EXPECT_EQ(buffer.view(), std::string(c.first, 'a') + std::string(c.second, 'b'));
        EXPECT_EQ(buffer.c_str()[buffer.length()], '\0');
    }
}

TEST(ReplyBuffer, ClearKeepsTheCapacity) {
    ReplyBuffer buffer;
    buffer.append(std::string(300, 'x'));
    buffer.clear();
    EXPECT_EQ(buffer.length(), 0u);
    EXPECT_EQ(buffer.capacity(), 512u);
    EXPECT_STREQ(buffer.c_str(), "");
}

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
