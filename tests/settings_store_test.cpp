// The settings store over the host's settings service.
#include <gtest/gtest.h>

#include "host/settings_store.h"
#include "platform/files.h"
#include "support/fake_host.h"

namespace postrix {
namespace {

using test::FakeHost;

TEST(SettingsStoreTest, FileNameJoinsTheDirectoryWithOneSeparator) {
    const std::u16string folder = platform::kPathSeparator + std::u16string(u"profile");
    for (const std::u16string& directory : {folder, folder + platform::kPathSeparator}) {
        FakeHost host;
        host.directory = directory;
        SettingsStore main(Host(host.table()), 7, u"");
        SettingsStore profile(Host(host.table()), 7, u"work");
        EXPECT_TRUE(host.files.count(folder + platform::kPathSeparator + u"postrix.config"));
        EXPECT_TRUE(host.files.count(folder + platform::kPathSeparator + u"postrix_work.config"));
        EXPECT_EQ(host.settingsReads, 2);  // each store reads its file once
    }
}

TEST(SettingsStoreTest, ReadsGiveDefaultsForMissingKeysAndWithoutAFile) {
    FakeHost host;
    {
        SettingsStore store(Host(host.table()), 7, u"");
        host.setText(u"postrix.config", u"MAIL/login", u"");
        EXPECT_EQ(store.getInt(u"MAIL/ssl", 1), 1);
        EXPECT_EQ(store.getText(u"MAIL/mail"), u"");
        EXPECT_EQ(store.getText(u"MAIL/login"), u"");
    }
    host.directoryAvailable = false;
    SettingsStore store(Host(host.table()), 7, u"");
    EXPECT_FALSE(store.hasFile());
    EXPECT_EQ(store.getInt(u"MAIL/ssl", 1), 1);
    store.setText(u"MAIL/mail", u"ignored");
    store.flush();
    EXPECT_EQ(host.settingsWrites, 0);
}

TEST(SettingsStoreTest, ValuesRoundTripWithTheirTypes) {
    FakeHost host;
    SettingsStore store(Host(host.table()), 7, u"");
    store.setText(u"MAIL/mail", u"zażółć@example.com");
    store.setInt(u"MAIL/checkInterval", -5);
    store.flush();
    EXPECT_EQ(host.settingsWrites, 1);
    EXPECT_EQ(store.getText(u"MAIL/mail"), u"zażółć@example.com");
    EXPECT_EQ(store.getTextUtf8(u"MAIL/mail"), "zażółć@example.com");
    EXPECT_EQ(store.getInt(u"MAIL/checkInterval", 1), -5);
    EXPECT_EQ(std::get<int64_t>(host.file(u"postrix.config")[u"MAIL/checkInterval"]), -5);
    // A text where an integer is asked for delivers nothing.
    EXPECT_EQ(store.getInt(u"MAIL/mail", 9), 9);
}

TEST(SettingsStoreTest, ProtocolIsImapOnlyWhenSaidSoAndTheFolderDefaultsToInbox) {
    struct Case {
        const char16_t* protocol;  // nullptr: no key
        MailProtocol read;
    };
    const Case cases[] = {
        {nullptr, MailProtocol::Pop3}, {u"", MailProtocol::Pop3},      {u"pop3", MailProtocol::Pop3},
        {u"imap", MailProtocol::Imap}, {u"imap4", MailProtocol::Pop3}, {u"smtp", MailProtocol::Pop3},
    };
    for (const Case& c : cases) {
        FakeHost host;
        if (c.protocol != nullptr) host.setText(u"postrix.config", u"MAIL/protocol", c.protocol);
        SettingsStore store(Host(host.table()), 7, u"");
        EXPECT_EQ(mailProtocol(store), c.read) << (c.protocol ? test::utf8(c.protocol) : "(none)");
        EXPECT_EQ(usesImap(store), c.read == MailProtocol::Imap);
    }
    FakeHost host;
    SettingsStore store(Host(host.table()), 7, u"");
    EXPECT_EQ(imapFolder(store), u"INBOX");
    host.setText(u"postrix.config", u"MAIL/imapFolder", u"");
    EXPECT_EQ(imapFolder(store), u"INBOX");
    host.setText(u"postrix.config", u"MAIL/imapFolder", u"Archiwum/Praca");
    EXPECT_EQ(imapFolder(store), u"Archiwum/Praca");
    EXPECT_EQ(protocolText(MailProtocol::Imap), u"imap");
    EXPECT_EQ(protocolText(MailProtocol::Pop3), u"pop3");
}

TEST(SettingsStoreTest, RefusedFileOpensNothingAndCloseHappensOnce) {
    FakeHost host;
    host.setResult(u"JOX/Settings/InitEx", 1);
    {
        SettingsStore store(Host(host.table()), 7, u"");
        EXPECT_FALSE(store.hasFile());
    }
    EXPECT_EQ(host.settingsCloses, 0);
    host.clearResult(u"JOX/Settings/InitEx");
    {
        SettingsStore store(Host(host.table()), 7, u"");
        store.close();
    }
    EXPECT_EQ(host.settingsCloses, 1);
}

TEST(SettingsStoreTest, AWriteTheHostRefusesIsLoggedWithTheUnsavedKeys) {
    FakeHost host;
    SettingsStore store(Host(host.table()), 7, u"work");
    host.setResult(u"JOX/Settings/Write", 1);
    store.setText(u"MAIL/mail", u"jan@example.com");
    store.setInt(u"MAIL/ssl", 0);
    store.setInt(u"MAIL/ssl", 1);
    store.flush();
    ASSERT_EQ(host.logs.size(), 1u);
    EXPECT_EQ(host.logs[0].text, "Writing settings MAIL/mail, MAIL/ssl to postrix_work.config failed");
    EXPECT_EQ(host.logs[0].source, "MAIL");
    EXPECT_EQ(host.logs[0].level, -1);

    host.clearResult(u"JOX/Settings/Write");
    store.flush();
    EXPECT_EQ(host.logs.size(), 1u);
    host.setResult(u"JOX/Settings/Write", 1);
    store.setInt(u"MAIL/checkInterval", 5);
    store.flush();
    ASSERT_EQ(host.logs.size(), 2u);
    EXPECT_EQ(host.logs[1].text, "Writing setting MAIL/checkInterval to postrix_work.config failed");
}

TEST(SettingsStoreTest, AFileTheHostCannotOpenIsLogged) {
    FakeHost host;
    host.setResult(u"JOX/Settings/InitEx", 1);
    SettingsStore store(Host(host.table()), 7, u"");
    ASSERT_EQ(host.logs.size(), 1u);
    EXPECT_EQ(host.logs[0].text, "Opening settings file postrix.config failed");
}

}  // namespace
}  // namespace postrix
