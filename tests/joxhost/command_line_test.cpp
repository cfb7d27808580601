// The command line and the commands `run` reads.
#include <gtest/gtest.h>

#include "cli/cli.h"
#include "cli/console.h"

namespace joxhost {
namespace {

ParsedCommandLine parse(std::initializer_list<const char*> args) {
    return parseCommandLine(std::vector<std::string>(args.begin(), args.end()));
}

TEST(CommandLine, AcceptsEveryCommandWithOptionsAnywhere) {
    auto p = parse({"--profile", "/p", "chat", "0", "a@b", "Cześć", "--subject=Temat", "--json", "--timeout", "30"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.line.command, "chat");
    EXPECT_EQ(p.line.profileDir, "/p");
    EXPECT_EQ(p.line.arguments, (std::vector<std::string>{"0", "a@b", "Cześć"}));
    EXPECT_EQ(p.line.subject, "Temat");
    EXPECT_TRUE(p.line.json);
    EXPECT_EQ(p.line.timeoutSeconds, 30);

    p = parse({"config", "--profile-name", "praca", "MAIL/ssl=int:0", "MAIL/mail=a=b@c", "--plugin=/x.so", "-v"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.line.command, "config");
    EXPECT_EQ(p.line.profileName, "praca");
    EXPECT_EQ(p.line.pluginPath, "/x.so");
    EXPECT_TRUE(p.line.verbose);
    EXPECT_EQ(p.line.arguments.size(), 2u);

    p = parse({"--subject", "before the command", "chat", "0", "a@b", "t"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.line.subject, "before the command");

    p = parse({"chat", "0", "a@b", "--", "--not-an-option"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.line.arguments[2], "--not-an-option");

    p = parse({"chat", "0", "a@b", "-"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.line.arguments[2], "-");

    EXPECT_EQ(parse({"accounts", "--ca-file", "/ca.pem"}).line.caFile, "/ca.pem");
    EXPECT_EQ(parse({"account-add", "praca"}).line.command, "account-add");
    EXPECT_EQ(parse({"account-remove", "3"}).line.command, "account-remove");
    EXPECT_EQ(parse({"run"}).line.command, "run");

    p = parse({"send", "1", "--to", "Jan Nowak", "ola@example.com", "--to=Ewa", "--subject", "S", "--body-file",
               "b.txt", "--attach", "a.bin", "--attach", "ł.txt"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.line.command, "send");
    EXPECT_EQ(p.line.arguments, (std::vector<std::string>{"1", "ola@example.com"}));
    EXPECT_EQ(p.line.to, (std::vector<std::string>{"Jan Nowak", "Ewa"}));
    EXPECT_EQ(p.line.bodyFile, "b.txt");
    EXPECT_EQ(p.line.attachments, (std::vector<std::string>{"a.bin", "ł.txt"}));

    p = parse({"options", "0", "--show", "--password-stdin", "--ssl", "off", "--interval", "15", "--www=http://x"});
    ASSERT_EQ(p.error, "");
    EXPECT_TRUE(p.line.show && p.line.passwordStdin);
    EXPECT_EQ(p.line.ssl, false);
    EXPECT_EQ(p.line.interval, "15");
    EXPECT_EQ(p.line.www, "http://x");
    EXPECT_EQ(parse({"contact-remove", "Jan"}).line.command, "contact-remove");

    p = parse({"check", "1", "--timeout", "30"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.line.command, "check");
    EXPECT_EQ(p.line.arguments, std::vector<std::string>{"1"});
    EXPECT_EQ(p.line.timeoutSeconds, 30);

    p = parse({"config", "--password-stdin", "--any-key", "MAIL/x=1"});
    ASSERT_EQ(p.error, "");
    EXPECT_TRUE(p.line.passwordStdin && p.line.anyKey && !p.line.passwordPrompt);
    EXPECT_TRUE(parse({"config", "--password"}).line.passwordPrompt);
}

TEST(CommandLine, HelpNeedsNothingElse) {
    for (const auto& args : {std::vector<std::string>{"--help"}, {"chat", "--help"}, {"-h", "config"}}) {
        const auto p = parseCommandLine(args);
        EXPECT_EQ(p.error, "");
        EXPECT_TRUE(p.line.help);
        EXPECT_FALSE(helpText(p.line.command).empty());
    }
    EXPECT_NE(helpText("chat").find("Usage: joxhost [options] chat"), std::string::npos);
}

TEST(CommandLine, BadUsageIsOneLine) {
    const struct {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{}, "no command given (try --help)"},
        {{"mail"}, "unknown command 'mail' (try --help)"},
        {{"send"}, "send: wrong number of arguments (try joxhost send --help)"},
        {{"send", "x", "--body", "b"}, "send: ACCOUNT must be a position in the account list (0 for the main account)"},
        {{"send", "0", "--to", "Jan"}, "send: give the body with either --body or --body-file"},
        {{"send", "0", "--body", "b", "--body-file", "f"}, "send: give the body with either --body or --body-file"},
        {{"chat", "0", "a", "t", "--attach", "f"}, "--attach belongs to send"},
        {{"options", "0", "--ssl", "yes"}, "--ssl takes on or off"},
        {{"options", "0", "1"}, "options: wrong number of arguments (try joxhost options --help)"},
        {{"send", "0", "--body", "b", "--show"}, "--show belongs to options"},
        {{"options", "0", "--timeout", "5"}, "--timeout belongs to check, chat, run and send"},
        {{"contact-add", "Jan"}, "contact-add: wrong number of arguments (try joxhost contact-add --help)"},
        {{"accounts", "x"}, "accounts: wrong number of arguments (try joxhost accounts --help)"},
        {{"chat", "0", "a@b"}, "chat: wrong number of arguments (try joxhost chat --help)"},
        {{"chat", "first", "a@b", "t"}, "chat: ACCOUNT must be a position in the account list (0 for the main account)"},
        {{"chat", "-1", "a@b", "t"}, "chat: ACCOUNT must be a position in the account list (0 for the main account)"},
        {{"chat", "0", "a@b", "--", "t", "--json"}, "chat: wrong number of arguments (try joxhost chat --help)"},
        {{"account-remove", "x"}, "account-remove: ACCOUNT must be a position in the account list (0 for the main account)"},
        {{"check"}, "check: wrong number of arguments (try joxhost check --help)"},
        {{"check", "main"}, "check: ACCOUNT must be a position in the account list (0 for the main account)"},
        {{"check", "0", "--show"}, "--show belongs to options"},
        {{"options", "0", "--interval", "abc"}, "--interval takes whole minutes from 1 to 35791, got 'abc'"},
        {{"options", "0", "--interval", "0"}, "--interval takes whole minutes from 1 to 35791, got '0'"},
        {{"options", "0", "--interval=-3"}, "--interval takes whole minutes from 1 to 35791, got '-3'"},
        {{"config", "--password-stdin", "--password"},
         "config: give the password with either --password-stdin or --password"},
        {{"options", "0", "--password"}, "--password belongs to config"},
        {{"send", "0", "--any-key"}, "--any-key belongs to config"},
        {{"config", "MAIL/ssl"}, "config: expected KEY=VALUE, got 'MAIL/ssl'"},
        {{"config", "=1"}, "config: expected KEY=VALUE, got '=1'"},
        {{"accounts", "--subject", "s"}, "--subject belongs to chat and send"},
        {{"--subject", "s", "accounts"}, "--subject belongs to chat and send"},
        {{"accounts", "x", "--bogus"}, "unknown option --bogus (try --help)"},
        {{"run", "--profile-name", "p"}, "--profile-name belongs to config"},
        {{"run", "--profile"}, "--profile needs a value"},
        {{"run", "--json=yes"}, "--json takes no value"},
        {{"run", "--bogus"}, "unknown option --bogus (try --help)"},
        {{"chat", "0", "a", "t", "--timeout", "0"}, "--timeout needs a positive number of seconds"},
    };
    for (const auto& c : cases) {
        const auto p = parseCommandLine(c.args);
        EXPECT_EQ(p.error, c.error);
        EXPECT_EQ(p.error.find('\n'), std::string::npos);
    }
}

TEST(ConsoleLine, ParsesTheRunCommands) {
    auto check = parseConsoleLine("check 2\r");
    ASSERT_TRUE(check.command);
    EXPECT_EQ(check.command->kind, ConsoleCommand::Kind::Check);
    EXPECT_EQ(check.command->account, 2);

    auto chat = parseConsoleLine("chat 0 jan@example.com  Dzień dobry, co słychać?  ");
    ASSERT_TRUE(chat.command);
    EXPECT_EQ(chat.command->kind, ConsoleCommand::Kind::Chat);
    EXPECT_EQ(chat.command->address, "jan@example.com");
    EXPECT_EQ(chat.command->text, "Dzień dobry, co słychać?  ");

    for (const auto& [line, kind] : std::vector<std::pair<std::string, ConsoleCommand::Kind>>{
             {"click", ConsoleCommand::Kind::Click},
             {" close ", ConsoleCommand::Kind::Close},
             {"accounts", ConsoleCommand::Kind::Accounts},
             {"quit", ConsoleCommand::Kind::Quit},
             {"", ConsoleCommand::Kind::Empty},
             {"# a comment", ConsoleCommand::Kind::Empty}}) {
        const auto parsed = parseConsoleLine(line);
        ASSERT_TRUE(parsed.command) << line;
        EXPECT_EQ(parsed.command->kind, kind) << line;
    }
    for (const char* bad : {"check", "check x", "check 1 2", "chat 0", "quit now", "send 0"}) {
        const auto parsed = parseConsoleLine(bad);
        EXPECT_FALSE(parsed.command) << bad;
        EXPECT_FALSE(parsed.error.empty()) << bad;
    }
}

}  // namespace
}  // namespace joxhost
