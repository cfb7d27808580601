#include "store/known_settings.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "core/utf.h"

namespace joxhost {
namespace {

constexpr std::string_view kProtocols[] = {"pop3", "imap"};

constexpr std::array kSettings = {
    KnownSetting{"MAIL/mail", SettingKind::Text, SettingHome::Account, "the account's e-mail address"},
    KnownSetting{"MAIL/smtpServer", SettingKind::Server, SettingHome::Account,
                 "the SMTP server, host[:port]"},
    KnownSetting{"MAIL/pop3Server", SettingKind::Server, SettingHome::Account,
                 "the POP3 server, host[:port]; empty: no checks"},
    KnownSetting{"MAIL/protocol", SettingKind::Choice, SettingHome::Account,
                 "how mail is checked: pop3 (the default) or imap", kProtocols},
    KnownSetting{"MAIL/imapServer", SettingKind::Server, SettingHome::Account,
                 "the IMAP server, host[:port]; empty: no checks"},
    KnownSetting{"MAIL/imapFolder", SettingKind::Text, SettingHome::Account,
                 "the IMAP folder checked; empty: INBOX"},
    KnownSetting{"MAIL/login", SettingKind::Text, SettingHome::Account, "the login at both servers"},
    KnownSetting{"MAIL/password", SettingKind::Text, SettingHome::Account,
                 "the password (better: --password-stdin)"},
    KnownSetting{"MAIL/mailboxWww", SettingKind::Text, SettingHome::Account,
                 "the web mailbox the new-mail notice opens"},
    KnownSetting{"MAIL/ssl", SettingKind::Flag, SettingHome::Account,
                 "1: TLS (the default), 0: plain connections"},
    KnownSetting{"MAIL/checkInterval", SettingKind::Minutes, SettingHome::Account,
                 "minutes between checks, 1 (the default) to 35791"},
    KnownSetting{kCaFileKey, SettingKind::Path, SettingHome::Host,
                 "a CA file every command trusts (--ca-file wins)"},
};

constexpr std::string_view kTextPrefix = "text:";
constexpr std::string_view kIntPrefix = "int:";

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string_view afterSlash(std::string_view key) {
    const size_t slash = key.find('/');
    return slash == std::string_view::npos ? key : key.substr(slash + 1);
}

std::optional<int64_t> parseInteger(std::string_view text) {
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// A port after the last colon must be one a connection can use; the host
// before it must be there.
std::string serverProblem(std::string_view key, std::string_view server) {
    const size_t colon = server.rfind(':');
    if (server.empty() || colon == std::string_view::npos) return "";
    const auto port = parseInteger(server.substr(colon + 1));
    if (colon == 0)
        return std::string(key) + " needs a host before the port, got '" + std::string(server) + "'";
    if (!port || *port < 1 || *port > 65535) {
        return std::string(key) + " takes host[:port] with a port from 1 to 65535, got '" +
               std::string(server) + "'";
    }
    return "";
}

ParsedSetting refused(std::string problem) {
    return {std::nullopt, std::move(problem)};
}

}  // namespace

std::span<const KnownSetting> knownSettings() {
    return kSettings;
}

const KnownSetting* findSetting(std::string_view key) {
    for (const auto& setting : kSettings) {
        if (setting.key == key) return &setting;
    }
    return nullptr;
}

size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            const size_t change = diagonal + (lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1);
            row[j] = std::min({above + 1, row[j - 1] + 1, change});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::optional<std::string_view> nearestSetting(std::string_view key) {
    std::optional<std::string_view> nearest;
    size_t best = SIZE_MAX;
    for (const auto& setting : kSettings) {
        // "smtpServr" is as near to MAIL/smtpServer as "MAIL/smtpServr".
        const size_t distance =
            std::min(editDistance(key, setting.key), editDistance(key, afterSlash(setting.key)));
        if (distance < best) {
            best = distance;
            nearest = setting.key;
        }
    }
    // Up to about a third of the name may differ; "MAIL/foo" means none.
    const size_t allowed = std::max<size_t>(2, afterSlash(key).size() / 3);
    return best <= allowed ? nearest : std::nullopt;
}

std::string unknownSettingText(std::string_view key) {
    const auto nearest = nearestSetting(key);
    return "unknown key '" + std::string(key) + "' (" +
           (nearest ? "did you mean " + std::string(*nearest) + "?"
                    : std::string("see joxhost config --help")) +
           ")";
}

std::optional<int64_t> parseMinutes(std::string_view text) {
    const auto minutes = parseInteger(text);
    if (!minutes || *minutes < 1 || *minutes > kMaxCheckMinutes) return std::nullopt;
    return minutes;
}

std::string minutesProblem(std::string_view what) {
    return std::string(what) + " takes whole minutes from 1 to " + std::to_string(kMaxCheckMinutes);
}

ParsedSetting parseSettingValue(const KnownSetting& setting, std::string_view text) {
    const std::string key(setting.key);
    const bool saysInt = text.starts_with(kIntPrefix);
    const bool saysText = text.starts_with(kTextPrefix);
    switch (setting.kind) {
        case SettingKind::Flag:
        case SettingKind::Minutes: {
            if (saysText) return refused(key + " holds an integer, not a text");
            const std::string_view digits = saysInt ? text.substr(kIntPrefix.size()) : text;
            if (setting.kind == SettingKind::Flag) {
                if (digits != "0" && digits != "1")
                    return refused(key + " takes 0 or 1, got '" + std::string(text) + "'");
                return {SettingValue::ofInt(digits == "1" ? 1 : 0), ""};
            }
            const auto minutes = parseMinutes(digits);
            if (!minutes) return refused(minutesProblem(key) + ", got '" + std::string(text) + "'");
            return {SettingValue::ofInt(*minutes), ""};
        }
        case SettingKind::Choice: {
            if (saysInt) return refused(key + " holds a text, not an integer");
            const std::string_view value = saysText ? text.substr(kTextPrefix.size()) : text;
            std::string lowered(value);
            std::transform(lowered.begin(), lowered.end(), lowered.begin(), lower);
            std::string names;
            for (const std::string_view choice : setting.choices) {
                if (choice == lowered) return {SettingValue::ofText(toUtf16(choice)), ""};
                names += (names.empty() ? "" : " or ") + std::string(choice);
            }
            return refused(key + " takes " + names + ", got '" + std::string(text) + "'");
        }
        case SettingKind::Text:
        case SettingKind::Server:
        case SettingKind::Path: {
            if (saysInt)
                return refused(key + " holds a text, not an integer (text:" + std::string(text) +
                               " stores it as written)");
            const std::string_view value = saysText ? text.substr(kTextPrefix.size()) : text;
            if (setting.kind == SettingKind::Server) {
                if (auto problem = serverProblem(setting.key, value); !problem.empty())
                    return refused(problem);
            }
            return {SettingValue::ofText(toUtf16(value)), ""};
        }
    }
    return refused(key + " has no type");
}

ParsedSetting parseUntypedValue(std::string_view text) {
    if (text.starts_with(kIntPrefix)) {
        const auto number = parseInteger(text.substr(kIntPrefix.size()));
        if (!number) return refused("not an integer in '" + std::string(text) + "'");
        return {SettingValue::ofInt(*number), ""};
    }
    if (text.starts_with(kTextPrefix))
        return {SettingValue::ofText(toUtf16(text.substr(kTextPrefix.size()))), ""};
    return {SettingValue::ofText(toUtf16(text)), ""};
}

bool checksOverImap(const SettingValues& values) {
    const auto found = values.find(u"MAIL/protocol");
    return found != values.end() && found->second.type == SettingValue::Type::Text && found->second.text == u"imap";
}

std::vector<std::string> missingSettings(const SettingValues& values, AccountTask task) {
    const std::u16string_view server = task == AccountTask::Send ? u"MAIL/smtpServer"
                                       : checksOverImap(values)  ? u"MAIL/imapServer"
                                                                 : u"MAIL/pop3Server";
    const std::u16string_view needed[] = {server, u"MAIL/mail", u"MAIL/login", u"MAIL/password"};
    std::vector<std::string> missing;
    for (const auto key : needed) {
        const auto found = values.find(std::u16string(key));
        // An integer there reads as its digits, so only an empty text is missing.
        if (found == values.end() ||
            (found->second.type == SettingValue::Type::Text && found->second.text.empty()))
            missing.push_back(toUtf8(key));
    }
    return missing;
}

}  // namespace joxhost
