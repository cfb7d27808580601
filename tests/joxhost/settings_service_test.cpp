#include "store/settings_service.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>

#include "postrix/abi/records_plugin.h"
#include "store/profile.h"
#include "temp_dir.h"
#include "core/utf.h"

namespace joxhost {
namespace {

using postrix::SettingsRecord;

// What the plug-in hands InitEx as lParam: the handle is its first field.
struct Store {
    int64_t handle = 0;
    int64_t other = 0x5555;
};

class SettingsServiceTest : public testing::Test {
protected:
    test::TempDir dir;
    std::FILE* sink = std::fopen("/dev/null", "w");
    Reporter reporter{true, false, sink};
    SettingsService service{dir.path(), reporter};

    ~SettingsServiceTest() override { std::fclose(sink); }

    int64_t open(const std::u16string& name, Store& store) { return service.initEx(name.c_str(), &store); }

    int64_t setInt(int64_t handle, const char16_t* key, int64_t value) {
        SettingsRecord r{};
        r.size = sizeof r;
        r.key = key;
        r.type = postrix::kSettingsInt;
        r.value.integer = value;
        r.handle = handle;
        return service.set(&r);
    }
    int64_t setText(int64_t handle, const char16_t* key, const std::u16string& text, int32_t length) {
        SettingsRecord r{};
        r.size = sizeof r;
        r.key = key;
        r.type = postrix::kSettingsText;
        r.value.text = const_cast<char16_t*>(text.c_str());
        r.length = length;
        r.handle = handle;
        return service.set(&r);
    }
    // The delivered flag and value.
    std::pair<int64_t, int32_t> getInt(int64_t handle, const char16_t* key) {
        SettingsRecord r{};
        r.size = sizeof r;
        r.key = key;
        r.type = postrix::kSettingsInt;
        r.handle = handle;
        const int64_t delivered = service.get(&r);
        return {delivered, static_cast<int32_t>(r.value.integer)};
    }
    std::pair<int64_t, std::u16string> getText(int64_t handle, const char16_t* key, int32_t capacity = 4096) {
        std::u16string buffer(static_cast<size_t>(capacity) + 8, u'#');
        SettingsRecord r{};
        r.size = sizeof r;
        r.key = key;
        r.type = postrix::kSettingsText;
        r.value.text = buffer.data();
        r.length = capacity;
        r.handle = handle;
        const int64_t delivered = service.get(&r);
        // Nothing may be written past the capacity.
        EXPECT_EQ(buffer.substr(static_cast<size_t>(capacity)), std::u16string(8, u'#'));
        return {delivered, delivered ? std::u16string(buffer.c_str()) : std::u16string()};
    }
};

TEST_F(SettingsServiceTest, InitExWritesTheHandleIntoTheFirstFieldAndCreatesAPrivateFile) {
    Store store;
    ASSERT_EQ(open(u"postrix.config", store), 0);
    EXPECT_NE(store.handle, 0);
    EXPECT_EQ(store.other, 0x5555);
    struct stat info {};
    ASSERT_EQ(::stat((dir / "postrix.config").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(SettingsServiceTest, FullPathsBuiltFromTheDirectoryNameTheSameFile) {
    const std::string base = dir.path().string();
    for (const std::string& path : {base + "/postrix.config", base + "//postrix.config", std::string("postrix.config")}) {
        Store store;
        ASSERT_EQ(open(toUtf16(path), store), 0) << path;
        EXPECT_EQ(setInt(store.handle, u"MAIL/ssl", 0), 0);
        EXPECT_EQ(service.write(store.handle), 0);
        EXPECT_EQ(service.destroy(store.handle), 0);
    }
    // The file and the settings lock beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST_F(SettingsServiceTest, ValuesRoundTripThroughTheFile) {
    Store writer;
    ASSERT_EQ(open(u"postrix_work.config", writer), 0);
    setInt(writer.handle, u"MAIL/checkInterval", -5);
    setText(writer.handle, u"MAIL/mail", u"jan@example.com", 15);
    setText(writer.handle, u"MAIL/password", u"hasło", 5);
    ASSERT_EQ(service.write(writer.handle), 0);

    Store reader;
    ASSERT_EQ(open(u"postrix_work.config", reader), 0);
    EXPECT_EQ(getInt(reader.handle, u"MAIL/checkInterval"), std::make_pair(int64_t{1}, -5));
    EXPECT_EQ(getText(reader.handle, u"MAIL/mail"), std::make_pair(int64_t{1}, std::u16string(u"jan@example.com")));
    EXPECT_EQ(getText(reader.handle, u"MAIL/password"), std::make_pair(int64_t{1}, std::u16string(u"hasło")));
}

TEST_F(SettingsServiceTest, MissingValuesAndWrongHandlesDeliverNothing) {
    Store store;
    ASSERT_EQ(open(u"postrix.config", store), 0);
    EXPECT_EQ(getInt(store.handle, u"MAIL/ssl").first, 0);
    EXPECT_EQ(getText(store.handle, u"MAIL/mail").first, 0);
    EXPECT_EQ(getInt(store.handle + 100, u"MAIL/ssl").first, 0);
    EXPECT_NE(setInt(store.handle + 100, u"MAIL/ssl", 1), 0);
    EXPECT_EQ(service.destroy(store.handle), 0);
    EXPECT_EQ(getInt(store.handle, u"MAIL/ssl").first, 0);
    EXPECT_NE(service.read(store.handle), 0);
}

TEST_F(SettingsServiceTest, TextIsCutToTheBufferCapacity) {
    Store store;
    ASSERT_EQ(open(u"postrix.config", store), 0);
    setText(store.handle, u"MAIL/mail", u"abcdefghij", 10);
    EXPECT_EQ(getText(store.handle, u"MAIL/mail", 4).second, u"abc");
    EXPECT_EQ(getText(store.handle, u"MAIL/mail", 11).second, u"abcdefghij");
    EXPECT_EQ(getText(store.handle, u"MAIL/mail", 1), std::make_pair(int64_t{1}, std::u16string()));
}

TEST_F(SettingsServiceTest, TheStatedLengthNeverReachesPastTheTerminator) {
    Store store;
    ASSERT_EQ(open(u"postrix.config", store), 0);
    setText(store.handle, u"a", u"abcdef", 3);
    setText(store.handle, u"b", u"ab", 50);
    setText(store.handle, u"c", u"abc", 0);
    EXPECT_EQ(getText(store.handle, u"a").second, u"abc");
    EXPECT_EQ(getText(store.handle, u"b").second, u"ab");
    EXPECT_EQ(getText(store.handle, u"c").second, u"abc");
}

TEST_F(SettingsServiceTest, IntegersWrittenAsTextAreReadAsIntegersOnlyWhenTheyAreNumbers) {
    Store store;
    ASSERT_EQ(open(u"postrix.config", store), 0);
    setText(store.handle, u"MAIL/ssl", u"0", 1);
    setText(store.handle, u"MAIL/checkInterval", u"5 min", 5);
    setInt(store.handle, u"MAIL/port", 587);
    EXPECT_EQ(getInt(store.handle, u"MAIL/ssl"), std::make_pair(int64_t{1}, 0));
    EXPECT_EQ(getInt(store.handle, u"MAIL/checkInterval").first, 0);
    EXPECT_EQ(getText(store.handle, u"MAIL/port").second, u"587");
}

TEST_F(SettingsServiceTest, ReadPicksUpChangesMadeOutside) {
    Store store;
    ASSERT_EQ(open(u"postrix.config", store), 0);
    std::ofstream(dir / "postrix.config") << "MAIL/smtpServer = text:\"127.0.0.1:2525\"\n";
    EXPECT_EQ(getText(store.handle, u"MAIL/smtpServer").first, 0);
    ASSERT_EQ(service.read(store.handle), 0);
    EXPECT_EQ(getText(store.handle, u"MAIL/smtpServer").second, u"127.0.0.1:2525");
}

TEST_F(SettingsServiceTest, WriteMergesTheSetValuesIntoTheFileAsItIsThen) {
    Store store;
    ASSERT_EQ(open(u"postrix.config", store), 0);
    setText(store.handle, u"MAIL/mail", u"jan@example.com", 15);
    // Another process saved meanwhile; its value survives this write.
    std::ofstream(dir / "postrix.config") << "# theirs\nMAIL/login = text:\"jan\"\n";
    ASSERT_EQ(service.write(store.handle), 0);
    EXPECT_EQ(getText(store.handle, u"MAIL/login").second, u"jan");
    std::ifstream in(dir / "postrix.config");
    const std::string text(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(text, "# theirs\nMAIL/login = text:\"jan\"\nMAIL/mail = text:\"jan@example.com\"\n");
    // Read drops what was set and not written.
    setInt(store.handle, u"MAIL/ssl", 0);
    ASSERT_EQ(service.read(store.handle), 0);
    EXPECT_EQ(getInt(store.handle, u"MAIL/ssl").first, 0);
}

TEST_F(SettingsServiceTest, AFailedWriteAnswersFailureAndIsCounted) {
    Store store;
    ASSERT_EQ(open(u"postrix.config", store), 0);
    setInt(store.handle, u"MAIL/ssl", 0);
    std::filesystem::remove(dir / "postrix.config");
    std::filesystem::create_directories(dir / "postrix.config" / "in-the-way");
    EXPECT_EQ(service.failedWrites(), 0);
    EXPECT_NE(service.write(store.handle), 0);
    EXPECT_EQ(service.failedWrites(), 1);
    // Nor is an account file created when no byte can be written.
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit oldLimit{};
    ::getrlimit(RLIMIT_FSIZE, &oldLimit);
    rlimit none = oldLimit;
    none.rlim_cur = 0;
    ::setrlimit(RLIMIT_FSIZE, &none);
    Store other;
    const int64_t opened = open(u"postrix_work.config", other);
    ::setrlimit(RLIMIT_FSIZE, &oldLimit);
    ::signal(SIGXFSZ, oldHandler);
    EXPECT_NE(opened, 0);
    EXPECT_EQ(service.failedWrites(), 2);
    EXPECT_FALSE(std::filesystem::exists(dir / "postrix_work.config"));
}

TEST(ProfileDirectory, NamesTheDirectoryWithATrailingSeparatorOrNothing) {
    ProfileDirectory profile("/tmp/joxhost-profile");
    char16_t buffer[260] = {};
    postrix::DirectoryRecord r{};
    r.size = sizeof r;
    r.kind = 1;
    r.scope = 1;
    r.buffer = buffer;
    r.capacity = 260;
    ASSERT_EQ(profile.get(&r), 0);
    EXPECT_EQ(std::u16string(buffer), u"/tmp/joxhost-profile/");
    // Too small for the whole path: refused, never cut.
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    r.capacity = 21;  // the text needs 22 with its terminator
    EXPECT_NE(profile.get(&r), 0);
    EXPECT_EQ(buffer[0], u'#');
    r.capacity = 22;
    EXPECT_EQ(profile.get(&r), 0);
}

TEST(ProfileDirectory, ChoiceFollowsOptionThenEnvironment) {
    EXPECT_EQ(chooseProfileDir("/p", "/env", "/xdg", "/home/u"), "/p");
    EXPECT_EQ(chooseProfileDir("", "/env", "/xdg", "/home/u"), "/env");
    EXPECT_EQ(chooseProfileDir("", "", "/xdg", "/home/u"), "/xdg/joxhost");
    EXPECT_EQ(chooseProfileDir("", nullptr, nullptr, "/home/u"), "/home/u/.local/share/joxhost");
}

TEST(ProfileDirectory, ProfileNamesThatCannotNameAFileAreRefused) {
    EXPECT_FALSE(profileNameProblem("praca"));
    EXPECT_FALSE(profileNameProblem("żółw-32"));
    EXPECT_FALSE(profileNameProblem(std::string(32, 'a')));
    EXPECT_TRUE(profileNameProblem(std::string(33, 'a')));
    EXPECT_TRUE(profileNameProblem(""));
    EXPECT_TRUE(profileNameProblem("../x"));
    EXPECT_TRUE(profileNameProblem("a\\b"));
    EXPECT_TRUE(profileNameProblem(".."));
    EXPECT_TRUE(profileNameProblem("a\nb"));
    EXPECT_EQ(accountFileName(""), "postrix.config");
    EXPECT_EQ(accountFileName("praca"), "postrix_praca.config");
}

}  // namespace
}  // namespace joxhost
