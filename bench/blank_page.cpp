// The blank-page test on an A4 page at 300 dpi, 24-bit (2480 x 3508), against a plain scan that sums
// every byte of the same bitmap. The test should take at most 3 times the plain scan at step 1 and at
// most as long at step 3 (the profiles' default). The counter page_sized_allocations counts
// allocations of at least a quarter of the page made during the test; it should stay 0.

#include "foundation/blank_page.h"

#include "runtime/dib.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <new>
#include <random>

namespace {

constexpr std::int32_t PageWidthPx = 2480;
constexpr std::int32_t PageHeightPx = 3508;
constexpr std::size_t PageSizedBytes = std::size_t{PageWidthPx} * PageHeightPx * 3 / 4;

std::atomic<std::size_t> pageSizedAllocations{0};

// A white page with scattered dark specks, as a scanned sheet with a little text.
folvex::Handle makePage()
{
    auto page = folvex::makeDibBitmap(PageWidthPx, PageHeightPx, 24);
    std::mt19937 random(1);
    std::uniform_int_distribution<int> bright(235, 255);
    std::bernoulli_distribution dark(0.01);
    for (auto& value : page->bits) {
        value = dark(random) ? 20 : static_cast<std::uint8_t>(bright(random));
    }
    return folvex::registerImage(std::move(page));
}

folvex::Handle thePage()
{
    static const folvex::Handle page = makePage();
    return page;
}

void BM_PlainByteSum(benchmark::State& state)
{
    const folvex::DibBitmap& page = *folvex::findImage(thePage());
    for (auto _ : state) {
        std::uint64_t sum = 0;
        for (const std::uint8_t value : page.bits) {
            sum += value;
        }
        benchmark::DoNotOptimize(sum);
    }
}

void BM_IsPicBlank(benchmark::State& state)
{
    const folvex::Handle page = thePage();
    const int step = static_cast<int>(state.range(0));
    const std::size_t before = pageSizedAllocations.load();
    for (auto _ : state) {
        benchmark::DoNotOptimize(folvex::IsPicBlank(page, PageWidthPx, PageHeightPx, 99.0f, step, 200));
    }
    state.counters["page_sized_allocations"] = static_cast<double>(pageSizedAllocations.load() - before);
}

BENCHMARK(BM_PlainByteSum)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IsPicBlank)->Arg(1)->Arg(3)->ArgName("step")->Unit(benchmark::kMillisecond);

} // namespace

void* operator new(std::size_t size)
{
    if (size >= PageSizedBytes) {
        pageSizedAllocations.fetch_add(1);
    }
    if (void* memory = std::malloc(size != 0 ? size : 1)) {
        return memory;
    }
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

BENCHMARK_MAIN();
