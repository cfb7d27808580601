#include "cli/check_outcome.h"

namespace joxhost {
namespace {

constexpr std::string_view kFailurePrefix = "POP3 - ";

}  // namespace

CheckOutcome::CheckOutcome(int32_t accountId)
    : connection_("MAIL/Socket/POP3/" + std::to_string(accountId)) {}

void CheckOutcome::observe(const Event& event) {
    // The plug-in closes the connection before it logs why the check failed,
    // in the same call: a failure after the close still counts.
    if (failed_) return;
    if (event.name == "net" && event.text("connection") == connection_) {
        const std::string what = event.text("what");
        if (what == "connect") connected_ = true;
        if (what == "close") closed_ = true;
    } else if (event.name == "log" && event.number("level") < 0) {
        // Other failures (an unreadable date of one message) leave the check running.
        const std::string text = event.text("text");
        const size_t start = text.find(kFailurePrefix);
        if (start == std::string::npos) return;
        failed_ = true;
        reason_ = oneLine(text.substr(start));
    }
}

std::string oneLine(const std::string& text) {
    std::string line;
    bool space = false;
    for (const char c : text) {
        if (c == '\r' || c == '\n') {
            space = !line.empty();
            continue;
        }
        if (space) line += ' ';
        space = false;
        line += c;
    }
    return line;
}

}  // namespace joxhost
