#include "cli/command_table.h"

#include <algorithm>
#include <cctype>

#include "cli/commands.h"
#include "store/known_settings.h"

namespace joxhost {
namespace {

std::string accountPosition(const std::string& value) {
    return parseIndex(value) ? "" : "ACCOUNT must be a position in the account list (0 for the main account)";
}

OptionDeclaration text(std::string name, std::string value, std::string help,
                       std::optional<std::string> CommandLine::*field) {
    return {std::move(name), "", std::move(value), std::move(help), false,
            [field](CommandLine& line, const std::string& v) { line.*field = v; }, {}};
}

OptionDeclaration list(std::string name, std::string value, std::string help,
                       std::vector<std::string> CommandLine::*field) {
    return {std::move(name), "", std::move(value), std::move(help), true,
            [field](CommandLine& line, const std::string& v) { (line.*field).push_back(v); }, {}};
}

OptionDeclaration flag(std::string name, std::string shortName, std::string help, bool CommandLine::*field) {
    return {std::move(name), std::move(shortName), "", std::move(help), false,
            [field](CommandLine& line, const std::string&) { line.*field = true; }, {}};
}

// config's help: what it does and every key it takes, from the one table.
std::string configHelp() {
    std::string text =
        "Writes settings into the main account's file, or profile P's file; keys\n"
        "host/... go into the profile's joxhost.settings and hold for every\n"
        "account. Each value is stored with its key's type (int:N and text:T say\n"
        "it outright); an unknown key or a value of the wrong type is refused.\n"
        "Without KEY=VALUE the file's settings are shown.\n"
        "The password needs no command line: --password-stdin reads it from the\n"
        "first line of standard input, --password asks for it on the terminal.\n"
        "Example: joxhost config MAIL/mail=jan@example.com MAIL/ssl=1\n\nKeys:\n";
    size_t width = 0;
    for (const auto& setting : knownSettings()) width = std::max(width, setting.key.size());
    for (const auto& setting : knownSettings()) {
        text += "  " + std::string(setting.key) + std::string(width - setting.key.size() + 2, ' ') +
                std::string(setting.help) + "\n";
    }
    return text;
}

}  // namespace

const std::vector<OptionDeclaration>& globalOptions() {
    static const std::vector<OptionDeclaration> options = {
        {"--profile", "", "DIR",
         "profile directory (else $JOXHOST_PROFILE, else\n$XDG_DATA_HOME/joxhost, else ~/.local/share/joxhost)", false,
         [](CommandLine& line, const std::string& v) { line.profileDir = v; }, {}},
        {"--plugin", "", "PATH", "the plug-in (else postrix.so beside joxhost)", false,
         [](CommandLine& line, const std::string& v) { line.pluginPath = v; }, {}},
        {"--ca-file", "", "FILE",
         "trust this CA too when verifying servers (else the one\nsaved with config host/caFile=FILE)", false,
         [](CommandLine& line, const std::string& v) { line.caFile = v; }, {}},
        flag("--json", "", "one JSON object a line on standard output", &CommandLine::json),
        flag("--verbose", "-v", "show more of what happens", &CommandLine::verbose),
        flag("--help", "-h", "this help", &CommandLine::help),
    };
    return options;
}

const std::vector<OptionDeclaration>& commandOptions() {
    static const std::vector<OptionDeclaration> options = [] {
        std::vector<OptionDeclaration> all = {
            text("--subject", "S", "the mail's subject (empty when left out)", &CommandLine::subject),
            {"--timeout", "", "SECONDS", "wait this long for the outcome (120 by default)", false,
             [](CommandLine& line, const std::string& v) { line.timeoutSeconds = *parseIndex(v); },
             [](const std::string& v) {
                 const auto seconds = parseIndex(v);
                 return seconds && *seconds > 0 ? "" : "--timeout needs a positive number of seconds";
             }},
            {"--profile-name", "", "P", "write profile P's file instead of the main account's", false,
             [](CommandLine& line, const std::string& v) { line.profileName = v; }, {}},
            list("--to", "CONTACT", "a contact's name or an address (repeat for more)", &CommandLine::to),
            text("--body", "TEXT", "the body (or --body-file)", &CommandLine::body),
            text("--body-file", "FILE", "read the body from FILE (or --body)", &CommandLine::bodyFile),
            list("--attach", "FILE", "attach FILE (repeat for more)", &CommandLine::attachments),
            flag("--show", "", "print the page's labels and values", &CommandLine::show),
            text("--mail", "A", "the e-mail address", &CommandLine::mail),
            text("--login", "L", "the login", &CommandLine::login),
            flag("--password-stdin", "", "read the password from the first line of standard input",
                 &CommandLine::passwordStdin),
            text("--smtp", "S", "the SMTP server", &CommandLine::smtp),
            text("--pop3", "S", "the POP3 server", &CommandLine::pop3),
            {"--protocol", "", "pop3|imap", "check mail over POP3 or IMAP", false,
             [](CommandLine& line, const std::string& v) { line.protocol = v; },
             [](const std::string& v) {
                 std::string name = v;
                 std::transform(name.begin(), name.end(), name.begin(),
                                [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
                 return name == "pop3" || name == "imap" ? "" : "--protocol takes pop3 or imap, got '" + v + "'";
             }},
            text("--imap", "S", "the IMAP server", &CommandLine::imap),
            text("--folder", "F", "the IMAP folder checked (empty: INBOX)", &CommandLine::folder),
            {"--ssl", "", "on|off", "use TLS or not", false,
             [](CommandLine& line, const std::string& v) { line.ssl = v == "on"; },
             [](const std::string& v) { return v == "on" || v == "off" ? "" : "--ssl takes on or off"; }},
            text("--www", "URL", "the mailbox's web address", &CommandLine::www),
            {"--interval", "", "N", "minutes between mail checks (1 to 35791)", false,
             [](CommandLine& line, const std::string& v) { line.interval = v; },
             [](const std::string& v) {
                 return parseMinutes(v) ? "" : minutesProblem("--interval") + ", got '" + v + "'";
             }},
            flag("--password", "", "ask for the password on the terminal (no echo)",
                 &CommandLine::passwordPrompt),
            flag("--any-key", "", "take keys joxhost does not know too (int:N an integer,\nanything else a text)",
                 &CommandLine::anyKey),
            flag("--stay", "", "keep running after the input ends", &CommandLine::stay),
        };
        return all;
    }();
    return options;
}

const std::vector<CommandDeclaration>& commands() {
    static const std::vector<CommandDeclaration> table = {
        {"accounts", {}, {}, "list the accounts",
         "Lists the accounts as the plug-in shows them in the account window.\n", accountsCommand, {}},
        {"account-add", {{"NAME"}}, {}, "add a profile account",
         "Adds a profile account; NAME answers the plug-in's prompt (at most 32\n"
         "characters, no path separators).\n",
         accountAddCommand, {}},
        {"account-remove", {{"ACCOUNT", false, accountPosition}}, {}, "remove a profile account",
         "Removes the profile account at position ACCOUNT of `accounts` and its\n"
         "settings file. The main account (position 0) cannot be removed.\n",
         accountRemoveCommand, {}},
        {"config",
         {{"KEY=VALUE", true,
           [](const std::string& v) {
               return v.find('=') == std::string::npos || v.front() == '='
                          ? "expected KEY=VALUE, got '" + v + "'"
                          : std::string();
           }}},
         {"--profile-name", "--password-stdin", "--password", "--any-key"}, "write account settings",
         configHelp(), configCommand,
         [](const CommandLine& line) {
             return line.passwordStdin && line.passwordPrompt
                        ? "config: give the password with either --password-stdin or --password"
                        : "";
         }},
        {"check", {{"ACCOUNT", false, accountPosition}}, {"--timeout"}, "check an account's mailbox once",
         "Checks the mailbox of the account at position ACCOUNT once, as its timer\n"
         "does, shows what the plug-in shows, as `run` does, and ends with the\n"
         "check. The very first check of an account learns what the mailbox holds\n"
         "and announces none of it; every later one, in this process or the next,\n"
         "announces what arrived since (the plug-in keeps postrix.known).\n"
         "Exit status: 0 checked (new mail or none), 1 the check failed (its error\n"
         "on one line) or did not end within --timeout seconds, 2 bad usage, 3 no\n"
         "check started (the settings it lacks are named, or no POP3 server).\n",
         checkCommand, {}},
        {"chat", {{"ACCOUNT", false, accountPosition}, {"ADDRESS"}, {"TEXT"}}, {"--subject", "--timeout"},
         "send a mail as a chat message",
         "Sends TEXT as a chat message to the mail contact ADDRESS through the\n"
         "account at position ACCOUNT (0: the main account) and waits for the\n"
         "outcome. TEXT '-' reads the text from standard input.\n"
         "Exit status: 0 sent, 1 failed (or no outcome within --timeout seconds),\n"
         "2 bad usage, 3 the plug-in started nothing.\n",
         chatCommand, {}},
        {"run", {}, {"--stay", "--timeout"}, "run with commands on standard input",
         "Loads the plug-in and runs it with commands on standard input, one a line:\n"
         "  check N                 check account N's mailbox now\n"
         "  chat N ADDRESS TEXT     send TEXT (the rest of the line) to ADDRESS\n"
         "  click                   click the newest notification\n"
         "  close                   close the newest notification\n"
         "  accounts                list the accounts\n"
         "  quit                    unload the plug-in and stop at once\n"
         "At the end of the input it waits for the checks and sends it began (at\n"
         "most --timeout seconds) and stops; with --stay it keeps running on the\n"
         "plug-in's timers until SIGINT, SIGTERM or `quit`.\n"
         "For tests, JOXHOST_MINUTE_MS=N makes each minute of the mail check\n"
         "timers (MAIL/checkInterval) last N milliseconds.\n"
         "Exit status: 0 all went well, 1 a check, a send or a command line failed\n"
         "(or a check or a send had no outcome within --timeout seconds).\n",
         runLoopCommand, {}},
        {"contacts", {}, {}, "list the contacts",
         "Lists the profile's contacts (contacts.txt): name and e-mail address.\n", contactsCommand, {}},
        {"contact-add", {{"NAME"}, {"ADDRESS"}}, {}, "add a contact",
         "Adds a contact, or gives the contact NAME a new address.\n", contactAddCommand, {}},
        {"contact-remove", {{"NAME"}}, {}, "remove a contact", "Removes the contact NAME.\n", contactRemoveCommand,
         {}},
        {"send", {{"ACCOUNT", false, accountPosition}, {"CONTACT", true}},
         {"--to", "--subject", "--body", "--body-file", "--attach", "--timeout"},
         "send a mail through the send dialog",
         "Does what a person does: picks \"Wyślij e-mail...\" in the contact menu of\n"
         "the contacts, chooses the account at position ACCOUNT in \"Od:\", types the\n"
         "subject and body, adds each file through \"Załączniki...\" and \"Dodaj...\",\n"
         "and presses \"Wyślij\"; then waits for the outcome. CONTACT is a name from\n"
         "`contacts` or an address (list them after ACCOUNT, or repeat --to).\n"
         "Without --subject the mail goes with an empty subject.\n"
         "Exit status: 0 sent, 1 failed, 2 bad usage, 3 nothing was sent (the\n"
         "settings the account lacks are named).\n",
         sendCommand,
         [](const CommandLine& line) {
             return line.body.has_value() == line.bodyFile.has_value()
                        ? "send: give the body with either --body or --body-file"
                        : "";
         }},
        {"options", {{"ACCOUNT", false, accountPosition}},
         {"--show", "--mail", "--login", "--password-stdin", "--smtp", "--pop3", "--protocol", "--imap", "--folder",
          "--ssl", "--www", "--interval"},
         "edit an account on its options page",
         "Opens the options page of the account at position ACCOUNT, types the\n"
         "given values into it, applies and closes it. --show prints the page as\n"
         "it shows (the password masked) and changes nothing. --password-stdin\n"
         "reads the password from the first line of standard input.\n",
         optionsCommand, {}},
    };
    return table;
}

const CommandDeclaration* findCommand(const std::string& name) {
    for (const auto& command : commands()) {
        if (command.name == name) return &command;
    }
    return nullptr;
}

const OptionDeclaration* findOption(const std::string& name) {
    for (const auto* options : {&globalOptions(), &commandOptions()}) {
        for (const auto& option : *options) {
            if (option.name == name || (!option.shortName.empty() && option.shortName == name)) return &option;
        }
    }
    return nullptr;
}

}  // namespace joxhost
