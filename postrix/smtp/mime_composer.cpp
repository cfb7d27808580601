#include "smtp/mime_composer.h"

#include <cstdint>
#include <optional>

#include "platform/file_reader.h"
#include "platform/files.h"
#include "smtp/address_check.h"
#include "smtp/attachment_names.h"
#include "smtp/base64.h"
#include "smtp/body_text.h"
#include "smtp/header_text.h"
#include "smtp/mail_date.h"

namespace postrix::smtp {

namespace {

// The paths are in the system's code page; the texts a person reads and the
// mail's headers are UTF-8.
std::string couldNotRead(std::string_view path) {
    return "SMTP - Could not read file " + std::string(fileNameOf(platform::pathToUtf8(path)));
}

std::optional<std::string> addressesProblem(std::string_view sender,
                                            const std::vector<std::string>& recipients) {
    if (auto problem = addressProblem(sender)) return problem;
    if (recipients.empty()) return addressProblem({});
    for (const std::string& recipient : recipients) {
        if (auto problem = addressProblem(recipient)) return problem;
    }
    return std::nullopt;
}

void appendHead(std::string& out, std::string_view sender, const OutgoingMail& mail,
                std::string_view date) {
    out += "MIME-Version: 1.0\r\nFrom: <";
    out += sender;
    out += ">\r\nTo: ";
    out += toFieldValue(mail.recipientName, mail.recipients);
    out += "\r\nSubject: ";
    out += encodeHeaderText(mail.subject);
    out += "\r\nDate: ";
    out += date;
    out += "\r\n";
    if (!mail.attachments.empty()) {
        out += "Content-Type: multipart/mixed; boundary=\"";
        out += kBoundary;
        out += "\"\r\n\r\n--";
        out += kBoundary;
        out += "\r\n";
    }
}

std::string delimiterLine() { return "--" + std::string(kBoundary); }

// Plain ASCII with short lines goes as it is (dot-stuffed); anything else as
// Base64 of the text with CRLF line breaks, in 76-character lines. Inside a
// multipart, a line that begins with the delimiter would end the part there
// and let the body make up parts of its own, so such a text goes as Base64
// too.
void appendTextPart(std::string& out, std::string_view body, bool inMultipart) {
    const std::string text = withCrlfLineBreaks(body);
    out += "Content-Type: text/plain; charset=UTF-8\r\n";
    if (needsBase64(text) || (inMultipart && hasLineStartingWith(text, delimiterLine()))) {
        out += "Content-Transfer-Encoding: base64\r\n\r\n";
        Base64Encoder encoder;
        encoder.append(text, out);
        encoder.finish(out);
    } else {
        out += "\r\n";
        out += dotStuffed(text);
        out += "\r\n";
    }
}

void appendPartHead(std::string& out, std::string_view systemPath) {
    const std::string path = platform::pathToUtf8(systemPath);
    const std::string_view name = fileNameOf(path);
    out += "--";
    out += kBoundary;
    out += "\r\nContent-Type: ";
    out += mimeTypeFor(path);
    out += fileNameParameter("name", name);
    out += "\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment";
    if (!isPlainParameterText(name)) out += fileNameParameter("filename", name);
    out += "\r\n\r\n";
}

// The steps of one message in order, each attachment with the message text
// that comes before it. Composing sends them; measuring counts them; both
// get them from walkMessage, so what is announced is what is sent.
class MessageSteps {
public:
    // text ends with the attachment's part head; size is the frame's.
    virtual ComposeResult attachment(std::string_view text, std::string_view path, std::uint64_t size) = 0;
    // text is the rest of the message before the final ".\r\n" line.
    virtual ComposeResult end(std::string& text) = 0;

protected:
    ~MessageSteps() = default;
};

ComposeResult walkMessage(std::string_view sender, const OutgoingMail& mail, const MessageFrame& frame,
                          MessageSteps& steps) {
    std::string buffer;
    appendHead(buffer, sender, mail, frame.date);
    appendTextPart(buffer, mail.body, !mail.attachments.empty());

    for (std::size_t i = 0; i < mail.attachments.size(); ++i) {
        const std::string& path = mail.attachments[i];
        // A frame taken for another mail knows no size for the file.
        if (i >= frame.attachmentSizes.size()) return ComposeResult::error(couldNotRead(path));
        appendPartHead(buffer, path);
        ComposeResult result = steps.attachment(buffer, path, frame.attachmentSizes[i]);
        if (result.outcome != ComposeResult::Outcome::sent) return result;
        buffer.clear();
    }

    if (!mail.attachments.empty()) {
        buffer += "--";
        buffer += kBoundary;
        buffer += "--\r\n";
    }
    return steps.end(buffer);
}

// Sends the message text before the attachment, then the file's Base64
// text block by block.
ComposeResult sendAttachment(std::string_view text, std::string_view path, std::uint64_t announcedSize,
                             MessageSink& sink) {
    std::optional<platform::FileReader> file = platform::FileReader::open(path);
    // A file whose size changed since it was announced would make the
    // message differ from the size the server was told.
    if (!file || file->size() != announcedSize) return ComposeResult::error(couldNotRead(path));
    if (!sink.send(text)) return ComposeResult::sendFailed();

    std::string block(kAttachmentBlockSize, '\0');
    std::string encoded;
    encoded.reserve(Base64Encoder::maxEncodedSize(kAttachmentBlockSize + 2));
    Base64Encoder encoder;
    std::uint64_t total = 0;
    for (;;) {
        const std::optional<std::size_t> count = file->read(block);
        // A read error would otherwise pass a truncated file off as the whole.
        if (!count) return ComposeResult::error(couldNotRead(path));
        if (*count == 0) break;
        // A file that keeps growing while it is sent might never end.
        total += *count;
        if (total > file->size()) return ComposeResult::error(couldNotRead(path));
        encoded.clear();
        encoder.append(std::string_view(block.data(), *count), encoded);
        // A short final block may only fill the pending group; nothing to send.
        if (!encoded.empty() && !sink.send(encoded)) return ComposeResult::sendFailed();
    }
    // A file that shrank while it was sent would go out short as if whole.
    if (total != file->size() || !file->sizeUnchanged()) return ComposeResult::error(couldNotRead(path));

    encoded.clear();
    encoder.finish(encoded);
    if (!sink.send(encoded)) return ComposeResult::sendFailed();
    return ComposeResult::sent();
}

class Sending final : public MessageSteps {
public:
    explicit Sending(MessageSink& sink) : sink_(sink) {}

