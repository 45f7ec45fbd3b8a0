// The session, entry and window commands from their menu items and by their keys: the save panel's
// OK and Cancel, writes that fail, adding, removing and relocating entries while another one plays,
// clearing, copying and opening.

#include "tests/Source/mainwindow/RealPartsTestSupport.h"

#include "Source/mainwindow/EntryRelocation.h"
#include "Source/mainwindow/Logger.h"
#include "Source/session/Attachment.h"
#include "Source/session/Exporter.h"
#include "Source/session/TextNoteSet.h"
#include "tests/support/ConsoleCapture.h"

#include <QAction>
#include <QLocale>
#include <QMenu>

#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>

namespace vantle::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class CommandTest : public RealPartsTest {
protected:
    void SetUp() override {
        RealPartsTest::SetUp();
        configureEnvironment = [this, real = configureEnvironment](MainViewEnvironment& environment) {
            real(environment);
            environment.workspace = &workspace;
            environment.pasteboard = &pasteboard;
            environment.modifierKeys = [this] { return modifiers; };
            environment.parts.log = [this](MainViewController&) {
                return std::make_unique<Logger>(audioFolder.url("log.txt"), clock);
            };
        };
    }
    void open() {
        start();
        activate();
    }
    // From the menu item, or by its key where the focus is.
    void run(const char* name, bool byKey = false) {
        auto* action = window->findChild<QAction*>(name);
        ASSERT_TRUE(action && (!byKey || !action->shortcut().isEmpty())) << name;
        if (!byKey) return action->trigger();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QTest::keySequence(QApplication::focusWidget(), action->shortcut());
    }
    // Playing the first entry, which the edits must leave playing.
    void expectPlaying(bool start = false) {
        if (start) view().loadEntry(entry(0)), view().transport().playPressed();
        EXPECT_TRUE(playlist().assignedEntry == entry(0) && player->entry() == entry(0) && player->playing());
    }
    platform::UserDefaults& defaults() { return platform::UserDefaults::standard(); }

    testsupport::FakeWorkspace workspace;
    testsupport::FakePasteboard pasteboard;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

TEST_F(CommandTest, CancelInTheSavePanelChangesNothingAndOkGoesOn) {
    const platform::Url a = audioFile("a.wav", 20), other = audioFolder.url("Other.vantle");
    writeSession(other, {audioFile("o.wav", 10)});
    const std::vector<std::pair<const char*, std::function<void(const platform::Url&)>>> cases = {
        {"newSessionAction",
         [&](auto&) { EXPECT_TRUE(names().empty() && defaults().object("lastSessionURL")); }},
        {"fileCloseAction",
         [&](auto&) { EXPECT_TRUE(names().empty() && !defaults().object("lastSessionURL")); }},
        {"openSession", [&](auto&) { EXPECT_THAT(names(), ElementsAre("o.wav")); }},
        {"saveSession", [&](auto& saved) { EXPECT_EQ(view().sessionURL(), saved); }},
        {"saveAsSession", [&](auto& saved) { EXPECT_EQ(defaults().url("lastSessionURL"), saved); }},
        {"terminate", [&](auto&) { EXPECT_EQ(quits, 1); }},
    };
    for (const auto& [name, check] : cases) {
        for (bool byKey : {false, true}) {
            SCOPED_TRACE(std::string(name) + (byKey ? " by key" : " from the menu"));
            stop();
            std::filesystem::remove(appStateFileURL().path());
            quits = 0;
            open();
            defaults().setUrl("lastSessionURL", other);
            view().insertEntries({a});
            const platform::Url saved = audioFolder.url(std::string(name) + (byKey ? "Key" : "") + ".vantle");
            for (std::optional<platform::Url> answer :
                 {std::optional<platform::Url>(), std::optional(saved)}) {
                run(name, byKey);
                if (std::string_view(name) == "openSession") (void)panels.answerOpenPanel({other});
                ASSERT_TRUE(panels.answerSavePanel(answer));
                if (answer) break;
                EXPECT_TRUE(names().size() == 1 && playlist().dirty && !view().sessionURL() && quits == 0);
                EXPECT_TRUE(defaults().object("lastSessionURL") && !platform::fileExists(saved.path()));
            }
            EXPECT_TRUE(Playlist::read(saved).value()->allEntries.size() == 1 && !playlist().dirty);
            check(saved);
        }
    }
    EXPECT_TRUE(alerts.requests().empty());
}

// In a window with no session, saving, closing and starting anew each drop the state file; a folder that
// has taken its name stays with everything in it, and the console says so once.
TEST_F(CommandTest, AFolderAtTheStateFilesPathOutlivesTheCommandsOfAnEmptyWindow) {
    const std::string state = appStateFileURL().path();
    std::filesystem::remove(state);
    ASSERT_TRUE(platform::createDirectory(state + "/Backups"));
    ASSERT_TRUE(platform::writeFileAtomically(state + "/Backups/class.vantle", std::string_view("mine")));
    testsupport::ScopedConsoleCapture console;
    open();
    for (const char* name : {"saveSession", "fileCloseAction", "newSessionAction"}) {
        SCOPED_TRACE(name);
        run(name, true);
        (void)panels.answerSavePanel(std::nullopt);
        EXPECT_EQ(bytesOf(platform::Url::fileURLWithPath(state + "/Backups/class.vantle")),
                  platform::Bytes({'m', 'i', 'n', 'e'}));
    }
    view().safekeeping().flush();
    const std::vector<std::string> lines = console.lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](const std::string& line) {
                                return line.find(state) != std::string::npos &&
                                       line.find("it is a folder") != std::string::npos;
                            }),
              1);
}

