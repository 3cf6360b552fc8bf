// The page operations of the page editor on one A4 page at 300 dpi (2480 x 3508, 24-bit): load +
// pass + save of de-graying, inversion and white balance, without pending geometry, with one quarter
// turn and with a free angle of 1.5 degrees, against load + save of the same page; and each pass
// alone. Target: every operation at most 1.25 x load + save, every pass at most 15 ms. Prints the
// median of the runs and the core count. Usage: bench_page_ops [runs] [folder] (default 7 runs in
// $TMPDIR or /tmp). Both sides write a file that does not exist yet.

#include "foundation/freeimage_binding.h"
#include "imageops/page_operation.h"
#include "imageops/page_ops_fakes.h"
#include "imageops/pixel_operations.h"
#include "imageops/raster.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using folvex::FreeImageFunctionTable;

constexpr unsigned PageWidthPx = 2480;
constexpr unsigned PageHeightPx = 3508;
constexpr unsigned Dpm300 = 11811;

double medianMs(int runs, const std::function<void()>& prepare, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        prepare();
        const Clock::time_point start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// A scanned-looking page: light paper with noise and dark text-like bars.
folvex::FreeImageBitmap makePage(const FreeImageFunctionTable& fi)
{
    folvex::FreeImageBitmap page =
        folvex::ownFreeImage(fi, fi.Allocate(PageWidthPx, PageHeightPx, 24, 0, 0, 0));
    fi.SetDotsPerMeterX(page.get(), Dpm300);
    fi.SetDotsPerMeterY(page.get(), Dpm300);
    std::mt19937 random(30);
    std::uniform_int_distribution<int> noise(-12, 12);
    for (unsigned y = 0; y < PageHeightPx; ++y) {
        BYTE* row = folvex::rowFromTop(fi, page.get(), y);
        const bool textLine = (y / 40) % 2 == 1;
        for (unsigned x = 0; x < PageWidthPx; ++x) {
            const int base = textLine && (x / 25) % 3 != 0 ? 30 : 225;
            for (unsigned c = 0; c < 3; ++c) {
                row[3 * x + c] = static_cast<BYTE>(std::clamp(base + noise(random), 0, 255));
            }
        }
    }
    return page;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const char* tmp = std::getenv("TMPDIR");
    const std::filesystem::path folder =
        std::filesystem::path(argc > 2 ? argv[2] : (tmp != nullptr ? tmp : "/tmp")) / "folvex_bench_page_ops";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);

    folvex::FreeImageLibrary library;
    if (!folvex::loadFreeImageBinding(library)) {
        return 1;
    }
    const FreeImageFunctionTable& fi = library.FreeImageFunctions;
    const std::string pagePath = (folder / "TmpReadyImg1.bmp").string();
    const std::string workingCopy = folvex::workingCopyPath(pagePath);
    const std::string copyPath = (folder / "copy.bmp").string();
    {
        const folvex::FreeImageBitmap page = makePage(fi);
        if (!folvex::SavePageBmp(fi, page.get(), pagePath)) {
            std::fprintf(stderr, "Die Seite %s konnte nicht gespeichert werden.\n", pagePath.c_str());
            return 1;
        }
    }

    folvex::testing::FakePageContext ctx;
    ctx.pages.push_back(folvex::testing::FakePage{pagePath});
    const auto noWorkingCopy = [&] { std::filesystem::remove(workingCopy); };

    const double loadSave = medianMs(
        runs,
        [&] { std::filesystem::remove(copyPath); },
        [&] {
            const folvex::FreeImageBitmap page = folvex::ownFreeImage(fi, fi.LoadU(FIF_BMP, pagePath));
            folvex::SavePageBmp(fi, page.get(), copyPath);
        });
    std::printf("A4 300 dpi 24-bit, %d runs (median), %u cores\n", runs, std::thread::hardware_concurrency());
    std::printf("load + save                      %8.1f ms\n", loadSave);

    const struct
    {
        const char* name;
        std::function<void()> run;
    } operations[] = {
        {"frame, empty pass",
         [&] {
             folvex::PageOperationFrame(fi, 1, ctx, folvex::PageOperation{}, [](folvex::PagePassInput&) {});
         }},
        {"DeGray", [&] { folvex::DeGray(fi, 1, ctx); }},
        {"InvertPages", [&] { folvex::InvertPages(fi, 1, ctx); }},
        {"AutoWhiteBalance (mode 1)", [&] { folvex::AutoWhiteBalance(fi, 1, ctx, 1); }},
    };

    const struct
    {
        const char* name;
        std::uint8_t turns;
        double angle;
    } geometries[] = {{"none", 0, 0.0}, {"1 turn", 1, 0.0}, {"1.5 deg", 0, 1.5}};

    bool met = true;
    for (const auto& operation : operations) {
        for (const auto& geometry : geometries) {
            ctx.pages[0].turns = geometry.turns;
            ctx.pages[0].angle = geometry.angle;
            const double ms = medianMs(runs, noWorkingCopy, operation.run);
            const bool within = ms <= 1.25 * loadSave;
            met = met && within;
            std::printf(
                "%-26s %-8s %8.1f ms  %.2f x load + save%s\n",
                operation.name,
                geometry.name,
                ms,
                ms / loadSave,
                within ? "" : "  over");
        }
    }

    // The passes alone on the loaded page as 24 bits.
    const folvex::FreeImageBitmap loaded = folvex::ownFreeImage(fi, fi.LoadU(FIF_BMP, pagePath));
    folvex::PageGeometry geometry{PageWidthPx, PageHeightPx, 0, 0.0};
    const folvex::DeGrayPoints points = folvex::readDeGrayPoints(ctx);

    const struct
    {
        const char* name;
        std::function<void(folvex::PagePassInput&)> pass;
    } passes[] = {
        {"DeGray pass", [&](folvex::PagePassInput& input) { folvex::DeGrayPixels(input, points); }},
        {"invert pass", folvex::InvertPixels},
        {"white balance pass",
         [&](folvex::PagePassInput& input) { folvex::WhiteBalancePixels(input, 1, ctx); }},
    };

    for (const auto& pass : passes) {
        folvex::FreeImageBitmap image = folvex::ownFreeImage(fi, fi.Clone(loaded.get()));
        folvex::RowProgress progress(ctx.ui(), "Bild ", PageHeightPx);
        folvex::PagePassInput input{fi, image.get(), 1, 1, geometry, progress};
        const double ms = medianMs(
            runs, [] {}, [&] { pass.pass(input); });
        met = met && ms <= 15.0;
        std::printf("%-35s %8.1f ms%s\n", pass.name, ms, ms <= 15.0 ? "" : "  over");
    }
    std::filesystem::remove_all(folder);
    std::printf(met ? "targets met\n" : "targets NOT met\n");
    return 0;
}
