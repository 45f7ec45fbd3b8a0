#include "platform/audio/RenderEventQueue.h"

namespace platform {

RenderEventQueue::RenderEventQueue(std::size_t capacity) {
    std::size_t size = 2;
    while (size < capacity)
        size <<= 1;
    cells_.reset(new Cell[size]);
    for (std::size_t i = 0; i < size; ++i)
        cells_[i].sequence.store(i, std::memory_order_relaxed);
    mask_ = size - 1;
}

bool RenderEventQueue::push(const AURenderEvent& event) {
    std::size_t position = enqueuePosition_.load(std::memory_order_relaxed);
    for (;;) {
        Cell& cell = cells_[position & mask_];
        const std::size_t sequence = cell.sequence.load(std::memory_order_acquire);
        const auto difference = std::ptrdiff_t(sequence) - std::ptrdiff_t(position);
        if (difference == 0) {
            if (enqueuePosition_.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) {
                cell.event = event;
                cell.event.next = nullptr;
                cell.sequence.store(position + 1, std::memory_order_release);
                return true;
            }
        } else if (difference < 0) {
            return false; // the consumer has not freed this cell: full
        } else {
            position = enqueuePosition_.load(std::memory_order_relaxed);
        }
    }
}

bool RenderEventQueue::pop(AURenderEvent& event) {
    Cell& cell = cells_[dequeuePosition_ & mask_];
    if (cell.sequence.load(std::memory_order_acquire) != dequeuePosition_ + 1) return false;
    event = cell.event;
    cell.sequence.store(dequeuePosition_ + mask_ + 1, std::memory_order_release);
    ++dequeuePosition_;
    return true;
}

} // namespace platform
