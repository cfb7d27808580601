// Desktop services on POSIX: error boxes and addresses go to the desktop of
// the embedding process when there is one; otherwise error text goes to
// stderr and addresses to xdg-open. And the reachability probe.
#include "platform/desktop.h"

#include "platform/posix/desktop_bridge.h"
#include "platform/posix/echo_probe.h"
#include "platform/utf8.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace postrix::platform {

namespace {

constexpr std::string_view kOpener = "xdg-open";

// The full path of an executable found on PATH, or empty.
std::string findOnPath(std::string_view program) {
    const char* path = std::getenv("PATH");
    std::string_view directories = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    while (!directories.empty()) {
        const size_t colon = directories.find(':');
        std::string_view directory = directories.substr(0, colon);
        directories = colon == std::string_view::npos ? std::string_view() : directories.substr(colon + 1);
        // Only absolute directories: what the current directory holds is
        // never run.
        if (directory.empty() || directory.front() != '/') continue;
        std::string candidate(directory);
        candidate.push_back('/');
        candidate.append(program);
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

// Runs in the grandchild between fork and exec, so it uses only
// async-signal-safe calls: a clean signal state, its own session, no
// terminal input, then the program.
[[noreturn]] void execDetached(const char* program, char* const argv[]) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &defaults, nullptr);
    sigaction(SIGCHLD, &defaults, nullptr);
    setsid();
    const int devNull = open("/dev/null", O_RDONLY);
    if (devNull >= 0 && devNull != STDIN_FILENO) {
        dup2(devNull, STDIN_FILENO);
        close(devNull);
    }
    execve(program, argv, environ);
    _exit(127);
}

}  // namespace

void showErrorBox(std::string_view title, std::string_view text) {
    if (const JoxDesktop* desktop = posix::desktop(); desktop != nullptr && desktop->messageBox != nullptr) {
        std::u16string wideTitle;
        std::u16string wideText;
        appendUtf8AsUtf16(title.substr(0, title.find('\0')), wideTitle);
        appendUtf8AsUtf16(text.substr(0, text.find('\0')), wideText);
        desktop->messageBox(desktop->context, 0, wideTitle.c_str(), wideText.c_str(), JOX_BOX_ERROR);
        return;
    }
    std::string message(title);
    message.append(": ");
    message.append(text);
    message.push_back('\n');
    std::fwrite(message.data(), 1, message.size(), stderr);
    std::fflush(stderr);
}

void openAddress(std::string_view address) {
    // The address goes to the opener as one argument, never through a
    // shell; a NUL would cut it short, so the text ends there anyway.
    address = address.substr(0, address.find('\0'));
    if (address.empty()) return;
    if (const JoxDesktop* desktop = posix::desktop(); desktop != nullptr && desktop->openAddress != nullptr) {
        const std::string terminated(address);
        desktop->openAddress(desktop->context, terminated.c_str());
        return;
    }
    const std::string program = findOnPath(kOpener);
    if (program.empty()) return;
    std::string argument(address);
    std::string name(kOpener);
    char* const argv[] = {name.data(), argument.data(), nullptr};

    // Fork twice: the child forks the opener and exits at once, so we reap
    // the child right here and the opener, orphaned, is reaped by init.
    // The host's SIGCHLD handling is left alone.
    const pid_t child = fork();
    if (child < 0) return;
    if (child == 0) {
        const pid_t grandchild = fork();
        if (grandchild == 0) execDetached(program.c_str(), argv);
        _exit(grandchild < 0 ? 1 : 0);
    }
    // ECHILD is fine here: a host that ignores SIGCHLD or reaps every child
    // itself got there first.
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
}

bool probeReachability() {
    return posix::probeHost(posix::probeHostName(), posix::kProbeTimeoutMs) == posix::ProbeOutcome::Reachable;
}

}  // namespace postrix::platform
