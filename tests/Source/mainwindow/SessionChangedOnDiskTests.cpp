// Every save of a session that another window or program changed on disk asks first: keep this
// window's version, open the one on disk, or cancel. A save that fails says why and where else the
// changes can go.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include "Source/session/TextNoteSet.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/TextFile.h"
#include "platform/ui/Alerts.h"
#include "tests/support/ConsoleCapture.h"

#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace vantle::testing {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class SessionOnDiskTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        files = {audioFile("a.wav", 30), audioFile("b.wav", 30), audioFile("c.wav", 30)};
        session = audioFolder.url("Class.vantle");
        other = audioFolder.url("Other.vantle");
        writeSession(other, {files[0]});
    }
    // This window has the session open and a tag added to its first row, unsaved.
    void openWithTagAdded() {
        writeSession(session, files);
        if (!window) {
            start();
            activate();
        }
        ASSERT_TRUE(view().loadSession(session));
        entry(0)->tags = "w";
        playlist().dirty = true;
    }
    // Another window, which opened the same session, removes its last row and saves.
    void anotherWindowRemovesARow() {
        std::shared_ptr<Playlist> theirs = Playlist::read(session).value();
        theirs->allEntries.pop_back();
        ASSERT_TRUE(theirs->save(session).written());
    }
    void run(const char* name) {
        auto* action = window->findChild<QAction*>(name);
        ASSERT_TRUE(action) << name;
        action->trigger();
    }
    std::vector<std::string> namesOnDisk() { return fileNames(Playlist::read(session).value()->allEntries); }
    std::optional<std::string> tagsOnDisk() {
        return Playlist::read(session).value()->allEntries.at(0)->tags;
    }

    std::vector<platform::Url> files;
    platform::Url session, other;
};

TEST_F(SessionOnDiskTest, ASaveOfAChangedFileAsksAndEachAnswerDoesWhatItSays) {
    struct Command {
        const char* name;
        std::function<void()> run;
        // What shows that the command went on after its save.
        std::function<bool()> wentOn;
    };
    const std::vector<Command> commands = {
        {"Save", [&] { run("saveSession"); }, [&] { return !playlist().dirty; }},
        {"save after a song", [&] { view().playerDidFinish(); }, [&] { return !playlist().dirty; }},
        {"New", [&] { run("newSessionAction"); }, [&] { return names().empty(); }},
        {"Close", [&] { run("fileCloseAction"); }, [&] { return names().empty(); }},
        {"Quit", [&] { run("terminate"); }, [&] { return quits == 1; }},
        {"hand-over of another session", [&] { delegate->openFile(other.path()); },
         [&] { return view().sessionURL() == other; }},
    };
    for (const Command& command : commands) {
        // Keep last: after it a quit has happened.
        for (int answer : {2, 1, 0}) {
            SCOPED_TRACE(std::string(command.name) + ", answer " + std::to_string(answer));
            quits = 0;
            openWithTagAdded();
            anotherWindowRemovesARow();
            const platform::Bytes theirs = bytesOf(session);
            const std::size_t asked = alerts.requests().size();
            testsupport::ScopedConsoleCapture console;
            command.run();
            EXPECT_THAT(console.lines(),
                        ::testing::Contains(HasSubstr("not saved " + session.absoluteString())));

            // Nothing is written, and nothing goes on, until the user answers.
            ASSERT_EQ(alerts.requests().size(), asked + 1);
            const platform::AlertOptions& alert = alerts.requests().back().options;
            EXPECT_EQ(alert.messageText, "The session “Class.vantle” was changed on disk.");
            EXPECT_THAT(alert.informativeText, HasSubstr(session.path()));
            EXPECT_THAT(alert.buttons,
                        ElementsAre("Keep This Window's Version", "Open the Version on Disk", "Cancel"));
            EXPECT_EQ(bytesOf(session), theirs);
            EXPECT_TRUE(quits == 0 && names().size() == 3 && view().sessionURL() == session);
            ASSERT_TRUE(alerts.answerAlert(answer));

            switch (answer) {
            case 0: // this window's version, and the command goes on
                EXPECT_EQ(namesOnDisk(), (std::vector<std::string>{"a.wav", "b.wav", "c.wav"}));
                EXPECT_EQ(tagsOnDisk(), std::optional<std::string>("w"));
                EXPECT_TRUE(command.wentOn());
                break;
            case 1: // the version on disk is what the window shows; the command stops there
                EXPECT_EQ(bytesOf(session), theirs);
                EXPECT_THAT(names(), ElementsAre("a.wav", "b.wav"));
                EXPECT_TRUE(!entry(0)->tags && !playlist().dirty && view().sessionURL() == session);
                EXPECT_EQ(quits, 0);
                break;
            default: // nothing changes, here or on disk
                EXPECT_EQ(bytesOf(session), theirs);
                EXPECT_TRUE(names().size() == 3 && entry(0)->tags == "w" && playlist().dirty);
                EXPECT_TRUE(quits == 0 && view().sessionURL() == session);
                break;
            }
            EXPECT_EQ(alerts.pendingAlerts(), 0u);
            EXPECT_FALSE(delegate->terminationPending());
        }
    }
}

