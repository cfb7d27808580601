// joxhost's command line: global options anywhere, one command, its
// arguments and its own options. Every command and option is declared once
// (command_table.h); parsing, --help and the usage errors come from there.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace joxhost {

struct CommandLine {
    std::string command;  // the command's name; empty with --help alone
    bool help = false;
    bool json = false;
    bool verbose = false;
    std::string profileDir;
    std::string pluginPath;
    std::string caFile;
    int timeoutSeconds = 120;              // chat, send, run
    bool stay = false;                     // run
    std::optional<std::string> subject;    // chat, send
    std::vector<std::string> to;           // send: contact names or addresses
    std::optional<std::string> body;       // send
    std::optional<std::string> bodyFile;   // send
    std::vector<std::string> attachments;  // send
    bool show = false;                     // options
    bool passwordStdin = false;            // options, config
    bool passwordPrompt = false;           // config
    bool anyKey = false;                   // config
    std::optional<std::string> mail, login, smtp, pop3, www, interval;  // options
    std::optional<std::string> protocol, imap, folder;                  // options
    std::optional<bool> ssl;               // options
    std::string profileName;               // config
    std::vector<std::string> arguments;    // the command's positional arguments
};

struct ParsedCommandLine {
    CommandLine line;
    std::string error;  // non-empty: bad usage, exit 2 with this one line
};

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);

// The help text of a command (empty name: the overview).
std::string helpText(const std::string& command);

// A non-negative decimal number that fits an int, or nothing.
std::optional<int> parseIndex(const std::string& text);

}  // namespace joxhost
