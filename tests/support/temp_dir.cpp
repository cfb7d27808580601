#include "support/temp_dir.h"

#include <chrono>
#include <fstream>
#include <random>
#include <stdexcept>

namespace postrix::test {

TempDir::TempDir() {
    // create_directory makes the directory only when it did not exist, so a
    // name another process took is passed over.
    std::random_device device;
    std::mt19937_64 random(device() ^ static_cast<std::uint64_t>(
                                          std::chrono::steady_clock::now().time_since_epoch().count()));
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate = base / ("postrix-test-" + std::to_string(random() % 1000000000));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("no temporary directory could be made");
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
