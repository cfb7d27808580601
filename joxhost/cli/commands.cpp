#include "cli/commands.h"

namespace joxhost {

int runCommand(const CommandLine& line, const Environment& environment, Reporter& reporter) {
    switch (line.command) {
        case Command::Accounts: return accountsCommand(line, environment, reporter);
        case Command::AccountAdd: return accountAddCommand(line, environment, reporter);
        case Command::AccountRemove: return accountRemoveCommand(line, environment, reporter);
        case Command::Config: return configCommand(line, environment, reporter);
        case Command::Chat: return chatCommand(line, environment, reporter);
        case Command::Run: return runLoopCommand(line, environment, reporter);
        case Command::Contacts: return contactsCommand(line, environment, reporter);
        case Command::ContactAdd: return contactAddCommand(line, environment, reporter);
        case Command::ContactRemove: return contactRemoveCommand(line, environment, reporter);
        case Command::Send: return sendCommand(line, environment, reporter);
        case Command::Options: return optionsCommand(line, environment, reporter);
        case Command::None: break;
    }
    return kExitUsage;
}

}  // namespace joxhost
