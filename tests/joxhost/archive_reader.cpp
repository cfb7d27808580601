// Another process on a profile's archive, for the archive's tests:
//   archive_reader DATABASE count   prints the number of news rows
//   archive_reader DATABASE add     adds one news row, then prints the number
// It waits for another writer as joxhost does (busy timeout 5 s); exit status
// 1 with SQLite's message on stderr when it cannot.
#include <sqlite3.h>

#include <cstdio>
#include <cstring>

namespace {

int failed(sqlite3* db) {
    std::fprintf(stderr, "%s\n", sqlite3_errmsg(db));
    sqlite3_close(db);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) return failed(db);
    sqlite3_busy_timeout(db, 5000);
    if (std::strcmp(argv[2], "add") == 0 &&
        sqlite3_exec(db, "INSERT INTO news (first_text) VALUES ('from another process')", nullptr, nullptr,
                     nullptr) != SQLITE_OK) {
        return failed(db);
    }
    sqlite3_stmt* count = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT count(*) FROM news", -1, &count, nullptr) != SQLITE_OK ||
        sqlite3_step(count) != SQLITE_ROW) {
        sqlite3_finalize(count);
        return failed(db);
    }
    std::printf("%lld\n", static_cast<long long>(sqlite3_column_int64(count, 0)));
    sqlite3_finalize(count);
    sqlite3_close(db);
    return 0;
}
