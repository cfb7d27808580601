#include "store/settings_format.h"

#include <charconv>
#include <optional>

#include "core/utf.h"

namespace joxhost {
namespace {

constexpr std::string_view kHeader = "# joxhost settings, UTF-8; values are int:N or text:\"...\"";

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

std::string lineText(const std::u16string& key, const SettingValue& value) {
    std::string out = keyText(key) + " = ";
    if (value.type == SettingValue::Type::Int) return out + "int:" + std::to_string(value.integer);
    return out + "text:" + quote(value.text);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The unit of the four hex digits at line[pos], or nothing.
std::optional<char16_t> readUnit(std::string_view line, size_t pos) {
    if (pos + 4 > line.size()) return std::nullopt;
    int unit = 0;
    for (size_t k = 0; k < 4; ++k) {
        const int h = hexValue(line[pos + k]);
        if (h < 0) return std::nullopt;
        unit = unit * 16 + h;
    }
    return static_cast<char16_t>(unit);
}

// The character a one-letter escape stands for; 0 when it is none of ours.
char escaped(char e) {
    switch (e) {
        case '"': return '"';
        case '\\': return '\\';
        case 'n': return '\n';
        case 'r': return '\r';
        case 't': return '\t';
        default: return 0;
    }
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
        } else if (pos >= line.size()) {
            break;
        } else if (const auto unit = line[pos] == 'u' ? readUnit(line, pos + 1) : std::nullopt) {
            pos += 5;
            flush();
            out += *unit;
        } else if (const char e = escaped(line[pos]); e != 0) {
            run += e;
            ++pos;
        } else {
            run += '\\';  // not an escape: the backslash is a character
        }
    }
    why = "unterminated text";
    return false;
}

void skipBlanks(std::string_view line, size_t& pos) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
}

bool readValue(std::string_view line, size_t pos, SettingValue& value, std::string& why) {
    const std::string_view rest = line.substr(pos);
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
        return true;
    }
    if (!rest.starts_with("text:")) {
        why = "expected int: or text:";
        return false;
    }
    pos += 5;
    std::u16string text;
    if (!readQuoted(line, pos, text, why)) return false;
    skipBlanks(line, pos);
    if (pos != line.size()) {
        why = "text after the closing quote";
        return false;
    }
    value = SettingValue::ofText(std::move(text));
    return true;
}

enum class LineKind { Blank, Value, Bad };

// One line: a comment or blank line, a value (key and value set) or a line
// the reader cannot take (why set).
LineKind parseLine(std::string_view line, std::u16string& key, SettingValue& value, std::string& why) {
    size_t pos = 0;
    skipBlanks(line, pos);
    if (pos == line.size() || line[pos] == '#') return LineKind::Blank;
    if (line[pos] == '"') {
        if (!readQuoted(line, pos, key, why)) return LineKind::Bad;
    } else {
        const size_t start = pos;
        while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t' && line[pos] != '=') ++pos;
        key = toUtf16(line.substr(start, pos - start));
    }
    skipBlanks(line, pos);
    if (pos >= line.size() || line[pos] != '=') {
        why = "expected '='";
        return LineKind::Bad;
    }
    ++pos;
    skipBlanks(line, pos);
    return readValue(line, pos, value, why) ? LineKind::Value : LineKind::Bad;
}

}  // namespace

SettingsDocument SettingsDocument::parse(std::string_view text, std::vector<std::string>* errors) {
    SettingsDocument document;
    if (text.starts_with("\xEF\xBB\xBF")) {
        document.bom_ = text.substr(0, 3);
        text.remove_prefix(3);
    }
    while (!text.empty()) {
        const size_t end = text.find('\n');
        document.lines_.emplace_back(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        std::string_view line = document.lines_.back();
        if (line.ends_with('\r')) line.remove_suffix(1);
        std::u16string key;
        SettingValue value;
        std::string why;
        const LineKind kind = parseLine(line, key, value, why);
        if (kind == LineKind::Value) {
            document.adopt(std::move(key), std::move(value), document.lines_.size() - 1);
        } else if (kind == LineKind::Bad && errors) {
            errors->push_back("line " + std::to_string(document.lines_.size()) + ": " + why);
        }
    }
    return document;
}

void SettingsDocument::adopt(std::u16string key, SettingValue value, size_t line) {
    lineOf_[key] = line;
    values_[std::move(key)] = std::move(value);
}

bool SettingsDocument::set(const std::u16string& key, const SettingValue& value) {
    const auto line = lineOf_.find(key);
    if (line == lineOf_.end()) {
        if (lines_.empty()) lines_.emplace_back(kHeader);
        lines_.push_back(lineText(key, value));
        adopt(key, value, lines_.size() - 1);
        return true;
    }
    if (values_[key] == value) return false;  // the line stays as it was written
    std::string& raw = lines_[line->second];
    raw = lineText(key, value) + (raw.ends_with('\r') ? "\r" : "");
    values_[key] = value;
    return true;
}

std::string SettingsDocument::text() const {
    if (lines_.empty() && bom_.empty()) return std::string(kHeader) + '\n';  // a new file says what it is
    size_t size = bom_.size();
    for (const auto& line : lines_) size += line.size() + 1;
    std::string out;
    out.reserve(size);
    out += bom_;
    for (const auto& line : lines_) {
        out += line;
        out += '\n';
    }
    return out;
}

}  // namespace joxhost
