#include "run_program.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "temp_dir.h"

extern char** environ;

namespace joxhost::test {

std::vector<std::string> ProgramResult::lines() const {
    std::vector<std::string> out;
    std::istringstream in(this->out);
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

namespace {

// Starts the program with its standard streams on the given files; the
// process id, or -1.
pid_t spawn(const std::string& program, const std::vector<std::string>& args,
            const std::vector<std::string>& environment, const std::filesystem::path& in,
            const std::filesystem::path& out, const std::filesystem::path& err) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) envStrings.emplace_back(*e);
    envStrings.insert(envStrings.end(), environment.begin(), environment.end());
    std::vector<char*> envp;
    for (auto& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    const bool started = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0;
    posix_spawn_file_actions_destroy(&actions);
    return started ? pid : -1;
}

std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input, const std::vector<std::string>& environment) {
    TempDir dir;
    const auto inPath = dir / "in", outPath = dir / "out", errPath = dir / "err";
    std::ofstream(inPath, std::ios::binary) << input;

    ProgramResult result;
    if (const pid_t pid = spawn(program, args, environment, inPath, outPath, errPath); pid > 0) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    return result;
}

RunningProgram::RunningProgram(const std::string& program, const std::vector<std::string>& args,
                               const std::string& input, const std::vector<std::string>& environment)
    : dir_(std::make_unique<TempDir>()) {
    std::ofstream(*dir_ / "in", std::ios::binary) << input;
    pid_ = spawn(program, args, environment, *dir_ / "in", *dir_ / "out", *dir_ / "err");
}

RunningProgram::~RunningProgram() {
    kill();
}

bool RunningProgram::waitForOutput(const std::string& text, int timeoutMs) {
    for (int waited = 0; pid_ > 0 && waited < timeoutMs; waited += 10) {
        if (out().find(text) != std::string::npos) return true;
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            break;
        }
        ::usleep(10000);
    }
    return out().find(text) != std::string::npos;
}

void RunningProgram::kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::string RunningProgram::out() const {
    return slurp(*dir_ / "out");
}

}  // namespace joxhost::test
