#include "tests/support/AllocationTrap.h"

#include <atomic>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
#define ALLOCATION_TRAP_COUNTS_MALLOC 0
#else
#define ALLOCATION_TRAP_COUNTS_MALLOC 1
#endif

#if ALLOCATION_TRAP_COUNTS_MALLOC
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void __libc_free(void* pointer);
}
#endif

namespace {

thread_local bool trapRendering = false;
std::atomic<std::uint64_t> trapAllocations{0};
std::atomic<std::uint64_t> trapDeallocations{0};
std::atomic<std::size_t> trapLastSize{0};
std::atomic<std::uint64_t> trapCycles{0};

inline void trapNoteAllocation(std::size_t size) {
    if (!trapRendering) return;
    trapAllocations.fetch_add(1, std::memory_order_relaxed);
    trapLastSize.store(size, std::memory_order_relaxed);
}

inline void trapNoteDeallocation(void* pointer) {
    if (trapRendering && pointer) trapDeallocations.fetch_add(1, std::memory_order_relaxed);
}

inline void* trapRawMalloc(std::size_t size) {
#if ALLOCATION_TRAP_COUNTS_MALLOC
    return __libc_malloc(size);
#else
    return std::malloc(size);
#endif
}

inline void trapRawFree(void* pointer) {
#if ALLOCATION_TRAP_COUNTS_MALLOC
    __libc_free(pointer);
#else
    std::free(pointer);
#endif
}

void* trapNew(std::size_t size) {
    trapNoteAllocation(size);
    if (void* p = trapRawMalloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

void* trapNewNoThrow(std::size_t size) noexcept {
    trapNoteAllocation(size);
    return trapRawMalloc(size ? size : 1);
}

void* trapNewAligned(std::size_t size, std::align_val_t alignment) {
    trapNoteAllocation(size);
    const auto align = static_cast<std::size_t>(alignment);
    const std::size_t rounded = (size + align - 1) / align * align;
    if (void* p = std::aligned_alloc(align, rounded ? rounded : align)) return p;
    throw std::bad_alloc();
}

void trapDelete(void* pointer) noexcept {
    trapNoteDeallocation(pointer);
    trapRawFree(pointer);
}

void trapDeleteAligned(void* pointer) noexcept {
    trapNoteDeallocation(pointer);
    // aligned_alloc's memory goes back through free (counted above already, so not the public free).
    trapRawFree(pointer);
}

} // namespace

namespace testsupport {

void AllocationTrap::setRenderThread(bool rendering) {
    if (rendering && !trapRendering) trapCycles.fetch_add(1, std::memory_order_relaxed);
    trapRendering = rendering;
}

bool AllocationTrap::isRenderThread() {
    return trapRendering;
}

AllocationCounts AllocationTrap::renderThreadCounts() {
    return AllocationCounts{trapAllocations.load(), trapDeallocations.load(), trapLastSize.load()};
}

void AllocationTrap::resetCounts() {
    trapAllocations.store(0);
    trapDeallocations.store(0);
    trapLastSize.store(0);
    trapCycles.store(0);
}

std::uint64_t AllocationTrap::renderCycles() {
    return trapCycles.load();
}

bool AllocationTrap::countsMalloc() {
    return ALLOCATION_TRAP_COUNTS_MALLOC != 0;
}

} // namespace testsupport

void* operator new(std::size_t size) {
    return trapNew(size);
}
void* operator new[](std::size_t size) {
    return trapNew(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return trapNewNoThrow(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return trapNewNoThrow(size);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return trapNewAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return trapNewAligned(size, alignment);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    try {
        return trapNewAligned(size, alignment);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    try {
        return trapNewAligned(size, alignment);
    } catch (...) {
        return nullptr;
    }
}

void operator delete(void* pointer) noexcept {
    trapDelete(pointer);
}
void operator delete[](void* pointer) noexcept {
    trapDelete(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept {
    trapDelete(pointer);
}
void operator delete[](void* pointer, std::size_t) noexcept {
    trapDelete(pointer);
}
void operator delete(void* pointer, const std::nothrow_t&) noexcept {
    trapDelete(pointer);
}
void operator delete[](void* pointer, const std::nothrow_t&) noexcept {
    trapDelete(pointer);
}
void operator delete(void* pointer, std::align_val_t) noexcept {
    trapDeleteAligned(pointer);
}
void operator delete[](void* pointer, std::align_val_t) noexcept {
    trapDeleteAligned(pointer);
}
void operator delete(void* pointer, std::size_t, std::align_val_t) noexcept {
    trapDeleteAligned(pointer);
}
void operator delete[](void* pointer, std::size_t, std::align_val_t) noexcept {
    trapDeleteAligned(pointer);
}
void operator delete(void* pointer, std::align_val_t, const std::nothrow_t&) noexcept {
    trapDeleteAligned(pointer);
}
void operator delete[](void* pointer, std::align_val_t, const std::nothrow_t&) noexcept {
    trapDeleteAligned(pointer);
}

#if ALLOCATION_TRAP_COUNTS_MALLOC
// C allocations of the program and of every library it loads (libsamplerate, ALSA) come here too.
extern "C" {
void* malloc(std::size_t size) noexcept {
    trapNoteAllocation(size);
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) noexcept {
    trapNoteAllocation(count * size);
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size) noexcept {
    trapNoteAllocation(size);
    return __libc_realloc(pointer, size);
}
void free(void* pointer) noexcept {
    trapNoteDeallocation(pointer);
    __libc_free(pointer);
}
}
#endif
