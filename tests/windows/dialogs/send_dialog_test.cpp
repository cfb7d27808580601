// The send-mail dialog as user32 shows it: opened from the contact menu of
// the plug-in DLL, read and operated through window messages from a second
// thread (the dialog is modal on the test's thread), with the real pop-up
// menu and the real open-file dialog, photographed on the way, and the mail
// it sends checked on the wire.
#include <gtest/gtest.h>

#include <algorithm>

#include "plugin_under_test.h"
#include "window_tools.h"

namespace postrix::wintest {
namespace {

using Texts = std::vector<std::string>;

constexpr char16_t kConfig[] = u"postrix.config";
constexpr wchar_t kCaption[] = L"Wyślij e-mail";
constexpr char kFastSend[] = "MAIL/fastSend";
constexpr int kRecipients = 1008, kAccount = 1009, kSubject = 1010, kBody = 1011, kAttach = 1012, kCount = 1013,
              kClip = 1014, kBodyLabel = 1015, kMinimumMarker = 1016;
// The explorer-style open-file dialog's file name: a combo box with an edit
// on Windows (cmb13), an edit in older templates (edt1).
constexpr int kFileNameCombo = 0x47C, kFileNameEdit = 0x480;
constexpr int kLookInCombo = 0x471;  // cmb2, the folder shown

RECT itemArea(HWND dialog, int id) {
    RECT area = windowArea(GetDlgItem(dialog, id));
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&area), 2);
    return area;
}

// Moves the mouse onto a control, where a user would click it (the menu
// opens at the cursor).
void pointAt(HWND dialog, int id) {
    const RECT area = windowArea(GetDlgItem(dialog, id));
    SetCursorPos((area.left + area.right) / 2, (area.top + area.bottom) / 2);
}

class SendDialogTest : public ::testing::Test {
protected:
    SendDialogTest() {
        host.setText(kConfig, u"MAIL/mail", u"alice@example.com");
        host.setText(kConfig, u"MAIL/login", u"alice");
        host.setText(kConfig, u"MAIL/password", u"sekret");
        host.setText(kConfig, u"MAIL/smtpServer", u"smtp.example.com");
        host.setInt(kConfig, u"MAIL/ssl", 0);
        host.contacts = {{u"Jan Nowak", u"jan@example.com"}};
        plugin.load();
    }

    void SetUp() override { ASSERT_TRUE(plugin.loaded()) << plugin.problem(); }

    // Opens the dialog from the contact menu as the messenger does and runs
    // the script against it until the dialog is gone.
    void openFromContactMenu(const std::function<void(UiDriver&, HWND)>& script) {
        ASSERT_EQ(host.rebuildMenu({0}), Texts{kFastSend});
        UiDriver driver([&](UiDriver& d) {
            HWND dialog = d.waitForWindow(L"#32770", kCaption, "the send dialog");
            script(d, dialog);
            d.expectSoon([&] { return !IsWindow(dialog); }, "the end of the send dialog");
        });
        host.clickMenuItem(kFastSend, {0});
        driver.finish();
    }

    // Opens the attachments menu with a click on "Załączniki..." (the
    // mouse over the button, where the menu opens).
    static HWND openMenu(UiDriver& d, HWND dialog) {
        pointAt(dialog, kAttach);
        click(dialog, kAttach);
        return d.waitForWindow(L"#32768", L"", "the attachments menu");
    }

    // Opens the open-file dialog as a user does: "Dodaj..." chosen in the
    // menu with the keyboard.
    static HWND openPicker(UiDriver& d, HWND dialog) {
        HWND menu = openMenu(d, dialog);
        EXPECT_EQ(menuEntries(menuOf(menu)).front(), "Dodaj...");
        pressKey(menu, VK_HOME);
        pressKey(menu, VK_RETURN);
        return d.waitForWindow(L"#32770", L"", "the open-file dialog", [&](HWND w) { return w != dialog; });
    }

    // Types into the open-file dialog's file-name field and presses Open.
    static void answerPicker(HWND picker, const std::wstring& typed) {
        HWND name = GetDlgItem(picker, kFileNameCombo);
        if (name == nullptr || !IsWindowVisible(name)) name = GetDlgItem(picker, kFileNameEdit);
        if (name == nullptr) throw DriverGaveUp("the open-file dialog has no file-name field");
        SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
        click(picker, IDOK);
    }

