// Scanning with the scanner library against SANE's own scanimage on the SANE test backend: the same
// device, options and pages through both, each run in a child process of its own, interleaved and
// repeated three times. Gives the median wall time of each, their ratio, and the peak resident set
// (ru_maxrss) and CPU time of each run next to that of an idle library (initialised, device opened and set
// up, nothing scanned). Output goes to a tmpfs folder (/dev/shm), where flushing the pages to disk costs
// nothing, and to a folder on disk (the current folder, or FOLVEX_BENCH_DISK_DIR).
//
// Targets: the library's wall time at most 1.5 × scanimage's on tmpfs; its peak RSS at most 32 MB
// above the idle library for a colour A4 page at 300 and at 1200 dpi.

#include "twain/bmp_page.h"
#include "twain/sane_scanner_library.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using folvex::SourceHandle;

constexpr int Repeats = 3;

// The progress window without a screen: delivers the pages until the session is finished.
class QuietDialogs final : public folvex::SaneDialogs
{
public:
    std::optional<std::size_t> chooseDevice(folvex::DeviceSearch&, folvex::Handle) override
    {
        return std::nullopt;
    }

    void showProgress(folvex::AcquisitionSession& session, folvex::Handle) override
    {
        session.setWakeUp([this] {
            std::lock_guard lock(m_mutex);
            m_woken = true;
            m_wake.notify_all();
        });
        while (!session.finished()) {
            session.checkWatchdog();
            session.deliverEvents();
            std::unique_lock lock(m_mutex);
            m_wake.wait_for(lock, std::chrono::milliseconds(50), [&] { return m_woken; });
            m_woken = false;
        }
        session.setWakeUp({});
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_woken = false;
};

struct Run
{
    std::string label;
    std::map<std::string, std::string> settings; // test backend settings beyond the defaults
    int pixelType;                               // 0 black and white, 1 grey, 2 colour
    int dpi;
    int pages; // > 1: from the feeder
};

struct Measured
{
    double wallMs = 0.0;
    double cpuMs = 0.0; // user and system time
    double maxRssMb = 0.0;
    bool ok = false;
};

std::string backendConfig(const std::string& folder, const std::map<std::string, std::string>& settings)
{
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/dll.conf") << "test\n";
    std::map<std::string, std::string> values = {
        {"number_of_devices", "1"},
        {"geometry_min", "0.0"},
        {"geometry_max", "300.0"},
        {"geometry_quant", "1.0"},
        {"test-picture", "\"Color pattern\""},
    };
    for (const auto& [key, value] : settings) {
        values[key] = value;
    }
    std::ofstream conf(folder + "/test.conf");
    for (const auto& [key, value] : values) {
        conf << key << " " << value << "\n";
    }
    return folder;
}

// Runs child() in a process of its own; its wall time and peak resident set.
template <typename Child>
Measured measure(Child child)
{
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(child());
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    Measured m;
    m.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    m.maxRssMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1000.0 + t.tv_usec / 1000.0; };
    m.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
    m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return m;
}

// The library in this process: opens the device, sets it up like the program does and scans the
// run's pages (none when idle). 0 when every page was written.
int libraryRun(const Run& run, const std::string& configDir, const std::string& out, bool idle)
{
    ::setenv("SANE_CONFIG_DIR", configDir.c_str(), 1);
    QuietDialogs dialogs;
    folvex::SaneScannerLibrary library(dialogs);
    if (library.initialize() != 1) {
        return 2;
    }
    const SourceHandle source = library.selectSourceByName("Noname frontend-tester");
    if (source == folvex::NoHandle || library.setResolution(source, run.dpi) != 1 ||
        library.SetPaperSize(source, folvex::PaperSizeA4) != 1 ||
        library.enableFeeder(source, run.pages > 1) != 1) {
        return 3;
    }
    if (idle) {
        return 0;
    }
    const folvex::FileListHandle list = library.createFileList(6, 1);
    (void)library.setFileListEntry(list, 0, out + "/page.bmp");
    std::int32_t status = 0;
    const std::int32_t result =
        library.acquireToFiles(source, list, 100, 0x241, run.pixelType, run.pages, 1, 0, &status);
    const bool allThere = std::filesystem::exists(folvex::pageFileName(out + "/page.bmp", run.pages - 1));
    return result == 1 && status == 1000 && allThere ? 0 : 4;
}

int scanimageRun(const Run& run, const std::string& configDir, const std::string& out)
{
    ::setenv("SANE_CONFIG_DIR", configDir.c_str(), 1);
    const char* const modes[] = {"Gray", "Gray", "Color"};
    const char* const depths[] = {"1", "8", "8"};
    const std::string resolution = std::to_string(run.dpi);
    const std::string batch = "--batch=" + out + "/page%d.pnm";
    const std::string count = "--batch-count=" + std::to_string(run.pages);
    const char* source = run.pages > 1 ? "Automatic Document Feeder" : "Flatbed";
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    ::execlp(
        "scanimage",
        "scanimage",
        "-d",
        "test:0",
        "--mode",
        modes[run.pixelType],
        "--depth",
        depths[run.pixelType],
        "--resolution",
        resolution.c_str(),
        "-l",
        "0",
        "-t",
        "0",
        "-x",
        "210",
        "-y",
        "297",
        "--source",
        source,
        "--format=pnm",
        batch.c_str(),
        count.c_str(),
        static_cast<char*>(nullptr));
    return 127;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void clearFolder(const std::string& folder)
{
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
}

} // namespace