TEST_F(SessionOnDiskTest, SavesOfThisWindowsOwnWritesAndReadsNeverAsk) {
    openWithTagAdded();
    run("saveSession");
    entry(1)->tags = "x";
    run("saveSession");
    view().playerDidFinish();
    // Opened again after another window's save: what was read is what may be written over.
    anotherWindowRemovesARow();
    ASSERT_TRUE(view().loadSession(session));
    entry(0)->tags = "y";
    run("terminate");
    EXPECT_TRUE(alerts.requests().empty());
    EXPECT_TRUE(quits == 1 && tagsOnDisk() == std::optional<std::string>("y") && namesOnDisk().size() == 2);
}

// While one question is open, the saves after each further song do not stack more of them.
TEST_F(SessionOnDiskTest, TheSaveAfterASongWaitsForTheOpenQuestion) {
    openWithTagAdded();
    anotherWindowRemovesARow();
    view().playerDidFinish();
    view().playerDidFinish();
    EXPECT_EQ(alerts.requests().size(), 1u);
    ASSERT_TRUE(alerts.answerAlert(2));
    view().playerDidFinish();
    EXPECT_EQ(alerts.requests().size(), 2u);
}

// What was heard goes into the document and the log with the write the answer allows, once.
TEST_F(SessionOnDiskTest, TheEntrysListeningIsClosedOnlyWhenTheQuitWrites) {
    openWithTagAdded();
    view().loadEntry(entry(0));
    anotherWindowRemovesARow();
    run("terminate");
    ASSERT_TRUE(alerts.answerAlert(2));
    EXPECT_TRUE(log->loggedEntries.empty());
    run("terminate");
    ASSERT_TRUE(alerts.answerAlert(0));
    EXPECT_THAT(log->loggedEntries, ElementsAre("a.wav"));
    EXPECT_EQ(quits, 1);
}

