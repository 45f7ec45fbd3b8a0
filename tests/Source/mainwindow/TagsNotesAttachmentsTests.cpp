// Tags and tag filters, break lengths, timed notes with their notices, and side documents, driven
// through the main window's menus, fields and buttons.

#include "Source/mainwindow/AttachmentStack.h"
#include "Source/playback/Preferences.h"
#include "Source/session/Attachment.h"
#include "Source/session/TextNoteSet.h"
#include "Source/session/UndoRedoTransaction.h"
#include "Source/views/Clock.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/TextFile.h"
#include "tests/Source/mainwindow/MainWindowTestSupport.h"
#include "tests/support/ConsoleCapture.h"
#include "tests/support/NotesFiles.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <filesystem>

namespace vantle::testing {
namespace {

class RecordingNotices final : public NoticesPart {
public:
    QWidget* widget() override { return nullptr; }
    void showText(const QString& text, double, std::optional<QColor>) override {
        texts.push_back(text.toStdString());
    }
    void showImage(const QIcon&) override {}
    std::vector<std::string> texts;
};

class TagsNotesAttachmentsTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        configureEnvironment = [this](MainViewEnvironment& environment) {
            environment.parts.notices = [this](MainViewController&) {
                auto made = std::make_unique<RecordingNotices>();
                notices = made.get();
                return made;
            };
            environment.playNoteSound = [this] { ++rings; };
            environment.workspace = &workspace;
            environment.modifierKeys = [this] { return modifiers; };
        };
        start();
        activate();
    }

    QAction* item(QMenu& menu, const QString& title) {
        for (QAction* action : menu.actions())
            if (action->text() == title) return action;
        ADD_FAILURE() << "no item " << title.toStdString() << " in " << menu.objectName().toStdString();
        return nullptr;
    }
    int rows() { return view().tableView().model()->rowCount(); }
    std::string undoName() { return playlist().undoer.undoStack().back()->undoName(); }
    std::vector<QPushButton*> attachmentButtons() {
        return window->findChild<AttachmentStack*>("attachmentStack")->attachmentButtons();
    }

    static std::string notesText(const std::string& path) {
        auto text = platform::readTextFile(path);
        return text ? *text : std::string();
    }

    RecordingNotices* notices = nullptr;
    testsupport::FakeWorkspace workspace;
    Qt::KeyboardModifiers modifiers;
    int rings = 0;
};

// Tagging as one undoable step is the table's test.
TEST_F(TagsNotesAttachmentsTest, TheTagMenuTagsAndTheFiltersChangeOnlyTheRows) {
    view().insertEntries({audioFile("a.wav", 5), audioFile("b.wav", 5), audioFile("c.wav", 5)});
    view().selectRows({0, 2});
    item(view().tagMenu(), "a")->trigger();
    EXPECT_EQ(playlist().allEntries[0]->tags, "a");
    EXPECT_EQ(playlist().allEntries[2]->tags, "a");
    EXPECT_FALSE(playlist().allEntries[1]->tags.has_value());

    playlist().dirty = false;
    auto tagButtons = [&](const char* name) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        std::vector<std::string> titles;
        for (QToolButton* button : window->tagStackView().findChildren<QToolButton*>(name))
            titles.push_back(button->text().toStdString());
        return titles;
    };
    item(view().includeTagPopupMenu(), "a")->trigger();
    EXPECT_EQ(rows(), 2);
    EXPECT_EQ(tagButtons("includedTag"), std::vector<std::string>{"a"});
    item(view().excludeTagPopupMenu(), "a")->trigger(); // moves it to the exclude set
    EXPECT_EQ(rows(), 1);
    EXPECT_TRUE(tagButtons("includedTag").empty());
    ASSERT_EQ(tagButtons("excludedTag"), std::vector<std::string>{"a"});
    window->tagStackView().findChild<QToolButton*>("excludedTag")->click();
    EXPECT_EQ(rows(), 3);
    EXPECT_TRUE(tagButtons("excludedTag").empty());
    // The filter menu cycles the tag (include first); the cycle itself is the document's.
    item(view().filterTagMenu(), "a")->trigger();
    EXPECT_EQ(rows(), 2);
    EXPECT_FALSE(playlist().dirty);
}

