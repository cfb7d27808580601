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

// Sends the head collected so far with the attachment's part head, then the
// file's Base64 text block by block. The file is open already.
ComposeResult sendAttachment(platform::FileReader& file, std::string_view path, std::string& buffer,
                             MessageSink& sink) {
    appendPartHead(buffer, path);
    if (!sink.send(buffer)) return ComposeResult::sendFailed();
    buffer.clear();

    std::string block(kAttachmentBlockSize, '\0');
    std::string encoded;
    encoded.reserve(Base64Encoder::maxEncodedSize(kAttachmentBlockSize + 2));
    Base64Encoder encoder;
    std::uint64_t total = 0;
    for (;;) {
        const std::optional<std::size_t> count = file.read(block);
        // A read error would otherwise pass a truncated file off as the whole.
        if (!count) return ComposeResult::error(couldNotRead(path));
        if (*count == 0) break;
        // A file that keeps growing while it is sent might never end.
        total += *count;
        if (total > file.size()) return ComposeResult::error(couldNotRead(path));
        encoded.clear();
        encoder.append(std::string_view(block.data(), *count), encoded);
        // A short final block may only fill the pending group; nothing to send.
        if (!encoded.empty() && !sink.send(encoded)) return ComposeResult::sendFailed();
    }
    // A file that shrank while it was sent would go out short as if whole.
    if (total != file.size() || !file.sizeUnchanged()) return ComposeResult::error(couldNotRead(path));

    encoded.clear();
    encoder.finish(encoded);
    if (!sink.send(encoded)) return ComposeResult::sendFailed();
    return ComposeResult::sent();
}

}  // namespace

std::optional<std::string> attachmentsProblem(const OutgoingMail& mail) {
    for (const std::string& path : mail.attachments) {
        if (!platform::FileReader::open(path)) return couldNotRead(path);
    }
    return std::nullopt;
}

ComposeResult composeMessage(std::string_view senderAddress, const OutgoingMail& mail,
                             MessageSink& sink) {
    if (auto problem = addressesProblem(senderAddress, mail.recipients)) {
        return ComposeResult::error(std::move(*problem));
    }
    const std::optional<std::string> date = currentMailDate();
    if (!date) return ComposeResult::error("SMTP - Could not determine local timezone");

    std::string buffer;
    appendHead(buffer, senderAddress, mail, *date);
    appendTextPart(buffer, mail.body, !mail.attachments.empty());

    for (const std::string& path : mail.attachments) {
        std::optional<platform::FileReader> file = platform::FileReader::open(path);
        if (!file) return ComposeResult::error(couldNotRead(path));
        ComposeResult result = sendAttachment(*file, path, buffer, sink);
        if (result.outcome != ComposeResult::Outcome::sent) return result;
    }

    if (!mail.attachments.empty()) {
        buffer += "--";
        buffer += kBoundary;
        buffer += "--\r\n";
    }
    buffer += ".\r\n";
    if (!sink.send(buffer)) return ComposeResult::sendFailed();
    return ComposeResult::sent();
}

}  // namespace postrix::smtp
