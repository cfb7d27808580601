#include "cli/commands.h"

#include "cli/command_table.h"

namespace joxhost {

int runCommand(const CommandLine& line, const Environment& environment, Reporter& reporter) {
    const CommandDeclaration* command = findCommand(line.command);
    return command ? command->handler(line, environment, reporter) : kExitUsage;
}

}  // namespace joxhost
