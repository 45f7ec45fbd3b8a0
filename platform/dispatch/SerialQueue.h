#pragma once
// A serial queue with a worker thread of its own.

#include "platform/dispatch/DispatchQueue.h"

#include <memory>
#include <thread>

namespace platform {

// A serial queue (stands in for a serial dispatch queue): its own thread runs posted work one item at a time
// in the order posted. async() and sync() may be called from any thread.
// Destruction runs all work posted before it (and whatever that work posts) and then joins the thread, so
// work may safely use the object that owns the queue. Destroyed from its own work, the queue lets its thread
// finish the remaining work on its own instead.
class SerialQueue final : public DispatchQueue {
public:
    explicit SerialQueue(std::string label);
    ~SerialQueue() override;

    void async(Work work) override;
    // Runs work on the queue after everything posted before and waits for it; rethrows what it throws.
    // Called from the queue's own work it runs at once (where the platform would deadlock).
    void sync(const Work& work);
    const std::string& label() const override;
    bool isCurrent() const override;

    struct State;

private:
    std::shared_ptr<State> state_;
    std::thread thread_;
};

} // namespace platform
