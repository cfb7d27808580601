// The password read from standard input: the first line, exactly.
#include "cli/password_input.h"

#include <gtest/gtest.h>

#include <sstream>

namespace joxhost {
namespace {

TEST(PasswordInput, TakesTheFirstLineWithoutItsEnd) {
    std::istringstream windows("tajne hasło\r\nsecond\n");
    EXPECT_EQ(firstLine(windows), "tajne hasło");
    std::istringstream unterminated("secret");
    EXPECT_EQ(firstLine(unterminated), "secret");
    std::istringstream empty("");
    EXPECT_EQ(firstLine(empty), "");
    std::istringstream spaces(" a b \n");
    EXPECT_EQ(firstLine(spaces), " a b ");  // blanks belong to the password
}

}  // namespace
}  // namespace joxhost
