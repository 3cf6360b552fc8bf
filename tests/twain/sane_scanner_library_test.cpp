#include "twain/sane_scanner_library.h"

#include "sane_test_backend.h"
#include "support/temp_dir.h"
#include "twain/bmp_page.h"

#include <gtest/gtest.h>
#include <sane/sane.h>

#include <cctype>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

namespace folvex {
namespace {

using testing::bitsOf;
using testing::CaseTimeoutMs;
using testing::dotsPerMetreOf;
using testing::filesIn;
using testing::readFile;
using testing::runSaneCase;
using testing::SaneTestConfig;
using testing::TestDevice0;
using testing::TestDevice1;

struct Acquired
{
    std::int32_t result = -1;
    std::int32_t status = 0;
};

// One library on the test backend with scripted windows; counts the page callbacks and the threads
// they come on.
struct SaneSession
{
    testing::ScriptedSaneDialogs dialogs;
    // The read seam of the library, replaceable while the session lives.
    SaneReadSeam readSeam;
    SaneScannerLibrary library;
    std::vector<std::thread::id> callbackThreads;
    std::function<void(int)> onPage;

    explicit SaneSession(SaneTimeouts timeouts = testing::testTimeouts())
        : library(dialogs, timeouts, [this](int page) { return readSeam ? readSeam(page) : 0; })
    {
        EXPECT_EQ(library.initialize(), 1);
        library.setNotificationCallback(
            [this](std::int32_t code, std::int32_t, std::int64_t) {
                EXPECT_EQ(code, 1010);
                callbackThreads.push_back(std::this_thread::get_id());
                if (onPage) {
                    onPage(static_cast<int>(callbackThreads.size()) - 1);
                }
                return 1;
            },
            0,
            0);
    }

    SourceHandle open(const std::string& name = TestDevice0)
    {
        const SourceHandle source = library.selectSourceByName(name);
        EXPECT_NE(source, NoHandle) << name;
        return source;
    }

