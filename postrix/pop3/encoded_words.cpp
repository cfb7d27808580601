#include "pop3/encoded_words.h"

// libb64's header declares C functions without a C++ linkage block.
extern "C" {
#include <b64/cdecode.h>
}

#include <array>
#include <cstddef>
#include <optional>
#include <vector>

#include "text/ascii.h"
#include "text/nul_bytes.h"
#include "text/text_conversion.h"

namespace postrix::pop3 {
namespace {

using text::asciiLower;
using text::equalsIgnoringCase;

bool isWhite(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Characters allowed in a charset name: printable ASCII without the
// separators of an encoded word and of a header ("*" starts an RFC 2231
// language suffix and is allowed).
bool isCharsetChar(char c) {
    if (c <= ' ' || c > '~') return false;
    constexpr std::string_view kSpecials = "()<>@,;:\"/[]?=";
    return kSpecials.find(c) == std::string_view::npos;
}

bool isBase64Char(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Base64 text of an encoded word: alphabet characters, then at most the "="
// padding.
bool isWellFormedBase64(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isBase64Char(text[i])) ++i;
    while (i < text.size() && text[i] == '=') ++i;
    return i == text.size();
}

// The charset label in lower case, without an RFC 2231 language suffix
// ("utf-8*pl" is "utf-8").
std::string charsetLabel(std::string_view charset) {
    charset = charset.substr(0, charset.find('*'));
    std::string label;
    label.reserve(charset.size());
    for (char c : charset) label += asciiLower(c);
    return label;
}

// The Windows code page of the charsets every platform converts.
std::optional<unsigned> codePageOf(std::string_view label) {
    struct Entry {
        std::string_view label;
        unsigned codePage;
    };
    constexpr std::array<Entry, 5> kCodePages = {{
        {"utf-8", text::kCodePageUtf8},
        {"iso-8859-2", text::kCodePageIso8859_2},
        {"iso-8859-1", text::kCodePageIso8859_1},
        {"windows-1250", text::kCodePageWindows1250},
        {"windows-1252", text::kCodePageWindows1252},
    }};
    for (const Entry& entry : kCodePages) {
        if (entry.label == label) return entry.codePage;
    }
    return std::nullopt;
}

// The bytes as UTF-8, or nothing when the platform does not know the charset.
std::optional<std::string> charsetToUtf8(std::string_view bytes, std::string_view label) {
    if (const auto codePage = codePageOf(label)) return text::codePageToUtf8(bytes, *codePage);
    return text::charsetToUtf8(bytes, label);
}

// A piece of a header value: plain text, or a well-formed encoded word with
// its decoded bytes.
struct Piece {
    bool isWord = false;
    std::string_view raw;  // as received
    std::string label;     // encoded word: charset label
    std::string bytes;     // encoded word: decoded bytes, NUL dropped
};

// Reads the encoded word at the start of text; nothing when the text does not
// start with a well-formed word in a charset the platform knows.
std::optional<Piece> readEncodedWord(std::string_view text) {
    if (text.substr(0, 2) != "=?") return std::nullopt;
    std::size_t i = 2;
    while (i < text.size() && isCharsetChar(text[i])) ++i;
    if (i == 2 || i >= text.size() || text[i] != '?') return std::nullopt;
    const std::string_view charset = text.substr(2, i - 2);
    if (i + 2 >= text.size() || text[i + 2] != '?') return std::nullopt;
    const char encoding = asciiLower(text[i + 1]);
    if (encoding != 'b' && encoding != 'q') return std::nullopt;

    const std::size_t start = i + 3;
    std::size_t end = start;
    while (end < text.size() && text[end] > ' ' && text[end] <= '~' && text[end] != '?') ++end;
    if (end + 1 >= text.size() || text[end] != '?' || text[end + 1] != '=') return std::nullopt;
    const std::string_view encoded = text.substr(start, end - start);

    Piece word;
    word.isWord = true;
    word.raw = text.substr(0, end + 2);
    word.label = charsetLabel(charset);
    if (word.label.empty()) return std::nullopt;
    if (encoding == 'b') {
        if (!isWellFormedBase64(encoded)) return std::nullopt;
        word.bytes = text::withoutNul(base64Decode(encoded));
    } else {
        const auto bytes = quotedDecode(encoded);
        if (!bytes) return std::nullopt;
        word.bytes = text::withoutNul(*bytes);
    }
    // A word in a charset the platform does not know stays as received.
    if (!codePageOf(word.label) && !text::charsetToUtf8(word.bytes.empty() ? "a" : word.bytes, word.label)) {
        return std::nullopt;
    }
    return word;
}

Piece textPiece(std::string_view raw) {
    return Piece{false, raw, {}, {}};
}

// The value cut into text pieces and encoded words, in order.
std::vector<Piece> splitIntoPieces(std::string_view value) {
    std::vector<Piece> pieces;
    std::size_t textStart = 0;
    std::size_t i = 0;
    while (i < value.size()) {
        const std::size_t next = value.find("=?", i);
        if (next == std::string_view::npos) break;
        auto word = readEncodedWord(value.substr(next));
        if (!word) {
            i = next + 1;
            continue;
        }
        if (next > textStart) pieces.push_back(textPiece(value.substr(textStart, next - textStart)));
        i = next + word->raw.size();
        textStart = i;
        pieces.push_back(std::move(*word));
    }
    if (textStart < value.size()) pieces.push_back(textPiece(value.substr(textStart)));
    return pieces;
}

bool isAllWhite(std::string_view text) {
    for (char c : text) {
        if (!isWhite(c)) return false;
    }
    return true;
}

// Whether c may stand next to an encoded word in text of the kind.
bool delimitsWord(char c, HeaderText kind) {
    constexpr std::string_view kPhraseSpecials = "\"()<>,;:";
    return isWhite(c) || (kind == HeaderText::Phrase && kPhraseSpecials.find(c) != std::string_view::npos);
}

// Turns encoded words that are not whole words back into text. Touching
// encoded words form one run, which is whole when the text before its first
// word and the text after its last word end and begin with a delimiter.
void keepOnlyWholeWords(std::vector<Piece>& pieces, HeaderText kind) {
    std::size_t first = 0;
    while (first < pieces.size()) {
        if (!pieces[first].isWord) {
            ++first;
            continue;
        }
        std::size_t last = first;
        while (last + 1 < pieces.size() && pieces[last + 1].isWord) ++last;
        const bool boundedBefore = first == 0 || delimitsWord(pieces[first - 1].raw.back(), kind);
        const bool boundedAfter =
            last + 1 == pieces.size() || delimitsWord(pieces[last + 1].raw.front(), kind);
        if (!boundedBefore || !boundedAfter) {
            for (std::size_t i = first; i <= last; ++i) pieces[i] = textPiece(pieces[i].raw);
        }
        first = last + 1;
    }
}

}  // namespace

std::string base64Decode(std::string_view text) {
    std::string out(text.size() / 4 * 3 + 3, '\0');
    base64_decodestate state;
    base64_init_decodestate(&state);
    // auto: Debian's libb64 1.2 returns int, upstream 2.0 size_t.
    const auto length = base64_decode_block(text.data(), static_cast<int>(text.size()), out.data(), &state);
    out.resize(static_cast<std::size_t>(length));
    return out;
}

std::optional<std::string> quotedDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out += ' ';
        } else if (c == '=') {
            if (i + 2 >= text.size()) return std::nullopt;
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high < 0 || low < 0) return std::nullopt;
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::string decodeEncodedWord(std::string_view value, HeaderText kind) {
    std::vector<Piece> pieces = splitIntoPieces(value);
    keepOnlyWholeWords(pieces, kind);

    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        Piece& piece = pieces[i];
        if (!piece.isWord) {
            const bool betweenWords = i > 0 && i + 1 < pieces.size() && pieces[i - 1].isWord &&
                                      pieces[i + 1].isWord && isAllWhite(piece.raw);
            if (!betweenWords) out += text::withoutNul(piece.raw);
            continue;
        }
        // Join the following words in the same charset (the white space between
        // them is dropped anyway) and convert them together.
        std::string bytes = std::move(piece.bytes);
        for (;;) {
            std::size_t next = i + 1;
            if (next < pieces.size() && !pieces[next].isWord && isAllWhite(pieces[next].raw)) ++next;
            if (next >= pieces.size() || !pieces[next].isWord || pieces[next].label != piece.label) break;
            bytes += pieces[next].bytes;
            i = next;
        }
        out += charsetToUtf8(bytes, piece.label).value_or(std::string());
    }
    return out;
}

}  // namespace postrix::pop3
