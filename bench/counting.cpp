#include "bench/counting.hpp"

#include <atomic>
#include <cstdlib>
#include <new>

#include <malloc.h>

namespace crunchwatch::bench {

// Shared with file_calls.cpp.
std::atomic<bool> g_counting{false};
std::atomic<std::int64_t> g_opens{0};
std::atomic<std::int64_t> g_stats{0};

namespace {

std::atomic<std::int64_t> g_allocations{0};
std::atomic<std::int64_t> g_bytes{0};
std::atomic<std::int64_t> g_live{0};
std::atomic<std::int64_t> g_baseline{0};
std::atomic<std::int64_t> g_peak{0};

void noteAllocation(void* p, std::size_t requested) {
    if (!p || !g_counting.load(std::memory_order_relaxed)) return;
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    g_bytes.fetch_add(static_cast<std::int64_t>(requested), std::memory_order_relaxed);
    const std::int64_t live =
        g_live.fetch_add(static_cast<std::int64_t>(::malloc_usable_size(p)), std::memory_order_relaxed) +
        static_cast<std::int64_t>(::malloc_usable_size(p));
    const std::int64_t above = live - g_baseline.load(std::memory_order_relaxed);
    std::int64_t peak = g_peak.load(std::memory_order_relaxed);
    while (above > peak && !g_peak.compare_exchange_weak(peak, above, std::memory_order_relaxed)) {
    }
}

void noteFree(void* p) {
    if (!p || !g_counting.load(std::memory_order_relaxed)) return;
    g_live.fetch_sub(static_cast<std::int64_t>(::malloc_usable_size(p)), std::memory_order_relaxed);
}

void* allocate(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (!p) throw std::bad_alloc();
    noteAllocation(p, size);
    return p;
}

void release(void* p) noexcept {
    noteFree(p);
    std::free(p);
}

}  // namespace

void startCounting() {
    g_counting.store(false);
    g_allocations = 0;
    g_bytes = 0;
    g_peak = 0;
    g_opens = 0;
    g_stats = 0;
    g_baseline.store(g_live.load());
    g_counting.store(true);
}

void stopCounting() { g_counting.store(false); }

HeapCounts heapCounts() { return {g_allocations.load(), g_bytes.load(), g_peak.load()}; }
FileCallCounts fileCallCounts() { return {g_opens.load(), g_stats.load()}; }

void* countedMalloc(std::size_t size) {
    void* p = std::malloc(size);
    noteAllocation(p, size);
    return p;
}

void countedFree(void* p) { release(p); }

}  // namespace crunchwatch::bench

// The program's global allocation functions: the plain, array and sized
// forms (the nothrow and aligned forms of the library call these or pair
// with their own).
void* operator new(std::size_t size) { return crunchwatch::bench::allocate(size); }
void* operator new[](std::size_t size) { return crunchwatch::bench::allocate(size); }
void operator delete(void* p) noexcept { crunchwatch::bench::release(p); }
void operator delete[](void* p) noexcept { crunchwatch::bench::release(p); }
void operator delete(void* p, std::size_t) noexcept { crunchwatch::bench::release(p); }
void operator delete[](void* p, std::size_t) noexcept { crunchwatch::bench::release(p); }
