#include "platform/dispatch/ConcurrentQueue.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/dispatch/TimerScheduler.h"
#include "tests/support/ManualTimers.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

using namespace platform;

class TimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        mainQueue().bindToCurrentThread();
        mainQueue().drain();
    }
    void TearDown() override { mainQueue().drain(); }

    // Moves the clock and runs the handlers that became due.
    void step(double seconds) {
        scheduler.advance(seconds);
        mainQueue().drain();
    }

    testsupport::ManualTimerScheduler scheduler;
};

TEST_F(TimerTest, OneShotFiresOnceAtItsDeadline) {
    int fired = 0;
    auto timer = scheduler.scheduleOnce(1.5, [&] {
        EXPECT_TRUE(isMainThread());
        EXPECT_DOUBLE_EQ(scheduler.now(), 1.5);
        ++fired;
    });
    step(1.0);
    step(0.25);
    EXPECT_EQ(fired, 0);
    scheduler.advance(0.25);
    EXPECT_EQ(fired, 0) << "handlers run from the queue, not inside advance()";
    mainQueue().drain();
    EXPECT_EQ(fired, 1);
    step(100);
    EXPECT_EQ(fired, 1);

    // A negative delay fires at the next check.
    auto now = scheduler.scheduleOnce(-3, [&] { ++fired; });
    step(0);
    EXPECT_EQ(fired, 2);
}

TEST_F(TimerTest, RepeatingFiresAtEachIntervalAndSkipsMissedTicks) {
    std::vector<double> times;
    auto timer = scheduler.scheduleRepeating(0.25, [&] { times.push_back(scheduler.now()); });
    for (int i = 0; i < 4; ++i)
        step(0.25);
    step(0.125);
    EXPECT_EQ(times, (std::vector<double>{0.25, 0.5, 0.75, 1.0}));

    // A long jump fires once, then the timer keeps to its grid (1.25, 1.5, ...).
    times.clear();
    step(10.0); // now 11.125
    EXPECT_EQ(times.size(), 1u);
    step(0.0625);
    EXPECT_EQ(times.size(), 1u);
    step(0.0625); // 11.25
    EXPECT_EQ(times, (std::vector<double>{11.125, 11.25}));

    // Ticks that come while the handler is still waiting on its queue are absorbed by it.
    times.clear();
    scheduler.advance(0.25);
    scheduler.advance(0.25);
    scheduler.advance(0.25);
    mainQueue().drain();
    EXPECT_EQ(times, (std::vector<double>{12.0}));
    step(0.25);
    EXPECT_EQ(times.size(), 2u);
}

TEST_F(TimerTest, HandlersOfOneJumpRunInOrderOfDeadline) {
    std::vector<std::string> order;
    auto c = scheduler.scheduleOnce(3, [&] { order.push_back("c@3"); });
    auto a = scheduler.scheduleOnce(1, [&] { order.push_back("a@1"); });
    auto tick = scheduler.scheduleRepeating(1.5, [&] { order.push_back("tick@1.5"); });
    auto b = scheduler.scheduleOnce(2, [&] { order.push_back("b@2"); });
    auto b2 = scheduler.scheduleOnce(2, [&] { order.push_back("b2@2"); });
    step(5);
    EXPECT_EQ(order, (std::vector<std::string>{"a@1", "tick@1.5", "b@2", "b2@2", "c@3"}));
}

