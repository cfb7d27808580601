#include "smtp/attachment_names.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

namespace postrix::smtp {

namespace {

constexpr std::string_view kDefaultType = "application/octet-stream";

// Searched in this order; the first equal extension gives the type. Rows that
// once listed several types give the first of them.
constexpr std::array<std::pair<std::string_view, std::string_view>, 38> kTypes{{
    {"avi", "video/msvideo"},
    {"bmp", "image/bmp"},
    {"bz2", "application/x-bzip2"},
    {"css", "text/css"},
    {"dtd", "application/xml-dtd"},
    {"doc", "application/msword"},
    {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
    {"exe", "application/octet-stream"},
    {"gif", "image/gif"},
    {"gz", "application/x-gzip"},
    {"htm", "text/html"},
    {"html", "text/html"},
    {"jar", "application/java-archive"},
    {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},
    {"js", "application/x-javascript"},
    {"mp3", "audio/mpeg"},
    {"mpg", "video/mpeg"},
    {"mpeg", "video/mpeg"},
    {"ogg", "audio/vorbis"},
    {"pdf", "application/pdf"},
    {"pl", "application/x-perl"},
    {"png", "image/png"},
    {"ppt", "application/vnd.ms-powerpoint"},
    {"ps", "application/postscript"},
    {"rar", "application/rar"},
    {"qt", "video/quicktime"},
    {"rtf", "application/rtf"},
    {"svg", "image/svg+xml"},
    {"swf", "application/x-shockwave-flash"},
    {"tgz", "application/x-tar"},
    {"tif", "image/tiff"},
    {"tiff", "image/tiff"},
    {"txt", "text/plain"},
    {"wav", "audio/wav"},
    {"xls", "application/vnd.ms-excel"},
    {"xml", "application/xml"},
    {"zip", "application/zip"},
}};

// Encoded text per continuation line of a long RFC 2231 parameter.
constexpr std::size_t kSegmentLength = 60;

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// RFC 2231 attribute characters that may stand unencoded.
bool isAttributeChar(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("!#$&+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

// Every byte outside the attribute characters as %XX.
std::string percentEncode(std::string_view bytes) {
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (isAttributeChar(c)) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

}  // namespace

std::string_view mimeTypeFor(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) return kDefaultType;
    const std::string extension = lowerAscii(path.substr(dot + 1));
    for (const auto& [key, type] : kTypes) {
        if (key == extension) return type;
    }
    return kDefaultType;
}

std::string_view fileNameOf(std::string_view path) {
    std::size_t separator = path.rfind('\\');
    if (separator == std::string_view::npos) separator = path.rfind('/');
    if (separator == std::string_view::npos) return path;
    return path.substr(separator + 1);
}

bool isPlainParameterText(std::string_view name) {
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') return false;
    }
    return true;
}

std::string fileNameParameter(std::string_view parameter, std::string_view fileName) {
    std::string out;
    if (isPlainParameterText(fileName)) {
        out += "; ";
        out += parameter;
        out += "=\"";
        out += fileName;
        out += '"';
        return out;
    }
    const std::string encoded = "UTF-8''" + percentEncode(fileName);
    if (encoded.size() <= kSegmentLength) {
        out += "; ";
        out += parameter;
        out += "*=";
        out += encoded;
        return out;
    }
    // Long names go in numbered sections, one per continuation line, each cut
    // between whole %XX triplets.
    std::size_t pos = 0;
    for (int section = 0; pos < encoded.size(); ++section) {
        std::size_t end = std::min(pos + kSegmentLength, encoded.size());
        if (end < encoded.size()) {
            if (encoded[end - 1] == '%') end -= 1;
            else if (encoded[end - 2] == '%') end -= 2;
        }
        out += ";\r\n ";
        out += parameter;
        out += '*';
        out += std::to_string(section);
        out += "*=";
        out.append(encoded, pos, end - pos);
        pos = end;
    }
    return out;
}

}  // namespace postrix::smtp
