// The whole message as it goes out: exact bytes and piece boundaries,
// attachments streamed from real files, body transparency, line limits and
// every way the composition can stop.
#include <gtest/gtest.h>

// libb64 declares its functions without C linkage.
extern "C" {
#include <b64/cdecode.h>
}

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "fixtures/base64_input.h"
#include "fixtures/received_size.h"
#include "smtp/base64.h"
#include "smtp/body_text.h"
#include "smtp/mime_composer.h"
#include "support/system.h"

namespace postrix::smtp {
namespace {

namespace fs = std::filesystem;
using test::randomBytes;
using Outcome = ComposeResult::Outcome;

// 7 Dec 2026 18:05:03 UTC.
constexpr int64_t kNow = 1796666703;
const std::string kDate = "Date: 7 Dec 2026 19:05:03 +0100\r\n";
const std::string kDelimiter = "----boundary_postrix\r\n";

class FixedClock : public platform::Clock {
public:
    uint32_t tickMs() override { return 0; }
    int64_t utcSeconds() override { return kNow; }
    std::optional<int> standardBiasMinutes() override { return bias; }
    std::optional<int> bias = -60;
};

class RecordingSink : public MessageSink {
public:
    bool send(std::string_view piece) override {
        ++attempts;
        if (attempts == failAt) return false;
        pieces.emplace_back(piece);
        return true;
    }
    std::string all() const {
        std::string out;
        for (const auto& piece : pieces) out += piece;
        return out;
    }
    std::vector<std::string> pieces;
    int attempts = 0;
    int failAt = 0;  // 1-based; 0 never fails
};

std::string decodeBase64(const std::string& text) {
    base64_decodestate state;
    base64_init_decodestate(&state);
    std::string out(text.size(), '\0');
    out.resize(static_cast<std::size_t>(
        base64_decode_block(text.data(), static_cast<int>(text.size()), out.data(), &state)));
    return out;
}

// Every line ends with CRLF, no bare CR or LF occurs, and no line is longer
// than 998 bytes; the returned text names the first offence.
std::string lineProblem(const std::string& message) {
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < message.size(); ++i) {
        if (message[i] == '\r') {
            if (i + 1 >= message.size() || message[i + 1] != '\n') return "bare CR at " + std::to_string(i);
            if (i - lineStart > 998) return "long line at " + std::to_string(lineStart);
            lineStart = i + 2;
            ++i;
        } else if (message[i] == '\n') {
            return "bare LF at " + std::to_string(i);
        }
    }
    if (lineStart != message.size()) return "unterminated last line";
    return {};
}

// The Base64 lines of a part, checked for the 76-character wrap.
void expectWrapped(const std::string& base64Text) {
    std::size_t pos = 0;
    while (pos < base64Text.size()) {
        const std::size_t end = base64Text.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos);
        const std::size_t length = end - pos;
        if (end + 2 < base64Text.size()) EXPECT_EQ(length, 76u);
        else EXPECT_LE(length, 76u);
        pos = end + 2;
    }
}