// Read-only, and immutable where permissions do not bind (root).
void setUnwritable(const std::string& path, bool on) {
    ::chmod(path.c_str(), on ? 0555 : 0755);
    (void)std::system(("chattr " + std::string(on ? "+i '" : "-i '") + path + "' 2>/dev/null").c_str());
}

TEST_F(CommandTest, AWriteThatFailsIsReportedAndLosesNothing) {
    const std::string folder = audioFolder.path + "/Sessions";
    std::filesystem::create_directories(folder);
    const platform::Url late = audioFolder.url("Sessions/Late.vantle");
    writeSession(late, {audioFile("a.wav", 20)});
    open();
    ASSERT_TRUE(view().loadSession(late));
    view().insertEntries({audioFile("b.wav", 20)});
    const platform::Bytes before = bytesOf(late);
    setUnwritable(folder, true);
    if (platform::writeFileAtomically(folder + "/probe", "x")) GTEST_SKIP() << "no folder can be locked here";

    run("saveSession", true);
    run("fileCloseAction");
    run("saveAsSession", true);
    ASSERT_TRUE(panels.answerSavePanel(audioFolder.url("Sessions/Elsewhere.vantle")));
    run("terminate", true);
    ASSERT_EQ(alerts.requests().size(), 4u);
    EXPECT_THAT(alerts.requests()[2].options.messageText, HasSubstr("“Elsewhere.vantle” could not be saved"));
    EXPECT_THAT(alerts.requests()[3].options.informativeText, HasSubstr("keeps running"));
    EXPECT_TRUE(quits == 0 && !delegate->terminationPending() && names().size() == 2 && playlist().dirty &&
                view().sessionURL() == late);
    EXPECT_EQ(text(window->windowTitle()), "Late*");
    EXPECT_EQ(bytesOf(late), before);
    setUnwritable(folder, false);
    run("terminate", true);
    EXPECT_TRUE(quits == 1 && Playlist::read(late).value()->allEntries.size() == 2);
}

