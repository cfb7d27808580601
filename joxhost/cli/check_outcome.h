// How one mail check that the plug-in started ended, read from what joxhost
// reports: the check's POP3 connection opens and the plug-in closes it when
// the check is over; a failure is logged at a negative level with a text
// that starts "POP3 - " (after the account's address), the same text as
// the warning notice. A failure that ends the check before or without a
// connection (a refused login, a TLS handshake) ends it too.
#pragma once

#include <cstdint>
#include <string>

#include "core/reporter.h"

namespace joxhost {

class CheckOutcome {
public:
    explicit CheckOutcome(int32_t accountId);

    void observe(const Event& event);

    bool connected() const { return connected_; }
    bool ended() const { return closed_ || failed_; }
    bool failed() const { return failed_; }
    // The plug-in's failure text on one line.
    const std::string& reason() const { return reason_; }

private:
    std::string connection_;  // "MAIL/Socket/POP3/<id>"
    bool connected_ = false;
    bool closed_ = false;
    bool failed_ = false;
    std::string reason_;
};

// Feeds every event the reporter emits to an outcome while it lives.
class CheckOutcomeTap {
public:
    CheckOutcomeTap(Reporter& reporter, CheckOutcome& outcome) : reporter_(reporter) {
        reporter_.setTap([&outcome](const Event& event) { outcome.observe(event); });
    }
    ~CheckOutcomeTap() { reporter_.setTap(nullptr); }
    CheckOutcomeTap(const CheckOutcomeTap&) = delete;
    CheckOutcomeTap& operator=(const CheckOutcomeTap&) = delete;

private:
    Reporter& reporter_;
};

// A failure text as one line: its line breaks become single spaces.
std::string oneLine(const std::string& text);

}  // namespace joxhost
