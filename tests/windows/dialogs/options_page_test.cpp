// The account's options page as user32 shows it: created by the host's page
// events as a child of a window of the test (the messenger's options
// window), read and typed into through window messages, photographed, and
// saved into the account's settings.
#include <gtest/gtest.h>

#include <optional>
#include <variant>

#include "abi/records_accounts.h"
#include "plugin_under_test.h"
#include "window_tools.h"

namespace postrix::wintest {
namespace {

using Texts = std::vector<std::string>;

constexpr char16_t kConfig[] = u"postrix.config";
constexpr int kMail = 1001, kLogin = 1002, kPassword = 1003, kSmtpServer = 1004, kPop3Server = 1005,
              kMailboxWww = 1006, kSsl = 1007, kCheckInterval = 1008, kProtocol = 1009, kImapServer = 1010,
              kImapFolder = 1011;
// Room for the whole page: 259 by 277 dialog units are 389 by 450 pixels.
constexpr RECT kPageArea{12, 12, 12 + 420, 12 + 470};

// The messenger's options window, which the page lives in.
HWND makeOptionsWindow() {
    static const ATOM windowClass = [] {
        WNDCLASSW description{};
        description.lpfnWndProc = DefWindowProcW;
        description.hInstance = GetModuleHandleW(nullptr);
        description.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        description.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        description.lpszClassName = L"PostrixTestOptionsWindow";
        return RegisterClassW(&description);
    }();
    if (windowClass == 0) return nullptr;
    return CreateWindowExW(0, L"PostrixTestOptionsWindow", L"Opcje", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 480,
                           560, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

class OptionsPageTest : public ::testing::Test {
protected:
    OptionsPageTest() {
        plugin.emplace(host);
        host.setText(kConfig, u"MAIL/mail", u"alice@example.com");
        host.setText(kConfig, u"MAIL/login", u"alice");
        host.setText(kConfig, u"MAIL/password", u"sekret");
        host.setText(kConfig, u"MAIL/smtpServer", u"smtp.example.com");
        host.setText(kConfig, u"MAIL/mailboxWww", u"https://poczta.example.com/");
        host.setInt(kConfig, u"MAIL/checkInterval", 5);
        host.setText(kConfig, u"MAIL/protocol", u"imap");
        host.setText(kConfig, u"MAIL/imapServer", u"imap.example.com:993");
        plugin->load();
        window = makeOptionsWindow();
    }
    ~OptionsPageTest() override {
        plugin.reset();  // the account destroys its page
        if (window != nullptr) DestroyWindow(window);
    }

    void SetUp() override {
        ASSERT_TRUE(plugin->loaded()) << plugin->problem();
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(host.optionsPages.size(), 1u);
    }

    PageEventRecord event(int32_t code) {
        return host.pageEvent(host.optionsPages.begin()->first, code, reinterpret_cast<uintptr_t>(window),
                              kPageArea.left, kPageArea.top, kPageArea.right - kPageArea.left,
                              kPageArea.bottom - kPageArea.top);
    }
    HWND page() const { return FindWindowExW(window, nullptr, L"#32770", nullptr); }
    RECT pageArea() const {
        RECT area = windowArea(page());
        MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&area), 2);
        return area;
    }
    std::string stored(const char16_t* key) {
        const test::SettingValue& value = host.file(kConfig)[key];
        if (const auto* text = std::get_if<std::u16string>(&value)) return test::utf8(*text);
        return std::to_string(std::get<int64_t>(value));
    }

    test::FakeHost host;
    std::optional<PluginUnderTest> plugin;
    HWND window = nullptr;
};

TEST_F(OptionsPageTest, ShowsTheAccountsSettingsUnderPolishLabelsWhereTheHostPutsIt) {
    const PageEventRecord shown = event(kPageShow);
    EXPECT_EQ(test::utf8(shown.title), "Mail");
    EXPECT_EQ(test::utf8(shown.description), "Wysyłanie/odbieranie poczty");
    HWND options = page();
    ASSERT_NE(options, nullptr);
    EXPECT_TRUE(IsWindowVisible(options));
    EXPECT_TRUE(GetWindowLongW(options, GWL_STYLE) & WS_CHILD);
    const RECT area = pageArea();
    EXPECT_EQ(area.left, kPageArea.left);
    EXPECT_EQ(area.top, kPageArea.top);
    EXPECT_EQ(area.right, kPageArea.right);
    EXPECT_EQ(area.bottom, kPageArea.bottom);

    EXPECT_EQ(captions(options),
              (Texts{"Adres e-mail:", "Login:", "Hasło:", "Bezpieczne połączenie SSL/TLS (zalecane)", "Serwer SMTP:",
                     "Odbiór poczty:", "Serwer POP3 (pozostaw pusty, aby nie sprawdzać nowej poczty):", "Serwer IMAP:",
                     "Folder IMAP (domyślnie INBOX):",
                     "Adres wywoływany po kliknięciu na powiadomienie (opcjonalny):", "Sprawdzanie poczty co", "min"}));
    EXPECT_EQ(comboItems(options, kProtocol), (Texts{"POP3", "IMAP"}));
    EXPECT_EQ(SendDlgItemMessageW(options, kProtocol, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(utf8(itemText(options, kImapServer)), "imap.example.com:993");
    EXPECT_EQ(utf8(itemText(options, kImapFolder)), "");
    // The lowest control, the interval, lies inside the page.
    RECT interval{};
    GetWindowRect(GetDlgItem(options, kCheckInterval), &interval);
    EXPECT_LE(interval.bottom, windowArea(options).bottom);
    EXPECT_EQ(utf8(itemText(options, kMail)), "alice@example.com");
    EXPECT_EQ(utf8(itemText(options, kLogin)), "alice");
    EXPECT_EQ(utf8(itemText(options, kPassword)), "sekret");
    EXPECT_TRUE(GetWindowLongW(GetDlgItem(options, kPassword), GWL_STYLE) & ES_PASSWORD);
    EXPECT_EQ(utf8(itemText(options, kSmtpServer)), "smtp.example.com");
    EXPECT_EQ(utf8(itemText(options, kPop3Server)), "");
    EXPECT_EQ(utf8(itemText(options, kMailboxWww)), "https://poczta.example.com/");
    EXPECT_EQ(IsDlgButtonChecked(options, kSsl), UINT{BST_CHECKED});  // no "MAIL/ssl": secure
    EXPECT_EQ(utf8(itemText(options, kCheckInterval)), "5");

    pumpMessages(std::chrono::milliseconds(300));
    repaint(window);
    pumpMessages(std::chrono::milliseconds(300));
    EXPECT_GT(saveScreenshot(windowArea(window), "options_page").cx, 0);
}

TEST_F(OptionsPageTest, ApplyWritesWhatWasTypedAndTheIntervalComesBackClamped) {
    event(kPageShow);
    HWND options = page();
    ASSERT_NE(options, nullptr);
    SetDlgItemTextW(options, kMail, L"łucja@przykład.pl");
    SetDlgItemTextW(options, kLogin, L"łucja");
    SetDlgItemTextW(options, kPassword, L"zażółć");
    SetDlgItemTextW(options, kSmtpServer, L"smtp.przykład.pl");
    CheckDlgButton(options, kSsl, BST_UNCHECKED);
    SetDlgItemTextW(options, kCheckInterval, L"0");
    SendDlgItemMessageW(options, kProtocol, CB_SETCURSEL, 0, 0);
    SetDlgItemTextW(options, kImapFolder, L"Skrzynka/Ważne");

    event(kPageApply);
    EXPECT_EQ(stored(u"MAIL/mail"), "łucja@przykład.pl");
    EXPECT_EQ(stored(u"MAIL/login"), "łucja");
    EXPECT_EQ(stored(u"MAIL/password"), "zażółć");
    EXPECT_EQ(stored(u"MAIL/smtpServer"), "smtp.przykład.pl");
    EXPECT_EQ(stored(u"MAIL/ssl"), "0");
    EXPECT_EQ(stored(u"MAIL/checkInterval"), "1");
    EXPECT_EQ(stored(u"MAIL/protocol"), "pop3");
    EXPECT_EQ(stored(u"MAIL/imapFolder"), "Skrzynka/Ważne");
    EXPECT_EQ(stored(u"MAIL/imapServer"), "imap.example.com:993");  // untouched
    // The page shows the interval as stored.
    EXPECT_EQ(utf8(itemText(options, kCheckInterval)), "1");
    ASSERT_FALSE(host.loginInfos.empty());
    EXPECT_EQ(host.loginInfos.back().login, "łucja@przykład.pl");
}

TEST_F(OptionsPageTest, HostEventsHideMoveAndCloseThePageAndCloseSaves) {
    event(kPageHide);  // the first event builds the page, hidden
    HWND options = page();
    ASSERT_NE(options, nullptr);
    EXPECT_FALSE(IsWindowVisible(options));
    host.pageEvent(host.optionsPages.begin()->first, kPageMove, reinterpret_cast<uintptr_t>(window), 30, 40, 400,
                   300);
    EXPECT_EQ(pageArea().left, 30);
    EXPECT_EQ(pageArea().top, 40);
    EXPECT_EQ(pageArea().right - pageArea().left, 400);
    EXPECT_FALSE(IsWindowVisible(options));

    SetDlgItemTextW(options, kLogin, L"alicja");
    event(kPageClose);
    EXPECT_FALSE(IsWindow(options));
    EXPECT_EQ(stored(u"MAIL/login"), "alicja");
}

}  // namespace
}  // namespace postrix::wintest
