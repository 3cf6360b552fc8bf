// "Anwenden" of the page editor on 100 A4 pages at 300 dpi (2480 x 3508, 24-bit), each with a free
// angle and some also turned, once on a pool of one worker per core and once on a single worker, on
// a local disk with a warm cache. Prints the wall time of each run, the time spent loading and saving
// (summed over the workers), the CPU time and page faults of the process, its resident memory after
// the run and the rate the pages were written at, the time the pool takes to save the pages alone
// (the floor the disk sets), whether both runs wrote the same files, then the ratio; the pool should
// be at least 0.6 x the core count times as fast. With several rounds the fastest run of each kind
// counts. Usage:
// bench_page_apply [pages] [folder] [rounds] (default 100 pages in $TMPDIR or /tmp, one round).

#include "foundation/image_file_ops.h"
#include "pageeditor/apply_edits.h"
#include "runtime/heap_tuning.h"
#include "runtime/safe_file.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

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

// Notes go to the output; the first wait window (turning and straightening on the pool) is timed.
class SilentUi final : public folvex::EditorUi
{
public:
    void openWait(const std::string&) override
    {
        if (++m_waits == 1) {
            turningStart = Clock::now();
        }
    }

    void setWaitText(const std::string&) override {}

    void closeWait() override
    {
        if (m_waits == 1) {
            turningEnd = Clock::now();
        }
    }

    void showNote(const std::string& text) override { std::printf("note: %s\n", text.c_str()); }

    bool escapeDown() override { return false; }

    void pauseMs(int) override {}

    Clock::time_point turningStart;
    Clock::time_point turningEnd;

private:
    int m_waits = 0;
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
    // CPU time of the whole process during the run and the faults on fresh memory it took.
    double userS = 0.0;
    double systemS = 0.0;
    long minorFaults = 0;
    double residentMb = 0.0;
    double writtenMb = 0.0;
    // The wall time of the pool's part (turning, straightening, saving), the rest is before and after it.
    double turningS = 0.0;
};

// A line of /proc/self/status or /proc/loadavg, for the figures of the run.
std::string procLine(const char* file, const std::string& prefix)
{
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(prefix, 0) == 0) {
            return line.substr(prefix.size());
        }
    }
    return {};
}

double residentMegabytes()
{
    return std::atof(procLine("/proc/self/status", "VmRSS:").c_str()) / 1024.0;
}

// Whether two folders hold the same file names with the same bytes.
bool sameFiles(const std::filesystem::path& a, const std::filesystem::path& b)
{
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(a)) {
        const std::filesystem::path other = b / entry.path().filename();
        auto left = folvex::readWholeFile(entry.path().string());
        auto right = folvex::readWholeFile(other.string());
        if (!left || !right || *left != *right) {
            return false;
        }
        ++count;
    }
    const auto entries =
        std::distance(std::filesystem::directory_iterator(b), std::filesystem::directory_iterator{});
    return count == static_cast<std::size_t>(entries);
}

double seconds(const timeval& time)
{
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

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
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    const Clock::time_point start = Clock::now();
    folvex::ApplyEdits(model, fi, pool, emptyRemoved);
    RunFigures figures;
    figures.wallS = secondsSince(start);
    figures.turningS = std::chrono::duration<double>(ui.turningEnd - ui.turningStart).count();
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    figures.userS = seconds(after.ru_utime) - seconds(before.ru_utime);
    figures.systemS = seconds(after.ru_stime) - seconds(before.ru_stime);
    figures.minorFaults = after.ru_minflt - before.ru_minflt;
    figures.loadS = static_cast<double>(files.loadNs.load()) / 1e9;
    figures.saveS = static_cast<double>(files.saveNs.load()) / 1e9;
    figures.residentMb = residentMegabytes();
    for (const auto& entry : std::filesystem::directory_iterator(work)) {
        figures.writtenMb += static_cast<double>(entry.file_size()) / 1e6;
    }
    return figures;
}

