// The declarations of joxhost's command line: each option once (its names,
// value, help and where its value goes) and each command once (its
// arguments, the options it allows, its help and its handler).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace joxhost {

struct Environment;
class Reporter;

// Checks a value; returns why it is refused, or "" when it is good.
using ValueCheck = std::function<std::string(const std::string& value)>;

struct OptionDeclaration {
    std::string name;       // "--subject"
    std::string shortName;  // "-v", or ""
    std::string value;      // the value's name in help ("S"); "" for a flag
    std::string help;
    bool repeatable = false;  // each use adds one value
    std::function<void(CommandLine&, const std::string& value)> store;  // a flag gets ""
    ValueCheck check;  // may be empty
};

struct ArgumentDeclaration {
    ArgumentDeclaration(std::string name, bool many = false, ValueCheck check = {})
        : name(std::move(name)), many(many), check(std::move(check)) {}

    std::string name;  // "ACCOUNT"; as the check's message starts it
    bool many;         // any number, none too (the last argument only)
    ValueCheck check;  // may be empty
};

using CommandHandler = int (*)(const CommandLine&, const Environment&, Reporter&);

struct CommandDeclaration {
    std::string name;
    std::vector<ArgumentDeclaration> arguments;
    std::vector<std::string> options;  // the names of its own options
    std::string summary;               // one line in the overview
    std::string help;                  // what it does, for `COMMAND --help`
    CommandHandler handler;
    // A rule across options that no single value breaks; "" when kept.
    std::function<std::string(const CommandLine&)> rule;
};

// The options every command takes; --help is handled by the parser.
const std::vector<OptionDeclaration>& globalOptions();
// The options that belong to commands, each declared once.
const std::vector<OptionDeclaration>& commandOptions();
const std::vector<CommandDeclaration>& commands();

const CommandDeclaration* findCommand(const std::string& name);
const OptionDeclaration* findOption(const std::string& name);  // by long or short name

}  // namespace joxhost
