#include "RozezEru/Internals/ThreadLockedAccessor.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

using namespace rozezeru;
using namespace std::chrono_literals;

namespace {

// Holds readers inside their copy of the value (so inside the read lock) until it is opened.
struct LockedReaderGate {
    std::mutex mutex;
    std::condition_variable changed;
    int inside = 0;
    bool open = false;

    void enter() {
        std::unique_lock lock(mutex);
        ++inside;
        changed.notify_all();
        changed.wait_for(lock, 10s, [&] { return open; });
    }
    bool waitForInside(int count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 10s, [&] { return inside >= count; });
    }
    void openUp() {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
};

// A value whose copy (the read) passes through the gate; moves (the writes) do not.
struct GatedValue {
    LockedReaderGate* gate = nullptr;
    int payload = 0;

    GatedValue(LockedReaderGate* gate, int payload) : gate(gate), payload(payload) {}
    GatedValue(const GatedValue& other) : gate(other.gate), payload(other.payload) {
        if (gate) gate->enter();
    }
    GatedValue(GatedValue&&) = default;
    GatedValue& operator=(GatedValue&&) = default;
    GatedValue& operator=(const GatedValue&) = default;
};

} // namespace

TEST(ThreadLockedAccessor, ReadersShareTheLockAndAWriterWaitsForThem) {
    LockedReaderGate gate;
    ThreadLockedAccessor<GatedValue> accessor(GatedValue(&gate, 1));

    std::vector<int> readPayloads(2);
    std::thread firstReader([&] { readPayloads[0] = accessor.wrappedValue().payload; });
    std::thread secondReader([&] { readPayloads[1] = accessor.wrappedValue().payload; });
    // Both are inside the read lock at once; with an exclusive lock the second would wait.
    EXPECT_TRUE(gate.waitForInside(2));

    std::atomic<bool> written{false};
    std::thread writer([&] {
        accessor.setWrappedValue(GatedValue(nullptr, 2));
        written = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(written.load()) << "the writer did not wait for the readers";

    gate.openUp();
    firstReader.join();
    secondReader.join();
    writer.join();
    EXPECT_TRUE(written.load());
    EXPECT_EQ(readPayloads, (std::vector<int>{1, 1}));
    EXPECT_EQ(accessor.wrappedValue().payload, 2);
}

TEST(ThreadLockedAccessor, ModifyHoldsTheWriteLockForTheWholeChange) {
    ThreadLockedAccessor<std::vector<int>> accessor;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 5000; ++i)
                accessor.modify([&](std::vector<int>& list) {
                    // Read, grow and write back: an interleaved change would lose or tear elements.
                    auto size = list.size();
                    list.push_back(t);
                    list.back() = int(size);
                });
        });
    for (auto& thread : threads)
        thread.join();

    auto list = accessor.wrappedValue();
    ASSERT_EQ(list.size(), 20000u);
    for (std::size_t i = 0; i < list.size(); ++i)
        ASSERT_EQ(list[i], int(i));

    // What the change returns comes back, and the change is kept.
    EXPECT_EQ(accessor.modify([](std::vector<int>& value) {
        value.clear();
        return 7;
    }),
              7);
    EXPECT_TRUE(accessor.wrappedValue().empty());
}
