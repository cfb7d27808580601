// The table of settings `config` takes: lookups, the key suggested for a
// typo, the values each type takes, and what a check or a send still lacks.
#include "store/known_settings.h"

#include <gtest/gtest.h>

namespace joxhost {
namespace {

const KnownSetting& setting(std::string_view key) {
    const KnownSetting* found = findSetting(key);
    EXPECT_NE(found, nullptr) << key;
    return *found;
}

TEST(KnownSettings, HoldTheAccountKeysAndTheProfileWideCaFile) {
    for (const char* key : {"MAIL/mail", "MAIL/smtpServer", "MAIL/pop3Server", "MAIL/login", "MAIL/password",
                            "MAIL/mailboxWww", "MAIL/ssl", "MAIL/checkInterval", "MAIL/protocol",
                            "MAIL/imapServer", "MAIL/imapFolder"}) {
        EXPECT_EQ(setting(key).home, SettingHome::Account) << key;
    }
    EXPECT_EQ(setting("host/caFile").home, SettingHome::Host);
    EXPECT_EQ(findSetting("mail/mail"), nullptr);  // keys are exact; only suggestions ignore case
    EXPECT_EQ(findSetting("MAIL/ssl "), nullptr);
}

TEST(KnownSettings, SuggestTheNearestKeyForATypo) {
    EXPECT_EQ(editDistance("smtpServr", "smtpServer"), 1u);
    EXPECT_EQ(editDistance("", "abc"), 3u);
    EXPECT_EQ(editDistance("SSL", "ssl"), 0u);
    EXPECT_EQ(editDistance("kitten", "sitting"), 3u);

    const std::pair<const char*, const char*> typos[] = {
        {"MAIL/smtpServr", "MAIL/smtpServer"},
        {"MAIL/pop3server", "MAIL/pop3Server"},
        {"MAIL/SSL", "MAIL/ssl"},
        {"ssl", "MAIL/ssl"},
        {"checkInterval", "MAIL/checkInterval"},
        {"MAIL/pasword", "MAIL/password"},
        {"host/cafile", "host/caFile"},
        {"MAIL/checkIntervall", "MAIL/checkInterval"},
        {"MAIL/imapserver", "MAIL/imapServer"},
        {"protocol", "MAIL/protocol"},
        {"MAIL/imapFolders", "MAIL/imapFolder"},
    };
    for (const auto& [typo, meant] : typos) {
        EXPECT_EQ(nearestSetting(typo), std::optional<std::string_view>(meant)) << typo;
    }
    EXPECT_EQ(nearestSetting("MAIL/foo"), std::nullopt);
    EXPECT_EQ(nearestSetting("colour"), std::nullopt);
    EXPECT_EQ(unknownSettingText("MAIL/smtpServr"),
              "unknown key 'MAIL/smtpServr' (did you mean MAIL/smtpServer?)");
    EXPECT_EQ(unknownSettingText("x"), "unknown key 'x' (see joxhost config --help)");
}

TEST(KnownSettings, StoreEachValueWithItsKeysType) {
    struct Case {
        const char* key;
        const char* text;
        std::optional<SettingValue> value;
    };
    const Case cases[] = {
        {"MAIL/ssl", "1", SettingValue::ofInt(1)},
        {"MAIL/ssl", "int:0", SettingValue::ofInt(0)},
        {"MAIL/checkInterval", "15", SettingValue::ofInt(15)},
        {"MAIL/checkInterval", "int:35791", SettingValue::ofInt(35791)},
        {"MAIL/mail", "jan@example.com", SettingValue::ofText(u"jan@example.com")},
        {"MAIL/password", "text:int:7", SettingValue::ofText(u"int:7")},
        {"MAIL/password", "12345", SettingValue::ofText(u"12345")},  // digits of a text stay a text
        {"MAIL/login", "", SettingValue::ofText(u"")},
        {"MAIL/mail", "zażółć=gęślą", SettingValue::ofText(u"zażółć=gęślą")},
        {"MAIL/pop3Server", "", SettingValue::ofText(u"")},  // switches checks off
        {"MAIL/pop3Server", "pop.example.com", SettingValue::ofText(u"pop.example.com")},
        {"MAIL/smtpServer", "localhost:587", SettingValue::ofText(u"localhost:587")},
        {"MAIL/smtpServer", "text:[::1]:25", SettingValue::ofText(u"[::1]:25")},
        {"MAIL/protocol", "imap", SettingValue::ofText(u"imap")},
        {"MAIL/protocol", "pop3", SettingValue::ofText(u"pop3")},
        {"MAIL/protocol", "IMAP", SettingValue::ofText(u"imap")},  // as the plug-in reads it
        {"MAIL/protocol", "text:Pop3", SettingValue::ofText(u"pop3")},
        {"MAIL/imapServer", "127.0.0.1:10993", SettingValue::ofText(u"127.0.0.1:10993")},
        {"MAIL/imapServer", "", SettingValue::ofText(u"")},
        {"MAIL/imapFolder", "Archiwum/Ważne", SettingValue::ofText(u"Archiwum/Ważne")},
        {"MAIL/imapFolder", "", SettingValue::ofText(u"")},  // INBOX
    };
    for (const auto& c : cases) {
        const auto parsed = parseSettingValue(setting(c.key), c.text);
        EXPECT_EQ(parsed.value, c.value) << c.key << "=" << c.text << ": " << parsed.problem;
        EXPECT_EQ(parsed.problem, "");
    }
}

TEST(KnownSettings, RefuseAValueOfTheWrongTypeNamingTheKey) {
    const std::pair<const char*, const char*> refused[] = {
        {"MAIL/ssl", "yes"},
        {"MAIL/ssl", "2"},
        {"MAIL/ssl", "int:"},
        {"MAIL/ssl", "text:1"},
        {"MAIL/ssl", " 1"},
        {"MAIL/checkInterval", "abc"},
        {"MAIL/checkInterval", "0"},
        {"MAIL/checkInterval", "-3"},
        {"MAIL/checkInterval", "35792"},
        {"MAIL/checkInterval", "1.5"},
        {"MAIL/checkInterval", "99999999999999999999"},
        {"MAIL/mail", "int:5"},
        {"MAIL/smtpServer", "host:0"},
        {"MAIL/smtpServer", "host:65536"},
        {"MAIL/smtpServer", "host:x"},
        {"MAIL/pop3Server", ":995"},
        {"MAIL/pop3Server", "host:"},
        {"MAIL/protocol", "imap4"},
        {"MAIL/protocol", ""},
        {"MAIL/protocol", "int:1"},
        {"MAIL/protocol", " imap"},
        {"MAIL/imapServer", "imap:99999"},
    };
    for (const auto& [key, text] : refused) {
        const auto parsed = parseSettingValue(setting(key), text);
        EXPECT_FALSE(parsed.value) << key << "=" << text;
        EXPECT_TRUE(parsed.problem.starts_with(key)) << parsed.problem;
        EXPECT_EQ(parsed.problem.find('\n'), std::string::npos);
    }
    EXPECT_EQ(parseSettingValue(setting("MAIL/checkInterval"), "abc").problem,
              "MAIL/checkInterval takes whole minutes from 1 to 35791, got 'abc'");
    EXPECT_EQ(parseSettingValue(setting("MAIL/ssl"), "yes").problem, "MAIL/ssl takes 0 or 1, got 'yes'");
    EXPECT_EQ(parseSettingValue(setting("MAIL/protocol"), "smtp").problem,
              "MAIL/protocol takes pop3 or imap, got 'smtp'");
}

TEST(KnownSettings, KeysJoxhostDoesNotKnowTakeTheValueAsGiven) {
    EXPECT_EQ(parseUntypedValue("int:-7").value, SettingValue::ofInt(-7));
    EXPECT_EQ(parseUntypedValue("7").value, SettingValue::ofText(u"7"));
    EXPECT_EQ(parseUntypedValue("text:int:7").value, SettingValue::ofText(u"int:7"));
    EXPECT_EQ(parseUntypedValue("int:yes").problem, "not an integer in 'int:yes'");
}

TEST(KnownSettings, MinutesAreWholeAndWithinTheTimersReach) {
    EXPECT_EQ(parseMinutes("1"), 1);
    EXPECT_EQ(parseMinutes("35791"), 35791);
    for (const char* bad : {"", "0", "-3", "+5", "5 ", "abc", "35792", "5min"}) {
        EXPECT_EQ(parseMinutes(bad), std::nullopt) << bad;
    }
}

TEST(KnownSettings, NameWhatACheckOrASendLacks) {
    SettingValues values;
    EXPECT_EQ(missingSettings(values, AccountTask::Check),
              (std::vector<std::string>{"MAIL/pop3Server", "MAIL/mail", "MAIL/login", "MAIL/password"}));
    EXPECT_EQ(missingSettings(values, AccountTask::Send),
              (std::vector<std::string>{"MAIL/smtpServer", "MAIL/mail", "MAIL/login", "MAIL/password"}));

    values[u"MAIL/mail"] = SettingValue::ofText(u"jan@example.com");
    values[u"MAIL/login"] = SettingValue::ofInt(1234);  // read as its digits
    values[u"MAIL/password"] = SettingValue::ofText(u"");
    values[u"MAIL/smtpServer"] = SettingValue::ofText(u"smtp.example.com");
    EXPECT_EQ(missingSettings(values, AccountTask::Send), (std::vector<std::string>{"MAIL/password"}));
    EXPECT_EQ(missingSettings(values, AccountTask::Check),
              (std::vector<std::string>{"MAIL/pop3Server", "MAIL/password"}));
    values[u"MAIL/password"] = SettingValue::ofText(u"x");
    EXPECT_EQ(missingSettings(values, AccountTask::Send), std::vector<std::string>{});
}

TEST(KnownSettings, ACheckOverImapNeedsTheImapServerInsteadOfThePop3One) {
    SettingValues values{{u"MAIL/mail", SettingValue::ofText(u"jan@example.com")},
                         {u"MAIL/login", SettingValue::ofText(u"jan")},
                         {u"MAIL/password", SettingValue::ofText(u"x")},
                         {u"MAIL/pop3Server", SettingValue::ofText(u"pop.example.com")}};
    struct Case {
        std::optional<SettingValue> protocol;  // nothing: no key
        bool imap;
    };
    const Case cases[] = {
        {std::nullopt, false},
        {SettingValue::ofText(u"pop3"), false},
        {SettingValue::ofText(u"imap"), true},
        {SettingValue::ofText(u"IMAP"), false},  // written by hand: the plug-in reads POP3 too
        {SettingValue::ofInt(1), false},
    };
    for (const Case& c : cases) {
        if (c.protocol) values[u"MAIL/protocol"] = *c.protocol;
        else values.erase(u"MAIL/protocol");
        EXPECT_EQ(checksOverImap(values), c.imap);
        EXPECT_EQ(missingSettings(values, AccountTask::Check),
                  c.imap ? std::vector<std::string>{"MAIL/imapServer"} : std::vector<std::string>{});
        EXPECT_EQ(missingSettings(values, AccountTask::Send), std::vector<std::string>{"MAIL/smtpServer"});
    }
    values[u"MAIL/protocol"] = SettingValue::ofText(u"imap");
    values[u"MAIL/imapServer"] = SettingValue::ofText(u"imap.example.com");
    values.erase(u"MAIL/pop3Server");
    EXPECT_EQ(missingSettings(values, AccountTask::Check), std::vector<std::string>{});
}

}  // namespace
}  // namespace joxhost
