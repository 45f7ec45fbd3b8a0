// Start-up restores the last session at the first activation; quitting keeps what was heard.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include "Source/mainwindow/LeavingNotes.h"
#include "Source/session/SessionRecovery.h"
#include "Source/session/TextNoteSet.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/TextFile.h"
#include "tests/support/ConsoleCapture.h"
#include "tests/support/NotesFiles.h"
#include "tests/support/QuietNotesFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>

#include <filesystem>

#include <QTest>

namespace vantle::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::vector<TimeRange> rangesOf(const std::shared_ptr<TimeRangeSet>& set) {
    return set ? set->ranges : std::vector<TimeRange>{};
}

class RestoreTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        a = audioFile("Tango/a.wav", 30);
        b = audioFile("Tango/b.wav", 90);
        c = audioFile("Tango/c.wav", 30);
        session = audioFolder.url("Milonga.vantle");
    }

    platform::Url a, b, c, session;
};

TEST_F(RestoreTest, FirstActivationRestoresTheSavedEntryPositionedAndNotPlaying) {
    writeSession(session, {a, b, c}, 0, 3.0);
    writeAppState(AppState(session, 65.5, 1, heardSpans({{10, 20}, {40, 65.5}}), std::vector<double>{30.0}));

    start();
    // Nothing is restored before the application becomes active.
    EXPECT_TRUE(playlist().allEntries.empty());
    EXPECT_EQ(text(view().timeRemainingText().text()), "--:--");
    EXPECT_FALSE(view().timeRemainingText().isEnabled());

    activate();
    ASSERT_EQ(playlist().allEntries.size(), 3u);
    std::shared_ptr<PlaylistEntry> second = playlist().allEntries[1];
    EXPECT_EQ(playlist().assignedEntry, second);
    EXPECT_EQ(player->entry(), second);
    EXPECT_THAT(view().tableView().selectedRows(), ElementsAre(1u));
    EXPECT_FALSE(player->playing());
    EXPECT_EQ(player->plays, 0);
    EXPECT_DOUBLE_EQ(player->playbackTime(), 65.5);
    EXPECT_EQ(player->mode(), PlayerMode::dance);
    // Which entry the saved listening and marks go to is the state's rule; the display shows the mark.
    // 35.5 s since the mark at 30 s; 60 s of the segment, so 25 s left.
    EXPECT_EQ(text(view().timeSinceZeroText().text()), " 0:35");
    EXPECT_EQ(text(view().timeRemainingText().text()), " 0:25");
    EXPECT_EQ(text(window->windowTitle()), "Milonga");

    // The state file names the session again.
    platform::Result<AppState> written = writtenAppState();
    ASSERT_TRUE(written);
    EXPECT_EQ(written->playlistURL, session);
    EXPECT_EQ(written->currentEntryIndex, 1);
    EXPECT_DOUBLE_EQ(written->currentTime, 65.5);
}

TEST_F(RestoreTest, StateOfAnotherDocumentOrPastTheListLeavesTheDocumentsOwnEntry) {
    const platform::Url other = audioFolder.url("Other.vantle");
    writeSession(other, {c});
    writeSession(session, {a, b, c}, 2, 12.0);
    writeAppState(AppState(other, 7, 0, std::make_shared<TimeRangeSet>(), std::vector<double>{1.0}));
    start();
    activate();
    ASSERT_EQ(playlist().allEntries.size(), 1u);
    EXPECT_THAT(playlist().allEntries[0]->zeros, ElementsAre(1.0));

    // The state names another document: this one opens at its own entry and time.
    ASSERT_TRUE(view().loadSession(session));
    EXPECT_EQ(playlist().assignedEntry, playlist().allEntries[2]);
    EXPECT_EQ(player->entry(), playlist().allEntries[2]);
    EXPECT_THAT(view().tableView().selectedRows(), ElementsAre(2u));
    EXPECT_DOUBLE_EQ(player->playbackTime(), 12.0);
    for (const auto& entry : playlist().allEntries)
        EXPECT_TRUE(entry->zeros.empty());

    // A state of this document whose index lies past its list counts for nothing, its time neither.
    writeAppState(AppState(session, 50, 7, nullptr, std::vector<double>{1.0}));
    ASSERT_TRUE(view().loadSession(session));
    EXPECT_EQ(player->entry(), playlist().allEntries[2]);
    EXPECT_DOUBLE_EQ(player->playbackTime(), 12.0);
    for (const auto& entry : playlist().allEntries)
        EXPECT_TRUE(entry->zeros.empty());
}

