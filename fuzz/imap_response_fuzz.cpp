// libFuzzer entry point: IMAP responses framed and read. One input is a
// bound for a response and a stream of responses, each of fuzzer-chosen
// bytes or in a response's shape (tagged, untagged, continuation, status
// with a code, FETCH data with literals of right or wrong counts, nested
// lists), cut into up to eight data events anywhere; then FETCH responses
// and commands built from fuzzer-chosen values. It checks:
// - the framer hands over exactly the responses and the too-long response
//   that a plain reading of the whole bytes finds, however the events cut
//   them, and never Empty for an event with bytes;
// - every framed response is read without a fault;
// - a FETCH response built from a UID, a header (as a literal, a quoted
//   string or NIL) and other items in any order gives that UID and header
//   back;
// - a command's arguments, quoted or as literals, read back as they were,
//   and a mailbox name encodes to printable ASCII only.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_host.h"
#include "imap/imap_response.h"
#include "imap/imap_string.h"
#include "mail/imap_framer.h"

namespace {

using postrix::imap::FetchData;
using postrix::imap::ImapResponse;
using postrix::mail::ImapFramer;
using Result = postrix::mail::ReplyFramer::Result;

struct Reading {
    std::vector<std::string> responses;
    bool tooLong = false;
    bool operator==(const Reading&) const = default;
};

// The count of a literal marker ending line, if one does.
std::optional<uint64_t> markerAtEnd(std::string_view line) {
    if (!line.ends_with('}')) return std::nullopt;
    line.remove_suffix(1);
    if (line.ends_with('+')) line.remove_suffix(1);
    const size_t brace = line.rfind('{');
    if (brace == std::string_view::npos || brace + 1 == line.size()) return std::nullopt;
    uint64_t count = 0;
    for (char c : line.substr(brace + 1)) {
        if (c < '0' || c > '9') return std::nullopt;
        count = std::min<uint64_t>(count * 10 + static_cast<uint64_t>(c - '0'), uint64_t{1} << 40);
    }
    return count;
}

// The whole stream at once: lines up to CRLF, continued past literals, each
// response with its final CRLF within the bound.
Reading readWhole(std::string_view bytes, size_t maxLength) {
    Reading reading;
    size_t start = 0;
    size_t lineStart = 0;
    for (;;) {
        const size_t crlf = bytes.find("\r\n", lineStart);
        if (crlf == std::string_view::npos) {
            reading.tooLong = bytes.size() - start >= maxLength;
            return reading;
        }
        const size_t length = crlf + 2 - start;
        if (length > maxLength) {
            reading.tooLong = true;
            return reading;
        }
        if (const std::optional<uint64_t> literal = markerAtEnd(bytes.substr(lineStart, crlf - lineStart))) {
            if (*literal + 2 > maxLength - length) {
                reading.tooLong = true;
                return reading;
            }
            lineStart = crlf + 2 + *literal;
            if (lineStart > bytes.size()) return reading;
            continue;
        }
        reading.responses.emplace_back(bytes.substr(start, crlf - start));
        start = lineStart = crlf + 2;
    }
}

// Reads a framed response as the session would.
void readResponse(std::string_view bytes) {
    const std::optional<ImapResponse> response = postrix::imap::parseResponse(bytes);
    if (!response) return;
    const auto within = [bytes](std::string_view part) {
        return part.empty() || (part.data() >= bytes.data() && part.data() + part.size() <= bytes.data() + bytes.size());
    };
    FUZZ_CHECK(within(response->tag) && within(response->text));
    if (response->kind == ImapResponse::Kind::Tagged) FUZZ_CHECK(!response->tag.empty());
    if (response->kind == ImapResponse::Kind::Continuation) FUZZ_CHECK(response->name.empty());
    if (response->name == "FETCH") {
        if (const std::optional<FetchData> fetch = postrix::imap::parseFetch(response->text)) {
            if (fetch->uid) FUZZ_CHECK(*fetch->uid != 0);
            if (fetch->header) FUZZ_CHECK(fetch->header->size() <= bytes.size());
        }
    } else if (response->name == "CAPABILITY") {
        for (const std::string& atom : postrix::imap::parseCapabilities(response->text)) FUZZ_CHECK(!atom.empty());
    }
    if (const std::optional<uint32_t> number = postrix::imap::codeNumber(response->code, "UIDVALIDITY"))
        FUZZ_CHECK(*number != 0);
    (void)postrix::imap::parseCapabilities(response->code);
}

// The stream in the given events, through the framer as the channel drives it.
Reading readInEvents(ImapFramer& framer, const std::vector<std::string_view>& events) {
    Reading reading;
    for (std::string_view event : events) {
        for (Result result = framer.add(event); result != Result::Incomplete; result = framer.next()) {
            FUZZ_CHECK(result != Result::Empty);
            if (result == Result::TooLong) {
                reading.tooLong = true;
                return reading;
            }
            reading.responses.emplace_back(framer.reply());
            readResponse(framer.reply());
        }
    }
    return reading;
}

const char* const kStarts[] = {"* ", "+ ", "+", "a1 ", "* 1 ", "* 4294967296 ", "A.2 ", "* 0 "};
const char* const kWords[] = {"OK",        "NO",          "BAD",         "BYE",     "PREAUTH",     "CAPABILITY",
                              "EXISTS",    "FETCH",       "(",           ")",       "UID",         "7",
                              "BODY[]",    "BODY[HEADER.FIELDS (FROM)]", "NIL",     "\"q\\\"\"",   "[UIDVALIDITY 3]",
                              "[READ-ONLY]", "FLAGS",     "(\\Seen)",    "{0}\r\n", "{3}\r\nabc",  "{5}\r\nab",
                              "{2+}\r\n\r\n", "BODY[]<0>", "\"",         "]",       "[",           "IMAP4rev1"};

std::string responseBytes(FuzzedDataProvider& in) {
    if (in.ConsumeBool()) return in.ConsumeRandomLengthString(600);
    std::string bytes = in.PickValueInArray(kStarts);
    const int words = in.ConsumeIntegralInRange(0, 12);
    for (int i = 0; i < words; ++i) {
        if (i > 0 && in.ConsumeBool()) bytes += ' ';
        bytes += in.ConsumeBool() ? std::string(in.PickValueInArray(kWords)) : in.ConsumeRandomLengthString(20);
    }
    if (in.ConsumeIntegralInRange(0, 7) > 0) bytes += "\r\n";
    return bytes;
}

std::vector<std::string_view> cutIntoEvents(FuzzedDataProvider& in, std::string_view bytes) {
    std::vector<size_t> cuts;
    const int pieces = in.ConsumeIntegralInRange(1, 8);
    for (int i = 1; i < pieces && !bytes.empty(); ++i) cuts.push_back(in.ConsumeIntegralInRange<size_t>(0, bytes.size()));
    std::sort(cuts.begin(), cuts.end());
    std::vector<std::string_view> events;
    size_t from = 0;
    for (size_t cut : cuts) {
        if (cut > from) events.push_back(bytes.substr(from, cut - from));
        from = std::max(from, cut);
    }
    if (from < bytes.size()) events.push_back(bytes.substr(from));
    return events;
}

// An IMAP string for a value: quoted where it can be, else a literal.
std::string stringFor(FuzzedDataProvider& in, const std::string& value) {
    const bool quotable = value.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
    if (quotable && in.ConsumeBool()) {
        std::string quoted = "\"";
        for (char c : value) {
            if (c == '\\' || c == '"') quoted += '\\';
            quoted += c;
        }
        return quoted + "\"";
    }
    return "{" + std::to_string(value.size()) + (in.ConsumeBool() ? "+" : "") + "}\r\n" + value;
}

// A FETCH response from known values, its items in a chosen order.
void checkBuiltFetch(FuzzedDataProvider& in) {
    const auto uid = in.ConsumeIntegralInRange<uint32_t>(1, UINT32_MAX);
    const bool nil = in.ConsumeIntegralInRange(0, 5) == 0;
    const std::string header = nil ? "" : in.ConsumeRandomLengthString(300);
    std::vector<std::string> items = {
        "UID " + std::to_string(uid),
        "BODY[HEADER.FIELDS (FROM SUBJECT DATE)] " + (nil ? std::string("NIL") : stringFor(in, header))};
    const int others = in.ConsumeIntegralInRange(0, 4);
    for (int i = 0; i < others; ++i) {
        switch (in.ConsumeIntegralInRange(0, 4)) {
            case 0:
                items.push_back("FLAGS (\\Seen \\Answered)");
                break;
            case 1:
                items.push_back("RFC822.SIZE " + std::to_string(in.ConsumeIntegral<uint32_t>()));
                break;
            case 2:
                items.push_back("INTERNALDATE " + stringFor(in, in.ConsumeRandomLengthString(30)));
                break;
            case 3:
                items.push_back("MODSEQ (" + std::to_string(in.ConsumeIntegral<uint64_t>()) + ")");
                break;
            default:
                items.push_back("X-LIST ((" + stringFor(in, in.ConsumeRandomLengthString(20)) + ") NIL)");
        }
    }
    for (size_t i = items.size(); i > 1; --i) std::swap(items[i - 1], items[in.ConsumeIntegralInRange<size_t>(0, i - 1)]);
    std::string bytes = "* " + std::to_string(in.ConsumeIntegral<uint32_t>()) + " FETCH (";
    for (size_t i = 0; i < items.size(); ++i) bytes += (i > 0 ? " " : "") + items[i];
    bytes += ")";

    const std::optional<ImapResponse> response = postrix::imap::parseResponse(bytes);
    FUZZ_CHECK(response && response->kind == ImapResponse::Kind::Untagged && response->name == "FETCH");
    const std::optional<FetchData> fetch = postrix::imap::parseFetch(response->text);
    FUZZ_CHECK(fetch && fetch->uid == uid && fetch->header == header);
    // Framed, it is one response.
    ImapFramer framer;
    FUZZ_CHECK(framer.add(bytes + "\r\n") == Result::Complete && framer.reply() == bytes);
}

// A command's argument read back through the FETCH reader, which takes IMAP
// strings the way a server does.
void checkBuiltCommand(FuzzedDataProvider& in) {
    std::string argument = in.ConsumeRandomLengthString(200);
    std::replace(argument.begin(), argument.end(), '\0', 'x');
    const postrix::imap::ImapCommand command = postrix::imap::buildCommand("(UID", "5 BODY[1]", {argument});
    FUZZ_CHECK(!command.pieces.empty() && command.pieces.size() <= 2);
    FUZZ_CHECK((command.pieces.size() == 2) == postrix::imap::needsLiteral(argument));
    std::string sent;
    for (const std::string& piece : command.pieces) sent += piece;
    FUZZ_CHECK(sent.ends_with("\r\n"));
    sent.resize(sent.size() - 2);
    const std::optional<FetchData> fetch = postrix::imap::parseFetch(sent + ")");
    FUZZ_CHECK(fetch && fetch->uid == 5u && fetch->header == argument);

    const std::string name = postrix::imap::encodeMailboxName(in.ConsumeRandomLengthString(100));
    for (char c : name) FUZZ_CHECK(c >= 0x20 && c <= 0x7e);
}

const uint32_t kMaxLengths[] = {ImapFramer::kDefaultMaxLength, 300, 64, 16, 3};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const uint32_t maxLength = in.PickValueInArray(kMaxLengths);
    ImapFramer framer(maxLength);
    for (int round = 0; round < 4 && in.remaining_bytes() > 0; ++round) {
        std::string stream;
        const int responses = in.ConsumeIntegralInRange(1, 8);
        for (int i = 0; i < responses; ++i) stream += responseBytes(in);
        const std::vector<std::string_view> events = cutIntoEvents(in, stream);
        FUZZ_CHECK(readInEvents(framer, events) == readWhole(stream, maxLength));
        framer.clear();
        checkBuiltFetch(in);
        checkBuiltCommand(in);
    }
    return 0;
}
