// Reading a file the plug-in keeps beside an account's settings (its known
// mail ids, its IMAP state), where every reason a file cannot be used is
// told once in the log and the check starts over.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace postrix {

// Why a kept file could not be read, as the end of a log line about it
// (" does not exist yet", " cannot be read", ...), and the level that line
// deserves: a file not written yet is no failure.
struct KeptFileProblem {
    std::string why;
    int level;
};

// Reads the file at path into bytes when it holds at most maxBytes.
std::optional<KeptFileProblem> readKeptFile(std::u16string_view path, size_t maxBytes, std::string& bytes);

}  // namespace postrix
