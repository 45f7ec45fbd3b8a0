#pragma once
// Concurrent queues over one process-wide pool of worker threads, and the global queue.

#include "platform/dispatch/DispatchQueue.h"

#include <memory>

namespace platform {

// A concurrent queue (stands in for a concurrent dispatch queue): posted work starts in the order posted and
// runs on the shared worker pool, several items at a time. async() and asyncBarrier() may be called from any
// thread. Destruction waits until all work posted to the queue has finished (except when called from that
// work, which keeps what it needs alive by itself).
// The pool has a fixed number of threads (the hardware's, at least 2): work that blocks waiting for other
// pool work can starve it.
class ConcurrentQueue final : public DispatchQueue {
public:
    explicit ConcurrentQueue(std::string label);
    ~ConcurrentQueue() override;

    void async(Work work) override;
    // Work that runs alone: after all work posted before it has finished, before any posted after starts.
    void asyncBarrier(Work work);
    const std::string& label() const override;
    bool isCurrent() const override;

    struct State;

private:
    std::shared_ptr<State> state_;
};

// The process-wide concurrent queue for background work (stands in for the global dispatch queue).
ConcurrentQueue& globalQueue();

} // namespace platform
