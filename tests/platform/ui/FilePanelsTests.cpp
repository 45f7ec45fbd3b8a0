#include "tests/support/UiFakes.h"
#include "platform/ui/FilePanels.h"

#include "tests/platform/ui/UiTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace platform;
using namespace testsupport;
using platform_ui_test::settleEvents;

namespace {

// Types into the panel's name field and presses Return, as a user would.
void typeAndReturn(QFileDialog& dialog, const QString& text) {
    auto* field = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(field, nullptr);
    // The field has the focus while a user types, which makes the panel follow the text alone.
    QApplication::setActiveWindow(&dialog);
    field->setFocus();
    ASSERT_TRUE(field->hasFocus());
    if (!text.isEmpty()) field->setText(text);
    QTest::keyClick(field, Qt::Key_Return);
}

} // namespace

// Panels on a shown window over a folder of files, with their answers recorded.
class QtFilePanelSheet : public ::testing::Test {
protected:
    QtFilePanelSheet() { window.show(); }
    void TearDown() override { settleEvents(); }

    QFileDialog* beginOpen(OpenPanelOptions options) {
        settleEvents();
        calls = 0;
        options.directory = options.directory.empty() ? folder.path : options.directory;
        panels.beginOpenPanel(&window, std::move(options), [this](std::vector<Url> chosen) {
            ++calls;
            urls = std::move(chosen);
        });
        return window.findChild<QFileDialog*>();
    }
    QFileDialog* beginSave(SavePanelOptions options) {
        settleEvents();
        calls = 0;
        panels.beginSavePanel(&window, std::move(options), [this](std::optional<Url> chosen) {
            ++calls;
            saved = std::move(chosen);
        });
        return window.findChild<QFileDialog*>();
    }

    platform_ui_test::TemporaryFolder folder;
    QWidget window;
    QtFilePanels panels;
    int calls = 0;
    std::vector<Url> urls;
    std::optional<Url> saved;
};

TEST_F(QtFilePanelSheet, AnOpenPanelIsASheetThatAnswersOnceWithTheChosenFilesOfItsTypes) {
    const std::string a = folder.make("a.mp3"), b = folder.make("b.M4A");
    folder.make("notes.txt");
    OpenPanelOptions options;
    options.allowsMultipleSelection = true;
    options.allowedExtensions = {"mp3", "m4a"};
    options.message = "Add an associated document";
    options.prompt = "Add";
    QFileDialog* dialog = beginOpen(options);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
    EXPECT_EQ(dialog->directory().absolutePath(), QDir(QString::fromStdString(folder.path)).absolutePath());
    EXPECT_EQ(dialog->windowTitle(), "Add an associated document");
    EXPECT_EQ(dialog->labelText(QFileDialog::Accept), "Add");

    // A file of another type is refused and the panel stays open; extensions compare without regard to case.
    typeAndReturn(*dialog, "notes.txt");
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(dialog->isVisible());
    typeAndReturn(*dialog, "\"a.mp3\" \"b.M4A\"");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(urls, (std::vector<Url>{Url::fileURLWithPath(a), Url::fileURLWithPath(b)}));
    settleEvents();
    EXPECT_EQ(window.findChild<QFileDialog*>(), nullptr);
    EXPECT_EQ(calls, 1);

    // Cancelled, a panel answers once with nothing.
    dialog = beginOpen({});
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
    dialog->selectFile(QString::fromStdString(a));
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_EQ(calls, 1);
    dialog->reject();
    settleEvents();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(urls.empty());
}

TEST_F(QtFilePanelSheet, TheFileTypeMenuShowsItsChoicesButAnyFileMayBeChosen) {
    const std::string notes = folder.make("notes.txt");
    OpenPanelOptions options;
    options.fileFilters = {{"Audio files", {"wav", "mp3"}}, {"All files", {}}};
    QFileDialog* dialog = beginOpen(options);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->nameFilters(), (QStringList{"Audio files (*.wav *.mp3)", "All files (*)"}));
    EXPECT_EQ(dialog->selectedNameFilter(), "Audio files (*.wav *.mp3)");
    typeAndReturn(*dialog, "notes.txt");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(urls, std::vector<Url>{Url::fileURLWithPath(notes)});
}

TEST_F(QtFilePanelSheet, FilesAndFoldersCanBeChosenTogetherOrFoldersAlone) {
    const std::string music = folder.make("Music/");
    folder.make("Music/song.mp3");
    OpenPanelOptions options;
    options.canChooseDirectories = true;
    options.allowsMultipleSelection = true;

    // A chosen folder is taken as it is instead of being entered.
    QFileDialog* dialog = beginOpen(options);
    ASSERT_NE(dialog, nullptr);
    typeAndReturn(*dialog, "Music");
    ASSERT_EQ(calls, 1);
    ASSERT_EQ(urls.size(), 1u);
    EXPECT_EQ(urls[0].path(), music);
    EXPECT_TRUE(urls[0].hasDirectoryPath());

    // With nothing selected, OK chooses the folder shown.
    options.directory = music;
    dialog = beginOpen(options);
    ASSERT_NE(dialog, nullptr);
    static_cast<QDialog*>(dialog)->accept();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(urls, std::vector<Url>{Url::fileURLWithPath(music)});

    // A name that does not exist chooses nothing and leaves the panel open.
    dialog = beginOpen(options);
    ASSERT_NE(dialog, nullptr);
    typeAndReturn(*dialog, "nothing-here.mp3");
    EXPECT_EQ(calls, 0);
    dialog->reject();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(urls.empty());

    // A folder panel chooses one folder.
    options = {};
    options.canChooseFiles = false;
    options.canChooseDirectories = true;
    dialog = beginOpen(options);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
    dialog->selectFile(QString::fromStdString(music));
    static_cast<QDialog*>(dialog)->accept();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(urls, std::vector<Url>{Url::fileURLWithPath(music)});
}

