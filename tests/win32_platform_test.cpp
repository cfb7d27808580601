// The Win32 platform layer where it differs from POSIX or rests on Windows'
// own data: the code pages byte for byte, charset names, ANSI paths and
// devices, the zone of the process, the echo probe, the module and its
// resources, and the built DLL's entry points and texts.
#include "fixtures/code_page_tables.h"
#include "platform/clock.h"
#include "platform/codecs.h"
#include "platform/desktop.h"
#include "platform/file_reader.h"
#include "platform/files.h"
#include "platform/host_name.h"
#include "platform/module.h"
#include "platform/resources.h"
#include "support/system.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace postrix;
using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

std::u16string decoded(unsigned codePage, int byte) {
    return platform::codePageBytesToWide(std::string(1, char(byte)), codePage);
}

TEST(Win32CodePages, EveryByteDecodesAsTheSharedTablesSay) {
    const struct {
        unsigned codePage;
        const test::UpperHalfTable* upperHalf;
    } pages[] = {{1250, &test::kWindows1250UpperHalf},
                 {1252, &test::kWindows1252UpperHalf},
                 {28592, &test::kIso8859_2UpperHalf},
                 {28591, nullptr}};
    for (const auto& page : pages) {
        for (int byte = 1; byte < 0x100; ++byte) {
            const char16_t expected = byte < 0x80 || page.upperHalf == nullptr
                                          ? char16_t(byte)
                                          : (*page.upperHalf)[size_t(byte - 0x80)];
            EXPECT_EQ(decoded(page.codePage, byte), std::u16string(1, expected))
                << page.codePage << " byte " << std::hex << byte;
        }
    }
}

TEST(Win32CodePages, OnlyTheFivePagesOfEverySystem) {
    // Windows knows these; POSIX does not, so neither build takes them.
    EXPECT_EQ(platform::codePageBytesToWide("abc", 1251), u"");
    EXPECT_EQ(platform::codePageBytesToWide("abc", 20127), u"");
    EXPECT_EQ(platform::codePageBytesToWide("abc", 932), u"");
}

TEST(Win32Charsets, NamesMapToWindowsCodePages) {
    EXPECT_EQ(platform::charsetBytesToWide("\xA4", "ISO_8859-15:1998"), u"€");
    EXPECT_EQ(platform::charsetBytesToWide("\xC7", "iso8859-4"), u"\u012E");
    EXPECT_EQ(platform::charsetBytesToWide("\xEB", "ISO-8859-7"), u"\u03BB");
    EXPECT_EQ(platform::charsetBytesToWide("\xE4", "windows-1251"), u"\u0434");
    EXPECT_EQ(platform::charsetBytesToWide("\xA4", "koi8-u"), u"\u0454");
    EXPECT_EQ(platform::charsetBytesToWide("\xD6\xD0\xCE\xC4", "GB2312"), u"中文");
    EXPECT_EQ(platform::charsetBytesToWide("\xA4\xA4\xA4\xE5", "big5"), u"中文");
    EXPECT_EQ(platform::charsetBytesToWide("\xC7\xD1\xB1\xDB", "ks_c_5601-1987"), u"한글");
    EXPECT_EQ(platform::charsetBytesToWide("\xC7\xD1\xB1\xDB", "EUC-KR"), u"한글");
    EXPECT_EQ(platform::charsetBytesToWide("\xA4\xA2", "euc-jp"), u"\u3042");
    EXPECT_EQ(platform::charsetBytesToWide("\xE9", "iso-8859-12"), std::nullopt);
    EXPECT_EQ(platform::charsetBytesToWide("\xE9", "windows-1259"), std::nullopt);
}

TEST(Win32Charsets, BadBytesOfMultiByteCharsetsBecomeOneReplacementEach) {
    // Windows gives U+F8F3 for 0xFF and U+30FB for a cut lead byte; the
    // plug-in gives U+FFFD and goes on with the next byte, as on POSIX.
    EXPECT_EQ(platform::charsetBytesToWide("\xFF\x82\xA0", "shift_jis"), u"\uFFFD\u3042");
    EXPECT_EQ(platform::charsetBytesToWide("\x82\x20z", "shift_jis"), u"\uFFFD z");
    EXPECT_EQ(platform::charsetBytesToWide("\xB0", "gbk"), u"\uFFFD");
    // Windows folds ASCII's upper half onto the lower one ("\xE9" would be "i").
    EXPECT_EQ(platform::charsetBytesToWide("caf\xE9", "ascii"), u"caf\uFFFD");
}

