#include "platform/dispatch/Reaper.h"

namespace platform {

namespace {

SerialQueue& reaper() {
    static SerialQueue queue("reaper");
    return queue;
}

} // namespace

void reap(std::unique_ptr<SerialQueue> queue) {
    if (!queue) return;
    // Work is copied as a std::function: the queue is shared, and its last owner is the reaper's item.
    reaper().async([held = std::shared_ptr<SerialQueue>(std::move(queue))]() mutable { held.reset(); });
}

void waitForReaped() {
    reaper().sync([] {});
}

} // namespace platform
