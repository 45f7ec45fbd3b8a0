// Undoing and redoing list edits in the window: the steps of a session never reach the next one, and
// a reorder by Return leaves the steps before it undoable.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include "tests/support/ConsoleCapture.h"

#include <QLabel>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vantle::testing {
namespace {

using ::testing::ElementsAre;

class ListUndoTest : public MainWindowTest {};

TEST_F(ListUndoTest, ANewOrClosedSessionHasNoStepsOfTheOneBefore) {
    const platform::Url a = audioFile("a.wav", 5), b = audioFile("b.wav", 5);
    for (const char* leaving : {"new", "close"}) {
        SCOPED_TRACE(leaving);
        start();
        activate();
        view().insertEntries({a, b});
        // Every row removed: the step leaves an empty list, as a new session is.
        view().tableView().selectRows({0, 1});
        view().removeSelectedEntries();
        ASSERT_TRUE(playlist().allEntries.empty());
        ASSERT_EQ(text(delegate->undoAction()->text()), "Undo remove");

        if (std::string_view(leaving) == "new")
            view().newSession();
        else
            view().closeSession();
        ASSERT_FALSE(view().sessionURL());
        EXPECT_FALSE(delegate->undoAction()->isEnabled());
        EXPECT_EQ(text(delegate->undoAction()->text()), "Undo");
        delegate->actionUndo();
        EXPECT_TRUE(playlist().allEntries.empty());
        EXPECT_FALSE(playlist().dirty);
        stop();
    }
}

TEST_F(ListUndoTest, ASortIsUndoneAfterReturnPromotedARow) {
    start();
    activate();
    // The class's order, prepared by hand.
    view().insertEntries(
        {audioFile("c.wav", 5), audioFile("a.wav", 5), audioFile("d.wav", 5), audioFile("b.wav", 5)});
    playlist().sortEntries(Playlist::titleOrder);
    ASSERT_THAT(names(), ElementsAre("a.wav", "b.wav", "c.wav", "d.wav"));
    // Return on "d.wav": checked and moved to the top, as a step of its own.
    view().tableView().selectRows({3});
    view().tableView().checkAndPromoteSelectedRows();
    ASSERT_THAT(names(), ElementsAre("d.wav", "a.wav", "b.wav", "c.wav"));

    testsupport::ScopedConsoleCapture console;
    delegate->actionUndo();
    EXPECT_THAT(names(), ElementsAre("a.wav", "b.wav", "c.wav", "d.wav"));
    EXPECT_FALSE(entry(3)->isCheckmarked);
    EXPECT_EQ(text(delegate->undoAction()->text()), "Undo sort");
    EXPECT_EQ(text(delegate->redoAction()->text()), "Redo check and promote");
    delegate->actionUndo();
    EXPECT_TRUE(console.lines().empty());
    EXPECT_THAT(names(), ElementsAre("c.wav", "a.wav", "d.wav", "b.wav"));
    EXPECT_EQ(text(delegate->undoAction()->text()), "Undo add entries");
    EXPECT_EQ(text(delegate->redoAction()->text()), "Redo sort");
    delegate->actionUndo();
    EXPECT_TRUE(playlist().allEntries.empty());
}

TEST_F(ListUndoTest, FilesChosenOrDroppedOntoAListThatHoldsSomeKeepTheirOrderAndRefusals) {
    const platform::Url a = audioFile("a.wav", 1), b = audioFile("b.wav", 1), c = audioFile("c.wav", 1);
    (void)audioFile("folder/d.wav", 1);
    for (const char* name : {"notes.txt", "x.txt", "folder/cover.jpg"})
        ASSERT_TRUE(platform::writeFileAtomically(audioFolder.file(name), std::string_view("not audio")));
    // Not audio, new, listed, a folder with a picture, not audio again, and the new one once more.
    const std::vector<platform::Url> chosen = {audioFolder.url("notes.txt"), c, a, audioFolder.url("folder"),
                                               audioFolder.url("x.txt"),     c};
    for (bool dropped : {false, true}) {
        SCOPED_TRACE(dropped ? "dropped below the last row" : "chosen in the panel");
        start();
        activate();
        view().insertEntries({a, b});
        const std::size_t alertsBefore = alerts.requests().size();
        if (dropped)
            EXPECT_TRUE(view().acceptDroppedURLs(chosen, 2));
        else
            view().addChosenFiles(chosen);
        // A listed file moves to the end, as each file added again does.
        EXPECT_THAT(names(), ElementsAre("b.wav", "a.wav", "d.wav", "c.wav"));
        // The first chosen file that is listed is selected.
        if (!dropped) {
            EXPECT_EQ(view().tableView().selectedRows(), RowIndexes{3});
        }
        ASSERT_EQ(alerts.requests().size(), alertsBefore + 1);
        EXPECT_EQ(alerts.requests().back().options.informativeText,
                  audioFolder.file("notes.txt") + ": not an audio file that Vantle can play\n" +
                      audioFolder.file("x.txt") + ": not an audio file that Vantle can play");
        delegate->actionUndo();
        EXPECT_THAT(names(), ElementsAre("a.wav", "b.wav"));
        stop();
    }
}

TEST_F(ListUndoTest, AStepThatNoLongerFitsTheListSaysSoInTheWindow) {
    start();
    activate();
    view().insertEntries({audioFile("a.wav", 5), audioFile("b.wav", 5)});
    // Changed by no command of the window's: the step leaves it as it is.
    playlist().allEntries.pop_back();
    testsupport::ScopedConsoleCapture console;
    delegate->actionUndo();
    EXPECT_THAT(names(), ElementsAre("a.wav"));
    const std::string says = "can't undo add entries: the playlist has changed since";
    EXPECT_EQ(console.lines(), std::vector<std::string>{says});
    auto* notice = dynamic_cast<QLabel*>(view().notices().widget());
    ASSERT_TRUE(notice);
    EXPECT_EQ(text(notice->text()), says);
    EXPECT_FALSE(delegate->undoAction()->isEnabled());
}

} // namespace
} // namespace vantle::testing