    Acquired acquire(SourceHandle source, const std::string& baseName, int pixelType, int maxPages = -1)
    {
        const FileListHandle list = library.createFileList(6, 1);
        EXPECT_EQ(library.setFileListEntry(list, 0, baseName), 1);
        Acquired acquired;
        acquired.result =
            library.acquireToFiles(source, list, 100, 0x241, pixelType, maxPages, 1, 0, &acquired.status);
        EXPECT_EQ(library.freeFileList(list), 1);
        return acquired;
    }
};

PageImage loadPage(const std::string& path)
{
    auto page = decodeBmp(readFile(path));
    EXPECT_TRUE(page.hasValue()) << path;
    return page ? *page : PageImage{};
}

TEST(SaneLibraryTest, NamesSelectsAndReopensTheTestDevices)
{
    SaneTestConfig config;
    runSaneCase(config, CaseTimeoutMs, [] {
        SaneSession session;
        const SourceHandle first = session.open(TestDevice0);
        const SourceHandle second = session.open(TestDevice1);
        EXPECT_NE(first, second);
        EXPECT_EQ(session.library.productName(first, 5000), TestDevice0);
        EXPECT_EQ(session.library.productName(second, 5000), TestDevice1);
        EXPECT_EQ(session.library.selectSourceByName("Noname frontend-tester (test:7)"), NoHandle)
            << "test:7 is gone but two devices share the model";
        EXPECT_EQ(session.library.selectSourceByName("Unbekannter Scanner"), NoHandle);

        EXPECT_NE(session.library.hasFeeder(first), 0);
        EXPECT_NE(session.library.canUseFeeder(first), 0);
        EXPECT_EQ(session.library.canScanBothSides(first), 0);
        EXPECT_EQ(session.library.isPaperInFeeder(first), 1);

        // A closed source stays known: other calls give 0, 31 reopens it, 31 again still says open.
        EXPECT_EQ(session.library.closeSource(first), 1);
        EXPECT_EQ(session.library.hasFeeder(first), 0);
        EXPECT_EQ(session.library.productName(first, 5000), "");
        EXPECT_EQ(session.library.closeSource(first), 0);
        EXPECT_EQ(session.library.openSource(first), 1);
        EXPECT_EQ(session.library.openSource(first), 1);
        EXPECT_NE(session.library.hasFeeder(first), 0);
        EXPECT_EQ(session.library.productName(first, 5000), TestDevice0);

        // The dialog lists both devices; its choice comes back opened, a cancel gives 0. (The test
        // backend opens a device only once, so the earlier source of it is closed first.)
        EXPECT_EQ(session.library.closeSource(second), 1);
        session.dialogs.choice = TestDevice1;
        const SourceHandle chosen = session.library.selectSourceWithDialog();
        EXPECT_NE(chosen, NoHandle);
        EXPECT_EQ(session.dialogs.listed, (std::vector<std::string>{TestDevice0, TestDevice1}));
        EXPECT_EQ(session.library.productName(chosen, 5000), TestDevice1);
        EXPECT_NE(session.library.hasFeeder(chosen), 0);
        session.dialogs.choice.reset();
        EXPECT_EQ(session.library.selectSourceWithDialog(), NoHandle);
        EXPECT_EQ(session.library.shutDown(), 1);
    });
}

TEST(SaneLibraryTest, FlatbedColourGivesOnePageWithItsResolution)
{
    SaneTestConfig config;
    const std::string work = config.work();
    runSaneCase(config, CaseTimeoutMs, [&] {
        SaneSession session;
        const SourceHandle source = session.open();
        EXPECT_EQ(session.library.setResolution(source, 100.0), 1);
        const Acquired acquired = session.acquire(source, work + "/tmpimg.bmp", 2);
        EXPECT_EQ(acquired.result, 1);
        EXPECT_EQ(acquired.status, 1000);
        EXPECT_EQ(session.callbackThreads.size(), 1u);
        EXPECT_EQ(session.dialogs.progressShown, 1);
    });
    EXPECT_EQ(filesIn(work), std::vector<std::string>{"tmpimg0.bmp"});
    EXPECT_EQ(bitsOf(work + "/tmpimg0.bmp"), 24);
    EXPECT_EQ(dotsPerMetreOf(work + "/tmpimg0.bmp"), 3937);
    const PageImage page = loadPage(work + "/tmpimg0.bmp");
    EXPECT_NEAR(page.width, 315, 1) << "80 mm at 100 dpi";
    EXPECT_NEAR(page.height, 394, 1) << "100 mm at 100 dpi";
}

TEST(SaneLibraryTest, FeederDeliversTenPagesInOrderOnTheCallingThread)
{
    SaneTestConfig config;
    const std::string work = config.work();
    runSaneCase(config, CaseTimeoutMs, [&] {
        SaneSession session;
        const SourceHandle source = session.open();
        EXPECT_EQ(session.library.enableFeeder(source, 1), 1);
        std::vector<bool> fileThereAtCallback;
        session.onPage = [&](int index) {
            fileThereAtCallback.push_back(std::filesystem::exists(pageFileName(work + "/tmpimg.bmp", index)));
        };
        const Acquired acquired = session.acquire(source, work + "/tmpimg.bmp", 1);
        EXPECT_EQ(acquired.result, 1);
        EXPECT_EQ(acquired.status, 1000);
        ASSERT_EQ(session.callbackThreads.size(), 10u);
        for (const auto& id : session.callbackThreads) {
            EXPECT_EQ(id, std::this_thread::get_id());
        }
        EXPECT_EQ(fileThereAtCallback, std::vector<bool>(10, true));

        // Feeder off again: the flatbed gives one page.
        EXPECT_EQ(session.library.enableFeeder(source, 0), 1);
        const Acquired flatbed = session.acquire(source, work + "/flat.bmp", 1);
        EXPECT_EQ(flatbed.status, 1000);
        EXPECT_EQ(session.callbackThreads.size(), 11u);
    });
    std::vector<std::string> expected;
    for (int i = 0; i < 10; ++i) {
        expected.push_back("tmpimg" + std::to_string(i) + ".bmp");
    }
    expected.insert(expected.begin(), "flat0.bmp");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(filesIn(work), expected);
}

TEST(SaneLibraryTest, PixelTypesGiveTheirDepthsAndTrueBlackAndWhite)
{
    struct Row
    {
        const char* picture;
        int pixelType;
        int bits;
        std::uint8_t grey;
    };

    const Row rows[] = {
        {"\"Solid black\"", 0, 1, 0},
        {"\"Solid white\"", 0, 1, 255},
        {"\"Solid black\"", 1, 8, 0},
        {"\"Solid white\"", 1, 8, 255},
        {"\"Solid black\"", 2, 24, 0},
        {"\"Solid white\"", 2, 24, 255},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.picture) + " type " + std::to_string(row.pixelType));
        SaneTestConfig config({{"test-picture", row.picture}});
        const std::string work = config.work();
        runSaneCase(config, CaseTimeoutMs, [&] {
            SaneSession session;
            const SourceHandle source = session.open();
            const Acquired acquired = session.acquire(source, work + "/p.bmp", row.pixelType);
            EXPECT_EQ(acquired.status, 1000);
        });
        EXPECT_EQ(bitsOf(work + "/p0.bmp"), row.bits);
        const PageImage page = loadPage(work + "/p0.bmp");
        ASSERT_FALSE(page.samples.empty());
        EXPECT_TRUE(std::all_of(
            page.samples.begin(), page.samples.end(), [&](std::uint8_t s) { return s == row.grey; }));
    }
}

