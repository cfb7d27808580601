#include "core/reporter.h"

#include "core/json.h"
#include "net/winsock_errors.h"

namespace joxhost {

Event& Event::add(std::string key, std::string value) {
    fields.push_back({std::move(key), std::move(value)});
    return *this;
}

Event& Event::add(std::string key, int64_t value) {
    fields.push_back({std::move(key), value});
    return *this;
}

Event& Event::add(std::string key, bool value) {
    fields.push_back({std::move(key), value});
    return *this;
}

std::string Event::text(std::string_view key) const {
    for (const auto& field : fields) {
        if (field.key == key) {
            if (const auto* s = std::get_if<std::string>(&field.value)) return *s;
        }
    }
    return {};
}

int64_t Event::number(std::string_view key, int64_t fallback) const {
    for (const auto& field : fields) {
        if (field.key == key) {
            if (const auto* n = std::get_if<int64_t>(&field.value)) return *n;
        }
    }
    return fallback;
}

namespace {

std::string valueJson(const Event::Value& value) {
    if (const auto* s = std::get_if<std::string>(&value)) return jsonString(*s);
    if (const auto* n = std::get_if<int64_t>(&value)) return std::to_string(*n);
    return std::get<bool>(value) ? "true" : "false";
}

std::string valueText(const Event::Value& value) {
    if (const auto* s = std::get_if<std::string>(&value)) return *s;
    if (const auto* n = std::get_if<int64_t>(&value)) return std::to_string(*n);
    return std::get<bool>(value) ? "yes" : "no";
}

// Line breaks as the terminal shows them, continuation lines indented.
std::string multiLine(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
        if (text[i] == '\n') out += "    ";
    }
    return out;
}

// A failure's or a log line's text as one readable line.
std::string oneLine(std::string_view text) { return winsock::withMeanings(foldLines(text)); }

constexpr char kWarningIcon[] = "Image/Warning32";

// Events a person does not need to see unless asking for --verbose: the
// connections' steps (the plug-in reports what went wrong with them).
bool onlyVerbose(const Event& event) { return event.name == "net"; }

}  // namespace

std::string foldLines(std::string_view text) {
    std::string out;
    bool broken = false;  // a run of line breaks, written before the next other character
    for (const char c : text) {
        if (c == '\r' || c == '\n') {
            broken = true;
            continue;
        }
        if (broken && !out.empty()) out += ' ';
        broken = false;
        out += c;
    }
    return out;
}

std::string failureText(const Event& event) {
    if (event.name == "log" && event.number("level") < 0) return event.text("text");
    if (event.name == "error") return event.text("text");
    if (event.name == "notify" && event.text("icon") == kWarningIcon) return event.text("text");
    if (event.name == "send-failed") return event.text("reason");
    return "";
}

namespace {

// The text behind a leading label such as "a@b: " or "check: " (a first
// word that ends in ": "), or the text itself.
std::string_view behindLabel(std::string_view text) {
    const size_t colon = text.find(": ");
    if (colon == 0 || colon == std::string_view::npos || text.substr(0, colon).find(' ') != std::string_view::npos)
        return text;
    return text.substr(colon + 2);
}

}  // namespace

bool sameFailure(std::string_view a, std::string_view b) {
    const std::string first = foldLines(a), second = foldLines(b);
    return behindLabel(first) == second || first == behindLabel(second) || behindLabel(first) == behindLabel(second);
}

bool Reporter::printedFailure(std::string_view text) const {
    for (const auto& printed : printedFailures_) {
        if (sameFailure(printed, text)) return true;
    }
    return false;
}

std::string jsonLine(const Event& event) {
    std::string line = "{\"event\":" + jsonString(event.name);
    for (const auto& field : event.fields) {
        line += ',';
        line += jsonString(field.key);
        line += ':';
        line += valueJson(field.value);
    }
    line += '}';
    return line;
}

std::string readableLine(const Event& event) {
    const auto& e = event;
    if (e.name == "log") {
        return "log [" + std::to_string(e.number("level")) + "] " + e.text("source") + ": " + oneLine(e.text("text"));
    }
    if (e.name == "notify" && e.text("icon") == kWarningIcon) {
        return "warning " + e.text("title") + ": " + oneLine(e.text("text"));
    }
    if (e.name == "notify") {
        return "notification [" + e.text("icon") + "] " + e.text("title") + ": " +
               multiLine(e.text("text"));
    }
    if (e.name == "option") return e.text("label") + ": " + e.text("value");
    if (e.name == "contact") return e.text("name") + " <" + e.text("mail") + ">";
    if (e.name == "error") return "error box " + e.text("title") + ": " + oneLine(e.text("text"));
    if (e.name == "send-failed") return "send failed: " + oneLine(e.text("reason"));
    if (e.name == "archive") {
        return "archived mail to " + e.text("contact") + " (account " +
               std::to_string(e.number("account")) + "), subject: " + e.text("subject");
    }
    if (e.name == "news") return "news: " + e.text("from") + ": " + e.text("subject");
    if (e.name == "account") {
        const std::string note = e.text("note");
        return "account " + std::to_string(e.number("position")) + ": " + e.text("name") + " (id " +
               std::to_string(e.number("id")) + (note.empty() ? "" : ", " + note) + ")";
    }
    std::string line = e.name;
    for (const auto& field : e.fields) line += " " + field.key + "=" + multiLine(valueText(field.value));
    if (e.name == "net" && !winsock::meaning(e.number("code")).empty()) {
        line += " (" + std::string(winsock::meaning(e.number("code"))) + ")";
    }
    return line;
}

void Reporter::emit(const Event& event) {
    if (barrier_) barrier_();
    for (const auto& [id, observer] : observers_) observer(event);
    if (!json_ && !verbose_) {
        if (onlyVerbose(event)) return;
        const std::string failure = failureText(event);
        if (!failure.empty()) {
            if (printedFailure(failure)) return;
            printedFailures_.push_back(failure);
        }
    }
    clearStatus();
    const std::string line = json_ ? jsonLine(event) : readableLine(event);
    std::fputs(line.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

int Reporter::addObserver(std::function<void(const Event&)> observer) {
    observers_.emplace_back(nextObserver_, std::move(observer));
    return nextObserver_++;
}

void Reporter::removeObserver(int id) {
    std::erase_if(observers_, [id](const auto& entry) { return entry.first == id; });
}

void Reporter::status(const std::string& text) {
    if (!statusOut_) return;
    // Back to the line's start, the text, and the rest of the old line erased.
    std::fputs(("\r" + text + "\x1b[K").c_str(), statusOut_);
    std::fflush(statusOut_);
    statusShown_ = true;
}

void Reporter::clearStatus() {
    if (!statusShown_) return;
    std::fputs("\r\x1b[K", statusOut_);
    std::fflush(statusOut_);
    statusShown_ = false;
}

void Reporter::detail(const Event& event) {
    if (verbose_) emit(event);
}

void Reporter::tell(const Event& event) {
    for (const auto& [id, observer] : observers_) observer(event);
}

}  // namespace joxhost
