// The page operations of the page editor on one A4 page at 300 dpi (2480 x 3508, 24-bit): load +
// pass + save of de-graying, inversion and white balance, without pending geometry, with one quarter
// turn and with a free angle of 1.5 degrees, against load + save of the same page; and each pass
// alone. Target: every operation at most 1.25 x load + save, every pass at most 15 ms.
//
// Both sides load the same page file from a warm cache and save through `SavePageBmp` (temporary
// file, sync, rename) into the same folder under a name that does not exist yet. The runs are taken
// in rounds, each round timing load + save and then every case once, so a change in the machine's
// load shows on both sides of a ratio; the ratios use the minimum (and the median) of the rounds. The
// passes alone run on a fresh copy of the page as loaded each time, so they see the same pixels the
// operation sees; then each row kernel the processor runs (the passes use the first). Each working
// copy's FNV-1a hash is printed, so two builds can be checked to write the same bytes. Prints the core
// count, the load average and the process CPU time beside the wall time: most of a save on a disk is
// waiting for its sync, so the folder decides the ratios (in memory, e.g. /dev/shm, load + save is CPU
// time alone, about a third of its time on disk here). Usage: bench_page_ops [runs] [folder] (default 9
// runs in $TMPDIR or /tmp).

#include "foundation/freeimage_binding.h"
#include "imageops/page_operation.h"
#include "imageops/page_ops_fakes.h"
#include "imageops/pixel_operations.h"
#include "imageops/pixel_operations_internal.h"
#include "imageops/raster.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <time.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using folvex::FreeImageFunctionTable;

constexpr unsigned PageWidthPx = 2480;
constexpr unsigned PageHeightPx = 3508;
constexpr unsigned Dpm300 = 11811;
constexpr double TargetRatio = 1.25;
constexpr double TargetPassMs = 15.0;

// The wall-clock and process CPU times of one case over the rounds; the CPU time shows how much of
// the wall time is the program's own work and how much waiting (the save's sync to the disk).
struct Times
{
    std::vector<double> ms;
    std::vector<double> cpuMs;

    double minimum() const { return *std::min_element(ms.begin(), ms.end()); }

    double minimumCpu() const { return *std::min_element(cpuMs.begin(), cpuMs.end()); }

    double median() const
    {
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
};

double cpuNowMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1.0e6;
}

void measure(Times& times, const std::function<void()>& work)
{
    const double cpuStart = cpuNowMs();
    const Clock::time_point start = Clock::now();
    work();
    times.ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    times.cpuMs.push_back(cpuNowMs() - cpuStart);
}

// FNV-1a of a file's bytes: the same for the same output before and after a change of speed.
std::uint64_t fileHash(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::uint64_t hash = 14695981039346656037ULL;
    char buffer[65536];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
        for (std::streamsize i = 0; i < file.gcount(); ++i) {
            hash = (hash ^ static_cast<unsigned char>(buffer[i])) * 1099511628211ULL;
        }
    }
    return hash;
}