TEST(SaneLibraryTest, PaperSizeA4IsClampedToTheDeviceArea)
{
    struct Row
    {
        const char* geometryMax;
        const char* paper;
        int width;
        int height;
    };

    const Row rows[] = {
        {"300.0", "DIN A4", 826, 1169},
        {"200.0", "DIN A4", 787, 787},
        {"300.0", "Letter", 1181, 1181},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.paper) + " within " + row.geometryMax + " mm");
        SaneTestConfig config({{"geometry_max", row.geometryMax}});
        const std::string work = config.work();
        runSaneCase(config, CaseTimeoutMs, [&] {
            SaneSession session;
            const SourceHandle source = session.open();
            EXPECT_EQ(session.library.setResolution(source, 100.0), 1);
            EXPECT_EQ(session.library.SetPaperSize(source, row.paper), 1);
            EXPECT_EQ(session.acquire(source, work + "/a.bmp", 0).status, 1000);
        });
        const PageImage page = loadPage(work + "/a0.bmp");
        EXPECT_NEAR(page.width, row.width, 1);
        EXPECT_NEAR(page.height, row.height, 1);
    }
}

TEST(SaneLibraryTest, ReadStatusesGiveTheirOutcomes)
{
    struct Row
    {
        const char* status;
        std::int32_t result;
        std::int32_t acquireStatus; // with result 1
        bool phrase;                // with result 0
    };

    const Row rows[] = {
        {"SANE_STATUS_NO_DOCS", 1, 1001, false},
        {"SANE_STATUS_CANCELLED", 1, 1002, false},
        {"SANE_STATUS_IO_ERROR", 0, 0, true},
        {"SANE_STATUS_DEVICE_BUSY", 0, 0, true},
        {"SANE_STATUS_ACCESS_DENIED", 0, 0, true},
        {"SANE_STATUS_JAMMED", 0, 0, false},
        {"SANE_STATUS_COVER_OPEN", 0, 0, false},
        {"SANE_STATUS_NO_MEM", 0, 0, false},
        {"SANE_STATUS_INVAL", 0, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.status);
        SaneTestConfig config({{"read-status-code", std::string("\"") + row.status + "\""}});
        const std::string work = config.work();
        runSaneCase(config, CaseTimeoutMs, [&] {
            SaneSession session;
            const SourceHandle source = session.open();
            const Acquired acquired = session.acquire(source, work + "/tmpimg.bmp", 1);
            EXPECT_EQ(acquired.result, row.result);
            if (row.result == 1) {
                EXPECT_EQ(acquired.status, row.acquireStatus);
                return;
            }
            const std::string text = session.library.errorText(session.library.lastErrorCode(), 5000);
            EXPECT_FALSE(text.empty());
            EXPECT_EQ(text.find(InterfaceNotStartedPhrase) != std::string::npos, row.phrase) << text;
            EXPECT_TRUE(session.callbackThreads.empty());
        });
        EXPECT_TRUE(filesIn(work).empty());
    }
}

