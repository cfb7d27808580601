// What the session learns from EHLO replies: the SIZE limit and the AUTH
// mechanisms, from replies servers send and from malformed ones.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "smtp/ehlo_capabilities.h"

namespace postrix::smtp {
namespace {

TEST(EhloCapabilities, SizeLimit) {
    const std::pair<std::string, std::optional<std::uint64_t>> cases[] = {
        {"250 SIZE 10240000\r\n", 10240000},
        {"250 size\t000512  \r\n", 512},
        {"250-SIZE 100 200\r\n250 HELP\r\n", 100},
        // Announced without a fixed limit, also where no limit can be read.
        {"250 SIZE\r\n", 0},
        {"250 SIZE 0\r\n", 0},
        {"250 SIZE 10M\r\n", 0},
        {"250 SIZE -5\r\n", 0},
        {"250 SIZE 18446744073709551615\r\n", UINT64_MAX},
        {"250 SIZE 18446744073709551616\r\n", 0},
        // Not announced: another keyword, another code, no separator.
        {"250 PIPELINING\r\n", std::nullopt},
        {"250 SIZEX 100\r\n", std::nullopt},
        {"251-SIZE 80\r\n250 HELP\r\n", std::nullopt},
        {"250SIZE 81\r\n", std::nullopt},
        {"25\r\n\r\n250 \r\n", std::nullopt},
        // Bare LF line ends, no line end at all, a repeated keyword.
        {"250-SIZE 78\n250 HELP\n", 78},
        {"250 SIZE 79", 79},
        {"250-SIZE 100\r\n250 SIZE 200\r\n", 200},
    };
    for (const auto& [lines, size] : cases) {
        EXPECT_EQ(parseEhloReply("250-mx.example.com\r\n" + lines).size, size) << lines;
    }
    // The first line names the server, whatever it says.
    EXPECT_EQ(parseEhloReply("250-SIZE 100\r\n250 HELP\r\n").size, std::nullopt);
    EXPECT_EQ(parseEhloReply("").size, std::nullopt);
}

TEST(EhloCapabilities, AuthMechanismsOfBothFormsOnceInOrder) {
    const EhloCapabilities caps = parseEhloReply(
        "250-mx\r\n250-AUTH PLAIN login\r\n250-auth=LOGIN cram-md5\r\n250-AUTHX GSSAPI\r\n250 AUTH\r\n");
    EXPECT_EQ(caps.authMechanisms, (std::vector<std::string>{"PLAIN", "LOGIN", "CRAM-MD5"}));
    EXPECT_TRUE(parseEhloReply("250-mx\r\n250 SIZE 5\r\n").authMechanisms.empty());
}

}  // namespace
}  // namespace postrix::smtp