TEST(Win32Charsets, UnicodeFormsAreDecodedByThePlugIn) {
    EXPECT_EQ(platform::charsetBytesToWide("\0a\0b"s, "UTF-16BE"), u"ab");
    EXPECT_EQ(platform::charsetBytesToWide("\xFF\xFE" "a\0\x3D\xD8\x00\xDE"s, "utf-16"), u"a\U0001F600");
    EXPECT_EQ(platform::charsetBytesToWide("\0a\0b"s, "utf-16"), u"ab");
    EXPECT_EQ(platform::charsetBytesToWide("\x00\xD8" "a\0"s, "utf-16le"), u"\uFFFDa");
    EXPECT_EQ(platform::charsetBytesToWide("a\0\0"s, "utf-16le"), u"a\uFFFD");
    EXPECT_EQ(platform::charsetBytesToWide("\x00\xF6\x01\x00" "b\0\0\0"s, "UTF-32LE"), u"\U0001F600b");
    EXPECT_EQ(platform::charsetBytesToWide("\x00\x00\x11\x00"s, "utf-32le"), u"\uFFFD");
}

TEST(Win32Paths, JoinPutsOneBackslashAfterDrivesAndShares) {
    EXPECT_EQ(platform::joinPath(u"C:\\", u"a.txt"), u"C:\\a.txt");
    EXPECT_EQ(platform::joinPath(u"C:\\Users\\jan", u"postrix.config"), u"C:\\Users\\jan\\postrix.config");
    EXPECT_EQ(platform::joinPath(u"C:\\Users\\jan\\", u"postrix.config"), u"C:\\Users\\jan\\postrix.config");
    EXPECT_EQ(platform::joinPath(u"\\\\server\\share\\", u"a"), u"\\\\server\\share\\a");
}

TEST(Win32Files, LooksAtPathsInTheAnsiCodePage) {
    test::TempDir dir;
    std::ofstream(dir.path() / u"caf\u00E9.txt") << "x";
    // The picker's form: é is byte E9 in the Windows-1250 and -1252 pages alike.
    const std::string path = dir.path().string() + "\\caf\xE9.txt";
    ASSERT_TRUE(GetACP() == 1250 || GetACP() == 1252) << GetACP();
    EXPECT_EQ(platform::fileKind(path), platform::FileKind::regular);
    EXPECT_TRUE(platform::FileReader::open(path).has_value());
    EXPECT_EQ(platform::fileKind(dir.path().string() + "\\caf\xC3\xA9.txt"), platform::FileKind::unknown);
}

TEST(Win32Files, DevicesAndPipesAreNotRead) {
    for (const std::string& path : test::nonRegularFiles({})) {
        EXPECT_FALSE(platform::FileReader::open(path).has_value()) << path;
    }
    EXPECT_FALSE(platform::FileReader::open("CON").has_value());
    // A pipe with a server waiting: Windows finds it with the look before
    // opening (wine does not), opening connects at once, and the look at
    // what was opened refuses it.
    const std::string pipe = "\\\\.\\pipe\\postrix-test-" + std::to_string(GetCurrentProcessId());
    const HANDLE server = CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1, 64, 64, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(platform::FileReader::open(pipe).has_value());
    CloseHandle(server);
}

TEST(Win32Files, SearchMatchesNamesNotShortNamesOrOtherCase) {
    test::TempDir dir;
    std::ofstream(dir.path() / "Raport miesięczny.configuration") << "x";
    std::ofstream(dir.path() / "a.config") << "x";
    // The system's own search would match "RAPORT~1.CON" and "A.CONFIG".
    EXPECT_EQ(platform::findFiles(dir.path().u16string(), u"*.con"), std::vector<std::u16string>{});
    EXPECT_EQ(platform::findFiles(dir.path().u16string(), u"A.*"), std::vector<std::u16string>{});
}

// Registered twice in CTest with TZ set to a zone east and one west of UTC
// (wine takes the zone from TZ when the program starts); skipped when run
// without an expectation.
TEST(SystemClock, StandardBiasOfTheProcessZone) {
    const char* expected = std::getenv("POSTRIX_EXPECTED_BIAS");
    if (expected == nullptr) GTEST_SKIP() << "POSTRIX_EXPECTED_BIAS is not set";
    EXPECT_EQ(platform::clock().standardBiasMinutes(), std::atoi(expected)) << std::getenv("TZ");
}

