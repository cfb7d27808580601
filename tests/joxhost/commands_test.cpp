// The joxhost program itself with the fake plug-in: commands, their JSON
// lines and their exit codes.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "run_program.h"
#include "temp_dir.h"
#include "test_certs.h"
#include "test_server.h"

namespace joxhost {
namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class CommandsTest : public testing::Test {
protected:
    test::TempDir profile;

    test::ProgramResult joxhost(std::vector<std::string> args, const std::string& input = {}) {
        std::vector<std::string> all{"--json", "--profile", profile.path().string(), "--plugin", JOXHOST_FAKE_PLUGIN};
        all.insert(all.end(), args.begin(), args.end());
        return test::runProgram(JOXHOST_BINARY, all, input);
    }

    static bool has(const test::ProgramResult& r, const std::string& fragment) {
        return r.out.find(fragment) != std::string::npos;
    }
};

TEST_F(CommandsTest, AccountsListsThePlugInsAccounts) {
    const auto r = joxhost({"accounts"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.lines(), (std::vector<std::string>{
                             R"({"event":"log","level":0,"source":"MAIL","text":"loaded"})",
                             R"j({"event":"account","position":0,"id":1,"name":"Mail [fake@example.com]","main":true,"note":"Konto główne"})j"}));
}

TEST_F(CommandsTest, AccountAddAndRemoveReportWhatThePlugInDid) {
    auto r = joxhost({"account-add", "praca"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(has(r, R"({"event":"account-added","id":2,"name":"praca"})")) << r.out;

    r = joxhost({"account-add", "../etc"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "joxhost: account-add: the profile name contains a path separator\n");

    // By position, as `accounts` lists them (the stand-in forgets its
    // profile accounts with its process): the main account is first and stays.
    r = joxhost({"account-remove", "0"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "joxhost: account-remove: account 0 is the main account, which cannot be removed\n");

    r = joxhost({"account-remove", "1"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "joxhost: account-remove: no account at position 1 (there are 1)\n");
}

TEST_F(CommandsTest, ConfigWritesTypedValuesWithoutEchoingThem) {
    auto r = joxhost({"config", "MAIL/mail=jan@example.com", "MAIL/ssl=int:0", "MAIL/password=tajne"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(has(r, "tajne"));
    r = joxhost({"config", "--profile-name", "praca", "MAIL/checkInterval=int:5"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(profile / "postrix_praca.config"));

    r = joxhost({"config"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.lines(), (std::vector<std::string>{
                             R"({"event":"setting","key":"MAIL/mail","type":"text","value":"jan@example.com"})",
                             R"({"event":"setting","key":"MAIL/password","type":"text","value":"********"})",
                             R"({"event":"setting","key":"MAIL/ssl","type":"int","value":0})"}));

    r = joxhost({"config", "MAIL/ssl=int:yes"});
    EXPECT_EQ(r.exitCode, 2);
}

TEST_F(CommandsTest, ConfigRefusesTyposAndStoresEachValueWithItsType) {
    const auto file = profile / "postrix.config";
    auto r = joxhost({"config", "MAIL/checkInterval=5", "MAIL/ssl=0", "MAIL/login=1234"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string written = readFile(file);
    EXPECT_NE(written.find("MAIL/checkInterval = int:5\n"), std::string::npos) << written;
    EXPECT_NE(written.find("MAIL/ssl = int:0\n"), std::string::npos) << written;
    EXPECT_NE(written.find("MAIL/login = text:\"1234\"\n"), std::string::npos) << written;

    // Nothing of a refused line is written, not even its good pairs.
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"MAIL/mail=a@b", "MAIL/smtpServr=x"}, "config: unknown key 'MAIL/smtpServr' (did you mean MAIL/smtpServer?)"},
        {{"MAIL/checkInterval=abc"}, "config: MAIL/checkInterval takes whole minutes from 1 to 35791, got 'abc'"},
        {{"MAIL/ssl=yes"}, "config: MAIL/ssl takes 0 or 1, got 'yes'"},
        {{"--profile-name", "praca", "host/caFile="},
         "config: host/caFile holds for the whole profile: give it without --profile-name"},
        {{"host/caFile=/nonexistent/ca.pem"}, "config: host/caFile: no such file /nonexistent/ca.pem"},
    };
    for (const auto& [args, line] : refused) {
        std::vector<std::string> all{"config"};
        all.insert(all.end(), args.begin(), args.end());
        r = joxhost(all);
        EXPECT_EQ(r.exitCode, 2) << line;
        EXPECT_EQ(r.err, "joxhost: " + line + "\n");
    }
    EXPECT_EQ(readFile(file), written);
    EXPECT_FALSE(std::filesystem::exists(profile / "joxhost.settings"));

    // Keys of the plug-in's own tests, asked for outright.
    r = joxhost({"config", "--any-key", "MAIL/newsCount=int:3", "MAIL/note=7"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(readFile(file).find("MAIL/newsCount = int:3\nMAIL/note = text:\"7\"\n"), std::string::npos);
}

TEST_F(CommandsTest, ConfigTakesThePasswordFromStandardInputOnly) {
    auto r = joxhost({"config", "--password-stdin"}, "tajne hasło\r\nnext line\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(has(r, "tajne"));
    EXPECT_NE(readFile(profile / "postrix.config").find("MAIL/password = text:\"tajne hasło\"\n"),
              std::string::npos);

    r = joxhost({"config", "--password-stdin"}, "");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "joxhost: config: the password is empty\n");
    r = joxhost({"config", "--password-stdin", "MAIL/password=x"}, "y\n");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "joxhost: config: the password is given twice\n");
    // A pipe is no terminal to ask on.
    r = joxhost({"config", "--password"}, "typed\n");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "joxhost: config: --password asks on a terminal; with other input use --password-stdin\n");
    EXPECT_EQ(readFile(profile / "postrix.config").find("typed"), std::string::npos);
}

TEST_F(CommandsTest, ASavedCaFileIsUsedUntilAnExplicitOneWins) {
    const auto ca = test::makeCertificates(profile.path(), "Saved CA", {"IP:127.0.0.1"}).caCert;
    auto r = joxhost({"config", "host/caFile=" + ca.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(has(r, R"("key":"host/caFile","type":"text")")) << r.out;
    r = joxhost({"config"});
    EXPECT_TRUE(has(r, R"({"event":"setting","key":"host/caFile","type":"text","value":")" + ca.string() + "\"}"))
        << r.out;
    EXPECT_EQ(joxhost({"accounts"}).exitCode, 0);

    std::filesystem::remove(ca);
    r = joxhost({"accounts"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "joxhost: the CA file saved in the profile (host/caFile) does not exist: " + ca.string() + "\n");
    r = joxhost({"--ca-file", "/nonexistent/other.pem", "accounts"});
    EXPECT_EQ(r.exitCode, 1);  // the explicit one is the one tried
    EXPECT_EQ(r.err, "joxhost: the CA file given with --ca-file does not exist: /nonexistent/other.pem\n");

    ASSERT_EQ(joxhost({"config", "host/caFile="}).exitCode, 0);  // forgotten
    EXPECT_EQ(joxhost({"accounts"}).exitCode, 0);
}

TEST_F(CommandsTest, CheckNeedsAnAccountAndAStartedCheck) {
    auto r = joxhost({"check", "4"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "joxhost: check: no account at position 4 (there are 1)\n");
    // The stand-in's check shows mail without any connection: no check of
    // the mailbox was started.
    r = joxhost({"check", "0"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(r.err.starts_with("joxhost: check: the plug-in started no check of account 0 (")) << r.err;
}

TEST_F(CommandsTest, ConfigTakesPop3OrImapAsTheProtocol) {
    auto r = joxhost({"config", "MAIL/protocol=imap4"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "joxhost: config: MAIL/protocol takes pop3 or imap, got 'imap4'\n");
    EXPECT_FALSE(std::filesystem::exists(profile.path() / "postrix.config"));
    r = joxhost({"config", "MAIL/protocol=IMAP", "MAIL/imapServer=127.0.0.1:10143", "MAIL/imapFolder="});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string written = readFile(profile.path() / "postrix.config");
    EXPECT_NE(written.find("MAIL/protocol = text:\"imap\"\n"), std::string::npos) << written;
    EXPECT_NE(written.find("MAIL/imapServer = text:\"127.0.0.1:10143\"\n"), std::string::npos) << written;
    EXPECT_NE(written.find("MAIL/imapFolder = text:\"\"\n"), std::string::npos) << written;
}

TEST_F(CommandsTest, ChatEndsWithTheSendsOutcome) {
    std::string received;
    test::TestServer server([&](test::ServerConnection& c) {
        c.write("220 fake smtp\r\n");
        if (c.readUntil("HELO fake\r\n") && c.readUntil("\r\n")) c.write("250 queued\r\n");
        c.readSome();
    });
    // Not configured: the plug-in starts nothing.
    auto r = joxhost({"chat", "0", "ola@example.com", "Cześć"});
    EXPECT_EQ(r.exitCode, 3) << r.out << r.err;

    ASSERT_EQ(joxhost({"config", "MAIL/smtpServer=127.0.0.1:" + std::to_string(server.port())}).exitCode, 0);
    r = joxhost({"chat", "0", "ola@example.com", "Cześć, co słychać?"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(has(r, R"({"event":"notify","id":1,"title":"","text":"Mail wysłany pomyślnie")")) << r.out;
    EXPECT_TRUE(has(r, R"({"event":"archive","contact":"ola@example.com","subject":"","body":"Cześć, co słychać?","account":1,"time":1700000000})")) << r.out;
    EXPECT_TRUE(has(r, R"({"event":"sent","to":"ola@example.com"})")) << r.out;

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((profile / "archive.db").c_str(), &db), SQLITE_OK);
    sqlite3_stmt* row = nullptr;
    sqlite3_prepare_v2(db, "SELECT size, direction, contact, net_class, account_id, body, flags, time FROM archive", -1, &row, nullptr);
    ASSERT_EQ(sqlite3_step(row), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(row, 0), 144);
    EXPECT_EQ(sqlite3_column_int(row, 1), -1);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(row, 2)), "ola@example.com");
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(row, 3)), "MAIL");
    EXPECT_EQ(sqlite3_column_int(row, 4), 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(row, 5)), "Cześć, co słychać?");
    EXPECT_EQ(sqlite3_column_int(row, 6), 0x10000002);
    EXPECT_EQ(sqlite3_column_int64(row, 7), 1700000000);
    sqlite3_finalize(row);
    sqlite3_close(db);

    // The text may come from standard input.
    r = joxhost({"chat", "0", "ola@example.com", "-"}, "z wejścia");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(has(r, R"("body":"z wejścia")")) << r.out;
}

TEST_F(CommandsTest, ChatToAServerThatIsDownFailsWithTheLoggedReason) {
    ASSERT_EQ(joxhost({"config", "MAIL/smtpServer=127.0.0.1:" + std::to_string(test::closedPort())}).exitCode, 0);
    const auto r = joxhost({"chat", "0", "ola@example.com", "x"});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_TRUE(has(r, R"({"event":"send-failed","reason":"SMTP - Connection error:10061"})")) << r.out;
}

TEST_F(CommandsTest, ChatToAnAccountThatDoesNotExistIsBadUsage) {
    const auto r = joxhost({"chat", "4", "ola@example.com", "x"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "joxhost: chat: no account at position 4 (there are 1)\n");
}

TEST_F(CommandsTest, RunTakesCommandsLineByLine) {
    const auto r = joxhost({"run"}, "accounts\ncheck 0\nclick\nclose\nbogus\ncheck 3\nquit\n");
    EXPECT_EQ(r.exitCode, 1) << r.err;  // two lines were no command it could do
    const auto lines = r.lines();
    auto position = [&](const std::string& fragment) {
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].find(fragment) != std::string::npos) return static_cast<int>(i);
        }
        return -1;
    };
    const int ready = position(R"({"event":"ready")");
    const int account = position(R"({"event":"account","position":0)");
    const int notice = position(R"j({"event":"notify","id":1,"title":"Nowa poczta (fake)")j");
    const int news = position(R"({"event":"news","first":"fake-Jan  jan@example.com -Cześć-0")");
    const int clicked = position(R"("text":"notice event 1")");
    const int ended = position(R"({"event":"notify-end","id":1,"why":"closed"})");
    const int endedSeen = position(R"("text":"notice event 4")");
    const int unknown = position(R"({"event":"command-error","text":"unknown command 'bogus')");
    const int noAccount = position(R"({"event":"command-error","text":"check: no account at position 3"})");
    const int stopped = position(R"({"event":"stopped")");
    EXPECT_TRUE(ready >= 0 && ready < account && account < notice && notice < news && news < clicked &&
                clicked < ended && ended < endedSeen && endedSeen < unknown && unknown < noAccount &&
                noAccount < stopped)
        << r.out;
}

TEST_F(CommandsTest, RunEndsAfterTheInputOnceItsSendsHaveEndedAndSaysWhetherOneFailed) {
    // The server answers only after a while: run must wait for it.
    test::TestServer server([&](test::ServerConnection& c) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        c.write("220 fake smtp\r\n");
        if (c.readUntil("HELO fake\r\n") && c.readUntil("\r\n")) c.write("250 queued\r\n");
        c.readSome();
    });
    ASSERT_EQ(joxhost({"config", "MAIL/smtpServer=127.0.0.1:" + std::to_string(server.port())}).exitCode, 0);
    auto r = joxhost({"run"}, "chat 0 ola@example.com pierwszy\n");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(has(r, R"("text":"Mail wysłany pomyślnie")")) << r.out;
    EXPECT_NE(r.lines().back().find(R"({"event":"stopped")"), std::string::npos) << r.out;

    // A second send while the first is under way is refused: the run failed.
    r = joxhost({"run"}, "chat 0 ola@example.com raz\nchat 0 ola@example.com dwa\n");
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_TRUE(has(r, R"("text":"SMTP - One connection in progress")")) << r.out;
    EXPECT_TRUE(has(r, R"("text":"Mail wysłany pomyślnie")")) << r.out;  // the first still went

    ASSERT_EQ(joxhost({"config", "MAIL/smtpServer=127.0.0.1:" + std::to_string(test::closedPort())}).exitCode, 0);
    r = joxhost({"run"}, "chat 0 ola@example.com x\n");
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;

    // People read the failure once, with what the number means.
    r = test::runProgram(JOXHOST_BINARY, {"--profile", profile.path().string(), "--plugin", JOXHOST_FAKE_PLUGIN,
                                          "chat", "0", "ola@example.com", "x"});
    EXPECT_EQ(r.exitCode, 1);
    // The fake plug-in's 5 ms tick may log before the failure on a busy
    // machine; it is no part of what is checked here.
    std::string out;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        if (!line.starts_with("log [0] MAIL: tick")) out += line + "\n";
    EXPECT_EQ(out, "log [0] MAIL: loaded\nlog [-1] MAIL: SMTP - Connection error:10061 (connection refused)\n");
}

TEST_F(CommandsTest, RunWithStayKeepsRunningAfterTheInputUntilAsked) {
    test::RunningProgram run(
        JOXHOST_BINARY, {"--json", "--profile", profile.path().string(), "--plugin", JOXHOST_FAKE_PLUGIN, "run", "--stay"},
        "accounts\n");
    ASSERT_TRUE(run.waitForOutput(R"("text":"tick 3")")) << run.out();  // its timers still run
    EXPECT_FALSE(run.waitForOutput(R"({"event":"stopped")", 300)) << run.out();
}

TEST_F(CommandsTest, JoxhostMinuteMsShortensTheMailTimersOnly) {
    const std::vector<std::string> args{"--json", "--verbose", "--profile", profile.path().string(),
                                        "--plugin", JOXHOST_FAKE_PLUGIN, "run", "--stay"};
    {
        test::RunningProgram run(JOXHOST_BINARY, args, "", {"JOXHOST_MINUTE_MS=50"});
        // The fake plug-in's 60000 ms mail timer runs every 50 ms; its 5 ms tick stays as it is.
        ASSERT_TRUE(run.waitForOutput(R"("interval":60000,"shortenedTo":50)")) << run.out();
        ASSERT_TRUE(run.waitForOutput(R"("interval":5})")) << run.out();
        ASSERT_TRUE(run.waitForOutput(R"("text":"mail timer period")", 3000)) << run.out();
    }
    {
        test::RunningProgram run(JOXHOST_BINARY, args);
        ASSERT_TRUE(run.waitForOutput(R"("text":"tick 3")")) << run.out();
        EXPECT_FALSE(run.waitForOutput(R"("text":"mail timer period")", 300)) << run.out();
        EXPECT_FALSE(run.waitForOutput("shortenedTo", 0)) << run.out();
    }
    for (const char* bad : {"JOXHOST_MINUTE_MS=0", "JOXHOST_MINUTE_MS=fast", "JOXHOST_MINUTE_MS=60001"}) {
        const auto r = test::runProgram(JOXHOST_BINARY, args, "", {bad});
        EXPECT_EQ(r.exitCode, 1) << bad;
        EXPECT_NE(r.err.find("JOXHOST_MINUTE_MS must be a number of milliseconds from 1 to 60000"),
                  std::string::npos)
            << bad << ": " << r.err;
    }
}

TEST_F(CommandsTest, ACheckThatEndedIsArchivedWhenJoxhostIsKilledRightAfter) {
    ASSERT_EQ(joxhost({"config", "--any-key", "MAIL/newsCount=int:1000"}).exitCode, 0);
    test::RunningProgram run(JOXHOST_BINARY,
                             {"--json", "--profile", profile.path().string(), "--plugin", JOXHOST_FAKE_PLUGIN, "run"},
                             "check 0\n");
    ASSERT_TRUE(run.waitForOutput(R"("text":"check done")")) << run.out();
    run.kill();

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((profile / "archive.db").c_str(), &db), SQLITE_OK);
    sqlite3_stmt* count = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*), count(DISTINCT first_text) FROM news", -1, &count, nullptr);
    ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(count, 0), 1000);
    EXPECT_EQ(sqlite3_column_int(count, 1), 1000);
    sqlite3_finalize(count);
    sqlite3_close(db);
}

TEST_F(CommandsTest, BadUsageAndHelp) {
    auto r = test::runProgram(JOXHOST_BINARY, {"chat", "0"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "joxhost: chat: wrong number of arguments (try joxhost chat --help)\n");
    for (const char* command : {"accounts", "account-add", "account-remove", "config", "chat", "run", "check"}) {
        r = test::runProgram(JOXHOST_BINARY, {command, "--help"});
        EXPECT_EQ(r.exitCode, 0) << command;
        EXPECT_NE(r.out.find(std::string("Usage: joxhost [options] ") + command), std::string::npos) << command;
    }
    r = joxhost({"--plugin", "/nonexistent/postrix.so", "accounts"});
    EXPECT_EQ(r.exitCode, 1);
}

}  // namespace
}  // namespace joxhost
