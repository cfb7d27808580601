#include "store/settings_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <fstream>
#include <set>

#include "temp_dir.h"

namespace joxhost {
namespace {

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeAll(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

mode_t modeOf(const std::filesystem::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 0777;
}

bool save(const std::filesystem::path& path, const SettingValues& values, std::string* error = nullptr) {
    LoadedSettings settings;
    return updateSettingsFile(path, values, settings, error);
}

SettingValues load(const std::filesystem::path& path) {
    LoadedSettings settings;
    std::string error;
    EXPECT_TRUE(refreshSettings(path, settings, &error)) << error;
    return settings.document.values();
}

TEST(SettingsFile, EveryValueComesBackWithItsType) {
    SettingValues values;
    values[u"MAIL/mail"] = SettingValue::ofText(u"jan@example.com");
    values[u"MAIL/password"] = SettingValue::ofText(u"p\"a\\s=s # ł\n\r\t\x01\x7f");
    values[u"MAIL/empty"] = SettingValue::ofText(u"");
    values[u"MAIL/polish"] = SettingValue::ofText(u"Zażółć gęślą jaźń 😀");
    values[u"MAIL/loneSurrogate"] = SettingValue::ofText(std::u16string(u"a") + char16_t(0xD800) + u"b");
    values[u"MAIL/ssl"] = SettingValue::ofInt(1);
    values[u"MAIL/negative"] = SettingValue::ofInt(-42);
    values[u"MAIL/big"] = SettingValue::ofInt(INT64_MIN);
    values[u"odd key = \"x\""] = SettingValue::ofInt(7);
    values[u"MAIL/number-like"] = SettingValue::ofText(u"5");
    values[u"MAIL/path"] = SettingValue::ofText(u"C:\\Users\\u00e9");

    SettingsDocument written;
    for (const auto& [key, value] : values) written.set(key, value);
    const std::string text = written.text();
    std::vector<std::string> errors;
    const SettingsDocument read = SettingsDocument::parse(text, &errors);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(read.values(), values);
    // Readable: plain UTF-8 and the type of each value in the line.
    EXPECT_NE(text.find("MAIL/ssl = int:1\n"), std::string::npos);
    EXPECT_NE(text.find("MAIL/polish = text:\"Zażółć gęślą jaźń 😀\"\n"), std::string::npos);
    EXPECT_NE(text.find("a\\uD800b"), std::string::npos);
}

TEST(SettingsFile, RejectsBadLinesButKeepsTheOthers) {
    struct Case {
        const char* line;
        const char* why;
    };
    const Case cases[] = {
        {"MAIL/a int:1", "expected '='"},
        {"MAIL/a = 1", "expected int: or text:"},
        {"MAIL/a = int:x", "bad integer"},
        {"MAIL/a = int:99999999999999999999", "bad integer"},
        {"MAIL/a = text:\"open", "unterminated text"},
        {"MAIL/a = text:\"x\" y", "text after the closing quote"},
    };
    for (const auto& c : cases) {
        const std::string text = std::string("# comment\n\nMAIL/ok = int:3\r\n") + c.line + "\n";
        std::vector<std::string> errors;
        const SettingsDocument parsed = SettingsDocument::parse(text, &errors);
        ASSERT_EQ(errors.size(), 1u) << c.line;
        EXPECT_EQ(errors[0], std::string("line 4: ") + c.why) << c.line;
        EXPECT_EQ(parsed.values().at(u"MAIL/ok"), SettingValue::ofInt(3)) << c.line;
        EXPECT_EQ(parsed.values().count(u"MAIL/a"), 0u) << c.line;
        EXPECT_EQ(parsed.text(), text) << c.line;
    }
}

TEST(SettingsFile, ABackslashThatStartsNoEscapeIsACharacter) {
    struct Case {
        const char* quoted;
        std::u16string value;
    };
    const Case cases[] = {
        {R"("C:\Users\jan\poczta")", u"C:\\Users\\jan\\poczta"},
        {R"("\q")", u"\\q"},
        {R"("\u12zz")", u"\\u12zz"},
        {R"("\u12")", u"\\u12"},
        {R"("a\u0041\\b")", u"aA\\b"},
        {R"("\")", u""},  // the quote is escaped: the text never ends
    };
    for (const auto& c : cases) {
        std::vector<std::string> errors;
        const auto parsed = SettingsDocument::parse(std::string("MAIL/a = text:") + c.quoted + "\n", &errors);
        if (c.value.empty()) {
            EXPECT_EQ(errors.size(), 1u) << c.quoted;
            continue;
        }
        EXPECT_TRUE(errors.empty()) << c.quoted;
        EXPECT_EQ(parsed.values().at(u"MAIL/a"), SettingValue::ofText(c.value)) << c.quoted;
    }
}

// A file a person edited: every line joxhost does not change stays byte for
// byte, whatever the reader made of it.
TEST(SettingsFile, RewritingKeepsEveryLineItDoesNotChange) {
    test::TempDir dir;
    const auto path = dir / "postrix.config";
    const std::string kept =
        "\xEF\xBB\xBF# my mail, edited by hand\r\n"
        "MAIL/password = text:\"C:\\Users\\jan\\hasło\"   \r\n"
        "MAIL/login=text:\"jan\"\n"
        "\n"
        "this line means nothing to joxhost\n"
        "MAIL/smtpServer = \"smtp.example.com\"  # no type\n";
    writeAll(path, kept + "MAIL/checkInterval = int:5\n");

    ASSERT_TRUE(save(path, {{u"MAIL/checkInterval", SettingValue::ofInt(7)},
                            {u"MAIL/login", SettingValue::ofText(u"jan")},
                            {u"MAIL/mail", SettingValue::ofText(u"jan@example.com")}}));

    EXPECT_EQ(readAll(path), kept + "MAIL/checkInterval = int:7\nMAIL/mail = text:\"jan@example.com\"\n");
    const auto values = load(path);
    EXPECT_EQ(values.at(u"MAIL/password"), SettingValue::ofText(u"C:\\Users\\jan\\hasło"));
    EXPECT_EQ(values.at(u"MAIL/checkInterval"), SettingValue::ofInt(7));
}

TEST(SettingsFile, ANewFileStartsWithItsHeaderAndAChangedLineKeepsItsPlace) {
    test::TempDir dir;
    const auto path = dir / "postrix.config";
    ASSERT_TRUE(save(path, {{u"MAIL/a", SettingValue::ofInt(1)}, {u"MAIL/b", SettingValue::ofInt(2)}}));
    ASSERT_TRUE(save(path, {{u"MAIL/a", SettingValue::ofText(u"x")}}));
    EXPECT_EQ(readAll(path),
              "# joxhost settings, UTF-8; values are int:N or text:\"...\"\n"
              "MAIL/a = text:\"x\"\n"
              "MAIL/b = int:2\n");
}

TEST(SettingsFile, AFileLargerThanAllowedIsRefusedWithOneReason) {
    test::TempDir dir;
    const auto path = dir / "postrix.config";
    {
        std::ofstream out(path, std::ios::binary);
        const std::string line = "MAIL/filler = text:\"" + std::string(1000, 'x') + "\"\n";
        for (size_t size = 0; size <= kMaxSettingsFileSize; size += line.size()) out << line;
    }
    LoadedSettings settings;
    std::string error;
    EXPECT_FALSE(refreshSettings(path, settings, &error));
    EXPECT_NE(error.find("more than the 16 MiB allowed"), std::string::npos) << error;
    EXPECT_FALSE(settings.exists);
    EXPECT_FALSE(save(path, {{u"MAIL/a", SettingValue::ofInt(1)}}));
    EXPECT_GT(std::filesystem::file_size(path), kMaxSettingsFileSize);
}

TEST(SettingsFile, SavedFileIsPrivateWhateverTheUmask) {
    test::TempDir dir;
    const auto path = dir / "postrix.config";
    int n = 0;
    for (const mode_t mask : {mode_t{0}, mode_t{022}, mode_t{077}}) {
        const mode_t old = ::umask(mask);
        std::string error;
        EXPECT_TRUE(save(path, {{u"MAIL/password", SettingValue::ofInt(++n)}}, &error)) << error;
        ::umask(old);
        EXPECT_EQ(modeOf(path), 0600u) << "umask " << mask;
    }
    // A file that had looser rights is replaced by a private one.
    ::chmod(path.c_str(), 0644);
    EXPECT_TRUE(save(path, {{u"MAIL/password", SettingValue::ofInt(++n)}}));
    EXPECT_EQ(modeOf(path), 0600u);
}

TEST(SettingsFile, SaveLeavesNothingButTheFileAndItsLock) {
    test::TempDir dir;
    const auto path = dir / "postrix.config";
    ASSERT_TRUE(save(path, {{u"MAIL/mail", SettingValue::ofText(u"a@b")}}));
    ASSERT_TRUE(save(path, {{u"MAIL/mail", SettingValue::ofText(u"c@d")}}));
    EXPECT_EQ(load(path), (SettingValues{{u"MAIL/mail", SettingValue::ofText(u"c@d")}}));
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        names.insert(entry.path().filename().string());
    }
    EXPECT_EQ(names, (std::set<std::string>{"postrix.config", ".settings.lock"}));
}

TEST(SettingsFile, AFailedSaveLeavesTheOldContentAndNoTemporaryFile) {
    test::TempDir dir;
    const auto path = dir / "postrix.config";
    ASSERT_TRUE(save(path, {{u"MAIL/mail", SettingValue::ofText(u"old@example.com")}}));
    const std::string before = readAll(path);
    // A file size limit smaller than the new text makes the write fail.
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit oldLimit{};
    ::getrlimit(RLIMIT_FSIZE, &oldLimit);
    rlimit small = oldLimit;
    small.rlim_cur = before.size();
    ::setrlimit(RLIMIT_FSIZE, &small);
    std::string error;
    LoadedSettings settings;
    const bool saved =
        updateSettingsFile(path, {{u"MAIL/mail", SettingValue::ofText(u"new.and.longer@example.com")}}, settings, &error);
    ::setrlimit(RLIMIT_FSIZE, &oldLimit);
    ::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(saved);
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    EXPECT_EQ(readAll(path), before);
    EXPECT_FALSE(settings.exists);  // the caller's view did not change either
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST(SettingsFile, AnEarlierFixedNameTemporaryFileDoesNotBlockSaving) {
    test::TempDir dir;
    const auto path = dir / "postrix.config";
    std::filesystem::create_directories(dir / "postrix.config.tmp" / "keep");
    EXPECT_TRUE(save(path, {{u"k", SettingValue::ofInt(1)}}));
    EXPECT_EQ(load(path).at(u"k"), SettingValue::ofInt(1));
}

TEST(SettingsFile, MissingFileLoadsEmpty) {
    test::TempDir dir;
    LoadedSettings settings;
    std::string error;
    ASSERT_TRUE(refreshSettings(dir / "none.config", settings, &error));
    EXPECT_FALSE(settings.exists);
    EXPECT_TRUE(settings.document.values().empty());
    EXPECT_TRUE(settings.errors.empty());
}

}  // namespace
}  // namespace joxhost
