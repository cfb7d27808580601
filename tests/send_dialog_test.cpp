// The send-mail dialog run by the headless toolkit and operated through the
// desktop's operations table, as a user would.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>

#include <sys/stat.h>

#include "fixtures/installed_desktop.h"
#include "platform/posix/desktop_bridge.h"
#include "plugin/dialog_colours.h"
#include "plugin/plugin.h"
#include "support/fake_host.h"
#include "support/temp_dir.h"
#include "ui/send_dialog.h"

namespace postrix {
namespace {

using test::DialogDriver;
using test::ShownMenuEntry;
using Paths = std::vector<std::string>;

constexpr int kAdd = 40002;

class SendDialogTest : public ::testing::Test {
protected:
    SendDialogTest() {
        host.directory = test::wide(dir.path().string() + "/");
        dir.write("postrix_work.config", "");
        host.setText(u"postrix.config", u"MAIL/mail", u"alice@example.com");
        host.setText(u"postrix_work.config", u"MAIL/mail", u"bob@praca.pl");
        Plugin::instance().setModuleHandle(0x1234);
        Plugin::instance().load(host.table());
        desktop.chooseFromMenu = [this](const std::vector<ShownMenuEntry>&) {
            if (choices.empty()) return 0;
            const int choice = choices.front();
            choices.pop_front();
            return choice;
        };
    }
    ~SendDialogTest() override { Plugin::instance().unload(); }

    std::optional<ui::DialogResult> run(std::function<void(DialogDriver&)> script,
                                        std::u16string to = u"Jan Nowak <jan@example.com>") {
        desktop.onModal = std::move(script);
        return ui::runSendDialog(Plugin::instance().accountManager(), std::move(to),
                                 Plugin::instance().bitmap(), dialogColour);
    }
    // The attachments of a dialog sent right after the picks.
    Paths attachmentsAfter(std::initializer_list<Paths> picks) {
        for (const Paths& pick : picks) desktop.picks.push_back(pick);
        auto result = run([&](DialogDriver& d) {
            for (size_t i = 0; i < picks.size(); ++i) d.click(kAdd);
            d.click(1);
        });
        return result ? result->attachments : Paths{"(no result)"};
    }