TEST_F(QtFilePanelSheet, ASavePanelProposesANameAndGivesTheChosenOneTheSessionExtension) {
    SavePanelOptions options;
    options.directory = folder.path;
    options.nameFieldStringValue = "Session.vantle";
    options.allowedExtensions = {"vantle"};
    // Typed: the name typed, or nothing to take the proposed one; answered: the path saved to.
    for (const auto& [typed, answer] : {std::pair("", "Session.vantle"),
                                        {"mine", "mine.vantle"},
                                        {"mine.txt", "mine.txt.vantle"},
                                        {"Mine.VANTLE", "Mine.VANTLE"}}) {
        SCOPED_TRACE(typed);
        QFileDialog* dialog = beginSave(options);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        typeAndReturn(*dialog, typed);
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(saved, Url::fileURLWithPath(folder.path + "/" + answer));
    }
    QFileDialog* dialog = beginSave(options);
    ASSERT_NE(dialog, nullptr);
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(saved, std::nullopt);
}

TEST(QtFilePanels, WithoutAWindowThePanelBlocksTheApplicationButStillReturnsAtOnce) {
    QtFilePanels panels;
    int calls = 0;
    panels.beginOpenPanel(nullptr, {}, [&](std::vector<Url>) { ++calls; });
    auto* dialog = platform_ui_test::visibleTopLevel<QFileDialog>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(calls, 0);
    dialog->reject();
    EXPECT_EQ(calls, 1);
    settleEvents();
}

TEST(QtFilePanels, APanelWhoseWindowGoesAwayNeverAnswers) {
    QtFilePanels panels;
    int calls = 0;
    for (const bool save : {false, true}) {
        QWidget window;
        window.show();
        if (save)
            panels.beginSavePanel(&window, {}, [&](std::optional<Url>) { ++calls; });
        else
            panels.beginOpenPanel(&window, {}, [&](std::vector<Url>) { ++calls; });
        ASSERT_NE(window.findChild<QFileDialog*>(), nullptr);
    }
    settleEvents();
    EXPECT_EQ(calls, 0);
}

TEST(FilePanelExtensions, MatchIgnoringCaseAndOnlyTheLastExtension) {
    const std::vector<std::string> audio = {"mp3", "m4a"};
    for (const auto& [path, allowed] : {std::pair("/a/Song.MP3", true),
                                        {"/a/Song.m4a", true},
                                        {"/a/Song.mp3.txt", false},
                                        {"/a/mp3", false}})
        EXPECT_EQ(hasAllowedExtension(path, audio), allowed) << path;
    EXPECT_TRUE(hasAllowedExtension("/a/anything", {}));
}

TEST(FakeFilePanels, AnswersPanelsOldestFirstAndACompletionMayBeginTheNext) {
    FakeFilePanels panels;
    std::vector<std::string> events;
    auto record = [&](std::string name) {
        return
            [&events, name](std::vector<Url> urls) { events.push_back(name + std::to_string(urls.size())); };
    };
    panels.beginOpenPanel(nullptr, {}, record("add "));
    panels.beginOpenPanel(nullptr, {}, record("open "));
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(panels.answerOpenPanel({Url::fileURLWithPath("/a.mp3"), Url::fileURLWithPath("/b.mp3")}));
    EXPECT_TRUE(panels.answerOpenPanel({}));
    EXPECT_FALSE(panels.answerOpenPanel({}));
    EXPECT_EQ(events, (std::vector<std::string>{"add 2", "open 0"}));
    EXPECT_EQ(panels.openRequests().size(), 2u); // answered ones too

    // As the save-first paths do.
    std::optional<Url> saved;
    panels.beginSavePanel(nullptr, {}, [&](std::optional<Url> url) {
        saved = url;
        panels.beginOpenPanel(nullptr, {}, record("after save "));
    });
    EXPECT_TRUE(panels.answerSavePanel(Url::fileURLWithPath("/s/Session.vantle")));
    EXPECT_EQ(saved, Url::fileURLWithPath("/s/Session.vantle"));
    EXPECT_EQ(panels.pendingOpenPanels(), 1u);
    EXPECT_TRUE(panels.answerOpenPanel({}));
    EXPECT_EQ(events.back(), "after save 0");
    EXPECT_FALSE(panels.answerSavePanel(std::nullopt));
}

TEST(FakeAlerts, TakeOnlyButtonsTheAlertHasOldestFirst) {
    FakeAlerts alerts;
    std::vector<int> answers;
    alerts.beginAlert(nullptr, {"Move other entry?", "", {"OK", "Cancel"}},
                      [&](int b) { answers.push_back(b); });
    alerts.beginAlert(nullptr, {"Note", "", {}}, [&](int b) { answers.push_back(10 + b); }); // its one "OK"
    EXPECT_FALSE(alerts.answerAlert(2));
    EXPECT_FALSE(alerts.answerAlert(-1));
    EXPECT_EQ(alerts.pendingAlerts(), 2u);
    EXPECT_TRUE(alerts.answerAlert(1));
    EXPECT_FALSE(alerts.answerAlert(1));
    EXPECT_TRUE(alerts.answerAlert(0));
    EXPECT_FALSE(alerts.answerAlert(0));
    EXPECT_EQ(answers, (std::vector<int>{1, 10}));
}
