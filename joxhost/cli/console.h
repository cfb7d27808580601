// The commands `run` reads on standard input, one a line.
#pragma once

#include <optional>
#include <string>

namespace joxhost {

struct ConsoleCommand {
    enum class Kind { Check, Chat, Click, Close, Accounts, Quit, Empty };
    Kind kind = Kind::Empty;
    int account = 0;
    std::string address;
    std::string text;
};

struct ParsedConsoleLine {
    std::optional<ConsoleCommand> command;
    std::string error;  // set when the line is not a command
};

// "check N", "chat N ADDRESS TEXT" (TEXT is the rest of the line), "click",
// "close", "accounts", "quit"; blank lines and lines starting with # are Empty.
ParsedConsoleLine parseConsoleLine(const std::string& line);

}  // namespace joxhost
