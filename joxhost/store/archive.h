// "Ar/WriteMessage" and "News/AddEntry": one SQLite row per record in
// archive.db of the profile directory, every field of the record kept.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "core/reporter.h"
#include "core/service_registry.h"

struct sqlite3;

namespace joxhost {

class Archive {
public:
    Archive(std::filesystem::path databasePath, Reporter& reporter);
    ~Archive();

    void install(ServiceRegistry& services);

    int64_t writeMessage(const void* record);
    int64_t addNewsEntry(const void* record);

private:
    bool open();
    void fail(const std::string& what);

    std::filesystem::path path_;
    Reporter& reporter_;
    sqlite3* db_ = nullptr;
};

}  // namespace joxhost