TEST(SaneLibraryTest, CancelDuringASlowFeederPassKeepsOnlyFinishedPages)
{
    SaneTestConfig config({
        {"read-limit", "true"},
        {"read-limit-size", "4096"},
        {"read-delay", "true"},
        {"read-delay-duration", "200000"},
    });
    const std::string work = config.work();
    runSaneCase(config, CaseTimeoutMs, [&] {
        // The worker honours this cancel itself between two reads; it is not given up.
        SaneTimeouts timeouts = testing::testTimeouts();
        timeouts.cancelMs = 10000;
        SaneSession session(timeouts);
        const SourceHandle source = session.open();
        EXPECT_EQ(session.library.setResolution(source, 100.0), 1);
        EXPECT_EQ(session.library.enableFeeder(source, 1), 1);
        session.onPage = [&](int index) {
            if (index == 0) {
                session.dialogs.pressCancel();
            }
        };
        const Acquired acquired = session.acquire(source, work + "/tmpimg.bmp", 1);
        EXPECT_EQ(acquired.result, 1);
        EXPECT_EQ(acquired.status, 1002);
        EXPECT_GE(session.callbackThreads.size(), 1u);
        EXPECT_LT(session.callbackThreads.size(), 10u);
        const std::vector<std::string> files = filesIn(work);
        EXPECT_EQ(files.size(), session.callbackThreads.size())
            << "every page kept was reported, no other file";
        for (std::size_t i = 0; i < files.size(); ++i) {
            const PageImage page = loadPage(pageFileName(work + "/tmpimg.bmp", static_cast<int>(i)));
            EXPECT_NEAR(page.height, 394, 1) << "page " << i << " is complete";
        }

        // The source stays usable after the cancel.
        EXPECT_EQ(session.library.enableFeeder(source, 0), 1);
        EXPECT_EQ(session.acquire(source, work + "/again.bmp", 1).status, 1000);
    });
}

TEST(SaneLibraryTest, ADeviceThatStopsAnsweringEndsTheScanAsNotReady)
{
    SaneTestConfig config({{"read-delay", "true"}, {"read-delay-duration", "200000"}});
    const std::string work = config.work();
    runSaneCase(config, CaseTimeoutMs, [&] {
        testing::ScriptedSaneDialogs dialogs;
        SaneTimeouts timeouts = testing::testTimeouts();
        timeouts.readMs = 20;
        SaneScannerLibrary library(dialogs, timeouts);
        ASSERT_EQ(library.initialize(), 1);
        const SourceHandle source = library.selectSourceByName(TestDevice0);
        ASSERT_NE(source, NoHandle);
        // The backend pauses after every 64 KiB; at 300 dpi a page holds many such pauses, so the
        // watchdog sees one even when this thread is slow to look.
        EXPECT_EQ(library.setResolution(source, 300.0), 1);
        const FileListHandle list = library.createFileList(6, 1);
        library.setFileListEntry(list, 0, work + "/tmpimg.bmp");
        std::int32_t status = 0;
        EXPECT_EQ(library.acquireToFiles(source, list, 100, 0x241, 1, -1, 1, 0, &status), 0);
        const std::string text = library.errorText(library.lastErrorCode(), 5000);
        EXPECT_NE(text.find(InterfaceNotStartedPhrase), std::string::npos) << text;
        // The device counts as gone: the source answers 0 until it is selected again.
        EXPECT_EQ(library.hasFeeder(source), 0);
        EXPECT_EQ(library.acquireToFiles(source, list, 100, 0x241, 1, -1, 1, 0, &status), 0);
        EXPECT_TRUE(filesIn(work).empty());
    });
}