    test::TempDir dir;
    test::FakeHost host;
    test::InstalledDesktop desktop;
    std::deque<int> choices;
};

TEST_F(SendDialogTest, StartShowsRecipientsAccountsAndAWhiteDialogWithoutAttachments) {
    auto result = run([&](DialogDriver& d) {
        const JoxWindowInfo window = d.window();
        EXPECT_EQ(test::utf8(window.caption), "Wyślij e-mail");
        EXPECT_EQ(window.clientWidth, 336);  // 224 x 197 dialog units
        EXPECT_EQ(window.clientHeight, 320);
        EXPECT_TRUE(window.whiteBackground);
        EXPECT_EQ(d.text(1008), "Jan Nowak <jan@example.com>");
        EXPECT_TRUE(d.control(1008).style & JOX_STYLE_READ_ONLY);
        EXPECT_FALSE(d.type(1008, "someone else"));
        EXPECT_EQ(d.comboItems(1009), (Paths{"alice@example.com", "bob@praca.pl"}));
        EXPECT_EQ(d.control(1009).selection, 0);
        EXPECT_FALSE(d.visible(1013));
        EXPECT_FALSE(d.visible(1014));
        EXPECT_FALSE(d.visible(1016));
        EXPECT_EQ(platform::property(d.handle(), ui::kAttachmentsProperty), 0u);
        EXPECT_TRUE(d.control(1010).whiteBackground);
        EXPECT_TRUE(d.control(1).whiteBackground);
        EXPECT_TRUE(d.control(1015).whiteBackground);
        EXPECT_FALSE(d.control(1009).whiteBackground);
        d.click(2);
    });
    EXPECT_FALSE(result);
    EXPECT_EQ(desktop.modalRuns, 1);
}

TEST_F(SendDialogTest, SendWithEveryFieldEmptyGivesTheFirstAccountAndEmptyTexts) {
    auto result = run([](DialogDriver& d) { d.click(1); });
    ASSERT_TRUE(result);
    EXPECT_EQ(result->accountIndex, 0);
    EXPECT_EQ(result->subject, "");
    EXPECT_EQ(result->body, "");
    EXPECT_TRUE(result->attachments.empty());
}

TEST_F(SendDialogTest, TypedTextsReachTheResultInUtf8WithCrLfLines) {
    auto result = run([](DialogDriver& d) {
        EXPECT_TRUE(d.select(1009, 1));
        EXPECT_FALSE(d.select(1009, 2));
        d.type(1010, "Zażółć gęślą jaźń");
        d.type(1011, "Pierwsza\nDruga");
        EXPECT_TRUE(d.key(1011, JOX_KEY_RETURN));  // a new line, not "Wyślij"
        EXPECT_EQ(d.text(1011), "Pierwsza\r\nDruga\r\n");
        d.key(1010, JOX_KEY_RETURN);  // the default button
    });
    ASSERT_TRUE(result);
    EXPECT_EQ(result->accountIndex, 1);
    EXPECT_EQ(result->subject, "Zażółć gęślą jaźń");
    EXPECT_EQ(result->body, "Pierwsza\r\nDruga\r\n");
}

TEST_F(SendDialogTest, CancelEscapeAndAnIdleOrMissingDesktopGiveNoResult) {
    EXPECT_FALSE(run([](DialogDriver& d) { d.click(2); }));
    EXPECT_FALSE(run([](DialogDriver& d) { d.key(1010, JOX_KEY_ESCAPE); }));
    EXPECT_FALSE(run([](DialogDriver&) {}));  // the desktop returned without ending it
    platform::posix::installDesktop(nullptr);
    EXPECT_FALSE(run([](DialogDriver& d) { d.click(1); }));
    // A box no one can see goes to the log (and stderr) and returns at once.
    platform::messageBox(0, u"Zbyt długa ścieżka", u"Załączniki", platform::MessageBoxKind::Ok);
    EXPECT_TRUE(host.loggedContains("Załączniki: Zbyt długa ścieżka"));
    platform::posix::installDesktop(desktop.table());
    EXPECT_EQ(desktop.modalRuns, 3);
}

TEST_F(SendDialogTest, AttachmentsMenuListsEntriesAndRemovesThemByCurrentPosition) {
    desktop.picks = {{"/docs/a.bin"}, {"/docs/x/b.txt", "/docs/x/c.txt"}, {"/docs/ł.txt"}};
    choices = {kAdd, kAdd, 1679, 1680, 1679, 0, kAdd};
    std::vector<std::string> counts;
    std::vector<bool> indicator;
    auto result = run([&](DialogDriver& d) {
        for (int i = 0; i < 7; ++i) {
            EXPECT_TRUE(d.click(1012));
            counts.push_back(d.text(1013));
            indicator.push_back(d.visible(1013) && d.visible(1014));
        }
        d.click(1);
    });
    ASSERT_EQ(desktop.menus.size(), 7u);
    EXPECT_EQ(desktop.menus[0].size(), 1u);  // "Dodaj..." alone before any attachment
    EXPECT_EQ(desktop.menus[0][0].id, kAdd);
    EXPECT_EQ(desktop.menus[0][0].text, "Dodaj...");
    const auto& full = desktop.menus[2];
    ASSERT_EQ(full.size(), 5u);
    EXPECT_EQ(full[1].id, 1678);
    EXPECT_TRUE(full[1].flags & JOX_MENU_SEPARATOR);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(full[2 + i].id, 1679 + i);
        EXPECT_TRUE(full[2 + i].flags & JOX_MENU_PICTURE);
    }
    EXPECT_EQ(full[2].text, "/docs/a.bin");
    EXPECT_EQ(full[4].text, "/docs/x/c.txt");
    // After removing the first entry, the former second one has id 1679.
    EXPECT_EQ(desktop.menus[3][2].id, 1679);
    EXPECT_EQ(desktop.menus[3][2].text, "/docs/x/b.txt");
    EXPECT_EQ(desktop.menus[4].size(), 3u);
    EXPECT_EQ(desktop.menus[5].size(), 1u);  // an empty list adds no separator
    EXPECT_EQ(counts, (Paths{"1", "3", "2", "1", "1", "1", "1"}));
    EXPECT_EQ(indicator, (std::vector<bool>{true, true, true, true, false, false, true}));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->attachments, (Paths{"/docs/ł.txt"}));
}

