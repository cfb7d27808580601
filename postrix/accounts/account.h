// One configured mailbox and one "MAIL" protocol instance of the host.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"
#include "host/settings_store.h"
#include "platform/ui.h"

namespace postrix {

namespace smtp {
class SmtpSession;
}
namespace pop3 {
class Pop3Session;
}
namespace imap {
class ImapSession;
}

class NewMailNotice;
class OptionsPage;

// Why a mailbox check is asked for: the periodic timer's check does nothing
// while an IMAP IDLE keeps the account up to date; a request (the timer's
// first run or "check now", changed settings) checks at once.
enum class CheckReason { Timer, Request };

class Account {
public:
    // Registers the send service, the options page, the mail-check timer and
    // the login info, all named from the id. The options page paints with
    // dialogColours; null keeps the platform's colours.
    Account(Host host, uintptr_t moduleHandle, int32_t id, std::u16string_view profileName,
            platform::DialogColours dialogColours);
    // Removes everything the constructor registered, in a fixed order.
    ~Account();
    Account(const Account&) = delete;
    Account& operator=(const Account&) = delete;

    int32_t id() const { return id_; }
    const std::u16string& profileName() const { return profileName_; }
    SettingsStore& settings() { return *settings_; }
    smtp::SmtpSession& smtp() { return *smtp_; }
    pop3::Pop3Session& pop3() { return *pop3_; }
    // The IMAP session once a check over IMAP began; null before.
    imap::ImapSession* imap() { return imap_.get(); }
    NewMailNotice& newMailNotice() { return *newMailNotice_; }
    Host host() const { return host_; }
    platform::DialogColours dialogColours() const { return dialogColours_; }

    // The address of the last send once one started, else "MAIL/mail".
    std::string currentAddress();
    // Starts one mailbox check with the account's current settings, over
    // POP3 or, with MAIL/protocol "imap", over IMAP; nothing when server,
    // address, login or password is missing.
    void checkMail(CheckReason reason = CheckReason::Request);
    void startMailTimer(int32_t minutes, bool restart);
    void updateLoginInfo();
    // Ends the SMTP and then the POP3 or IMAP exchange when its server has
    // been silent too long; keeps IMAP's IDLE and reconnections going.
    void checkTimeouts();

    // Starts one send with the account's SMTP settings; silently nothing when
    // they are incomplete.
    void sendMail(std::string recipientName, std::vector<std::string> recipients, std::string subject,
                  std::string body, std::vector<std::string> attachments);

    // The options page while the host shows it; null otherwise. Setting it
    // releases the former page and its window.
    OptionsPage* optionsPage() const { return optionsPage_.get(); }
    void setOptionsPage(std::unique_ptr<OptionsPage> page);

    static int64_t onMailTimer(uintptr_t timerEvent, uintptr_t unused, uintptr_t context);
    // Ticks the IMAP session every second, once it exists.
    static int64_t onImapTimer(uintptr_t timerEvent, uintptr_t unused, uintptr_t context);

    std::u16string timerId() const;
    std::u16string imapTimerId() const;
    std::u16string optionsPageId() const;
    std::u16string sendServiceName() const;

private:
    void registerWithHost();
    void checkPop3();
    void checkImap(CheckReason reason);
    void startImapTimer();

    Host host_;
    uintptr_t moduleHandle_;
    int32_t id_;
    std::u16string profileName_;
    platform::DialogColours dialogColours_;
    std::unique_ptr<smtp::SmtpSession> smtp_;
    std::unique_ptr<NewMailNotice> newMailNotice_;
    std::unique_ptr<pop3::Pop3Session> pop3_;
    std::unique_ptr<imap::ImapSession> imap_;
    std::unique_ptr<SettingsStore> settings_;
    std::unique_ptr<OptionsPage> optionsPage_;
    int64_t sendService_ = 0;
};

// The check interval in minutes kept within 1..35791, so that the interval
// in milliseconds fits a signed 32-bit number.
int32_t clampCheckInterval(int64_t minutes);

// The file of a profile's known mail ids, named like its settings file:
// "postrix.known" for the main account, "postrix_<P>.known" for profile P.
std::u16string knownIdsFileName(std::u16string_view profileName);
// The file of where a profile's IMAP checks stand: "postrix.imap" or
// "postrix_<P>.imap".
std::u16string imapStateFileName(std::u16string_view profileName);

}  // namespace postrix
