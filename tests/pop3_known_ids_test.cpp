// Known mail ids kept across restarts: the file's bytes on their own, then
// an account's checks over runs of the plug-in that share a profile folder.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "accounts/account.h"
#include "host/settings_store.h"
#include "platform/files.h"
#include "pop3/known_ids_format.h"
#include "pop3/pop3_session.h"
#include "support/fake_host.h"
#include "support/system.h"
#include "support/temp_dir.h"

namespace postrix::pop3 {
namespace {

using test::FakeHost;
using test::TempDir;

// --- the file's bytes ------------------------------------------------------

constexpr std::string_view kOwner = "13:postrix.known15:pop.example.com5:alice";

// Ids of every length up to the limit, with every byte value among them;
// the number in front keeps them apart.
std::vector<std::string> awkwardIds(int count) {
    std::vector<std::string> ids;
    for (int i = 0; i < count; ++i) {
        std::string id = std::to_string(i) + ":";
        const size_t length = std::max(id.size(), 1 + static_cast<size_t>(i) * 7919 % IdSet::kMaxIdLength);
        while (id.size() < length) id += static_cast<char>((static_cast<size_t>(i) * 31 + id.size()) % 256);
        ids.push_back(id);
    }
    return ids;
}

void fill(IdSet& set, const std::vector<std::string>& ids) {
    for (const auto& id : ids) set.list(id);
    set.commit();
}

// A file of the given ids with a right checksum, whatever they are.
std::string craft(std::string_view owner, uint32_t count, std::string_view entries) {
    std::string body;
    const auto put32 = [&body](uint32_t value) {
        for (int i = 0; i < 4; ++i) body += static_cast<char>(value >> (8 * i));
    };
    put32(static_cast<uint32_t>(owner.size()));
    body += owner;
    put32(count);
    body += entries;
    const uint64_t sum = knownIdsChecksum(body);
    std::string file = "postrix-known-ids 1\n" + body;
    for (int i = 0; i < 8; ++i) file += static_cast<char>(sum >> (8 * i));
    return file;
}

TEST(KnownIdsFormat, RoundTripKeepsEveryIdAndItsOrder) {
    const std::vector<std::string> ids = awkwardIds(3000);
    IdSet set;
    fill(set, ids);
    const std::string file = encodeKnownIds(kOwner, set);
    EXPECT_TRUE(file.starts_with("postrix-known-ids 1\n"));

    IdSet read;
    EXPECT_EQ(decodeKnownIds(file, kOwner, read), std::nullopt);
    EXPECT_EQ(read.size(), ids.size());
    for (const auto& id : ids) ASSERT_TRUE(read.contains(id)) << id;
    EXPECT_FALSE(read.contains("not there"));
    EXPECT_EQ(encodeKnownIds(kOwner, read), file);

    // Read ids are committed ones: a listing finds them known.
    EXPECT_EQ(read.list(ids[5]), IdSet::Listed::Known);

    IdSet none;
    IdSet readNone;
    EXPECT_EQ(decodeKnownIds(encodeKnownIds(kOwner, none), kOwner, readNone), std::nullopt);
    EXPECT_EQ(readNone.size(), 0u);
}

TEST(KnownIdsFormat, AFirstListingThatRepeatsAnIdIsWrittenAtOnceAndReadOnce) {
    IdSet set;
    set.deferLookups();
    for (const char* id : {"a", "b", "a"}) set.list(id);
    set.commit();
    // Written before anything builds the set's table: "a" twice.
    const std::string file = encodeKnownIds(kOwner, set);
    EXPECT_EQ(file, craft(kOwner, 3, "\1a\1b\1a"));
    IdSet read;
    EXPECT_EQ(decodeKnownIds(file, kOwner, read), std::nullopt);
    EXPECT_EQ(read.size(), 2u);
    EXPECT_EQ(encodeKnownIds(kOwner, read), craft(kOwner, 2, "\1a\1b"));
    EXPECT_EQ(set.size(), 2u);  // builds the table
    EXPECT_EQ(encodeKnownIds(kOwner, set), craft(kOwner, 2, "\1a\1b"));
}

TEST(KnownIdsFormat, AnyDamageRefusesTheWholeFileAndLeavesTheSetEmpty) {
    IdSet set;
    fill(set, {"a", "bb", "ccc", std::string(IdSet::kMaxIdLength, '\xFF')});
    const std::string good = encodeKnownIds(kOwner, set);
    std::vector<std::pair<std::string, std::string>> files = {
        {"empty", ""},
        {"garbage", "PK\x03\x04 not ours at all"},
        {"another version", "postrix-known-ids 2\n" + good.substr(20)},
        {"another owner", encodeKnownIds("13:postrix.known15:pop.example.com3:bob", set)},
        {"a byte more", good + "x"},
        {"a zero-length id", craft(kOwner, 2, std::string("\1a\0", 3))},
        {"fewer ids than counted", craft(kOwner, 3, "\1a\1b")},
        {"more ids than counted", craft(kOwner, 1, "\1a\1b")},
        {"an id past the end", craft(kOwner, 1, "\5ab")},
        {"a count past any file", craft(kOwner, 0xFFFFFFFF, "\1a")},
    };
    for (size_t cut = 0; cut < good.size(); ++cut) files.emplace_back("cut at " + std::to_string(cut), good.substr(0, cut));
    for (size_t at = 0; at < good.size(); ++at) {
        std::string flipped = good;
        flipped[at] = static_cast<char>(flipped[at] ^ 0x10);
        files.emplace_back("bit flipped at " + std::to_string(at), flipped);
    }
    for (const auto& [what, file] : files) {
        IdSet read;
        EXPECT_NE(decodeKnownIds(file, kOwner, read), std::nullopt) << what;
        EXPECT_EQ(read.size(), 0u) << what;
        EXPECT_FALSE(read.contains("a")) << what;
        // The set works on as an empty one.
        EXPECT_EQ(read.list("a"), IdSet::Listed::New) << what;
    }
}

// --- an account's checks across runs of the plug-in --------------------------

constexpr char16_t kConfig[] = u"postrix.config";

// One run of the plug-in with one account (the main one, or a profile's)
// on a profile folder that outlives the run.
struct PluginRun {
    explicit PluginRun(const TempDir& dir, std::u16string_view login = u"alice", std::u16string_view profile = u"") {
        host.directory = dir.path().u16string() + test::kNativePathSeparator;
        host.existingServices.insert(u"News/AddEntry");
        const std::u16string config = SettingsStore::fileNameFor(profile);
        host.setText(config, u"MAIL/pop3Server", u"pop.example.com");
        host.setText(config, u"MAIL/mail", u"alice@example.com");
        host.setText(config, u"MAIL/login", login);
        host.setText(config, u"MAIL/password", u"secret");
        account = std::make_unique<Account>(Host(host.table()), 0, 1, profile, nullptr);
        account->pop3().setProbe([] { return true; });
    }

