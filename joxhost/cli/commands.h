// The commands of joxhost; each returns the process's exit status.
#pragma once

#include "cli/cli.h"
#include "core/reporter.h"

namespace joxhost {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNothingStarted = 3;

struct Environment {
    const char* joxhostProfile = nullptr;
    const char* xdgDataHome = nullptr;
    const char* home = nullptr;
    const char* minuteMs = nullptr;  // JOXHOST_MINUTE_MS: for tests, a mail timer's minute in ms
};

int runCommand(const CommandLine& line, const Environment& environment, Reporter& reporter);

int accountsCommand(const CommandLine& line, const Environment& environment, Reporter& reporter);
int accountAddCommand(const CommandLine& line, const Environment& environment, Reporter& reporter);
int accountRemoveCommand(const CommandLine& line, const Environment& environment, Reporter& reporter);
int configCommand(const CommandLine& line, const Environment& environment, Reporter& reporter);
int checkCommand(const CommandLine& line, const Environment& environment, Reporter& reporter);
int chatCommand(const CommandLine& line, const Environment& environment, Reporter& reporter);
int contactsCommand(const CommandLine& line, const Environment& environment, Reporter& reporter);
int contactAddCommand(const CommandLine& line, const Environment& environment, Reporter& reporter);
int contactRemoveCommand(const CommandLine& line, const Environment& environment, Reporter& reporter);
int sendCommand(const CommandLine& line, const Environment& environment, Reporter& reporter);
int optionsCommand(const CommandLine& line, const Environment& environment, Reporter& reporter);
int runLoopCommand(const CommandLine& line, const Environment& environment, Reporter& reporter);

}  // namespace joxhost
