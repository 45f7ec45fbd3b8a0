#pragma once
// Running the main queue's work inside the Qt event loop.

class QCoreApplication;

namespace platform {

// Makes the application's thread the main queue's main thread and lets work posted to the main queue
// from any thread run inside the application's event loop: each wake of the queue posts one queued call
// into the loop, which drains the queue (wakes are coalesced by the queue, so a burst of posts costs one
// call). Work that throws is logged and the loop goes on; the rest of the queue still runs. Binding again
// replaces the earlier binding. Call on the application's thread; throws std::logic_error elsewhere.
void bindMainQueueToQtLoop(QCoreApplication& application);

// Removes the binding (before the application goes away): work posted afterwards waits in the queue
// until someone drains it. Main thread only; does nothing when nothing is bound.
void unbindMainQueueFromQtLoop();

} // namespace platform