TEST_F(TagsNotesAttachmentsTest, BreakLengthItemsReadTheirTitles) {
    struct Case {
        bool thisBreak;
        const char* title;
        std::optional<double> armedSeconds;  // this break: armed, else cancelled
        std::optional<double> storedMinutes; // all breaks: stored, else unchanged
    } cases[] = {
        {true, "5", 300.0, {}},     {true, "+2", 120.0, {}}, {true, "1.5", {}, {}},
        {true, "No Break", {}, {}}, {true, "", {}, {}},      {false, "1.5", {}, 1.5},
        {false, " 2", {}, {}},      {false, "two", {}, {}},  {false, "10", {}, 10.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        view().defaults().removeObject(Preferences::timerDurationKey);
        const int cancels = breakTimer->cancels;
        breakTimer->arms.clear();
        QAction sender(c.title);
        sender.setCheckable(true);
        sender.setChecked(true);
        if (c.thisBreak) {
            view().actionSetThisBreakTime(&sender);
            EXPECT_EQ(breakTimer->arms.empty() ? std::nullopt : breakTimer->arms.back(), c.armedSeconds);
            EXPECT_EQ(breakTimer->cancels, cancels + (c.armedSeconds ? 0 : 1));
        } else {
            view().actionSetAllBreakTime(&sender);
            EXPECT_EQ(view().defaults().object(Preferences::timerDurationKey).has_value(),
                      c.storedMinutes.has_value());
            EXPECT_EQ(view().defaults().doubleValue(Preferences::timerDurationKey),
                      c.storedMinutes.value_or(0.0));
        }
        EXPECT_FALSE(sender.isChecked());
    }
    // The clock in the title bar opens the break menu.
    window->clockButton().click();
    EXPECT_TRUE(view().breakTimePopupMenu().isVisible());
    view().breakTimePopupMenu().hide();
}

TEST_F(TagsNotesAttachmentsTest, ATypedNoteIsSavedAndAnnouncedOnceWhenReached) {
    const platform::Url song = audioFile("song.wav", 80);
    view().insertEntries({song});
    view().selectRows({0});
    InterceptingTextField& field = view().noteTextField();
    player->setCurrentTime(65);
    QTest::mouseClick(&field, Qt::LeftButton);
    QTest::mouseClick(&field, Qt::LeftButton); // a second click starts no second note
    ASSERT_TRUE(field.editing());
    EXPECT_EQ(playlist().assignedEntry->noteSet().notes.size(), 1u);
    QTest::keyClicks(&field, "!Turn left");
    QTest::keyClick(&field, Qt::Key_Return);
    EXPECT_FALSE(field.editing());
    const std::string notesFile = companionTextURL(song, ".txt").path();
    EXPECT_EQ(notesText(notesFile), song.path() + "\n 1:05 !Turn left\n");

    // Escape leaves the note's text as it was.
    QTest::mouseClick(&field, Qt::LeftButton);
    QTest::keyClicks(&field, " now");
    QTest::keyClick(&field, Qt::Key_Escape);
    EXPECT_FALSE(field.editing());
    EXPECT_EQ(field.text().toStdString(), "!Turn left");
    // An abandoned new note leaves nothing behind.
    player->setCurrentTime(20);
    QTest::mouseClick(&field, Qt::LeftButton);
    QTest::keyClick(&field, Qt::Key_Escape);
    EXPECT_EQ(notesText(notesFile), song.path() + "\n 1:05 !Turn left\n");

    // Played across, it shows its first word once and rings.
    player->setCurrentTime(58);
    player->play();
    tick(150);
    EXPECT_EQ(notices->texts, std::vector<std::string>{"!Turn"});
    EXPECT_EQ(rings, 1);
}

TEST_F(TagsNotesAttachmentsTest, ANoteBegunAndAbandonedLeavesNoNotesFileBesideTheSong) {
    const platform::Url song = audioFile("quiet.wav", 80);
    view().insertEntries({song});
    view().selectRows({0});
    InterceptingTextField& field = view().noteTextField();
    const std::string notesFile = companionTextURL(song, ".txt").path();
    for (Qt::Key ending : {Qt::Key_Escape, Qt::Key_Return}) {
        player->setCurrentTime(30);
        QTest::mouseClick(&field, Qt::LeftButton);
        ASSERT_TRUE(field.editing());
        QTest::keyClick(&field, ending);
        EXPECT_FALSE(field.editing());
        EXPECT_TRUE(playlist().assignedEntry->noteSet().notes.empty());
        EXPECT_FALSE(platform::fileExists(notesFile))
            << "after " << QKeySequence(ending).toString().toStdString();
    }
    // The last note deleted takes its file along.
    QTest::mouseClick(&field, Qt::LeftButton);
    QTest::keyClicks(&field, "step");
    QTest::keyClick(&field, Qt::Key_Return);
    ASSERT_TRUE(platform::fileExists(notesFile));
    QTest::mouseClick(&field, Qt::LeftButton);
    field.selectAll();
    QTest::keyClick(&field, Qt::Key_Backspace);
    QTest::keyClick(&field, Qt::Key_Return);
    EXPECT_FALSE(platform::fileExists(notesFile));
}

// A note that cannot reach its file (a folder stands at its path) is not lost without a word: the window
// says so and keeps it, and the note goes to the file once it can be written.
TEST_F(TagsNotesAttachmentsTest, ANoteThatCannotBeWrittenIsSaidToBeKeptAndWrittenLater) {
    const platform::Url song = audioFile("blocked.wav", 80);
    const std::string notesFile = companionTextURL(song, ".txt").path();
    std::filesystem::create_directories(notesFile);
    view().insertEntries({song});
    view().selectRows({0});
    InterceptingTextField& field = view().noteTextField();
    player->setCurrentTime(30);
    QTest::mouseClick(&field, Qt::LeftButton);
    QTest::keyClicks(&field, "kept");
    QTest::keyClick(&field, Qt::Key_Return);
    ASSERT_FALSE(notices->texts.empty());
    EXPECT_EQ(notices->texts.back(), "The note could not be written to " + notesFile +
                                         ": is a directory; it is kept here until the file can be written");
    ASSERT_EQ(playlist().assignedEntry->noteSet().notes.size(), 1u);

    std::filesystem::remove(notesFile);
    ASSERT_TRUE(playlist().assignedEntry->noteSet().save());
    EXPECT_EQ(notesText(notesFile), song.path() + "\n 0:30 kept\n");
}

// A note that would take its file past what the reader reads is refused, and the window says why.
TEST_F(TagsNotesAttachmentsTest, ANoteThatWouldMakeItsFileTooLargeToReadIsRefusedAndSaysWhy) {
    const platform::Url song = audioFile("full.wav", 80);
    const std::string notesFile = companionTextURL(song, ".txt").path();
    std::string full = testsupport::notesFileText(song.path(), 13000, 150);
    full.resize(TextNoteSet::largestFileSize - 300);
    full.resize(full.rfind('\n') + 1);
    // Blanks up to 60 bytes short of the bound: room for no note of 120 characters.
    full += std::string(TextNoteSet::largestFileSize - 60 - full.size() - 1, ' ') + "\n";
    ASSERT_TRUE(platform::writeFileAtomically(notesFile, full));
    view().insertEntries({song});
    view().selectRows({0});
    InterceptingTextField& field = view().noteTextField();
    player->setCurrentTime(70);
    QTest::mouseClick(&field, Qt::LeftButton);
    QTest::keyClicks(&field, QString(120, 'n'));
    QTest::keyClick(&field, Qt::Key_Return);
    ASSERT_FALSE(notices->texts.empty());
    EXPECT_EQ(notices->texts.back(),
              "The note could not be written to " + notesFile +
                  ": the notes would take more than 2 MB, more than Vantle reads back; "
                  "it is kept here until the file can be written");
    EXPECT_EQ(platform::readFile(notesFile).value().size(), full.size());
}

TEST_F(TagsNotesAttachmentsTest, ANotesFileTooLargeToReadIsNamedLeftAsItIsAndTheSongPlays) {
    const platform::Url song = audioFile("crowded.wav", 80);
    const std::string notesFile = companionTextURL(song, ".txt").path();
    const std::string crowded = testsupport::notesFileText(song.path(), 60000, 30);
    ASSERT_GT(crowded.size(), TextNoteSet::largestFileSize);
    ASSERT_TRUE(platform::writeFileAtomically(notesFile, crowded));
    view().insertEntries({song});
    testsupport::ScopedConsoleCapture console;
    view().selectRows({0});
    const std::string named = "Notes file too large to read (over 2 MB): " + notesFile;
    EXPECT_EQ(notices->texts, std::vector<std::string>{named});
    EXPECT_EQ(console.lines(), std::vector<std::string>{named});
    EXPECT_TRUE(playlist().assignedEntry->noteSet().notes.empty());

    view().transport().playPressed();
    tick(3);
    EXPECT_TRUE(player->playing());
    // A note cannot be added to notes never read: the music goes on and the window says why.
    InterceptingTextField& field = view().noteTextField();
    QTest::mouseClick(&field, Qt::LeftButton);
    EXPECT_FALSE(field.editing());
    EXPECT_TRUE(player->playing());
    EXPECT_TRUE(playlist().assignedEntry->noteSet().notes.empty());
    EXPECT_EQ(notices->texts, (std::vector<std::string>{named, named}));
    EXPECT_EQ(notesText(notesFile), crowded);
}

TEST_F(TagsNotesAttachmentsTest, ATranscriptionFileTooLargeToReadIsNamedOnOneLineAndTheSongPlays) {
    struct Case {
        std::string song;
        std::string shown; // the transcription file's name below the test's folder, as shown
    };
    // A name with a line break or a tab still makes one line of notice and one console line.
    const Case cases[] = {{"sung.wav", "sung.t.txt"},
                          {"Odd\nFolder/two\tlines\nsung.wav", "Odd\\nFolder/two\\tlines\\nsung.t.txt"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.song);
        const platform::Url song = audioFile(c.song, 80);
        const std::string cuesFile = companionTextURL(song, ".t.txt").path();
        ASSERT_TRUE(
            platform::writeFileAtomically(cuesFile, std::string(TextNoteSet::largestFileSize + 1, '\n')));
        view().insertEntries({song});
        notices->texts.clear();
        testsupport::ScopedConsoleCapture console;
        std::size_t row = 0;
        while (playlist().visibleEntry(std::ptrdiff_t(row)) &&
               playlist().visibleEntry(std::ptrdiff_t(row))->_url != song)
            ++row;
        ASSERT_TRUE(playlist().visibleEntry(std::ptrdiff_t(row)));
        view().selectRows({row});
        const std::string folder = song.path().substr(0, song.path().size() - c.song.size());
        const std::string named = "Transcription file too large to read (over 2 MB): " + folder + c.shown;
        EXPECT_EQ(notices->texts, std::vector<std::string>{named});
        EXPECT_EQ(console.lines(), std::vector<std::string>{named});
        view().transport().playPressed();
        tick(3);
        EXPECT_TRUE(player->playing());
        // Paused, a selected row becomes the current song.
        view().transport().pausePressed();
        tick(1);
    }
}

TEST_F(TagsNotesAttachmentsTest, ALongNoteIsShownCutShortAndKeptWhole) {
    const platform::Url song = audioFile("long note.wav", 80);
    const std::string notesFile = companionTextURL(song, ".txt").path();
    const std::string word(1 << 20, 'w');
    const std::string stored = song.path() + "\n 0:10 " + word + " and more\n";
    ASSERT_TRUE(platform::writeFileAtomically(notesFile, stored));
    view().insertEntries({song});
    view().selectRows({0});
    const std::string cut = std::string(TextNote::shownCharacterLimit, 'w') + "…";

    // Played across, its first word is announced cut short.
    player->setCurrentTime(5);
    view().transport().playPressed();
    tick(60);
    EXPECT_EQ(notices->texts, std::vector<std::string>{cut});
    InterceptingTextField& field = view().noteTextField();
    EXPECT_EQ(field.text().toStdString(), cut);

    // Too long to be edited whole in the line, it is not opened at all: the music goes on and the
    // window says where the note is kept.
    EXPECT_TRUE(player->playing());
    QTest::mouseClick(&field, Qt::LeftButton);
    EXPECT_FALSE(field.editing());
    EXPECT_TRUE(player->playing());
    EXPECT_EQ(notices->texts.back(),
              "This note is too long to edit here (over 10000 characters); it is kept whole in " + notesFile);
    EXPECT_EQ(notesText(notesFile), stored);

    // A note longer than what is shown but short enough is edited whole: what was not shown stays.
    const std::string longer = std::string(TextNote::shownCharacterLimit + 50, 'l') + " tail";
    playlist().assignedEntry->noteSet().notes[0]->setText(longer);
    for (Qt::Key ending : {Qt::Key_Escape, Qt::Key_Return}) {
        QTest::mouseClick(&field, Qt::LeftButton);
        ASSERT_TRUE(field.editing());
        EXPECT_EQ(field.text().toStdString(), longer);
        QTest::keyClick(&field, ending);
        EXPECT_EQ(playlist().assignedEntry->noteSet().notes.at(0)->text(), longer);
    }
    QTest::mouseClick(&field, Qt::LeftButton);
    QTest::keyClick(&field, Qt::Key_End);
    QTest::keyClicks(&field, " added");
    QTest::keyClick(&field, Qt::Key_Return);
    EXPECT_EQ(notesText(notesFile), song.path() + "\n 0:10 " + longer + " added\n");
}

TEST_F(TagsNotesAttachmentsTest, AttachmentButtonsOpenAndTheirMenuRemovesWithUndo) {
    const platform::Url song = audioFile("song.wav", 30);
    const platform::Url score = audioFolder.url("Score (violin).txt");
    const platform::Url script = audioFolder.url("run.sh");
    ASSERT_TRUE(platform::writeTextFile(score.path(), "Bars 1-16").ok());
    ASSERT_TRUE(platform::writeTextFile(script.path(), "#!/bin/sh\n").ok());
    std::filesystem::permissions(script.path(), std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    view().insertEntries({song});
    view().selectRows({0});

    // Added through the panel, once per entry and document.
    for (int i = 0; i < 2; ++i) {
        window->findChild<QPushButton*>("attachmentStackAddButton")->click();
        ASSERT_TRUE(panels.answerOpenPanel({score, script}));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    EXPECT_EQ(panels.openRequests().back().options.prompt, "Add");
    EXPECT_EQ(playlist().undoer.undoStack().size(), 3u); // add entries, then two documents
    EXPECT_EQ(undoName(), "Undo Add Attachment");
    std::vector<QPushButton*> buttons = attachmentButtons();
    ASSERT_EQ(buttons.size(), 2u);
    EXPECT_EQ(buttons[0]->text().toStdString(), "violin");
    EXPECT_EQ(playlist().assignedEntry->attachments[0]->tag, "txt");

    // A document opens; a program is only shown in the file manager.
    QTest::mouseClick(buttons[0], Qt::LeftButton);
    QTest::mouseClick(buttons[1], Qt::LeftButton);
    ASSERT_EQ(workspace.openedFiles(), std::vector<platform::Url>{score});
    ASSERT_EQ(workspace.selections().size(), 1u);
    EXPECT_EQ(workspace.selections()[0].path, script.path());

    modifiers = Qt::ControlModifier;
    QTest::mouseClick(buttons[0], Qt::LeftButton);
    EXPECT_EQ(view().currentAttachment(), playlist().assignedEntry->attachments[0]);
    EXPECT_EQ(workspace.openedFiles().size(), 1u);
    item(view().attachmentPopupMenu(), "Remove")->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(undoName(), "Undo Remove Attachment");
    ASSERT_EQ(attachmentButtons().size(), 1u);
    EXPECT_EQ(attachmentButtons()[0]->text().toStdString(), "sh");
    // Once more on the document already gone: nothing to remove, no step.
    const std::size_t steps = playlist().undoer.undoStack().size();
    item(view().attachmentPopupMenu(), "Remove")->trigger();
    EXPECT_EQ(playlist().undoer.undoStack().size(), steps);
    EXPECT_EQ(attachmentButtons().size(), 1u);
}

} // namespace
} // namespace vantle::testing
