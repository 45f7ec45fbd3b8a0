#include "platform/dispatch/StallWatchdog.h"
#include "tests/support/Environment.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

// Outside any unnamed namespace, so that the stack the watchdog takes can name it.
namespace stallwatchdogtest {

struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool held = false;
    bool open = false;
};

[[gnu::noinline]] void holdTheWatchedThreadInAStretch(Gate& gate) {
    std::unique_lock lock(gate.mutex);
    gate.held = true;
    gate.changed.notify_all();
    gate.changed.wait(lock, [&] { return gate.open; });
}

} // namespace stallwatchdogtest

namespace {

// A thread that opens one stretch and holds it until released, watched with a clock the test moves and
// sampled by the test.
struct WatchedStretch {
    std::atomic<std::chrono::nanoseconds> clock{0ns};
    std::mutex mutex;
    std::vector<platform::StallWatchdog::Stall> stalls;
    std::unique_ptr<platform::StallWatchdog> watchdog;
    stallwatchdogtest::Gate gate;
    std::thread thread;

    WatchedStretch() {
        thread = std::thread([this] {
            platform::StallWatchdog::Options options;
            options.threshold = 100ms;
            options.clock = [this] { return clock.load(); };
            options.activity = [] { return std::string("the test's stretch"); };
            options.report = [this](const platform::StallWatchdog::Stall& stall) {
                std::lock_guard lock(mutex);
                stalls.push_back(stall);
            };
            options.ownSampler = false;
            watchdog = std::make_unique<platform::StallWatchdog>(std::move(options));
            watchdog->stretchBegins();
            stallwatchdogtest::holdTheWatchedThreadInAStretch(gate);
            watchdog->stretchEnds();
        });
        std::unique_lock lock(gate.mutex);
        gate.changed.wait(lock, [&] { return gate.held; });
    }
    void advance(std::chrono::nanoseconds by) { clock.store(clock.load() + by); }
    void end() {
        {
            std::lock_guard lock(gate.mutex);
            gate.open = true;
        }
        gate.changed.notify_all();
        thread.join();
    }
};

TEST(StallWatchdogTest, AStretchLongerThanTheThresholdIsReportedAtItsEndWithItsActivityAndTheThreadsStack) {
    struct Case {
        std::chrono::milliseconds beforeFirstSample, afterIt;
        bool stalled;
    };
    // The time before the stretch is first seen is not counted: a stretch is never taken for longer than
    // it is.
    for (const Case& c : {Case{0ms, 100ms, false}, Case{0ms, 101ms, true}, Case{0ms, 250ms, true},
                          Case{500ms, 90ms, false}}) {
        SCOPED_TRACE(c.afterIt.count());
        WatchedStretch stretch;
        stretch.advance(c.beforeFirstSample);
        stretch.watchdog->sample();
        stretch.advance(c.afterIt);
        stretch.watchdog->sample();
        // A second look at the same stall takes nothing again.
        stretch.watchdog->sample();
        stretch.advance(20ms);
        stretch.end();
        ASSERT_EQ(stretch.stalls.size(), c.stalled ? 1u : 0u);
        if (!c.stalled) continue;
        const platform::StallWatchdog::Stall& stall = stretch.stalls.front();
        EXPECT_EQ(stall.length, c.afterIt + 20ms);
        EXPECT_EQ(stall.activity, "the test's stretch");
        ASSERT_FALSE(stall.stack.empty());
        EXPECT_TRUE(std::any_of(stall.stack.begin(), stall.stack.end(), [](const std::string& frame) {
            return frame.find("stallwatchdogtest::holdTheWatchedThreadInAStretch") != std::string::npos;
        })) << stall.text();
        EXPECT_NE(stall.text().find("a stretch of " + std::to_string((c.afterIt + 20ms).count()) + " ms"),
                  std::string::npos);
    }
}

// A thread's wait for a processor shows only once the thread runs again, whole: a busy machine that kept
// the window's thread, or a worker it waits for, from a processor makes no stall of an ordinary stretch,
// even where the wait came to light only as the stretch ended.
TEST(StallWatchdogTest, AWaitForAProcessorThatShowsLateIsLeftOutOfTheStretchItFellIn) {
    platform::StallWatchdog::WorkingTime working;
    EXPECT_EQ(working.read(0ms, 0ms), 0ns);
    for (auto time = 10ms; time <= 100ms; time += 10ms)
        (void)working.read(time, 0ms);
    EXPECT_EQ(working.read(110ms, 4ms), 106ms) << "a wait within the interval";
    for (auto time = 120ms; time <= 190ms; time += 10ms)
        (void)working.read(time, 0ms);
    // A thread that waited from 60 ms on runs again just before 200 ms: nothing was worked since 60 ms.
    EXPECT_EQ(working.read(200ms, 140ms), 60ms);
    EXPECT_EQ(working.read(210ms, 0ms), 70ms);

    // The stall seen in a stretch is not reported when the clock, at the stretch's end, leaves it no longer
    // than the threshold.
    WatchedStretch stretch;
    stretch.watchdog->sample();
    stretch.advance(150ms);
    stretch.watchdog->sample();
    stretch.advance(-100ms);
    stretch.end();
    EXPECT_TRUE(stretch.stalls.empty());
}

TEST(StallWatchdogTest, TheThresholdComesFromTheEnvironmentAndIsOffUnderValgrind) {
    struct Case {
        std::optional<std::string> milliseconds, preload;
        std::optional<long> threshold;
    };
    const int scale = platform::StallWatchdog::sanitizerSlowdown;
    for (const Case& c : {Case{std::nullopt, std::nullopt, 100 * scale},
                          Case{"250", std::nullopt, 250 * scale}, Case{"0", std::nullopt, std::nullopt},
                          Case{"soon", std::nullopt, 100 * scale}, Case{"-5", std::nullopt, 100 * scale},
                          Case{"250", "/usr/libexec/valgrind/vgpreload_core-amd64-linux.so", std::nullopt}}) {
        SCOPED_TRACE(c.milliseconds.value_or("unset"));
        testsupport::ScopedEnvironment environment("VANTLE_STALL_MS", c.milliseconds);
        environment.set("LD_PRELOAD", c.preload);
        const auto threshold = platform::StallWatchdog::thresholdFromEnvironment();
        ASSERT_EQ(threshold.has_value(), c.threshold.has_value());
        if (threshold) {
            EXPECT_EQ(threshold->count(), *c.threshold);
        }
    }
}

// The first processor this thread may run on, alone in a set.
cpu_set_t firstAllowedProcessor() {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    ::sched_getaffinity(0, sizeof allowed, &allowed);
    int processor = 0;
    while (processor < CPU_SETSIZE - 1 && !CPU_ISSET(processor, &allowed))
        ++processor;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(processor, &one);
    return one;
}

TEST(StallWatchdogTest, TheWorkingTimeLeavesOutTheTimeAThreadOfTheProcessWaitedForAProcessor) {
    EXPECT_EQ(platform::StallWatchdog::runQueueWait("8815313 2395206 27\n"), 2395206u);
    EXPECT_EQ(platform::StallWatchdog::runQueueWait("8815313"), std::nullopt);
    EXPECT_EQ(platform::StallWatchdog::runQueueWait("8815313 x 2"), std::nullopt);

    const platform::StallWatchdog::Clock clock = platform::StallWatchdog::workingTimeOfProcess();
    // Waiting for nothing but time, the clock keeps up with the monotonic clock.
    auto before = clock();
    std::this_thread::sleep_for(20ms);
    EXPECT_GE(clock() - before, 20ms);

    // Two threads spinning on one processor each wait for it about half the time: the clock runs at about
    // half speed, however busy the machine is otherwise.
    const cpu_set_t one = firstAllowedProcessor();
    std::atomic<int> ready{0};
    std::atomic<bool> pinned{true}, stop{false};
    std::vector<std::thread> spinners;
    for (int spinner = 0; spinner < 2; ++spinner)
        spinners.emplace_back([&] {
            if (::pthread_setaffinity_np(::pthread_self(), sizeof one, &one) != 0) pinned = false;
            ++ready;
            while (!stop) {
            }
        });
    while (ready < 2)
        std::this_thread::yield();
    const auto wallBefore = std::chrono::steady_clock::now();
    before = clock();
    std::this_thread::sleep_for(100ms);
    const auto worked = clock() - before;
    const auto wall = std::chrono::steady_clock::now() - wallBefore;
    stop = true;
    for (std::thread& spinner : spinners)
        spinner.join();
    if (!pinned) GTEST_SKIP() << "threads cannot be bound to a processor here";
    EXPECT_LT(worked, wall * 3 / 4);
}

// A process the window's thread waits on (the display server) kept from a processor holds that thread
// through no fault of the program: its threads' waits are left out as the program's own are.
TEST(StallWatchdogTest, TheWorkingTimeLeavesOutTheWaitsOfAProcessWaitedOn) {
    // A sanitizer's runtime does not survive a fork of a threaded program.
    if (platform::StallWatchdog::sanitizerSlowdown > 1)
        GTEST_SKIP() << "forks are not checked under a sanitizer";
    const cpu_set_t one = firstAllowedProcessor();
    // Two spinning processes on one processor, the first of them waited on.
    std::vector<pid_t> spinners;
    for (int spinner = 0; spinner < 2; ++spinner) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::sched_setaffinity(0, sizeof one, &one) != 0) ::_exit(3);
            for (;;) {
            }
        }
        spinners.push_back(child);
    }
    const platform::StallWatchdog::Clock clock =
        platform::StallWatchdog::workingTimeOfProcess({spinners.front()});
    const auto wallBefore = std::chrono::steady_clock::now();
    const auto before = clock();
    std::this_thread::sleep_for(100ms);
    const auto worked = clock() - before;
    const auto wall = std::chrono::steady_clock::now() - wallBefore;
    bool pinned = true;
    for (const pid_t child : spinners) {
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        if (WIFEXITED(status)) pinned = false;
    }
    if (!pinned) GTEST_SKIP() << "processes cannot be bound to a processor here";
    EXPECT_LT(worked, wall * 3 / 4);
}

} // namespace
