#pragma once
// Ends on a thread of its own what a closing owner no longer waits for (a serial queue finishing its
// last writes), so the window's thread never joins a worker at close; the program's exit waits for it
// once the window is gone. Any thread.

#include "platform/dispatch/SerialQueue.h"

#include <memory>

namespace platform {

// The queue runs what was posted to it and ends, after whatever was handed over before it.
void reap(std::unique_ptr<SerialQueue> queue);
// Returns once everything handed over so far has ended.
void waitForReaped();

} // namespace platform
