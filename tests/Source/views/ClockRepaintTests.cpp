// The clock's one-second timer repaints it only when its picture changes.

#include "Source/views/Clock.h"

#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/TimerScheduler.h"
#include "platform/foundation/Clock.h"
#include "tests/Source/views/ClockTestSupport.h"
#include "tests/support/PaintCounter.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace vantle {
namespace {

TEST(ClockRepaint, TheSecondTimerRepaintsOnlyAChangedPicture) {
    platform::FakeClock dates{testing::clockLocalDate(15, 0, 0)};
    platform::ManualTimerScheduler scheduler;
    Clock clock;
    clock.setDateSource(dates);
    clock.setTimerScheduler(scheduler);
    clock.resize(28, 28);
    clock.setClockVisible(true);
    clock.show();
    clock.startDisplayTimer();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&clock));
    QApplication::processEvents();
    auto seconds = [&](int count, double step) {
        testsupport::PaintCounter counter;
        for (int i = 0; i < count; ++i) {
            dates.advance(step);
            scheduler.advance(1.0);
            platform::mainQueue().drain();
            QApplication::processEvents();
        }
        return counter.paints(&clock);
    };

    EXPECT_EQ(seconds(60, 0.0), 0) << "the time stands still";
    EXPECT_EQ(seconds(1, 60.0), 1) << "the minute hand moved";
    clock.setWithSeconds(true);
    QApplication::processEvents();
    EXPECT_EQ(seconds(5, 1.0), 5) << "a seconds hand moves every second";
    clock.setClockVisible(false);
    QApplication::processEvents();
    EXPECT_EQ(seconds(5, 1.0), 0) << "an invisible clock paints nothing";
}

} // namespace
} // namespace vantle
