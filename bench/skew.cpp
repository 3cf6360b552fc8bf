// Straightening benchmark: the time of both methods from an in-memory 24-bit A4 page to the angle, per
// pending turn and fixture, beside the time of the plain path (turn the 24-bit page with the library,
// convert to 8 bits, then scan); and the accuracy table on the clean page at every tenth of a degree up
// to ±9.5 and at angles between the steps. When built with Leptonica, its skew finder runs on the same
// pages for comparison (its angle in our sign convention, its confidence, its time with and without
// the copy into its image and the reduction to 1 bit).
//
// The drawn pages have straight bar margins on which type 1 is exact; scans are not like that. So the
// benchmark first reads rendered text pages made the way scans look (bench/skew_text_pages.sh renders
// them with Ghostscript at build time; bench/skew_scan_set.cpp turns them and adds paper, noise, dust
// and edges) and prints, for both methods and Leptonica side by side, the mean and worst error, the
// share within 0.1 degree, the pages without an angle and the time per page, and each page with a
// dark left edge against the same page without it.

#include "imageops/straighten.h"
#include "imageops/straighten_internal.h"
#include "skew_scan_set.h"
#include "support/skew_page.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#ifdef FOLVEX_BENCH_LEPTONICA
#include "skew_leptonica.h"
#endif