TEST_F(CommandTest, AddingAFolderRemovingAndMovingLeaveThePlayingEntryAlone) {
    for (const char* name : {"Set/b.wav", "Set/a.wav", "Set/Sub/c.wav", "Set/.h.wav", "Set/.H/d.wav"})
        audioFile(name, 5);
    const platform::Url loose = audioFolder.url("loose.txt");
    ASSERT_TRUE(platform::writeFileAtomically(audioFolder.path + "/Set/notes.txt", "x") &&
                platform::writeFileAtomically(loose.path(), "x"));
    open();
    view().insertEntries({audioFile("playing.wav", 60)});
    expectPlaying(true);

    run("actionAddEntry", true);
    ASSERT_TRUE(panels.answerOpenPanel({audioFolder.url("Set"), loose}));
    // One step in byte order ("Sub/" before "a"), hidden ones left out, the first added selected.
    EXPECT_THAT(names(), ElementsAre("playing.wav", "c.wav", "a.wav", "b.wav"));
    EXPECT_THAT(view().tableView().selectedRows(), ElementsAre(1u));
    EXPECT_THAT(alerts.requests().at(0).options.informativeText, HasSubstr("loose.txt: not an audio file"));
    delegate->actionUndo();
    EXPECT_THAT(names(), ElementsAre("playing.wav"));
    delegate->actionRedo();
    expectPlaying();

    // One step; the selection goes to the first row removed, or to the last row left.
    for (bool byKey : {false, true}) {
        view().tableView().selectRows(byKey ? RowIndexes{2, 3} : RowIndexes{1, 2});
        view().tableView().setFocus();
        run("removeSelectedItems", byKey);
        EXPECT_EQ(names(), (std::vector<std::string>{"playing.wav", byKey ? "c.wav" : "b.wav"}));
        EXPECT_THAT(view().tableView().selectedRows(), ElementsAre(1u));
        EXPECT_EQ(text(delegate->undoAction()->text()), "Undo remove");
        expectPlaying();
        delegate->actionUndo();
        EXPECT_THAT(names(), ElementsAre("playing.wav", "c.wav", "a.wav", "b.wav"));
        expectPlaying();
    }
    // The playing row itself, by Backspace, by Delete and by the Remove button: it leaves the list
    // and plays on; undo brings the row back, the player untouched.
    const std::shared_ptr<PlaylistEntry> playing = entry(0);
    const int loads = player->entrySets;
    for (const char* how : {"Backspace", "Delete", "Remove button"}) {
        SCOPED_TRACE(how);
        view().tableView().selectRows({0});
        focus();
        if (std::string_view(how) == "Remove button")
            window->findChild<QAction*>("toolRemoveEntry")->trigger();
        else
            QTest::keyClick(QApplication::focusWidget(),
                            std::string_view(how) == "Backspace" ? Qt::Key_Backspace : Qt::Key_Delete);
        EXPECT_THAT(names(), ElementsAre("c.wav", "a.wav", "b.wav"));
        EXPECT_TRUE(player->entry() == playing && playlist().assignedEntry == playing && player->playing());
        EXPECT_EQ(player->entrySets, loads);
        delegate->actionUndo();
        EXPECT_THAT(names(), ElementsAre("playing.wav", "c.wav", "a.wav", "b.wav"));
        expectPlaying();
        EXPECT_EQ(player->entrySets, loads);
    }
    // Up on the first row and Down on the last do nothing at all.
    view().selectPreviousRow();
    expectPlaying();
    playlist().filterText = "playing";
    view().selectNextRow();
    expectPlaying();
}

TEST(EntryRelocation, FoldersFollowByWholeComponents) {
    using Folders = std::optional<MovedFolders>;
    // A common end inside a folder name does not count; a renamed file, one that stayed and one
    // whose whole old path is the new one's end move nothing else.
    EXPECT_EQ(movedFolders("/Disk/Band/song.mp3", "/Music/Old/Band/song.mp3"),
              Folders({"/Music/Old", "/Disk"}));
    EXPECT_EQ(movedFolders("/M/NewBand/song.mp3", "/M/OldBand/song.mp3"),
              Folders({"/M/OldBand", "/M/NewBand"}));
    for (const char* path : {"/Music/Band/song.mp3", "/Music/Band/tune.mp3", "/Disk/Music/Band/song.mp3"})
        EXPECT_EQ(movedFolders(path, "/Music/Band/song.mp3"), std::nullopt) << path;
}

