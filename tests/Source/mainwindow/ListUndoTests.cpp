// Undoing and redoing list edits in the window: the steps of a session never reach the next one, and
// a reorder by Return leaves the steps before it undoable.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include "tests/support/ConsoleCapture.h"

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
    // Return on "d.wav": checked and moved to the top, with no step of its own.
    view().tableView().selectRows({3});
    view().tableView().checkAndPromoteSelectedRows();
    ASSERT_THAT(names(), ElementsAre("d.wav", "a.wav", "b.wav", "c.wav"));

    testsupport::ScopedConsoleCapture console;
    delegate->actionUndo();
    EXPECT_TRUE(console.lines().empty());
    // The entries the sort moved are back at their places; the promoted row stays above the others.
    EXPECT_THAT(names(), ElementsAre("d.wav", "a.wav", "c.wav", "b.wav"));
    EXPECT_EQ(text(delegate->undoAction()->text()), "Undo add entries");
    EXPECT_EQ(text(delegate->redoAction()->text()), "Redo sort");
    delegate->actionUndo();
    EXPECT_TRUE(playlist().allEntries.empty());
}

} // namespace
} // namespace vantle::testing
