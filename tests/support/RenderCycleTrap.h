#pragma once
// The allocation trap hooked to the engines' render cycles for a scope, and the check that the render
// threads neither allocated nor freed meanwhile. Links platform_audio and test_allocation_trap. Test thread.

#include "platform/audio/RenderCycleHooks.h"
#include "tests/support/AllocationTrap.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace testsupport {

// Counts from fresh what render threads allocate while it lives.
struct RenderCycleTrap {
    RenderCycleTrap() {
        AllocationTrap::resetCounts();
        platform::setRenderCycleHooks(&AllocationTrap::renderCycleBegan, &AllocationTrap::renderCycleEnded);
    }
    ~RenderCycleTrap() { platform::setRenderCycleHooks(nullptr, nullptr); }
    RenderCycleTrap(const RenderCycleTrap&) = delete;
    RenderCycleTrap& operator=(const RenderCycleTrap&) = delete;

    // Fails the test when a render thread allocated or freed, or when fewer than `cycles` cycles ran.
    static void expectNothingAllocated(std::uint64_t cycles = 1) {
        const AllocationCounts counts = AllocationTrap::renderThreadCounts();
        EXPECT_GE(AllocationTrap::renderCycles(), cycles);
        EXPECT_EQ(counts.allocations, 0u) << "last size " << counts.lastSize;
        EXPECT_EQ(counts.deallocations, 0u);
    }
};

} // namespace testsupport
