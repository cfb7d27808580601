#include "cli/cli.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <list>

#include "cli/command_table.h"

namespace joxhost {
namespace {

// The option's names as CLI11 spells them: "-v,--verbose".
std::string cliNames(const OptionDeclaration& option) {
    return option.shortName.empty() ? option.name : option.shortName + "," + option.name;
}

// A CLI11 validator that runs a declared check and keeps its message, which
// is the whole usage error.
CLI::Validator validator(ValueCheck check, std::string prefix, std::string& failure) {
    return CLI::Validator(
        [check = std::move(check), prefix = std::move(prefix), &failure](std::string& value) {
            std::string why = check(value);
            if (!why.empty()) failure = prefix + why;
            return why;
        },
        "");
}

CLI::Option* addOption(CLI::App& app, const OptionDeclaration& option, CommandLine& line, std::string& failure) {
    const OptionDeclaration* declared = &option;
    if (option.value.empty()) {
        return app.add_flag_callback(cliNames(option), [declared, &line] { declared->store(line, ""); })
            ->disable_flag_override();
    }
    auto* added = app.add_option_function<std::string>(
                         cliNames(option), [declared, &line](const std::string& value) { declared->store(line, value); })
                      ->trigger_on_parse();
    if (option.check) added->check(validator(option.check, "", failure));
    return added;
}

// Every command that allows the option, as "chat and send".
std::string commandsAllowing(const std::string& option) {
    std::vector<std::string> names;
    for (const auto& command : commands()) {
        for (const auto& allowed : command.options) {
            if (allowed == option) names.push_back(command.name);
        }
    }
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
        text += names[i];
    }
    return text;
}

std::string wrongNumber(const std::string& command) {
    return command + ": wrong number of arguments (try joxhost " + command + " --help)";
}

// A usage error for CLI11's own complaints about an option, whose name leads
// its message ("--profile: 1 required TEXT missing", "json was given a
// disallowed flag override").
std::string mismatch(const std::string& message) {
    std::string name = message.substr(0, message.find_first_of(": "));
    if (!name.starts_with("-")) name = (name.size() == 1 ? "-" : "--") + name;
    if (message.find("flag override") != std::string::npos) return name + " takes no value";
    return name + " needs a value";
}

// What nothing took, in order: an option no command knows, or a command
// joxhost has not. "" when neither; an argument too many is the caller's.
std::string unknown(const std::vector<std::string>& rest, const std::vector<std::string>& args,
                     const CommandDeclaration* command) {
    const auto mark = std::find(args.begin(), args.end(), "--");  // options end there
    for (const auto& arg : rest) {
        const bool optionsEnded = mark != args.end() && std::find(mark + 1, args.end(), arg) != args.end();
        if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            return "unknown option " + arg.substr(0, arg.find('=')) + " (try --help)";
        }
        if (!command) return "unknown command '" + arg + "' (try --help)";
    }
    return "";
}

// "[--subject S]", "[--attach FILE]...", "[--show]"
std::string usageOf(const OptionDeclaration& option) {
    std::string text = "[" + option.name + (option.value.empty() ? "" : " " + option.value) + "]";
    return option.repeatable ? text + "..." : text;
}

// "ACCOUNT ADDRESS TEXT", "[KEY=VALUE...]"
std::string argumentsOf(const CommandDeclaration& command) {
    std::string text;
    for (const auto& argument : command.arguments) {
        if (!text.empty()) text += ' ';
        text += argument.many ? "[" + argument.name + "...]" : argument.name;
    }
    return text;
}

// Words joined by spaces, broken before a word that would pass column 80;
// later lines are indented as far as "Usage: joxhost ".
std::string wrapped(const std::vector<std::string>& words) {
    std::string text;
    size_t column = 0;
    for (const auto& word : words) {
        if (column > 0 && column + 1 + word.size() > 80) {
            text += "\n                 ";
            column = 17;
        } else if (column > 0) {
            text += ' ';
            ++column;
        }
        text += word;
        column += word.size();
    }
    return text + "\n";
}

// Rows of two columns; a second column of several lines keeps its indent.
std::string table(const std::vector<std::pair<std::string, std::string>>& rows) {
    size_t width = 0;
    for (const auto& row : rows) width = std::max(width, row.first.size());
    std::string text;
    for (const auto& [left, right] : rows) {
        std::string line = "  " + left + std::string(width - left.size() + 2, ' ');
        for (const char c : right) {
            line += c;
            if (c == '\n') line += std::string(width + 4, ' ');
        }
        text += line + "\n";
    }
    return text;
}

std::string optionsTable(const std::vector<const OptionDeclaration*>& options) {
    std::vector<std::pair<std::string, std::string>> rows;
    for (const auto* option : options) {
        std::string left = option->name + (option->value.empty() ? "" : " " + option->value);
        if (!option->shortName.empty()) left += ", " + option->shortName;
        rows.emplace_back(left, option->help);
    }
    return table(rows);
}

