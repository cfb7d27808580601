// libFuzzer entry point: UIDL listings read line by line, against a plain
// reading of the same bytes. One input is a bound for a line and a sequence
// of listings, each of fuzzer-chosen bytes or of lines in the listing's
// shape (numbers, ids of any bytes and length, dot-stuffed lines, a
// terminating line or none), cut into up to eight data events anywhere.
// For every listing:
// - the framer hands over exactly the lines, the end and the too-long line
//   that the reading of the whole bytes finds, however the events cut them;
// - each line taken as an id is known, new or repeated in the set exactly as
//   a std::set model says (in a listing that looks nothing up, every id is
//   new; room may be readied for a listing first), and after the listing
//   (committed when it ended, else abandoned) the set holds exactly the
//   model's ids, whether it is looked in at once or first by the next
//   listing.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_host.h"
#include "mail/pop3_framer.h"
#include "pop3/id_set.h"

namespace {

using postrix::mail::Pop3Framer;
using postrix::mail::ReplyBuffer;
using postrix::pop3::IdSet;
using Result = postrix::mail::ReplyFramer::Result;

struct Reading {
    std::vector<std::string> lines;
    bool ended = false;
    bool tooLong = false;
    bool operator==(const Reading&) const = default;
};

// The whole body at once: CRLF lines, each with its CRLF within the bound,
// up to the terminating line, dot stuffing removed.
Reading readWhole(std::string_view body, size_t maxLength) {
    Reading reading;
    for (size_t at = 0;;) {
        const size_t end = body.find("\r\n", at);
        if (end == std::string_view::npos) {
            reading.tooLong = body.size() - at >= maxLength;
            return reading;
        }
        if (end + 2 - at > maxLength) {
            reading.tooLong = true;
            return reading;
        }
        std::string_view line = body.substr(at, end - at);
        at = end + 2;
        if (line == ".") {
            reading.ended = true;
            return reading;
        }
        if (line.starts_with('.')) line.remove_prefix(1);
        reading.lines.emplace_back(line);
    }
}

// The body in the given events, through the framer as the channel drives it.
Reading readInEvents(const std::vector<std::string_view>& events, uint32_t maxLength) {
    Pop3Framer framer(maxLength);
    FUZZ_CHECK(framer.add("+\r\n") == Result::Complete && framer.reply() == "+");
    framer.readLines();
    Reading reading;
    bool first = true;
    for (std::string_view event : events) {
        Result result = first ? framer.next() : framer.add(event);
        if (first) {
            FUZZ_CHECK(result == Result::Incomplete);
            result = framer.add(event);
            first = false;
        }
        for (; result != Result::Incomplete; result = framer.next()) {
            FUZZ_CHECK(result != Result::Empty);
            if (result == Result::TooLong) {
                reading.tooLong = true;
                return reading;
            }
            if (framer.bodyEnded()) {
                reading.ended = true;
                return reading;
            }
            reading.lines.emplace_back(framer.reply());
        }
    }
    return reading;
}

std::string listingBody(FuzzedDataProvider& in) {
    if (in.ConsumeBool()) return in.ConsumeRandomLengthString(2000);
    std::string body;
    const int lines = in.ConsumeIntegralInRange(0, 40);
    for (int i = 0; i < lines; ++i) {
        switch (in.ConsumeIntegralInRange(0, 5)) {
            case 0:
                body += in.ConsumeRandomLengthString(300);
                break;
            case 1:
                body += ".";
                [[fallthrough]];
            default:
                body += std::to_string(in.ConsumeIntegralInRange(0, 30)) + " id" +
                        std::to_string(in.ConsumeIntegralInRange(0, 30));
        }
        body += "\r\n";
    }
    if (in.ConsumeBool()) body += ".\r\n";
    return body;
}

const uint32_t kMaxLengths[] = {ReplyBuffer::kDefaultMaxLength, 300, 64, 16, 3};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const uint32_t maxLength = in.PickValueInArray(kMaxLengths);
    IdSet set;
    std::set<std::string> known;
    std::set<std::string> everListed;
    const auto holdsTheModel = [&] {
        FUZZ_CHECK(set.size() == known.size());
        for (const std::string& id : everListed) FUZZ_CHECK(set.contains(id) == known.contains(id));
    };
    for (int listing = 0; listing < 8 && in.remaining_bytes() > 0; ++listing) {
        const std::string body = listingBody(in);
        std::vector<size_t> cuts;
        const int pieces = in.ConsumeIntegralInRange(1, 8);
        for (int i = 1; i < pieces && !body.empty(); ++i)
            cuts.push_back(in.ConsumeIntegralInRange<size_t>(0, body.size()));
        std::sort(cuts.begin(), cuts.end());
        std::vector<std::string_view> events;
        size_t from = 0;
        for (size_t cut : cuts) {
            if (cut > from) events.push_back(std::string_view(body).substr(from, cut - from));
            from = std::max(from, cut);
        }
        events.push_back(std::string_view(body).substr(from));

        const Reading expected = readWhole(body, maxLength);
        const Reading reading = readInEvents(events, maxLength);
        FUZZ_CHECK(reading == expected);

        // Only an empty set takes a listing that looks nothing up.
        const bool appendOnly = in.ConsumeBool() && known.empty();
        if (appendOnly) set.deferLookups();
        if (in.ConsumeBool()) set.prepareRoom(in.ConsumeIntegralInRange<size_t>(0, 3 * 64 * 1024));
        std::set<std::string> listed;
        for (const std::string& id : reading.lines) {
            const IdSet::Listed result = set.list(id);
            if (id.empty() || id.size() > IdSet::kMaxIdLength) {
                FUZZ_CHECK(result == IdSet::Listed::Refused);
                continue;
            }
            const IdSet::Listed model = appendOnly            ? IdSet::Listed::New
                                        : listed.contains(id) ? IdSet::Listed::Repeated
                                        : known.contains(id)  ? IdSet::Listed::Known
                                                              : IdSet::Listed::New;
            FUZZ_CHECK(result == model);
            listed.insert(id);
            everListed.insert(id);
        }
        if (reading.ended) {
            set.commit();
            known = std::move(listed);
        } else {
            set.abandon();
        }
        // Left unchecked, the set is first looked in by the next listing.
        if (!in.ConsumeBool()) holdsTheModel();
    }
    holdsTheModel();
    return 0;
}
