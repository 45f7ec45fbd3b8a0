#include "platform/audio/RenderEventScheduler.h"

#include "platform/audio/RenderEventQueue.h"

namespace platform {

RenderEventScheduler::RenderEventScheduler(std::size_t capacity) : pool_(new AURenderEvent[capacity]) {
    for (std::size_t i = 0; i < capacity; ++i) {
        pool_[i].next = free_;
        free_ = &pool_[i];
    }
}

AURenderEvent* RenderEventScheduler::allocate() {
    AURenderEvent* event = free_;
    if (event) free_ = event->next;
    return event;
}

void RenderEventScheduler::releaseList(AURenderEvent* head) {
    while (head) {
        AURenderEvent* next = head->next;
        head->next = free_;
        free_ = head;
        head = next;
    }
}

void RenderEventScheduler::insert(AURenderEvent* event) {
    if (isImmediateEventTime(event->eventSampleTime))
        event->eventSampleTime = immediateBase_ + (event->eventSampleTime - AUEventSampleTimeImmediate);
    event->next = nullptr;
    ++waiting_;
    // Events mostly arrive in time order: appending is the common case.
    if (!pendingHead_) {
        pendingHead_ = pendingTail_ = event;
        return;
    }
    if (event->eventSampleTime >= pendingTail_->eventSampleTime) {
        pendingTail_->next = event;
        pendingTail_ = event;
        return;
    }
    if (event->eventSampleTime < pendingHead_->eventSampleTime) {
        event->next = pendingHead_;
        pendingHead_ = event;
        return;
    }
    AURenderEvent* before = pendingHead_;
    while (before->next && before->next->eventSampleTime <= event->eventSampleTime)
        before = before->next;
    event->next = before->next;
    before->next = event;
}

void RenderEventScheduler::beginCycle(AUEventSampleTime start) {
    if (started_ && start < lastStart_) {
        releaseList(pendingHead_);
        pendingHead_ = pendingTail_ = nullptr;
        waiting_ = 0;
    }
    started_ = true;
    lastStart_ = start;
    immediateBase_ = start;
}

const AURenderEvent* RenderEventScheduler::takeDue(RenderEventQueue& queue, AUEventSampleTime end) {
    while (free_) {
        AURenderEvent* slot = allocate();
        if (!queue.pop(*slot)) {
            slot->next = free_;
            free_ = slot;
            break;
        }
        insert(slot);
    }
    if (!pendingHead_ || pendingHead_->eventSampleTime >= end) return nullptr;
    AURenderEvent* last = pendingHead_;
    std::size_t count = 1;
    while (last->next && last->next->eventSampleTime < end) {
        last = last->next;
        ++count;
    }
    delivered_ = pendingHead_;
    pendingHead_ = last->next;
    if (!pendingHead_) pendingTail_ = nullptr;
    last->next = nullptr;
    waiting_ -= count;
    return delivered_;
}

void RenderEventScheduler::endCycle() {
    releaseList(delivered_);
    delivered_ = nullptr;
}

void RenderEventScheduler::clear(RenderEventQueue& queue) {
    releaseList(delivered_);
    releaseList(pendingHead_);
    delivered_ = pendingHead_ = pendingTail_ = nullptr;
    waiting_ = 0;
    started_ = false;
    AURenderEvent discarded;
    while (queue.pop(discarded)) {
    }
}

} // namespace platform