    enum class Ending { refuse, drop };

    // One check whose listing holds ids (message i + 1 has ids[i]). The
    // server answers `headers` header requests with the id as the subject,
    // then ends as told. The subjects of the news entries the check added.
    std::vector<std::string> check(const std::vector<std::string>& ids, int headers = INT_MAX,
                                   Ending ending = Ending::refuse) {
        const size_t newsBefore = host.news.size();
        host.fireTimer(u"MAIL/1/mailRecvTimer", 3);
        test::FakeConnection& c = host.connection("MAIL/Socket/POP3/1");
        for (const char* status : {"+OK\r\n", "+OK\r\n", "+OK\r\n"}) host.deliverData(c, status);
        std::string listing = "+OK\r\n";
        for (size_t i = 0; i < ids.size(); ++i) listing += std::to_string(i + 1) + " " + ids[i] + "\r\n";
        host.takeSent(c);
        host.deliverData(c, listing + ".\r\n");
        for (std::string sent = host.takeSent(c); sent.starts_with("TOP "); sent = host.takeSent(c)) {
            if (headers-- <= 0) {
                if (ending == Ending::refuse) host.deliverData(c, "-ERR\r\n");
                if (ending == Ending::drop) host.deliverClosed(c);
                break;
            }
            const size_t number = std::stoul(sent.substr(4));
            host.deliverData(c, "+OK\r\nSubject: " + ids.at(number - 1) + "\r\n\r\n.\r\n");
        }
        EXPECT_EQ(account->pop3().state(), Pop3State::Idle);
        std::vector<std::string> subjects;
        for (size_t i = newsBefore; i < host.news.size(); ++i) subjects.push_back(host.news[i].subject);
        return subjects;
    }

