// The text of a settings file: typed values by key, kept as readable UTF-8.
//
//   # comment
//   MAIL/checkInterval = int:5
//   MAIL/mail = text:"jan@example.com"
//
// Texts are quoted with \" \\ \n \r \t and \uXXXX escapes; a \uXXXX also
// carries a UTF-16 unit that UTF-8 cannot (a lone surrogate), so every value
// the plug-in stores comes back unit for unit. A backslash that starts none
// of these escapes is kept as a character, so a Windows path typed by hand
// (C:\Users\jan) reads as written. Keys outside [A-Za-z0-9_./-] are quoted
// the same way.
//
// A document remembers every line as it was read. Writing it back changes
// only the lines of values that were set to something else and appends new
// keys; comments, blank lines and lines the reader could not take stay byte
// for byte.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace joxhost {

struct SettingValue {
    enum class Type { Int, Text };
    Type type = Type::Int;
    int64_t integer = 0;
    std::u16string text;

    static SettingValue ofInt(int64_t v) { return {Type::Int, v, {}}; }
    static SettingValue ofText(std::u16string v) { return {Type::Text, 0, std::move(v)}; }
    bool operator==(const SettingValue&) const = default;
};

using SettingValues = std::map<std::u16string, SettingValue>;

class SettingsDocument {
public:
    // Reads text; errors gets "line N: why" for each line whose value was
    // not taken (the line itself is kept).
    static SettingsDocument parse(std::string_view text, std::vector<std::string>* errors = nullptr);

    const SettingValues& values() const { return values_; }
    // True when the value differs from the one the document held.
    bool set(const std::u16string& key, const SettingValue& value);
    std::string text() const;

private:
    void adopt(std::u16string key, SettingValue value, size_t line);

    std::string bom_;
    std::vector<std::string> lines_;  // as read, without '\n' (a '\r' stays)
    std::map<std::u16string, size_t> lineOf_;  // the line each value came from
    SettingValues values_;
};

}  // namespace joxhost
