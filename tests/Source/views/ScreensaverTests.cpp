// The screensaver's idle rules, with its timers on a hand-moved clock.

#include "Source/views/Screensaver.h"

#include "Source/views/SystemColors.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/TimerScheduler.h"
#include "platform/foundation/Clock.h"
#include "tests/Source/views/ClockTestSupport.h"
#include "tests/support/Clocks.h"
#include "tests/support/ManualTimers.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWindow>

#include <gtest/gtest.h>

namespace vantle {
namespace {

class FakeScreensaverHost final : public ScreensaverHost {
public:
    bool isPlaying() const override { return playing; }
    PlayerMode playerMode() const override { return mode; }
    const RestTimerState* restTimer() const override { return breakTimer; }

    bool playing = false;
    PlayerMode mode = PlayerMode::dance;
    const RestTimerState* breakTimer = nullptr;
};

class ScreensaverTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::mainQueue().drain();
        host.breakTimer = &breakTimer;
        saver = new Screensaver(&window);
        saver->setHost(&host);
        saver->setTimerScheduler(scheduler);
        saver->setDateSource(dates);
        window.resize(400, 300);
        window.show();
        QApplication::setActiveWindow(&window);
        // What the main window does once its view has loaded.
        saver->setGeometry(window.rect());
        saver->installTrackingArea();
        activity();
    }

    void TearDown() override { platform::mainQueue().drain(); }

    void settle() { platform::mainQueue().drain(); }
    void advance(double seconds) {
        scheduler.advance(seconds);
        settle();
    }
    bool shown() const { return saver->isClockVisible() && saver->isVisible(); }
    void moveMouseOver(QWidget& target) {
        QMouseEvent move(QEvent::MouseMove, QPointF(10, 10), QPointF(10, 10),
                         target.mapToGlobal(QPointF(10, 10)), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target.windowHandle(), &move);
        settle();
    }
    // Activity reported as the player and the keys report it, once the event is handled.
    void activity() {
        saver->resetIdle();
        settle();
    }

    testsupport::ManualTimerScheduler scheduler;
    testsupport::FakeClock dates{testing::clockLocalDate(20, 0, 0)};
    testing::FakeRestTimer breakTimer;
    FakeScreensaverHost host;
    QWidget window;
    Screensaver* saver = nullptr; // owned by the window
};

TEST_F(ScreensaverTest, ComesUpAfterTwoMinutesWithoutActivityOverTheWholeWindow) {
    EXPECT_FALSE(shown());
    EXPECT_TRUE(saver->hasSaverTimer());
    advance(119.9);
    EXPECT_FALSE(shown());
    advance(0.1);
    EXPECT_TRUE(shown());
    EXPECT_FALSE(saver->hasSaverTimer());
    EXPECT_EQ(saver->geometry(), window.rect());
    EXPECT_EQ(saver->background(), namedColor("notifierBackground"));
    EXPECT_EQ(saver->restTimer(), &breakTimer);
}

TEST_F(ScreensaverTest, ActivityInOneEventRearmsOnceTheEventIsHandled) {
    advance(60);
    saver->resetIdle();
    saver->resetIdle();
    EXPECT_FALSE(saver->hasSaverTimer()) << "re-armed only after the current event";
    scheduler.advance(50); // time passes before the main queue runs
    settle();
    EXPECT_TRUE(saver->hasSaverTimer());
    advance(100);
    EXPECT_FALSE(shown()) << "the delay runs from the re-arm";
    advance(20);
    EXPECT_TRUE(shown());
}

TEST_F(ScreensaverTest, MouseMovesOverTheActiveWindowPushItBack) {
    advance(100);
    moveMouseOver(window);
    advance(110);
    EXPECT_FALSE(shown());
    advance(10);
    EXPECT_TRUE(shown());

    // A movement hides it again.
    moveMouseOver(window);
    EXPECT_FALSE(shown());

    // While another window is active, movements over the main window change nothing.
    QWidget other;
    other.resize(100, 100);
    other.show();
    QApplication::setActiveWindow(&other);
    advance(100);
    moveMouseOver(window);
    advance(20);
    EXPECT_TRUE(shown());
}

TEST_F(ScreensaverTest, NeverComesUpOutsideDanceMode) {
    for (PlayerMode mode : {PlayerMode::prepare, PlayerMode::karaoke, PlayerMode::karaokePrepare}) {
        host.mode = mode;
        activity();
        EXPECT_FALSE(saver->hasSaverTimer());
        advance(500);
        EXPECT_FALSE(shown());
        saver->show(); // the key "s"
        EXPECT_FALSE(shown());
    }
    host.mode = PlayerMode::dance;
    activity();
    advance(120);
    EXPECT_TRUE(shown());
}

TEST_F(ScreensaverTest, StaysUpDuringPlaybackAndReturnsAfterItStops) {
    advance(120);
    ASSERT_TRUE(shown());
    host.playing = true;
    activity();
    EXPECT_TRUE(shown());
    EXPECT_FALSE(saver->hasSaverTimer());
    advance(500);
    EXPECT_TRUE(shown());

    host.playing = false;
    activity();
    EXPECT_FALSE(shown());
    advance(120);
    EXPECT_TRUE(shown());
}

TEST_F(ScreensaverTest, ShowComesUpAtOnceWithTheMainWindowsBreakTimer) {
    testing::FakeRestTimer otherTimer;
    saver->setRestTimer(&otherTimer);
    saver->show();
    EXPECT_TRUE(shown());
    EXPECT_EQ(saver->restTimer(), &breakTimer);
    EXPECT_FALSE(saver->hasSaverTimer());
    EXPECT_TRUE(saver->hasDisplayTimer());
    advance(300);
    EXPECT_TRUE(shown());
}

TEST(ScreensaverWithoutHost, DoesNothing) {
    testsupport::ManualTimerScheduler scheduler;
    QWidget window;
    auto* saver = new Screensaver(&window);
    saver->setTimerScheduler(scheduler);
    saver->resetIdle();
    saver->show();
    platform::mainQueue().drain();
    EXPECT_FALSE(saver->isClockVisible());
    EXPECT_FALSE(saver->hasSaverTimer());
}

} // namespace
} // namespace vantle