std::string commonOptions() {
    std::vector<const OptionDeclaration*> options;
    for (const auto& option : globalOptions()) options.push_back(&option);
    return "Options of every command:\n" + optionsTable(options);
}

}  // namespace

std::optional<int> parseIndex(const std::string& text) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args) {
    ParsedCommandLine parsed;
    CommandLine& line = parsed.line;
    std::string failure;  // a declared check's message

    CLI::App app("joxhost", "joxhost");
    app.set_help_flag();  // --help is a global option of our own
    app.allow_extras();
    app.require_subcommand(0, 1);  // a second command's name is an argument
    for (const auto& option : globalOptions()) addOption(app, option, line, failure);
    // Command options are taken anywhere too, as joxhost always did (before
    // the command's name as well); whether the command allows each is
    // checked once the command is known.
    std::vector<std::pair<const OptionDeclaration*, CLI::Option*>> commandOptionsTaken;
    for (const auto& option : commandOptions()) {
        commandOptionsTaken.emplace_back(&option, addOption(app, option, line, failure));
    }

    // The values of each command's arguments, in declared order.
    std::list<std::vector<std::string>> values;
    for (const auto& command : commands()) {
        CLI::App* sub = app.add_subcommand(command.name);
        sub->fallthrough();  // options after the command
        sub->allow_extras();
        for (size_t i = 0; i < command.arguments.size(); ++i) {
            const ArgumentDeclaration& argument = command.arguments[i];
            auto& storage = values.emplace_back();
            const std::string name = "argument" + std::to_string(i);
            CLI::Option* positional = nullptr;
            if (argument.many) {
                positional = sub->add_option(name, storage);
            } else {
                positional =
                    sub->add_option_function<std::string>(name, [&storage](const std::string& v) { storage = {v}; })
                        ->required();
            }
            if (argument.check) positional->check(validator(argument.check, command.name + ": ", failure));
        }
    }

    const auto selected = [&]() -> const CommandDeclaration* {
        const auto subs = app.get_subcommands();
        return subs.empty() ? nullptr : findCommand(subs.front()->get_name());
    };
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ValidationError&) {
        parsed.error = failure;
    } catch (const CLI::ArgumentMismatch& e) {
        parsed.error = mismatch(e.what());
    } catch (const CLI::RequiredError&) {
        parsed.error = selected() ? wrongNumber(selected()->name) : "no command given (try --help)";
    } catch (const CLI::ParseError& e) {
        parsed.error = e.what();
    }
    const CommandDeclaration* command = selected();
    if (command) line.command = command->name;
    if (line.help) {
        parsed.error.clear();
        return parsed;
    }
    if (!parsed.error.empty()) return parsed;

    auto rest = app.remaining(true);
    // CLI11 keeps the "--" that ended the options among what it left over.
    if (const auto mark = std::find(rest.begin(), rest.end(), "--"); mark != rest.end()) rest.erase(mark);
    parsed.error = unknown(rest, args, command);
    if (!parsed.error.empty()) return parsed;
    if (!command) {
        parsed.error = "no command given (try --help)";
        return parsed;
    }
    for (const auto& [option, taken] : commandOptionsTaken) {
        const auto& allowed = command->options;
        if (taken->count() > 0 && std::find(allowed.begin(), allowed.end(), option->name) == allowed.end()) {
            parsed.error = option->name + " belongs to " + commandsAllowing(option->name);
            return parsed;
        }
    }
    if (!rest.empty()) {
        parsed.error = wrongNumber(command->name);
        return parsed;
    }
    auto value = values.begin();
    for (const auto& other : commands()) {
        for (size_t i = 0; i < other.arguments.size(); ++i, ++value) {
            if (&other == command) line.arguments.insert(line.arguments.end(), value->begin(), value->end());
        }
    }
    if (command->rule) parsed.error = command->rule(line);
    return parsed;
}

std::string helpText(const std::string& name) {
    const CommandDeclaration* command = findCommand(name);
    if (!command) {
        std::vector<std::pair<std::string, std::string>> rows;
        for (const auto& each : commands()) {
            const std::string arguments = argumentsOf(each);
            rows.emplace_back(arguments.empty() ? each.name : each.name + " " + arguments, each.summary);
        }
        return "Usage: joxhost [options] COMMAND [arguments]\n"
               "Runs the postrix mail plug-in on Linux.\n\n"
               "Commands:\n" +
               table(rows) + "\n" + commonOptions() + "\n'joxhost COMMAND --help' tells more about a command.\n";
    }
    std::vector<std::string> words = {"Usage:", "joxhost", "[options]", command->name};
    for (const auto& argument : command->arguments) {
        words.push_back(argument.many ? "[" + argument.name + "...]" : argument.name);
    }
    std::vector<const OptionDeclaration*> own;
    for (const auto& option : command->options) {
        own.push_back(findOption(option));
        words.push_back(usageOf(*own.back()));
    }
    std::string text = wrapped(words) + command->help + "\n";
    if (!own.empty()) text += "Options of " + command->name + ":\n" + optionsTable(own) + "\n";
    return text + commonOptions();
}

}  // namespace joxhost