TEST_F(SendDialogTest, RemovalCommandsOnlyActOnExistingEntries) {
    desktop.picks = {{"/docs/a", "/docs/b"}};
    auto result = run([](DialogDriver& d) {
        d.click(1679);  // no list yet: an unknown command, nothing happens
        d.click(kAdd);
        d.click(1681);  // beyond the list
        d.click(1680);
        d.click(1);
    });
    ASSERT_TRUE(result);
    EXPECT_EQ(result->attachments, (Paths{"/docs/a"}));
}

TEST_F(SendDialogTest, FilePickerJoinsFolderAndNames) {
    struct Case {
        Paths picked, expected;
    };
    const Case cases[] = {
        {{"/docs/a.txt"}, {"/docs/a.txt"}},
        {{"/docs/a.txt", "/docs/b.txt"}, {"/docs/a.txt", "/docs/b.txt"}},
        {{"/a.txt"}, {"/a.txt"}},
        {{"/a.txt", "/b.txt"}, {"/a.txt", "/b.txt"}},
        {{"/docs/a.txt", "/other/b.txt"}, {}},  // one pick, one folder
        {{}, {}},                               // cancelled
    };
    for (const Case& c : cases) EXPECT_EQ(attachmentsAfter({c.picked}), c.expected) << c.picked.size();
    EXPECT_EQ(attachmentsAfter({{"/d/a"}, {"/d/a"}}), (Paths{"/d/a", "/d/a"}));  // duplicates kept
    ASSERT_FALSE(desktop.pickDirectories.empty());
    EXPECT_EQ(desktop.pickDirectories[0], platform::currentDirectory());
    EXPECT_TRUE(desktop.boxes.empty());
}

TEST_F(SendDialogTest, OnlyRegularFilesCanBeAttached) {
    const std::string fine = dir.write("fine.txt", "x");
    const std::string fifo = (dir.path() / "queue").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = (dir.path() / "folder").string();
    std::filesystem::create_directory(folder);
    // A path the system cannot look at is kept: sending reports it.
    EXPECT_EQ(attachmentsAfter({{fine, fifo}, {"/dev/zero"}, {folder}, {"/docs/gone.txt"}}),
              (Paths{fine, "/docs/gone.txt"}));
    ASSERT_EQ(desktop.boxes.size(), 3u);
    for (const auto& [box, name] : {std::pair{desktop.boxes[0], "queue"}, std::pair{desktop.boxes[1], "zero"},
                                    std::pair{desktop.boxes[2], "folder"}}) {
        EXPECT_EQ(box.title, "Załączniki");
        EXPECT_EQ(box.text, std::string("SMTP - Could not read file ") + name);
        EXPECT_EQ(box.kind, JOX_BOX_ERROR);
    }
}

TEST_F(SendDialogTest, APickBeyond260BytesIsRefusedWithAMessageBox) {
    // Several files: folder, NUL, each name and its NUL, a final NUL.
    const std::string name1(125, 'a');
    EXPECT_EQ(attachmentsAfter({{"/docs/" + name1, "/docs/" + std::string(126, 'b')}}).size(), 2u);
    // One file: its path and NUL.
    EXPECT_EQ(attachmentsAfter({{"/" + std::string(258, 'c')}}).size(), 1u);
    EXPECT_TRUE(desktop.boxes.empty());

    JoxWindow dialog = 0;
    desktop.picks = {{"/docs/" + name1, "/docs/" + std::string(127, 'b')}, {"/" + std::string(259, 'c')}};
    auto result = run([&](DialogDriver& d) {
        dialog = d.handle();
        d.click(kAdd);
        d.click(kAdd);
        EXPECT_FALSE(d.visible(1013));
        d.click(1);
    });
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->attachments.empty());
    ASSERT_EQ(desktop.boxes.size(), 2u);
    EXPECT_EQ(desktop.boxes[0].owner, dialog);
    EXPECT_EQ(desktop.boxes[0].title, "Załączniki");
    EXPECT_EQ(desktop.boxes[0].text, "Zbyt długa ścieżka lub zbyt wiele wybranych plików");
}

