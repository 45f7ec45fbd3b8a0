#pragma once
// A bounded queue that carries scheduled render events from any number of threads to a unit's render
// thread. Fixed capacity, allocated at construction; pushing and popping never lock or allocate. A push
// into a full queue is refused. Producers: any thread; consumer: one thread at a time (the render
// thread, or the configuring thread while the unit's render is shut out).

#include "platform/audio/AURenderEvent.h"

#include <atomic>
#include <cstddef>
#include <memory>

namespace platform {

class RenderEventQueue {
public:
    // The capacity is rounded up to a power of two (at least 2).
    explicit RenderEventQueue(std::size_t capacity);
    RenderEventQueue(const RenderEventQueue&) = delete;
    RenderEventQueue& operator=(const RenderEventQueue&) = delete;

    std::size_t capacity() const { return mask_ + 1; }

    // False when the queue is full. The event's `next` is not carried.
    bool push(const AURenderEvent& event);
    // False when nothing is waiting, or when the oldest producer has not finished its push yet.
    bool pop(AURenderEvent& event);

private:
    // Bounded multi-producer queue with a sequence number per cell: a cell is free for the producer
    // at position p when its sequence equals p, and holds an event for the consumer when it equals p + 1.
    struct Cell {
        std::atomic<std::size_t> sequence{0};
        AURenderEvent event;
    };

    std::unique_ptr<Cell[]> cells_;
    std::size_t mask_ = 0;
    alignas(64) std::atomic<std::size_t> enqueuePosition_{0};
    alignas(64) std::size_t dequeuePosition_ = 0;
};

} // namespace platform
