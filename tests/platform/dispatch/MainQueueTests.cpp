#include "platform/dispatch/MainQueue.h"

#include <atomic>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace platform;

class MainQueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        mainQueue().bindToCurrentThread();
        mainQueue().drain();
    }
    void TearDown() override {
        setMainQueueWaker({});
        mainQueue().drain();
    }
};

TEST_F(MainQueueTest, RunsWorkInOrderPostedAndWorkPostedByWorkAfterIt) {
    std::vector<std::string> log;
    mainQueue().async([&] {
        log.push_back("a");
        mainQueue().async([&] {
            log.push_back("c");
            mainQueue().async([&] { log.push_back("e"); });
        });
    });
    mainQueue().async([&] {
        log.push_back("b");
        mainQueue().async([&] { log.push_back("d"); });
    });
    EXPECT_TRUE(log.empty()) << "async must not run work at once";
    EXPECT_EQ(mainQueue().pendingCount(), 2u);
    EXPECT_EQ(mainQueue().drain(), 5u);
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(mainQueue().pendingCount(), 0u);
    EXPECT_EQ(mainQueue().drain(), 0u);
}

TEST_F(MainQueueTest, WorkFromOtherThreadsRunsOnMainThreadInEachPostersOrder) {
    constexpr int perThread = 500;
    std::vector<int> seen[2];
    std::atomic<int> offMain{0};
    std::vector<std::thread> posters;
    for (int t = 0; t < 2; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i)
                mainQueue().async([&, t, i] {
                    if (!isMainThread()) ++offMain;
                    seen[t].push_back(i);
                });
        });
    }
    bool done = mainQueue().drainUntil([&] { return seen[0].size() + seen[1].size() == 2 * perThread; }, 5.0);
    for (auto& p : posters)
        p.join();
    ASSERT_TRUE(done);
    EXPECT_EQ(offMain.load(), 0);
    for (auto& s : seen) {
        ASSERT_EQ(s.size(), size_t(perThread));
        for (int i = 0; i < perThread; ++i)
            ASSERT_EQ(s[i], i);
    }
}

TEST_F(MainQueueTest, DrainStopsAfterRoundLimitAndNestedDrainRunsNothing) {
    int runs = 0;
    std::function<void()> again = [&] {
        ++runs;
        if (runs < 1000) mainQueue().async(again);
    };
    mainQueue().async(again);
    EXPECT_EQ(mainQueue().drain(10), 10u);
    EXPECT_EQ(runs, 10);
    EXPECT_EQ(mainQueue().pendingCount(), 1u);
    runs = 1000; // let the chain end
    EXPECT_EQ(mainQueue().drain(), 1u);

    // The queue is serial: a drain inside drained work must not run later work in the middle of it.
    std::vector<int> order;
    mainQueue().async([&] {
        order.push_back(1);
        EXPECT_EQ(mainQueue().drain(), 0u);
        order.push_back(2);
    });
    mainQueue().async([&] { order.push_back(3); });
    mainQueue().drain();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

// A modal dialog's loop turning inside drained work takes the wakes meant for work posted meanwhile; its
// drains run nothing, so that work must be woken for again once the outer round is over.
TEST_F(MainQueueTest, WorkPostedWhileANestedLoopTurnedIsWokenForAfterIt) {
    std::deque<int> loop; // the wake calls waiting in the event loop
    setMainQueueWaker([&] { loop.push_back(0); });
    const auto turn = [&] {
        if (loop.empty()) return false;
        loop.pop_front();
        mainQueue().drain(1);
        return true;
    };
    bool ran = false;
    mainQueue().async([&] {
        mainQueue().async([&] { ran = true; });
        while (turn()) {
        }
    });
    while (turn()) {
    }
    EXPECT_TRUE(ran);
}

TEST_F(MainQueueTest, ThrowingWorkKeepsTheRestInOrder) {
    std::vector<int> order;
    mainQueue().async([&] {
        order.push_back(1);
        mainQueue().async([&] { order.push_back(4); });
        throw std::runtime_error("boom");
    });
    mainQueue().async([&] { order.push_back(2); });
    mainQueue().async([&] { order.push_back(3); });
    EXPECT_THROW(mainQueue().drain(), std::runtime_error);
    EXPECT_EQ(mainQueue().pendingCount(), 3u);
    mainQueue().drain();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(MainQueueTest, MainThreadIdentityAndDrainElsewhereRefused) {
    EXPECT_TRUE(isMainThread());
    EXPECT_TRUE(mainQueue().isCurrent());
    bool otherIsMain = true, refused = false;
    std::thread other([&] {
        otherIsMain = isMainThread();
        try {
            mainQueue().drain();
        } catch (const std::logic_error&) {
            refused = true;
        }
    });
    other.join();
    EXPECT_FALSE(otherIsMain);
    EXPECT_TRUE(refused);

    std::thread rebinder([] { mainQueue().bindToCurrentThread(); });
    rebinder.join();
    EXPECT_FALSE(isMainThread());
    mainQueue().bindToCurrentThread();
    EXPECT_TRUE(isMainThread());
}

TEST_F(MainQueueTest, WakerIsCalledOncePerIdleToBusyTransition) {
    std::atomic<int> wakes{0};
    mainQueue().async([] {});
    setMainQueueWaker([&] { ++wakes; });
    EXPECT_EQ(wakes.load(), 1) << "installing a waker over pending work wakes at once";
    mainQueue().async([] {});
    EXPECT_EQ(wakes.load(), 1) << "the outstanding wake covers later work";
    mainQueue().drain();

    std::thread poster([] { mainQueue().async([] {}); });
    poster.join();
    EXPECT_EQ(wakes.load(), 2);

    // Work posted by drained work gets a wake of its own, since the drain has settled the previous one.
    mainQueue().drain();
    mainQueue().async([] { mainQueue().async([] {}); });
    EXPECT_EQ(wakes.load(), 3);
    mainQueue().drain();
    EXPECT_EQ(wakes.load(), 4);

    // Work left behind by a drain cut short by its round limit still has a wake outstanding.
    mainQueue().drain();
    mainQueue().async([] { mainQueue().async([] {}); });
    EXPECT_EQ(wakes.load(), 5);
    EXPECT_EQ(mainQueue().drain(1), 1u);
    EXPECT_EQ(wakes.load(), 6);
    mainQueue().drain();

    setMainQueueWaker({});
    mainQueue().async([] {});
    EXPECT_EQ(wakes.load(), 6);
}

TEST_F(MainQueueTest, DrainUntilTimesOutAndSeesConditionsMetElsewhere) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(mainQueue().drainUntil([] { return false; }, 0.02));
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(20));

    // A flag set by another thread without posting anything is noticed too.
    std::atomic<bool> flag{false};
    std::thread setter([&] { flag = true; });
    EXPECT_TRUE(mainQueue().drainUntil([&] { return flag.load(); }, 5.0));
    setter.join();
}