TEST_F(SendDialogTest, ResizeKeepsTheButtonRowAtTheBottomRightAndTheBodyGrows) {
    run([](DialogDriver& d) {
        const JoxControlInfo subjectBefore = d.control(1010);
        const JoxControlInfo marker = d.control(1016);
        for (auto [width, height] : {std::pair{600, 500}, std::pair{420, 380}, std::pair{1000, 1000}}) {
            ASSERT_TRUE(d.resize(width, height));
            const JoxWindowInfo w = d.window();
            EXPECT_EQ(w.width, width);
            const int cw = w.clientWidth, ch = w.clientHeight;
            const JoxControlInfo send = d.control(1), cancel = d.control(2), attach = d.control(1012),
                                 clip = d.control(1014), count = d.control(1013), body = d.control(1011),
                                 label = d.control(1015);
            EXPECT_EQ(cancel.x + cancel.width, cw - 14);
            EXPECT_EQ(send.x + send.width, cancel.x - 6);
            for (const JoxControlInfo& c : {send, cancel, attach, clip, count}) {
                EXPECT_EQ(c.y, ch - send.height - 14);
                EXPECT_EQ(c.height, send.height);
            }
            EXPECT_EQ(attach.x, 11);
            EXPECT_EQ(attach.width, send.width);
            EXPECT_EQ(count.width, 50);
            EXPECT_EQ(body.x, label.x);
            EXPECT_EQ(body.y, label.y + label.height + 2);
            EXPECT_EQ(body.width, cw - 26);
            EXPECT_EQ(body.y + body.height, ch - send.height - 28);
        }
        const JoxControlInfo subjectAfter = d.control(1010);
        EXPECT_EQ(subjectAfter.y, subjectBefore.y);
        EXPECT_EQ(subjectAfter.width, subjectBefore.width);
        const JoxWindowInfo w = d.window();
        EXPECT_EQ(w.minimumWidth, marker.x + marker.width + 28);
        EXPECT_EQ(w.minimumHeight, marker.y + marker.height + 14);
        ASSERT_TRUE(d.resize(100, 100));
        EXPECT_EQ(d.window().width, w.minimumWidth);
        EXPECT_EQ(d.window().height, w.minimumHeight);
        EXPECT_EQ(d.control(1016).x, marker.x);  // the marker never moves
        d.click(2);
    });
}

TEST_F(SendDialogTest, WithoutAccountsNothingIsSelected) {
    desktop.onModal = [](DialogDriver& d) {
        EXPECT_TRUE(d.comboItems(1009).empty());
        d.click(1);
    };
    auto result = ui::runSendDialog(nullptr, u" <>", 0, dialogColour);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->accountIndex, -1);
}

TEST_F(SendDialogTest, TheListLivesOnTheWindowFromTheFirstAddUntilTheWindowGoes) {
    JoxWindow dialog = 0;
    run([&](DialogDriver& d) {
        dialog = d.handle();
        d.click(kAdd);  // cancelled pick: the list exists, empty
        EXPECT_NE(platform::property(dialog, ui::kAttachmentsProperty), 0u);
        EXPECT_FALSE(d.visible(1013));
        d.click(2);
    });
    EXPECT_EQ(platform::property(dialog, ui::kAttachmentsProperty), 0u);
    EXPECT_FALSE(platform::hasItem(dialog, 1010));
}

}  // namespace
}  // namespace postrix
