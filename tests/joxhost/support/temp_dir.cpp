#include "temp_dir.h"

#include <cstdlib>
#include <string>

namespace joxhost::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "joxhost-test-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace joxhost::test
