#include "cli/cli.h"

#include <charconv>
#include <map>
#include <set>

namespace joxhost {
namespace {

struct CommandShape {
    Command command;
    size_t minArgs;
    size_t maxArgs;  // SIZE_MAX: any number
};

const std::map<std::string, CommandShape>& commands() {
    static const std::map<std::string, CommandShape> table = {
        {"accounts", {Command::Accounts, 0, 0}},
        {"account-add", {Command::AccountAdd, 1, 1}},
        {"account-remove", {Command::AccountRemove, 1, 1}},
        {"config", {Command::Config, 0, SIZE_MAX}},
        {"chat", {Command::Chat, 3, 3}},
        {"run", {Command::Run, 0, 0}},
        {"contacts", {Command::Contacts, 0, 0}},
        {"contact-add", {Command::ContactAdd, 2, 2}},
        {"contact-remove", {Command::ContactRemove, 1, 1}},
        {"send", {Command::Send, 1, SIZE_MAX}},
        {"options", {Command::Options, 1, 1}},
    };
    return table;
}

// Options that take a value, "--name value" or "--name=value".
bool takesValue(const std::string& name) {
    static const std::set<std::string> names = {
        "--profile", "--plugin", "--ca-file", "--subject", "--profile-name", "--timeout", "--to", "--body",
        "--body-file", "--attach", "--mail", "--login", "--smtp", "--pop3", "--ssl", "--www", "--interval"};
    return names.count(name) != 0;
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
    auto fail = [&](std::string why) {
        parsed.error = std::move(why);
        return parsed;
    };
    std::string name;  // the command as written
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-' && arg != "-";
        if (!isOption) {
            if (name.empty()) {
                const auto it = commands().find(arg);
                if (it == commands().end()) return fail("unknown command '" + arg + "' (try --help)");
                name = arg;
                line.command = it->second.command;
            } else {
                line.arguments.push_back(arg);
            }
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string option = arg;
        std::optional<std::string> value;
        if (const size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
            option = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        if (takesValue(option) && !value) {
            if (i + 1 >= args.size()) return fail(option + " needs a value");
            value = args[++i];
        } else if (!takesValue(option) && value) {
            return fail(option + " takes no value");
        }
        if (option == "--help" || option == "-h") {
            line.help = true;
        } else if (option == "--json") {
            line.json = true;
        } else if (option == "--verbose" || option == "-v") {
            line.verbose = true;
        } else if (option == "--profile") {
            line.profileDir = *value;
        } else if (option == "--plugin") {
            line.pluginPath = *value;
        } else if (option == "--ca-file") {
            line.caFile = *value;
        } else if (option == "--subject") {
            line.subject = *value;
        } else if (option == "--profile-name") {
            line.profileName = *value;
        } else if (option == "--to") {
            line.to.push_back(*value);
        } else if (option == "--body") {
            line.body = *value;
        } else if (option == "--body-file") {
            line.bodyFile = *value;
        } else if (option == "--attach") {
            line.attachments.push_back(*value);
        } else if (option == "--show") {
            line.show = true;
        } else if (option == "--password-stdin") {
            line.passwordStdin = true;
        } else if (option == "--mail") {
            line.mail = *value;
        } else if (option == "--login") {
            line.login = *value;
        } else if (option == "--smtp") {
            line.smtp = *value;
        } else if (option == "--pop3") {
            line.pop3 = *value;
        } else if (option == "--www") {
            line.www = *value;
        } else if (option == "--interval") {
            line.interval = *value;
        } else if (option == "--ssl") {
            if (*value != "on" && *value != "off") return fail("--ssl takes on or off");
            line.ssl = *value == "on";
        } else if (option == "--timeout") {
            const auto seconds = parseIndex(*value);
            if (!seconds || *seconds == 0) return fail("--timeout needs a positive number of seconds");
            line.timeoutSeconds = *seconds;
        } else {
            return fail("unknown option " + option + " (try --help)");
        }
    }
    if (line.help) return parsed;
    if (line.command == Command::None) return fail("no command given (try --help)");
    const bool sending = line.command == Command::Send;
    const bool options = line.command == Command::Options;
    if (line.subject && line.command != Command::Chat && !sending) return fail("--subject belongs to chat and send");
    if (!sending && (!line.to.empty() || line.body || line.bodyFile || !line.attachments.empty())) {
        return fail("--to, --body, --body-file and --attach belong to send");
    }
    if (!options && (line.show || line.passwordStdin || line.mail || line.login || line.smtp || line.pop3 ||
                     line.www || line.interval || line.ssl)) {
        return fail("--show, --mail, --login, --password-stdin, --smtp, --pop3, --ssl, --www and --interval "
                    "belong to options");
    }

    if (!line.profileName.empty() && line.command != Command::Config) {
        return fail("--profile-name belongs to config");
    }
    const CommandShape& shape = commands().at(name);
    if (line.arguments.size() < shape.minArgs || line.arguments.size() > shape.maxArgs) {
        return fail(name + ": wrong number of arguments (try joxhost " + name + " --help)");
    }
    if (line.command == Command::AccountRemove && !parseIndex(line.arguments[0])) {
        return fail("account-remove: ID must be an account id (a number)");
    }
    if ((sending || options) && !parseIndex(line.arguments[0])) {
        return fail(name + ": ACCOUNT must be a position in the account list (0 for the main account)");
    }
    if (sending && line.body.has_value() == line.bodyFile.has_value()) {
        return fail("send: give the body with either --body or --body-file");
    }
    if (line.command == Command::Chat && !parseIndex(line.arguments[0])) {
        return fail("chat: ACCOUNT must be a position in the account list (0 for the main account)");
    }
    if (line.command == Command::Config) {
        for (const auto& pair : line.arguments) {
            if (pair.find('=') == std::string::npos || pair.front() == '=') {
                return fail("config: expected KEY=VALUE, got '" + pair + "'");
            }
        }
    }
    return parsed;
}

std::string helpText(Command command) {
    const std::string common =
        "Options of every command:\n"
        "  --profile DIR   profile directory (else $JOXHOST_PROFILE, else\n"
        "                  $XDG_DATA_HOME/joxhost, else ~/.local/share/joxhost)\n"
        "  --plugin PATH   the plug-in (else postrix.so beside joxhost)\n"
        "  --ca-file FILE  trust this CA too when verifying servers\n"
        "  --json          one JSON object a line on standard output\n"
        "  --verbose, -v   show more of what happens\n"
        "  --help, -h      this help\n";
    switch (command) {
        case Command::Accounts:
            return "Usage: joxhost [options] accounts\n"
                   "Lists the accounts as the plug-in shows them in the account window.\n\n" + common;
        case Command::AccountAdd:
            return "Usage: joxhost [options] account-add NAME\n"
                   "Adds a profile account; NAME answers the plug-in's prompt (at most 32\n"
                   "characters, no path separators).\n\n" + common;
        case Command::AccountRemove:
            return "Usage: joxhost [options] account-remove ID\n"
                   "Removes the account with the id that `accounts` shows.\n\n" + common;
        case Command::Config:
            return "Usage: joxhost [options] config [--profile-name P] [KEY=VALUE...]\n"
                   "Writes settings into the main account's file, or profile P's file.\n"
                   "VALUE is stored as text; int:N stores the integer N and text:T the\n"
                   "text T. Without KEY=VALUE the file's settings are shown.\n"
                   "Example: joxhost config MAIL/mail=jan@example.com MAIL/ssl=int:1\n\n" + common;
        case Command::Chat:
            return "Usage: joxhost [options] chat ACCOUNT ADDRESS TEXT [--subject S] [--timeout S]\n"
                   "Sends TEXT as a chat message to the mail contact ADDRESS through the\n"
                   "account at position ACCOUNT (0: the main account) and waits for the\n"
                   "outcome. TEXT '-' reads the text from standard input.\n"
                   "Exit status: 0 sent, 1 failed (or no outcome within --timeout seconds,\n"
                   "120 by default), 2 bad usage, 3 the plug-in started nothing.\n\n" + common;
        case Command::Run:
            return "Usage: joxhost [options] run\n"
                   "Loads the plug-in and runs until SIGINT, SIGTERM or `quit`. Commands on\n"
                   "standard input, one a line:\n"
                   "  check N                 check account N's mailbox now\n"
                   "  chat N ADDRESS TEXT     send TEXT (the rest of the line) to ADDRESS\n"
                   "  click                   click the newest notification\n"
                   "  close                   close the newest notification\n"
                   "  accounts                list the accounts\n"
                   "  quit                    unload the plug-in and stop\n\n" + common;
        case Command::Contacts:
            return "Usage: joxhost [options] contacts\n"
                   "Lists the profile's contacts (contacts.txt): name and e-mail address.\n\n" + common;
        case Command::ContactAdd:
            return "Usage: joxhost [options] contact-add NAME ADDRESS\n"
                   "Adds a contact, or gives the contact NAME a new address.\n\n" + common;
        case Command::ContactRemove:
            return "Usage: joxhost [options] contact-remove NAME\n"
                   "Removes the contact NAME.\n\n" + common;
        case Command::Send:
            return "Usage: joxhost [options] send ACCOUNT --to CONTACT... --subject S\n"
                   "                 (--body TEXT | --body-file FILE) [--attach FILE]... [--timeout S]\n"
                   "Does what a person does: picks \"Wyślij e-mail...\" in the contact menu of\n"
                   "the contacts, chooses the account at position ACCOUNT in \"Od:\", types the\n"
                   "subject and body, adds each file through \"Załączniki...\" and \"Dodaj...\",\n"
                   "and presses \"Wyślij\"; then waits for the outcome. CONTACT is a name from\n"
                   "`contacts` or an address (repeat --to, or list more after ACCOUNT).\n"
                   "Exit status: 0 sent, 1 failed, 2 bad usage, 3 nothing was sent.\n\n" + common;
        case Command::Options:
            return "Usage: joxhost [options] options ACCOUNT [--show] [--mail A] [--login L]\n"
                   "                 [--password-stdin] [--smtp S] [--pop3 S] [--ssl on|off]\n"
                   "                 [--www URL] [--interval N]\n"
                   "Opens the options page of the account at position ACCOUNT, types the\n"
                   "given values into it, applies and closes it. --show prints the page as\n"
                   "it shows (the password masked); --password-stdin reads the password\n"
                   "from the first line of standard input.\n\n" + common;
        case Command::None:
            break;
    }
    return "Usage: joxhost [options] COMMAND [arguments]\n"
           "Runs the postrix mail plug-in on Linux.\n\n"
           "Commands:\n"
           "  accounts                      list the accounts\n"
           "  account-add NAME              add a profile account\n"
           "  account-remove ID             remove an account\n"
           "  config [--profile-name P] KEY=VALUE...   write account settings\n"
           "  chat ACCOUNT ADDRESS TEXT [--subject S]  send a mail as a chat message\n"
           "  run                           run with commands on standard input\n"
           "  contacts                      list the contacts\n"
           "  contact-add NAME ADDRESS      add a contact\n"
           "  contact-remove NAME           remove a contact\n"
           "  send ACCOUNT --to CONTACT...  send a mail through the send dialog\n"
           "  options ACCOUNT [--show] ...  edit an account on its options page\n\n" +
           common + "\n'joxhost COMMAND --help' tells more about a command.\n";
}

}  // namespace joxhost