TEST_F(TimerTest, CancelledTimersNeverFire) {
    int fired = 0;
    // Before the deadline.
    auto early = scheduler.scheduleOnce(1, [&] { fired += 1; });
    early.cancel();
    early.cancel(); // idempotent
    // Due and posted, but cancelled before the queue runs it.
    auto late = scheduler.scheduleOnce(1, [&] { fired += 10; });
    auto repeating = scheduler.scheduleRepeating(1, [&] { fired += 100; });
    scheduler.advance(1);
    EXPECT_EQ(mainQueue().pendingCount(), 2u);
    late.cancel();
    repeating.cancel();
    mainQueue().drain();
    step(5);
    EXPECT_EQ(fired, 0);

    // The handle cancels when it goes away or is assigned over.
    {
        auto scoped = scheduler.scheduleRepeating(1, [&] { fired += 1000; });
    }
    auto replaced = scheduler.scheduleOnce(1, [&] { fired += 10000; });
    scheduler.advance(1); // posted...
    replaced = scheduler.scheduleOnce(1, [&] { fired += 5; });
    mainQueue().drain(); // ...but gone
    step(1);
    EXPECT_EQ(fired, 5);

    // A repeating handler that cancels its own timer stops it.
    int ticks = 0;
    DispatchTimer self;
    self = scheduler.scheduleRepeating(1, [&] {
        if (++ticks == 2) self.cancel();
    });
    for (int i = 0; i < 5; ++i)
        step(1);
    EXPECT_EQ(ticks, 2);
}

TEST_F(TimerTest, HandlerMayReplaceItsOwnTimerAndHandlesMayOutliveTheScheduler) {
    // Re-arming from the handler destroys the handle of the running timer.
    int rings = 0;
    DispatchTimer timer;
    std::function<void()> ring = [&] {
        ++rings;
        if (rings < 3) timer = scheduler.scheduleOnce(2, ring);
    };
    timer = scheduler.scheduleOnce(2, ring);
    for (int i = 0; i < 10; ++i)
        step(1);
    EXPECT_EQ(rings, 3);

    int fired = 0;
    DispatchTimer orphan;
    {
        testsupport::ManualTimerScheduler shortLived;
        orphan = shortLived.scheduleOnce(1, [&] { ++fired; });
        auto repeating = shortLived.scheduleRepeating(1, [&] { ++fired; });
        shortLived.advance(0.5);
        // repeating's handle goes first, then the scheduler
    }
    orphan.cancel();
    mainQueue().drain();
    EXPECT_EQ(fired, 0);
}

TEST_F(TimerTest, HandlersRunOnTheTimersQueue) {
    SerialQueue serial("test.timer.serial");
    std::atomic<int> onSerial{0};
    auto timer = scheduler.scheduleRepeating(
        1, [&] { onSerial += serial.isCurrent() ? 1 : 100; }, serial);
    scheduler.advance(1);
    serial.sync([] {});
    scheduler.advance(1);
    serial.sync([] {});
    EXPECT_EQ(onSerial.load(), 2);
    EXPECT_EQ(mainQueue().pendingCount(), 0u);
}

TEST(RealTimeTimers, FireThroughTheMainQueue) {
    mainQueue().bindToCurrentThread();
    mainQueue().drain();
    TimerScheduler scheduler;
    int ticks = 0;
    bool once = false;
    auto repeating = scheduler.scheduleRepeating(0.002, [&] { ++ticks; });
    auto single = scheduler.scheduleOnce(0.001, [&] { once = true; });
    auto never = scheduler.scheduleOnce(0.001, [&] { ADD_FAILURE() << "cancelled timer fired"; });
    never.cancel();
    EXPECT_TRUE(mainQueue().drainUntil([&] { return ticks >= 3 && once; }, 5.0));
    EXPECT_GT(scheduler.now(), 0.0);

    // A repeating timer on a concurrent queue never overlaps itself.
    std::atomic<int> inside{0}, overlaps{0}, runs{0};
    ConcurrentQueue queue("test.timer.concurrent"); // outlives the timer; its end waits for running handlers
    auto concurrent = scheduler.scheduleRepeating(
        0.001,
        [&] {
            if (++inside > 1) ++overlaps;
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
            --inside;
            ++runs;
        },
        queue);
    EXPECT_TRUE(mainQueue().drainUntil([&] { return runs.load() >= 5; }, 5.0));
    concurrent.cancel();
    repeating.cancel();
    EXPECT_EQ(overlaps.load(), 0);
}
