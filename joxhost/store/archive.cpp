#include "store/archive.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <vector>

#include "core/utf.h"
#include "postrix/abi/records_notify.h"
#include "postrix/abi/records_send.h"

namespace joxhost {

using postrix::ArchiveRecord;
using postrix::NewsEntryRecord;

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS archive (
  id INTEGER PRIMARY KEY,
  size INTEGER, direction INTEGER, contact TEXT, net_class TEXT, account_id INTEGER,
  subject TEXT, body TEXT, flags INTEGER, time INTEGER);
CREATE TABLE IF NOT EXISTS news (
  id INTEGER PRIMARY KEY,
  size INTEGER, first_text TEXT, sender TEXT, subject TEXT, account_address TEXT, icon TEXT);
)sql";

// One statement with its bound values; text values may be NULL.
class Insert {
public:
    Insert(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr); }
    ~Insert() { sqlite3_finalize(statement_); }
    Insert(const Insert&) = delete;
    Insert& operator=(const Insert&) = delete;

    Insert& number(int64_t value) {
        sqlite3_bind_int64(statement_, ++index_, value);
        return *this;
    }
    Insert& text(const char16_t* value) {
        if (!value) {
            sqlite3_bind_null(statement_, ++index_);
        } else {
            texts_.push_back(utf8FromHost(value));
            sqlite3_bind_text(statement_, ++index_, texts_.back().c_str(), -1, SQLITE_TRANSIENT);
        }
        return *this;
    }
    bool run() { return statement_ && sqlite3_step(statement_) == SQLITE_DONE; }

private:
    sqlite3_stmt* statement_ = nullptr;
    int index_ = 0;
    std::vector<std::string> texts_;
};

// Switches to WAL; the journal mode the database has afterwards.
std::string journalMode(sqlite3* db) {
    sqlite3_stmt* statement = nullptr;
    std::string mode;
    if (sqlite3_prepare_v2(db, "PRAGMA journal_mode=WAL", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        if (const auto* text = sqlite3_column_text(statement, 0)) mode = reinterpret_cast<const char*>(text);
    }
    sqlite3_finalize(statement);
    return mode;
}

}  // namespace

Archive::Archive(std::filesystem::path databasePath, asio::io_context& io, Reporter& reporter)
    : path_(std::move(databasePath)), io_(io), reporter_(reporter) {
    reporter_.setBarrier([this] {
        if (!reporting_) commit();
    });
}

Archive::~Archive() {
    commit();
    reporter_.setBarrier({});
    sqlite3_close(db_);
}

void Archive::install(ServiceRegistry& services) {
    services.addHostService(u"Ar/WriteMessage", [this](uintptr_t w, uintptr_t) {
        return writeMessage(reinterpret_cast<const void*>(w));
    });
    services.addHostService(u"News/AddEntry", [this](uintptr_t w, uintptr_t) {
        return addNewsEntry(reinterpret_cast<const void*>(w));
    });
}

void Archive::report(const Event& event) {
    reporting_ = true;
    reporter_.emit(event);
    reporting_ = false;
}

void Archive::fail(const std::string& what) {
    report(Event("host-error").add("text", what + ": " + (db_ ? sqlite3_errmsg(db_) : "no database")));
}

bool Archive::pending() const {
    return db_ && !sqlite3_get_autocommit(db_);
}

bool Archive::beginBurst() {
    if (pending()) return true;
    // IMMEDIATE takes the write lock now, waiting (busy timeout) while
    // another process commits, rather than failing at the first row.
    if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) return false;
    asio::post(io_, [this, alive = std::weak_ptr<bool>(alive_)] {
        if (alive.lock()) commit();
    });
    return true;
}

void Archive::commit() {
    if (!pending()) return;
    if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) return;
    const std::string why = sqlite3_errmsg(db_);
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    report(Event("host-error").add("text", "cannot commit the archive: " + why));
}

bool Archive::open() {
    if (db_) return true;
    // Mail bodies are private: create the file 0600 before SQLite does (its
    // journals take the database's mode).
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) ::close(fd);
    if (sqlite3_open(path_.c_str(), &db_) != SQLITE_OK) {
        fail("cannot open " + path_.string());
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    sqlite3_busy_timeout(db_, 5000);
    // The journal mode is kept in the file: a database of the rollback
    // journal (older joxhost) turns to WAL here. Should another process hold
    // it right now, it stays as it is, with full syncs, and works as before.
    if (journalMode(db_) == "wal") sqlite3_exec(db_, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    if (sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        fail("cannot prepare " + path_.string());
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    return true;
}

int64_t Archive::writeMessage(const void* recordPointer) {
    const auto* r = static_cast<const ArchiveRecord*>(recordPointer);
    if (!r || !open()) return 1;
    Insert insert(db_,
                  "INSERT INTO archive (size, direction, contact, net_class, account_id, subject, body, "
                  "flags, time) VALUES (?,?,?,?,?,?,?,?,?)");
    insert.number(r->size).number(r->direction).text(r->contact).text(r->netClass).number(r->accountId);
    insert.text(r->subject).text(r->body).number(r->flags).number(r->time);
    if (!beginBurst() || !insert.run()) {
        fail("cannot archive a message");
        return 1;
    }
    report(Event("archive")
               .add("contact", utf8FromHost(r->contact))
               .add("subject", utf8FromHost(r->subject))
               .add("body", utf8FromHost(r->body))
               .add("account", r->accountId)
               .add("time", r->time));
    return 0;
}

int64_t Archive::addNewsEntry(const void* recordPointer) {
    const auto* r = static_cast<const NewsEntryRecord*>(recordPointer);
    if (!r || !open()) return 1;
    Insert insert(db_,
                  "INSERT INTO news (size, first_text, sender, subject, account_address, icon) "
                  "VALUES (?,?,?,?,?,?)");
    insert.number(r->size).text(r->firstText).text(r->sender).text(r->subject);
    insert.text(r->accountAddress).text(r->iconId);
    if (!beginBurst() || !insert.run()) {
        fail("cannot add a news entry");
        return 1;
    }
    report(Event("news")
               .add("first", utf8FromHost(r->firstText))
               .add("from", utf8FromHost(r->sender))
               .add("subject", utf8FromHost(r->subject))
               .add("account", utf8FromHost(r->accountAddress)));
    return 0;
}

}  // namespace joxhost