// An argument picks the runs whose label contains it.
int main(int argc, char** argv)
{
    const std::string only = argc > 1 ? argv[1] : "";
    if (std::system("command -v scanimage >/dev/null 2>&1") != 0) {
        std::fprintf(stderr, "scanimage not found (package sane-utils)\n");
        return 1;
    }
    const std::string base = "/tmp/folvex-scan-bench-" + std::to_string(::getpid());
    const char* diskEnv = std::getenv("FOLVEX_BENCH_DISK_DIR");
    const std::string disk =
        (diskEnv != nullptr ? std::string(diskEnv) : std::filesystem::current_path().string()) +
        "/folvex-scan-bench-" + std::to_string(::getpid());
    const std::vector<std::pair<std::string, std::string>> places = {
        {"tmpfs", "/dev/shm/folvex-scan-bench-" + std::to_string(::getpid())},
        {"disk", disk},
    };

    std::vector<Run> runs;
    const char* const kinds[] = {"b/w", "grey", "colour"};
    for (int pixelType : {0, 1, 2}) {
        for (int dpi : {150, 300}) {
            for (int pages : {1, 10}) {
                runs.push_back(
                    {std::string(kinds[pixelType]) + " " + std::to_string(dpi) + " dpi " +
                         (pages > 1 ? "feeder x10" : "flatbed"),
                     {},
                     pixelType,
                     dpi,
                     pages});
            }
        }
    }
    runs.push_back({"colour 300 dpi three-pass", {{"three-pass", "true"}}, 2, 300, 1});
    runs.push_back(
        {"colour 300 dpi read limit 4 KiB",
         {{"read-limit", "true"}, {"read-limit-size", "4096"}},
         2,
         300,
         1});
    runs.push_back({"grey 300 dpi height unknown", {{"hand-scanner", "true"}}, 1, 300, 1});
    runs.push_back({"colour 1200 dpi flatbed", {}, 2, 1200, 1});

    std::printf("cores: %u\n", std::thread::hardware_concurrency());
    std::printf(
        "%-34s %-6s %11s %11s %6s %9s %9s %9s %9s %9s\n",
        "run",
        "output",
        "library ms",
        "scanimg ms",
        "ratio",
        "lib cpu",
        "scan cpu",
        "lib MB",
        "idle MB",
        "scan MB");
    int failures = 0;
    std::map<std::string, std::pair<double, int>> logRatios; // per output folder: sum of logs, count
    for (const Run& run : runs) {
        if (run.label.find(only) == std::string::npos) {
            continue;
        }
        const std::string configDir = backendConfig(base + "/sane", run.settings);
        for (const auto& [placeName, folder] : places) {
            std::vector<double> ours;
            std::vector<double> theirs;
            std::vector<double> oursCpu;
            std::vector<double> theirsCpu;
            std::vector<double> oursRss;
            std::vector<double> idleRss;
            std::vector<double> theirsRss;
            for (int repeat = 0; repeat < Repeats; ++repeat) {
                clearFolder(folder);
                const Measured idle = measure([&] { return libraryRun(run, configDir, folder, true); });
                const Measured lib = measure([&] { return libraryRun(run, configDir, folder, false); });
                clearFolder(folder);
                const Measured scan = measure([&] { return scanimageRun(run, configDir, folder); });
                failures += (idle.ok ? 0 : 1) + (lib.ok ? 0 : 1) + (scan.ok ? 0 : 1);
                ours.push_back(lib.wallMs);
                theirs.push_back(scan.wallMs);
                oursCpu.push_back(lib.cpuMs);
                theirsCpu.push_back(scan.cpuMs);
                oursRss.push_back(lib.maxRssMb);
                idleRss.push_back(idle.maxRssMb);
                theirsRss.push_back(scan.maxRssMb);
            }
            std::printf(
                "%-34s %-6s %11.1f %11.1f %6.2f %9.1f %9.1f %9.1f %9.1f %9.1f\n",
                run.label.c_str(),
                placeName.c_str(),
                median(ours),
                median(theirs),
                median(ours) / median(theirs),
                median(oursCpu),
                median(theirsCpu),
                median(oursRss),
                median(idleRss),
                median(theirsRss));
            std::fflush(stdout);
            logRatios[placeName].first += std::log(median(ours) / median(theirs));
            ++logRatios[placeName].second;
            std::filesystem::remove_all(folder);
        }
    }
    for (const auto& [placeName, sum] : logRatios) {
        std::printf(
            "geometric mean of the ratios, %s: %.2f over %d runs\n",
            placeName.c_str(),
            std::exp(sum.first / sum.second),
            sum.second);
    }
    std::filesystem::remove_all(base);
    if (failures > 0) {
        std::printf("%d runs failed\n", failures);
        return 1;
    }
    return 0;
}
