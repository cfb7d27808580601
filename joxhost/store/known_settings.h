// The settings joxhost knows, each once with its type: the plug-in's account
// settings (one file per account) and joxhost's own profile-wide ones
// (host/..., in joxhost.settings). `config` refuses other keys and values of
// the wrong type; the commands that start a check or a send name the keys an
// account still lacks.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "store/settings_format.h"

namespace joxhost {

enum class SettingKind {
    Text,     // any text
    Server,   // host[:port]; empty switches the server off
    Flag,     // integer 0 or 1
    Minutes,  // integer 1 to kMaxCheckMinutes
    Path,     // a file name; empty forgets it
    Choice,   // one of the setting's choices, written in lower case
};

enum class SettingHome { Account, Host };

struct KnownSetting {
    std::string_view key;
    SettingKind kind;
    SettingHome home;
    std::string_view help;  // one line for `config --help`
    std::span<const std::string_view> choices = {};  // a Choice's values, the default first
};

// The longest interval between checks the plug-in keeps (its timer counts
// milliseconds in 31 bits).
inline constexpr int64_t kMaxCheckMinutes = 35791;

inline constexpr std::string_view kCaFileKey = "host/caFile";

std::span<const KnownSetting> knownSettings();
const KnownSetting* findSetting(std::string_view key);

// Levenshtein distance, ASCII letters compared without case.
size_t editDistance(std::string_view a, std::string_view b);
// The known key closest to a key that is not one; nothing when none is
// near enough to be what was meant. A key without its "MAIL/" is near.
std::optional<std::string_view> nearestSetting(std::string_view key);
// "unknown key 'MAIL/smtpServr' (did you mean MAIL/smtpServer?)"
std::string unknownSettingText(std::string_view key);

// A value as typed after "KEY=": the type comes from the key; "int:" and
// "text:" in front say it outright and must agree with it. Either the value
// or why it is refused (one line naming the key).
struct ParsedSetting {
    std::optional<SettingValue> value;
    std::string problem;
};
ParsedSetting parseSettingValue(const KnownSetting& setting, std::string_view text);
// For a key joxhost does not know: "int:N" an integer, anything else text.
ParsedSetting parseUntypedValue(std::string_view text);

// Whole minutes between checks as --interval and MAIL/checkInterval take
// them; nothing for anything else (0, negative, not a number, too many).
std::optional<int64_t> parseMinutes(std::string_view text);
std::string minutesProblem(std::string_view what);

// What the plug-in needs before it starts one.
enum class AccountTask { Check, Send };
// Whether the values make the account check its mail over IMAP
// (MAIL/protocol is "imap"; anything else is POP3, as the plug-in reads it).
bool checksOverImap(const SettingValues& values);
// The keys the task needs that the values lack or hold empty: the server
// first (for a check MAIL/imapServer or MAIL/pop3Server, as the protocol
// says), then the address, the login and the password.
std::vector<std::string> missingSettings(const SettingValues& values, AccountTask task);

}  // namespace joxhost