    // Adds a file as a user does, through the menu and the open-file dialog.
    static void attach(UiDriver& d, HWND dialog, const std::wstring& path, std::string_view photo = {}) {
        const std::string before = utf8(itemText(dialog, kCount));
        HWND picker = openPicker(d, dialog);
        if (!photo.empty()) {
            repaint(picker);
            saveScreenshot(windowArea(picker), photo);
        }
        answerPicker(picker, path);
        d.expectSoon([&] { return !IsWindow(picker) && itemVisible(dialog, kCount) &&
                                  (before == "0" || utf8(itemText(dialog, kCount)) != before); },
                     "the attachment count");
    }

    test::FakeConnection& smtp() { return host.connection("MAIL/Socket/SMTP/1"); }
    std::string reply(std::string_view text) {
        host.deliverData(smtp(), text);
        return host.takeSent(smtp());
    }

    test::FakeHost host;
    PluginUnderTest plugin{host};
};

TEST_F(SendDialogTest, ContactMenuOpensItWithPolishTextsTheRecipientAndTheAccount) {
    openFromContactMenu([](UiDriver&, HWND dialog) {
        EXPECT_EQ(utf8(textOf(dialog)), "Wyślij e-mail");
        EXPECT_TRUE(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);
        EXPECT_EQ(captions(dialog),
                  (Texts{"Do:", "Od:", "Temat:", "Treść:", "Wyślij", "Anuluj", "Załączniki...", "0", "Static"}));
        EXPECT_EQ(utf8(itemText(dialog, kBodyLabel)), "Treść:");
        EXPECT_EQ(utf8(itemText(dialog, kRecipients)), "Jan Nowak <jan@example.com>");
        EXPECT_TRUE(GetWindowLongW(GetDlgItem(dialog, kRecipients), GWL_STYLE) & ES_READONLY);
        EXPECT_EQ(comboItems(dialog, kAccount), Texts{"alice@example.com"});
        EXPECT_EQ(SendDlgItemMessageW(dialog, kAccount, CB_GETCURSEL, 0, 0), 0);
        EXPECT_EQ(LOWORD(SendMessageW(dialog, DM_GETDEFID, 0, 0)), IDOK);
        EXPECT_FALSE(itemVisible(dialog, kCount));
        EXPECT_FALSE(itemVisible(dialog, kClip));
        EXPECT_FALSE(itemVisible(dialog, kMinimumMarker));

        // The plug-in paints the dialog, its labels, edits and buttons white
        // and leaves lists and scroll bars to the system.
        const auto white = reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
        HDC dc = GetDC(dialog);
        const auto wp = reinterpret_cast<WPARAM>(dc);
        EXPECT_EQ(SendMessageW(dialog, WM_CTLCOLORDLG, wp, reinterpret_cast<LPARAM>(dialog)), white);
        EXPECT_EQ(SendMessageW(dialog, WM_CTLCOLORSTATIC, wp, reinterpret_cast<LPARAM>(GetDlgItem(dialog, kBodyLabel))),
                  white);
        EXPECT_EQ(SendMessageW(dialog, WM_CTLCOLOREDIT, wp, reinterpret_cast<LPARAM>(GetDlgItem(dialog, kSubject))),
                  white);
        EXPECT_EQ(SendMessageW(dialog, WM_CTLCOLORBTN, wp, reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK))), white);
        EXPECT_NE(SendMessageW(dialog, WM_CTLCOLORLISTBOX, wp, reinterpret_cast<LPARAM>(GetDlgItem(dialog, kAccount))),
                  white);
        ReleaseDC(dialog, dc);
        click(dialog, IDCANCEL);
    });
    EXPECT_EQ(smtp().connects, 0);
}