TEST_F(CommandTest, AMovedFileIsRelocatedAndTheOthersOfItsFolderFollowWhenFoundThere) {
    std::filesystem::create_directories(audioFolder.path + "/New/Band");
    const platform::Url gone = audioFile("Old/Band/gone.wav", 9), near = audioFile("Old2/near.wav", 9);
    open();
    view().insertEntries({audioFile("Old/Band/song.wav", 9), audioFile("Old/Band/other.wav", 9), gone, near});
    view().loadEntry(entry(0));
    for (const char* name : {"song.wav", "other.wav"})
        std::filesystem::rename(audioFolder.path + "/Old/Band/" + name,
                                audioFolder.path + "/New/Band/" + name);
    std::filesystem::copy_file(near.path(), audioFolder.path + "/New2.wav");
    const int loads = player->entrySets;

    run("entryMoved");
    ASSERT_TRUE(panels.answerOpenPanel({audioFolder.url("New/Band/song.wav")}));
    // The player still holds the file it opened before the move: nothing is loaded anew.
    EXPECT_TRUE(entry(0)->_url == audioFolder.url("New/Band/song.wav") && player->entrySets == loads);
    // Only other.wav is found at the new place; near.wav lies in another folder (Old2).
    EXPECT_EQ(alerts.requests().at(0).options.messageText, "Move other entry?");
    ASSERT_TRUE(alerts.answerAlert(0));
    EXPECT_EQ(entry(1)->_url, audioFolder.url("New/Band/other.wav"));
    EXPECT_TRUE(entry(2)->_url == gone && entry(3)->_url == near && playlist().dirty);
}

// Relocating the song that plays lets it play on from the file the player holds; a current entry
// whose file could not be opened is opened from its new place.
TEST_F(CommandTest, FileMovedKeepsThePlayingSongPlayingAndOpensOneThatWasMissing) {
    open();
    view().insertEntries({audioFile("Class/a.wav", 9), audioFile("Class/b.wav", 9)});
    expectPlaying(true);
    player->advance(3);
    std::filesystem::rename(audioFolder.path + "/Class", audioFolder.path + "/Class 2");
    const int loads = player->entrySets;
    run("entryMoved");
    ASSERT_TRUE(panels.answerOpenPanel({audioFolder.url("Class 2/a.wav")}));
    EXPECT_EQ(entry(0)->_url, audioFolder.url("Class 2/a.wav"));
    EXPECT_EQ(player->entrySets, loads);
    expectPlaying();
    EXPECT_TRUE(player->fileRunning && player->fileTime == 3 && !entry(0)->fileMissing);

    view().loadEntry(entry(1));
    ASSERT_FALSE(player->playable());
    run("entryMoved");
    ASSERT_TRUE(panels.answerOpenPanel({audioFolder.url("Class 2/b.wav")}));
    EXPECT_EQ(player->entrySets, loads + 2);
    EXPECT_TRUE(player->entry() == entry(1) && player->playable() && !entry(1)->fileMissing);
}

// The panel says which file it looks for and starts where that file was, or as near as still
// exists; the row shows the new name as soon as the panel closes.
TEST_F(CommandTest, FileMovedNamesTheFileAndStartsWhereItWas) {
    const struct {
        const char* gone; // removed under the audio folder before asking
        const char* start;
    } cases[] = {
        {"Old/Band/song.wav", "Old/Band"},
        {"Old/Band", "Old"},
        {"Old", ""},
    };
    open();
    // The Add Files panel was last used elsewhere.
    view().chooseFilesToAdd();
    ASSERT_TRUE(panels.answerOpenPanel({audioFile("Elsewhere/x.wav", 1)}));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.gone);
        const platform::Url song = audioFile("Old/Band/song.wav", 2);
        view().insertEntries({song});
        view().loadEntry(entry(1));
        ASSERT_EQ(playlist().assignedEntry->_url, song);
        std::filesystem::remove_all(audioFolder.path + "/" + c.gone);

        run("entryMoved");
        ASSERT_EQ(panels.pendingOpenPanels(), 1u);
        const platform::OpenPanelOptions& options = panels.openRequests().back().options;
        EXPECT_EQ(options.message, "Where is “song.wav” now?");
        EXPECT_EQ(options.directory, *c.start ? audioFolder.path + "/" + c.start : audioFolder.path);
        EXPECT_FALSE(options.allowsMultipleSelection || options.canChooseDirectories);

        const platform::Url found = audioFile("Found/song 2.wav", 2);
        ASSERT_TRUE(panels.answerOpenPanel({found}));
        EXPECT_EQ(entry(1)->_url, found);
        const QModelIndex title = view().tableView().playlistModel().index(
            1, PlaylistTableModel::columnIndex(PlaylistColumn::Title));
        EXPECT_EQ(text(title.data().toString()), "song 2.wav");
        EXPECT_THAT(view().tableView().selectedRows(), ElementsAre(1u));
        EXPECT_EQ(player->entry(), entry(1));
        delegate->actionUndo(); // the added entry goes again
        std::filesystem::remove_all(audioFolder.path + "/Found");
    }
}

