// Runs a program to its end with the given standard input, or leaves it
// running until the test kills it.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace joxhost::test {

class TempDir;

struct ProgramResult {
    int exitCode = -1;
    std::string out;
    std::string err;
    std::vector<std::string> lines() const;  // out, line by line
};

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input = {}, const std::vector<std::string>& environment = {});

// A program left running, its standard output going to a file, until it is
// killed (at the latest when this ends).
class RunningProgram {
public:
    RunningProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& input = {}, const std::vector<std::string>& environment = {});
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // Waits until the output holds the text; false if it ended or the time
    // ran out first.
    bool waitForOutput(const std::string& text, int timeoutMs = 10000);
    // SIGKILL, then waits for the end.
    void kill();
    std::string out() const;

private:
    std::unique_ptr<TempDir> dir_;
    int pid_ = -1;
};

}  // namespace joxhost::test
