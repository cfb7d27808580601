// Header texts: encoded words and their folding, display names, the To
// field, address checks, attachment types and names, and the Date text.
#include <gtest/gtest.h>

// libb64 declares its functions without C linkage.
extern "C" {
#include <b64/cdecode.h>
}

#include <string>
#include <vector>

#include "smtp/address_check.h"
#include "smtp/attachment_names.h"
#include "smtp/header_text.h"
#include "smtp/mail_date.h"

namespace postrix::smtp {
namespace {

std::string decodeBase64(const std::string& text) {
    base64_decodestate state;
    base64_init_decodestate(&state);
    std::string out(text.size(), '\0');
    out.resize(static_cast<std::size_t>(
        base64_decode_block(text.data(), static_cast<int>(text.size()), out.data(), &state)));
    return out;
}

// Splits folded encoded words; each word is checked for form and length and
// the decoded texts are returned one per word.
std::vector<std::string> decodeWords(const std::string& folded) {
    std::vector<std::string> words;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t end = folded.find("\r\n ", pos);
        const std::string word = folded.substr(pos, end == std::string::npos ? end : end - pos);
        EXPECT_LE(word.size(), 75u) << word;
        EXPECT_EQ(word.rfind("=?UTF-8?B?", 0), 0u) << word;
        EXPECT_EQ(word.substr(word.size() - 2), "?=") << word;
        words.push_back(decodeBase64(word.substr(10, word.size() - 12)));
        if (end == std::string::npos) break;
        pos = end + 3;
    }
    return words;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string out;
    for (const auto& part : parts) out += part;
    return out;
}

bool isUtf8Whole(const std::string& text) {
    // A whole text neither begins with a continuation byte nor ends inside a
    // multi-byte character.
    if (text.empty()) return true;
    if ((static_cast<unsigned char>(text.front()) & 0xC0) == 0x80) return false;
    std::size_t lead = text.size() - 1;
    while (lead > 0 && (static_cast<unsigned char>(text[lead]) & 0xC0) == 0x80) --lead;
    const auto c = static_cast<unsigned char>(text[lead]);
    const std::size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    return text.size() - lead == length;
}

TEST(EncodeHeaderText, AsciiStaysAndNonAsciiIsOneWord) {
    EXPECT_EQ(encodeHeaderText("Hello 100% {world}"), "Hello 100% {world}");
    EXPECT_EQ(encodeHeaderText(""), "");
    EXPECT_EQ(encodeHeaderText("Zażółć"), "=?UTF-8?B?WmHFvMOzxYLEhw==?=");
}

TEST(EncodeHeaderText, LongTextIsFoldedIntoWholeCharacterWords) {
    // 60 two-byte letters: 120 bytes, so at least three words.
    std::string text;
    for (int i = 0; i < 60; ++i) text += "ż";
    const std::string folded = encodeHeaderText(text);
    const auto words = decodeWords(folded);
    EXPECT_GE(words.size(), 3u);
    for (const auto& word : words) EXPECT_TRUE(isUtf8Whole(word)) << word.size();
    EXPECT_EQ(joined(words), text);

    // Mixed one- to four-byte characters, every alignment against the cut.
    for (int shift = 0; shift < 4; ++shift) {
        std::string mixed(static_cast<std::size_t>(shift), 'a');
        for (int i = 0; i < 30; ++i) mixed += "ł€😀x";
        const auto parts = decodeWords(encodeHeaderText(mixed));
        for (const auto& part : parts) EXPECT_TRUE(isUtf8Whole(part)) << shift;
        EXPECT_EQ(joined(parts), mixed) << shift;
    }
}

TEST(EncodeHeaderText, InvalidUtf8IsStillCarriedWhole) {
    const std::string junk(100, '\x80');
    EXPECT_EQ(joined(decodeWords(encodeHeaderText(junk))), junk);
}

TEST(EncodeHeaderText, VeryLongAsciiBecomesFoldableWords) {
    const std::string plain(900, 'a');
    EXPECT_EQ(encodeHeaderText(plain), plain);
    const std::string longer(2000, 'a');
    const std::string folded = encodeHeaderText(longer);
    EXPECT_EQ(joined(decodeWords(folded)), longer);
}

TEST(EncodeHeaderText, LineBreaksAndNulBecomeSpaces) {
    EXPECT_EQ(encodeHeaderText("Hi\r\nBcc: evil@x"), "Hi Bcc: evil@x");
    EXPECT_EQ(encodeHeaderText(std::string("a\rb\nc\0d", 7)), "a b c d");
    const std::string encoded = encodeHeaderText("ż\r\nBcc: x");
    EXPECT_EQ(encoded.find_first_of(std::string("\r\n\0", 3)), std::string::npos);
    EXPECT_EQ(joined(decodeWords(encoded)), "ż Bcc: x");
}

TEST(EncodeDisplayName, SpecialsAreEncodedSoTheNameStaysOne) {
    EXPECT_EQ(encodeDisplayName("Jan Kowalski"), "Jan Kowalski");
    EXPECT_EQ(encodeDisplayName("J. R. Smith"), "J. R. Smith");
    EXPECT_EQ(encodeDisplayName(""), "");
    for (const std::string name : {"Kowalski, Jan", "a<b>", "x@y", "\"q\"", "a;b", "a\\b"}) {
        const std::string encoded = encodeDisplayName(name);
        EXPECT_EQ(joined(decodeWords(encoded)), name) << name;
    }
    EXPECT_EQ(encodeDisplayName("a\nb"), "a b");
}

TEST(ToField, OneAddressKeepsTheSimpleForm) {
    EXPECT_EQ(toFieldValue("Jan", {"jan@x.pl"}), "Jan <jan@x.pl>");
    EXPECT_EQ(toFieldValue("", {"jan@x.pl"}), " <jan@x.pl>");
    EXPECT_EQ(toFieldValue("Łucja", {"l@x.pl"}), "=?UTF-8?B?xYF1Y2ph?= <l@x.pl>");
}

TEST(ToField, SeveralAddressesAreSeparateMailboxesOnFoldedLines) {
    EXPECT_EQ(toFieldValue("Jan, Ewa", {"jan@x.pl", "ewa@y.pl", "z@z.pl"}),
              encodeDisplayName("Jan, Ewa") + " <jan@x.pl>,\r\n <ewa@y.pl>,\r\n <z@z.pl>");
    EXPECT_EQ(toFieldValue("", {"a@x", "b@y"}), " <a@x>,\r\n <b@y>");
}

TEST(JoinRecipients, JoinsWithCommaAndBlank) {
    EXPECT_EQ(joinRecipients({}), "");
    EXPECT_EQ(joinRecipients({"a@x"}), "a@x");
    EXPECT_EQ(joinRecipients({"a@x", "b@y", "c@z"}), "a@x, b@y, c@z");
}

TEST(AddressProblem, RejectsWhatWouldBreakACommandOrHeader) {
    EXPECT_EQ(addressProblem("jan@example.com"), std::nullopt);
    EXPECT_EQ(addressProblem("odd but fine%@x"), std::nullopt);
    const std::pair<std::string, std::string> bad[] = {
        {"", "SMTP - Invalid address: "},
        {"a@x\r\nRCPT TO:<b@y>", "SMTP - Invalid address: a@x\\r\\nRCPT TO:<b@y>"},
        {"a@x\n", "SMTP - Invalid address: a@x\\n"},
        {std::string("a\0b@x", 5), "SMTP - Invalid address: a\\0b@x"},
        {"<a@x>", "SMTP - Invalid address: <a@x>"},
        {"a>@x\t", "SMTP - Invalid address: a>@x\\x09"},
    };
    for (const auto& [address, message] : bad) EXPECT_EQ(addressProblem(address), message);
}

struct TypeRow {
    const char* path;
    const char* type;
};

TEST(MimeTypeFor, EveryTableRowAndTheFallbacks) {
    const TypeRow rows[] = {
        {"a.avi", "video/msvideo"}, {"a.bmp", "image/bmp"}, {"a.bz2", "application/x-bzip2"},
        {"a.css", "text/css"}, {"a.dtd", "application/xml-dtd"}, {"a.doc", "application/msword"},
        {"a.docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
        {"a.exe", "application/octet-stream"}, {"a.gif", "image/gif"},
        {"a.gz", "application/x-gzip"}, {"a.htm", "text/html"}, {"a.html", "text/html"},
        {"a.jar", "application/java-archive"}, {"a.jpg", "image/jpeg"}, {"a.jpeg", "image/jpeg"},
        {"a.js", "application/x-javascript"}, {"a.mp3", "audio/mpeg"}, {"a.mpg", "video/mpeg"},
        {"a.mpeg", "video/mpeg"}, {"a.ogg", "audio/vorbis"}, {"a.pdf", "application/pdf"},
        {"a.pl", "application/x-perl"}, {"a.png", "image/png"},
        {"a.ppt", "application/vnd.ms-powerpoint"}, {"a.ps", "application/postscript"},
        {"a.rar", "application/rar"}, {"a.qt", "video/quicktime"}, {"a.rtf", "application/rtf"},
        {"a.svg", "image/svg+xml"}, {"a.swf", "application/x-shockwave-flash"},
        {"a.tgz", "application/x-tar"}, {"a.tif", "image/tiff"}, {"a.tiff", "image/tiff"},
        {"a.txt", "text/plain"}, {"a.wav", "audio/wav"}, {"a.xls", "application/vnd.ms-excel"},
        {"a.xml", "application/xml"}, {"a.zip", "application/zip"},
        // Case, compound extensions and paths without a usable extension.
        {"C:\\docs\\report.PDF", "application/pdf"}, {"archive.tar.gz", "application/x-gzip"},
        {"Photo.JpEg", "image/jpeg"}, {"README", "application/octet-stream"},
        {"/home/u/my.folder/README", "application/octet-stream"},
        {"name.", "application/octet-stream"}, {"a.pdfx", "application/octet-stream"},
        {"a.p", "application/octet-stream"}, {"", "application/octet-stream"},
    };
    for (const auto& row : rows) EXPECT_EQ(mimeTypeFor(row.path), row.type) << row.path;
}

TEST(FileNameOf, BackslashFirstThenSlash) {
    const std::pair<const char*, const char*> rows[] = {
        {"C:\\docs\\report.PDF", "report.PDF"}, {"/home/u/a.txt", "a.txt"},
        {"plain.txt", "plain.txt"}, {"C:\\dir/sub\\x.txt", "x.txt"},
        {"/a\\b/c.txt", "b/c.txt"},  // a backslash wins over a later slash
        {"dir/", ""}, {"", ""},
    };
    for (const auto& [path, name] : rows) EXPECT_EQ(fileNameOf(path), name) << path;
}

TEST(FileNameParameter, PlainNamesQuotedOthersPercentEncoded) {
    EXPECT_EQ(fileNameParameter("name", "report 100%.pdf"), "; name=\"report 100%.pdf\"");
    EXPECT_EQ(fileNameParameter("name", "żółw.txt"), "; name*=UTF-8''%C5%BC%C3%B3%C5%82w.txt");
    EXPECT_EQ(fileNameParameter("filename", "a\"b.txt"), "; filename*=UTF-8''a%22b.txt");
    EXPECT_EQ(fileNameParameter("name", "a\\b"), "; name*=UTF-8''a%5Cb");
    EXPECT_EQ(fileNameParameter("name", "a\r\nb"), "; name*=UTF-8''a%0D%0Ab");
    EXPECT_EQ(fileNameParameter("name", "x y;z"), "; name=\"x y;z\"");
}

TEST(FileNameParameter, LongNamesAreSplitIntoNumberedSections) {
    std::string name;
    for (int i = 0; i < 40; ++i) name += "ż";
    const std::string param = fileNameParameter("filename", name);
    // Collect the sections back and undo the percent-encoding.
    std::string encoded;
    std::size_t pos = 0;
    int section = 0;
    while ((pos = param.find(";\r\n filename*", pos)) != std::string::npos) {
        const std::string head = ";\r\n filename*" + std::to_string(section++) + "*=";
        ASSERT_EQ(param.compare(pos, head.size(), head), 0) << param;
        pos += head.size();
        const std::size_t end = param.find(';', pos);
        const std::string value = param.substr(pos, end == std::string::npos ? end : end - pos);
        EXPECT_LE(value.size(), 60u);
        encoded += value;
        if (end == std::string::npos) break;
        pos = end;
    }
    EXPECT_GT(section, 1);
    ASSERT_EQ(encoded.rfind("UTF-8''", 0), 0u);
    std::string decoded;
    for (std::size_t i = 7; i < encoded.size(); ++i) {
        ASSERT_EQ(encoded[i], '%');
        decoded += static_cast<char>(std::stoi(encoded.substr(i + 1, 2), nullptr, 16));
        i += 2;
    }
    EXPECT_EQ(decoded, name);
}

struct DateRow {
    int64_t utc;
    int bias;
    const char* text;
};

TEST(FormatMailDate, LocalStandardTimeAndZone) {
    const DateRow rows[] = {
        {1796666703, -60, "7 Dec 2026 19:05:03 +0100"},
        {1796666703, -330, "7 Dec 2026 23:35:03 +0530"},
        {1796666703, 300, "7 Dec 2026 13:05:03 -0500"},
        {1796666703, -345, "7 Dec 2026 23:50:03 +0545"},
        {1796666703, 210, "7 Dec 2026 14:35:03 -0330"},
        {1796666703, 30, "7 Dec 2026 17:35:03 -0030"},  // under an hour west
        {1709251199, 0, "29 Feb 2024 23:59:59 +0000"},
        {1709251199, -60, "1 Mar 2024 00:59:59 +0100"},
        {946677600, -120, "1 Jan 2000 00:00:00 +0200"},
        {1798762200, 60, "31 Dec 2026 23:10:00 -0100"},
        {0, 0, "1 Jan 1970 00:00:00 +0000"},
        {0, 60, "31 Dec 1969 23:00:00 -0100"},
    };
    for (const auto& row : rows) EXPECT_EQ(formatMailDate(row.utc, row.bias), row.text) << row.utc;
}

}  // namespace
}  // namespace postrix::smtp
