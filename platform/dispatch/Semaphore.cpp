#include "platform/dispatch/Semaphore.h"

#include <chrono>

namespace platform {

namespace {
constexpr double kSemaphoreForeverSeconds = 1e8;
} // namespace

void Semaphore::signal() {
    // Notifying under the lock: a woken waiter cannot return (and destroy us) before we are done.
    std::lock_guard lock(mutex_);
    ++count_;
    available_.notify_one();
}

void Semaphore::wait() {
    std::unique_lock lock(mutex_);
    available_.wait(lock, [this] { return count_ > 0; });
    --count_;
}

bool Semaphore::wait(double timeoutSeconds) {
    // Beyond a few years the limit means "forever" (a distant-future date); it would overflow the clock.
    if (timeoutSeconds > kSemaphoreForeverSeconds) {
        wait();
        return true;
    }
    std::unique_lock lock(mutex_);
    if (timeoutSeconds > 0) {
        auto limit =
            std::chrono::ceil<std::chrono::nanoseconds>(std::chrono::duration<double>(timeoutSeconds));
        if (!available_.wait_for(lock, limit, [this] { return count_ > 0; })) return false;
    } else if (count_ <= 0) {
        return false;
    }
    --count_;
    return true;
}

} // namespace platform