TEST(SaneLibraryTest, FrameKindsGiveTheSamePicture)
{
    // The grid looks alike in every mode: three-pass colour equals single-pass colour, a line with
    // lost pixels keeps its first pixels, a scan of unknown height is read to its end.
    struct Row
    {
        const char* label;
        std::map<std::string, std::string> settings;
        int pixelType;
        int lostPixels;
    };

    const Row rows[] = {
        {"three-pass", {{"three-pass", "true"}}, 2, 0},
        {"three-pass BGR", {{"three-pass", "true"}, {"three-pass-order", "BGR"}}, 2, 0},
        {"padded lines", {{"ppl-loss", "7"}}, 1, 7},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        SaneTestConfig reference({{"test-picture", "\"Grid\""}});
        auto settings = row.settings;
        settings["test-picture"] = "\"Grid\"";
        SaneTestConfig config(settings);
        const std::string work = config.work();
        const std::string referenceWork = reference.work();
        for (const SaneTestConfig* c : {&reference, &config}) {
            const std::string folder = c->work();
            runSaneCase(*c, CaseTimeoutMs, [&] {
                SaneSession session;
                const SourceHandle source = session.open();
                EXPECT_EQ(session.acquire(source, folder + "/g.bmp", row.pixelType).status, 1000);
            });
        }
        const PageImage expected = loadPage(referenceWork + "/g0.bmp");
        const PageImage actual = loadPage(work + "/g0.bmp");
        ASSERT_EQ(actual.width, expected.width - row.lostPixels);
        ASSERT_EQ(actual.height, expected.height);
        ASSERT_EQ(actual.channels, expected.channels);
        int differing = 0;
        for (int y = 0; y < actual.height; ++y) {
            for (int x = 0; x < actual.width * actual.channels; ++x) {
                const auto at = [&](const PageImage& p) {
                    return p.samples
                        [static_cast<std::size_t>(y) * static_cast<std::size_t>(p.width * p.channels) +
                         static_cast<std::size_t>(x)];
                };
                differing += at(actual) != at(expected) ? 1 : 0;
            }
        }
        EXPECT_EQ(differing, 0);
    }

    SaneTestConfig handScanner({{"hand-scanner", "true"}});
    const std::string work = handScanner.work();
    runSaneCase(handScanner, CaseTimeoutMs, [&] {
        SaneSession session;
        const SourceHandle source = session.open();
        EXPECT_EQ(session.acquire(source, work + "/h.bmp", 1).status, 1000);
    });
    EXPECT_GT(loadPage(work + "/h0.bmp").height, 0);
}

TEST(SaneLibraryTest, CallsWithoutASourceOrBeforeInitialisingAreHarmless)
{
    testing::ScriptedSaneDialogs dialogs;
    SaneScannerLibrary library(dialogs, testing::testTimeouts());
    EXPECT_EQ(library.versionText(500), "Folvex-Scannerbibliothek Version: 5.6.6 (SANE)");
    EXPECT_EQ(library.versionText(6), "Folvex");
    std::int32_t status = 4711;
    std::int32_t first = -1;
    std::int32_t second = -1;
    EXPECT_EQ(library.acquireToFiles(0, 0, 100, 0x241, 2, -1, 1, 0, &status), 0);
    EXPECT_EQ(status, 4711);
    EXPECT_EQ(library.lastErrorCode(), static_cast<std::int32_t>(ScannerErrorCode::BadCall));
    EXPECT_EQ(library.selectSourceWithDialog(), NoHandle);
    EXPECT_EQ(library.selectSourceByName(TestDevice0), NoHandle);
    for (SourceHandle source : {SourceHandle{0}, SourceHandle{999999}}) {
        EXPECT_EQ(library.openSource(source), 0);
        EXPECT_EQ(library.closeSource(source), 0);
        EXPECT_EQ(library.productName(source, 5000), "");
        EXPECT_EQ(library.hasFeeder(source), 0);
        EXPECT_EQ(library.lastErrorCode(), static_cast<std::int32_t>(ScannerErrorCode::BadCall));
        EXPECT_EQ(library.canUseFeeder(source), 0);
        EXPECT_EQ(library.canScanBothSides(source), 0);
        EXPECT_EQ(library.isPaperInFeeder(source), 0);
        EXPECT_EQ(library.enableFeeder(source, 1), 0);
        EXPECT_EQ(library.enableDuplex(source, 1), 0);
        EXPECT_EQ(library.setResolution(source, 300.0), 0);
        EXPECT_EQ(library.SetPaperSize(source, "DIN A4"), 0);
        EXPECT_EQ(library.sourceSetting3600(source, 1), 0);
        EXPECT_EQ(library.manualDuplexCounts(source, &first, &second), 0);
        EXPECT_EQ(first, 0);
        EXPECT_EQ(second, 0);
    }
    EXPECT_EQ(library.setFileListEntry(0, 0, "x.bmp"), 0);
    EXPECT_EQ(library.freeFileList(0), 0);
    EXPECT_EQ(library.shutDown(), 0);
    EXPECT_EQ(dialogs.progressShown, 0);
}

