// The "PDF+OCR" writer against one serial tesseract run: 4 × cores A4 text pages at 300 dpi, rendered
// with DejaVu Sans 28 pt. Timed: the writer's run of one document (collecting, parallel ranges, join)
// and one tesseract run (OMP_THREAD_LIMIT=1) over the same pages in one multi-page TIFF. Target:
// serial time ÷ writer time ≥ 0.6 × cores, and both PDFs give the same pdftotext word set.
// Measured on an 8-core machine under a load average of 15 to 17 from other builds: 32 pages, writer
// 23.74 s (4.34 s of it collecting), serial run 48.11 s (1.50 s/page), ratio 2.03 (target 4.80 not
// met: the eight range processes share the cores with the other builds), word sets equal. Before the
// range TIFFs were written on the ranges' workers the writer took 41.99 s (ratio 1.21).

#include "runtime/process_runner.h"
#include "scan/ocr_output.h"
#include "shell/shell_state.h"
#include "twain/fake_scanner_library.h"
#include "writer_bench_ports.h"

#include <FreeImage.h>

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace folvex {
namespace {

namespace fs = std::filesystem;

constexpr int DotsPerMetre300 = 11811;

const std::vector<std::string> Words{
    "Rechnung",
    "Auftrag",
    "Lieferung",
    "Kunde",
    "Betrag",
    "Datum",
    "Adresse",
    "Zahlung",
    "Vertrag",
    "Angebot",
    "Menge",
    "Artikel",
    "Preis",
    "Steuer",
    "Konto",
    "Bestellung"};

// A page of ten lines of German words with the page's number.
FIBITMAP* makeTextPage(int number)
{
    QImage image(2480, 3508, QImage::Format_RGB32);
    image.setDotsPerMeterX(DotsPerMetre300);
    image.setDotsPerMeterY(DotsPerMetre300);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setPen(Qt::black);
        painter.setFont(QFont("DejaVu Sans", 28));
        for (int line = 0; line < 10; ++line) {
            std::string text = "Seite " + std::to_string(number);
            for (int w = 0; w < 4; ++w) {
                text += " " + Words[static_cast<std::size_t>((number * 7 + line * 3 + w) % Words.size())];
            }
            painter.drawText(250, 400 + line * 200, QString::fromStdString(text));
        }
    }
    FIBITMAP* page = FreeImage_Allocate(image.width(), image.height(), 24);
    for (int y = 0; y < image.height(); ++y) {
        const auto* source = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        BYTE* row = FreeImage_GetScanLine(page, image.height() - 1 - y);
        for (int x = 0; x < image.width(); ++x) {
            row[x * 3 + FI_RGBA_RED] = static_cast<BYTE>(qRed(source[x]));
            row[x * 3 + FI_RGBA_GREEN] = static_cast<BYTE>(qGreen(source[x]));
            row[x * 3 + FI_RGBA_BLUE] = static_cast<BYTE>(qBlue(source[x]));
        }
    }
    FreeImage_SetDotsPerMeterX(page, DotsPerMetre300);
    FreeImage_SetDotsPerMeterY(page, DotsPerMetre300);
    return page;
}

// Notes when the recognition starts, which ends the collecting.
class TimedPorts final : public BenchPorts
{
public:
    std::chrono::steady_clock::time_point recognitionStart;

    void setStatusNow(const std::string& text) override
    {
        if (text == OcrRunningStatus) {
            recognitionStart = std::chrono::steady_clock::now();
        }
    }
};

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::set<std::string> wordSet(const fs::path& pdf)
{
    ProcessRequest request;
    std::string text;
    request.argv = {"pdftotext", pdf.string(), "-"};
    request.onLine = [&text](OutputStream stream, const std::string& line) {
        if (stream == OutputStream::StandardOutput) {
            text += line + "\n";
        }
    };
    static_cast<void>(effects().processes->run(request));
    std::istringstream in(text);
    std::set<std::string> words;
    for (std::string word; in >> word;) {
        words.insert(word);
    }
    return words;
}

int benchMain()
{
    const unsigned cores = std::max(1U, std::thread::hardware_concurrency());
    const int pages = static_cast<int>(4 * cores);
    Effects& installed = effects();
    BenchFiles files;
    SilentSound sound;
    PosixProcessRunner runner;
    installed.files = &files;
    installed.sound = &sound;
    installed.processes = &runner;
    FreeImageLibrary library;
    if (!loadFreeImageBinding(library)) {
        return 1;
    }
    ShellState shell;
    allocateMainProgramTables(shell);
    const fs::path root = fs::temp_directory_path() / "folvex-bench-ocr";
    fs::remove_all(root);
    fs::create_directories(root / "tmp");
    shell.settingsState.ProgramDir = root.string() + "/";
    shell.settingsState.settings.TmpPath = (root / "tmp").string();

    const std::string serialTiff = (root / "serial.tiff").string();
    double appending = 0;
    FIMULTIBITMAP* all = FreeImage_OpenMultiBitmap(FIF_TIFF, serialTiff.c_str(), TRUE, FALSE, FALSE, 0);
    for (int k = 1; k <= pages; ++k) {
        FIBITMAP* page = makeTextPage(k);
        const std::string name = (root / "tmp" / ("TmpReadyImg" + std::to_string(k) + ".bmp")).string();
        FreeImage_Save(FIF_BMP, page, name.c_str(), 0);
        const auto appendStart = std::chrono::steady_clock::now();
        FreeImage_AppendPage(all, page);
        appending += secondsSince(appendStart);
        FreeImage_Unload(page);
    }
    const auto closeStart = std::chrono::steady_clock::now();
    FreeImage_CloseMultiBitmap(all, 0);
    appending += secondsSince(closeStart);

    TimedPorts ports;
    FakeScannerLibrary scanner;
    files.target = (root / "writer.pdf").string();
    ScanJobState job;
    job.mergedPages = pages;
    ScanJobContext context{shell, scanner, ports, ports, {}, &library.FreeImageFunctions};
    auto start = std::chrono::steady_clock::now();
    const WriterOutcome outcome = SavePdfOcr(context, job, cores);
    const double writer = secondsSince(start);
    const double collecting = std::chrono::duration<double>(ports.recognitionStart - start).count();
    if (outcome != WriterOutcome::Written || !fs::exists(root / "writer.pdf")) {
        std::cerr << "the writer wrote no PDF\n";
        return 1;
    }

    ProcessRequest serial;
    serial.argv = {"tesseract", serialTiff, (root / "serial").string(), "-l", "deu", "--psm", "1", "pdf"};
    serial.environment = {"OMP_THREAD_LIMIT=1"};
    start = std::chrono::steady_clock::now();
    const ProcessResult result = runner.run(serial);
    const double serialSeconds = secondsSince(start);
    if (!result.started || result.exitCode != 0) {
        std::cerr << "the serial tesseract run failed\n";
        return 1;
    }
    const bool sameWords = wordSet(root / "writer.pdf") == wordSet(root / "serial.pdf");

    const double speedUp = serialSeconds / writer;
    std::printf("machine: %u cores, %d A4 pages at 300 dpi\n", cores, pages);
    std::printf("writer (parallel ranges, joined): %.2f s (%.2f s/page)\n", writer, writer / pages);
    std::printf("  of it collecting the pages:     %.2f s\n", collecting);
    std::printf(
        "serial tesseract, one thread:     %.2f s (%.2f s/page)\n", serialSeconds, serialSeconds / pages);
    std::printf(
        "serial ÷ writer: %.2f (target >= %.2f): %s\n",
        speedUp,
        0.6 * cores,
        speedUp >= 0.6 * cores ? "met" : "NOT met");
    std::printf("collecting the pages into one TIFF: %.2f s\n", appending);
    std::printf("pdftotext word sets equal: %s\n", sameWords ? "yes" : "NO");
    fs::remove_all(root);
    return sameWords ? 0 : 1;
}

} // namespace
} // namespace folvex

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    try {
        return folvex::benchMain();
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
}
