#pragma once
// The player node's completion thread: it owns the node's scheduled items, takes the events that the
// render and streaming threads post for them (lock-free, without waking anybody: the thread looks
// every few milliseconds while items exist), calls each item's completion once, and frees an item
// when no other thread refers to it any more. adopt() and drain() belong to the node's control
// thread; post() may be called from any thread, the render thread included.

#include "platform/player/PlayerItem.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

class PlayerCompletionQueue {
public:
    PlayerCompletionQueue();
    // Stops the thread; items still held are freed without their completions. Destroyed from a
    // completion (on its own thread), it lets the thread finish by itself.
    ~PlayerCompletionQueue();
    PlayerCompletionQueue(const PlayerCompletionQueue&) = delete;
    PlayerCompletionQueue& operator=(const PlayerCompletionQueue&) = delete;

    // Takes the item; it lives until both its renderReleased and streamReleased events are handled.
    PlayerItem* adopt(std::unique_ptr<PlayerItem> item);
    // Lock-free and allocation-free.
    void post(PlayerItem* item, std::uint32_t events);
    // Returns once every event posted before the call has been handled (on the completion thread;
    // inline when called from it).
    void drain();
    // Whether the caller runs on the completion thread.
    bool isCurrent() const;
    // Items not freed yet (diagnostics and tests).
    std::size_t itemCount() const;

    struct State;

private:
    void startThread();

    std::shared_ptr<State> state_;
    std::once_flag started_;
    std::thread thread_;
};

} // namespace platform