TEST_F(SendDialogTest, AFilePickedThroughTheMenuAndTheOpenFileDialogIsSentWithTheTypedTexts) {
    const std::wstring report = plugin.writeFile(L"raport.txt", "Raport kwartalny\r\n");
    openFromContactMenu([&](UiDriver& d, HWND dialog) {
        SetDlgItemTextW(dialog, kSubject, L"Zażółć gęślą jaźń");
        SetDlgItemTextW(dialog, kBody, L"Dzień dobry,\r\nw załączniku raport.");
        attach(d, dialog, report, "file_picker");
        EXPECT_EQ(utf8(itemText(dialog, kCount)), "1");
        EXPECT_TRUE(itemVisible(dialog, kClip));

        // The menu now offers the attachment for removal, with its picture;
        // Esc keeps it.
        HWND menu = openMenu(d, dialog);
        EXPECT_EQ(menuEntries(menuOf(menu)), (Texts{"Dodaj...", "-", utf8(report)}));
        EXPECT_NE(GetMenuItemID(menuOf(menu), 2), 0u);
        repaint(dialog);
        repaint(menu);
        EXPECT_GT(saveScreenshot(unionOf(windowArea(dialog), windowArea(menu)), "attachments_menu").cx, 0);
        pressKey(menu, VK_ESCAPE);
        d.expectSoon([&] { return !IsWindowVisible(menu); }, "the menu closing");

        repaint(dialog);
        EXPECT_GT(saveScreenshot(windowArea(dialog), "send_dialog").cx, 0);
        EXPECT_EQ(utf8(itemText(dialog, kCount)), "1");
        click(dialog, IDOK);
    });

    ASSERT_EQ(smtp().connects, 1);
    EXPECT_EQ(smtp().host, "smtp.example.com");
    EXPECT_EQ(reply("220 smtp.example.com ESMTP\r\n").rfind("EHLO ", 0), 0u);
    EXPECT_EQ(reply("250 AUTH LOGIN\r\n"), "AUTH LOGIN\r\n");
    EXPECT_EQ(reply("334 VXNlcm5hbWU6\r\n"), "YWxpY2U=\r\n");
    EXPECT_EQ(reply("334 UGFzc3dvcmQ6\r\n"), "c2VrcmV0\r\n");
    EXPECT_EQ(reply("235 2.7.0 Authentication successful\r\n"), "MAIL FROM: <alice@example.com>\r\n");
    EXPECT_EQ(reply("250 2.1.0 Ok\r\n"), "RCPT TO: <jan@example.com>\r\n");
    EXPECT_EQ(reply("250 2.1.5 Ok\r\n"), "DATA\r\n");
    const std::string message = reply("354 End data with <CR><LF>.<CR><LF>\r\n");
    EXPECT_NE(message.find("Subject: =?UTF-8?B?WmHFvMOzxYLEhyBnxJnFm2zEhSBqYcW6xYQ=?="), std::string::npos) << message;
    EXPECT_NE(message.find("RHppZcWEIGRvYnJ5LA0KdyB6YcWCxIVjem5pa3UgcmFwb3J0Lg=="), std::string::npos) << message;
    EXPECT_NE(message.find("raport.txt\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment"),
              std::string::npos)
        << message;
    EXPECT_NE(message.find("UmFwb3J0IGt3YXJ0YWxueQ0K"), std::string::npos) << message;  // the file's bytes
    EXPECT_EQ(reply("250 2.0.0 Ok: queued\r\n"), "QUIT\r\n");
    ASSERT_EQ(host.notifications.size(), 1u);
    EXPECT_EQ(host.notifications[0].text, "Mail wysłany pomyślnie");
}

TEST_F(SendDialogTest, TheMenuRemovesAnAttachmentAndReturnInTheSubjectSends) {
    const std::wstring first = plugin.writeFile(L"pierwszy.txt", "1");
    const std::wstring second = plugin.writeFile(L"drugi.txt", "2");
    openFromContactMenu([&](UiDriver& d, HWND dialog) {
        attach(d, dialog, first);
        attach(d, dialog, second);
        EXPECT_EQ(utf8(itemText(dialog, kCount)), "2");
        // Down from "Dodaj..." skips the separator to the first file.
        HWND menu = openMenu(d, dialog);
        EXPECT_EQ(menuEntries(menuOf(menu)), (Texts{"Dodaj...", "-", utf8(first), utf8(second)}));
        pressKey(menu, VK_HOME);
        pressKey(menu, VK_DOWN);
        pressKey(menu, VK_RETURN);
        d.expectSoon([&] { return utf8(itemText(dialog, kCount)) == "1"; }, "the removal");
        menu = openMenu(d, dialog);
        EXPECT_EQ(menuEntries(menuOf(menu)), (Texts{"Dodaj...", "-", utf8(second)}));
        pressKey(menu, VK_END);
        pressKey(menu, VK_RETURN);
        d.expectSoon([&] { return !itemVisible(dialog, kCount) && !itemVisible(dialog, kClip); },
                     "the indicator hiding");
        // Return in a single-line edit presses the default button.
        SetDlgItemTextW(dialog, kSubject, L"Bez załączników");
        pressKey(GetDlgItem(dialog, kSubject), VK_RETURN);
    });
    ASSERT_EQ(smtp().connects, 1);
    reply("220 ready\r\n");
    reply("250 AUTH LOGIN\r\n");
    reply("334 VXNlcm5hbWU6\r\n");
    reply("334 UGFzc3dvcmQ6\r\n");
    reply("235 ok\r\n");
    reply("250 ok\r\n");
    reply("250 ok\r\n");
    const std::string message = reply("354 go on\r\n");
    EXPECT_NE(message.find("Subject: =?UTF-8?B?"), std::string::npos) << message;
    EXPECT_EQ(message.find("Content-Disposition"), std::string::npos) << message;
}