// The panel names one entry; if the player moved on to the next while it was open, that entry is
// still the one relocated, and the one now current is left alone. Without a current entry the user
// is told why no panel comes.
TEST_F(CommandTest, FileMovedRelocatesTheEntryThePanelNamed) {
    open();
    view().insertEntries({audioFile("a.wav", 9), audioFile("b.wav", 9)});
    view().loadEntry(entry(0));
    run("entryMoved");
    view().loadEntry(entry(1));
    const platform::Url moved = audioFile("Moved/a.wav", 9);
    ASSERT_TRUE(panels.answerOpenPanel({moved}));
    EXPECT_EQ(entry(0)->_url, moved);
    EXPECT_EQ(entry(1)->_url, audioFolder.url("b.wav"));
    EXPECT_TRUE(playlist().assignedEntry == entry(1) && player->entry() == entry(1));

    view().loadEntry(nullptr);
    const std::size_t asked = panels.openRequests().size();
    run("entryMoved");
    EXPECT_EQ(panels.openRequests().size(), asked);
    ASSERT_EQ(alerts.requests().size(), 1u);
    EXPECT_EQ(alerts.requests().back().options.messageText, "No file was relocated");
    EXPECT_THAT(alerts.requests().back().options.informativeText, HasSubstr("No entry is current"));
}

// A command that changes nothing leaves the Edit menu and the session's saved state alone.
TEST_F(CommandTest, ACommandThatChangesNothingAddsNoUndoStep) {
    const platform::Url notAudio = audioFolder.url("notes.txt");
    ASSERT_TRUE(platform::writeFileAtomically(notAudio.path(), std::string_view("x")));
    struct Case {
        const char* name;
        std::function<void()> command;
    };
    const std::vector<Case> cases = {
        {"remove with nothing selected",
         [&] {
             view().tableView().selectRows({});
             run("removeSelectedItems");
         }},
        {"remove by key with nothing selected",
         [&] {
             view().tableView().selectRows({});
             view().tableView().setFocus();
             run("removeSelectedItems", true);
         }},
        {"add nothing", [&] { view().insertEntries({}); }},
        {"add a file that is no audio", [&] { view().insertEntries({notAudio}); }},
        {"add the last entry again",
         [&] {
             if (!playlist().allEntries.empty()) view().insertEntries({playlist().allEntries.back()->_url});
         }},
    };
    for (bool empty : {true, false}) {
        open();
        if (!empty) {
            view().insertEntries({audioFile("a.wav", 9), audioFile("b.wav", 9)});
            playlist().dirty = false;
        }
        const std::vector<std::string> before = names();
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (empty ? " in an empty session" : ""));
            const std::size_t steps = playlist().undoer.undoStack().size();
            c.command();
            EXPECT_EQ(playlist().undoer.undoStack().size(), steps);
            EXPECT_EQ(text(delegate->undoAction()->text()), empty ? "Undo" : "Undo add entries");
            EXPECT_EQ(names(), before);
            EXPECT_FALSE(playlist().dirty);
        }
        stop();
    }
}