// A run killed while saving leaves hidden temporaries beside the state file and the document; the
// next start clears them, however young, before it reads anything.
TEST_F(RestoreTest, StartUpClearsTheTemporariesOfAKilledRun) {
    const platform::Url named = audioFolder.url("Named.vantle");
    writeSession(session, {a, b});
    writeSession(named, {c});
    writeAppState(AppState(session, 5, 0, nullptr, std::nullopt));
    const std::string state = appStateFileURL().path();
    const auto beside = [](const std::string& path, const std::string& suffix) {
        const std::filesystem::path target(path);
        return (target.parent_path() / ("." + target.filename().string() + suffix)).string();
    };
    const std::string mark(platform::temporaryMark);
    // Half-written and a second old: the rule for later writes would keep them for a minute.
    const std::vector<std::string> leftovers = {
        beside(state, mark + "Ab12Cd"),
        beside(state, mark + "x0Y1z2"),
        beside(sessionRecoveryFileURL().path(), mark + "Rc0vEr"),
        beside(session.path(), mark + "Ab12Cd"),
        beside(named.path(), mark + "Qq00Qq"),
    };
    for (const std::string& leftover : leftovers)
        ASSERT_TRUE(platform::writeFileAtomically(leftover, std::string_view("bplist00 half")));
    // Another document's, the user's own hidden copies, and an older version's unmarked leftover stay.
    const std::vector<std::string> kept = {
        beside(audioFolder.path + "/Other.vantle", mark + "Ab12Cd"),
        beside(session.path(), ".backup"),
        beside(named.path(), ".before"),
        beside(state, ".backup"),
        beside(session.path(), ".Ab12Cd"),
    };
    for (const std::string& file : kept)
        ASSERT_TRUE(platform::writeFileAtomically(file, std::string_view("the user's")));

    start();
    delegate->openFiles({named.path()});
    activate();
    for (const std::string& leftover : leftovers)
        EXPECT_FALSE(platform::fileExists(leftover)) << leftover;
    for (const std::string& file : kept)
        EXPECT_TRUE(platform::fileExists(file)) << file;
    EXPECT_EQ(view().sessionURL(), named);
    EXPECT_EQ(Playlist::read(session).value()->allEntries.size(), 2u);
}

TEST_F(RestoreTest, UnreadableSessionAtStartUpIsReportedAndLeavesTheStateFile) {
    ASSERT_TRUE(platform::writeFileAtomically(session.path(), std::string_view("not a property list")));
    writeAppState(AppState(session, 5, 0, nullptr, std::nullopt));
    const platform::Bytes before = bytesOf(appStateFileURL());
    ASSERT_FALSE(before.empty());

    start();
    testsupport::ScopedConsoleCapture console;
    activate();
    EXPECT_TRUE(playlist().allEntries.empty());
    EXPECT_EQ(view().sessionURL(), std::nullopt);
    ASSERT_EQ(alerts.requests().size(), 1u);
    EXPECT_THAT(alerts.requests()[0].options.messageText, HasSubstr("Milonga.vantle"));
    ASSERT_FALSE(console.lines().empty());
    EXPECT_THAT(console.lines().back(), HasSubstr("can't open session " + session.path()));
    EXPECT_EQ(bytesOf(appStateFileURL()), before);

    // Quitting with nothing to remember leaves it for the next start.
    delegate->terminate();
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(bytesOf(appStateFileURL()), before);

    // The broken document never becomes where the next save goes: a new session asks for a place.
    stop();
    start();
    view().setFirst(false);
    view().insertEntries({a});
    ASSERT_TRUE(playlist().dirty);
    delegate->terminate();
    EXPECT_EQ(panels.pendingSavePanels(), 1u);
    EXPECT_EQ(quits, 1);
    // Cancel keeps the window and the changes.
    ASSERT_TRUE(panels.answerSavePanel(std::nullopt));
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(bytesOf(session).size(), std::string_view("not a property list").size());
}

