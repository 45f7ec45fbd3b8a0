// Additions too large to make at once: the files are measured on a worker and go into the list by
// batches, the window answering meanwhile, as one undo step with one console line.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include "Source/mainwindow/TempoWiring.h"
#include "Source/views/PlaylistTableModel.h"
#include "platform/dispatch/SerialQueue.h"
#include "tests/support/ConsoleCapture.h"
#include "tests/support/WorkerGate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QMimeData>
#include <QProgressBar>

#include <algorithm>
#include <functional>

namespace vantle::testing {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using Names = std::vector<std::string>;

class LargeAdditionTest : public MainWindowTest {
protected:
    // A test that failed while holding the worker must not hang at the end.
    void TearDown() override {
        gate.releaseAll();
        worker.sync([] {});
        MainWindowTest::TearDown();
    }

    // More than the window takes at once, handed to the worker in batches of five.
    void startSmallBatches() {
        start();
        activate();
        view().filesAddedAtOnce = 4;
        view().additionOptions.batchSize = 5;
        view().additionOptions.beforeEachFile = [this] { gate.pass(); };
        view().additionWorker = &worker;
        QObject::connect(&view().tableView().playlistModel(), &QAbstractItemModel::modelReset, window.get(),
                         [this] { rowsAtReloads.push_back(playlist().allEntries.size()); });
    }

    // `count` short WAVs in Class/, with a text file and a damaged MP3 beside them.
    Names classFolder(std::size_t count) {
        Names names;
        for (std::size_t i = 0; i < count; ++i) {
            names.push_back("song " + std::to_string(100 + i) + ".wav");
            audioFile("Class/" + names.back(), 0.1);
        }
        EXPECT_TRUE(
            platform::writeFileAtomically(audioFolder.file("Class/notes.txt"), std::string_view("x")));
        EXPECT_TRUE(
            platform::writeFileAtomically(audioFolder.file("Class/broken.mp3"), std::string(4096, 'Z')));
        return names;
    }
    std::vector<platform::Url> classFiles(const Names& names) {
        std::vector<platform::Url> urls;
        for (const std::string& name : names)
            urls.push_back(audioFolder.url("Class/" + name));
        return urls;
    }

    bool settle() {
        return platform::mainQueue().drainUntil([this] { return !view().adding(); }, 60);
    }