TEST_F(SessionOnDiskTest, AFailedSaveSaysTheSystemsReasonAndNamesSaveAs) {
    // The session's folder goes away: no file is there to lose, and none can be written.
    std::filesystem::create_directories(audioFolder.path + "/Gone");
    session = audioFolder.url("Gone/Class.vantle");
    openWithTagAdded();
    std::filesystem::remove_all(audioFolder.path + "/Gone");
    testsupport::ScopedConsoleCapture console;
    const struct {
        const char* command;
        const char* advice; // in the alert's details
    } cases[] = {
        {"saveSession", "File › Save Session As… saves them in another folder"},
        {"fileCloseAction", "To keep them elsewhere, choose File › Save Session As…"},
        {"terminate", "keeps running so that your changes are not lost. To keep them elsewhere, choose "
                      "File › Save Session As…"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        const std::size_t before = alerts.requests().size();
        run(c.command);
        ASSERT_EQ(alerts.requests().size(), before + 1);
        EXPECT_EQ(alerts.requests().back().options.messageText,
                  "The session “Class.vantle” could not be saved: no such file or directory.");
        EXPECT_THAT(alerts.requests().back().options.informativeText, HasSubstr(c.advice));
        EXPECT_TRUE(alerts.answerAlert(0));
        EXPECT_THAT(console.lines().back(),
                    HasSubstr("can't save " + session.absoluteString() + ": no such file or directory"));
    }
    EXPECT_TRUE(quits == 0 && names().size() == 3 && playlist().dirty);
    // The way out the alert names.
    run("saveAsSession");
    ASSERT_TRUE(panels.answerSavePanel(audioFolder.url("Kept.vantle")));
    run("terminate");
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(Playlist::read(audioFolder.url("Kept.vantle")).value()->allEntries.at(0)->tags,
              std::optional<std::string>("w"));
}

// A session that can no longer be saved says so once, not again at the end of every song while the
// user has not yet read the first alert.
TEST_F(SessionOnDiskTest, TheSavesAfterSongsAddNoAlertToAnOpenOneAboutTheSameFailure) {
    std::filesystem::create_directories(audioFolder.path + "/Gone");
    session = audioFolder.url("Gone/Class.vantle");
    openWithTagAdded();
    std::filesystem::remove_all(audioFolder.path + "/Gone");
    const std::size_t before = alerts.requests().size();
    view().playerDidFinish();
    view().playerDidFinish();
    EXPECT_EQ(alerts.requests().size(), before + 1);
    ASSERT_TRUE(alerts.answerAlert(0));
    view().playerDidFinish();
    EXPECT_EQ(alerts.requests().size(), before + 2);
}

// Opening the version on disk drops this window's version of the session, not the song heard in it nor
// its notes file: the song goes into the listening log and a note deleted on the slider goes from its
// file, as when the window leaves the session any other way.
TEST_F(SessionOnDiskTest, OpeningTheVersionOnDiskLogsTheSongHeardAndSavesItsNotes) {
    const std::string notesFile = companionTextURL(files[1], ".txt").path();
    for (const char* command : {"saveSession", "terminate"}) {
        SCOPED_TRACE(command);
        ASSERT_TRUE(platform::writeFileAtomically(notesFile, files[1].path() + "\n 0:03 gone\n 0:05 kept\n"));
        openWithTagAdded();
        view().loadEntry(entry(1));
        TextNoteSet& notes = entry(1)->noteSet();
        notes.notes.erase(notes.notes.begin());
        notes.altered = true;
        anotherWindowRemovesARow();
        log->loggedEntries.clear();
        run(command);
        ASSERT_TRUE(alerts.answerAlert(1));
        ASSERT_THAT(names(), ElementsAre("a.wav", "b.wav"));
        EXPECT_THAT(log->loggedEntries, ElementsAre("b.wav"));
        EXPECT_EQ(platform::readTextFile(notesFile).valueOr(""), files[1].path() + "\n 0:05 kept\n");
        EXPECT_EQ(quits, 0);
    }
}

// A note that cannot be written (its file holds someone else's text) when the version on disk is opened
// after a plain Save: the alert says it was printed, and it was; a second try prints it again rather than
// dropping it unsaid.
TEST_F(SessionOnDiskTest, OpeningTheVersionOnDiskPrintsTheNotesItCannotWrite) {
    const std::string notesFile = companionTextURL(files[1], ".txt").path();
    ASSERT_TRUE(platform::writeFileAtomically(notesFile, "someone else's list\n"));
    for (int attempt = 0; attempt < 2; ++attempt) {
        SCOPED_TRACE(attempt);
        openWithTagAdded();
        TextNoteSet& notes = entry(1)->noteSet();
        notes.notes.push_back(std::make_shared<TextNote>(4.0, "typed here"));
        notes.altered = true;
        anotherWindowRemovesARow();
        testsupport::ScopedConsoleCapture console;
        const std::size_t before = alerts.requests().size();
        run("saveSession");
        ASSERT_TRUE(alerts.answerAlert(1));
        // Held at the first try, so that the note is not lost; the second opens the version on disk.
        EXPECT_EQ(names().size(), attempt == 0 ? 3u : 2u);
        if (attempt == 0) {
            ASSERT_EQ(alerts.requests().size(), before + 2);
            EXPECT_THAT(alerts.requests().back().options.informativeText,
                        HasSubstr("printed to Vantle's log"));
            ASSERT_TRUE(alerts.answerAlert(0));
        }
        EXPECT_THAT(console.lines(),
                    Contains(AllOf(HasSubstr("not written to " + notesFile), HasSubstr("typed here"))));
    }
}

// Save As onto the session's own file, the name the panel proposes, is a save there like any other.
TEST_F(SessionOnDiskTest, SaveAsOntoTheSessionsOwnFileAsksFirst) {
    for (int answer : {2, 0}) {
        SCOPED_TRACE(answer);
        openWithTagAdded();
        anotherWindowRemovesARow();
        const platform::Bytes theirs = bytesOf(session);
        const std::size_t asked = alerts.requests().size();
        run("saveAsSession");
        ASSERT_TRUE(panels.answerSavePanel(session));
        ASSERT_EQ(alerts.requests().size(), asked + 1);
        EXPECT_EQ(alerts.requests().back().options.messageText,
                  "The session “Class.vantle” was changed on disk.");
        EXPECT_EQ(bytesOf(session), theirs);
        ASSERT_TRUE(alerts.answerAlert(answer));
        EXPECT_EQ(namesOnDisk().size(), answer == 0 ? 3u : 2u);
        EXPECT_EQ(playlist().dirty, answer != 0);
        EXPECT_EQ(view().sessionURL(), session);
    }
}

// The question after a song comes unasked, while the user plays on with Space and Return: those keys,
// pressed at it, must not write over the other version.
TEST_F(SessionOnDiskTest, TheKeysThatPlayAnswerTheQuestionWithCancel) {
    platform::QtAlerts shown;
    configureEnvironment = [&](MainViewEnvironment& environment) { environment.alerts = &shown; };
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return}) {
        SCOPED_TRACE(key == Qt::Key_Space ? "Space" : "Return");
        openWithTagAdded();
        anotherWindowRemovesARow();
        const platform::Bytes theirs = bytesOf(session);
        view().playerDidFinish();
        auto* box = window->findChild<QMessageBox*>();
        ASSERT_NE(box, nullptr);
        ASSERT_NE(box->focusWidget(), nullptr);
        QTest::keyClick(box->focusWidget(), key);
        QApplication::processEvents();
        EXPECT_TRUE(bytesOf(session) == theirs) << "written over";
        EXPECT_TRUE(playlist().dirty);
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_EQ(window->findChild<QMessageBox*>(), nullptr);
    }
}

} // namespace
} // namespace vantle::testing

