#include "smtp/ehlo_capabilities.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "text/ascii.h"

namespace postrix::smtp {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The words of a line's text, separated by runs of blanks.
std::vector<std::string_view> wordsOf(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && isBlank(text[at])) ++at;
        const std::size_t start = at;
        while (at < text.size() && !isBlank(text[at])) ++at;
        if (at > start) words.push_back(text.substr(start, at - start));
    }
    return words;
}

// The limit a SIZE parameter names; 0 (no fixed limit) for anything but
// decimal digits or a value past 64 bits.
std::uint64_t sizeLimit(std::string_view parameter) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t value = 0;
    for (char c : parameter) {
        if (c < '0' || c > '9') return 0;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (kMax - digit) / 10) return 0;
        value = value * 10 + digit;
    }
    return value;
}

void addMechanism(std::vector<std::string>& mechanisms, std::string_view word) {
    std::string name(word);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; });
    if (std::find(mechanisms.begin(), mechanisms.end(), name) == mechanisms.end()) {
        mechanisms.push_back(std::move(name));
    }
}

void addLine(EhloCapabilities& capabilities, std::string_view text) {
    std::vector<std::string_view> words = wordsOf(text);
    if (words.empty()) return;
    std::string_view keyword = words.front();
    // Servers written for clients of the AUTH drafts also send "AUTH=LOGIN
    // PLAIN"; its mechanisms count the same.
    if (keyword.size() > 5 && text::equalsIgnoringCase(keyword.substr(0, 5), "AUTH=")) {
        words.front().remove_prefix(5);
        keyword = "AUTH";
    } else {
        words.erase(words.begin());
    }
    if (text::equalsIgnoringCase(keyword, "SIZE")) {
        capabilities.size = words.empty() ? 0 : sizeLimit(words.front());
    } else if (text::equalsIgnoringCase(keyword, "AUTH")) {
        for (std::string_view word : words) addMechanism(capabilities.authMechanisms, word);
    }
}

}  // namespace

EhloCapabilities parseEhloReply(std::string_view reply) {
    EhloCapabilities capabilities;
    bool first = true;
    while (!reply.empty()) {
        const std::size_t lf = reply.find('\n');
        std::string_view line = reply.substr(0, lf);
        reply.remove_prefix(lf == std::string_view::npos ? reply.size() : lf + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const bool greeting = std::exchange(first, false);
        if (greeting || line.size() < 4 || !line.starts_with("250") || (line[3] != '-' && line[3] != ' ')) {
            continue;
        }
        addLine(capabilities, line.substr(4));
    }
    return capabilities;
}

}  // namespace postrix::smtp