TEST_F(CommandTest, ClearingCopyingRevealingAndOpeningWorkOnTheSelectedRows) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const platform::Url a = audioFile("Song.m4a.mp3", 9), b = audioFile("Waltz.MP3", 9);
    open();
    view().insertEntries({a, b, audioFile("c.wav", 9)});
    view().loadEntry(entry(0));
    const platform::Date now = clock.now();
    entry(0)->playedDates = {now.addingTimeInterval(-1500 * 86400.0), now.addingTimeInterval(-3 * 3600)};
    entry(1)->playedDates = {now.addingTimeInterval(-5 * 3600)};
    for (std::size_t i = 0; i < 3; ++i) {
        entry(i)->zeros = {1.0};
        entry(i)->currentTimeRangeSet = heardSpans({{0, 5}});
    }
    view().tableView().selectRows({0, 1});
    playlist().dirty = false;

    run("entryClearPlayed"); // the last date when under four hours old, a change to save
    EXPECT_TRUE(entry(0)->playedDates.size() == 1 && entry(1)->playedDates.size() == 1 && playlist().dirty);
    run("copyReport");
    EXPECT_EQ(pasteboard.string(), "1,500Song\n0Waltz.MP3");
    focus();
    run("copyContextItems", true);
    EXPECT_EQ(pasteboard.string(), "Song\nWaltz.MP3");
    modifiers = Qt::ControlModifier; // all dates
    run("entryClearAll");
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(entry(i)->playedDates.empty() + entry(i)->zeros.empty() +
                      entry(i)->currentTimeRangeSet->ranges.empty(),
                  i < 2 ? 3 : 1);
    run("entryPlayedToday");
    EXPECT_THAT(entry(1)->playedDates, ElementsAre(now));

    run("entryViewInFinder");
    const std::string in = audioFolder.path + "/";
    EXPECT_EQ(workspace.selections(),
              (std::vector<testsupport::FakeWorkspace::Selection>{{a.path(), in}, {b.path(), in}}));
    run("entryViewNotes");
    run("actionViewLog");
    EXPECT_THAT(workspace.openedFiles(),
                ElementsAre(entry(0)->noteSet().textURL(), audioFolder.url("log.txt")));
    QLocale::setDefault(QLocale::c());
}

TEST_F(CommandTest, EachClearingIsOneUndoStepThatPutsBackTheEntriesAndTheStateFile) {
    open();
    view().insertEntries({audioFile("a.wav", 20), audioFile("b.wav", 20)});
    // A named session: only then is there a state file.
    view().saveSessionAction();
    ASSERT_TRUE(panels.answerSavePanel(audioFolder.url("Prepared.vantle")));
    view().loadEntry(entry(0));
    const platform::Date played = clock.now().addingTimeInterval(-3600);
    const std::vector<TimeRange> heard{{0, 5}, {8, 9}};
    const auto prepare = [&] {
        for (std::size_t i = 0; i < 2; ++i) {
            // In place: the current entry's set is the player's and the state file's.
            if (!entry(i)->currentTimeRangeSet) entry(i)->currentTimeRangeSet = heardSpans({});
            entry(i)->currentTimeRangeSet->ranges = heard;
            entry(i)->zeros = {1.0, 4.0};
            entry(i)->playedDates = {played};
        }
        view().saveAppState();
        view().tableView().selectRows({0, 1});
    };
    struct Case {
        const char* action;
        const char* undo;
        bool times, zeros, dates;
    };
    for (const Case& c : {Case{"entryClearAll", "Undo Clear All", true, true, true},
                          Case{"entryClearZeros", "Undo Clear Zero Marks", false, true, false},
                          Case{"entryClearPlayed", "Undo Clear Played Date", false, false, true},
                          Case{"entryClearTimes", "Undo Clear Played Times", true, false, false}}) {
        SCOPED_TRACE(c.action);
        prepare();
        run(c.action);
        ASSERT_TRUE(delegate->undoAction()->isEnabled());
        EXPECT_EQ(text(delegate->undoAction()->text()), c.undo);
        for (std::size_t i = 0; i < 2; ++i)
            EXPECT_TRUE(entry(i)->currentTimeRangeSet->ranges.empty() == c.times &&
                        entry(i)->zeros.empty() == c.zeros && entry(i)->playedDates.empty() == c.dates);
        EXPECT_EQ(writtenAppState()->zeros->empty(), c.zeros);
        EXPECT_EQ(writtenAppState()->currentTimeRangeSet->ranges.empty(), c.times);

        playlist().dirty = false;
        delegate->actionUndo();
        for (std::size_t i = 0; i < 2; ++i) {
            EXPECT_EQ(entry(i)->currentTimeRangeSet->ranges, heard);
            EXPECT_EQ(entry(i)->zeros, (std::vector<double>{1.0, 4.0}));
            EXPECT_THAT(entry(i)->playedDates, ElementsAre(played));
        }
        EXPECT_EQ(player->entry()->currentTimeRangeSet, entry(0)->currentTimeRangeSet);
        EXPECT_EQ(writtenAppState()->zeros, (std::vector<double>{1.0, 4.0}));
        EXPECT_EQ(writtenAppState()->currentTimeRangeSet->ranges, heard);
        EXPECT_TRUE(playlist().dirty);
        EXPECT_EQ(text(delegate->redoAction()->text()), std::string("Redo ") + (c.undo + 5));
        delegate->actionRedo();
        EXPECT_EQ(entry(1)->zeros.empty(), c.zeros);
        EXPECT_EQ(writtenAppState()->zeros->empty(), c.zeros);
    }
    // Nothing selected, nothing cleared: no step.
    const std::size_t steps = playlist().undoer.undoStack().size();
    view().tableView().selectRows({});
    run("entryClearAll");
    EXPECT_EQ(playlist().undoer.undoStack().size(), steps);
}

