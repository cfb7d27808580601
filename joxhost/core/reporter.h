// What joxhost tells its user: one event per happening, printed either as a
// readable line or, with --json, as one JSON object a line on stdout.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace joxhost {

struct Event {
    using Value = std::variant<std::string, int64_t, bool>;
    struct Field {
        std::string key;
        Value value;
    };

    std::string name;
    std::vector<Field> fields;

    Event(std::string eventName) : name(std::move(eventName)) {}
    Event& add(std::string key, std::string value);
    Event& add(std::string key, const char* value) { return add(std::move(key), std::string(value)); }
    Event& add(std::string key, int64_t value);
    Event& add(std::string key, int value) { return add(std::move(key), static_cast<int64_t>(value)); }
    Event& add(std::string key, bool value);

    // The field's text, or "" when absent or not a text.
    std::string text(std::string_view key) const;
    int64_t number(std::string_view key, int64_t fallback = 0) const;
};

// {"event":NAME,...} on one line.
std::string jsonLine(const Event& event);
// A line (or, for multi-line texts such as a new-mail notice, lines) a
// person reads. Failures and log lines take one line each, their line
// breaks shown as spaces, and the Winsock numbers they report get their
// meaning beside them.
std::string readableLine(const Event& event);

// The text on one line: each run of line breaks (CR, LF) between two lines
// becomes one space; those at the start and the end go.
std::string foldLines(std::string_view text);
// The failure an event reports (a log line of a negative level, an error
// box, a warning notification, a send's failure), or "" for other events.
std::string failureText(const Event& event);
// Whether two failure texts report the same failure: equal on one line,
// once a leading label such as the account's address or a command's name
// ("a@b: SMTP - ...", "check: POP3 - ...") is left out.
bool sameFailure(std::string_view a, std::string_view b);

class Reporter {
public:
    explicit Reporter(bool json, bool verbose = false, std::FILE* out = stdout)
        : json_(json), verbose_(verbose), out_(out) {}

    void emit(const Event& event);
    // Shown only with --verbose.
    void detail(const Event& event);
    // For the observers only, never printed: joxhost's own bookkeeping, such
    // as the end of what a connection sent, which may hold a password.
    void tell(const Event& event);

    // The loop is about to run its next handler. Without --verbose and
    // --json a failure is printed once: the plug-in reports one failure
    // several ways within one turn (log line, error box or warning notice,
    // and a command's outcome), so the repeats of a turn are left out.
    void newTurn() { printedFailures_.clear(); }
    // Whether that failure was printed in this turn (only ever without
    // --verbose and --json): a command's closing line need not repeat it.
    bool printedFailure(std::string_view text) const;

    // A line rewritten in place on a terminal (the progress of a send), or
    // nowhere when null; main sets standard error when it is a terminal and
    // --json is off. Printing an event clears the line first; the next
    // status() draws it again.
    void setStatusOutput(std::FILE* terminal) { statusOut_ = terminal; }
    bool showsStatus() const { return statusOut_ != nullptr; }
    void status(const std::string& text);
    void clearStatus();

    bool verbose() const { return verbose_; }
    bool json() const { return json_; }

    // Observers of every emitted event (the outcomes of checks and sends,
    // tests), each added and removed by a ReporterTap; they see an event in
    // the order added.
    int addObserver(std::function<void(const Event&)> observer);
    void removeObserver(int id);
    // Runs before each event is emitted, before the observers: whatever an event
    // says has happened must be on disk by the time anyone reads it (the
    // archive commits the rows written so far). One barrier; empty clears it.
    void setBarrier(std::function<void()> barrier) { barrier_ = std::move(barrier); }

private:
    bool json_;
    bool verbose_;
    std::FILE* out_;
    std::vector<std::pair<int, std::function<void(const Event&)>>> observers_;
    int nextObserver_ = 1;
    std::function<void()> barrier_;
    std::vector<std::string> printedFailures_;  // this turn's
    std::FILE* statusOut_ = nullptr;
    bool statusShown_ = false;
};

// Feeds every event the reporter emits to an observer while it lives.
class ReporterTap {
public:
    ReporterTap(Reporter& reporter, std::function<void(const Event&)> observer)
        : reporter_(reporter), id_(reporter.addObserver(std::move(observer))) {}
    ~ReporterTap() { reporter_.removeObserver(id_); }
    ReporterTap(const ReporterTap&) = delete;
    ReporterTap& operator=(const ReporterTap&) = delete;

private:
    Reporter& reporter_;
    int id_;
};

}  // namespace joxhost
