#pragma once
// What the benchmark counts besides time: heap allocations (every global
// operator new of this program, and pugixml's allocations routed here) and
// the file-system calls that open or query a file. Counting is off until a
// measurement switches it on, so timed runs pay one flag test per call.

#include <cstddef>
#include <cstdint>

namespace crunchwatch::bench {

struct HeapCounts {
    std::int64_t allocations = 0;
    std::int64_t bytes = 0;     // bytes requested, in total
    std::int64_t peakLive = 0;  // highest live bytes above the level at start
};

struct FileCallCounts {
    std::int64_t opens = 0;  // open, open64, openat, openat64
    std::int64_t stats = 0;  // stat, stat64, lstat, fstatat, statx
};

// Starts counting from zero; the live level at this moment is the baseline.
void startCounting();
HeapCounts heapCounts();
FileCallCounts fileCallCounts();
void stopCounting();

// Allocation functions for pugixml, counted like operator new.
void* countedMalloc(std::size_t size);
void countedFree(void* p);

}  // namespace crunchwatch::bench
