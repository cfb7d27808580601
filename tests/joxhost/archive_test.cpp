// The archive under mail checks: a check's news entries are one
// transaction, committed before the host reports anything else and at the
// loop's next turn; other processes read and write the profile's archive
// meanwhile; an archive of the rollback journal turns to WAL.
#include "store/archive.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <future>
#include <thread>

#include "postrix/abi/records_notify.h"
#include "run_program.h"
#include "temp_dir.h"

namespace joxhost {
namespace {

class ArchiveTest : public testing::Test {
protected:
    test::TempDir profile;
    std::filesystem::path path = profile / "archive.db";
    asio::io_context io;
    std::FILE* sink = std::fopen("/dev/null", "w");
    Reporter reporter{true, false, sink};
    ServiceRegistry services;
    std::unique_ptr<Archive> archive = std::make_unique<Archive>(path, io, reporter);

    ArchiveTest() { archive->install(services); }
    ~ArchiveTest() override {
        archive.reset();
        std::fclose(sink);
    }

    // As the plug-in adds them: through the service, one call each.
    void addNews(int count) {
        for (int i = 0; i < count; ++i) {
            const std::u16string first = u"jan@example.com-Anna-Raport-" + std::u16string(1, u'0' + i % 10);
            postrix::NewsEntryRecord entry{};
            entry.size = sizeof entry;
            entry.firstText = first.c_str();
            entry.sender = u"Anna";
            entry.subject = u"Raport";
            entry.accountAddress = u"jan@example.com";
            entry.iconId = u"Image/Mail";
            ASSERT_EQ(services.call(u"News/AddEntry", reinterpret_cast<uintptr_t>(&entry), 0), 0);
        }
    }

    // What another connection sees: only committed rows.
    std::string query(const char* sql) const {
        sqlite3* db = nullptr;
        std::string value = "(failed)";
        sqlite3_stmt* row = nullptr;
        if (sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
            sqlite3_prepare_v2(db, sql, -1, &row, nullptr) == SQLITE_OK && sqlite3_step(row) == SQLITE_ROW) {
            value = reinterpret_cast<const char*>(sqlite3_column_text(row, 0));
        }
        sqlite3_finalize(row);
        sqlite3_close(db);
        return value;
    }
    int newsRows() const { return std::stoi(query("SELECT count(*) FROM news")); }

    test::ProgramResult otherProcess(const char* what) const {
        return test::runProgram(JOXHOST_ARCHIVE_READER, {path.string(), what});
    }
};

TEST_F(ArchiveTest, ABurstIsCommittedOnceBeforeTheNextEventThatIsNotTheArchivesOwn) {
    std::vector<std::pair<std::string, int>> seen;
    const ReporterTap tap(reporter, [&](const Event& e) {
        if (e.name != "news") seen.emplace_back(e.name, newsRows());
    });
    addNews(1000);
    EXPECT_TRUE(archive->pending());
    EXPECT_EQ(newsRows(), 0);  // its own 1,000 news events did not end the burst
    reporter.emit(Event("net").add("what", "close"));
    EXPECT_FALSE(archive->pending());
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], std::make_pair(std::string("net"), 1000));

    addNews(1);  // a new burst after the commit
    EXPECT_TRUE(archive->pending());
    reporter.emit(Event("log"));
    EXPECT_EQ(seen.back(), std::make_pair(std::string("log"), 1001));
}

TEST_F(ArchiveTest, TheLoopsNextTurnCommitsABurstThatNoEventEnded) {
    addNews(3);
    EXPECT_EQ(newsRows(), 0);
    io.poll();
    EXPECT_FALSE(archive->pending());
    EXPECT_EQ(newsRows(), 3);
    addNews(2);
    io.restart();
    io.poll();
    EXPECT_EQ(newsRows(), 5);
}

TEST_F(ArchiveTest, ClosingCommitsAndLeavesNothingForTheLoop) {
    addNews(5);
    archive.reset();
    EXPECT_EQ(newsRows(), 5);
    io.poll();  // the queued commit of the closed archive does nothing
    reporter.emit(Event("log"));  // nor does the barrier it set
}

TEST_F(ArchiveTest, AnArchiveOfTheRollbackJournalOpensAndTurnsToWal) {
    archive.reset();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    // The tables as the older joxhost made them, in the rollback journal.
    constexpr const char* kOlder =
        "PRAGMA journal_mode=DELETE;"
        "CREATE TABLE news (id INTEGER PRIMARY KEY, size INTEGER, first_text TEXT, sender TEXT, "
        "subject TEXT, account_address TEXT, icon TEXT);"
        "INSERT INTO news (first_text) VALUES ('older');";
    ASSERT_EQ(sqlite3_exec(db, kOlder, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    ::chmod(path.c_str(), 0600);
    ASSERT_EQ(query("PRAGMA journal_mode"), "delete");

    archive = std::make_unique<Archive>(path, io, reporter);
    archive->install(services);
    addNews(1);
    archive->commit();
    EXPECT_EQ(query("PRAGMA journal_mode"), "wal");
    EXPECT_EQ(newsRows(), 2);
    EXPECT_EQ(query("SELECT first_text FROM news ORDER BY id LIMIT 1"), "older");
    // The log and the shared index lie next to the database, as private as it.
    for (const char* suffix : {"-wal", "-shm"}) {
        struct stat info {};
        ASSERT_EQ(::stat((path.string() + suffix).c_str(), &info), 0) << suffix;
        EXPECT_EQ(info.st_mode & 0777, 0600u) << suffix;
    }
}

TEST_F(ArchiveTest, AnotherProcessReadsDuringABurstAndWritesOnceItIsCommitted) {
    addNews(2);
    archive->commit();
    addNews(500);
    ASSERT_TRUE(archive->pending());

    auto r = otherProcess("count");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "2\n");  // the committed rows, without waiting for the burst

    auto writer = std::async(std::launch::async, [&] { return otherProcess("add"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    archive->commit();
    r = writer.get();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "503\n");

    addNews(1);  // and this process writes after the other one
    archive->commit();
    EXPECT_EQ(newsRows(), 504);
}

}  // namespace
}  // namespace joxhost
