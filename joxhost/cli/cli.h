// joxhost's command line: global options anywhere, one command, its
// arguments and its own options.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace joxhost {

enum class Command {
    None, Accounts, AccountAdd, AccountRemove, Config, Chat, Run, Contacts, ContactAdd, ContactRemove, Send, Options
};

struct CommandLine {
    Command command = Command::None;
    bool help = false;
    bool json = false;
    bool verbose = false;
    std::string profileDir;
    std::string pluginPath;
    std::string caFile;
    int timeoutSeconds = 120;              // chat, send
    std::optional<std::string> subject;    // chat, send
    std::vector<std::string> to;           // send: contact names or addresses
    std::optional<std::string> body;       // send
    std::optional<std::string> bodyFile;   // send
    std::vector<std::string> attachments;  // send
    bool show = false;                     // options
    bool passwordStdin = false;            // options
    std::optional<std::string> mail, login, smtp, pop3, www, interval;  // options
    std::optional<bool> ssl;               // options
    std::string profileName;               // config
    std::vector<std::string> arguments;    // the command's positional arguments
};

struct ParsedCommandLine {
    CommandLine line;
    std::string error;  // non-empty: bad usage, exit 2 with this one line
};

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);

// The help text of a command (Command::None: the overview).
std::string helpText(Command command);

// A non-negative decimal number that fits an int, or nothing.
std::optional<int> parseIndex(const std::string& text);

}  // namespace joxhost