TEST(SaneLibraryTest, CancelWhileAReadHangsEndsTheScanAndTheDeviceOpensAgain)
{
    SaneTestConfig config({{"read-limit", "true"}, {"read-limit-size", "4096"}});
    const std::string work = config.work();
    const std::string again = config.work() + "/again";
    runSaneCase(config, CaseTimeoutMs, [&] {
        // The read time is far beyond the case's own watchdog, and the seam holds the second read of
        // page 3 longer than that: only the cancel can end this scan before the case is killed.
        SaneTimeouts timeouts = testing::testTimeouts();
        timeouts.readMs = 10 * CaseTimeoutMs;
        SaneSession session(timeouts);
        std::mutex mutex;
        std::condition_variable changed;
        bool stuck = false;
        bool released = false;
        int readsOfPage3 = 0;
        session.readSeam = [&](int page) {
            if (page != 3 || ++readsOfPage3 != 2) {
                return 0;
            }
            std::unique_lock lock(mutex);
            stuck = true;
            changed.notify_all();
            changed.wait_for(lock, std::chrono::milliseconds(2 * CaseTimeoutMs), [&] { return released; });
            return 0;
        };
        const SourceHandle source = session.open();
        EXPECT_EQ(session.library.enableFeeder(source, 1), 1);
        session.dialogs.onTick = [&](AcquisitionSession& progress) {
            std::lock_guard lock(mutex);
            if (stuck && !progress.cancelRequested()) {
                progress.requestCancel();
                progress.requestCancel(); // pressed twice: still one cancel
            }
        };
        const Acquired acquired = session.acquire(source, work + "/tmpimg.bmp", 1);
        session.dialogs.onTick = {};
        EXPECT_EQ(acquired.result, 1);
        EXPECT_EQ(acquired.status, static_cast<std::int32_t>(AcquireStatus::Cancelled));
        EXPECT_EQ(session.callbackThreads.size(), 2u);
        EXPECT_EQ(session.library.lastErrorCode(), 0);
        // Pages 1 and 2 are kept; neither page 3 nor a temporary file is left.
        const std::vector<std::string> kept = filesIn(work);
        EXPECT_EQ(kept, (std::vector<std::string>{"tmpimg0.bmp", "tmpimg1.bmp"}));
        std::vector<std::string> bytes;
        for (const std::string& name : kept) {
            bytes.push_back(readFile(work + "/" + name));
            EXPECT_EQ(loadPage(work + "/" + name).height, 196) << name;
        }

        // The stuck read comes back; the source counts as closed, the device opens again by name.
        {
            std::lock_guard lock(mutex);
            released = true;
            changed.notify_all();
        }
        EXPECT_EQ(session.library.hasFeeder(source), 0);
        const SourceHandle reopened = session.open();
        std::filesystem::create_directories(again);
        EXPECT_EQ(session.library.enableFeeder(reopened, 0), 1);
        const Acquired next = session.acquire(reopened, again + "/flat.bmp", 1);
        EXPECT_EQ(next.result, 1);
        EXPECT_EQ(next.status, static_cast<std::int32_t>(AcquireStatus::Done));
        EXPECT_EQ(filesIn(again), std::vector<std::string>{"flat0.bmp"});
        std::vector<std::string> bytesAfter;
        for (const std::string& name : kept) {
            bytesAfter.push_back(readFile(work + "/" + name));
        }
        EXPECT_EQ(filesIn(work), (std::vector<std::string>{"again", "tmpimg0.bmp", "tmpimg1.bmp"}));
        EXPECT_TRUE(bytesAfter == bytes) << "the kept pages are unchanged";
    });
}

