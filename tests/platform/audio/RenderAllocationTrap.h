#pragma once
// Scoped allocation-trap hooks for the render-thread tests, and their check that nothing was allocated.

#include "platform/audio/RenderCycleHooks.h"
#include "tests/support/AllocationTrap.h"

#include <gtest/gtest.h>

namespace traptest {

// Installs the trap's render-cycle hooks with fresh counts for the scope; the test's thread only.
struct ScopedTrapHooks {
    ScopedTrapHooks() {
        testsupport::AllocationTrap::resetCounts();
        platform::setRenderCycleHooks(&testsupport::AllocationTrap::renderCycleBegan,
                                      &testsupport::AllocationTrap::renderCycleEnded);
    }
    ~ScopedTrapHooks() { platform::setRenderCycleHooks(nullptr, nullptr); }
    ScopedTrapHooks(const ScopedTrapHooks&) = delete;
};

// Fails the test when a render thread allocated or freed since the counts were last reset.
inline void expectNoRenderAllocations() {
    const auto counts = testsupport::AllocationTrap::renderThreadCounts();
    EXPECT_EQ(counts.allocations, 0u) << "last size " << counts.lastSize;
    EXPECT_EQ(counts.deallocations, 0u);
}

} // namespace traptest
