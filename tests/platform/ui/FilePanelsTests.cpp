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
using platform_ui_test::settleEvents;
using platform_ui_test::TemporaryFolder;

namespace {

struct OpenPanelAnswers {
    int calls = 0;
    std::vector<Url> urls;
    OpenPanelCompletion completion() {
        return [this](std::vector<Url> chosen) {
            ++calls;
            urls = std::move(chosen);
        };
    }
};

struct SavePanelAnswers {
    int calls = 0;
    std::optional<Url> url;
    SavePanelCompletion completion() {
        return [this](std::optional<Url> chosen) {
            ++calls;
            url = std::move(chosen);
        };
    }
};

QFileDialog* panelOf(QWidget& window) {
    return window.findChild<QFileDialog*>();
}

// Types into the panel's name field and presses Return, as a user would.
void typeAndReturn(QFileDialog& dialog, const QString& text) {
    auto* field = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(field, nullptr);
    // The field has the focus while a user types, which makes the panel follow the text alone.
    QApplication::setActiveWindow(&dialog);
    field->setFocus();
    ASSERT_TRUE(field->hasFocus());
    field->setText(text);
    QTest::keyClick(field, Qt::Key_Return);
}

QString folderOf(const std::string& path) {
    return QDir(QString::fromStdString(path)).absolutePath();
}

} // namespace

TEST(QtFilePanels, OpenPanelIsASheetOnItsWindowAndAnswersOnceWithTheChosenFiles) {
    TemporaryFolder folder;
    const std::string a = folder.make("a.mp3");
    const std::string b = folder.make("b.M4A");
    folder.make("notes.txt");
    QWidget window;
    window.show();

    QtFilePanels panels;
    OpenPanelAnswers answers;
    OpenPanelOptions options;
    options.allowsMultipleSelection = true;
    options.allowedExtensions = {"mp3", "m4a"};
    options.directory = folder.path;
    options.message = "Add an associated document";
    options.prompt = "Add";
    panels.beginOpenPanel(&window, options, answers.completion());
    EXPECT_EQ(answers.calls, 0);

    QFileDialog* dialog = panelOf(window);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
    EXPECT_EQ(dialog->directory().absolutePath(), folderOf(folder.path));
    EXPECT_EQ(dialog->windowTitle(), "Add an associated document");
    EXPECT_EQ(dialog->labelText(QFileDialog::Accept), "Add");

    // A file of another type is refused and the panel stays open.
    typeAndReturn(*dialog, "notes.txt");
    EXPECT_EQ(answers.calls, 0);
    EXPECT_TRUE(dialog->isVisible());

    // Extensions compare without regard to case.
    typeAndReturn(*dialog, "\"a.mp3\" \"b.M4A\"");
    EXPECT_EQ(answers.calls, 1);
    EXPECT_EQ(answers.urls, (std::vector<Url>{Url::fileURLWithPath(a), Url::fileURLWithPath(b)}));

    settleEvents();
    EXPECT_EQ(panelOf(window), nullptr);
    EXPECT_EQ(answers.calls, 1);
}

TEST(QtFilePanels, CancellingAnOpenPanelAnswersOnceWithNothing) {
    TemporaryFolder folder;
    folder.make("a.mp3");
    QWidget window;
    window.show();
    QtFilePanels panels;
    OpenPanelAnswers answers;
    OpenPanelOptions options;
    options.directory = folder.path;
    panels.beginOpenPanel(&window, options, answers.completion());

    QFileDialog* dialog = panelOf(window);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
    dialog->selectFile(QString::fromStdString(folder.path + "/a.mp3"));
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_EQ(answers.calls, 1);
    EXPECT_TRUE(answers.urls.empty());

    // A second close of the same panel does not answer again.
    dialog->reject();
    settleEvents();
    EXPECT_EQ(answers.calls, 1);
}

TEST(QtFilePanels, FilesAndFoldersCanBeChosenTogether) {
    TemporaryFolder folder;
    const std::string music = folder.make("Music/");
    folder.make("Music/song.mp3");
    QWidget window;
    window.show();
    QtFilePanels panels;

    OpenPanelOptions options;
    options.canChooseDirectories = true;
    options.allowsMultipleSelection = true;
    options.directory = folder.path;

    // A chosen folder is taken as it is instead of being entered.
    OpenPanelAnswers chosenFolder;
    panels.beginOpenPanel(&window, options, chosenFolder.completion());
    QFileDialog* dialog = panelOf(window);
    ASSERT_NE(dialog, nullptr);
    typeAndReturn(*dialog, "Music");
    ASSERT_EQ(chosenFolder.calls, 1);
    ASSERT_EQ(chosenFolder.urls.size(), 1u);
    EXPECT_EQ(chosenFolder.urls[0].path(), music);
    EXPECT_TRUE(chosenFolder.urls[0].hasDirectoryPath());
    settleEvents();

    // With nothing selected, OK chooses the folder shown.
    OpenPanelAnswers shownFolder;
    options.directory = music;
    panels.beginOpenPanel(&window, options, shownFolder.completion());
    dialog = panelOf(window);
    ASSERT_NE(dialog, nullptr);
    static_cast<QDialog*>(dialog)->accept();
    ASSERT_EQ(shownFolder.calls, 1);
    EXPECT_EQ(shownFolder.urls, (std::vector<Url>{Url::fileURLWithPath(music)}));
    settleEvents();

    // A name that does not exist chooses nothing and leaves the panel open.
    OpenPanelAnswers missing;
    panels.beginOpenPanel(&window, options, missing.completion());
    dialog = panelOf(window);
    ASSERT_NE(dialog, nullptr);
    typeAndReturn(*dialog, "nothing-here.mp3");
    EXPECT_EQ(missing.calls, 0);
    dialog->reject();
    EXPECT_EQ(missing.calls, 1);
    EXPECT_TRUE(missing.urls.empty());
}

