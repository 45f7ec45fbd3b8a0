#pragma once
// Holds a worker thread at a point of its work until the test lets it pass, a given number of times.
// pass() on the worker; release(), close() and passed() on any thread.

#include <condition_variable>
#include <cstddef>
#include <limits>
#include <mutex>

namespace testsupport {

class WorkerGate {
public:
    // Blocks until a permit is free and takes it.
    void pass() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return permits_ > 0; });
        --permits_;
        ++passed_;
        changed_.notify_all();
    }
    void release(std::size_t count) {
        std::lock_guard lock(mutex_);
        permits_ = count > std::numeric_limits<std::size_t>::max() - permits_
                       ? std::numeric_limits<std::size_t>::max()
                       : permits_ + count;
        changed_.notify_all();
    }
    void releaseAll() { release(std::numeric_limits<std::size_t>::max()); }
    // Permits not taken are withdrawn: the worker is held again at its next pass.
    void close() {
        std::lock_guard lock(mutex_);
        permits_ = 0;
    }
    std::size_t passed() const {
        std::lock_guard lock(mutex_);
        return passed_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t permits_ = 0;
    std::size_t passed_ = 0;
};

} // namespace testsupport
