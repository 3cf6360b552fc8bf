// The scan job's PDF writing on A4 pages at 300 dpi (2480 x 3508): pdf_AddPage + pdf_Image for a
// 1-bit PNG page and for a colour JPEG page, each with its share of pdf_Save (a document of 50
// pages is saved and begun anew). Reading the page file alone is measured beside them. Targets: under
// 5 ms per PNG page and under 2 ms per JPEG page beyond reading the file.
// BM_PeakMemory writes 400 colour pages and saves them: the counter rss_growth_kb, the growth of the
// peak resident size from page 20 to after the save, should stay under 4096.

#include "pdf/pdf_adapter.h"
#include "runtime/safe_file.h"

#include <FreeImage.h>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <sys/resource.h>

namespace {

constexpr unsigned PageWidthPx = 2480;
constexpr unsigned PageHeightPx = 3508;
constexpr int PagesPerDocument = 50;

std::filesystem::path folder()
{
    static const std::filesystem::path path = [] {
        std::filesystem::path made = std::filesystem::temp_directory_path() / "folvex-bench-pdf-images";
        std::filesystem::create_directories(made);
        return made;
    }();
    return path;
}

// A page like a scanned letter: lines of black "words" on white.
FIBITMAP* makeTextPage()
{
    FIBITMAP* page = FreeImage_Allocate(PageWidthPx, PageHeightPx, 1);
    RGBQUAD* palette = FreeImage_GetPalette(page);
    palette[0] = {0, 0, 0, 0};
    palette[1] = {255, 255, 255, 0};
    std::memset(FreeImage_GetBits(page), 0xFF, std::size_t{FreeImage_GetPitch(page)} * PageHeightPx);
    std::mt19937 random(3);
    for (unsigned line = 300; line + 40 < PageHeightPx - 300; line += 70) {
        for (unsigned x = 250; x + 60 < PageWidthPx - 250;) {
            const unsigned word = 40 + random() % 160;
            for (unsigned y = line; y < line + 36; ++y) {
                BYTE* row = FreeImage_GetScanLine(page, static_cast<int>(y));
                for (unsigned dx = 0; dx < word && x + dx < PageWidthPx - 250; ++dx) {
                    if ((random() & 3) != 0) {
                        row[(x + dx) / 8] &= static_cast<BYTE>(~(0x80 >> ((x + dx) % 8)));
                    }
                }
            }
            x += word + 30;
        }
    }
    return page;
}

// A colour photo-like page: smooth gradients with a little noise.
FIBITMAP* makeColourPage()
{
    FIBITMAP* page = FreeImage_Allocate(PageWidthPx, PageHeightPx, 24);
    std::mt19937 random(5);
    for (unsigned y = 0; y < PageHeightPx; ++y) {
        BYTE* row = FreeImage_GetScanLine(page, static_cast<int>(y));
        for (unsigned x = 0; x < PageWidthPx; ++x) {
            const unsigned noise = random() % 8;
            row[3 * x] = static_cast<BYTE>((x / 10 + noise) % 256);
            row[3 * x + 1] = static_cast<BYTE>((y / 14 + noise) % 256);
            row[3 * x + 2] = static_cast<BYTE>(((x + y) / 24 + noise) % 256);
        }
    }
    return page;
}

const std::string& pngPage()
{
    static const std::string path = [] {
        const std::string file = (folder() / "page.png").string();
        FIBITMAP* page = makeTextPage();
        const bool saved = FreeImage_Save(FIF_PNG, page, file.c_str(), 0);
        FreeImage_Unload(page);
        if (!saved) {
            throw std::runtime_error("cannot write " + file);
        }
        return file;
    }();
    return path;
}

const std::string& jpegPage()
{
    static const std::string path = [] {
        const std::string file = (folder() / "page.jpg").string();
        FIBITMAP* page = makeColourPage();
        const bool saved = FreeImage_Save(FIF_JPEG, page, file.c_str(), 75);
        FreeImage_Unload(page);
        if (!saved) {
            throw std::runtime_error("cannot write " + file);
        }
        return file;
    }();
    return path;
}

void beginDocument()
{
    folvex::pdf_Create(1, 1, 0, -1.0f, -1.0f);
    folvex::pdf_SetAuthor("Folvex");
    folvex::pdf_SetCreator("Folvex");
}

void writePages(benchmark::State& state, const std::string& file)
{
    const std::string output = (folder() / "out.pdf").string();
    const auto w = static_cast<float>(PageWidthPx);
    const auto h = static_cast<float>(PageHeightPx);
    beginDocument();
    int pages = 0;
    for (auto _ : state) {
        folvex::pdf_AddPage(1, 0, w, h);
        if (folvex::pdf_Image(file, 0.0f, 0.0f, w, -1.0f, -1) != 0) {
            state.SkipWithError("the page image was refused");
            break;
        }
        if (++pages == PagesPerDocument) {
            if (folvex::pdf_Save(output) != 0) {
                state.SkipWithError("the document was not saved");
                break;
            }
            beginDocument();
            pages = 0;
        }
    }
    folvex::pdf_Save(output);
    state.counters["file_kb"] = static_cast<double>(std::filesystem::file_size(file)) / 1024.0;
}

void BM_OneBitPngPage(benchmark::State& state)
{
    writePages(state, pngPage());
}

BENCHMARK(BM_OneBitPngPage)->Unit(benchmark::kMillisecond);

void BM_ColourJpegPage(benchmark::State& state)
{
    writePages(state, jpegPage());
}

BENCHMARK(BM_ColourJpegPage)->Unit(benchmark::kMillisecond);

void readFile(benchmark::State& state, const std::string& file)
{
    for (auto _ : state) {
        auto bytes = folvex::readWholeFile(file);
        benchmark::DoNotOptimize(bytes);
    }
}

void BM_ReadPngFile(benchmark::State& state)
{
    readFile(state, pngPage());
}

BENCHMARK(BM_ReadPngFile)->Unit(benchmark::kMillisecond);

void BM_ReadJpegFile(benchmark::State& state)
{
    readFile(state, jpegPage());
}

BENCHMARK(BM_ReadJpegFile)->Unit(benchmark::kMillisecond);

long peakResidentKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Runs in a fresh process (the page files already exist), so the peak of making them does not hide
// the writer's own growth. Prints the growth in kB.
int peakMemoryChild(const std::string& png, const std::string& jpeg)
{
    const std::string output = (folder() / "big.pdf").string();
    const auto w = static_cast<float>(PageWidthPx);
    const auto h = static_cast<float>(PageHeightPx);
    beginDocument();
    long atPage20 = 0;
    for (int page = 1; page <= 400; ++page) {
        folvex::pdf_AddPage(1, 0, w, h);
        if (folvex::pdf_Image(page % 2 == 0 ? jpeg : png, 0.0f, 0.0f, w, -1.0f, -1) != 0) {
            return 1;
        }
        if (page == 20) {
            atPage20 = peakResidentKb();
        }
    }
    if (folvex::pdf_Save(output) != 0) {
        return 1;
    }
    std::printf(
        "%ld %ld %ld\n",
        peakResidentKb() - atPage20,
        atPage20,
        static_cast<long>(std::filesystem::file_size(output) >> 20));
    std::filesystem::remove(output);
    return 0;
}

std::string selfPath;

void BM_PeakMemory(benchmark::State& state)
{
    for (auto _ : state) {
        const std::string command = selfPath + " --peak-memory " + pngPage() + " " + jpegPage();
        FILE* child = ::popen(command.c_str(), "r");
        long growthKb = -1;
        long atPage20Kb = -1;
        long pdfMb = -1;
        if (child == nullptr || std::fscanf(child, "%ld %ld %ld", &growthKb, &atPage20Kb, &pdfMb) != 3) {
            state.SkipWithError("the measuring process failed");
        }
        if (child != nullptr) {
            ::pclose(child);
        }
        state.counters["rss_growth_kb"] = static_cast<double>(growthKb);
        state.counters["rss_at_page20_kb"] = static_cast<double>(atPage20Kb);
        state.counters["pdf_mb"] = static_cast<double>(pdfMb);
    }
}

BENCHMARK(BM_PeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--peak-memory") == 0) {
        return peakMemoryChild(argv[2], argv[3]);
    }
    selfPath = std::filesystem::canonical("/proc/self/exe").string();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
