// The platform layer's file and clock services, with the same expectations
// on every system (posix_platform_test.cpp and win32_platform_test.cpp hold
// what differs).
#include "platform/clock.h"
#include "platform/file_reader.h"
#include "platform/files.h"
#include "support/system.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

using namespace postrix;
namespace fs = std::filesystem;

namespace {

// The text with each '/' turned into the system's separator.
std::u16string native(std::u16string text) {
    std::replace(text.begin(), text.end(), u'/', platform::kPathSeparator);
    return text;
}

TEST(JoinPath, PutsExactlyOneSeparatorBetween) {
    EXPECT_EQ(platform::joinPath(native(u"/home/jan"), u"postrix.config"), native(u"/home/jan/postrix.config"));
    EXPECT_EQ(platform::joinPath(native(u"/home/jan/"), u"postrix.config"), native(u"/home/jan/postrix.config"));
    EXPECT_EQ(platform::joinPath(native(u"/home/jan//"), u"a"), native(u"/home/jan/a"));
    EXPECT_EQ(platform::joinPath(native(u"/"), u"a"), native(u"/a"));
    EXPECT_EQ(platform::joinPath(u"", u"a"), u"a");
}

class FilesTest : public ::testing::Test {
protected:
    void touch(const std::string& name) { std::ofstream(dir_.path() / fs::u8path(name)) << "x"; }
    std::u16string wideDirectory() const { return dir_.path().u16string(); }