std::string loadAverage()
{
    std::ifstream file("/proc/loadavg");
    std::string one;
    std::string five;
    std::string fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
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

// The wait window of the editor without the window: counts the texts, shows the notes.
class CountingUi final : public folvex::EditorUi
{
public:
    void openWait(const std::string&) override {}

    void setWaitText(const std::string&) override { ++texts; }

    void closeWait() override {}

    void showNote(const std::string& text) override { std::printf("note: %s\n", text.c_str()); }

    bool escapeDown() override { return false; }

    void pauseMs(int) override {}

    long texts = 0;
};

// The page context of the bench: the fake's pages and points with the counting user interface.
class BenchContext final : public folvex::PageOpContext
{
public:
    std::int32_t PageCount() const override { return pages.PageCount(); }

    std::string pagePath(std::int32_t page) const override { return pages.pagePath(page); }

    bool markedForDeletion(std::int32_t page) const override { return pages.markedForDeletion(page); }

    bool markedBlank(std::int32_t page) const override { return pages.markedBlank(page); }

    std::uint8_t turns(std::int32_t page) const override { return pages.turns(page); }

    double angle(std::int32_t page) const override { return pages.angle(page); }

    std::string dpiText(std::int32_t page) const override { return pages.dpiText(page); }

    void setDpiText(std::int32_t page, const std::string& text) override { pages.setDpiText(page, text); }

    std::string whitePointText(folvex::PointChannel channel) const override
    {
        return pages.whitePointText(channel);
    }

    std::string blackPointText(folvex::PointChannel channel) const override
    {
        return pages.blackPointText(channel);
    }

    const std::string& destinationType() const override { return pages.destinationType(); }

    bool splitToggleExists(std::int32_t page) const override { return pages.splitToggleExists(page); }

    bool splitTogglePressed(std::int32_t page) const override { return pages.splitTogglePressed(page); }

    std::int32_t DelEmptyOnEdit() const override { return pages.DelEmptyOnEdit(); }

    std::int32_t RefPicX() const override { return pages.RefPicX(); }

    std::int32_t RefPicY() const override { return pages.RefPicY(); }

    std::int32_t RefPicCutoff() const override { return pages.RefPicCutoff(); }

    folvex::EditorUi& ui() override { return counting; }

    folvex::TextRenderer* textRenderer() override { return nullptr; }

    folvex::testing::FakePageContext pages;
    CountingUi counting;
};

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
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
    const std::string copyPath = (folder / "TmpReadyImg1_copy.bmp").string();
    {
        const folvex::FreeImageBitmap page = makePage(fi);
        if (!folvex::SavePageBmp(fi, page.get(), pagePath)) {
            std::fprintf(stderr, "Die Seite %s konnte nicht gespeichert werden.\n", pagePath.c_str());
            return 1;
        }
    }

    BenchContext ctx;
    ctx.pages.pages.push_back(folvex::testing::FakePage{pagePath});
    const std::string loadAverageBefore = loadAverage();

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
        {"AutoWhiteBalance mode 1", [&] { folvex::AutoWhiteBalance(fi, 1, ctx, 1); }},
        {"AutoWhiteBalance mode 3", [&] { folvex::AutoWhiteBalance(fi, 1, ctx, 3); }},
    };

    const struct
    {
        const char* name;
        std::uint8_t turns;
        double angle;
    } geometries[] = {{"none", 0, 0.0}, {"1 turn", 1, 0.0}, {"1.5 deg", 0, 1.5}};

    constexpr std::size_t GeometryCount = std::size(geometries);

    // Rounds: load + save, load alone, save alone, then every operation with every geometry.
    Times loadSave;
    Times loadOnly;
    Times saveOnly;
    std::vector<Times> cases(std::size(operations) * GeometryCount);
    std::vector<std::uint64_t> hashes(cases.size());
    for (int run = 0; run < runs; ++run) {
        std::filesystem::remove(copyPath);
        measure(loadSave, [&] {
            const folvex::FreeImageBitmap page = folvex::ownFreeImage(fi, fi.LoadU(FIF_BMP, pagePath));
            folvex::SavePageBmp(fi, page.get(), copyPath);
        });
        folvex::FreeImageBitmap loaded = folvex::ownFreeImage(fi, nullptr);
        measure(loadOnly, [&] { loaded = folvex::ownFreeImage(fi, fi.LoadU(FIF_BMP, pagePath)); });
        std::filesystem::remove(copyPath);
        measure(saveOnly, [&] { folvex::SavePageBmp(fi, loaded.get(), copyPath); });
        loaded.reset();
        for (std::size_t o = 0; o < std::size(operations); ++o) {
            for (std::size_t g = 0; g < GeometryCount; ++g) {
                ctx.pages.pages[0].turns = geometries[g].turns;
                ctx.pages.pages[0].angle = geometries[g].angle;
                std::filesystem::remove(workingCopy);
                measure(cases[o * GeometryCount + g], operations[o].run);
                hashes[o * GeometryCount + g] = fileHash(workingCopy);
            }
        }
    }

    std::printf(
        "A4 300 dpi 24-bit (%u x %u), %d rounds, %u cores, load average %s before, %s after the runs\n",
        PageWidthPx,
        PageHeightPx,
        runs,
        std::thread::hardware_concurrency(),
        loadAverageBefore.c_str(),
        loadAverage().c_str());
    std::printf("%-34s %9s %9s %8s\n", "", "min ms", "median ms", "cpu ms");

    const struct
    {
        const char* name;
        const Times& times;
    } baseline[] = {{"load + save", loadSave}, {"  load alone", loadOnly}, {"  save alone", saveOnly}};

    for (const auto& line : baseline) {
        std::printf(
            "%-34s %9.1f %9.1f %8.1f\n",
            line.name,
            line.times.minimum(),
            line.times.median(),
            line.times.minimumCpu());
    }
    std::printf(
        "%-34s %9s %9s %8s %8s %8s  %-16s (target %.2f x)\n",
        "load + pass + save",
        "min ms",
        "median ms",
        "cpu ms",
        "min x",
        "median x",
        "working copy",
        TargetRatio);
    bool met = true;
    for (std::size_t o = 0; o < std::size(operations); ++o) {
        for (std::size_t g = 0; g < GeometryCount; ++g) {
            const Times& times = cases[o * GeometryCount + g];
            const double ratio = times.minimum() / loadSave.minimum();
            const double medianRatio = times.median() / loadSave.median();
            const bool counted = o != 0;
            met = met && (!counted || ratio <= TargetRatio);
            const std::string name = std::string(operations[o].name) + ", " + geometries[g].name;
            std::printf(
                "%-34s %9.1f %9.1f %8.1f %8.2f %8.2f  %016llx%s\n",
                name.c_str(),
                times.minimum(),
                times.median(),
                times.minimumCpu(),
                ratio,
                medianRatio,
                static_cast<unsigned long long>(hashes[o * GeometryCount + g]),
                counted && ratio > TargetRatio ? "  over" : "");
        }
    }

    // The passes alone on a fresh copy of the page as loaded each run.
    const folvex::FreeImageBitmap pristine = folvex::ownFreeImage(fi, fi.LoadU(FIF_BMP, pagePath));
    const folvex::FreeImageBitmap image = folvex::ownFreeImage(fi, fi.Clone(pristine.get()));
    const std::size_t bytes = std::size_t{fi.GetPitch(image.get())} * PageHeightPx;
    const folvex::DeGrayPoints points = folvex::readDeGrayPoints(ctx);

    const struct
    {
        const char* name;
        std::function<void(folvex::PagePassInput&)> pass;
    } passes[] = {
        {"DeGray pass", [&](folvex::PagePassInput& input) { folvex::DeGrayPixels(input, points); }},
        {"invert pass", folvex::InvertPixels},
        {"white balance pass, mode 1",
         [&](folvex::PagePassInput& input) { folvex::WhiteBalancePixels(input, 1, ctx); }},
        {"white balance pass, mode 3",
         [&](folvex::PagePassInput& input) { folvex::WhiteBalancePixels(input, 3, ctx); }},
    };

    std::printf("%-34s %9s %9s  (target %.0f ms)\n", "pass alone", "min ms", "median ms", TargetPassMs);
    for (const auto& pass : passes) {
        Times times;
        for (int run = 0; run < runs; ++run) {
            std::memcpy(fi.GetBits(image.get()), fi.GetBits(pristine.get()), bytes);
            folvex::RowProgress progress(ctx.ui(), "Bild ", PageHeightPx);
            folvex::PagePassInput input{
                fi, image.get(), 1, 1, folvex::PageGeometry{PageWidthPx, PageHeightPx, 0, 0.0}, progress};
            measure(times, [&] { pass.pass(input); });
        }
        met = met && times.minimum() <= TargetPassMs;
        std::printf(
            "%-34s %9.1f %9.1f%s\n",
            pass.name,
            times.minimum(),
            times.median(),
            times.minimum() <= TargetPassMs ? "" : "  over");
    }

    // Each row kernel this processor runs over the whole page, without the pass's progress: the figures
    // a processor without the wider registers gets. White balance builds its tables once per page.
    const auto everyRow = [&](const std::function<void(BYTE*)>& row) {
        for (unsigned y = 0; y < PageHeightPx; ++y) {
            row(folvex::rowFromTop(fi, image.get(), y));
        }
    };

    const struct
    {
        const char* name;
        std::function<void(folvex::RowKernel)> page;
    } rowPasses[] = {
        {"DeGray",
         [&](folvex::RowKernel kernel) {
             everyRow([&](BYTE* row) { folvex::deGrayRow(row, PageWidthPx, points, kernel); });
         }},
        {"invert",
         [&](folvex::RowKernel kernel) {
             everyRow([&](BYTE* row) { folvex::invertRow(row, PageWidthPx, kernel); });
         }},
        {"white balance",
         [&](folvex::RowKernel kernel) {
             const folvex::WhiteBalanceRows balance(
                 folvex::whiteBalanceTable(230),
                 folvex::whiteBalanceTable(220),
                 folvex::whiteBalanceTable(210),
                 kernel);
             everyRow([&](BYTE* row) { balance.apply(row, PageWidthPx); });
         }},
    };

    const char* const kernelNames[] = {"AVX-512", "SSSE3", "portable", "by pixel"};
    std::printf("%-34s %9s %9s\n", "rows by kernel", "min ms", "median ms");
    for (const folvex::RowKernel kernel : folvex::rowKernels()) {
        for (const auto& rowPass : rowPasses) {
            Times times;
            for (int run = 0; run < runs; ++run) {
                std::memcpy(fi.GetBits(image.get()), fi.GetBits(pristine.get()), bytes);
                measure(times, [&] { rowPass.page(kernel); });
            }
            const std::string name = std::string(rowPass.name) + ", " + kernelNames[static_cast<int>(kernel)];
            std::printf("%-34s %9.1f %9.1f\n", name.c_str(), times.minimum(), times.median());
        }
    }
    std::filesystem::remove_all(folder);
    std::printf(met ? "targets met\n" : "targets NOT met\n");
    return 0;
}
