// "Ar/WriteMessage" and "News/AddEntry": one SQLite row per record in
// archive.db of the profile directory, every field of the record kept.
//
// The rows written in one burst (a mail check hands over the news entries of
// all its new messages in one call) share one transaction: it begins with
// the burst's first row and commits before the host reports anything else
// (the check's end, a notice, a log line) and at the loop's next turn at the
// latest, and when the archive closes. The database runs in WAL mode with
// synchronous=NORMAL, so a commit appends to archive.db-wal and costs no
// fsync; other processes on the profile read while a burst is written.
#pragma once

#include <asio.hpp>
#include <filesystem>
#include <memory>
#include <string>

#include "core/reporter.h"
#include "core/service_registry.h"

struct sqlite3;

namespace joxhost {

class Archive {
public:
    Archive(std::filesystem::path databasePath, asio::io_context& io, Reporter& reporter);
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    void install(ServiceRegistry& services);

    int64_t writeMessage(const void* record);
    int64_t addNewsEntry(const void* record);

    // Commits the rows written since the last commit, if any.
    void commit();
    // Rows are written that are not committed yet.
    bool pending() const;

private:
    bool open();
    bool beginBurst();
    void report(const Event& event);
    void fail(const std::string& what);

    std::filesystem::path path_;
    asio::io_context& io_;
    Reporter& reporter_;
    sqlite3* db_ = nullptr;
    bool reporting_ = false;  // an event of the archive's own does not end the burst
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace joxhost
