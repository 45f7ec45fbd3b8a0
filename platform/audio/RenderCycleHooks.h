#pragma once
// Process-wide functions the engine calls on the render thread just before and just after every render
// cycle (device periods and offline renders alike), so that a test can watch what the render thread
// does, such as allocating. Install from any thread; the hooks must be safe to call on the render thread.

namespace platform {

using RenderCycleHook = void (*)();

// Null hooks (the default) are skipped.
void setRenderCycleHooks(RenderCycleHook begin, RenderCycleHook end);

void callRenderCycleBeginHook();
void callRenderCycleEndHook();

} // namespace platform