    // The log lines about known ids.
    std::vector<std::string> knownIdsLog() const {
        std::vector<std::string> lines;
        for (const auto& line : host.logs)
            if (line.text.starts_with("Known mail ids")) lines.push_back(line.text);
        return lines;
    }

    FakeHost host;
    std::unique_ptr<Account> account;
};

using Subjects = std::vector<std::string>;

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(KnownIdsAcrossRuns, MailThatArrivedBetweenRunsIsAnnouncedOnce) {
    TempDir dir;
    {
        PluginRun run(dir);
        EXPECT_EQ(run.check({"a"}), Subjects{});
        EXPECT_EQ(run.knownIdsLog(),
                  Subjects{"Known mail ids: postrix.known does not exist yet: this check only remembers the mailbox"});
    }
    EXPECT_TRUE(dir.exists("postrix.known"));
    {
        PluginRun run(dir);
        EXPECT_EQ(run.check({"a", "b", "c"}), (Subjects{"c", "b"}));
        EXPECT_EQ(run.check({"a", "b", "c"}), Subjects{});
        EXPECT_TRUE(run.host.logs.empty());
    }
    {
        PluginRun run(dir);
        EXPECT_EQ(run.check({"b", "c"}), Subjects{});
        // "a" left the mailbox with the last listing: back, it is new.
        EXPECT_EQ(run.check({"a", "b", "c", "d"}), (Subjects{"d", "a"}));
        EXPECT_TRUE(run.host.logs.empty());
    }
    EXPECT_EQ(platform::findFiles(dir.path().u16string(), u"postrix.known*"),
              std::vector<std::u16string>{u"postrix.known"});
}

TEST(KnownIdsAcrossRuns, CheckThatBreaksOffAfterItsListingLosesNothing) {
    TempDir dir;
    {
        PluginRun run(dir);
        run.check({"a"});
        // TOP of "c" refused: "d" is announced, "b" and "c" are not.
        EXPECT_EQ(run.check({"a", "b", "c", "d"}, 1), Subjects{"d"});
    }
    {
        PluginRun run(dir);
        EXPECT_EQ(run.check({"a", "b", "c", "d"}), (Subjects{"c", "b"}));
        // The connection drops while "e" is read: "f" was fetched but never
        // handed over, so neither counts as known on disk.
        EXPECT_EQ(run.check({"a", "b", "c", "d", "e", "f"}, 1, PluginRun::Ending::drop), Subjects{});
    }
    {
        PluginRun run(dir);
        EXPECT_EQ(run.check({"a", "b", "c", "d", "e", "f"}), (Subjects{"f", "e"}));
        EXPECT_EQ(run.check({"a", "b", "c", "d", "e", "f"}), Subjects{});
    }
}

TEST(KnownIdsAcrossRuns, NoFileBeforeAFirstListingWasRemembered) {
    TempDir dir;
    {
        PluginRun run(dir);
        run.host.fireTimer(u"MAIL/1/mailRecvTimer", 3);
        run.host.deliverData(run.host.connection("MAIL/Socket/POP3/1"), "-ERR busy\r\n");
        EXPECT_EQ(run.account->pop3().state(), Pop3State::Idle);
    }
    // An empty file now would make the whole mailbox new.
    EXPECT_FALSE(dir.exists("postrix.known"));
    EXPECT_EQ(PluginRun(dir).check({"a", "b"}), Subjects{});
}

TEST(KnownIdsAcrossRuns, OnlyAChangeRewritesTheFile) {
    TempDir dir;
    const std::filesystem::path file = dir.path() / "postrix.known";
    {
        PluginRun run(dir);
        run.check({"a"});
        // Read once per run: what lies there later is only ever overwritten.
        dir.write("postrix.known", "stand-in");
        run.check({"a"});
        // The header of "x" is refused: the known ids stay as they were.
        EXPECT_EQ(run.check({"a", "x"}, 0), Subjects{});
        EXPECT_EQ(readFile(file), "stand-in");
        EXPECT_EQ(run.check({"a", "x"}), Subjects{"x"});
        EXPECT_NE(readFile(file), "stand-in");
    }
    EXPECT_EQ(PluginRun(dir).check({"a", "x", "c"}), Subjects{"c"});
}

TEST(KnownIdsAcrossRuns, UnusableFileMeansAFirstCheckAndOneLogLine) {
    std::string good;
    std::string otherProfile;
    std::string otherLogin;
    {
        TempDir dir;
        PluginRun(dir).check({"a", "b"});
        good = readFile(dir.path() / "postrix.known");
        PluginRun(dir, u"bob").check({"a", "b"});
        otherLogin = readFile(dir.path() / "postrix.known");
        // A profile's account of the same mailbox has a file of its own.
        PluginRun(dir, u"alice", u"work").check({"a", "b"});
        otherProfile = readFile(dir.path() / "postrix_work.known");
    }
    ASSERT_FALSE(good.empty());
    ASSERT_FALSE(otherProfile.empty());
    const std::pair<const char*, std::string> files[] = {
        {"empty", ""},
        {"garbage", std::string(5000, '\x7F')},
        {"cut short", good.substr(0, good.size() - 3)},
        {"another version", "postrix-known-ids 9\n" + good.substr(20)},
        {"another login", otherLogin},
        {"another account's", otherProfile},
    };
    for (const auto& [what, content] : files) {
        TempDir dir;
        dir.write("postrix.known", content);
        {
            PluginRun run(dir);
            EXPECT_EQ(run.check({"a", "b"}), Subjects{}) << what;
            ASSERT_EQ(run.knownIdsLog().size(), 1u) << what;
            EXPECT_TRUE(run.knownIdsLog()[0].starts_with("Known mail ids: postrix.known is not used, ")) << what;
            EXPECT_EQ(run.check({"a", "b", "c"}), Subjects{"c"}) << what;
        }
        EXPECT_EQ(PluginRun(dir).check({"a", "b", "c", "d"}), Subjects{"d"}) << what;
    }
}

TEST(KnownIdsAcrossRuns, AnotherLoginStartsOverWithoutAnnouncingItsMailbox) {
    TempDir dir;
    {
        PluginRun run(dir);
        run.check({"a"});
        run.host.setText(kConfig, u"MAIL/login", u"alice.other");
        EXPECT_EQ(run.check({"x", "y"}), Subjects{});
        ASSERT_EQ(run.knownIdsLog().size(), 2u);
        EXPECT_NE(run.knownIdsLog()[1].find("belongs to another account or mailbox"), std::string::npos);
        EXPECT_EQ(run.check({"x", "y", "z"}), Subjects{"z"});
    }
    EXPECT_EQ(PluginRun(dir, u"alice.other").check({"x", "y", "z"}), Subjects{});
}

}  // namespace
}  // namespace postrix::pop3
