#include "host_loop.h"

#include <algorithm>

#include "winsock_net.h"

namespace postrix::winhost {

std::string jsonQuoted(std::string_view text) {
    static const char* const kHex = "0123456789abcdef";
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 0xF];
            } else {
                out += ch;
            }
        }
    }
    return out + "\"";
}

JsonLine::JsonLine(std::string_view event) : body_("{\"event\":" + jsonQuoted(event)) {}

void JsonLine::key(std::string_view name) { body_ += "," + jsonQuoted(name) + ":"; }

JsonLine& JsonLine::text(std::string_view name, std::string_view value) {
    key(name);
    body_ += jsonQuoted(value);
    return *this;
}

JsonLine& JsonLine::number(std::string_view name, int64_t value) {
    key(name);
    body_ += std::to_string(value);
    return *this;
}

JsonLine& JsonLine::flag(std::string_view name, bool value) {
    key(name);
    body_ += value ? "true" : "false";
    return *this;
}

HostOutput::HostOutput(test::FakeHost& host, std::FILE* out) : host_(host), out_(out) {}

void HostOutput::write(const JsonLine& line) {
    const std::string text = line.str() + "\n";
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fflush(out_);
}

void HostOutput::catchUp() {
    for (; logs_ < host_.logs.size(); ++logs_) {
        const auto& l = host_.logs[logs_];
        write(JsonLine("log").number("level", l.level).text("source", l.source).text("text", l.text));
    }
    for (; notifications_ < host_.notifications.size(); ++notifications_) {
        const auto& n = host_.notifications[notifications_];
        write(JsonLine("notify")
                  .number("id", static_cast<int64_t>(notifications_) + 1)
                  .text("title", n.title)
                  .text("text", n.text)
                  .text("icon", n.icon)
                  .text("third", n.thirdText));
    }
    for (; archive_ < host_.archive.size(); ++archive_) {
        const auto& a = host_.archive[archive_];
        write(JsonLine("archive")
                  .text("contact", a.contact)
                  .text("subject", a.subject)
                  .text("body", a.body)
                  .number("account", a.accountId)
                  .number("time", a.time));
    }
    for (; news_ < host_.news.size(); ++news_) {
        const auto& n = host_.news[news_];
        write(JsonLine("news")
                  .text("first", n.firstText)
                  .text("from", n.sender)
                  .text("subject", n.subject)
                  .text("account", n.accountAddress));
    }
}

void HostOutput::net(const test::FakeConnection& c, std::string_view what, int code) {
    JsonLine line("net");
    line.text("connection", c.id).text("what", what);
    if (what == "connect") line.text("host", c.host).number("port", c.port);
    if (what == "error" || what == "send-failed") line.number("code", code);
    if (what == "tls") line.flag("ok", false).text("reason", "this host has no TLS");
    write(line);
}

HostLoop::HostLoop(test::FakeHost& host, WinsockNet& net) : host_(host), net_(net) {}

std::chrono::milliseconds HostLoop::fireDueTimers() {
    const auto now = Clock::now();
    // A timer destroyed and made again since the last look starts afresh.
    for (; destroyedSeen_ < host_.destroyedTimers.size(); ++destroyedSeen_)
        schedule_.erase(host_.destroyedTimers[destroyedSeen_]);
    std::erase_if(schedule_, [this](const auto& entry) { return !host_.timers.count(entry.first); });
    for (const auto& [id, timer] : host_.timers) {
        auto found = schedule_.find(id);
        if (found == schedule_.end() || found->second.intervalMs != timer.intervalMs) {
            schedule_[id] = {timer.intervalMs, now + std::chrono::milliseconds(timer.intervalMs)};
        }
    }
    for (auto& [id, entry] : schedule_) {
        if (entry.due > now) continue;
        entry.due = now + std::chrono::milliseconds(entry.intervalMs);
        host_.fireTimer(id, kTimerPeriodic);
        return std::chrono::milliseconds(0);  // the handler may have changed the timers
    }
    auto next = now + std::chrono::hours(1);
    for (const auto& [id, entry] : schedule_) next = std::min(next, entry.due);
    return std::chrono::duration_cast<std::chrono::milliseconds>(next - now);
}

bool HostLoop::runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        const auto now = Clock::now();
        if (now >= deadline) return false;
        auto wait = std::min(fireDueTimers(), std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now));
        if (done()) break;
        // A short slice, so done() is looked at again soon even while nothing happens.
        wait = std::clamp(wait, std::chrono::milliseconds(0), std::chrono::milliseconds(200));
        net_.deliverNext(static_cast<int>(wait.count()));
    }
    return true;
}

}  // namespace postrix::winhost
