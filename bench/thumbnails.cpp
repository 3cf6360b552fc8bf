// The page editor's first build of all thumbnails on 100 A4 pages at 300 dpi (2480 x 3508, 24-bit
// BMP): each page loaded, tested for blankness, reduced to its thumbnail and made into the bitmap a
// button shows, on a pool of one worker per core with at most workers + 1 pages in memory, the results
// taken in page order as the editor takes them. Beside it the time of loading the same files once in a
// plain loop (second pass, warm cache). The build should take at most 1.5 x the plain loading.
// Usage: bench_thumbnails [pages] [folder] (default 100 pages in $TMPDIR or /tmp); FOLVEX_BENCH_WORKERS
// sets the number of workers (default one per core), FOLVEX_BENCH_KEEP keeps the page files.

#include "foundation/freeimage_binding.h"
#include "pageeditor/thumbnail_build.h"
#include "runtime/worker_pool.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned PageWidthPx = 2480;
constexpr unsigned PageHeightPx = 3508;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A page with text-like dark strokes on white, so that neither the blank test nor the reduction sees
// a uniform page.
void writePage(const folvex::FreeImageFunctionTable& f, const std::string& path, unsigned seed)
{
    FIBITMAP* page = f.Allocate(PageWidthPx, PageHeightPx, 24, 0, 0, 0);
    for (unsigned y = 0; y < PageHeightPx; ++y) {
        BYTE* row = f.GetScanLine(page, static_cast<int>(y));
        for (unsigned x = 0; x < PageWidthPx; ++x) {
            const bool ink = (y / 40 + seed) % 3 == 0 && (x * 7 + y * 3 + seed) % 11 < 4;
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = ink ? 20 : 250;
        }
    }
    f.SetDotsPerMeterX(page, 11811);
    f.SetDotsPerMeterY(page, 11811);
    f.SaveU(FIF_BMP, page, path, 0);
    f.Unload(page);
}

} // namespace

int main(int argc, char** argv)
{
    const int pages = argc > 1 ? std::atoi(argv[1]) : 100;
    const char* tmp = std::getenv("TMPDIR");
    const std::filesystem::path folder =
        std::filesystem::path(argc > 2 ? argv[2] : (tmp != nullptr ? tmp : "/tmp")) /
        ("folvex_bench_thumbnails_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    folvex::FreeImageLibrary library;
    if (!folvex::loadFreeImageBinding(library)) {
        return 1;
    }
    const folvex::FreeImageFunctionTable& f = library.FreeImageFunctions;
    std::vector<std::string> paths;
    for (int p = 1; p <= pages; ++p) {
        paths.push_back((folder / ("TmpReadyImg" + std::to_string(p) + ".bmp")).string());
        writePage(f, paths.back(), static_cast<unsigned>(p));
    }

    double loadSeconds = 0.0;
    for (int pass = 0; pass < 2; ++pass) {
        const Clock::time_point start = Clock::now();
        for (const std::string& path : paths) {
            f.Unload(f.LoadU(FIF_BMP, path, 0));
        }
        loadSeconds = secondsSince(start);
    }

    const char* workers = std::getenv("FOLVEX_BENCH_WORKERS");
    folvex::WorkerPool pool(
        workers != nullptr ? static_cast<unsigned>(std::atoi(workers)) : folvex::defaultWorkerCount());
    const std::size_t ahead = pool.workerCount() + 1;
    const Clock::time_point start = Clock::now();
    std::deque<std::future<folvex::ThumbnailResult>> pending;
    std::size_t next = 0;
    for (std::size_t p = 0; p < paths.size(); ++p) {
        for (; next < paths.size() && next - p < ahead; ++next) {
            folvex::ThumbnailJob job;
            job.pagePath = paths[next];
            job.thumbnailSize = 250;
            job.blankTest = true;
            auto task = std::make_shared<std::packaged_task<folvex::ThumbnailResult()>>(
                [&f, job] { return folvex::buildThumbnail(f, job); });
            pending.push_back(task->get_future());
            pool.post([task] { (*task)(); });
        }
        folvex::ThumbnailResult result = pending.front().get();
        pending.pop_front();
        folvex::FreeHBitmap(folvex::FreeImageToHBitmap(f, result.image.get()));
    }
    const double buildSeconds = secondsSince(start);

    if (std::getenv("FOLVEX_BENCH_KEEP") == nullptr) {
        std::filesystem::remove_all(folder);
    }
    std::printf(
        "%d pages, %u cores, %u workers: plain load %.3f s, first thumbnail build %.3f s, ratio %.2f "
        "(at most 1.5)\n",
        pages,
        folvex::defaultWorkerCount(),
        pool.workerCount(),
        loadSeconds,
        buildSeconds,
        buildSeconds / loadSeconds);
    return 0;
}
