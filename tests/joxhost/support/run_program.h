// Runs a program to its end with the given standard input.
#pragma once

#include <string>
#include <vector>

namespace joxhost::test {

struct ProgramResult {
    int exitCode = -1;
    std::string out;
    std::string err;
    std::vector<std::string> lines() const;  // out, line by line
};

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input = {}, const std::vector<std::string>& environment = {});

}  // namespace joxhost::test