namespace folvex {
namespace {

constexpr int TimingRuns = 15;

// The calling thread's processor time in milliseconds: the methods run on one thread, and on a
// shared machine this is steadier than the wall clock.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1.0e6;
}

struct Timing
{
    double medianMs = 0.0;
    double minMs = 0.0;
};

// The median and the least processor time of fn in milliseconds over TimingRuns runs.
Timing timeRuns(const std::function<void()>& fn)
{
    std::vector<double> times;
    for (int i = 0; i < TimingRuns; ++i) {
        const double start = threadCpuMs();
        fn();
        times.push_back(threadCpuMs() - start);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.front()};
}

double medianMs(const std::function<void()>& fn)
{
    return timeRuns(fn).medianMs;
}

// The first line of a text file, or "?".
std::string firstLine(const char* path)
{
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr) {
        return "?";
    }
    char line[256] = {};
    const bool read = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    std::string text = read ? line : "?";
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

// The processor's model name.
std::string cpuModel()
{
    std::FILE* file = std::fopen("/proc/cpuinfo", "r");
    if (file == nullptr) {
        return "?";
    }
    char line[256] = {};
    std::string model = "?";
    while (std::fgets(line, sizeof line, file) != nullptr) {
        const std::string text = line;
        if (text.rfind("model name", 0) == 0 && text.find(':') != std::string::npos) {
            model = text.substr(text.find(':') + 2);
            if (!model.empty() && model.back() == '\n') {
                model.pop_back();
            }
            break;
        }
    }
    std::fclose(file);
    return model;
}

// The plain path: the page turned with the library, converted to 8 bits, then scanned.
double plainPath(const FreeImageFunctionTable& fi, FIBITMAP* page, int turns, bool typeOne)
{
    const double angles[] = {0.0, 270.0, 180.0, 90.0};
    FreeImageBitmap turned =
        ownFreeImage(fi, turns == 0 ? fi.Clone(page) : fi.Rotate(page, angles[turns], nullptr));
    const FreeImageBitmap grey = ownFreeImage(fi, fi.ConvertTo8Bits(turned.get()));
    return typeOne ? straightenType1(fi, grey.get(), 0) : straightenType2(fi, grey.get(), 0);
}

#ifdef FOLVEX_BENCH_LEPTONICA
struct LeptonicaResult
{
    double angle = NoStraightenAngle; // our convention
    double confidence = 0.0;
    double totalMs = 0.0;
    double findMs = 0.0;
};

// Leptonica's angle is multiplied by this to read like ours; set on a page of known angle.
double leptonicaSign = 1.0;

LeptonicaResult leptonicaSkew(const FreeImageFunctionTable& fi, FIBITMAP* page, bool timed)
{
    LeptonicaResult result;
    auto once = [&] {
        const LeptonicaSkew found = leptonicaFindSkew(
            fi.GetBits(page),
            static_cast<int>(fi.GetWidth(page)),
            static_cast<int>(fi.GetHeight(page)),
            static_cast<std::ptrdiff_t>(fi.GetPitch(page)),
            FI_RGBA_RED,
            FI_RGBA_GREEN,
            FI_RGBA_BLUE);
        result.findMs = found.findMs;
        result.angle = found.found ? leptonicaSign * found.angleDeg : NoStraightenAngle;
        result.confidence = found.confidence;
    };
    if (timed) {
        std::vector<double> finds;
        result.totalMs = medianMs([&] {
            once();
            finds.push_back(result.findMs);
        });
        std::sort(finds.begin(), finds.end());
        result.findMs = finds[finds.size() / 2];
    } else {
        once();
    }
    return result;
}
#endif

struct Fixture
{
    std::string label;
    FreeImageBitmap page;
};

void printTimes(const FreeImageFunctionTable& fi, const std::vector<Fixture>& fixtures)
{
    std::printf(
        "\nProcessor time from an in-memory 24-bit page to the angle (median and least of %d runs, ms);\n"
        "type 2 also in its two parts (medians): the dark bits of the turned page, the candidates on them;\n"
        "plain: the page turned with the library, converted to 8 bits, then analysed\n",
        TimingRuns);
    std::printf(
        "%-20s %5s %7s %7s %7s %7s %7s %7s %8s %8s",
        "fixture",
        "turns",
        "type 1",
        "least",
        "type 2",
        "least",
        "bits",
        "scan",
        "plain t1",
        "plain t2");
#ifdef FOLVEX_BENCH_LEPTONICA
    std::printf(" %9s %9s", "lept all", "lept find");
#endif
    std::printf("\n");
    double worst[2][2] = {}; // [turns 0 or not][type 1 or 2]
    for (const Fixture& f : fixtures) {
        for (std::uint8_t turns = 0; turns < 4; ++turns) {
            const Timing t1 = timeRuns([&] { straightenType1(fi, f.page.get(), turns); });
            const Timing t2 = timeRuns([&] { straightenType2(fi, f.page.get(), turns); });
            const double bits = medianMs([&] { preparedDarkMask(fi, f.page.get(), turns); });
            const DarkMask mask = preparedDarkMask(fi, f.page.get(), turns).value();
            const double scan = medianMs([&] { straightenType2(mask); });
            const double p1 = medianMs([&] { plainPath(fi, f.page.get(), turns, true); });
            const double p2 = medianMs([&] { plainPath(fi, f.page.get(), turns, false); });
            std::printf(
                "%-20s %5d %7.2f %7.2f %7.2f %7.2f %7.2f %7.2f %8.2f %8.2f",
                f.label.c_str(),
                turns,
                t1.medianMs,
                t1.minMs,
                t2.medianMs,
                t2.minMs,
                bits,
                scan,
                p1,
                p2);
#ifdef FOLVEX_BENCH_LEPTONICA
            if (turns == 0) {
                const LeptonicaResult lept = leptonicaSkew(fi, f.page.get(), true);
                std::printf(" %9.2f %9.2f", lept.totalMs, lept.findMs);
            }
#endif
            std::printf("\n");
            double* slot = worst[turns == 0 ? 0 : 1];
            slot[0] = std::max(slot[0], t1.medianMs);
            slot[1] = std::max(slot[1], t2.medianMs);
        }
    }
    std::printf(
        "Largest median, turns 0:   type 1 %.2f ms, type 2 %.2f ms (target at most 20 ms)\n"
        "Largest median, turns 1-3: type 1 %.2f ms, type 2 %.2f ms (target at most 35 ms)\n",
        worst[0][0],
        worst[0][1],
        worst[1][0],
        worst[1][1]);
}

std::string angleText(double angle)
{
    if (angle == NoStraightenAngle) {
        return "-999";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", angle);
    return text;
}

struct Tally
{
    int count = 0;
    int exact = 0;
    int withinStep = 0;
    int withinTwoSteps = 0;
    double maxError = 0.0;

    void add(double found, double expected)
    {
        ++count;
        const double error = found == NoStraightenAngle ? 999.0 : std::abs(found - expected);
        // A candidate of type 2 carries the rounding of repeated addition: exact within a hair.
        exact += error < 1e-9;
        withinStep += error <= 0.1 + 1e-9;
        withinTwoSteps += error <= 0.2 + 1e-9;
        maxError = std::max(maxError, error);
    }

    void print(const char* label) const
    {
        std::printf(
            "  %-44s %3d pages: exact %3d, within 0.1 %3d, within 0.2 %3d, largest error %.4f\n",
            label,
            count,
            exact,
            withinStep,
            withinTwoSteps,
            maxError);
    }
};

void printAccuracy(const FreeImageFunctionTable& fi)
{
    std::vector<double> angles;
    for (int k = -95; k <= 95; ++k) {
        angles.push_back(k / 10.0);
    }
    std::mt19937 random(2026);
    std::uniform_real_distribution<double> between(-9.5, 9.5);
    std::vector<double> betweenAngles;
    for (int i = 0; i < 40; ++i) {
        betweenAngles.push_back(std::round(between(random) * 1000.0) / 1000.0 + 0.0005);
    }

    Tally type1Steps;
    Tally type2Steps;
    Tally type1Between;
    Tally type2Between;
    int type2BeyondInRange = 0;
    int type2Beyond = 0;
    Tally leptSteps;
    std::printf("\nAccuracy on the clean A4 page turned by a (expected answer -a)\n");
    std::printf("%9s %10s %10s %10s %10s", "a", "type 1", "error", "type 2", "error");
#ifdef FOLVEX_BENCH_LEPTONICA
    std::printf(" %10s %10s %8s", "lept", "error", "conf");
#endif
    std::printf("\n");
    auto run = [&](double angle, bool onStep) {
        const FreeImageBitmap page = testing::makeCleanPage(fi, angle);
        const double t1 = straightenType1(fi, page.get(), 0);
        const double t2 = straightenType2(fi, page.get(), 0);
        const double expected = angle == 0.0 ? 0.0 : -angle;
        std::printf(
            "%9.4f %10s %10.4f %10s %10.4f",
            angle,
            angleText(t1).c_str(),
            std::abs(t1 - expected),
            angleText(t2).c_str(),
            std::abs(t2 - expected));
        (onStep ? type1Steps : type1Between).add(t1, expected);
        if (std::abs(angle) <= 4.95) {
            (onStep ? type2Steps : type2Between).add(t2, expected);
        } else {
            ++type2Beyond;
            type2BeyondInRange += t2 != NoStraightenAngle && std::abs(t2) <= 5.0 + 1e-9;
        }
#ifdef FOLVEX_BENCH_LEPTONICA
        const LeptonicaResult lept = leptonicaSkew(fi, page.get(), false);
        std::printf(
            " %10s %10.4f %8.3f",
            angleText(lept.angle).c_str(),
            std::abs(lept.angle - expected),
            lept.confidence);
        if (onStep) {
            leptSteps.add(lept.angle, expected);
        }
#endif
        std::printf("\n");
        std::fflush(stdout);
    };
    for (const double angle : angles) {
        run(angle, true);
    }
    for (const double angle : betweenAngles) {
        run(angle, false);
    }
    std::printf("\nSummary\n");
    type1Steps.print("type 1, steps of 0.1 up to ±9.5");
    type1Between.print("type 1, between the steps");
    type2Steps.print("type 2, steps of 0.1 up to ±4.9");
    type2Between.print("type 2, between the steps up to ±4.9");
    std::printf("  type 2 beyond ±5: %d of %d answers within ±5\n", type2BeyondInRange, type2Beyond);
#ifdef FOLVEX_BENCH_LEPTONICA
    leptSteps.print("Leptonica, steps of 0.1 up to ±9.5");
#endif
}

// The accuracy of one method over a group of pages: the absolute error of each page with an angle,
// the pages without one, the processor time.
struct Accuracy
{
    std::vector<double> errors;
    int pages = 0;
    int noAngle = 0;
    double totalMs = 0.0;

    void add(double found, double expected, double ms)
    {
        ++pages;
        totalMs += ms;
        if (found == NoStraightenAngle) {
            ++noAngle;
        } else {
            errors.push_back(std::abs(found - expected));
        }
    }

    // mean, worst, share within 0.1 of all pages, pages without an angle, ms per page
    void print() const
    {
        double sum = 0.0;
        double worst = 0.0;
        int within = 0;
        for (const double error : errors) {
            sum += error;
            worst = std::max(worst, error);
            within += error <= 0.1 + 1e-9;
        }
        std::printf(
            " %7.3f %6.2f %5.0f%% %4d %7.2f |",
            errors.empty() ? 0.0 : sum / static_cast<double>(errors.size()),
            worst,
            pages == 0 ? 0.0 : 100.0 * within / pages,
            noAngle,
            pages == 0 ? 0.0 : totalMs / pages);
    }
};

struct ScanResult
{
    double angle[3] = {}; // type 1, type 2, Leptonica
    double ms[3] = {};
};

void printScanSet(const FreeImageFunctionTable& fi, const std::string& folder)
{
    const std::vector<bench::ScanPage> pages = bench::makeScanSet(fi, folder);
    if (pages.empty()) {
        return;
    }
    std::printf(
        "\nRendered text pages (%zu): the answer is -a for a page turned by a; ms: processor time from the\n"
        "page in memory to the angle (median of 3; Leptonica: its search alone, after the copy and the\n"
        "reduction to 1 bit)\n",
        pages.size());
    std::printf("%-38s %6s %9s %9s", "page", "a", "type 1", "type 2");
#ifdef FOLVEX_BENCH_LEPTONICA
    std::printf(" %9s", "lept");
#endif
    std::printf("\n");
    std::vector<ScanResult> results;
    for (const bench::ScanPage& page : pages) {
        ScanResult result;
        for (int method = 0; method < 2; ++method) {
            std::vector<double> times;
            for (int run = 0; run < 3; ++run) {
                const double start = threadCpuMs();
                result.angle[method] = method == 0 ? straightenType1(fi, page.page.get(), 0)
                                                   : straightenType2(fi, page.page.get(), 0);
                times.push_back(threadCpuMs() - start);
            }
            std::sort(times.begin(), times.end());
            result.ms[method] = times[1];
        }
        result.angle[2] = NoStraightenAngle;
#ifdef FOLVEX_BENCH_LEPTONICA
        const LeptonicaResult lept = leptonicaSkew(fi, page.colour.get(), false);
        result.angle[2] = lept.angle;
        result.ms[2] = lept.findMs;
#endif
        std::printf(
            "%-38s %6.1f %9s %9s",
            page.label.c_str(),
            page.angleDeg,
            angleText(result.angle[0]).c_str(),
            angleText(result.angle[1]).c_str());
#ifdef FOLVEX_BENCH_LEPTONICA
        std::printf(" %9s", angleText(result.angle[2]).c_str());
#endif
        std::printf("\n");
        std::fflush(stdout);
        results.push_back(result);
    }

    constexpr int Methods =
#ifdef FOLVEX_BENCH_LEPTONICA
        3;
#else
        2;
#endif
    struct Group
    {
        const char* label;
        std::function<bool(const bench::ScanPage&)> takes;
    };

    const Group groups[] = {
        {"all pages with text", [](const bench::ScanPage& p) { return !p.blank; }},
        {"without an edge", [](const bench::ScanPage& p) { return !p.blank && !p.edge; }},
        {"with a strip or shadow at the left", [](const bench::ScanPage& p) { return !p.blank && p.edge; }},
        {"turned at most 4.9 (type 2's range)",
         [](const bench::ScanPage& p) { return !p.blank && std::abs(p.angleDeg) <= 4.9; }},
    };
    std::printf(
        "\nAccuracy: mean and worst absolute error (degrees, pages with an angle), share within 0.1 of\n"
        "all pages, pages without an angle, ms per page\n%-42s",
        "group (pages)");
    const char* names[] = {"type 1", "type 2", "Leptonica"};
    for (int method = 0; method < Methods; ++method) {
        std::printf(" %-35s|", names[method]);
    }
    std::printf("\n");
    for (const Group& group : groups) {
        Accuracy accuracy[3];
        int count = 0;
        for (std::size_t i = 0; i < pages.size(); ++i) {
            if (!group.takes(pages[i])) {
                continue;
            }
            ++count;
            for (int method = 0; method < Methods; ++method) {
                accuracy[method].add(results[i].angle[method], -pages[i].angleDeg, results[i].ms[method]);
            }
        }
        char label[64];
        std::snprintf(label, sizeof label, "%s (%d)", group.label, count);
        std::printf("%-42s", label);
        for (int method = 0; method < Methods; ++method) {
            accuracy[method].print();
        }
        std::printf("\n");
    }

    std::printf("\nBlank pages (no angle is right):\n");
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (pages[i].blank) {
            std::printf("  %-36s", pages[i].label.c_str());
            for (int method = 0; method < Methods; ++method) {
                std::printf(" %s %s", names[method], angleText(results[i].angle[method]).c_str());
            }
            std::printf("\n");
        }
    }

    std::printf(
        "\nEdge pages against the same page without the edge: |difference| of the answers (target at most\n"
        "0.1 for both methods, and an angle wherever the page without the edge has one)\n");
    double worstDifference[3] = {};
    int lost[3] = {};
    int edgePages = 0;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (pages[i].twin < 0) {
            continue;
        }
        ++edgePages;
        const ScanResult& twin = results[static_cast<std::size_t>(pages[i].twin)];
        std::printf("  %-36s", pages[i].label.c_str());
        for (int method = 0; method < Methods; ++method) {
            const double edge = results[i].angle[method];
            const double clean = twin.angle[method];
            if (clean != NoStraightenAngle && edge == NoStraightenAngle) {
                ++lost[method];
                std::printf(" %s lost", names[method]);
            } else if (clean != NoStraightenAngle) {
                const double difference = std::abs(edge - clean);
                worstDifference[method] = std::max(worstDifference[method], difference);
                std::printf(" %s %.2f", names[method], difference);
            } else {
                std::printf(" %s -", names[method]);
            }
        }
        std::printf("\n");
    }
    std::printf("  %d edge pages; largest difference:", edgePages);
    for (int method = 0; method < Methods; ++method) {
        std::printf(" %s %.2f (%d lost)", names[method], worstDifference[method], lost[method]);
    }
    std::printf("\n");
}

