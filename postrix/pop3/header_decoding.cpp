#include "pop3/header_decoding.h"

#include <cstddef>

#include "pop3/encoded_words.h"
#include "pop3/mail_date.h"
#include "text/ascii.h"

namespace postrix::pop3 {
namespace {

using text::asciiLower;
using text::equalsIgnoringCase;

bool isFoldWhite(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isFoldWhite(text.front())) text.remove_prefix(1);
    while (!text.empty() && isFoldWhite(text.back())) text.remove_suffix(1);
    return text;
}

// Field names are printable ASCII without the colon (RFC 5322 ftext).
bool isFieldName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name) {
        if (c <= ' ' || c > '~' || c == ':') return false;
    }
    return true;
}

// Walks the lines of a header block: CRLF or LF ends a line, the terminating
// "." line or an empty line ends the block, ".." at a line start is
// un-stuffed.
class HeaderLines {
public:
    explicit HeaderLines(std::string_view block) : rest_(block) {}

    // The next line without its line end; false at the end of the block.
    bool next(std::string_view& line) {
        if (done_ || rest_.empty()) return false;
        const std::size_t lf = rest_.find('\n');
        line = rest_.substr(0, lf);
        rest_ = lf == std::string_view::npos ? std::string_view() : rest_.substr(lf + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line == ".") {
            done_ = true;
            return false;
        }
        if (line.starts_with("..")) line.remove_prefix(1);
        return true;
    }

private:
    std::string_view rest_;
    bool done_ = false;
};

// Collects the three fields and decides when reading may stop.
class EntryBuilder {
public:
    void take(std::string_view name, std::string_view value) {
        value = trimmed(value);
        if (equalsIgnoringCase(name, "From")) {
            result_.entry.from = decodeEncodedWord(value, HeaderText::Phrase);
            fromSeen_ = true;
        } else if (equalsIgnoringCase(name, "Subject")) {
            result_.entry.subject = decodeEncodedWord(value);
            subjectSeen_ = true;
        } else if (equalsIgnoringCase(name, "Date")) {
            const auto date = readMailDate(value);
            result_.entry.date = date.value_or(0);
            if (!date && !result_.unreadableDate) result_.unreadableDate.emplace(value);
            dateSeen_ = true;
        }
    }

    bool complete() const { return fromSeen_ && subjectSeen_ && dateSeen_; }
    ParsedHeaders result() && { return std::move(result_); }

private:
    ParsedHeaders result_;
    bool fromSeen_ = false;
    bool subjectSeen_ = false;
    bool dateSeen_ = false;
};

}  // namespace

ParsedHeaders parseHeaders(std::string_view block) {
    EntryBuilder builder;
    HeaderLines lines(block);

    // The field being collected: its name and its unfolded value. A line that
    // is no field (no colon, bad name) starts nothing, and its continuation
    // lines are dropped with it.
    bool inField = false;
    std::string name;
    std::string value;

    std::string_view line;
    while (lines.next(line)) {
        if (isFoldWhite(line.front())) {
            if (inField) value += line;  // unfolding drops only the line break
            continue;
        }
        if (inField) {
            builder.take(name, value);
            if (builder.complete()) return std::move(builder).result();
        }
        const std::size_t colon = line.find(':');
        const std::string_view fieldName =
            colon == std::string_view::npos ? std::string_view() : trimmed(line.substr(0, colon));
        inField = isFieldName(fieldName);
        if (inField) {
            name = fieldName;
            value = line.substr(colon + 1);
        }
    }
    if (inField) builder.take(name, value);
    return std::move(builder).result();
}

std::string dateFailureMessage(std::string_view dateValue) {
    if (dateValue.size() > kMaxLoggedDateBytes) {
        std::size_t length = kMaxLoggedDateBytes;
        // Back to the start of a UTF-8 sequence: continuation bytes are 10xxxxxx.
        while (length > 0 && (static_cast<unsigned char>(dateValue[length]) & 0xC0) == 0x80) --length;
        dateValue = dateValue.substr(0, length);
    }
    return "Parsing RFC822 date failed, date=" + std::string(dateValue);
}

}  // namespace postrix::pop3
