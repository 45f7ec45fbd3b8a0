#include "platform/dispatch/ConcurrentQueue.h"
#include "platform/dispatch/Reaper.h"
#include "platform/dispatch/Semaphore.h"
#include "platform/dispatch/SerialQueue.h"
#include "tests/support/WorkerGate.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace platform;

TEST(SerialQueue, RunsWorkOneAtATimeInOrderOnItsOwnThread) {
    SerialQueue queue("test.serial");
    EXPECT_FALSE(queue.isCurrent());

    std::vector<int> order;
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false}, wrongThread{false};
    const auto caller = std::this_thread::get_id();
    // Posts from two threads at once; each thread's own items must keep their order.
    auto post = [&](int base) {
        for (int i = 0; i < 200; ++i)
            queue.async([&, value = base + i] {
                if (++inside > 1) overlapped = true;
                if (!queue.isCurrent() || std::this_thread::get_id() == caller) wrongThread = true;
                order.push_back(value);
                --inside;
            });
    };
    std::thread other(post, 1000);
    post(0);
    other.join();
    queue.sync([] {});
    EXPECT_FALSE(overlapped.load());
    EXPECT_FALSE(wrongThread.load());
    ASSERT_EQ(order.size(), 400u);
    int lastLow = -1, lastHigh = 999;
    for (int v : order) {
        int& last = v < 1000 ? lastLow : lastHigh;
        EXPECT_EQ(v, last + 1);
        last = v;
    }
}

TEST(SerialQueue, SyncWaitsForEarlierWorkAndPassesExceptionsBack) {
    SerialQueue queue("test.sync");
    Semaphore gate;
    int value = 0;
    queue.async([&] {
        gate.wait(); // holds the queue until the caller is inside sync()
        value = 1;
    });
    std::thread opener([&] { gate.signal(); });
    int seen = -1;
    queue.sync([&] { seen = value; });
    opener.join();
    EXPECT_EQ(seen, 1);

    EXPECT_THROW(queue.sync([] { throw std::runtime_error("bad"); }), std::runtime_error);

    // sync from the queue's own work runs at once instead of waiting for itself.
    std::vector<std::string> log;
    queue.sync([&] {
        queue.async([&] { log.push_back("later"); });
        queue.sync([&] { log.push_back("nested"); });
        log.push_back("outer");
    });
    queue.sync([] {});
    EXPECT_EQ(log, (std::vector<std::string>{"nested", "outer", "later"}));
}

TEST(SerialQueue, DestructionRunsAllPostedWorkFirst) {
    auto counter = std::make_shared<std::atomic<int>>(0);
    {
        SerialQueue queue("test.drain");
        Semaphore gate;
        queue.async([&] { gate.wait(); });
        for (int i = 0; i < 100; ++i)
            queue.async([&queue, counter, i] {
                ++*counter;
                if (i == 99) queue.async([counter] { ++*counter; }); // posted while closing
            });
        gate.signal();
    }
    EXPECT_EQ(counter->load(), 101);

    // A queue destroyed by its own work hands the rest of its work to its thread.
    Semaphore hold, finished;
    auto owned = std::make_unique<SerialQueue>("test.self");
    std::atomic<int> after{0};
    owned->async([&] { hold.wait(); });
    owned->async([&] { owned.reset(); });
    owned->async([&] {
        ++after;
        finished.signal();
    });
    hold.signal();
    ASSERT_TRUE(finished.wait(5.0));
    EXPECT_EQ(after.load(), 1);
    EXPECT_EQ(owned, nullptr);
}

TEST(SerialQueue, AReapedQueueEndsItsWorkAfterItsOwnerWithoutHoldingIt) {
    testsupport::WorkerGate gate;
    std::atomic<int> written{0};
    auto queue = std::make_unique<SerialQueue>("closing");
    queue->async([&] {
        gate.pass();
        ++written;
    });
    queue->async([&] { ++written; });
    // Handed over while its first item is held: the owner goes on at once.
    reap(std::move(queue));
    EXPECT_EQ(written.load(), 0);
    gate.releaseAll();
    waitForReaped();
    EXPECT_EQ(written.load(), 2);
}

TEST(ConcurrentQueue, GlobalQueueRunsJobsSideBySideAndCompletesAll) {
    // Two jobs that can only finish if both run at the same time.
    Semaphore firstStarted, secondStarted, bothDone;
    std::atomic<bool> metFirst{false}, metSecond{false};
    globalQueue().async([&] {
        firstStarted.signal();
        metFirst = secondStarted.wait(5.0);
        bothDone.signal();
    });
    globalQueue().async([&] {
        secondStarted.signal();
        metSecond = firstStarted.wait(5.0);
        bothDone.signal();
    });
    ASSERT_TRUE(bothDone.wait(10.0));
    ASSERT_TRUE(bothDone.wait(10.0));
    EXPECT_TRUE(metFirst.load());
    EXPECT_TRUE(metSecond.load());

    constexpr int jobs = 2000;
    std::atomic<int> done{0};
    Semaphore all;
    std::atomic<bool> sawGlobal{true};
    for (int i = 0; i < jobs; ++i)
        globalQueue().async([&] {
            if (!globalQueue().isCurrent()) sawGlobal = false;
            if (++done == jobs) all.signal();
        });
    ASSERT_TRUE(all.wait(10.0));
    EXPECT_EQ(done.load(), jobs);
    EXPECT_TRUE(sawGlobal.load());
    EXPECT_FALSE(globalQueue().isCurrent());
}

TEST(ConcurrentQueue, BarrierRunsAloneBetweenEarlierAndLaterWork) {
    std::mutex mutex;
    std::vector<std::string> log;
    auto note = [&](std::string s) {
        std::lock_guard lock(mutex);
        log.push_back(std::move(s));
    };
    std::atomic<int> running{0};
    std::atomic<bool> barrierShared{false};
    {
        ConcurrentQueue queue("test.concurrent");
        for (int i = 0; i < 8; ++i)
            queue.async([&] {
                ++running;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                note("before");
                --running;
            });
        queue.asyncBarrier([&] {
            if (running.load() != 0) barrierShared = true;
            note("barrier-start");
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            if (running.load() != 0) barrierShared = true;
            note("barrier-end");
        });
        for (int i = 0; i < 8; ++i)
            queue.async([&] {
                ++running;
                note("after");
                --running;
            });
    } // waits for all of it
    EXPECT_FALSE(barrierShared.load());
    std::vector<std::string> expected(8, "before");
    expected.insert(expected.end(), {"barrier-start", "barrier-end"});
    expected.resize(18, "after");
    EXPECT_EQ(log, expected);
}

TEST(Semaphore, CountsSignalsAndTimesOut) {
    Semaphore two(2);
    EXPECT_TRUE(two.wait(0.0));
    EXPECT_TRUE(two.wait(0.0));
    EXPECT_FALSE(two.wait(0.0));
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(two.wait(0.01));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(10));

    two.signal();
    two.signal();
    EXPECT_TRUE(two.wait(0.0));
    EXPECT_TRUE(two.wait(1e30)) << "a distant-future limit must not overflow";

    // Hand-over between threads, with the result written before the signal.
    Semaphore ready;
    int box = 0;
    std::thread producer([&] {
        box = 42;
        ready.signal();
    });
    ready.wait();
    EXPECT_EQ(box, 42);
    producer.join();
}
