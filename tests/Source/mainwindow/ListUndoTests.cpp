// Undoing and redoing list edits in the window: the steps of a session never reach the next one.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include "tests/support/ConsoleCapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vantle::testing {
namespace {

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

} // namespace
} // namespace vantle::testing