namespace vantle::testing {
namespace {

// Another window's save lands after Close or Quit looked at the file, while the song's listening is
// closed and the state file written: the write is still asked about, not made over it.
TEST_F(SessionOnDiskTest, AWriteAfterTheLookAtCloseOrQuitIsStillAskedAbout) {
    for (const char* command : {"fileCloseAction", "terminate"}) {
        SCOPED_TRACE(command);
        quits = 0;
        openWithTagAdded();
        std::shared_ptr<Playlist> theirs = Playlist::read(session).value();
        theirs->allEntries.pop_back();
        const platform::Bytes theirBytes = platform::encodePlist(*theirs).value();
        bool written = false;
        // The first step of the session's own save: after the look the command made before it closed
        // the listening.
        platform::setFileWriteHooks({[&](platform::SaveStep step, const std::string& target) {
                                         if (step != platform::SaveStep::locked || target != session.path() ||
                                             written)
                                             return;
                                         written = platform::writeFileAtomically(target, theirBytes).ok();
                                     },
                                     {}});
        const std::size_t asked = alerts.requests().size();
        run(command);
        platform::setFileWriteHooks();
        EXPECT_TRUE(written);
        EXPECT_EQ(bytesOf(session), theirBytes);
        ASSERT_EQ(alerts.requests().size(), asked + 1);
        EXPECT_EQ(alerts.requests().back().options.messageText,
                  "The session “Class.vantle” was changed on disk.");
        ASSERT_TRUE(alerts.answerAlert(2));
        EXPECT_EQ(quits, 0);
        EXPECT_EQ(view().sessionURL(), session);
    }
}

} // namespace
} // namespace vantle::testing