TEST(SaneLibraryTest, EveryFailureGivesItsReasonAndASuccessClearsIt)
{
    struct Observed
    {
        std::int32_t result = -1;
        std::int32_t status = 0;
    };

    struct Row
    {
        const char* label;
        std::function<Observed(SaneSession&, const std::string& work)> action;
        Observed expected;
        ScannerErrorCode code;
        std::string textPart; // "{work}" stands for the case's folder
    };

    const Row rows[] = {
        {"jam on page 3, then a clean run",
         [](SaneSession& session, const std::string& work) {
             const SourceHandle source = session.open();
             EXPECT_EQ(session.library.enableFeeder(source, 1), 1);
             session.readSeam = [](int page) { return page == 3 ? static_cast<int>(SANE_STATUS_JAMMED) : 0; };
             const Acquired jammed = session.acquire(source, work + "/jam.bmp", 1);
             EXPECT_EQ(jammed.result, 0);
             EXPECT_EQ(
                 session.library.lastErrorCode(), static_cast<std::int32_t>(ScannerErrorCode::DeviceFault));
             EXPECT_EQ(filesIn(work), (std::vector<std::string>{"jam0.bmp", "jam1.bmp"}));
             session.readSeam = {};
             const Acquired clean = session.acquire(source, work + "/clean.bmp", 1, 1);
             return Observed{clean.result, clean.status};
         },
         {1, 1000},
         ScannerErrorCode::None,
         "Kein Fehler."},
        {"unknown device name",
         [](SaneSession& session, const std::string&) {
             return Observed{
                 session.library.selectSourceByName("Kein solcher Scanner") != NoHandle ? 1 : 0, 0};
         },
         {0, 0},
         ScannerErrorCode::NotReady,
         "Kein solcher Scanner"},
        {"source 0",
         [](SaneSession& session, const std::string& work) {
             const Acquired acquired = session.acquire(NoHandle, work + "/none.bmp", 1);
             return Observed{acquired.result, acquired.status};
         },
         {0, 0},
         ScannerErrorCode::BadCall,
         "Ungültiger Aufruf"},
        {"first page into a folder below a regular file",
         [](SaneSession& session, const std::string& work) {
             testing::writeFile(work + "/plain", "not a folder");
             const Acquired acquired = session.acquire(session.open(), work + "/plain/tmpimg.bmp", 1);
             EXPECT_TRUE(session.callbackThreads.empty());
             EXPECT_EQ(filesIn(work), std::vector<std::string>{"plain"});
             return Observed{acquired.result, acquired.status};
         },
         {1, 1000},
         ScannerErrorCode::PageNotWritten,
         "{work}/plain/tmpimg0.bmp"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        SaneTestConfig config;
        const std::string work = config.work();
        runSaneCase(config, CaseTimeoutMs, [&] {
            SaneSession session;
            const Observed observed = row.action(session, work);
            EXPECT_EQ(observed.result, row.expected.result);
            EXPECT_EQ(observed.status, row.expected.status);
            const std::int32_t code = session.library.lastErrorCode();
            EXPECT_EQ(code, static_cast<std::int32_t>(row.code));
            std::string part = row.textPart;
            if (part.rfind("{work}", 0) == 0) {
                part = work + part.substr(6);
            }
            const std::string text = session.library.errorText(code, 5000);
            EXPECT_NE(text.find(part), std::string::npos) << text;
        });
    }
}

// The samples of a PNM file as scanimage writes it (P4: a set bit is black, P5 grey, P6 RGB).
PageImage readPnm(const std::string& bytes)
{
    PageImage page;
    std::size_t at = 0;
    auto token = [&] {
        while (at < bytes.size() &&
               (std::isspace(static_cast<unsigned char>(bytes[at])) || bytes[at] == '#')) {
            if (bytes[at] == '#') {
                at = bytes.find('\n', at);
            } else {
                ++at;
            }
        }
        const std::size_t start = at;
        while (at < bytes.size() && !std::isspace(static_cast<unsigned char>(bytes[at]))) {
            ++at;
        }
        return bytes.substr(start, at - start);
    };
    const std::string magic = token();
    page.width = std::stoi(token());
    page.height = std::stoi(token());
    if (magic != "P4") {
        EXPECT_EQ(token(), "255");
    }
    ++at; // the one white-space character before the samples
    page.channels = magic == "P6" ? 3 : 1;
    const std::size_t width = static_cast<std::size_t>(page.width);
    const std::size_t height = static_cast<std::size_t>(page.height);
    if (magic == "P4") {
        const std::size_t rowBytes = (width + 7) / 8;
        EXPECT_GE(bytes.size() - at, rowBytes * height);
        for (std::size_t y = 0; y < height; ++y) {
            for (std::size_t x = 0; x < width; ++x) {
                const auto byte = static_cast<unsigned char>(bytes[at + y * rowBytes + x / 8]);
                page.samples.push_back((byte & (0x80 >> (x % 8))) != 0 ? 0 : 255);
            }
        }
        return page;
    }
    page.samples.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end());
    EXPECT_EQ(page.samples.size(), width * height * static_cast<std::size_t>(page.channels));
    return page;
}

