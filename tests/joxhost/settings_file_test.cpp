#include "settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "temp_dir.h"

namespace joxhost {
namespace {

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

mode_t modeOf(const std::filesystem::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 0777;
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

    const std::string text = serializeSettings(values);
    const ParsedSettings parsed = parseSettings(text);
    EXPECT_TRUE(parsed.errors.empty());
    EXPECT_EQ(parsed.values, values);
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
        {"MAIL/a = text:\"\\q\"", "unknown escape \\q"},
        {"MAIL/a = text:\"\\u12zz\"", "bad \\u escape"},
        {"MAIL/a = text:\"\\u12", "short \\u escape"},
    };
    for (const auto& c : cases) {
        const std::string text = std::string("# comment\n\nMAIL/ok = int:3\r\n") + c.line + "\n";
        const ParsedSettings parsed = parseSettings(text);
        ASSERT_EQ(parsed.errors.size(), 1u) << c.line;
        EXPECT_EQ(parsed.errors[0], std::string("line 4: ") + c.why) << c.line;
        EXPECT_EQ(parsed.values.at(u"MAIL/ok"), SettingValue::ofInt(3)) << c.line;
        EXPECT_EQ(parsed.values.count(u"MAIL/a"), 0u) << c.line;
    }
}

TEST(SettingsFile, SavedFileIsPrivateWhateverTheUmask) {
    test::TempDir dir;
    const auto path = dir / "postrix.config";
    SettingValues values{{u"MAIL/password", SettingValue::ofText(u"secret")}};
    for (const mode_t mask : {mode_t{0}, mode_t{022}, mode_t{077}}) {
        const mode_t old = ::umask(mask);
        std::string error;
        EXPECT_TRUE(saveSettingsFile(path, values, &error)) << error;
        ::umask(old);
        EXPECT_EQ(modeOf(path), 0600u) << "umask " << mask;
    }
    // A file that had looser rights is replaced by a private one.
    ::chmod(path.c_str(), 0644);
    EXPECT_TRUE(saveSettingsFile(path, values, nullptr));
    EXPECT_EQ(modeOf(path), 0600u);
}

TEST(SettingsFile, SaveReplacesTheFileWhole) {
    test::TempDir dir;
    const auto path = dir / "postrix.config";
    SettingValues first{{u"MAIL/mail", SettingValue::ofText(u"a@b")}, {u"MAIL/login", SettingValue::ofText(u"a")}};
    ASSERT_TRUE(saveSettingsFile(path, first, nullptr));
    SettingValues second{{u"MAIL/mail", SettingValue::ofText(u"c@d")}};
    ASSERT_TRUE(saveSettingsFile(path, second, nullptr));
    std::string error;
    const auto loaded = loadSettingsFile(path, &error);
    ASSERT_TRUE(loaded) << error;
    EXPECT_EQ(loaded->values, second);
    // Nothing is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(SettingsFile, AFailedSaveLeavesTheOldContent) {
    test::TempDir dir;
    const auto path = dir / "postrix.config";
    SettingValues old{{u"MAIL/mail", SettingValue::ofText(u"old@example.com")}};
    ASSERT_TRUE(saveSettingsFile(path, old, nullptr));
    const std::string before = readAll(path);
    // Something that is no file where the temporary file would go.
    std::filesystem::create_directory(dir / "postrix.config.tmp");
    std::filesystem::create_directory(dir / "postrix.config.tmp" / "keep");
    SettingValues replacement{{u"MAIL/mail", SettingValue::ofText(u"new@example.com")}};
    std::string error;
    EXPECT_FALSE(saveSettingsFile(path, replacement, &error));
    EXPECT_NE(error.find("postrix.config.tmp"), std::string::npos) << error;
    EXPECT_EQ(readAll(path), before);
}

TEST(SettingsFile, ALeftoverTemporaryFileDoesNotBlockSaving) {
    test::TempDir dir;
    const auto path = dir / "postrix.config";
    std::ofstream(dir / "postrix.config.tmp") << "torn";
    EXPECT_TRUE(saveSettingsFile(path, {{u"k", SettingValue::ofInt(1)}}, nullptr));
    EXPECT_FALSE(std::filesystem::exists(dir / "postrix.config.tmp"));
}

TEST(SettingsFile, MissingFileLoadsEmpty) {
    test::TempDir dir;
    std::string error;
    const auto loaded = loadSettingsFile(dir / "none.config", &error);
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(loaded->values.empty());
    EXPECT_TRUE(loaded->errors.empty());
}

}  // namespace
}  // namespace joxhost