TEST_F(CommandTest, CommandsThatCannotDoTheirWorkSayWhatDidNotHappenAndWhy) {
    open();
    view().insertEntries({audioFile("a.wav", 9), audioFile("b.wav", 9)});
    const platform::Url notes = audioFolder.url("notes.odt");
    ASSERT_TRUE(platform::writeFileAtomically(notes.path(), std::string_view("steps")));
    auto lastAlert = [&] {
        return alerts.requests().empty() ? std::string()
                                         : alerts.requests().back().options.messageText + " / " +
                                               alerts.requests().back().options.informativeText;
    };
    struct Case {
        std::function<void()> command;
        const char* what;
        const char* why;
    };
    const std::vector<Case> cases = {
        {[&] { run("exportToCloud"); }, "The session was not exported", "save it first"},
        {[&] {
             view().saveSessionAction();
             ASSERT_TRUE(panels.answerSavePanel(audioFolder.url("Class.vantle")));
             run("exportToCloud");
         },
         "Nothing was exported", "No entry is checked"},
        {[&] {
             workspace.succeeds = false;
             view().tableView().selectRows({0, 1});
             run("entryViewInFinder");
         },
         "2 files were not shown in a file manager", "No file manager answered"},
        {[&] { view().openAttachment(Attachment(notes, "odt")); }, "“notes.odt” was not opened",
         "No program is set up"},
        {[&] { run("actionViewLog"); }, "“log.txt” was not opened", "No program is set up"},
        {[&] {
             std::filesystem::remove(audioFolder.path + "/log.txt");
             run("actionViewLog");
         },
         "The log was not opened", "Nothing has been logged yet"},
    };
    for (const Case& c : cases) {
        const std::size_t before = alerts.requests().size();
        c.command();
        ASSERT_EQ(alerts.requests().size(), before + 1) << c.what;
        EXPECT_THAT(lastAlert(), HasSubstr(c.what));
        EXPECT_THAT(lastAlert(), HasSubstr(c.why));
        EXPECT_EQ(alerts.requests().back().window, window.get());
    }
}

// When an export ends, the window says how many files were copied, and which were not and why.
TEST_F(CommandTest, AnExportSaysWhenItEndsWhatItCopiedAndWhatNot) {
    SessionTempFolder documents;
    configureEnvironment = [&, real = configureEnvironment](MainViewEnvironment& environment) {
        real(environment);
        environment.makeExporter = [&] {
            return std::make_unique<Exporter>(documents.path, platform::mainQueue());
        };
    };
    open();
    view().insertEntries({audioFile("a.wav", 9), audioFile("b.wav", 9)});
    entry(0)->isCheckmarked = entry(1)->isCheckmarked = true;
    view().saveSessionAction();
    ASSERT_TRUE(panels.answerSavePanel(audioFolder.url("Class.vantle")));
    ASSERT_TRUE(platform::createDirectory(documents.path + "/Class"));
    ASSERT_TRUE(platform::writeFileAtomically(documents.path + "/Class/b.wav", std::string_view("theirs")));
    const std::size_t before = alerts.requests().size();
    run("exportToCloud");
    EXPECT_EQ(alerts.requests().size(), before);
    platform::mainQueue().drain();
    ASSERT_EQ(alerts.requests().size(), before + 1);
    const platform::AlertOptions& shown = alerts.requests().back().options;
    EXPECT_EQ(shown.messageText, "1 of 2 files were exported");
    EXPECT_THAT(shown.informativeText, HasSubstr("Copied: 1 file"));
    EXPECT_THAT(shown.informativeText, HasSubstr("b.wav: a different file of that name is already there"));
    EXPECT_EQ(shown.style, platform::AlertStyle::warning);
    EXPECT_EQ(alerts.requests().back().window, window.get());
}

