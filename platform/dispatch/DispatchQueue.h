#pragma once
// The common face of every queue that runs posted work.

#include <functional>
#include <string>

namespace platform {

// A queue that runs posted work on some thread (stands in for a dispatch queue). `async` may be called from
// any thread; the queue object itself must outlive every call made on it.
class DispatchQueue {
public:
    using Work = std::function<void()>;

    virtual ~DispatchQueue() = default;
    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    // Posts work to run later; returns at once. Work must not throw.
    virtual void async(Work work) = 0;
    virtual const std::string& label() const = 0;
    // True while the calling thread runs work of this queue (the main queue: on the main thread).
    virtual bool isCurrent() const = 0;

protected:
    DispatchQueue() = default;
};

namespace detail {
// The queue whose work the calling thread is running, as the identity its implementation chose; null
// elsewhere.
const void*& currentQueueMarker();

// Sets the calling thread's marker for the lifetime of the guard.
class CurrentQueueScope {
public:
    explicit CurrentQueueScope(const void* marker) : saved_(currentQueueMarker()) {
        currentQueueMarker() = marker;
    }
    ~CurrentQueueScope() { currentQueueMarker() = saved_; }
    CurrentQueueScope(const CurrentQueueScope&) = delete;
    CurrentQueueScope& operator=(const CurrentQueueScope&) = delete;

private:
    const void* saved_;
};
} // namespace detail

} // namespace platform
