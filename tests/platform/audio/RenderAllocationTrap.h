#pragma once
// The shared render-cycle trap under the names the platform's audio tests use.

#include "tests/support/RenderCycleTrap.h"

namespace traptest {

using ScopedTrapHooks = testsupport::RenderCycleTrap;

// Fails the test when a render thread allocated or freed since the counts were last reset.
inline void expectNoRenderAllocations() {
    testsupport::RenderCycleTrap::expectNothingAllocated(0);
}

} // namespace traptest
