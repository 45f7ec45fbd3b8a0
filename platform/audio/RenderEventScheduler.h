#pragma once
// The render-thread side of a unit's scheduled events: a preallocated pool of events, the events that
// wait for a later cycle (kept in time order) and the list handed to the internal render for the cycle
// under way. Immediate times ("immediate + n") are resolved here against the cycle they arrive in.
// Render thread only (or the configuring thread while the unit's render is shut out); never allocates
// after construction.

#include "platform/audio/AURenderEvent.h"

#include <cstddef>
#include <memory>

namespace platform {

class RenderEventQueue;

class RenderEventScheduler {
public:
    explicit RenderEventScheduler(std::size_t capacity);
    RenderEventScheduler(const RenderEventScheduler&) = delete;
    RenderEventScheduler& operator=(const RenderEventScheduler&) = delete;

    // A cycle starts at `start`: immediate times now count from there. A start before the previous
    // cycle's means the timeline began again (the engine was stopped): events still waiting belonged to
    // the old timeline and are dropped.
    void beginCycle(AUEventSampleTime start);
    // Takes in what the queue holds (as far as the pool reaches; the rest stays queued), then detaches
    // the events due before `end`, in time order (equal times in arrival order). Null when none is due.
    const AURenderEvent* takeDue(RenderEventQueue& queue, AUEventSampleTime end);
    // After the internal render: the delivered events go back to the pool.
    void endCycle();
    // Drops every waiting and delivered event and everything queued.
    void clear(RenderEventQueue& queue);

    std::size_t waitingCount() const { return waiting_; }

private:
    AURenderEvent* allocate();
    void releaseList(AURenderEvent* head);
    void insert(AURenderEvent* event);

    std::unique_ptr<AURenderEvent[]> pool_;
    AURenderEvent* free_ = nullptr;
    AURenderEvent* pendingHead_ = nullptr;
    AURenderEvent* pendingTail_ = nullptr;
    AURenderEvent* delivered_ = nullptr;
    std::size_t waiting_ = 0;
    AUEventSampleTime immediateBase_ = 0;
    AUEventSampleTime lastStart_ = 0;
    bool started_ = false;
};

} // namespace platform
