// The painted clock: nothing until visible, the face centred in its bounds, the break arc and the
// overrun wedge in their colours.

#include "Source/views/Clock.h"

#include "Source/views/SystemColors.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/TimerScheduler.h"
#include "platform/foundation/Clock.h"
#include "tests/Source/views/ClockTestSupport.h"
#include "tests/support/Clocks.h"
#include "tests/support/ManualTimers.h"
#include "tests/support/PaintCounter.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

namespace vantle {
namespace {

using testing::clockLocalDate;
using testing::countPixels;
using testing::FakeRestTimer;
using testing::pixelIs;
using testing::renderedWidget;

class ClockPaintTest : public ::testing::Test {
protected:
    void SetUp() override {
        clock.setDateSource(dates);
        clock.setTimerScheduler(scheduler);
        clock.resize(200, 100); // S = 100, centre (100, 50), R = 40, break radius 37.9
        clock.setFgColor(black);
        clock.setBackground(blue);
        clock.setClockVisible(true);
    }

    const QColor black{0, 0, 0};
    const QColor blue{0, 0, 255};
    testsupport::FakeClock dates{clockLocalDate(15, 0, 0)};
    testsupport::ManualTimerScheduler scheduler;
    FakeRestTimer breakTimer;
    Clock clock;
};

TEST_F(ClockPaintTest, PaintsNothingUntilVisibleNotEvenItsBackground) {
    clock.setClockVisible(false);
    const QImage hidden = renderedWidget(clock);
    for (int y = 0; y < hidden.height(); ++y)
        for (int x = 0; x < hidden.width(); ++x)
            ASSERT_EQ(qAlpha(hidden.pixel(x, y)), 0) << x << "," << y;
}

TEST_F(ClockPaintTest, FaceIsCentredAndShowsTheTime) {
    const QImage image = renderedWidget(clock);
    EXPECT_TRUE(pixelIs(image, 2, 2, blue));
    EXPECT_TRUE(pixelIs(image, 100, 12, black)) << "12 o'clock tick";
    EXPECT_TRUE(pixelIs(image, 62, 50, black)) << "9 o'clock tick";
    EXPECT_TRUE(pixelIs(image, 114, 50, black)) << "hour hand at 3";
    EXPECT_TRUE(pixelIs(image, 100, 30, black)) << "minute hand at 12";
    // Without a break timer only the face.
    EXPECT_EQ(countPixels(image, systemGreenColor()), 0);
    EXPECT_EQ(countPixels(image, systemRedColor()), 0);
}

TEST_F(ClockPaintTest, BreakArcShowsTheRemainingShareInGreen) {
    clock.setRestTimer(&breakTimer);
    EXPECT_EQ(countPixels(renderedWidget(clock), systemGreenColor()), 0) << "not armed: no arc";

    breakTimer.armed = dates.now().addingTimeInterval(-300);
    breakTimer.length = 600;
    const QImage half = renderedWidget(clock);
    EXPECT_TRUE(pixelIs(half, 127, 77, systemGreenColor())) << "half past four";
    EXPECT_FALSE(pixelIs(half, 73, 77, systemGreenColor())) << "half past seven: past the arc's end";
    EXPECT_EQ(countPixels(half, systemRedColor()), 0);
}

TEST_F(ClockPaintTest, OverrunShowsARedWedge) {
    clock.setRestTimer(&breakTimer);
    breakTimer.armed = clockLocalDate(10, 50, 0);
    breakTimer.length = 600;
    dates.set(clockLocalDate(11, 10, 0));
    const QImage wedge = renderedWidget(clock);
    EXPECT_EQ(countPixels(wedge, systemGreenColor()), 0);
    EXPECT_TRUE(pixelIs(wedge, 100, 30, systemRedColor())) << "across 12 o'clock";
    EXPECT_TRUE(pixelIs(wedge, 86, 36, systemRedColor())) << "towards the 50-minute position";
    EXPECT_TRUE(pixelIs(wedge, 100, 70, blue)) << "not at 6 o'clock";
}

// Counts the display timer's ticks.
class CountingClock final : public Clock {
public:
    void updateDisplay() override {
        ++ticks;
        Clock::updateDisplay();
    }
    int ticks = 0;
};

TEST(ClockDisplayTimer, StartsOnceAndTicksEverySecond) {
    testsupport::ManualTimerScheduler scheduler;
    CountingClock clock;
    clock.setTimerScheduler(scheduler);
    EXPECT_FALSE(clock.hasDisplayTimer());
    clock.startDisplayTimer();
    clock.startDisplayTimer();
    EXPECT_TRUE(clock.hasDisplayTimer());
    for (int i = 0; i < 3; ++i) {
        scheduler.advance(1.0);
        platform::mainQueue().drain();
    }
    EXPECT_EQ(clock.ticks, 3);
}

TEST(ClockRepaint, TheSecondTimerRepaintsOnlyAChangedPicture) {
    testsupport::FakeClock dates{testing::clockLocalDate(15, 0, 0)};
    testsupport::ManualTimerScheduler scheduler;
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
