#include "support/temp_dir.h"

#include <fstream>
#include <stdexcept>
#include <stdlib.h>

namespace postrix::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "postrix-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::write(std::string_view name, std::string_view content) const {
    const std::filesystem::path file = path_ / std::filesystem::path(std::u8string(name.begin(), name.end()));
    std::ofstream out(file, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return file.string();
}

bool TempDir::exists(std::string_view name) const {
    return std::filesystem::exists(path_ / std::filesystem::path(std::u8string(name.begin(), name.end())));
}

}  // namespace postrix::test