TEST(Win32Probe, EchoesTheConfiguredHost) {
    test::setEnvironment("POSTRIX_PROBE_HOST", "127.0.0.1");
    EXPECT_TRUE(platform::probeReachability());
    // An address no echo can go to fails at once.
    test::setEnvironment("POSTRIX_PROBE_HOST", "0.0.0.0");
    EXPECT_FALSE(platform::probeReachability());
    test::setEnvironment("POSTRIX_PROBE_HOST", "127.0.0.1");
}

TEST(Win32HostName, IsTheDnsHostName) {
    char name[256] = {};
    DWORD size = sizeof name;
    ASSERT_TRUE(GetComputerNameExA(ComputerNameDnsHostname, name, &size));
    EXPECT_EQ(platform::hostName(), std::string(name));
}

TEST(Win32Module, IsTheModuleTheCodeIsLinkedInto) {
    EXPECT_EQ(platform::ownModuleHandle(), reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)));
}

TEST(Win32Resources, LoadsTheBitmapsOfTheModule) {
    const uintptr_t module = platform::ownModuleHandle();
    const uintptr_t bitmap = platform::loadBitmap(module, platform::kAttachmentBitmapId);
    ASSERT_NE(bitmap, 0u);
    BITMAP info{};
    ASSERT_NE(GetObjectA(reinterpret_cast<HGDIOBJ>(bitmap), sizeof info, &info), 0);
    EXPECT_EQ(info.bmWidth, 14);
    EXPECT_EQ(info.bmHeight, 14);
    platform::deleteBitmap(bitmap);
    EXPECT_NE(platform::loadBitmap(module, 115), 0u);
    EXPECT_EQ(platform::loadBitmap(module, 999), 0u);
    EXPECT_EQ(platform::loadBitmap(0, platform::kAttachmentBitmapId), 0u);
}

// The built plug-in, next to the tests' folder as the build leaves it.
class BuiltDll : public ::testing::Test {
protected:
    void SetUp() override {
        char self[MAX_PATH] = {};
        ASSERT_NE(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
        const fs::path dll = fs::path(self).parent_path().parent_path() / "postrix.dll";
        module_ = LoadLibraryA(dll.string().c_str());
        ASSERT_NE(module_, nullptr) << dll;
    }
    void TearDown() override {
        if (module_ != nullptr) FreeLibrary(module_);
    }

    // The resource's bytes as UTF-16 units (dialog and menu texts are UTF-16).
    std::u16string_view resource(int id, LPCSTR type) const {
        const HRSRC found = FindResourceA(module_, MAKEINTRESOURCEA(id), type);
        if (found == nullptr) return {};
        const HGLOBAL loaded = LoadResource(module_, found);
        return {static_cast<const char16_t*>(LockResource(loaded)), SizeofResource(module_, found) / 2};
    }

    HMODULE module_ = nullptr;
};

TEST_F(BuiltDll, ExportsTheEntryPointsByTheirPlainNames) {
    for (const char* name : {"queryPlugInfo", "pluginLoad", "pluginUnload"}) {
        EXPECT_NE(reinterpret_cast<void*>(GetProcAddress(module_, name)), nullptr) << name;
    }
}

TEST_F(BuiltDll, CarriesTheResourcesWithTheirPolishTexts) {
    EXPECT_NE(resource(102, MAKEINTRESOURCEA(5)).find(u"Wyślij e-mail"), std::u16string_view::npos);
    EXPECT_NE(resource(101, MAKEINTRESOURCEA(5)).find(u"Hasło:"), std::u16string_view::npos);
    EXPECT_NE(resource(101, MAKEINTRESOURCEA(5)).find(u"sprawdzać nowej poczty"), std::u16string_view::npos);
    EXPECT_NE(resource(103, MAKEINTRESOURCEA(4)).find(u"Dodaj..."), std::u16string_view::npos);
    EXPECT_FALSE(resource(112, MAKEINTRESOURCEA(2)).empty());
    EXPECT_FALSE(resource(115, MAKEINTRESOURCEA(2)).empty());
}

}  // namespace
