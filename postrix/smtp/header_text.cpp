#include "smtp/header_text.h"

#include "smtp/base64.h"

namespace postrix::smtp {

namespace {

constexpr std::string_view kWordStart = "=?UTF-8?B?";
constexpr std::string_view kWordEnd = "?=";
constexpr std::string_view kFold = "\r\n ";

// Bytes of text one encoded word can hold: the Base64 part has room for a
// whole number of four-character groups.
constexpr std::size_t kWordTextBytes =
    (kMaxEncodedWordLength - kWordStart.size() - kWordEnd.size()) / 4 * 3;
static_assert(kWordTextBytes == 45);

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

bool isPlainAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return text.size() <= kMaxPlainHeaderText;
}

bool hasAddressSpecial(std::string_view text) {
    return text.find_first_of("()<>[]:;@\\,\"") != std::string_view::npos;
}

// Splits text into encoded words, each cut before the first byte of a UTF-8
// character (a run of stray continuation bytes longer than a word is cut
// where the word is full).
std::string encodedWords(std::string_view text) {
    std::string out;
    std::size_t pos = 0;
    do {
        std::size_t end = pos + kWordTextBytes;
        if (end >= text.size()) {
            end = text.size();
        } else {
            std::size_t cut = end;
            while (cut > pos && isContinuationByte(text[cut])) --cut;
            if (cut > pos) end = cut;
        }
        if (pos > 0) out += kFold;
        out += kWordStart;
        out += base64Encode(text.substr(pos, end - pos));
        out += kWordEnd;
        pos = end;
    } while (pos < text.size());
    return out;
}

}  // namespace

std::string withoutLineBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += ' ';
            ++i;
        } else if (c == '\r' || c == '\n' || c == '\0') {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

std::string encodeHeaderText(std::string_view text) {
    std::string clean = withoutLineBreaks(text);
    if (isPlainAscii(clean)) return clean;
    return encodedWords(clean);
}

std::string encodeDisplayName(std::string_view name) {
    std::string clean = withoutLineBreaks(name);
    if (isPlainAscii(clean) && !hasAddressSpecial(clean)) return clean;
    return encodedWords(clean);
}

std::string joinRecipients(const std::vector<std::string>& recipients) {
    std::string out;
    for (std::size_t i = 0; i < recipients.size(); ++i) {
        if (i > 0) out += ", ";
        out += recipients[i];
    }
    return out;
}

std::string toFieldValue(std::string_view recipientName,
                         const std::vector<std::string>& recipients) {
    std::string out = encodeDisplayName(recipientName);
    out += " <";
    if (!recipients.empty()) out += recipients.front();
    out += '>';
    for (std::size_t i = 1; i < recipients.size(); ++i) {
        out += ",\r\n <";
        out += recipients[i];
        out += '>';
    }
    return out;
}

}  // namespace postrix::smtp