TEST_F(RestoreTest, QuittingAfterPlayingPartOfAnEntryAndStartingAgainRestoresIt) {
    writeSession(session, {a, b, c}, 0);
    start();
    activate();
    ASSERT_TRUE(delegate->openFile(session.path()));
    ASSERT_EQ(playlist().allEntries.size(), 3u);
    std::shared_ptr<PlaylistEntry> second = playlist().allEntries[1];

    view().tableView().selectRows({1});
    ASSERT_EQ(player->entry(), second);
    view().transport().playPressed();
    EXPECT_TRUE(player->playing());
    tick(50);
    // A zero mark is kept in the state file at once (as the transport's mark does).
    second->addZero(5.0);
    view().saveAppState();
    tick(150);

    // A quit without unsaved changes still closes the listening and keeps the state.
    ASSERT_FALSE(playlist().dirty);
    window->close();
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(player->playing());
    // Every entry left reaches the log, which writes a line only for a fair share heard: none of a.wav.
    EXPECT_THAT(log->loggedEntries, ElementsAre("a.wav", "b.wav"));
    EXPECT_THAT(log->loggedShares, ElementsAre(0.0, ::testing::DoubleNear(20.0 / 90.0, 1e-6)));
    ASSERT_EQ(second->prevTimeRangeSet.ranges.size(), 1u);
    EXPECT_NEAR(second->prevTimeRangeSet.ranges[0].end, 20.0, 1e-6);
    platform::Result<AppState> saved = writtenAppState();
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->currentEntryIndex, 1);
    EXPECT_NEAR(saved->currentTime, 20.0, 1e-6);

    stop();
    start();
    activate();
    // The entry and its position come back as after the X server's quit; here what was heard and marked.
    std::shared_ptr<PlaylistEntry> restored = playlist().assignedEntry;
    ASSERT_TRUE(restored && restored->_url == b);
    ASSERT_EQ(rangesOf(restored->currentTimeRangeSet).size(), 1u);
    EXPECT_DOUBLE_EQ(restored->currentTimeRangeSet->ranges[0].start, 0.0);
    EXPECT_NEAR(restored->currentTimeRangeSet->ranges[0].end, 20.0, 1e-6);
    EXPECT_THAT(restored->zeros, ElementsAre(5.0));

    // Unsaved changes are written before the quit, with the listening closed.
    view().transport().playPressed();
    tick(50);
    view().insertEntries({c, a});
    ASSERT_TRUE(playlist().dirty);
    delegate->terminate();
    EXPECT_EQ(quits, 2);
    platform::Result<std::shared_ptr<Playlist>> document = Playlist::read(session);
    ASSERT_TRUE(document);
    ASSERT_EQ((*document)->allEntries.size(), 3u);
    EXPECT_EQ((*document)->allEntries[0]->_url, b);
    EXPECT_EQ((*document)->allEntries[2]->_url, a);
    ASSERT_EQ((*document)->allEntries[0]->prevTimeRangeSet.ranges.size(), 1u);
    EXPECT_NEAR((*document)->allEntries[0]->prevTimeRangeSet.ranges[0].end, 25.0, 1e-6);
    EXPECT_NEAR((*document)->currentTime, 25.0, 1e-6);
}

