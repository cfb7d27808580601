// joxhost's command line: global options anywhere, one command, its
// arguments and its own options.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace joxhost {

enum class Command { None, Accounts, AccountAdd, AccountRemove, Config, Chat, Run };

struct CommandLine {
    Command command = Command::None;
    bool help = false;
    bool json = false;
    bool verbose = false;
    std::string profileDir;
    std::string pluginPath;
    std::string caFile;
    int timeoutSeconds = 120;              // chat
    std::optional<std::string> subject;    // chat
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
