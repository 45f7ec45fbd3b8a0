// The display tick and the clock's timer repaint only the views whose content changed.

#include "tests/Source/mainwindow/RealPartsTestSupport.h"

#include "Source/views/TimeSlider.h"
#include "tests/support/PaintCounter.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace vantle::testing {
namespace {

class IdleRepaintTest : public RealPartsTest {
protected:
    // Ticks with the events they cause handled; the clock's date stands still.
    void ticks(int count) {
        for (int i = 0; i < count; ++i) {
            tick();
            QApplication::processEvents();
        }
    }
};

TEST_F(IdleRepaintTest, StoppedNothingIsRepaintedAndASeekRepaintsOnlyWhatMoved) {
    start();
    activate();
    view().insertEntries({audioFile("song.wav", 178.0)});
    view().loadEntryAtRow(0);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    ticks(10);
    auto* slider = window->findChild<TimeSlider*>("timeSlider");
    ASSERT_NE(slider, nullptr);

    {
        testsupport::PaintCounter counter;
        ticks(100);
        EXPECT_EQ(counter.total(), 0) << counter.painted();
    }
    {
        testsupport::PaintCounter counter;
        view().player().setCurrentTime(61.0);
        ticks(10);
        EXPECT_EQ(counter.paints(slider), 1);
        EXPECT_EQ(counter.paints(&view().timeSinceZeroText()), 1);
        EXPECT_EQ(counter.paints(&view().timeRemainingText()), 1);
        EXPECT_EQ(counter.paints(&view().entryName()), 0);
        EXPECT_EQ(counter.paints(&view().noteTextField()), 0);
        EXPECT_EQ(counter.paints(view().tableView().viewport()), 0) << "the played share did not move";
    }
}

} // namespace
} // namespace vantle::testing