TEST(SaneLibraryTest, StreamedPagesEqualScanimageOutput)
{
    struct Row
    {
        std::string label;
        std::map<std::string, std::string> settings;
        int pixelType;
        int dpi;
        bool feeder;
    };

    // scanimage's options for the mode and depth the library chooses for a pixel type on this backend.
    const char* const modeOptions[] = {
        "--mode Gray --depth 1", "--mode Gray --depth 8", "--mode Color --depth 8"};
    std::vector<Row> rows;
    for (int pixelType : {0, 1, 2}) {
        for (int dpi : {150, 300}) {
            for (bool feeder : {false, true}) {
                rows.push_back(
                    {"type " + std::to_string(pixelType) + " at " + std::to_string(dpi) +
                         (feeder ? " dpi, feeder" : " dpi, flatbed"),
                     {},
                     pixelType,
                     dpi,
                     feeder});
            }
        }
    }
    rows.push_back({"three-pass", {{"three-pass", "true"}}, 2, 150, false});
    rows.push_back(
        {"three-pass BGR, feeder", {{"three-pass", "true"}, {"three-pass-order", "BGR"}}, 2, 150, true});
    rows.push_back({"read limit", {{"read-limit", "true"}, {"read-limit-size", "333"}}, 2, 150, false});
    rows.push_back({"height not announced, grey", {{"hand-scanner", "true"}}, 1, 150, false});
    rows.push_back({"height not announced, colour", {{"hand-scanner", "true"}}, 2, 150, true});
    constexpr int FeederPages = 2;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        auto settings = row.settings;
        settings["test-picture"] = "\"Color pattern\"";
        SaneTestConfig config(settings);
        const std::string work = config.work();
        const int pages = row.feeder ? FeederPages : 1;
        runSaneCase(config, CaseTimeoutMs, [&] {
            {
                SaneSession session;
                const SourceHandle source = session.open();
                EXPECT_EQ(session.library.setResolution(source, row.dpi), 1);
                EXPECT_EQ(session.library.enableFeeder(source, row.feeder ? 1 : 0), 1);
                const Acquired acquired = session.acquire(source, work + "/ours.bmp", row.pixelType, pages);
                EXPECT_EQ(acquired.status, 1000);
                EXPECT_EQ(session.library.shutDown(), 1);
            }
            const std::string command =
                std::string("scanimage -d test:0 ") + modeOptions[row.pixelType] + " --resolution " +
                std::to_string(row.dpi) + " --test-picture 'Color pattern' --source '" +
                (row.feeder ? "Automatic Document Feeder" : "Flatbed") + "' --format=pnm --batch=" + work +
                "/theirs%d.pnm --batch-count=" + std::to_string(pages) + " >/dev/null 2>&1";
            EXPECT_EQ(std::system(command.c_str()), 0) << command;
        });
        for (int page = 0; page < pages; ++page) {
            SCOPED_TRACE("page " + std::to_string(page));
            const PageImage ours = loadPage(pageFileName(work + "/ours.bmp", page));
            const PageImage theirs = readPnm(readFile(work + "/theirs" + std::to_string(page + 1) + ".pnm"));
            ASSERT_GT(theirs.width, 0);
            EXPECT_EQ(ours.width, theirs.width);
            EXPECT_EQ(ours.height, theirs.height);
            EXPECT_EQ(ours.channels, theirs.channels);
            EXPECT_TRUE(ours.samples == theirs.samples) << "the pixels differ";
            EXPECT_EQ(static_cast<int>(std::lround(ours.dpi)), row.dpi);
        }
    }
}

} // namespace
} // namespace folvex
