#pragma once
// The queue of work for the main thread, bound to the application's event loop or drained by tests.

#include "platform/dispatch/DispatchQueue.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

// The main queue (stands in for the platform's main dispatch queue): work posted from any thread runs on the
// main thread, one item at a time, in the order posted. The application installs a waker that posts an event
// to its loop, whose handler calls drain(); tests call drain() or drainUntil() themselves.
// async() and setWaker() may be called from any thread; drain() and drainUntil() only on the main thread.
class MainQueue final : public DispatchQueue {
public:
    void async(Work work) override;
    const std::string& label() const override { return label_; }
    bool isCurrent() const override { return isMainThread(); }

    // Makes the calling thread the main thread (by default the thread that first asked for the queue).
    void bindToCurrentThread();
    bool isMainThread() const;

    // The waker is called, on the posting thread and outside any lock, when work arrives while no earlier
    // wake is outstanding; the next drain() settles it. An empty function removes the waker.
    void setWaker(std::function<void()> waker);

    // Runs everything posted so far, then what that work posted, and so on until the queue is empty, but
    // for at most maxRounds rounds (so work that keeps re-posting itself cannot hang the caller). Returns the
    // number of items run. A drain from inside drained work runs nothing: the queue is serial.
    // Throws std::logic_error off the main thread.
    std::size_t drain(int maxRounds = 1000);

    // Drains until done() holds, waiting for work from other threads; false when timeoutSeconds pass first.
    bool drainUntil(const std::function<bool()>& done, double timeoutSeconds);

    std::size_t pendingCount() const;

private:
    MainQueue();
    friend MainQueue& mainQueue();

    // Returns the waker to call when a wake is due; caller holds mutex_.
    std::shared_ptr<const std::function<void()>> takeWakeLocked();

    const std::string label_ = "main";
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<Work> pending_;
    std::shared_ptr<const std::function<void()>> waker_;
    bool wakeOutstanding_ = false;
    std::atomic<std::thread::id> mainThread_;
    bool draining_ = false; // main thread only
};

// The process's main queue; the first call fixes the main thread unless bindToCurrentThread() moves it.
MainQueue& mainQueue();
// Shorthands for mainQueue().setWaker() and mainQueue().isMainThread().
void setMainQueueWaker(std::function<void()> waker);
bool isMainThread();

} // namespace platform
