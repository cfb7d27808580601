// IMAP commands as the pieces to send, their arguments quoted or as
// literals, and mailbox names in modified UTF-7.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imap/imap_string.h"

namespace postrix::imap {
namespace {

using Pieces = std::vector<std::string>;

TEST(ImapString, ArgumentsAreQuotedOrLiterals) {
    EXPECT_EQ(buildCommand("a1", "CAPABILITY", {}).pieces, Pieces{"a1 CAPABILITY\r\n"});
    EXPECT_EQ(buildCommand("a2", "LOGIN", {"joe", "p a\\ss"}).pieces, Pieces{"a2 LOGIN \"joe\" \"p a\\\\ss\"\r\n"});
    EXPECT_EQ(buildCommand("a3", "SELECT", {""}).pieces, Pieces{"a3 SELECT \"\"\r\n"});
    EXPECT_EQ(buildCommand("a4", "UID FETCH", {"1:*"}).pieces, Pieces{"a4 UID FETCH \"1:*\"\r\n"});
    // Each literal ends its piece with the marker; the bytes open the next.
    EXPECT_EQ(buildCommand("a5", "LOGIN", {"jo\"e", "p\xc3\xa4ss"}).pieces,
              (Pieces{"a5 LOGIN {4}\r\n", "jo\"e {5}\r\n", "p\xc3\xa4ss\r\n"}));
    EXPECT_EQ(buildCommand("a6", "LOGIN", {"joe", "line\r\nbreak"}).pieces,
              (Pieces{"a6 LOGIN \"joe\" {11}\r\n", "line\r\nbreak\r\n"}));
    EXPECT_EQ(buildCommand("a7", "LOGIN", {"x\ty", "z"}).pieces, (Pieces{"a7 LOGIN {3}\r\n", "x\ty \"z\"\r\n"}));
}

TEST(ImapString, LiteralOnlyForWhatAQuotedStringCannotHold) {
    struct Case {
        std::string text;
        bool literal;
    };
    const std::vector<Case> cases = {
        {"", false},         {"plain text", false}, {"back\\slash", false}, {"~!#$%&'()*+,-./:;<=>?@[]^_`{|}", false},
        {"\"", true},        {"a\rb", true},        {"a\nb", true},          {std::string("a\0b", 3), true},
        {"tab\t", true},     {"\x7f", true},        {"\x1f", true},          {"\xc3\xa4", true},
        {"\xff", true},
    };
    for (const Case& c : cases) EXPECT_EQ(needsLiteral(c.text), c.literal) << c.text;
}

TEST(ImapString, MailboxNamesInModifiedUtf7) {
    struct Case {
        std::string utf8;
        std::string encoded;
    };
    const std::vector<Case> cases = {
        {"INBOX", "INBOX"},
        {"", ""},
        {"~peter/mail/\xe5\x8f\xb0\xe5\x8c\x97/\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e", "~peter/mail/&U,BTFw-/&ZeVnLIqe-"},
        {"&", "&-"},
        {"Tom & Jerry", "Tom &- Jerry"},
        {"Entw\xc3\xbc" "rfe", "Entw&APw-rfe"},
        {"\xc3\xbc&", "&APw-&-"},
        {"\xce\xa9", "&A6k-"},
        // A character outside the BMP goes as its surrogate pair.
        {"\xf0\x9f\x98\x80", "&2D3eAA-"},
        {"\xc3\xa4\xc3\xb6\xc3\xbc\xf0\x9f\x98\x80x", "&AOQA9gD82D3eAA-x"},
        // Controls are no printable ASCII either.
        {"a\tb", "a&AAk-b"},
        // Ill-formed UTF-8 is U+FFFD.
        {"a\xff" "b", "a&,,0-b"},
        {"\xe5\x8f", "&,,0-"},
    };
    for (const Case& c : cases) EXPECT_EQ(encodeMailboxName(c.utf8), c.encoded) << c.utf8;
}

}  // namespace
}  // namespace postrix::imap
