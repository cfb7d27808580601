// joxhost: runs the postrix mail plug-in on Linux.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "cli/cli.h"
#include "cli/commands.h"
#include "core/reporter.h"

int main(int argc, char** argv) {
    // A peer that goes away must be an error result, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto parsed = joxhost::parseCommandLine(args);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "joxhost: %s\n", parsed.error.c_str());
        return joxhost::kExitUsage;
    }
    if (parsed.line.help) {
        std::fputs(joxhost::helpText(parsed.line.command).c_str(), stdout);
        return joxhost::kExitOk;
    }
    joxhost::Reporter reporter(parsed.line.json, parsed.line.verbose);
    // Progress lines are for a person watching, never for a file or a program.
    if (!parsed.line.json && isatty(fileno(stderr))) reporter.setStatusOutput(stderr);
    joxhost::Environment environment{std::getenv("JOXHOST_PROFILE"), std::getenv("XDG_DATA_HOME"),
                                     std::getenv("HOME"), std::getenv("JOXHOST_MINUTE_MS")};
    return joxhost::runCommand(parsed.line, environment, reporter);
}
