// The "PDF" writer against img2pdf: 100 page files of A4 at 300 dpi, 24 bits, with text-like content.
// Timed: the writer's run from the first page file to the closed PDF (blank test off), then img2pdf
// on the same temporary JPEG files the writer made, with a warm cache. Target: the writer at most 1.1
// times img2pdf's time. Both PDFs must hold byte-identical JPEGs (pdfimages -j). Also printed: ms per
// page with the blank test on, and for 1-bit pages. Needs img2pdf and pdfimages (scripts/bench.sh
// installs img2pdf).
// Measured on an 8-core machine shared with other builds: writer 4.51 s (45 ms/page), img2pdf 7.80 s
// (ratio 0.58), JPEGs identical; blank test on 52 ms/page; 1-bit pages 34 ms/page.

#include "runtime/effects.h"
#include "scan/pdf_output.h"
#include "shell/shell_state.h"
#include "twain/fake_scanner_library.h"
#include "writer_bench_ports.h"

#include <FreeImage.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <sstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace folvex {
namespace {

namespace fs = std::filesystem;

constexpr unsigned PageWidthPx = 2480;
constexpr unsigned PageHeightPx = 3508;
constexpr unsigned DotsPerMetre300 = 11811;
constexpr int ColourPages = 100;
constexpr int BitonalPages = 30;

// A letter-like page: dark "words" in lines on a slightly uneven white, with scanner noise.
FIBITMAP* makeTextPage(unsigned bpp, unsigned seed)
{
    FIBITMAP* page = FreeImage_Allocate(PageWidthPx, PageHeightPx, 24);
    std::mt19937 random(seed);
    for (unsigned y = 0; y < PageHeightPx; ++y) {
        BYTE* row = FreeImage_GetScanLine(page, static_cast<int>(y));
        for (unsigned x = 0; x < PageWidthPx * 3; ++x) {
            row[x] = static_cast<BYTE>(240 + random() % 16);
        }
    }
    for (unsigned line = 300; line + 40 < PageHeightPx - 300; line += 70) {
        for (unsigned x = 250; x + 60 < PageWidthPx - 250;) {
            const unsigned word = 40 + random() % 160;
            for (unsigned y = line; y < line + 36; ++y) {
                BYTE* row = FreeImage_GetScanLine(page, static_cast<int>(PageHeightPx - 1 - y));
                for (unsigned dx = 0; dx < word && x + dx < PageWidthPx - 250; ++dx) {
                    if ((random() & 3) != 0) {
                        BYTE* pixel = row + (x + dx) * 3;
                        pixel[0] = static_cast<BYTE>(60 + random() % 40);
                        pixel[1] = static_cast<BYTE>(20 + random() % 30);
                        pixel[2] = static_cast<BYTE>(10 + random() % 30);
                    }
                }
            }
            x += word + 30;
        }
    }
    if (bpp == 1) {
        FIBITMAP* bitonal = FreeImage_Threshold(page, 128);
        FreeImage_Unload(page);
        page = bitonal;
    }
    FreeImage_SetDotsPerMeterX(page, DotsPerMetre300);
    FreeImage_SetDotsPerMeterY(page, DotsPerMetre300);
    return page;
}

void writePageFiles(const fs::path& tmp, int count, unsigned bpp)
{
    fs::remove_all(tmp);
    fs::create_directories(tmp);
    constexpr int Variants = 4;
    std::vector<FIBITMAP*> pages;
    for (int v = 0; v < Variants; ++v) {
        pages.push_back(makeTextPage(bpp, static_cast<unsigned>(v + 1)));
    }
    for (int k = 1; k <= count; ++k) {
        const std::string name = (tmp / ("TmpReadyImg" + std::to_string(k) + ".bmp")).string();
        if (!FreeImage_Save(FIF_BMP, pages[static_cast<std::size_t>(k % Variants)], name.c_str(), 0)) {
            throw std::runtime_error("cannot write " + name);
        }
    }
    for (FIBITMAP* page : pages) {
        FreeImage_Unload(page);
    }
}

// Reads every file of the folder once so that the timed runs find them in the page cache.
void warmCache(const fs::path& folder)
{
    std::vector<char> buffer(1 << 20);
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()))) {
        }
    }
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Bench
{
    ShellState shell;
    BenchPorts ports;
    BenchFiles files;
    SilentSound sound;
    FreeImageLibrary library;
    FakeScannerLibrary scanner;

    // One writer run on the page files of tmp into target; its wall time in seconds.
    double run(const fs::path& tmp, const fs::path& target, bool blankTest)
    {
        shell.settingsState.settings.TmpPath = tmp.string();
        files.target = target.string();
        fs::remove(target);
        ScanJobState job;
        job.discardBlank = blankTest ? 1 : 0;
        job.mergedPages = 0;
        ScanJobContext context{shell, scanner, ports, ports, {}, &library.FreeImageFunctions};
        const auto start = std::chrono::steady_clock::now();
        const WriterOutcome outcome = SavePdf(context, job);
        const double seconds = secondsSince(start);
        if (outcome != WriterOutcome::Written || !fs::exists(target)) {
            throw std::runtime_error("the writer wrote no PDF");
        }
        return seconds;
    }
};

