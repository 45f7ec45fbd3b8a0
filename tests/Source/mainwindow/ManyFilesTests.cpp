// Many files handed over at once, from the command line or a later start: one undo step and one
// reload of the table, whatever their number.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include "Source/views/PlaylistTableModel.h"
#include "tests/support/ConsoleCapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vantle::testing {
namespace {

using ::testing::HasSubstr;

class ManyFilesTest : public MainWindowTest {
protected:
    // `count` short WAV files, with a text file and a damaged MP3 among them.
    std::vector<std::string> folderOfFiles(std::size_t count) {
        std::vector<std::string> paths;
        for (std::size_t i = 0; i < count; ++i) {
            paths.push_back(audioFile("song " + std::to_string(100 + i) + ".wav", 0.1).path());
            names_.push_back("song " + std::to_string(100 + i) + ".wav");
        }
        const std::string notes = audioFolder.file("notes.txt"), broken = audioFolder.file("broken.mp3");
        EXPECT_TRUE(platform::writeFileAtomically(notes, std::string_view("not audio")));
        EXPECT_TRUE(platform::writeFileAtomically(broken, std::string(4096, '\x5A')));
        paths.insert(paths.begin() + 3, broken);
        paths.insert(paths.begin() + 1, notes);
        return paths;
    }

    // Counts the table's reloads from now on.
    int& countReloads() {
        reloads_ = 0;
        QObject::connect(&view().tableView().playlistModel(), &QAbstractItemModel::modelReset, window.get(),
                         [this] { ++reloads_; });
        return reloads_;
    }

    std::vector<std::string> names_;
    int reloads_ = 0;
};

TEST_F(ManyFilesTest, AHandOverIsOneUndoStepAndOneReload) {
    const std::vector<std::string> paths = folderOfFiles(60);
    start();
    activate();
    int& reloads = countReloads();
    testsupport::ScopedConsoleCapture console;
    delegate->openFilesFromLaterStart(paths);

    EXPECT_EQ(names(), names_);
    EXPECT_EQ(reloads, 1);
    ASSERT_EQ(playlist().undoer.undoStack().size(), 1u);
    EXPECT_EQ(text(delegate->undoAction()->text()), "Undo add entries");
    // The refused files in the order they were handed over, in one alert.
    ASSERT_EQ(alerts.requests().size(), 1u);
    EXPECT_EQ(alerts.requests()[0].options.informativeText,
              audioFolder.file("notes.txt") + ": not a session or an audio file\n" +
                  audioFolder.file("broken.mp3") +
                  ": the file is damaged or holds no audio that Vantle can play");
    EXPECT_THAT(console.lines(),
                ::testing::Contains(HasSubstr("can't add " + audioFolder.file("broken.mp3"))));

    delegate->actionUndo();
    EXPECT_TRUE(playlist().allEntries.empty());
    delegate->actionRedo();
    EXPECT_EQ(names(), names_);
    EXPECT_EQ(reloads, 3);

    // Handed over again: the listed files stay where they are, so there is nothing to undo.
    delegate->openFilesFromLaterStart(paths);
    EXPECT_EQ(names(), names_);
    EXPECT_EQ(playlist().undoer.undoStack().size(), 1u);
}

TEST_F(ManyFilesTest, TheCommandLinesFilesAreOneStepAfterTheRestore) {
    const platform::Url friday = audioFolder.url("Friday.vantle");
    const platform::Url first = audioFile("first.wav", 1);
    writeSession(friday, {first});
    writeAppState(AppState(friday, 0, 0, nullptr, std::nullopt));
    const std::vector<std::string> paths = folderOfFiles(40);
    // What the restore reloads by itself.
    start();
    int& restoring = countReloads();
    activate();
    const int restoreReloads = restoring;
    stop();

    start();
    delegate->openFiles(paths);
    EXPECT_FALSE(delegate->restored());
    int& reloads = countReloads();
    activate();
    std::vector<std::string> expected{"first.wav"};
    expected.insert(expected.end(), names_.begin(), names_.end());
    EXPECT_EQ(names(), expected);
    EXPECT_EQ(playlist().undoer.undoStack().size(), 1u);
    EXPECT_EQ(reloads, restoreReloads + 1);
    delegate->actionUndo();
    EXPECT_THAT(names(), ::testing::ElementsAre("first.wav"));
}

// Every row of a long list selected, removed and brought back: the selection is kept as runs of rows,
// and the removal and its undo touch each row once.
TEST_F(ManyFilesTest, EveryRowOfALongListIsSelectedRemovedAndBroughtBack) {
    std::vector<platform::Url> files;
    for (std::size_t i = 0; i < 300; ++i)
        files.push_back(audioFile("s" + std::to_string(1000 + i) + ".wav", 0.1));
    start();
    activate();
    view().insertEntries(files);
    const Playlist::EntryList all = playlist().allEntries;
    PlaylistTableView& table = view().tableView();

    const struct {
        RowIndexes rows;
        int ranges;
    } selections[] = {
        {{0, 1, 2, 5, 6, 9, 299}, 4}, {{7}, 1}, {{298, 299, 300, 301}, 1}, // rows past the end are left out
    };
    for (const auto& c : selections) {
        table.selectRows(c.rows);
        EXPECT_EQ(table.selectionModel()->selection().size(), c.ranges);
        RowIndexes kept = c.rows;
        std::erase_if(kept, [](std::size_t row) { return row >= 300; });
        EXPECT_EQ(table.selectedRows(), kept);
    }

    RowIndexes every;
    for (std::size_t row = 0; row < 300; ++row)
        every.insert(row);
    table.selectRows(every);
    EXPECT_EQ(table.selectionModel()->selection().size(), 1);
    view().removeSelectedEntries();
    EXPECT_TRUE(playlist().allEntries.empty());
    delegate->actionUndo();
    EXPECT_TRUE(playlist().allEntries == all);
    EXPECT_EQ(table.selectedRows(), every);
    EXPECT_EQ(table.selectionModel()->selection().size(), 1);
}

} // namespace
} // namespace vantle::testing
