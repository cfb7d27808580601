#include "imap/imap_response.h"

#include <limits>
#include <utility>

#include "text/ascii.h"

namespace postrix::imap {

namespace {

// Lists nested deeper than this are taken for malformed data.
constexpr int kMaxNesting = 32;

constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }

constexpr char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string upperCased(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = asciiUpper(c);
    return upper;
}

// A number of decimal digits only, fitting 32 bits; nonZero asks for an
// nz-number (no leading zero, not 0).
std::optional<uint32_t> parseNumber(std::string_view digits, bool nonZero) {
    if (digits.empty() || (nonZero && digits.front() == '0')) return std::nullopt;
    uint64_t value = 0;
    for (char c : digits) {
        if (!isDigit(c)) return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > std::numeric_limits<uint32_t>::max()) return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

// Takes the word up to the next space (or the end) off the front of text,
// and the one space after it.
std::string_view takeWord(std::string_view& text) {
    const size_t space = text.find(' ');
    const std::string_view word = text.substr(0, space);
    text.remove_prefix(space == std::string_view::npos ? text.size() : space + 1);
    return word;
}

// "[code] text" or "text" of a status response or continuation.
void readStatusText(std::string_view rest, ImapResponse& response) {
    if (rest.starts_with('[')) {
        const size_t close = rest.find(']');
        if (close != std::string_view::npos) {
            response.code = std::string(rest.substr(1, close - 1));
            rest.remove_prefix(close + 1);
            if (rest.starts_with(' ')) rest.remove_prefix(1);
        }
    }
    response.text = rest;
}

bool isTagChar(char c) {
    return c > ' ' && c < 0x7f && c != '(' && c != ')' && c != '{' && c != '%' && c != '*' && c != '"' &&
           c != '\\' && c != '+';
}

// The tokens of a FETCH response's data.
class TokenReader {
public:
    enum class Kind { Open, Close, Atom, String, Nil, End, Bad };
    struct Token {
        Kind kind = Kind::Bad;
        std::string_view atom;  // Atom: the atom, a section "BODY[...]<origin>" included
        std::string text;       // String: the quoted string unescaped or the literal's bytes
    };

    explicit TokenReader(std::string_view data) : data_(data) {}

    Token next() {
        while (at_ < data_.size() && data_[at_] == ' ') ++at_;
        Token token;
        if (at_ == data_.size()) {
            token.kind = Kind::End;
            return token;
        }
        const char c = data_[at_];
        if (c == '(') {
            ++at_;
            token.kind = Kind::Open;
        } else if (c == ')') {
            ++at_;
            token.kind = Kind::Close;
        } else if (c == '"') {
            token.kind = readQuoted(token.text) ? Kind::String : Kind::Bad;
        } else if (c == '{') {
            token.kind = readLiteral(token.text) ? Kind::String : Kind::Bad;
        } else {
            token.kind = readAtom(token.atom) ? Kind::Atom : Kind::Bad;
            if (token.kind == Kind::Atom && text::equalsIgnoringCase(token.atom, "NIL")) token.kind = Kind::Nil;
        }
        return token;
    }

private:
    bool readQuoted(std::string& out) {
        for (++at_; at_ < data_.size(); ++at_) {
            char c = data_[at_];
            if (c == '"') {
                ++at_;
                return true;
            }
            if (c == '\r' || c == '\n' || c == '\0') return false;
            if (c == '\\') {
                if (++at_ == data_.size()) return false;
                c = data_[at_];
                if (c != '\\' && c != '"') return false;
            }
            out.push_back(c);
        }
        return false;
    }

    // "{n}" or "{n+}", CRLF, then exactly n bytes.
    bool readLiteral(std::string& out) {
        const size_t close = data_.find('}', at_);
        if (close == std::string_view::npos) return false;
        std::string_view count = data_.substr(at_ + 1, close - at_ - 1);
        if (count.ends_with('+')) count.remove_suffix(1);
        const std::optional<uint32_t> length = parseNumber(count, false);
        if (!length || data_.substr(close + 1, 2) != "\r\n") return false;
        const size_t start = close + 3;
        if (*length > data_.size() - start) return false;
        out.assign(data_.substr(start, *length));
        at_ = start + *length;
        return true;
    }

    // Atom characters, where a "[" opens a section running to its "]" (which
    // may hold spaces, lists and quoted names), optionally followed by a
    // partial's "<origin>".
    bool readAtom(std::string_view& atom) {
        const size_t start = at_;
        while (at_ < data_.size()) {
            const char c = data_[at_];
            if (c == '[') {
                if (!skipSection()) return false;
                if (at_ < data_.size() && data_[at_] == '<') {
                    const size_t close = data_.find('>', at_);
                    if (close == std::string_view::npos) return false;
                    at_ = close + 1;
                }
                break;
            }
            if (c == ' ' || c == '(' || c == ')' || c == '"' || c == '{' || c == ']' ||
                static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                break;
            }
            ++at_;
        }
        atom = data_.substr(start, at_ - start);
        return !atom.empty();
    }

    bool skipSection() {
        bool quoted = false;
        for (++at_; at_ < data_.size(); ++at_) {
            const char c = data_[at_];
            if (c == '\r' || c == '\n') return false;
            if (quoted) {
                if (c == '\\' && at_ + 1 < data_.size()) {
                    ++at_;
                } else if (c == '"') {
                    quoted = false;
                }
            } else if (c == '"') {
                quoted = true;
            } else if (c == ']') {
                ++at_;
                return true;
            }
        }
        return false;
    }

    std::string_view data_;
    size_t at_ = 0;
};

using Kind = TokenReader::Kind;

// Passes over one value whose first token was just read: a single token, or
// a whole list, nested lists included. False when the value is malformed.
bool skipValue(TokenReader& reader, const TokenReader::Token& first) {
    if (first.kind == Kind::Atom || first.kind == Kind::String || first.kind == Kind::Nil) return true;
    if (first.kind != Kind::Open) return false;
    for (int depth = 1; depth > 0;) {
        switch (reader.next().kind) {
            case Kind::Open:
                if (++depth > kMaxNesting) return false;
                break;
            case Kind::Close:
                --depth;
                break;
            case Kind::Atom:
            case Kind::String:
            case Kind::Nil:
                break;
            case Kind::End:
            case Kind::Bad:
                return false;
        }
    }
    return true;
}

}  // namespace

bool ImapResponse::isStatus() const {
    return name == "OK" || name == "NO" || name == "BAD" || name == "BYE" || name == "PREAUTH";
}

std::optional<ImapResponse> parseResponse(std::string_view bytes) {
    ImapResponse response;
    if (bytes.starts_with('+')) {
        response.kind = ImapResponse::Kind::Continuation;
        bytes.remove_prefix(1);
        if (bytes.starts_with(' ')) bytes.remove_prefix(1);
        readStatusText(bytes, response);
        return response;
    }
    if (bytes.starts_with("* ")) {
        bytes.remove_prefix(2);
        if (!bytes.empty() && isDigit(bytes.front())) {
            // Message data: "* 23 EXISTS", "* 4 FETCH (...)".
            response.number = parseNumber(takeWord(bytes), false);
            if (!response.number || bytes.empty()) return std::nullopt;
        }
    } else {
        const size_t space = bytes.find(' ');
        if (space == 0 || space == std::string_view::npos) return std::nullopt;
        response.tag = bytes.substr(0, space);
        for (char c : response.tag) {
            if (!isTagChar(c)) return std::nullopt;
        }
        response.kind = ImapResponse::Kind::Tagged;
        bytes.remove_prefix(space + 1);
    }
    response.name = upperCased(takeWord(bytes));
    if (response.isStatus()) {
        readStatusText(bytes, response);
    } else {
        response.text = bytes;
    }
    return response;
}

std::vector<std::string> parseCapabilities(std::string_view atoms) {
    if (atoms.starts_with('[') && atoms.ends_with(']')) atoms = atoms.substr(1, atoms.size() - 2);
    std::vector<std::string> capabilities;
    bool first = true;
    while (!atoms.empty()) {
        const std::string_view atom = takeWord(atoms);
        if (atom.empty()) continue;
        // The code's own name is no capability.
        if (std::exchange(first, false) && text::equalsIgnoringCase(atom, "CAPABILITY")) continue;
        capabilities.push_back(upperCased(atom));
    }
    return capabilities;
}

std::optional<uint32_t> codeNumber(std::string_view code, std::string_view name) {
    const std::string_view word = takeWord(code);
    if (!text::equalsIgnoringCase(word, name)) return std::nullopt;
    return parseNumber(takeWord(code), true);
}

std::optional<FetchData> parseFetch(std::string_view data) {
    TokenReader reader(data);
    if (reader.next().kind != Kind::Open) return std::nullopt;
    FetchData fetch;
    for (;;) {
        TokenReader::Token item = reader.next();
        if (item.kind == Kind::Close) break;
        if (item.kind != Kind::Atom) return std::nullopt;
        TokenReader::Token value = reader.next();
        if (text::equalsIgnoringCase(item.atom, "UID")) {
            if (value.kind != Kind::Atom) return std::nullopt;
            const std::optional<uint32_t> uid = parseNumber(value.atom, true);
            if (!uid) return std::nullopt;
            if (!fetch.uid) fetch.uid = uid;
        } else if (item.atom.size() >= 5 && text::equalsIgnoringCase(item.atom.substr(0, 5), "BODY[")) {
            if (value.kind == Kind::String) {
                if (!fetch.header) fetch.header = std::move(value.text);
            } else if (value.kind == Kind::Nil) {
                if (!fetch.header) fetch.header.emplace();
            } else {
                return std::nullopt;
            }
        } else if (!skipValue(reader, value)) {
            return std::nullopt;
        }
    }
    if (reader.next().kind != Kind::End) return std::nullopt;
    return fetch;
}

}  // namespace postrix::imap
