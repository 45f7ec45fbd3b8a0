#include "platform/dispatch/MainQueue.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <utility>

namespace platform {

MainQueue::MainQueue() : mainThread_(std::this_thread::get_id()) {}

MainQueue& mainQueue() {
    // Never destroyed: work may still be posted by other threads while static objects are torn down.
    static MainQueue* queue = new MainQueue();
    return *queue;
}

void setMainQueueWaker(std::function<void()> waker) {
    mainQueue().setWaker(std::move(waker));
}

bool isMainThread() {
    return mainQueue().isMainThread();
}

void MainQueue::bindToCurrentThread() {
    mainThread_.store(std::this_thread::get_id());
}

bool MainQueue::isMainThread() const {
    return mainThread_.load() == std::this_thread::get_id();
}

std::shared_ptr<const std::function<void()>> MainQueue::takeWakeLocked() {
    if (!waker_ || wakeOutstanding_ || pending_.empty()) return nullptr;
    wakeOutstanding_ = true;
    return waker_;
}

void MainQueue::async(Work work) {
    std::shared_ptr<const std::function<void()>> wake;
    {
        std::lock_guard lock(mutex_);
        pending_.push_back(std::move(work));
        wake = takeWakeLocked();
    }
    posted_.notify_all();
    if (wake) (*wake)();
}

void MainQueue::setWaker(std::function<void()> waker) {
    std::shared_ptr<const std::function<void()>> wake;
    {
        std::lock_guard lock(mutex_);
        waker_ = waker ? std::make_shared<const std::function<void()>>(std::move(waker)) : nullptr;
        wakeOutstanding_ = false;
        wake = takeWakeLocked();
    }
    if (wake) (*wake)();
}

std::size_t MainQueue::pendingCount() const {
    std::lock_guard lock(mutex_);
    return pending_.size();
}

std::size_t MainQueue::drain(int maxRounds) {
    if (!isMainThread()) throw std::logic_error("the main queue was drained off the main thread");
    if (draining_) {
        // A loop turning inside drained work (a modal dialog's) spent the wake on this call: the work it
        // stood for is woken for again when the outer drain ends.
        std::lock_guard lock(mutex_);
        wakeOutstanding_ = false;
        return 0;
    }
    draining_ = true;
    std::size_t ran = 0;
    std::deque<Work> batch;
    try {
        for (int round = 0; round < maxRounds; ++round) {
            {
                std::lock_guard lock(mutex_);
                wakeOutstanding_ = false;
                if (pending_.empty()) break;
                batch.swap(pending_);
            }
            while (!batch.empty()) {
                Work work = std::move(batch.front());
                batch.pop_front();
                work();
                ++ran;
            }
        }
    } catch (...) {
        // Work that throws leaves the rest of its round in place, ahead of anything posted since, and the
        // loop is asked to come back for it.
        std::shared_ptr<const std::function<void()>> wake;
        {
            std::lock_guard lock(mutex_);
            for (auto& work : pending_)
                batch.push_back(std::move(work));
            pending_.swap(batch);
            wake = takeWakeLocked();
        }
        draining_ = false;
        if (wake) (*wake)();
        throw;
    }
    // Work left by the round limit was posted after this drain took the last wake, so it has one of its own,
    // unless a nested drain spent it.
    std::shared_ptr<const std::function<void()>> wake;
    {
        std::lock_guard lock(mutex_);
        wake = takeWakeLocked();
    }
    draining_ = false;
    if (wake) (*wake)();
    return ran;
}

bool MainQueue::drainUntil(const std::function<bool()>& done, double timeoutSeconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::ceil<Clock::duration>(std::chrono::duration<double>(
                                             std::clamp(timeoutSeconds, 0.0, 1e8)));
    // The wait is sliced so that a condition met by other threads without posting is still seen promptly.
    constexpr auto slice = std::chrono::milliseconds(5);
    for (;;) {
        drain();
        if (done()) return true;
        std::unique_lock lock(mutex_);
        auto now = Clock::now();
        if (now >= deadline) {
            lock.unlock();
            drain();
            return done();
        }
        posted_.wait_until(lock, std::min(deadline, now + slice), [this] { return !pending_.empty(); });
    }
}

} // namespace platform