    std::vector<std::u16string> sortedFind(std::u16string_view pattern) const {
        auto names = platform::findFiles(wideDirectory(), pattern);
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TempDir dir_;
};

TEST_F(FilesTest, FindsRegularFilesMatchingThePattern) {
    touch("postrix.config");
    touch("postrix_praca.config");
    touch("postrix_zażółć.config");
    touch("other.CONFIG");
    touch("notes.txt");
    touch("postrix.config.bak");
    fs::create_directory(dir_.path() / "folder.config");

    EXPECT_EQ(sortedFind(u"*.config"),
              (std::vector<std::u16string>{u"postrix.config", u"postrix_praca.config", u"postrix_zażółć.config"}));
    EXPECT_EQ(sortedFind(u"postrix_*.config"),
              (std::vector<std::u16string>{u"postrix_praca.config", u"postrix_zażółć.config"}));
    EXPECT_EQ(sortedFind(u"*.CONFIG"), (std::vector<std::u16string>{u"other.CONFIG"}));
    EXPECT_EQ(sortedFind(u"notes.txt"), (std::vector<std::u16string>{u"notes.txt"}));
    EXPECT_EQ(sortedFind(u"*a*a*"), (std::vector<std::u16string>{u"postrix_praca.config"}));
    EXPECT_TRUE(sortedFind(u"*.cfg").empty());
    // The directory given with its separator at the end finds the same.
    EXPECT_EQ(platform::findFiles(wideDirectory() + platform::kPathSeparator, u"notes.txt"),
              (std::vector<std::u16string>{u"notes.txt"}));
}

TEST_F(FilesTest, MissingDirectoryGivesNothing) {
    EXPECT_TRUE(platform::findFiles(platform::joinPath(wideDirectory(), u"missing"), u"*").empty());
}

TEST_F(FilesTest, DeletesOneFile) {
    touch("postrix_praca.config");
    touch("postrix_dom.config");
    const std::u16string path = platform::joinPath(wideDirectory(), u"postrix_praca.config");
    EXPECT_TRUE(platform::deleteFile(path));
    EXPECT_FALSE(fs::exists(dir_.path() / "postrix_praca.config"));
    EXPECT_TRUE(fs::exists(dir_.path() / "postrix_dom.config"));
    // A file that is gone already counts as deleted.
    EXPECT_TRUE(platform::deleteFile(path));
}

TEST_F(FilesTest, DeleteRefusesDirectoriesAndCutPaths) {
    touch("a");
    fs::create_directory(dir_.path() / "sub");
    EXPECT_FALSE(platform::deleteFile(platform::joinPath(wideDirectory(), u"sub")));
    // A NUL inside the path must not delete the file named by its first part.
    std::u16string cut = platform::joinPath(wideDirectory(), u"a");
    cut += std::u16string(1, u'\0') + u"b";
    EXPECT_FALSE(platform::deleteFile(cut));
    EXPECT_TRUE(fs::exists(dir_.path() / "a"));
    EXPECT_FALSE(platform::deleteFile(u""));
}

TEST_F(FilesTest, FileKindTellsRegularFilesFromTheRest) {
    const std::string file = dir_.write("mail.txt", "x");
    fs::create_directory(dir_.path() / "folder");
    EXPECT_EQ(platform::fileKind(file), platform::FileKind::regular);
    EXPECT_EQ(platform::fileKind((dir_.path() / "folder").string()), platform::FileKind::other);
    EXPECT_EQ(platform::fileKind((dir_.path() / "gone.txt").string()), platform::FileKind::unknown);
    EXPECT_EQ(platform::fileKind(file + std::string(1, '\0') + "x"), platform::FileKind::unknown);
    EXPECT_EQ(platform::fileKind(""), platform::FileKind::unknown);
}

TEST_F(FilesTest, ReaderReadsTheWholeFileAndNoticesAChange) {
    const std::string content(10000, 'q');
    const std::string file = dir_.write("report.bin", content + "end");
    auto reader = platform::FileReader::open(file);
    ASSERT_TRUE(reader.has_value());
    EXPECT_EQ(reader->size(), content.size() + 3);
    std::string read;
    std::array<char, 4096> block{};
    while (const auto count = reader->read(block)) {
        if (*count == 0) break;
        read.append(block.data(), *count);
    }
    EXPECT_EQ(read, content + "end");
    EXPECT_TRUE(reader->sizeUnchanged());
    std::ofstream(file, std::ios::app) << "more";
    EXPECT_FALSE(reader->sizeUnchanged());

    EXPECT_FALSE(platform::FileReader::open(dir_.path().string()).has_value());
    EXPECT_FALSE(platform::FileReader::open((dir_.path() / "gone.txt").string()).has_value());
}

TEST_F(FilesTest, WholeFileIsReadWithinItsLimit) {
    const std::string content = std::string(100000, 'q') + std::string("\0\r\n\xFF", 4) + "end";
    dir_.write("known.bin", content);
    const std::u16string path = platform::joinPath(wideDirectory(), u"known.bin");
    std::string bytes = "left from before";
    EXPECT_EQ(platform::readWholeFile(path, content.size(), bytes), platform::WholeFile::read);
    EXPECT_EQ(bytes, content);
    EXPECT_EQ(platform::readWholeFile(path, content.size() - 1, bytes), platform::WholeFile::tooLarge);
    dir_.write("empty.bin", "");
    EXPECT_EQ(platform::readWholeFile(platform::joinPath(wideDirectory(), u"empty.bin"), 10, bytes),
              platform::WholeFile::read);
    EXPECT_EQ(bytes, "");

    EXPECT_EQ(platform::readWholeFile(platform::joinPath(wideDirectory(), u"gone.bin"), 10, bytes),
              platform::WholeFile::missing);
    EXPECT_EQ(platform::readWholeFile(native(wideDirectory() + u"/gone/known.bin"), 10, bytes),
              platform::WholeFile::missing);
    EXPECT_EQ(platform::readWholeFile(wideDirectory(), 10, bytes), platform::WholeFile::unreadable);
    EXPECT_EQ(platform::readWholeFile(path + std::u16string(1, u'\0'), 1 << 20, bytes),
              platform::WholeFile::unreadable);
    // Returns at once, with no writer to a FIFO and no end to a device.
    for (const std::string& other : test::nonRegularFiles(dir_.path()))
        EXPECT_EQ(platform::readWholeFile(fs::path(other).u16string(), 10, bytes), platform::WholeFile::unreadable)
            << other;
}

TEST_F(FilesTest, ReplaceFileLeavesTheOldFileOrTheNewOneAndNoTemporary) {
    const std::u16string path = platform::joinPath(wideDirectory(), u"postrix.known");
    const std::string large(3 << 20, '\0');
    std::string bytes;
    for (const std::string& content : {std::string("first"), large, std::string("short")}) {
        ASSERT_TRUE(platform::replaceFile(path, content));
        ASSERT_EQ(platform::readWholeFile(path, large.size(), bytes), platform::WholeFile::read);
        EXPECT_EQ(bytes, content);
        EXPECT_EQ(sortedFind(u"*"), std::vector<std::u16string>{u"postrix.known"});
    }
    // A temporary file a crashed process of the same id left is written
    // over; another process's is left alone.
    const std::string ours = "postrix.known.tmp-" + std::to_string(test::processId());
    dir_.write(ours, "stale");
    dir_.write("postrix.known.tmp-0", "being written");
    EXPECT_TRUE(platform::replaceFile(path, "after"));
    EXPECT_EQ(platform::readWholeFile(path, 100, bytes), platform::WholeFile::read);
    EXPECT_EQ(bytes, "after");
    EXPECT_FALSE(fs::exists(dir_.path() / ours));
    EXPECT_TRUE(fs::exists(dir_.path() / "postrix.known.tmp-0"));

    // What cannot be replaced stays, with no temporary file beside it.
    fs::create_directory(dir_.path() / "folder");
    EXPECT_FALSE(platform::replaceFile(platform::joinPath(wideDirectory(), u"folder"), "x"));
    EXPECT_TRUE(fs::is_directory(dir_.path() / "folder"));
    EXPECT_TRUE(sortedFind(u"folder.*").empty());
    EXPECT_FALSE(platform::replaceFile(native(wideDirectory() + u"/gone/postrix.known"), "x"));
    EXPECT_FALSE(platform::replaceFile(path + std::u16string(1, u'\0'), "x"));
    EXPECT_EQ(platform::readWholeFile(path, 100, bytes), platform::WholeFile::read);
    EXPECT_EQ(bytes, "after");

    // Made piece by piece; a maker that gives up leaves the file as it was.
    const auto pieces = [](bool finish) {
        return [finish](const platform::AppendBytes& append) {
            return append("one ") && append("") && append("two") && finish;
        };
    };
    EXPECT_FALSE(platform::replaceFileWith(path, pieces(false)));
    EXPECT_EQ(platform::readWholeFile(path, 100, bytes), platform::WholeFile::read);
    EXPECT_EQ(bytes, "after");
    EXPECT_TRUE(platform::replaceFileWith(path, pieces(true)));
    EXPECT_EQ(platform::readWholeFile(path, 100, bytes), platform::WholeFile::read);
    EXPECT_EQ(bytes, "one two");
    EXPECT_EQ(sortedFind(u"postrix.known*"), (std::vector<std::u16string>{u"postrix.known", u"postrix.known.tmp-0"}));
}

class ManualClock : public platform::Clock {
public:
    uint32_t tickMs() override { return tick; }
    int64_t utcSeconds() override { return utc; }
    std::optional<int> standardBiasMinutes() override { return bias; }

    uint32_t tick = 0xFFFFFFF0u;
    int64_t utc = 1700000000;
    std::optional<int> bias = -60;
};

TEST(Clock, OverrideAndRestore) {
    ManualClock manual;
    platform::setClock(&manual);
    EXPECT_EQ(platform::clock().tickMs(), 0xFFFFFFF0u);
    manual.tick += 0x20;  // wraps
    EXPECT_EQ(platform::clock().tickMs(), 0x10u);
    EXPECT_EQ(platform::clock().utcSeconds(), 1700000000);
    EXPECT_EQ(platform::clock().standardBiasMinutes(), -60);
    platform::setClock(nullptr);
    EXPECT_NE(&platform::clock(), &manual);
    EXPECT_GT(platform::clock().utcSeconds(), 1600000000);
}

TEST(Clock, SystemTimeIsUtcAndTheTickMoves) {
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    EXPECT_NEAR(double(platform::clock().utcSeconds()), double(now), 2.0);
    // Not a timing assertion: two reads a sleep apart must differ.
    const uint32_t first = platform::clock().tickMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    EXPECT_NE(platform::clock().tickMs(), first);
}

}  // namespace
