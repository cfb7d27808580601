#include "cli/console.h"

#include "cli/cli.h"

namespace joxhost {
namespace {

// The next blank-separated word of line from pos; pos moves past it.
std::string nextWord(const std::string& line, size_t& pos) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    const size_t start = pos;
    while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') ++pos;
    return line.substr(start, pos - start);
}

}  // namespace

ParsedConsoleLine parseConsoleLine(const std::string& input) {
    std::string line = input;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ParsedConsoleLine parsed;
    size_t pos = 0;
    const std::string word = nextWord(line, pos);
    ConsoleCommand command;
    auto noMore = [&](ConsoleCommand::Kind kind) {
        if (!nextWord(line, pos).empty()) {
            parsed.error = word + " takes no arguments";
        } else {
            command.kind = kind;
            parsed.command = command;
        }
        return parsed;
    };
    if (word.empty() || word[0] == '#') {
        parsed.command = command;
        return parsed;
    }
    if (word == "click") return noMore(ConsoleCommand::Kind::Click);
    if (word == "close") return noMore(ConsoleCommand::Kind::Close);
    if (word == "accounts") return noMore(ConsoleCommand::Kind::Accounts);
    if (word == "quit") return noMore(ConsoleCommand::Kind::Quit);
    if (word == "check" || word == "chat") {
        const auto account = parseIndex(nextWord(line, pos));
        if (!account) {
            parsed.error = word + ": N must be an account position";
            return parsed;
        }
        command.account = *account;
        if (word == "check") return noMore(ConsoleCommand::Kind::Check);
        command.address = nextWord(line, pos);
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
        command.text = line.substr(pos);
        if (command.address.empty()) {
            parsed.error = "chat: usage: chat N ADDRESS TEXT";
            return parsed;
        }
        command.kind = ConsoleCommand::Kind::Chat;
        parsed.command = command;
        return parsed;
    }
    parsed.error = "unknown command '" + word + "' (check N, chat N ADDRESS TEXT, click, close, accounts, quit)";
    return parsed;
}

}  // namespace joxhost