    testsupport::WorkerGate gate;
    platform::SerialQueue worker{"test additions"};
    std::vector<std::size_t> rowsAtReloads;
};

TEST_F(LargeAdditionTest, ManyFilesGoInByBatchesAsOneStepWithProgressAndOneConsoleLine) {
    const struct Case {
        const char* way;
        std::function<void(const std::vector<platform::Url>& files)> add;
        std::size_t found;
        const char* alert;
    } cases[] = {
        {"handed over by a later start",
         [this](const std::vector<platform::Url>& files) {
             std::vector<std::string> paths{audioFolder.file("Class/notes.txt")};
             for (const platform::Url& file : files)
                 paths.push_back(file.path());
             paths.push_back(audioFolder.file("Class/broken.mp3"));
             delegate->openFilesFromLaterStart(paths);
         },
         24, "notes.txt: not a session or an audio file\n"},
        {"chosen in the panel",
         [this](std::vector<platform::Url> files) {
             files.push_back(audioFolder.url("Class/notes.txt"));
             view().addChosenFiles(files);
         },
         24, "notes.txt: not an audio file that Vantle can play"},
        {"dropped",
         [this](const std::vector<platform::Url>& files) {
             QMimeData data;
             std::vector<platform::Url> dropped = files;
             dropped.push_back(audioFolder.url("Class/notes.txt"));
             setFiles(data, dropped);
             EXPECT_TRUE(dropOnTable(data, 0));
         },
         24, "notes.txt: not an audio file that Vantle can play"},
        // The folder's pictures and notes are left out without a word.
        {"a folder on the command line",
         [this](const std::vector<platform::Url>&) { delegate->openFiles({audioFolder.file("Class")}); }, 25,
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.way);
        const Names names = classFolder(23);
        startSmallBatches();
        testsupport::ScopedConsoleCapture console;
        const std::size_t alertsBefore = alerts.requests().size();
        c.add(classFiles(names));
        // Nothing is opened on the window's thread: the rows come later.
        EXPECT_TRUE(playlist().allEntries.empty());
        EXPECT_TRUE(view().adding());
        gate.releaseAll();
        ASSERT_TRUE(settle());

        EXPECT_EQ(this->names(), names);
        // Handed to the window in batches of at most five, each one reload.
        ASSERT_FALSE(rowsAtReloads.empty());
        EXPECT_GE(rowsAtReloads.size(), 5u);
        for (std::size_t i = 1; i < rowsAtReloads.size(); ++i)
            EXPECT_LE(rowsAtReloads[i] - rowsAtReloads[i - 1], 5u) << "reload " << i;
        EXPECT_EQ(text(static_cast<QLabel*>(view().notices().widget())->text()),
                  "Added 23 of " + std::to_string(c.found) + " files");

        // One step, one console line for the files that went in, none naming them.
        ASSERT_EQ(playlist().undoer.undoStack().size(), 1u);
        EXPECT_EQ(text(delegate->undoAction()->text()), "Undo add entries");
        const std::vector<std::string> lines = console.lines();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "added 23 of " + std::to_string(c.found) + " files"),
                  1);
        EXPECT_THAT(lines, Not(Contains(HasSubstr("song 101.wav"))));
        if (c.alert) {
            ASSERT_EQ(alerts.requests().size(), alertsBefore + 1);
            EXPECT_THAT(alerts.requests().back().options.informativeText, HasSubstr(c.alert));
        } else {
            EXPECT_EQ(alerts.requests().size(), alertsBefore);
        }

        delegate->actionUndo();
        EXPECT_TRUE(playlist().allEntries.empty());
        delegate->actionRedo();
        EXPECT_EQ(this->names(), names);
        stop();
        rowsAtReloads.clear();
        std::filesystem::remove_all(audioFolder.file("Class"));
    }
}

TEST_F(LargeAdditionTest, AListEditWhileFilesComeEndsTheStepAndTheRestIsOneMore) {
    const Names names = classFolder(12);
    startSmallBatches();
    view().addChosenFiles({audioFolder.url("Class")});
    // The first batch: broken.mp3 and notes.txt come first in path order, then three songs.
    auto* progress = window->findChild<QProgressBar*>("additionProgress");
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(progress->isVisible());
    gate.release(5);
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return playlist().allEntries.size() == 3; }, 60));
    EXPECT_EQ(progress->value(), 5);
    EXPECT_EQ(progress->maximum(), 14);
    EXPECT_EQ(text(progress->text()), "Adding files: 5 of 14");
    view().tableView().selectRows({0});
    view().removeSelectedEntries();
    gate.releaseAll();
    ASSERT_TRUE(settle());
    EXPECT_FALSE(progress->isVisible());

    EXPECT_EQ(this->names(), Names(names.begin() + 1, names.end()));
    ASSERT_EQ(playlist().undoer.undoStack().size(), 3u);
    delegate->actionUndo();
    EXPECT_EQ(this->names(), Names(names.begin() + 1, names.begin() + 3));
    delegate->actionUndo();
    EXPECT_EQ(this->names(), Names(names.begin(), names.begin() + 3));
    delegate->actionUndo();
    EXPECT_TRUE(playlist().allEntries.empty());
    EXPECT_TRUE(playlist().undoer.undoStack().empty());
}