TEST_F(CommandTest, TheHelpAndAboutWindowsAreListedInTheWindowMenuWhileOpen) {
    open();
    auto items = [&] {
        std::vector<std::string> listed;
        for (QAction* item : window->findChild<QMenu*>("windowsMenu")->actions())
            if (!item->isSeparator())
                listed.push_back(text(item->text() + " " + item->shortcut().toString()));
        return listed;
    };
    window->findChild<QAction*>("showAbout")->trigger();
    window->findChild<QAction*>("showHelp")->trigger();
    QApplication::processEvents();
    EXPECT_THAT(items(), ElementsAre("Minimize Ctrl+M", "Singers' Screen ", "Singers' Screen Full Screen On ", "Vantle Ctrl+1", "About Vantle ", "Vantle Help "));
    QWidget* about = QApplication::activeWindow();
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->windowTitle() == "About Vantle") about = top;
    ASSERT_EQ(about->windowTitle(), "About Vantle");
    about->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(about));
    QTest::keySequence(about, QKeySequence("Ctrl+W"));
    QApplication::processEvents();
    EXPECT_THAT(items(), ElementsAre("Minimize Ctrl+M", "Singers' Screen ", "Singers' Screen Full Screen On ", "Vantle Ctrl+1", "Vantle Help "));
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->windowTitle() == "Vantle Help") top->close();
    QApplication::processEvents();
}

// Each Help window has a title of its own, so none is listed under the main window's name.
TEST_F(CommandTest, EachHelpWindowIsListedInTheWindowMenuUnderItsOwnTitle) {
    open();
    const struct {
        const char* command;
        const char* title;
    } windows[] = {
        {"showIndex", "Welcome to Vantle"}, {"showHelp", "Vantle Help"}, {"showAbout", "About Vantle"}};
    for (const auto& w : windows)
        window->findChild<QAction*>(w.command)->trigger();
    QApplication::processEvents();
    std::vector<std::string> listed;
    for (QAction* item : window->findChild<QMenu*>("windowsMenu")->actions())
        if (!item->isSeparator()) listed.push_back(text(item->text()));
    EXPECT_EQ(std::count(listed.begin(), listed.end(), "Vantle"), 1);
    for (const auto& w : windows)
        EXPECT_EQ(std::count(listed.begin(), listed.end(), w.title), 1) << w.title;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top != window.get() && top->isVisible()) top->close();
    QApplication::processEvents();
}

TEST_F(CommandTest, TheWindowMenuBringsEachWindowForwardByItsKey) {
    open();
    view().showMp4Window(Attachment(audioFolder.url("clip.mp4"), "mp4"));
    QApplication::processEvents();
    std::vector<std::string> items;
    for (QAction* item : window->findChild<QMenu*>("windowsMenu")->actions())
        if (!item->isSeparator()) items.push_back(text(item->text() + " " + item->shortcut().toString()));
    EXPECT_THAT(items, ElementsAre("Minimize Ctrl+M", "Singers' Screen ", "Singers' Screen Full Screen On ", "Vantle Ctrl+1", "clip.mp4 Ctrl+3"));
    ASSERT_NE(QApplication::activeWindow(), window.get());
    QTest::keySequence(QApplication::activeWindow(), QKeySequence("Ctrl+1"));
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
}

} // namespace
} // namespace vantle::testing
