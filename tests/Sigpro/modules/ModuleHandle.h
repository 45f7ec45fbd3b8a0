#pragma once

#include "Sigpro/modules/sp_data.h"
#include "tests/support/AllocationTrap.h"

#include <cstdint>

namespace sigprotest {

// Owns one sp_ module record from create to destroy. Test thread.
template <class T, int (*Create)(T**), int (*Destroy)(T**)> class ModuleHandle {
public:
    ModuleHandle() { Create(&p_); }
    ~ModuleHandle() { Destroy(&p_); }
    ModuleHandle(const ModuleHandle&) = delete;
    ModuleHandle& operator=(const ModuleHandle&) = delete;
    T* get() const { return p_; }
    T* operator->() const { return p_; }

private:
    T* p_ = nullptr;
};

// Owns one shared context. Test thread.
class ContextHandle {
public:
    ContextHandle() { sigpro::sp_create(&sp_); }
    ~ContextHandle() { sigpro::sp_destroy(&sp_); }
    ContextHandle(const ContextHandle&) = delete;
    ContextHandle& operator=(const ContextHandle&) = delete;
    sigpro::sp_data* get() const { return sp_; }
    sigpro::sp_data* operator->() const { return sp_; }

private:
    sigpro::sp_data* sp_ = nullptr;
};

// One output of a one-in, one-out compute function.
template <class T>
float computeOnce(int (*compute)(sigpro::sp_data*, T*, float*, float*), sigpro::sp_data* sp, T* p, float x) {
    float y = 0.0f;
    compute(sp, p, &x, &y);
    return y;
}

// Heap allocations `render` makes while marked as the render thread.
template <class Render> std::uint64_t renderThreadAllocations(Render&& render) {
    testsupport::AllocationTrap::resetCounts();
    {
        testsupport::ScopedRenderThread rendering;
        render();
    }
    return testsupport::AllocationTrap::renderThreadCounts().allocations;
}

} // namespace sigprotest
