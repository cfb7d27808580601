// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace postrix::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Writes a file in the directory and returns its full path.
    std::string write(std::string_view name, std::string_view content) const;
    bool exists(std::string_view name) const;

private:
    std::filesystem::path path_;
};

}  // namespace postrix::test