void printLimits(const FreeImageFunctionTable& fi, const std::vector<Fixture>& fixtures)
{
    std::printf("\nLimits of the methods\n%-24s %10s %10s", "fixture", "type 1", "type 2");
#ifdef FOLVEX_BENCH_LEPTONICA
    std::printf(" %10s %8s", "lept", "conf");
#endif
    std::printf("\n");
    for (const Fixture& f : fixtures) {
        std::printf(
            "%-24s %10s %10s",
            f.label.c_str(),
            angleText(straightenType1(fi, f.page.get(), 0)).c_str(),
            angleText(straightenType2(fi, f.page.get(), 0)).c_str());
#ifdef FOLVEX_BENCH_LEPTONICA
        const LeptonicaResult lept = leptonicaSkew(fi, f.page.get(), false);
        std::printf(" %10s %8.3f", angleText(lept.angle).c_str(), lept.confidence);
#endif
        std::printf("\n");
    }
}

enum class Mode
{
    All,
    Times, // the times alone
    Scans, // the rendered text pages alone
};

int run(Mode mode, const std::string& scanFolder)
{
    FreeImageLibrary library;
    if (!loadFreeImageBinding(library)) {
        std::fprintf(stderr, "Die Bildbibliothek konnte nicht geladen werden.\n");
        return 1;
    }
    const FreeImageFunctionTable& fi = library.FreeImageFunctions;
    std::printf(
        "Straightening benchmark on %s, %u hardware threads; load average %s\n",
        cpuModel().c_str(),
        std::thread::hardware_concurrency(),
        firstLine("/proc/loadavg").c_str());

#ifdef FOLVEX_BENCH_LEPTONICA
    {
        // Leptonica's sign: on a page turned by +2.0 our answer is -2.0.
        const FreeImageBitmap known = testing::makeCleanPage(fi, 2.0);
        const LeptonicaResult raw = leptonicaSkew(fi, known.get(), false);
        leptonicaSign = raw.angle < 0 ? 1.0 : -1.0;
        std::printf(
            "Leptonica on the page turned by +2.0 says %.4f: sign factor %+.0f\n", raw.angle, leptonicaSign);
    }
#endif

    std::vector<Fixture> fixtures;
    fixtures.push_back({"clean, +2.5", testing::makeCleanPage(fi, 2.5)});
    fixtures.push_back({"clean, -0.7", testing::makeCleanPage(fi, -0.7)});
    fixtures.push_back({"blank", testing::makeFlatPage(fi, 2480, 3508, 255)});
    fixtures.push_back({"all black", testing::makeFlatPage(fi, 2480, 3508, 0)});
    for (const double angle : {-3.0, -1.5, 0.7, 2.5}) {
        testing::CleanPageLayout strip;
        strip.leftStripPx = 25;
        char label[48];
        std::snprintf(label, sizeof label, "left strip, %+.1f", angle);
        fixtures.push_back({label, testing::makeCleanPage(fi, angle, strip)});
    }
    if (mode != Mode::Scans) {
        printTimes(fi, fixtures);
        std::printf("Load average after the times: %s\n", firstLine("/proc/loadavg").c_str());
    }
    if (mode == Mode::Times) {
        return 0;
    }
    printScanSet(fi, scanFolder);
    if (mode == Mode::Scans) {
        return 0;
    }
    printLimits(fi, fixtures);
    printAccuracy(fi);
    return 0;
}

} // namespace
} // namespace folvex

// --times: the times alone; --scans: the rendered text pages alone. A folder given as argument holds
// the rendered text pages (default: the one the build made).
int main(int argc, char** argv)
{
    folvex::Mode mode = folvex::Mode::All;
    std::string folder = FOLVEX_SKEW_TEXT_PAGES;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--times") {
            mode = folvex::Mode::Times;
        } else if (argument == "--scans") {
            mode = folvex::Mode::Scans;
        } else {
            folder = argument;
        }
    }
    return folvex::run(mode, folder);
}