TEST_F(LargeAdditionTest, NewStopsTheFilesStillToComeAndASessionHandedAfterThemWaits) {
    classFolder(12);
    const platform::Url friday = audioFolder.url("Friday.vantle");
    writeSession(friday, {audioFile("first.wav", 1)});
    startSmallBatches();
    testsupport::ScopedConsoleCapture console;
    // A session handed over after the folder opens once the folder's files are in.
    delegate->openFiles({audioFolder.file("Class"), friday.path()});
    gate.release(5);
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return playlist().allEntries.size() == 3; }, 60));
    EXPECT_FALSE(playlist().url.has_value());

    // New stops the files still to come before its save, kept even when the save is cancelled.
    view().newSession();
    ASSERT_TRUE(alerts.answerAlert(1)) << "Keep Them";
    EXPECT_FALSE(view().adding());
    ASSERT_TRUE(panels.answerSavePanel(std::nullopt));
    gate.releaseAll();
    worker.sync([] {});
    platform::mainQueue().drain();
    EXPECT_EQ(playlist().allEntries.size(), 3u);
    EXPECT_EQ(playlist().undoer.undoStack().size(), 1u);
    view().clearSession();
    EXPECT_TRUE(playlist().allEntries.empty());
    EXPECT_FALSE(view().adding());
    EXPECT_FALSE(playlist().url.has_value());
    EXPECT_THAT(console.lines(), Not(Contains(HasSubstr("added "))));

    // Without the interruption the session follows the files.
    delegate->openFiles({audioFolder.file("Class"), friday.path()});
    EXPECT_FALSE(playlist().url.has_value());
    ASSERT_TRUE(settle());
    // The files went into the unnamed session, which is offered to be saved before Friday opens.
    ASSERT_EQ(panels.pendingSavePanels(), 1u);
    EXPECT_EQ(this->names().size(), 12u);
    ASSERT_TRUE(panels.answerSavePanel(audioFolder.url("Class.vantle")));
    platform::mainQueue().drain();
    ASSERT_TRUE(playlist().url.has_value());
    EXPECT_EQ(*playlist().url, friday);
    EXPECT_THAT(this->names(), ::testing::ElementsAre("first.wav"));
}

// Files still to come when a close, an open or New stops the addition are not added: the window and
// the console say how far it got, as they would for a finished one, whatever the save then does.
TEST_F(LargeAdditionTest, AnAdditionStoppedPartwaySaysHowFarItGot) {
    classFolder(12);
    startSmallBatches();
    testsupport::ScopedConsoleCapture console;
    view().addChosenFiles({audioFolder.url("Class")});
    gate.release(5);
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return playlist().allEntries.size() == 3; }, 60));
    view().closeSession();
    ASSERT_TRUE(alerts.answerAlert(1)) << "Keep Them";
    EXPECT_FALSE(view().adding());
    EXPECT_THAT(console.lines(), Contains("stopped adding files: 3 went in, the rest were not added"));
    EXPECT_EQ(text(static_cast<QLabel*>(view().notices().widget())->text()),
              "Stopped adding files: 3 went in, the rest were not added");
    // The close cancelled: the three stay, and nothing more comes.
    ASSERT_TRUE(panels.answerSavePanel(std::nullopt));
    gate.releaseAll();
    worker.sync([] {});
    platform::mainQueue().drain();
    EXPECT_EQ(playlist().allEntries.size(), 3u);
}

