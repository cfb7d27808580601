#include "smtp/body_text.h"

namespace postrix::smtp {

std::string withCrlfLineBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

bool needsBase64(std::string_view crlfText) {
    std::size_t lineLength = 0;
    for (char ch : crlfText) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80 || c == 0) return true;
        if (c == '\r' || c == '\n') {
            lineLength = 0;
        } else if (++lineLength > kMaxLineLength) {
            return true;
        }
    }
    return false;
}

bool hasLineStartingWith(std::string_view crlfText, std::string_view prefix) {
    for (std::size_t lineStart = 0;;) {
        if (crlfText.substr(lineStart).starts_with(prefix)) return true;
        const std::size_t lineEnd = crlfText.find("\r\n", lineStart);
        if (lineEnd == std::string_view::npos) return false;
        lineStart = lineEnd + 2;
    }
}

std::string dotStuffed(std::string_view crlfText) {
    std::string out;
    out.reserve(crlfText.size() + 16);
    bool lineStart = true;
    for (char c : crlfText) {
        if (lineStart && c == '.') out += '.';
        out += c;
        lineStart = (c == '\n');
    }
    return out;
}

}  // namespace postrix::smtp