TEST(QtFilePanels, AFolderPanelChoosesOneFolder) {
    TemporaryFolder folder;
    const std::string prefix = folder.make("Prefix/");
    QWidget window;
    window.show();
    QtFilePanels panels;
    OpenPanelAnswers answers;
    OpenPanelOptions options;
    options.canChooseFiles = false;
    options.canChooseDirectories = true;
    options.directory = folder.path;
    panels.beginOpenPanel(&window, options, answers.completion());

    QFileDialog* dialog = panelOf(window);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
    EXPECT_TRUE(dialog->testOption(QFileDialog::ShowDirsOnly));
    dialog->selectFile(QString::fromStdString(prefix));
    static_cast<QDialog*>(dialog)->accept();
    ASSERT_EQ(answers.calls, 1);
    EXPECT_EQ(answers.urls, (std::vector<Url>{Url::fileURLWithPath(prefix)}));
}

TEST(QtFilePanels, SavePanelProposesANameAndGivesTheChosenOneTheSessionExtension) {
    TemporaryFolder folder;
    QWidget window;
    window.show();
    QtFilePanels panels;
    SavePanelOptions options;
    options.directory = folder.path;
    options.nameFieldStringValue = "Session.vantle";
    options.allowedExtensions = {"vantle"};

    auto saveAs = [&](const QString& typed) {
        SavePanelAnswers answers;
        panels.beginSavePanel(&window, options, answers.completion());
        QFileDialog* dialog = panelOf(window);
        EXPECT_NE(dialog, nullptr);
        if (!dialog) return answers;
        EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        if (typed.isEmpty())
            QTest::keyClick(dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")), Qt::Key_Return);
        else
            typeAndReturn(*dialog, typed);
        settleEvents();
        return answers;
    };

    SavePanelAnswers proposed = saveAs(QString());
    EXPECT_EQ(proposed.calls, 1);
    EXPECT_EQ(proposed.url, Url::fileURLWithPath(folder.path + "/Session.vantle"));

    EXPECT_EQ(saveAs("mine").url, Url::fileURLWithPath(folder.path + "/mine.vantle"));
    EXPECT_EQ(saveAs("mine.txt").url, Url::fileURLWithPath(folder.path + "/mine.txt.vantle"));
    EXPECT_EQ(saveAs("Mine.VANTLE").url, Url::fileURLWithPath(folder.path + "/Mine.VANTLE"));

    SavePanelAnswers cancelled;
    panels.beginSavePanel(&window, options, cancelled.completion());
    ASSERT_NE(panelOf(window), nullptr);
    QTest::keyClick(panelOf(window), Qt::Key_Escape);
    EXPECT_EQ(cancelled.calls, 1);
    EXPECT_EQ(cancelled.url, std::nullopt);
}

TEST(QtFilePanels, WithoutAWindowThePanelBlocksTheApplicationButStillReturnsAtOnce) {
    QtFilePanels panels;
    OpenPanelAnswers answers;
    panels.beginOpenPanel(nullptr, {}, answers.completion());
    QFileDialog* dialog = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* candidate = qobject_cast<QFileDialog*>(widget); candidate && candidate->isVisible())
            dialog = candidate;
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(answers.calls, 0);
    dialog->reject();
    EXPECT_EQ(answers.calls, 1);
    settleEvents();
}

TEST(QtFilePanels, APanelWhoseWindowGoesAwayNeverAnswers) {
    QtFilePanels panels;
    OpenPanelAnswers open;
    SavePanelAnswers save;
    {
        QWidget window;
        window.show();
        panels.beginOpenPanel(&window, {}, open.completion());
        ASSERT_NE(panelOf(window), nullptr);
    }
    {
        QWidget window;
        window.show();
        panels.beginSavePanel(&window, {}, save.completion());
        ASSERT_NE(panelOf(window), nullptr);
    }
    settleEvents();
    EXPECT_EQ(open.calls, 0);
    EXPECT_EQ(save.calls, 0);
}

TEST(FilePanelExtensions, MatchIgnoringCaseAndOnlyTheLastExtension) {
    const std::vector<std::string> audio = {"mp3", "m4a"};
    EXPECT_TRUE(hasAllowedExtension("/a/Song.MP3", audio));
    EXPECT_TRUE(hasAllowedExtension("/a/b.c/Song.m4a", audio));
    EXPECT_FALSE(hasAllowedExtension("/a/Song.mp3.txt", audio));
    EXPECT_FALSE(hasAllowedExtension("/a/mp3", audio));
    EXPECT_FALSE(hasAllowedExtension("/a/.mp3", audio));
    EXPECT_TRUE(hasAllowedExtension("/a/anything", {}));
}
