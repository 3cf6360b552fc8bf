// "Anwenden" of the page editor on 100 A4 pages at 300 dpi (2480 x 3508, 24-bit), each with a free
// angle and some also turned, once on a pool of one worker per core and once on a single worker, on
// a local disk with a warm cache. Prints the wall time of each run, the time spent saving (summed over
// the workers) and the ratio; the pool should be at least 0.6 x the core count times as fast. Usage:
// bench_page_apply [pages] [folder] (default 100 pages in $TMPDIR or /tmp).

#include "foundation/image_file_ops.h"
#include "pageeditor/apply_edits.h"
#include "runtime/safe_file.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

// Times the loads and saves passed on to the real port.
class TimedFileOps final : public folvex::ImageFileOps
{
public:
    using ImageFileOps::ImageFileOps;

    FIBITMAP* loadBmp(const std::string& path) override
    {
        const Clock::time_point start = Clock::now();
        FIBITMAP* image = ImageFileOps::loadBmp(path);
        loadNs += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
        return image;
    }

    bool saveBmp(FIBITMAP* image, const std::string& path) override
    {
        const Clock::time_point start = Clock::now();
        const bool saved = ImageFileOps::saveBmp(image, path);
        saveNs += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
        return saved;
    }

    std::atomic<long long> loadNs{0};
    std::atomic<long long> saveNs{0};
};

class SilentUi final : public folvex::EditorUi
{
public:
    void openWait(const std::string&) override {}

    void setWaitText(const std::string&) override {}

    void closeWait() override {}

    void showNote(const std::string& text) override { std::printf("note: %s\n", text.c_str()); }

    bool escapeDown() override { return false; }

    void pauseMs(int) override {}
};

// A white page with black text-like bars between margins, as a printed sheet.
void writePage(const folvex::FreeImageFunctionTable& fi, const std::string& path, int number)
{
    FIBITMAP* page = fi.Allocate(PageWidthPx, PageHeightPx, 24, 0, 0, 0);
    for (unsigned y = 0; y < PageHeightPx; ++y) {
        BYTE* line = fi.GetBits(page) + std::size_t{y} * fi.GetPitch(page);
        const bool textLine = (y / 25) % 2 == 1 && y > 300 && y < PageHeightPx - 300;
        for (unsigned x = 0; x < PageWidthPx; ++x) {
            const bool ink = textLine && x > 248 && x < 2232 && ((x / 60 + y / 50 + number) % 7) != 0;
            line[3 * x] = line[3 * x + 1] = line[3 * x + 2] = ink ? 0 : 255;
        }
    }
    fi.SetDotsPerMeterX(page, 11811);
    fi.SetDotsPerMeterY(page, 11811);
    if (fi.SaveU(FIF_BMP, page, path, 0) != TRUE) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    fi.Unload(page);
}

struct RunFigures
{
    double wallS = 0.0;
    double loadS = 0.0;
    double saveS = 0.0;
};

RunFigures runApply(
    const folvex::FreeImageFunctionTable& fi,
    const std::filesystem::path& pristine,
    const std::filesystem::path& work,
    int pages,
    unsigned workers)
{
    std::filesystem::remove_all(work);
    std::filesystem::copy(pristine, work);
    // Warm cache and no write-back of the copies competing with the run.
    ::sync();
    for (const auto& entry : std::filesystem::directory_iterator(work)) {
        (void)folvex::readWholeFile(entry.path().string());
    }
    folvex::ShellState shell;
    folvex::allocateMainProgramTables(shell);
    shell.settingsState.settings.TmpPath = work.string();
    TimedFileOps files(fi);
    SilentUi ui;
    folvex::PageEditorModel model(shell, files, ui, 0, "PDF");
    model.open(1820);
    for (int p = 1; p <= pages; ++p) {
        model.setAngle(p, ((p * 37) % 97) / 10.0 - 4.85);
        if (p % 3 == 0) {
            model.turnRight(p);
        }
        if (p % 5 == 0) {
            model.turnLeft(p);
            model.turnLeft(p);
        }
    }
    folvex::WorkerPool pool(workers);
    std::uint8_t emptyRemoved = 0;
    const Clock::time_point start = Clock::now();
    folvex::ApplyEdits(model, fi, pool, emptyRemoved);
    RunFigures figures;
    figures.wallS = secondsSince(start);
    figures.loadS = static_cast<double>(files.loadNs.load()) / 1e9;
    figures.saveS = static_cast<double>(files.saveNs.load()) / 1e9;
    return figures;
}

} // namespace

int main(int argc, char** argv)
{
    const int pages = argc > 1 ? std::atoi(argv[1]) : 100;
    const char* tmp = std::getenv("TMPDIR");
    const std::filesystem::path base =
        std::filesystem::path(argc > 2 ? argv[2] : (tmp != nullptr && *tmp != '\0' ? tmp : "/tmp")) /
        ("folvex-page-apply-" + std::to_string(::getpid()));

    folvex::FreeImageLibrary library;
    if (!folvex::loadFreeImageBinding(library)) {
        return 1;
    }
    const folvex::FreeImageFunctionTable& fi = library.FreeImageFunctions;

    const std::filesystem::path pristine = base / "pages";
    std::filesystem::create_directories(pristine);
    std::printf("writing %d A4 pages at 300 dpi (24-bit) to %s ...\n", pages, pristine.c_str());
    for (int p = 1; p <= pages; ++p) {
        writePage(fi, (pristine / ("TmpReadyImg" + std::to_string(p) + ".bmp")).string(), p);
    }

    const unsigned cores = folvex::defaultWorkerCount();
    const RunFigures pool = runApply(fi, pristine, base / "pool", pages, cores);
    const RunFigures single = runApply(fi, pristine, base / "single", pages, 1);
    std::filesystem::remove_all(base);

    const auto show = [pages](const char* label, unsigned workers, const RunFigures& f) {
        std::printf(
            "%-12s %2u worker(s): %7.2f s wall, %6.3f s per page; loading %6.2f s, saving %6.2f s "
            "(summed over the workers)\n",
            label,
            workers,
            f.wallS,
            f.wallS / pages,
            f.loadS,
            f.saveS);
    };
    show("pool", cores, pool);
    show("one worker", 1, single);
    const double speedUp = single.wallS / pool.wallS;
    std::printf(
        "speed-up %.2f on %u cores (target at least %.2f); turning and straightening on one worker "
        "%.3f s per page\n",
        speedUp,
        cores,
        0.6 * cores,
        (single.wallS - single.loadS - single.saveS) / pages);
    return 0;
}
