// The line a command prints when an account's settings lack what a check
// or a send needs.
#include "cli/command_support.h"

#include <gtest/gtest.h>

namespace joxhost {
namespace {

TEST(IncompleteSettings, NameTheServerOfTheCheckedProtocolAndWhatElseIsMissing) {
    const SettingValues complete{{u"MAIL/mail", SettingValue::ofText(u"jan@example.com")},
                                 {u"MAIL/login", SettingValue::ofText(u"jan")},
                                 {u"MAIL/password", SettingValue::ofText(u"x")},
                                 {u"MAIL/smtpServer", SettingValue::ofText(u"smtp.example.com")},
                                 {u"MAIL/pop3Server", SettingValue::ofText(u"pop.example.com")},
                                 {u"MAIL/imapServer", SettingValue::ofText(u"imap.example.com")}};
    struct Case {
        const char* name;
        SettingValues changes;
        AccountTask task;
        std::string line;
    };
    const Case cases[] = {
        {"pop3 complete", {}, AccountTask::Check, ""},
        {"imap complete", {{u"MAIL/protocol", SettingValue::ofText(u"imap")}}, AccountTask::Check, ""},
        {"no pop3 server",
         {{u"MAIL/pop3Server", SettingValue::ofText(u"")}},
         AccountTask::Check,
         "check: account 2 has no POP3 server (MAIL/pop3Server is empty): it checks no mail"},
        {"no imap server",
         {{u"MAIL/protocol", SettingValue::ofText(u"imap")}, {u"MAIL/imapServer", SettingValue::ofText(u"")}},
         AccountTask::Check,
         "check: account 2 has no IMAP server (MAIL/imapServer is empty): it checks no mail"},
        // Over IMAP the POP3 server is not needed, and the other way round.
        {"imap without pop3",
         {{u"MAIL/protocol", SettingValue::ofText(u"imap")}, {u"MAIL/pop3Server", SettingValue::ofText(u"")}},
         AccountTask::Check,
         ""},
        {"pop3 without imap", {{u"MAIL/imapServer", SettingValue::ofText(u"")}}, AccountTask::Check, ""},
        {"imap server and password",
         {{u"MAIL/protocol", SettingValue::ofText(u"imap")},
          {u"MAIL/imapServer", SettingValue::ofText(u"")},
          {u"MAIL/password", SettingValue::ofText(u"")}},
         AccountTask::Check,
         "check: account 2 cannot check mail: missing MAIL/imapServer, MAIL/password"},
        {"send over an imap account",
         {{u"MAIL/protocol", SettingValue::ofText(u"imap")}, {u"MAIL/smtpServer", SettingValue::ofText(u"")}},
         AccountTask::Send,
         "chat: account 2 cannot send mail: missing MAIL/smtpServer"},
    };
    for (const Case& c : cases) {
        SettingValues values = complete;
        for (const auto& [key, value] : c.changes) values[key] = value;
        const char* command = c.task == AccountTask::Check ? "check" : "chat";
        EXPECT_EQ(incompleteSettingsText(values, 2, c.task, command), c.line) << c.name;
    }
}

}  // namespace
}  // namespace joxhost