// The wall time of saving one page image over each page file of folder on a pool of workers, as apply
// saves its pages (temporary name, sync, rename over the page), without loading or turning: the pool
// cannot be faster than this, whatever the cores.
double poolSavingSeconds(
    const folvex::FreeImageFunctionTable& fi,
    const std::filesystem::path& folder,
    int pages,
    unsigned workers)
{
    const folvex::FreeImageBitmap page =
        folvex::ownFreeImage(fi, fi.LoadU(FIF_BMP, (folder / "TmpReadyImg1.bmp").string(), 0));
    if (!page) {
        return 0.0;
    }
    folvex::ImageFileOps files(fi);
    folvex::WorkerPool pool(workers);
    const Clock::time_point start = Clock::now();
    folvex::runInOrder<bool>(
        pool,
        static_cast<std::size_t>(pages),
        std::size_t{2} * workers,
        [&](std::size_t index) -> folvex::Expected<bool> {
            return files.saveBmp(
                page.get(), (folder / ("TmpReadyImg" + std::to_string(index + 1) + ".bmp")).string());
        },
        [](folvex::JobOutcome<bool>&&) { return true; });
    return secondsSince(start);
}

RunFigures fastest(const RunFigures& a, const RunFigures& b)
{
    return b.wallS < a.wallS ? b : a;
}

} // namespace

int main(int argc, char** argv)
{
    // As the program does at its start.
    folvex::keepPageBlocksForReuse();
    const int pages = argc > 1 ? std::atoi(argv[1]) : 100;
    const char* tmp = std::getenv("TMPDIR");
    const std::filesystem::path base =
        std::filesystem::path(argc > 2 ? argv[2] : (tmp != nullptr && *tmp != '\0' ? tmp : "/tmp")) /
        ("folvex-page-apply-" + std::to_string(::getpid()));
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;

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
    const auto show = [pages](const char* label, unsigned workers, const RunFigures& f) {
        std::printf(
            "%-12s %2u worker(s): %7.2f s wall (%.2f s turning and straightening, %.2f s before and "
            "after), %6.3f s per page; loading %6.2f s, saving %6.2f s (summed over the workers); CPU %.2f s "
            "user + %.2f s system; %ld page faults; %.0f MB "
            "resident after; pages written at %.0f MB/s\n",
            label,
            workers,
            f.wallS,
            f.turningS,
            f.wallS - f.turningS,
            f.wallS / pages,
            f.loadS,
            f.saveS,
            f.userS,
            f.systemS,
            f.minorFaults,
            f.residentMb,
            f.writtenMb / f.wallS);
    };
    std::printf("load average before: %s\n", procLine("/proc/loadavg", "").c_str());
    RunFigures pool;
    RunFigures single;
    bool identical = true;
    for (int round = 1; round <= rounds; ++round) {
        const RunFigures poolRun = runApply(fi, pristine, base / "pool", pages, cores);
        const RunFigures singleRun = runApply(fi, pristine, base / "single", pages, 1);
        identical = identical && sameFiles(base / "pool", base / "single");
        std::filesystem::remove_all(base / "single");
        const double savingAlone = poolSavingSeconds(fi, base / "pool", pages, cores);
        std::printf("round %d of %d:\n", round, rounds);
        show("  pool", cores, poolRun);
        show("  one worker", 1, singleRun);
        std::printf(
            "  saving the pages alone on the pool (no loading or turning) takes %.2f s wall\n", savingAlone);
        pool = round == 1 ? poolRun : fastest(pool, poolRun);
        single = round == 1 ? singleRun : fastest(single, singleRun);
    }
    std::filesystem::remove_all(base);
    std::printf("load average after: %s\n", procLine("/proc/loadavg", "").c_str());

    std::printf("fastest of %d round(s):\n", rounds);
    show("pool", cores, pool);
    show("one worker", 1, single);
    const double speedUp = single.wallS / pool.wallS;
    std::printf(
        "speed-up %.2f on %u cores (target at least %.2f); CPU time of the pool %.2f x that of one "
        "worker; turning and straightening on one worker %.3f s per page; pool and one worker wrote %s "
        "files\n",
        speedUp,
        cores,
        0.6 * cores,
        (pool.userS + pool.systemS) / (single.userS + single.systemS),
        (single.wallS - single.loadS - single.saveS) / pages,
        identical ? "identical" : "DIFFERENT");
    return identical ? 0 : 1;
}