class MimeComposer : public testing::Test {
protected:
    void SetUp() override {
        platform::setClock(&clock_);
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::path(testing::TempDir()) /
               (std::string("mime_") + info->test_suite_name() + "_" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        mail_.recipientName = "Anna";
        mail_.recipients = {"anna@example.org"};
        mail_.subject = "Hello";
        mail_.body = "Line one\r\nLine two";
    }
    void TearDown() override {
        platform::setClock(nullptr);
        fs::remove_all(dir_);
    }

    // Writes the file under its UTF-8 name and gives its path as the file
    // picker would.
    std::string writeFile(const std::string& name, const std::string& bytes) {
        const fs::path path = dir_ / fs::path(std::u8string(name.begin(), name.end()));
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return test::systemNarrowPath(path);
    }

    ComposeResult compose() { return composeMessage("jan@example.com", mail_, sink_); }

    // The Base64 text of the only attachment: every piece between the first
    // (head with part head) and the last (closing delimiter).
    std::string onlyAttachmentText() const {
        std::string text;
        for (std::size_t i = 1; i + 1 < sink_.pieces.size(); ++i) text += sink_.pieces[i];
        return text;
    }

    std::string head(const std::string& to = "Anna <anna@example.org>",
                     const std::string& subject = "Hello") const {
        return "MIME-Version: 1.0\r\nFrom: <jan@example.com>\r\nTo: " + to + "\r\nSubject: " + subject +
               "\r\n" + kDate;
    }

    FixedClock clock_;
    RecordingSink sink_;
    OutgoingMail mail_;
    fs::path dir_;
};

TEST_F(MimeComposer, MessageWithoutAttachmentsIsOnePiece) {
    ASSERT_EQ(compose().outcome, Outcome::sent);
    ASSERT_EQ(sink_.pieces.size(), 1u);
    EXPECT_EQ(sink_.pieces[0], head() +
                                   "Content-Type: text/plain; charset=UTF-8\r\n"
                                   "\r\n"
                                   "Line one\r\nLine two\r\n"
                                   ".\r\n");
}

TEST_F(MimeComposer, MessageWithTwoAttachmentsPieceByPiece) {
    mail_.recipientName = "";
    mail_.subject = "Zażółć";
    mail_.body = "Cześć";
    mail_.attachments = {writeFile("a.txt", "abc"), writeFile("b.PNG", "hello")};

    ASSERT_EQ(compose().outcome, Outcome::sent);
    const std::vector<std::string> expected = {
        head(" <anna@example.org>", "=?UTF-8?B?WmHFvMOzxYLEhw==?=") +
            "Content-Type: multipart/mixed; boundary=\"--boundary_postrix\"\r\n"
            "\r\n" + kDelimiter +
            "Content-Type: text/plain; charset=UTF-8\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "\r\n" + base64Encode("Cześć") + "\r\n" + kDelimiter +
            "Content-Type: text/plain; name=\"a.txt\"\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment\r\n"
            "\r\n",
        "YWJj",
        "\r\n",
        kDelimiter +
            "Content-Type: image/png; name=\"b.PNG\"\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment\r\n"
            "\r\n",
        "aGVsbG",  // every character whose bits are known
        "8=\r\n",
        "----boundary_postrix--\r\n.\r\n",
    };
    EXPECT_EQ(sink_.pieces, expected);
}

TEST_F(MimeComposer, SeveralRecipientsAreSeparateMailboxes) {
    mail_.recipientName = "Anna, Ewa";
    mail_.recipients = {"anna@example.org", "ewa@example.org"};
    ASSERT_EQ(compose().outcome, Outcome::sent);
    const std::string message = sink_.all();
    EXPECT_NE(message.find("\r\nTo: =?UTF-8?B?" + base64Encode("Anna, Ewa") +
                           "?= <anna@example.org>,\r\n <ewa@example.org>\r\nSubject: "),
              std::string::npos)
        << message;
}

TEST_F(MimeComposer, BodyIsSentTransparently) {
    mail_.body = ".\r\n.hidden\nbare LF\rbare CR\r\n..two\n.";
    ASSERT_EQ(compose().outcome, Outcome::sent);
    const std::string message = sink_.all();
    EXPECT_TRUE(message.ends_with("\r\n\r\n..\r\n..hidden\r\nbare LF\r\nbare CR\r\n...two\r\n..\r\n.\r\n"))
        << message;
    // The lone "." line appears exactly once: at the very end.
    EXPECT_EQ(message.find("\r\n.\r\n"), message.size() - 5);
    EXPECT_EQ(lineProblem(message), "");
}

// The text part between its delimiter lines, decoded when it is Base64.
std::string textPartOf(const std::string& message) {
    const std::string start = "Content-Type: text/plain; charset=UTF-8\r\n";
    std::size_t from = message.find(start) + start.size();
    const bool base64 = message.compare(from, 35, "Content-Transfer-Encoding: base64\r\n") == 0;
    from = message.find("\r\n\r\n", from) + 4;
    const std::string text = message.substr(from, message.find("\r\n" + kDelimiter, from) - from);
    return base64 ? decodeBase64(text) : text;
}

TEST_F(MimeComposer, BodyLinesCannotForgeTheMultipartStructure) {
    struct Case {
        std::string body;
        bool base64;
    };
    const Case cases[] = {
        {"----boundary_postrix", true},
        {"----boundary_postrix--", true},
        {"intro\n----boundary_postrix--\nContent-Type: text/html\n\n<b>fake</b>", true},
        {"intro\r----boundary_postrix  ", true},
        {"intro\r\n----boundary_postrixAndMore\r\nend", true},
        {"x----boundary_postrix", false},
        {"---boundary_postrix", false},
        {".----boundary_postrix", false},  // dot-stuffed, so no longer a delimiter
        {"--boundary_postrix", false},
    };
    for (const Case& c : cases) {
        sink_ = RecordingSink{};
        mail_.body = c.body;
        mail_.attachments = {writeFile("real.bin", "REAL")};
        ASSERT_EQ(compose().outcome, Outcome::sent) << c.body;
        const std::string message = sink_.all();
        // The opening delimiter, the one before the attachment and the closing one.
        std::size_t delimiters = 0;
        for (std::size_t at = message.find("\r\n----boundary_postrix"); at != std::string::npos;
             at = message.find("\r\n----boundary_postrix", at + 1))
            ++delimiters;
        EXPECT_EQ(delimiters, 3u) << c.body;
        const bool encoded = message.find("charset=UTF-8\r\nContent-Transfer-Encoding: base64") != std::string::npos;
        EXPECT_EQ(encoded, c.base64) << c.body;
        if (c.base64) {
            EXPECT_EQ(textPartOf(message), withCrlfLineBreaks(c.body)) << c.body;
        }
    }
    // Without attachments there is no multipart for a line to close.
    sink_ = RecordingSink{};
    mail_.attachments.clear();
    mail_.body = "----boundary_postrix--";
    ASSERT_EQ(compose().outcome, Outcome::sent);
    EXPECT_TRUE(sink_.all().ends_with("\r\n\r\n----boundary_postrix--\r\n.\r\n"));
}

TEST_F(MimeComposer, PercentSignsReachTheSinkUnchanged) {
    mail_.subject = "100% %s %n";
    mail_.body = "%d%%";
    mail_.attachments = {writeFile("x%s.txt", "1")};
    ASSERT_EQ(compose().outcome, Outcome::sent);
    const std::string message = sink_.all();
    EXPECT_NE(message.find("Subject: 100% %s %n\r\n"), std::string::npos);
    EXPECT_NE(message.find("\r\n\r\n%d%%\r\n"), std::string::npos);
    EXPECT_NE(message.find("name=\"x%s.txt\""), std::string::npos);
}

TEST_F(MimeComposer, LongBodyLinesSwitchToBase64) {
    mail_.body = std::string(998, 'a') + "\n" + std::string(10, 'b');
    ASSERT_EQ(compose().outcome, Outcome::sent);
    EXPECT_EQ(sink_.all().find("Content-Transfer-Encoding"), std::string::npos);

    for (const std::string& body : {std::string(999, 'a'), std::string("x\0y", 3)}) {
        sink_ = RecordingSink{};
        mail_.body = body;
        ASSERT_EQ(compose().outcome, Outcome::sent);
        const std::string message = sink_.all();
        const std::string marker = "Content-Transfer-Encoding: base64\r\n\r\n";
        const std::size_t start = message.find(marker);
        ASSERT_NE(start, std::string::npos);
        const std::string encoded = message.substr(start + marker.size(), message.size() - 3 - start - marker.size());
        expectWrapped(encoded);
        EXPECT_EQ(decodeBase64(encoded), body);
        EXPECT_EQ(lineProblem(message), "");
    }
}

TEST_F(MimeComposer, NonAsciiBodyIsEncodedWithCrlfLineBreaks) {
    mail_.body = "Zażółć\ngęślą\rjaźń";
    ASSERT_EQ(compose().outcome, Outcome::sent);
    const std::string message = sink_.all();
    EXPECT_TRUE(message.ends_with("\r\n\r\n" + base64Encode("Zażółć\r\ngęślą\r\njaźń") + "\r\n.\r\n"));
}

TEST_F(MimeComposer, HeaderTextsCannotInjectLines) {
    mail_.subject = "Hi\r\nBcc: spy@example.net";
    mail_.recipientName = "Eve\nX-Evil: 1";
    ASSERT_EQ(compose().outcome, Outcome::sent);
    const std::string message = sink_.all();
    EXPECT_NE(message.find("\r\nSubject: Hi Bcc: spy@example.net\r\n"), std::string::npos);
    // The colon makes the name an encoded word; the line break is a space in it.
    EXPECT_NE(message.find("\r\nTo: =?UTF-8?B?" + base64Encode("Eve X-Evil: 1") + "?= <anna@example.org>\r\n"),
              std::string::npos);
    EXPECT_EQ(message.find("\r\nBcc:"), std::string::npos);
    EXPECT_EQ(message.find("\r\nX-Evil:"), std::string::npos);
}

TEST_F(MimeComposer, NoLineExceedsTheLimit) {
    std::string longPolish;
    for (int i = 0; i < 1500; ++i) longPolish += "ł";
    mail_.subject = longPolish;
    mail_.recipientName = longPolish;
    for (int i = 0; i < 200; ++i) mail_.recipients.push_back("someone" + std::to_string(i) + "@example.org");
    mail_.body = std::string(5000, 'z');
    std::string longName;
    for (int i = 0; i < 80; ++i) longName += "ż";
    mail_.attachments = {writeFile(longName + ".txt", randomBytes(50000, 1))};
    ASSERT_EQ(compose().outcome, Outcome::sent);
    EXPECT_EQ(lineProblem(sink_.all()), "");
}

TEST_F(MimeComposer, AwkwardFileNamesAreEncodedAndTheBytesKept) {
    const std::string bytes = randomBytes(1000, 7);
    mail_.attachments = {writeFile("żółw \"1\".pdf", bytes)};
    ASSERT_EQ(compose().outcome, Outcome::sent);
    EXPECT_TRUE(sink_.pieces[0].ends_with(
        kDelimiter +
        "Content-Type: application/pdf; name*=UTF-8''%C5%BC%C3%B3%C5%82w%20%221%22.pdf\r\n"
        "Content-Transfer-Encoding: base64\r\n"
        "Content-Disposition: attachment; filename*=UTF-8''%C5%BC%C3%B3%C5%82w%20%221%22.pdf\r\n"
        "\r\n"))
        << sink_.pieces[0];
    EXPECT_EQ(decodeBase64(onlyAttachmentText()), bytes);
}

// The path is in the system's code page (ANSI on Windows); the name in the
// header is UTF-8 whatever that page is.
TEST_F(MimeComposer, FileNamesAreNamedInUtf8WhateverTheSystemCodePage) {
    mail_.attachments = {writeFile("résumé.pdf", "x")};
    ASSERT_EQ(compose().outcome, Outcome::sent);
    EXPECT_NE(sink_.pieces[0].find("Content-Type: application/pdf; name*=UTF-8''r%C3%A9sum%C3%A9.pdf\r\n"),
              std::string::npos)
        << sink_.pieces[0];
}

TEST_F(MimeComposer, EmptyFileGivesAnEmptyLine) {
    mail_.attachments = {writeFile("empty.bin", "")};
    ASSERT_EQ(compose().outcome, Outcome::sent);
    ASSERT_EQ(sink_.pieces.size(), 3u);
    EXPECT_TRUE(sink_.pieces[0].ends_with("Content-Disposition: attachment\r\n\r\n"));
    EXPECT_EQ(sink_.pieces[1], "\r\n");
    EXPECT_EQ(sink_.pieces[2], "----boundary_postrix--\r\n.\r\n");
}

TEST_F(MimeComposer, FullBlockIsOnePieceAndThePaddingAnother) {
    const std::string bytes = randomBytes(16384, 3);
    mail_.attachments = {writeFile("block.bin", bytes)};
    ASSERT_EQ(compose().outcome, Outcome::sent);
    ASSERT_EQ(sink_.pieces.size(), 4u);
    // 21845 characters in 287 full lines and one of 33, the break after the
    // last full line coming before the next character.
    EXPECT_EQ(sink_.pieces[1].size(), 21845u + 287 * 2);
    EXPECT_FALSE(sink_.pieces[1].ends_with("\r\n"));
    EXPECT_EQ(sink_.pieces[2].size(), 5u);
    EXPECT_TRUE(sink_.pieces[2].ends_with("==\r\n"));
    const std::string text = onlyAttachmentText();
    expectWrapped(text);
    EXPECT_EQ(decodeBase64(text), bytes);
}

TEST_F(MimeComposer, SizesAroundGroupAndBlockBoundaries) {
    const std::size_t sizes[] = {1, 2, 3, 4, 5, 6, 57, 58, 16383, 16385, 16386, 16387, 32768, 3 * 16384 + 1};
    for (std::size_t size : sizes) {
        sink_ = RecordingSink{};
        const std::string bytes = randomBytes(size, static_cast<uint32_t>(size));
        mail_.attachments = {writeFile("f" + std::to_string(size), bytes)};
        ASSERT_EQ(compose().outcome, Outcome::sent) << size;
        const std::string text = onlyAttachmentText();
        expectWrapped(text);
        EXPECT_EQ(decodeBase64(text), bytes) << size;
        EXPECT_EQ(std::count_if(text.begin(), text.end(), [](char c) { return c != '\r' && c != '\n'; }),
                  static_cast<std::ptrdiff_t>((size + 2) / 3 * 4))
            << size;
        EXPECT_EQ(lineProblem(sink_.all()), "") << size;
    }
}

TEST_F(MimeComposer, ShortFinalBlockIsItsOwnPiece) {
    // 16385 bytes: the second block's single byte completes one character.
    mail_.attachments = {writeFile("odd.bin", randomBytes(16385, 5))};
    ASSERT_EQ(compose().outcome, Outcome::sent);
    ASSERT_EQ(sink_.pieces.size(), 5u);
    EXPECT_EQ(sink_.pieces[2].size(), 1u);
    EXPECT_EQ(sink_.pieces[3].size(), 4u);
    EXPECT_TRUE(sink_.pieces[3].ends_with("=\r\n"));
}

TEST_F(MimeComposer, MultiBlockFileIsReassembledExactly) {
    const std::string bytes = randomBytes(5 * 16384 + 1234, 11);
    mail_.attachments = {writeFile("big.zip", bytes)};
    ASSERT_EQ(compose().outcome, Outcome::sent);
    EXPECT_EQ(sink_.pieces.size(), 1u + 6 + 1 + 1);  // head, blocks, padding, end
    for (std::size_t i = 1; i + 2 < sink_.pieces.size(); ++i) {
        EXPECT_LE(sink_.pieces[i].size(), Base64Encoder::maxEncodedSize(16384 + 2));
    }
    const std::string text = onlyAttachmentText();
    expectWrapped(text);
    EXPECT_EQ(decodeBase64(text), bytes);
    EXPECT_NE(sink_.pieces[0].find("Content-Type: application/zip; name=\"big.zip\""), std::string::npos);
}

TEST_F(MimeComposer, StopsAtTheFirstRefusedPiece) {
    mail_.attachments = {writeFile("a.txt", "abc"), writeFile("b.txt", "hello")};
    const int total = 7;
    for (int n = 1; n <= total; ++n) {
        sink_ = RecordingSink{};
        sink_.failAt = n;
        EXPECT_EQ(compose().outcome, Outcome::sendFailed) << n;
        EXPECT_EQ(sink_.attempts, n) << n;
    }
    sink_ = RecordingSink{};
    EXPECT_EQ(compose().outcome, Outcome::sent);
    EXPECT_EQ(sink_.attempts, total);
}

TEST_F(MimeComposer, MissingFirstAttachmentSendsNothing) {
    mail_.attachments = {(dir_ / "gone.pdf").string()};
    const ComposeResult result = compose();
    EXPECT_EQ(result.outcome, Outcome::error);
    EXPECT_EQ(result.errorText, "SMTP - Could not read file gone.pdf");
    EXPECT_TRUE(sink_.pieces.empty());
}

TEST_F(MimeComposer, MissingLaterAttachmentStopsBeforeTheEnd) {
    // Missing when the frame is taken: nothing goes out.
    mail_.attachments = {writeFile("a.txt", "abc"), (dir_ / "gone%s.txt").string()};
    ComposeResult result = compose();
    EXPECT_EQ(result.outcome, Outcome::error);
    EXPECT_EQ(result.errorText, "SMTP - Could not read file gone%s.txt");
    EXPECT_TRUE(sink_.pieces.empty());

    // Gone after the frame was taken: the message stops at the file.
    mail_.attachments.back() = writeFile("later%s.txt", "x");
    MessageFrame frame;
    ASSERT_EQ(takeMessageFrame(mail_, frame), std::nullopt);
    fs::remove(fs::path(mail_.attachments.back()));
    result = composeMessage("jan@example.com", mail_, frame, sink_);
    EXPECT_EQ(result.outcome, Outcome::error);
    EXPECT_EQ(result.errorText, "SMTP - Could not read file later%s.txt");
    ASSERT_EQ(sink_.pieces.size(), 3u);
    EXPECT_EQ(sink_.pieces.back(), "\r\n");
}

TEST_F(MimeComposer, AFileResizedSinceTheFrameWasTakenIsNotSent) {
    mail_.attachments = {writeFile("a.txt", "abc"), writeFile("b.txt", "hello")};
    MessageFrame frame;
    ASSERT_EQ(takeMessageFrame(mail_, frame), std::nullopt);
    EXPECT_EQ(frame.attachmentSizes, (std::vector<std::uint64_t>{3, 5}));
    for (const std::string bytes : {"hell", "hello!"}) {
        sink_ = RecordingSink{};
        writeFile("b.txt", bytes);
        EXPECT_EQ(composeMessage("jan@example.com", mail_, frame, sink_).errorText,
                  "SMTP - Could not read file b.txt");
        // The first attachment whole, nothing of the second's part head.
        EXPECT_EQ(sink_.pieces.size(), 3u) << bytes;
    }
}

TEST_F(MimeComposer, MessageSizeIsWhatTheServerCounts) {
    std::string polish;
    for (int i = 0; i < 300; ++i) polish += "żółć ";
    std::vector<std::string> many;
    for (int i = 0; i < 150; ++i) many.push_back("someone" + std::to_string(i) + "@example.org");
    const std::vector<std::string> one = {"anna@example.org"};
    std::vector<OutgoingMail> mails = {
        {"Anna", one, "Hello", "Line one\r\nLine two", {}},
        {"", one, "", "", {}},
        {"Anna", one, "Dots", ".\r\n.hidden\n..two\n.", {}},
        {polish, many, polish, "Zażółć gęślą jaźń\n.kropka", {}},
        {"Anna", one, "x", std::string(999, 'a') + "\n.", {}},
        {"Anna", one, "B", "----boundary_postrix--\n.x", {writeFile("x.txt", "x")}},
        {"Anna", one, "Files", ".a\n",
         {writeFile("empty.bin", ""), writeFile("résumé.pdf", randomBytes(1000, 1)),
          writeFile("block.bin", randomBytes(3 * kAttachmentBlockSize + 1, 2))}},
    };
    // Every length up to three and a half Base64 lines: each way the last
    // group and the last line can end.
    for (std::size_t size = 0; size <= 200; ++size) {
        mails.push_back({"Anna", one, "S", "Body", {writeFile(std::to_string(size), randomBytes(size, 9))}});
    }
    for (const OutgoingMail& mail : mails) {
        MessageFrame frame;
        ASSERT_EQ(takeMessageFrame(mail, frame), std::nullopt);
        sink_ = RecordingSink{};
        ASSERT_EQ(composeMessage("jan@example.com", mail, frame, sink_).outcome, Outcome::sent);
        EXPECT_EQ(messageSize("jan@example.com", mail, frame), test::receivedSize(sink_.all()))
            << mail.body << " " << mail.attachments.size();
    }
}

TEST_F(MimeComposer, UnreadableAttachmentIsAnErrorNotATruncatedPart) {
    // A directory opens for reading but every read fails.
    fs::create_directories(dir_ / "folder.txt");
    mail_.attachments = {(dir_ / "folder.txt").string()};
    const ComposeResult result = compose();
    EXPECT_EQ(result.outcome, Outcome::error);
    EXPECT_EQ(result.errorText, "SMTP - Could not read file folder.txt");
    EXPECT_EQ(sink_.all().find(".\r\n", sink_.all().size() - 3), std::string::npos);
}

TEST_F(MimeComposer, OnlyRegularFilesAreAttached) {
    // A FIFO would block the opening until a writer came; a device such as
    // /dev/zero never ends.
    std::vector<fs::path> paths;
    for (const std::string& path : test::nonRegularFiles(dir_)) paths.emplace_back(path);
    fs::create_directories(dir_ / "folder.txt");
    paths.push_back(dir_ / "folder.txt");
    for (const fs::path& path : paths) {
        sink_ = RecordingSink{};
        sink_.failAt = 50;  // a stream that never ends stops here
        mail_.attachments = {path.string()};
        const ComposeResult result = compose();
        EXPECT_EQ(result.outcome, Outcome::error) << path;
        EXPECT_EQ(result.errorText, "SMTP - Could not read file " + path.filename().string());
        EXPECT_TRUE(sink_.pieces.empty()) << path;
        EXPECT_EQ(attachmentsProblem(mail_), result.errorText);
    }
    mail_.attachments = {writeFile("fine.txt", "ok"), (dir_ / "gone.txt").string()};
    EXPECT_EQ(attachmentsProblem(mail_), "SMTP - Could not read file gone.txt");
    mail_.attachments.pop_back();
    EXPECT_EQ(attachmentsProblem(mail_), std::nullopt);
}

// Changes the file once the first piece went out: the file is open by then.
class ResizingSink : public RecordingSink {
public:
    bool send(std::string_view piece) override {
        if (attempts == 0) fs::resize_file(path, newSize);
        return RecordingSink::send(piece);
    }
    fs::path path;
    std::uintmax_t newSize = 0;
};

TEST_F(MimeComposer, AFileWhoseSizeChangesWhileSentFailsTheSend) {
    const std::size_t size = 3 * kAttachmentBlockSize + 10;
    for (std::uintmax_t newSize : {std::uintmax_t{0}, std::uintmax_t{100}, std::uintmax_t{size + 1},
                                   std::uintmax_t{size + 5 * kAttachmentBlockSize}}) {
        ResizingSink sink;
        sink.path = writeFile("report.bin", randomBytes(size, 3));
        sink.newSize = newSize;
        mail_.attachments = {sink.path.string()};
        const ComposeResult result = composeMessage("jan@example.com", mail_, sink);
        EXPECT_EQ(result.outcome, Outcome::error) << newSize;
        EXPECT_EQ(result.errorText, "SMTP - Could not read file report.bin") << newSize;
        EXPECT_FALSE(sink.all().ends_with(".\r\n")) << newSize;
    }
}

TEST_F(MimeComposer, UnknownTimeZoneSendsNothing) {
    clock_.bias.reset();
    const ComposeResult result = compose();
    EXPECT_EQ(result.outcome, Outcome::error);
    EXPECT_EQ(result.errorText, "SMTP - Could not determine local timezone");
    EXPECT_TRUE(sink_.pieces.empty());
}

TEST_F(MimeComposer, DateFollowsTheClock) {
    clock_.bias = 300;
    ASSERT_EQ(compose().outcome, Outcome::sent);
    EXPECT_NE(sink_.all().find("\r\nDate: 7 Dec 2026 13:05:03 -0500\r\n"), std::string::npos);
}

TEST_F(MimeComposer, InvalidAddressesSendNothing) {
    EXPECT_EQ(composeMessage("a@x>\r\nX: y", mail_, sink_).errorText,
              "SMTP - Invalid address: a@x>\\r\\nX: y");
    mail_.recipients = {"ok@x", "bad@x\n"};
    EXPECT_EQ(compose().errorText, "SMTP - Invalid address: bad@x\\n");
    mail_.recipients.clear();
    EXPECT_EQ(compose().errorText, "SMTP - Invalid address: ");
    EXPECT_TRUE(sink_.pieces.empty());
}

}  // namespace
}  // namespace postrix::smtp