// The entry commands' test fails its writes on a locked folder; this one also where none can be locked.
TEST_F(RestoreTest, AFailedSaveKeepsTheWindowOpenOnQuitAndSaysSo) {
    const std::string folder = audioFolder.path + "/Sessions";
    const platform::Url located = audioFolder.url("Sessions/Late.vantle");
    std::filesystem::create_directories(folder);
    writeSession(located, {a, b});
    start();
    activate();
    ASSERT_TRUE(view().loadSession(located));
    view().insertEntries({c});

    // The folder has become a file: the document cannot be written. The folder is held open, so that the
    // one made again later cannot take its inode.
    const platform::FileDescriptor held(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::filesystem::remove_all(folder);
    ASSERT_TRUE(platform::writeFileAtomically(folder, std::string_view("x")));
    delegate->terminate();
    EXPECT_TRUE(quits == 0 && !delegate->terminationPending() && playlist().dirty);
    ASSERT_EQ(alerts.requests().size(), 1u);
    EXPECT_THAT(alerts.requests()[0].options.messageText, HasSubstr("“Late.vantle” could not be saved"));
    EXPECT_THAT(alerts.requests()[0].options.informativeText, HasSubstr("keeps running"));

    // Once a folder is back, the next quit saves and goes; being another folder than the one the
    // session was read from, it is written only where the save panel says.
    std::filesystem::remove(folder);
    std::filesystem::create_directories(folder);
    delegate->terminate();
    ASSERT_EQ(alerts.requests().size(), 2u);
    EXPECT_THAT(alerts.requests()[1].options.messageText, HasSubstr("no longer the one it was opened from"));
    EXPECT_FALSE(platform::fileExists(located.path()));
    ASSERT_TRUE(alerts.answerAlert(0) && alerts.answerAlert(0));
    ASSERT_TRUE(panels.answerSavePanel(located));
    EXPECT_TRUE(quits == 1 && Playlist::read(located).value()->allEntries.size() == 3);
}

// A note typed in the window a moment after an editor wrote its file: the save waits for the file. The
// waits of a song left, a close or a quit are tries on later turns of the window's loop, which the test
// makes itself, a tenth of a second of the notes' clock apart: the window's thread never waits.
class WaitingNoteTest : public RestoreTest {
protected:
    void SetUp() override {
        RestoreTest::SetUp();
        TextNoteSet::setClockForNewSets(&notesClock);
        writeSession(session, {a, b, c}, 0);
        start();
        view().leavingNotes().setLater(
            [this](std::function<void()> retry) { retries.push_back(std::move(retry)); });
        activate();
        ASSERT_TRUE(delegate->openFile(session.path()));
    }
    void TearDown() override {
        platform::setFileWriteHooks();
        RestoreTest::TearDown();
        TextNoteSet::setClockForNewSets(nullptr);
    }

    static std::string notesOf(const platform::Url& song) { return companionTextURL(song, ".txt").path(); }
    static std::string text(const std::string& file) {
        return platform::readTextFile(file).valueOr(std::string("<missing>"));
    }
    // The editor writes the notes file of the song at `row`; the note is typed a moment later.
    void typeJustAfterTheEditor(std::size_t row, const std::string& note) {
        view().tableView().selectRows({row});
        const std::string file = notesOf(entry(row)->_url);
        ASSERT_TRUE(testsupport::appendToFile(file, entry(row)->_url.path() + "\n 0:05 editor\n"));
        notesClock.set(testsupport::dateAfterWritten(file, 0.3));
        player->setCurrentTime(10);
        tick();
        QTest::mouseClick(&view().noteTextField(), Qt::LeftButton);
        QTest::keyClicks(&view().noteTextField(), QString::fromStdString(note));
        QTest::keyClick(&view().noteTextField(), Qt::Key_Return);
        ASSERT_EQ(text(file), entry(row)->_url.path() + "\n 0:05 editor\n") << "the save waits";
    }
    // From now on the editor writes `file` while each save of it is being made.
    void keepWritingDuringSaves(const std::string& file) {
        platform::setFileWriteHooks({[file](platform::SaveStep step, const std::string& target) {
                                         if (step == platform::SaveStep::beforeReplacing && target == file) {
                                             EXPECT_TRUE(testsupport::appendToFile(file, " 0:50 more\n"));
                                         }
                                     },
                                     {}});
    }
    // The window's loop turns for `seconds` of the notes' clock.
    void letTimePass(double seconds) {
        for (double passed = 0; passed < seconds; passed += 0.1) {
            notesClock.advance(0.1);
            std::vector<std::function<void()>> due;
            due.swap(retries);
            for (auto& retry : due)
                retry();
        }
    }

    testsupport::FakeClock notesClock;
    std::vector<std::function<void()>> retries;
};

// Another song loaded or the program quit right after the note: it is written once the file settles,
// the window going on meanwhile. A file written during every save is named, the note printed to the
// log, and the first quit keeps the program running.
TEST_F(WaitingNoteTest, ItIsWrittenWhenTheSongIsLeftOrTheProgramQuits) {
    typeJustAfterTheEditor(0, "first");
    view().tableView().selectRows({1});
    EXPECT_EQ(text(notesOf(a)), a.path() + "\n 0:05 editor\n") << "the window did not wait";
    letTimePass(1);
    EXPECT_EQ(text(notesOf(a)), a.path() + "\n 0:05 editor\n 0:10 first\n");

    typeJustAfterTheEditor(1, "second");
    typeJustAfterTheEditor(2, "third");
    keepWritingDuringSaves(notesOf(c));
    testsupport::ScopedConsoleCapture console;
    delegate->terminate();
    EXPECT_EQ(text(notesOf(b)), b.path() + "\n 0:05 editor\n") << "the window did not wait";
    EXPECT_EQ(quits, 0);
    letTimePass(1);
    EXPECT_EQ(text(notesOf(b)), b.path() + "\n 0:05 editor\n 0:10 second\n");
    EXPECT_EQ(quits, 0) << "the quit waits for the notes";
    letTimePass(TextNoteSet::leavingPatience);
    EXPECT_EQ(quits, 0) << "the note still only in the window keeps the program running";
    ASSERT_EQ(alerts.requests().size(), 1u);
    EXPECT_THAT(alerts.requests()[0].options.messageText, HasSubstr(notesOf(c)));
    EXPECT_THAT(console.lines(), ::testing::Contains("not written to " + notesOf(c) + ":  0:10 third"));
    EXPECT_EQ(text(notesOf(c)).find("third"), std::string::npos);

    // Quit again: the note is in the log, and the program goes once the file had its wait.
    delegate->terminate();
    letTimePass(TextNoteSet::leavingPatience + 0.5);
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(alerts.requests().size(), 1u);
}

// Closing the session: the same, the session staying open the first time a file is named.
TEST_F(WaitingNoteTest, ItIsWrittenWhenTheSessionIsClosed) {
    typeJustAfterTheEditor(0, "first");
    typeJustAfterTheEditor(1, "second");
    keepWritingDuringSaves(notesOf(b));
    testsupport::ScopedConsoleCapture console;
    view().closeSession();
    EXPECT_EQ(text(notesOf(a)), a.path() + "\n 0:05 editor\n") << "the window did not wait";
    EXPECT_EQ(playlist().allEntries.size(), 3u);
    letTimePass(TextNoteSet::leavingPatience + 0.5);
    EXPECT_EQ(text(notesOf(a)), a.path() + "\n 0:05 editor\n 0:10 first\n");
    EXPECT_EQ(playlist().allEntries.size(), 3u) << "the session stays open";
    ASSERT_EQ(alerts.requests().size(), 1u);
    EXPECT_THAT(alerts.requests()[0].options.messageText, HasSubstr(notesOf(b)));
    view().closeSession();
    letTimePass(TextNoteSet::leavingPatience + 0.5);
    EXPECT_TRUE(playlist().allEntries.empty());
}

} // namespace
} // namespace vantle::testing
