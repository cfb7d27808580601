// The account's page in the host's options window: built from dialog 101,
// filled from the account's settings, and on apply writing back only what
// changed, restarting the mail-check timer and checking mail when a
// connection setting changed.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/ui.h"

namespace postrix {

class Account;

namespace options_page_ids {
inline constexpr int kMail = 1001;
inline constexpr int kLogin = 1002;
inline constexpr int kPassword = 1003;
inline constexpr int kSmtpServer = 1004;
inline constexpr int kPop3Server = 1005;
inline constexpr int kMailboxWww = 1006;
inline constexpr int kSsl = 1007;
inline constexpr int kCheckInterval = 1008;
inline constexpr int kProtocol = 1009;  // drop-down list: POP3, IMAP
inline constexpr int kImapServer = 1010;
inline constexpr int kImapFolder = 1011;
}  // namespace options_page_ids

class OptionsPage final : public platform::DialogProcedure {
public:
    explicit OptionsPage(Account& account);
    // Destroys the page's window.
    ~OptionsPage() override;
    OptionsPage(const OptionsPage&) = delete;
    OptionsPage& operator=(const OptionsPage&) = delete;

    // Reloads the settings and creates the page, filled, as a child of parent.
    void create(platform::Window parent);
    platform::Window window() const { return window_; }

    // Writes the page's values to the account's settings.
    void apply();

    bool onInit(platform::Window dialog) override;
    bool onCommand(platform::Window, int) override { return false; }
    platform::Brush colourFor(platform::Window dialog, platform::ColourQuery query) override;

private:
    bool applyText(int controlId, const char16_t* key);
    bool applyProtocol();

    Account& account_;
    platform::Window window_ = 0;
};

// Handler of the page's events; the context is the account.
int64_t onOptionsPage(uintptr_t pageEvent, uintptr_t unused, uintptr_t context);

// The interval edit's text as a number: optional blanks and sign, then
// digits up to the first other character; 0 when there are none.
int64_t readIntervalText(std::u16string_view text);

}  // namespace postrix
