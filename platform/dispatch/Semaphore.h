#pragma once
// A counting semaphore with an optional time limit on waiting.

#include <condition_variable>
#include <mutex>

namespace platform {

// Counting semaphore (stands in for a dispatch semaphore); any thread may signal or wait.
class Semaphore {
public:
    explicit Semaphore(long initialCount = 0) : count_(initialCount) {}
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    // Adds one to the count and wakes one waiter. The waiter may destroy the semaphore as soon as it wakes.
    void signal();
    // Waits until the count is positive, then takes one.
    void wait();
    // As wait(), giving up after timeoutSeconds (0 or less: only tries; years: no limit); true when one was
    // taken.
    bool wait(double timeoutSeconds);

private:
    std::mutex mutex_;
    std::condition_variable available_;
    long count_;
};

} // namespace platform
