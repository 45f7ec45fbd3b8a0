#pragma once
// Waiting for another thread without depending on the machine's speed: poll a condition under a
// generous deadline that only a broken program reaches. Any thread.

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <utility>

namespace testsupport {

template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// Runs `work` on a thread of its own and waits for it under a generous deadline; false when it did not
// finish by then. Work that hangs is left behind (the thread is detached) so that the test fails instead
// of hanging: it must own what it uses, and its results are only to be read after a true return.
template <typename Work>
bool finishesWithin(Work work, std::chrono::milliseconds timeout = std::chrono::milliseconds(60000)) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread([work = std::move(work), done]() mutable {
        work();
        done->store(true);
    }).detach();
    return waitUntil([&] { return done->load(); }, timeout);
}

} // namespace testsupport