TEST_F(SendDialogTest, APickTooLongForTheBufferIsRefusedWithAMessageBox) {
    // Eight names of 40 characters: more than the picker's 260 bytes.
    std::wstring names;
    for (int i = 0; i < 8; ++i) {
        const std::wstring name = L"zalacznik_" + std::to_wstring(i) + std::wstring(26, L'x') + L".txt";
        plugin.writeFile(name, "x");
        names += L"\"" + name + L"\" ";
    }
    openFromContactMenu([&](UiDriver& d, HWND dialog) {
        HWND picker = openPicker(d, dialog);
        // A folder typed and opened becomes the picker's folder.
        answerPicker(picker, plugin.folder());
        std::wstring folder = plugin.folder();
        folder.pop_back();
        const std::wstring leaf = folder.substr(folder.rfind(L'\\') + 1);
        d.expectSoon([&] { return textOf(GetDlgItem(picker, kLookInCombo)) == leaf; }, "the picker in the folder");
        answerPicker(picker, names);

        HWND box = d.waitForWindow(L"#32770", L"Załączniki", "the message box");
        const Texts texts = captions(box);
        EXPECT_NE(std::find(texts.begin(), texts.end(), "Zbyt długa ścieżka lub zbyt wiele wybranych plików"),
                  texts.end())
            << ::testing::PrintToString(texts);
        EXPECT_EQ(GetWindow(box, GW_OWNER), dialog);
        repaint(box);
        EXPECT_GT(saveScreenshot(windowArea(box), "message_box").cx, 0);
        click(box, IDOK);
        d.expectSoon([&] { return !IsWindow(box); }, "the message box closing");
        EXPECT_FALSE(itemVisible(dialog, kCount));
        click(dialog, IDCANCEL);
    });
}

TEST_F(SendDialogTest, ResizingKeepsTheButtonsBottomRightGrowsTheBodyAndStopsAtTheMinimum) {
    openFromContactMenu([](UiDriver&, HWND dialog) {
        const RECT marker = itemArea(dialog, kMinimumMarker);
        const RECT subjectBefore = itemArea(dialog, kSubject);
        SetWindowPos(dialog, nullptr, 0, 0, 600, 500, SWP_NOMOVE | SWP_NOZORDER);
        RECT client{};
        GetClientRect(dialog, &client);
        const RECT send = itemArea(dialog, IDOK), cancel = itemArea(dialog, IDCANCEL), body = itemArea(dialog, kBody),
                   label = itemArea(dialog, kBodyLabel), attach = itemArea(dialog, kAttach);
        EXPECT_EQ(cancel.right, client.right - 14);
        EXPECT_EQ(cancel.bottom, client.bottom - 14);
        EXPECT_EQ(send.right, cancel.left - 6);
        EXPECT_EQ(send.top, cancel.top);
        EXPECT_EQ(attach.top, cancel.top);
        EXPECT_EQ(body.top, label.bottom + 2);
        EXPECT_EQ(body.right - body.left, client.right - 26);
        EXPECT_EQ(body.bottom, cancel.top - 14);
        const RECT subjectAfter = itemArea(dialog, kSubject);
        EXPECT_EQ(subjectAfter.right - subjectAfter.left, subjectBefore.right - subjectBefore.left);

        SetWindowPos(dialog, nullptr, 0, 0, 100, 100, SWP_NOMOVE | SWP_NOZORDER);
        const RECT smallest = windowArea(dialog);
        EXPECT_EQ(smallest.right - smallest.left, marker.right + 28);
        EXPECT_EQ(smallest.bottom - smallest.top, marker.bottom + 14);
        click(dialog, IDCANCEL);
    });
}

}  // namespace
}  // namespace postrix::wintest