    ComposeResult attachment(std::string_view text, std::string_view path, std::uint64_t size) override {
        return sendAttachment(text, path, size, sink_);
    }
    ComposeResult end(std::string& text) override {
        text += ".\r\n";
        return sink_.send(text) ? ComposeResult::sent() : ComposeResult::sendFailed();
    }

private:
    MessageSink& sink_;
};

// The text's bytes as the server counts them: a line that starts with a dot
// had it doubled for transparency, and the server takes one away. Only the
// plain-text body is dot-stuffed, and no other line of the text begins with
// a dot. Every piece of text starts at the beginning of a line.
std::uint64_t unstuffedSize(std::string_view text) {
    std::uint64_t size = text.size();
    for (std::size_t lineStart = 0; lineStart < text.size();) {
        if (text[lineStart] == '.') --size;
        const std::size_t lf = text.find('\n', lineStart);
        if (lf == std::string_view::npos) break;
        lineStart = lf + 1;
    }
    return size;
}

class Measuring final : public MessageSteps {
public:
    ComposeResult attachment(std::string_view text, std::string_view, std::uint64_t size) override {
        total += unstuffedSize(text) + Base64Encoder::encodedSize(size);
        return ComposeResult::sent();
    }
    ComposeResult end(std::string& text) override {
        total += unstuffedSize(text);
        return ComposeResult::sent();
    }

    std::uint64_t total = 0;
};

}  // namespace

std::optional<std::string> attachmentsProblem(const OutgoingMail& mail) {
    for (const std::string& path : mail.attachments) {
        if (!platform::FileReader::open(path)) return couldNotRead(path);
    }
    return std::nullopt;
}

std::optional<std::string> takeMessageFrame(const OutgoingMail& mail, MessageFrame& frame) {
    std::optional<std::string> date = currentMailDate();
    if (!date) return "SMTP - Could not determine local timezone";
    frame.date = std::move(*date);
    frame.attachmentSizes.clear();
    for (const std::string& path : mail.attachments) {
        const std::optional<platform::FileReader> file = platform::FileReader::open(path);
        if (!file) return couldNotRead(path);
        frame.attachmentSizes.push_back(file->size());
    }
    return std::nullopt;
}

std::uint64_t messageSize(std::string_view senderAddress, const OutgoingMail& mail,
                          const MessageFrame& frame) {
    Measuring measuring;
    walkMessage(senderAddress, mail, frame, measuring);
    return measuring.total;
}

ComposeResult composeMessage(std::string_view senderAddress, const OutgoingMail& mail,
                             const MessageFrame& frame, MessageSink& sink) {
    if (auto problem = addressesProblem(senderAddress, mail.recipients)) {
        return ComposeResult::error(std::move(*problem));
    }
    Sending sending(sink);
    return walkMessage(senderAddress, mail, frame, sending);
}

ComposeResult composeMessage(std::string_view senderAddress, const OutgoingMail& mail, MessageSink& sink) {
    if (auto problem = addressesProblem(senderAddress, mail.recipients)) {
        return ComposeResult::error(std::move(*problem));
    }
    MessageFrame frame;
    if (auto problem = takeMessageFrame(mail, frame)) return ComposeResult::error(std::move(*problem));
    return composeMessage(senderAddress, mail, frame, sink);
}

}  // namespace postrix::smtp
