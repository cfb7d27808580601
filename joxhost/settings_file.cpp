#include "settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "utf.h"

namespace joxhost {
namespace {

bool isBareKeyChar(char16_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '.' || c == '/' || c == '-';
}

void appendEscape(std::string& out, char16_t unit) {
    static const char digits[] = "0123456789ABCDEF";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += digits[(unit >> shift) & 0xF];
}

std::string quote(std::u16string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        const bool low = c >= 0xDC00 && c <= 0xDFFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            out += toUtf8(text.substr(i, 2));
            ++i;
        } else if (high || low) {
            appendEscape(out, c);
        } else if (c == '"') {
            out += "\\\"";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            appendEscape(out, c);
        } else {
            out += toUtf8(text.substr(i, 1));
        }
    }
    out += '"';
    return out;
}

std::string keyText(std::u16string_view key) {
    bool bare = !key.empty();
    for (const char16_t c : key) bare = bare && isBareKeyChar(c);
    return bare ? toUtf8(key) : quote(key);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted text at line[pos] (which must be '"'); pos ends after the
// closing quote. Plain UTF-8 runs are converted as a whole so that pairs of
// surrogates written as one character stay together.
bool readQuoted(std::string_view line, size_t& pos, std::u16string& out, std::string& why) {
    if (pos >= line.size() || line[pos] != '"') {
        why = "expected a quoted text";
        return false;
    }
    ++pos;
    std::string run;
    auto flush = [&] {
        out += toUtf16(run);
        run.clear();
    };
    while (pos < line.size()) {
        const char c = line[pos++];
        if (c == '"') {
            flush();
            return true;
        }
        if (c != '\\') {
            run += c;
            continue;
        }
        if (pos >= line.size()) break;
        const char e = line[pos++];
        switch (e) {
            case '"': run += '"'; break;
            case '\\': run += '\\'; break;
            case 'n': run += '\n'; break;
            case 'r': run += '\r'; break;
            case 't': run += '\t'; break;
            case 'u': {
                if (pos + 4 > line.size()) {
                    why = "short \\u escape";
                    return false;
                }
                int unit = 0;
                for (int k = 0; k < 4; ++k) {
                    const int h = hexValue(line[pos + k]);
                    if (h < 0) {
                        why = "bad \\u escape";
                        return false;
                    }
                    unit = unit * 16 + h;
                }
                pos += 4;
                flush();
                out += static_cast<char16_t>(unit);
                break;
            }
            default:
                why = std::string("unknown escape \\") + e;
                return false;
        }
    }
    why = "unterminated text";
    return false;
}

void skipBlanks(std::string_view line, size_t& pos) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
}

bool parseLine(std::string_view line, SettingValues& values, std::string& why) {
    size_t pos = 0;
    skipBlanks(line, pos);
    if (pos == line.size() || line[pos] == '#') return true;
    std::u16string key;
    if (line[pos] == '"') {
        if (!readQuoted(line, pos, key, why)) return false;
    } else {
        const size_t start = pos;
        while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t' && line[pos] != '=') ++pos;
        key = toUtf16(line.substr(start, pos - start));
    }
    skipBlanks(line, pos);
    if (pos >= line.size() || line[pos] != '=') {
        why = "expected '='";
        return false;
    }
    ++pos;
    skipBlanks(line, pos);
    const std::string_view rest = line.substr(pos);
    SettingValue value;
    if (rest.starts_with("int:")) {
        std::string_view digits = rest.substr(4);
        while (!digits.empty() && (digits.back() == ' ' || digits.back() == '\t')) digits.remove_suffix(1);
        int64_t n = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
        if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty()) {
            why = "bad integer";
            return false;
        }
        value = SettingValue::ofInt(n);
    } else if (rest.starts_with("text:")) {
        pos += 5;
        std::u16string text;
        if (!readQuoted(line, pos, text, why)) return false;
        skipBlanks(line, pos);
        if (pos != line.size()) {
            why = "text after the closing quote";
            return false;
        }
        value = SettingValue::ofText(std::move(text));
    } else {
        why = "expected int: or text:";
        return false;
    }
    values[key] = std::move(value);
    return true;
}

std::string errnoText(const std::string& what, const std::filesystem::path& path) {
    return what + " " + path.string() + ": " + std::strerror(errno);
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

std::string serializeSettings(const SettingValues& values) {
    std::string out = "# joxhost settings, UTF-8; values are int:N or text:\"...\"\n";
    for (const auto& [key, value] : values) {
        out += keyText(key);
        out += " = ";
        if (value.type == SettingValue::Type::Int) {
            out += "int:" + std::to_string(value.integer);
        } else {
            out += "text:" + quote(value.text);
        }
        out += '\n';
    }
    return out;
}

ParsedSettings parseSettings(std::string_view text) {
    ParsedSettings parsed;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    size_t number = 0;
    while (!text.empty()) {
        ++number;
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        std::string why;
        if (!parseLine(line, parsed.values, why)) {
            parsed.errors.push_back("line " + std::to_string(number) + ": " + why);
        }
    }
    return parsed;
}

std::optional<ParsedSettings> loadSettingsFile(const std::filesystem::path& path, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return ParsedSettings{};
        if (error) *error = errnoText("cannot open", path);
        return std::nullopt;
    }
    std::string text;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (error) *error = errnoText("cannot read", path);
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return parseSettings(text);
}

bool saveSettingsFile(const std::filesystem::path& path, const SettingValues& values, std::string* error) {
    const std::string text = serializeSettings(values);
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    ::unlink(temporary.c_str());  // a leftover of an interrupted save
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (error) *error = errnoText("cannot create", temporary);
        return false;
    }
    // The umask could only narrow 0600, but a stricter one would lock the
    // owner out; set the mode explicitly.
    const bool written = ::fchmod(fd, 0600) == 0 && writeAll(fd, text) && ::fsync(fd) == 0;
    if (!written) {
        if (error) *error = errnoText("cannot write", temporary);
        ::close(fd);
        ::unlink(temporary.c_str());
        return false;
    }
    if (::close(fd) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
        if (error) *error = errnoText("cannot replace", path);
        ::unlink(temporary.c_str());
        return false;
    }
    const auto directory = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    const int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

}  // namespace joxhost
