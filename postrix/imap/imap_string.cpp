#include "imap/imap_string.h"

#include <cstdint>

#include "platform/utf8.h"

namespace postrix::imap {

namespace {

constexpr bool isPrintableAscii(char c) { return c >= 0x20 && c <= 0x7e; }

void appendQuoted(std::string& out, std::string_view text) {
    out.push_back('"');
    for (char c : text) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
}

// Modified base64 of UTF-16 units as big-endian bytes: "+/" as "+,", no padding.
void appendModifiedBase64(std::string& out, std::u16string_view units) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";
    uint32_t bits = 0;
    int count = 0;
    for (char16_t unit : units) {
        bits = (bits << 16) | unit;
        count += 16;
        while (count >= 6) {
            count -= 6;
            out.push_back(kAlphabet[(bits >> count) & 0x3f]);
        }
        bits &= (1u << count) - 1;
    }
    if (count > 0) out.push_back(kAlphabet[(bits << (6 - count)) & 0x3f]);
}

}  // namespace

bool needsLiteral(std::string_view text) {
    for (char c : text) {
        if (!isPrintableAscii(c) || c == '"') return true;
    }
    return false;
}

ImapCommand buildCommand(std::string_view tag, std::string_view verb,
                         std::initializer_list<std::string_view> arguments) {
    ImapCommand command;
    std::string piece;
    piece.append(tag).append(" ").append(verb);
    for (std::string_view argument : arguments) {
        piece.push_back(' ');
        if (!needsLiteral(argument)) {
            appendQuoted(piece, argument);
            continue;
        }
        // The server's go-ahead comes between the marker and the bytes.
        piece.append("{").append(std::to_string(argument.size())).append("}\r\n");
        command.pieces.push_back(std::move(piece));
        piece.assign(argument);
    }
    piece.append("\r\n");
    command.pieces.push_back(std::move(piece));
    return command;
}

std::string encodeMailboxName(std::string_view utf8) {
    std::u16string units;
    platform::appendUtf8AsUtf16(utf8, units);
    std::string out;
    out.reserve(utf8.size());
    size_t runStart = 0;
    bool inRun = false;
    for (size_t at = 0; at <= units.size(); ++at) {
        const bool plain = at == units.size() || (units[at] >= 0x20 && units[at] <= 0x7e);
        if (plain && inRun) {
            out.push_back('&');
            appendModifiedBase64(out, std::u16string_view(units).substr(runStart, at - runStart));
            out.push_back('-');
            inRun = false;
        }
        if (at == units.size()) break;
        if (!plain) {
            if (!inRun) runStart = at;
            inRun = true;
        } else if (units[at] == u'&') {
            out.append("&-");
        } else {
            out.push_back(static_cast<char>(units[at]));
        }
    }
    return out;
}

}  // namespace postrix::imap
