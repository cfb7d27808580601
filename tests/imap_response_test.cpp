// Reading IMAP responses: kinds, tags, numbers, names, codes and texts; the
// atoms of a capability list, a code's number, and a FETCH's UID and header.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imap/imap_response.h"

namespace postrix::imap {
namespace {

using namespace std::string_literals;
using Kind = ImapResponse::Kind;

TEST(ImapResponse, KindsTagsNamesCodesAndTexts) {
    struct Case {
        std::string bytes;
        Kind kind;
        std::string tag;
        std::optional<uint32_t> number;
        std::string name, code, text;
        bool status;
    };
    const std::vector<Case> cases = {
        {"* OK [CAPABILITY IMAP4rev1 IDLE] Dovecot ready.", Kind::Untagged, "", {}, "OK",
         "CAPABILITY IMAP4rev1 IDLE", "Dovecot ready.", true},
        {"* PREAUTH hello", Kind::Untagged, "", {}, "PREAUTH", "", "hello", true},
        {"* bye [ALERT] going down", Kind::Untagged, "", {}, "BYE", "ALERT", "going down", true},
        {"a1 OK [READ-ONLY] SELECT completed", Kind::Tagged, "a1", {}, "OK", "READ-ONLY", "SELECT completed", true},
        {"a2 NO [AUTHENTICATIONFAILED] Invalid credentials", Kind::Tagged, "a2", {}, "NO", "AUTHENTICATIONFAILED",
         "Invalid credentials", true},
        {"A.3 bad", Kind::Tagged, "A.3", {}, "BAD", "", "", true},
        {"a4 OK [UIDVALIDITY 3857529045]", Kind::Tagged, "a4", {}, "OK", "UIDVALIDITY 3857529045", "", true},
        {"a5 OK [unclosed code", Kind::Tagged, "a5", {}, "OK", "", "[unclosed code", true},
        {"* CAPABILITY IMAP4rev1 STARTTLS AUTH=PLAIN", Kind::Untagged, "", {}, "CAPABILITY", "",
         "IMAP4rev1 STARTTLS AUTH=PLAIN", false},
        {"* FLAGS (\\Answered \\Seen)", Kind::Untagged, "", {}, "FLAGS", "", "(\\Answered \\Seen)", false},
        {"* 23 EXISTS", Kind::Untagged, "", 23, "EXISTS", "", "", false},
        {"* 0 exists", Kind::Untagged, "", 0, "EXISTS", "", "", false},
        {"* 4294967295 RECENT", Kind::Untagged, "", 4294967295u, "RECENT", "", "", false},
        {"* 4 FETCH (UID 9 BODY[] {1}\r\nx)", Kind::Untagged, "", 4, "FETCH", "", "(UID 9 BODY[] {1}\r\nx)", false},
        {"* 3 EXPUNGE", Kind::Untagged, "", 3, "EXPUNGE", "", "", false},
        {"+ idling", Kind::Continuation, "", {}, "", "", "idling", false},
        {"+", Kind::Continuation, "", {}, "", "", "", false},
        {"+ [ALERT] go on", Kind::Continuation, "", {}, "", "ALERT", "go on", false},
        {"+ YGgGCSqGSIb3EgECAgIBAAD/////6jcyG4GE3KkTzmeTxX", Kind::Continuation, "", {}, "", "",
         "YGgGCSqGSIb3EgECAgIBAAD/////6jcyG4GE3KkTzmeTxX", false},
    };
    for (const Case& c : cases) {
        const std::optional<ImapResponse> response = parseResponse(c.bytes);
        ASSERT_TRUE(response) << c.bytes;
        EXPECT_EQ(response->kind, c.kind) << c.bytes;
        EXPECT_EQ(response->tag, c.tag) << c.bytes;
        EXPECT_EQ(response->number, c.number) << c.bytes;
        EXPECT_EQ(response->name, c.name) << c.bytes;
        EXPECT_EQ(response->code, c.code) << c.bytes;
        EXPECT_EQ(response->text, c.text) << c.bytes;
        EXPECT_EQ(response->isStatus(), c.status) << c.bytes;
    }
}

TEST(ImapResponse, NoImapResponseGivesNothing) {
    for (const std::string& bytes : {""s, "*"s, "*OK"s, " a1 OK"s, "a1"s, "a(1 OK"s, "a\"1 OK"s, "* 4294967296 EXISTS"s,
                                    "* 23"s, "* 23 "s, "* 2x3 EXISTS"s, "a\0 OK"s, "\x80 OK"s}) {
        EXPECT_FALSE(parseResponse(bytes)) << bytes;
    }
}

TEST(ImapResponse, CapabilitiesAndCodeNumbers) {
    using Atoms = std::vector<std::string>;
    EXPECT_EQ(parseCapabilities("IMAP4rev1 starttls  AUTH=PLAIN idle"),
              (Atoms{"IMAP4REV1", "STARTTLS", "AUTH=PLAIN", "IDLE"}));
    EXPECT_EQ(parseCapabilities("CAPABILITY IMAP4rev1 IDLE"), (Atoms{"IMAP4REV1", "IDLE"}));
    EXPECT_EQ(parseCapabilities("[CAPABILITY IMAP4rev1]"), Atoms{"IMAP4REV1"});
    EXPECT_EQ(parseCapabilities(""), Atoms{});

    struct Case {
        const char* code;
        const char* name;
        std::optional<uint32_t> number;
    };
    const std::vector<Case> cases = {
        {"UIDVALIDITY 38", "UIDVALIDITY", 38},
        {"uidnext 4294967295", "UIDNEXT", 4294967295u},
        {"APPENDUID 38 1", "APPENDUID", 38},
        {"UIDVALIDITY 38", "UIDNEXT", {}},
        {"UIDVALIDITY", "UIDVALIDITY", {}},
        {"UIDVALIDITY 0", "UIDVALIDITY", {}},
        {"UIDVALIDITY 038", "UIDVALIDITY", {}},
        {"UIDVALIDITY 4294967296", "UIDVALIDITY", {}},
        {"UIDVALIDITY 3x", "UIDVALIDITY", {}},
        {"UIDVALIDITY -3", "UIDVALIDITY", {}},
        {"UIDVALIDITYX 3", "UIDVALIDITY", {}},
        {"", "UIDVALIDITY", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(codeNumber(c.code, c.name), c.number) << c.code;
}

TEST(ImapResponse, FetchGivesUidAndHeaderWhateverTheItems) {
    const std::string header = "From: a@b.example\r\nSubject: x {3}\r\n\r\n";
    const std::string literal = "{" + std::to_string(header.size()) + "}\r\n" + header;
    struct Case {
        std::string data;
        std::optional<uint32_t> uid;
        std::optional<std::string> header;
    };
    const std::vector<Case> cases = {
        {"(UID 5 BODY[HEADER.FIELDS (FROM SUBJECT DATE)] " + literal + ")", 5, header},
        {"(BODY[HEADER.FIELDS (FROM SUBJECT DATE)] " + literal + " UID 5)", 5, header},
        {"(FLAGS (\\Seen \\*) RFC822.SIZE 4410 INTERNALDATE \"17-Jul-1996 02:44:25 -0700\" MODSEQ (624140003) "
         "BODY[HEADER] " + literal + " uid 4294967295)",
         4294967295u, header},
        {"(UID 6 BODY[] NIL)", 6, ""},
        {"(UID 6 BODY[HEADER] \"Subject: \\\"q\\\" \\\\ x\")", 6, "Subject: \"q\" \\ x"},
        {"(UID 6 BODY[HEADER] \"\")", 6, ""},
        {"(UID 7 BODY[]<0> {3+}\r\nab))", 7, "ab)"},
        {"(UID 7 BODY[HEADER.FIELDS (\"X-A]\")] {0}\r\n)", 7, ""},
        // The first BODY[...] counts; later ones are passed over.
        {"(BODY[1] \"one\" BODY[2] \"two\" UID 8)", 8, "one"},
        {"(UID 9)", 9, {}},
        {"(BODYSTRUCTURE (\"TEXT\" \"PLAIN\" (\"CHARSET\" \"US-ASCII\") NIL NIL \"7BIT\" 3028 92) UID 10)", 10, {}},
        {"(X-NESTED (((a) (b {1}\r\n))) \"(\") UID 11)", 11, {}},
        {"()", {}, {}},
        {"( UID  12 )", 12, {}},
    };
    for (const Case& c : cases) {
        const std::optional<FetchData> fetch = parseFetch(c.data);
        ASSERT_TRUE(fetch) << c.data;
        EXPECT_EQ(fetch->uid, c.uid) << c.data;
        EXPECT_EQ(fetch->header, c.header) << c.data;
    }
}

TEST(ImapResponse, MalformedFetchGivesNothing) {
    const std::string deep = std::string(33, '(') + std::string(33, ')');
    const std::string deepEnough = std::string(31, '(') + std::string(31, ')');
    EXPECT_TRUE(parseFetch("(X " + deepEnough + " UID 1)"));
    for (const std::string& data : {
             ""s, "UID 5"s, "("s, "(UID 5"s, "(UID 5))"s, "(UID 5) x"s, "(UID)"s, "(UID x)"s, "(UID 0)"s,
             "(UID 4294967296)"s, "(UID (5))"s, "(FLAGS (\\Seen)"s, "(FLAGS ((\\Seen) UID 5)"s,
             "(BODY[] {5}\r\nab)"s, "(BODY[] {2}ab)"s, "(BODY[] {2}\nab)"s, "(BODY[] {x}\r\nab)"s,
             "(BODY[] {99999999999}\r\nab)"s, "(BODY[] {2)"s, "(BODY[] \"open)"s, "(BODY[] \"a\\x\")"s,
             "(BODY[] \"a\r\nb\")"s, "(BODY[] \"a\\"s, "(BODY[HEADER ab)"s, "(BODY[]<0 \"a\")"s,
             "(BODY[] (a))"s, "(BODY[] abc)"s, "(BODY[])"s, "(X " + deep + " UID 1)"s, "(UID 1 X ])"s}) {
        EXPECT_FALSE(parseFetch(data)) << data;
    }
}

}  // namespace
}  // namespace postrix::imap
