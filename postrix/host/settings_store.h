// One account's configuration file, reached through the host's settings
// service. Without a file every read gives its default and writes do nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"

namespace postrix {

class SettingsStore {
public:
    // Opens "postrix.config" (empty profile name) or "postrix_<P>.config" in
    // the host's configuration directory and reads it once.
    SettingsStore(Host host, uintptr_t moduleHandle, std::u16string_view profileName);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    bool hasFile() const { return handle_ != 0; }

    void reload();  // has the host read the file again
    // Has the host write the file; when it cannot, the keys set since the
    // last write are named in the log (they stay unsaved).
    void flush();

    std::u16string getText(const char16_t* key);
    std::string getTextUtf8(const char16_t* key);
    int32_t getInt(const char16_t* key, int32_t defaultValue);
    void setText(const char16_t* key, std::u16string_view value);
    void setInt(const char16_t* key, int32_t value);

    void close();

    // The file name of a profile ("postrix.config" for the main account).
    static std::u16string fileNameFor(std::u16string_view profileName);

private:
    void remember(const char16_t* key);
    std::string unsavedMessage() const;

    // The host writes the handle into the first field of the object given to
    // "JOX/Settings/InitEx", so it must stay first.
    int64_t handle_ = 0;
    Host host_;
    uintptr_t moduleHandle_ = 0;
    std::u16string fileName_;
    std::vector<std::u16string> unsaved_;  // keys set since the last write
};

// Settings keys of an account.
namespace keys {
inline constexpr char16_t kMail[] = u"MAIL/mail";
inline constexpr char16_t kSmtpServer[] = u"MAIL/smtpServer";
inline constexpr char16_t kPop3Server[] = u"MAIL/pop3Server";
inline constexpr char16_t kLogin[] = u"MAIL/login";
inline constexpr char16_t kPassword[] = u"MAIL/password";
inline constexpr char16_t kMailboxWww[] = u"MAIL/mailboxWww";
inline constexpr char16_t kSsl[] = u"MAIL/ssl";
inline constexpr char16_t kCheckInterval[] = u"MAIL/checkInterval";
// "imap" checks the mailbox over IMAP; anything else (the default) over POP3.
inline constexpr char16_t kProtocol[] = u"MAIL/protocol";
inline constexpr char16_t kImapServer[] = u"MAIL/imapServer";
inline constexpr char16_t kImapFolder[] = u"MAIL/imapFolder";  // empty: INBOX
}  // namespace keys

inline constexpr int32_t kDefaultSsl = 1;
inline constexpr int32_t kDefaultCheckInterval = 1;
inline constexpr char16_t kDefaultImapFolder[] = u"INBOX";

// How an account checks its mailbox, as "MAIL/protocol" says: "imap" is
// IMAP, anything else (no key included) POP3, so older files keep POP3.
enum class MailProtocol { Pop3, Imap };
MailProtocol mailProtocol(SettingsStore& settings);
inline bool usesImap(SettingsStore& settings) { return mailProtocol(settings) == MailProtocol::Imap; }
// The value "MAIL/protocol" holds for a protocol.
std::u16string_view protocolText(MailProtocol protocol);
// The folder an IMAP check watches: "MAIL/imapFolder", INBOX when empty.
std::u16string imapFolder(SettingsStore& settings);

// The host's configuration directory ("JOX/GetDirectoryLocation"); false
// when the host gives none.
bool hostDirectory(const Host& host, std::u16string& directory);

}  // namespace postrix
