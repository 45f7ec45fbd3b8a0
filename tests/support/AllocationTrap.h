#pragma once
// Replaces the test program's global allocation functions (operator new and delete, and malloc and its
// kin where no sanitizer owns them) to count what threads marked as rendering allocate and free, so a
// test can prove that the audio render path does neither. Any thread.

#include <cstddef>
#include <cstdint>

namespace testsupport {

struct AllocationCounts {
    std::uint64_t allocations = 0;
    std::uint64_t deallocations = 0;
    // Size of the most recent allocation on a rendering thread, to help find it.
    std::size_t lastSize = 0;
};

class AllocationTrap {
public:
    // Marks the calling thread as rendering, or not.
    static void setRenderThread(bool rendering);
    static bool isRenderThread();

    // For platform::setRenderCycleHooks: the engine's render thread is marked during each cycle.
    static void renderCycleBegan() { setRenderThread(true); }
    static void renderCycleEnded() { setRenderThread(false); }

    static AllocationCounts renderThreadCounts();
    static void resetCounts();
    // Render cycles seen through the hooks since the last reset.
    static std::uint64_t renderCycles();

    // Whether C allocations (malloc, calloc, realloc, free) are counted too; not under sanitizers,
    // which replace those themselves.
    static bool countsMalloc();
};

// Marks the current thread as rendering for a scope.
class ScopedRenderThread {
public:
    ScopedRenderThread() { AllocationTrap::setRenderThread(true); }
    ~ScopedRenderThread() { AllocationTrap::setRenderThread(false); }
    ScopedRenderThread(const ScopedRenderThread&) = delete;
    ScopedRenderThread& operator=(const ScopedRenderThread&) = delete;
};

} // namespace testsupport
