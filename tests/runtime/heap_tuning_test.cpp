#include "runtime/heap_tuning.h"

#include "runtime/worker_pool.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace folvex {
namespace {

// Under AddressSanitizer the sanitizer's own allocator serves every block, so glibc's heaps are not
// what is measured.
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
constexpr std::size_t BlockBytes = std::size_t{31} << 20;
constexpr std::size_t Blocks = 3;

std::size_t residentBytes()
{
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == "VmRSS:") {
            std::size_t kilobytes = 0;
            status >> kilobytes;
            return kilobytes * 1024;
        }
    }
    return 0;
}

// Allocates the blocks a page needs while turning, writes them, calls whileHeld and frees them.
void turnAPage(const std::function<void()>& whileHeld = {})
{
    void* blocks[Blocks] = {};
    for (void*& block : blocks) {
        block = std::malloc(BlockBytes);
        ASSERT_NE(block, nullptr);
        std::memset(block, 0xff, BlockBytes);
    }
    if (whileHeld) {
        whileHeld();
    }
    for (void* block : blocks) {
        std::free(block);
    }
}

// Page images as a worker thread makes them while it turns a page: an A4 page at 300 dpi in 24 bits is
// 26 MB, and turning it makes blocks of up to about 31 MB, several at once, more than one of the
// thread's 64 MB heaps holds.
TEST(HeapTuningTest, AWorkerThreadsPageSizedBlocksComeFromItsHeapsAndStayThereWhenFreed)
{
    keepPageBlocksForReuse();
    std::size_t mappedBefore = 0;
    std::size_t mappedWhileHeld = 0;
    std::size_t heapAfterFree = 0;
    std::thread worker([&] {
        mappedBefore = mallinfo2().hblkhd;
        turnAPage([&] { mappedWhileHeld = mallinfo2().hblkhd; });
        heapAfterFree = mallinfo2().arena;
    });
    worker.join();
    // No block is a mapping of its own, which the kernel would map, zero and unmap for every page.
    EXPECT_EQ(mappedWhileHeld, mappedBefore);
    // Freed, their memory stays in the heaps for the next page.
    EXPECT_GE(heapAfterFree, Blocks * BlockBytes);

    // After a run the free memory can be given back; the heap stays usable.
    releaseFreeHeapMemory();
    void* again = std::malloc(BlockBytes);
    ASSERT_NE(again, nullptr);
    std::free(again);
}

TEST(HeapTuningTest, AnEndedPoolGivesBackTheMemoryItsWorkersKeptFree)
{
    keepPageBlocksForReuse();
    const std::size_t before = residentBytes();
    std::size_t whileKept = 0;
    {
        WorkerPool pool(1);
        pool.post([&] {
            turnAPage();
            whileKept = residentBytes();
        });
    }
    const std::size_t afterPool = residentBytes();
    ASSERT_GE(whileKept, before + 2 * BlockBytes);
    EXPECT_LE(afterPool + BlockBytes, whileKept);
}
#endif

} // namespace
} // namespace folvex
