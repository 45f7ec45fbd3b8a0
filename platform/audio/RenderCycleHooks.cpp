#include "platform/audio/RenderCycleHooks.h"

#include <atomic>

namespace platform {

namespace {
std::atomic<RenderCycleHook> renderCycleBeginHook{nullptr};
std::atomic<RenderCycleHook> renderCycleEndHook{nullptr};
} // namespace

void setRenderCycleHooks(RenderCycleHook begin, RenderCycleHook end) {
    renderCycleBeginHook.store(begin);
    renderCycleEndHook.store(end);
}

void callRenderCycleBeginHook() {
    if (RenderCycleHook hook = renderCycleBeginHook.load(std::memory_order_acquire)) hook();
}

void callRenderCycleEndHook() {
    if (RenderCycleHook hook = renderCycleEndHook.load(std::memory_order_acquire)) hook();
}

} // namespace platform