int runCommand(const std::string& command)
{
    return std::system(command.c_str());
}

std::string readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The JPEGs pdfimages -j extracts from a PDF, in order.
std::vector<std::string> extractedJpegs(const fs::path& pdf, const fs::path& folder)
{
    fs::remove_all(folder);
    fs::create_directories(folder);
    if (runCommand("pdfimages -j '" + pdf.string() + "' '" + (folder / "img").string() + "'") != 0) {
        throw std::runtime_error("pdfimages failed on " + pdf.string());
    }
    std::vector<fs::path> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path());
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> images;
    for (const fs::path& name : names) {
        images.push_back(readAll(name));
    }
    return images;
}

int benchMain()
{
    Effects& installed = effects();
    Bench bench;
    installed.files = &bench.files;
    installed.sound = &bench.sound;
    if (!loadFreeImageBinding(bench.library)) {
        return 1;
    }
    allocateMainProgramTables(bench.shell);
    const fs::path root = fs::temp_directory_path() / "folvex-bench-pdf-writer";
    fs::create_directories(root);
    bench.shell.settingsState.ProgramDir = root.string() + "/";
    const fs::path tmp = root / "tmp";

    std::cout << "machine: " << std::thread::hardware_concurrency() << " cores\n";
    writePageFiles(tmp, ColourPages, 24);
    warmCache(tmp);
    bench.run(tmp, root / "warm-up.pdf", false);
    warmCache(tmp);
    const double writer = bench.run(tmp, root / "writer.pdf", false);

    std::string jpegs;
    for (int k = 1; k <= ColourPages; ++k) {
        jpegs += " '" + (tmp / ("TmpReadyImg" + std::to_string(k) + ".jpg")).string() + "'";
    }
    warmCache(tmp);
    const auto start = std::chrono::steady_clock::now();
    if (runCommand("img2pdf" + jpegs + " -o '" + (root / "img2pdf.pdf").string() + "'") != 0) {
        std::cerr << "img2pdf failed (is it installed?)\n";
        return 1;
    }
    const double img2pdf = secondsSince(start);
    const bool identical = extractedJpegs(root / "writer.pdf", root / "writer-images") ==
                           extractedJpegs(root / "img2pdf.pdf", root / "img2pdf-images");

    const double blankOn = bench.run(tmp, root / "blank-test.pdf", true);

    writePageFiles(tmp, BitonalPages, 1);
    warmCache(tmp);
    const double bitonal = bench.run(tmp, root / "bitonal.pdf", false);

    std::printf(
        "writer, %d colour pages, blank test off: %.2f s (%.1f ms/page)\n",
        ColourPages,
        writer,
        writer * 1000.0 / ColourPages);
    std::printf("img2pdf on the same JPEGs:               %.2f s\n", img2pdf);
    std::printf(
        "ratio writer / img2pdf:                  %.2f (target <= 1.10): %s\n",
        writer / img2pdf,
        writer <= 1.1 * img2pdf ? "met" : "NOT met");
    std::printf("JPEGs in both PDFs byte-identical:       %s\n", identical ? "yes" : "NO");
    std::printf("writer, blank test on:                   %.1f ms/page\n", blankOn * 1000.0 / ColourPages);
    std::printf(
        "writer, %d 1-bit pages:                  %.1f ms/page\n",
        BitonalPages,
        bitonal * 1000.0 / BitonalPages);
    fs::remove_all(root);
    return identical ? 0 : 1;
}

} // namespace
} // namespace folvex

int main()
{
    try {
        return folvex::benchMain();
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
}
