// Reads the responses of an IMAP server as the framer hands them over:
// which kind a response is, its tag, number, name, response code and text,
// and what the data of a CAPABILITY or FETCH response says. Every reader
// takes any bytes: it never reads past their end, never throws, and answers
// nothing where the bytes are malformed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace postrix::imap {

// One response as the framer gives it; the views point into its bytes.
struct ImapResponse {
    enum class Kind { Tagged, Untagged, Continuation };
    Kind kind = Kind::Untagged;
    std::string_view tag;            // Tagged: the tag
    std::optional<uint32_t> number;  // Untagged "* 23 EXISTS": 23 (message data with a number)
    std::string name;                // upper-cased: "OK","NO","BAD","BYE","PREAUTH" for status
                                     // responses (tagged or untagged); "CAPABILITY","FLAGS",
                                     // "EXISTS","RECENT","EXPUNGE","FETCH", ... for data; empty
                                     // for a continuation
    std::string code;                // status responses and continuations: the response code
                                     // inside [...] as sent, e.g. "UIDVALIDITY 3857529045" or
                                     // "READ-ONLY"; empty if none
    std::string_view text;           // status responses and continuations: the human text after
                                     // the code; data responses: everything after the name
                                     // (e.g. CAPABILITY's atoms, FETCH's "(UID 5 BODY[...] {n}..)")

    // Whether name is OK, NO, BAD, BYE or PREAUTH.
    bool isStatus() const;
};

// Nothing when the bytes are no IMAP response at all: no "* ", "+" or
// "<tag> " start, or an untagged number that is no 32-bit number followed by
// a name.
std::optional<ImapResponse> parseResponse(std::string_view response);

// The atoms of a CAPABILITY response's text or of a "[CAPABILITY ...]" code
// (with or without its brackets and leading CAPABILITY), upper-cased, in the
// order sent.
std::vector<std::string> parseCapabilities(std::string_view atoms);

// A response code's number: "UIDVALIDITY 38" with name "UIDVALIDITY" gives
// 38; nothing when the code is another or the number is not a valid
// nz-number fitting 32 bits. The name matches in any letter case.
std::optional<uint32_t> codeNumber(std::string_view code, std::string_view name);

// What a FETCH response's data says.
struct FetchData {
    std::optional<uint32_t> uid;
    // The bytes of the first BODY[...] item: a quoted string unescaped, a
    // literal as it came, NIL as an empty text.
    std::optional<std::string> header;
};

// The data of a FETCH response (its text after "FETCH "): a parenthesized
// list of items in any order, of which UID and the first BODY[...] are kept
// and any other (FLAGS (...), RFC822.SIZE n, INTERNALDATE "...", MODSEQ (n),
// nested lists) is passed over. Nothing when the data is malformed:
// unbalanced or too deeply nested lists, a literal whose count does not
// match its bytes, a bad number or string, bytes after the list.
std::optional<FetchData> parseFetch(std::string_view data);

}  // namespace postrix::imap
