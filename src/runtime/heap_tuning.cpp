#include "runtime/heap_tuning.h"

#include <cstdlib> // says whether this is glibc
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace folvex {

namespace {

// The largest block the heap may serve itself; glibc refuses more (half its 64 MB arena heaps).
constexpr int HeapServedBlockBytes = 32 * 1024 * 1024;

// Space kept on top of a heap when it shrinks. As large as a thread's heap, so the heaps of the worker
// threads stay mapped between pages instead of being unmapped whenever their last block is freed.
constexpr int KeptHeapTopBytes = 64 * 1024 * 1024;

// Free space at the top of the main heap beyond which it shrinks; twice the largest block served.
constexpr int HeapTrimBytes = 2 * HeapServedBlockBytes;

} // namespace

void keepPageBlocksForReuse()
{
#if defined(__GLIBC__)
    // Each setting also ends the library's own adjustment of the thresholds, so all three are set.
    (void)mallopt(M_MMAP_THRESHOLD, HeapServedBlockBytes);
    (void)mallopt(M_TOP_PAD, KeptHeapTopBytes);
    (void)mallopt(M_TRIM_THRESHOLD, HeapTrimBytes);
#endif
}

void releaseFreeHeapMemory()
{
#if defined(__GLIBC__)
    (void)malloc_trim(0);
#endif
}

} // namespace folvex