// Close, Open, New or Quit while files are still coming: nothing more comes in, and the user is asked
// whether to keep what went in. The default takes it out before the session is saved, Keep Them saves it
// with them, Cancel leaves the session open with them as one step that Undo takes back.
TEST_F(LargeAdditionTest, ASessionLeftDuringAnAdditionAsksWhetherToKeepWhatWentIn) {
    enum class Request { close, open, newSession, quit };
    const struct {
        Request request;
        int button;
        std::size_t saved; // entries in the session's file afterwards
    } cases[] = {{Request::close, 0, 1},
                 {Request::open, 0, 1},
                 {Request::newSession, 0, 1},
                 {Request::close, 2, 1},
                 {Request::quit, 1, 4}}; // a quit ends the program: last
    classFolder(12);
    const platform::Url other = audioFolder.url("Other.vantle");
    writeSession(other, {audioFile("other.wav", 1)});
    startSmallBatches();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(int(c.request)) + " " + std::to_string(c.button));
        const platform::Url located = audioFolder.url("Class " + std::to_string(&c - cases) + ".vantle");
        writeSession(located, {audioFile("first.wav", 1)});
        ASSERT_TRUE(delegate->openFile(located.path()));
        const int quitsBefore = quits;
        view().addChosenFiles({audioFolder.url("Class")});
        gate.release(5);
        ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return playlist().allEntries.size() == 4; }, 60));
        const std::size_t asked = alerts.requests().size();
        switch (c.request) {
        case Request::close:
            view().closeSession();
            break;
        case Request::open:
            view().openSessionAt(other);
            break;
        case Request::newSession:
            view().newSession();
            break;
        case Request::quit:
            delegate->terminate();
            break;
        }
        ASSERT_EQ(alerts.requests().size(), asked + 1);
        EXPECT_THAT(alerts.requests().back().options.messageText, HasSubstr("3 of the files went in"));
        EXPECT_EQ(alerts.requests().back().options.defaultButton, 0);
        gate.releaseAll();
        worker.sync([] {});
        gate.close();
        platform::mainQueue().drain();
        EXPECT_EQ(playlist().allEntries.size(), 4u) << "nothing more comes in while the user decides";
        ASSERT_TRUE(alerts.answerAlert(c.button));
        platform::mainQueue().drain();
        EXPECT_EQ(Playlist::read(located).value()->allEntries.size(), c.saved);
        if (c.request == Request::quit) {
            EXPECT_EQ(quits, quitsBefore + 1);
        }
        if (c.button == 2) {
            EXPECT_EQ(playlist().allEntries.size(), 4u) << "the session stays open with them";
            delegate->actionUndo();
            EXPECT_EQ(playlist().allEntries.size(), 1u);
        }
        EXPECT_FALSE(view().adding());
    }
}

// Taking out what went in takes out every file the addition brought, also when the user changed the
// session between its batches, and keeps that change.
TEST_F(LargeAdditionTest, TakingOutACutAdditionTakesOutAllItBroughtAndKeepsWhatTheUserDidMeanwhile) {
    classFolder(12);
    startSmallBatches();
    const platform::Url located = audioFolder.url("Class.vantle");
    writeSession(located, {audioFile("first.wav", 1)});
    ASSERT_TRUE(delegate->openFile(located.path()));
    view().addChosenFiles({audioFolder.url("Class")});
    gate.release(5);
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return playlist().allEntries.size() == 4; }, 60));
    view().tableView().selectRows({0});
    view().tempo().chooseDance(Dance::waltz);
    gate.release(5);
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return playlist().allEntries.size() == 9; }, 60));

    view().closeSession();
    ASSERT_TRUE(alerts.answerAlert(0)) << "Take Them Out";
    gate.releaseAll();
    worker.sync([] {});
    platform::mainQueue().drain();
    const std::shared_ptr<Playlist> saved = Playlist::read(located).value();
    ASSERT_EQ(saved->allEntries.size(), 1u) << "files the addition brought were saved";
    EXPECT_EQ(saved->allEntries.front()->tempo.chosenDance, Dance::waltz);
}

// A folder named on the command line adds its audio as a drop of it does; a small one at once.
TEST_F(LargeAdditionTest, AFolderOnTheCommandLineAddsItsAudio) {
    audioFile("Class/b.wav", 1);
    audioFile("Class/a.wav", 1);
    audioFile("Class/slow/c.wav", 1);
    audioFile("Class/.hidden.wav", 1);
    ASSERT_TRUE(platform::writeFileAtomically(audioFolder.file("Class/cover.jpg"), std::string_view("x")));
    start();
    activate();
    EXPECT_TRUE(delegate->openFile(audioFolder.file("Class")));
    EXPECT_THAT(names(), ::testing::ElementsAre("a.wav", "b.wav", "c.wav"));
    EXPECT_TRUE(alerts.requests().empty());
    EXPECT_EQ(playlist().undoer.undoStack().size(), 1u);
}

} // namespace
} // namespace vantle::testing
