// A password that never appears on the command line: the first line of
// standard input, or typed on the terminal without echo.
#pragma once

#include <istream>
#include <optional>
#include <string>

namespace joxhost {

// The first line of a stream without its line end ("\n" or "\r\n"); empty
// for an empty stream.
std::string firstLine(std::istream& in);

// Shows prompt on stderr and reads one line from standard input with the
// terminal's echo off (restored afterwards). Nothing when standard input is
// no terminal.
std::optional<std::string> promptPassword(const std::string& prompt);

}  // namespace joxhost
