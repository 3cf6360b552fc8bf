#include "scan/scan_job.h"

#include "foundation/paths.h"
#include "scan_job_fakes.h"
#include "shell/settings.h"
#include "support/action_box_fakes.h"
#include "support/fakes.h"
#include "support/temp_dir.h"
#include "twain/fake_scanner_library.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace folvex {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::RecordingDialogs;
using testing::RecordingWindow;
using testing::writeFile;

using testing::Idle;
const std::string Active = "Status: Scanner-Interface ist aktiv...";
const std::string ActiveBack = "Status: Scanner-Interface ist aktiv (Rückseiten)...";
const std::string Feeder = "Einzelblatteinzug";
using testing::Flatbed;
const std::string TimeoutReason = "Twain User Interface could NOT be started: Gerät antwortet nicht";

const FakeDevice DuplexScanner{"Fujitsu", "fi-7160", "fujitsu:fi-7160:1", true, true, true};
const std::string DuplexScannerName = "Fujitsu fi-7160";

// What the library's notification reported while a page came in.
struct PageSeen
{
    std::uint8_t acquisitionRunning;
    std::string status;
    bool anyButtonEnabled;
};

class ScanJobTest : public ::testing::Test
{
protected:
    ScanJobTest()
    {
        allocateMainProgramTables(shell);
        SettingsState& s = shell.settingsState;
        fs::create_directories(dir.path() / "prog");
        fs::create_directories(dir.path() / "tmp");
        s.ProgramDir = dir.folder() + "prog/";
        s.settings.TmpPath = dir.file("tmp");
        scanner.devices = {DuplexScanner};
        scanner.initialize();
        scanner.setNotificationCallback(
            [this](std::int32_t code, std::int32_t, std::int64_t) {
                if (code == static_cast<std::int32_t>(ScannerNotification::PageAcquired)) {
                    ++shell.ScanCounters.pass;
                    ++shell.ScanCounters.job;
                    pagesSeen.push_back({shell.AcquisitionRunning, window.status, window.anyButtonEnabled()});
                }
                return 1;
            },
            0,
            0);
    }

    void openScanner()
    {
        shell.CurrentSource = scanner.selectSourceByName(DuplexScannerName);
        ASSERT_NE(shell.CurrentSource, NoHandle);
        shell.settingsState.settings.LastSourceName = DuplexScannerName;
        scanner.trace.clear();
    }

    void run(std::uint8_t existingPages = 0)
    {
        ScanJobContext context{shell, scanner, window, dialogs, resultStep};
        ScanAndSave(context, existingPages);
    }

    // Installs a result step that records the job's state and then does what the next script entry
    // says (none left: the job ends).
    void scriptResultSteps(std::vector<std::function<void(ScanJobState&)>> steps)
    {
        scriptedSteps = std::move(steps);
        results.clear();
        resultCounters.clear();
        resultStatus.clear();
        resultStep = [this](ScanJobContext&, ScanJobState& job) {
            results.push_back(job);
            resultCounters.push_back(shell.ScanCounters);
            resultStatus.push_back(window.status);
            job.skipAcquisition = 0;
            job.nextCycle = 0;
            if (results.size() <= scriptedSteps.size()) {
                scriptedSteps[results.size() - 1](job);
            }
        };
    }

    std::string tmp(const std::string& name) const
    {
        return shell.settingsState.settings.TmpPath + "/" + name;
    }

    std::set<std::string> tmpFiles() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path() / "tmp")) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    std::vector<std::string> boxTitles() const { return boxes.titles(); }

    std::string ini() const { return readFile(shell.settingsState.ProgramDir + "Folvex.ini"); }

    testing::TempDir dir;
    testing::ScopedFakeEffects effects;
    testing::ScriptedActionBoxAnswerer boxes;
    ShellState shell;
    FakeScannerLibrary scanner;
    RecordingWindow window;
    RecordingDialogs dialogs;
    ScanResultStep resultStep;
    std::vector<std::function<void(ScanJobState&)>> scriptedSteps;
    std::vector<ScanJobState> results;
    std::vector<ScanCounterPair> resultCounters;
    std::vector<std::string> resultStatus;
    std::vector<PageSeen> pagesSeen;
};

// Renames the front scan files of a block into page files, as the result step's merge does.
void mergeFronts(const std::string& tmpPath, int count, int firstPage)
{
    for (int i = 0; i < count; ++i) {
        fs::rename(
            tmpPath + "/tmpimg" + std::to_string(i) + ".bmp",
            tmpPath + "/TmpReadyImg" + std::to_string(firstPage + i) + ".bmp");
    }
}

// Sets PATH for the lifetime of the object.
class ScopedPath
{
public:
    explicit ScopedPath(const std::string& path)
    {
        if (const char* old = std::getenv("PATH")) {
            m_old = old;
        }
        ::setenv("PATH", path.c_str(), 1);
    }

    ~ScopedPath()
    {
        if (m_old) {
            ::setenv("PATH", m_old->c_str(), 1);
        } else {
            ::unsetenv("PATH");
        }
    }

    ScopedPath(const ScopedPath&) = delete;
    ScopedPath& operator=(const ScopedPath&) = delete;

private:
    std::optional<std::string> m_old;
};

std::vector<int> callNumbers(const FakeScannerLibrary& scanner)
{
    std::vector<int> numbers;
    for (const FakeCallRecord& call : scanner.trace) {
        numbers.push_back(call.number);
    }
    return numbers;
}

// The stamped page ids of the files prefix0.bmp, prefix1.bmp, ... in order.
std::vector<int> stampedIds(const std::string& prefix)
{
    std::vector<int> ids;
    for (int i = 0; fs::exists(prefix + std::to_string(i) + ".bmp"); ++i) {
        auto page = decodeBmp(readFile(prefix + std::to_string(i) + ".bmp"));
        ids.push_back(page ? readStampedPageId(*page).value_or(-1) : -2);
    }
    return ids;
}

TEST_F(ScanJobTest, RefusedJobsStoreTheChoicesAndTouchNothingElse)
{
    enum class PathSetUp
    {
        WithoutTesseract,
        OcrFolderNamedLikeIt,
        DirectoryNamedTesseract,
        ExecutableStub,
    };

    struct Case
    {
        const char* label;
        bool sourceOpen;
        std::string sourceName;
        std::string destination;
        PathSetUp path;
        bool refused;
        std::string expectedIni;
    };

    const std::string lastValues = "[LAST_VALUES]\r\n"
                                   "ColorMode=Farbe\r\n"
                                   "Resolution=300 dpi\r\n"
                                   "DestType=PDF\r\n"
                                   "PaperSize=DIN A4\r\n"
                                   "DiscardEmptyPages=1\r\n";
    const std::string ocrValues = "[LAST_VALUES]\r\n"
                                  "ColorMode=Farbe\r\n"
                                  "Resolution=300 dpi\r\n"
                                  "DestType=PDF+OCR\r\n"
                                  "PaperSize=DIN A4\r\n"
                                  "DiscardEmptyPages=1\r\n";
    const std::string sourceSection = "[SOURCE FUJITSU FI-7160]\r\nLastPageOrigin=Einzelblatteinzug\r\n";
    const Case cases[] = {
        {"no scanner, no scanner name", false, "", "PDF", PathSetUp::WithoutTesseract, true, lastValues},
        {"no scanner, a name left from before",
         false,
         DuplexScannerName,
         "PDF",
         PathSetUp::WithoutTesseract,
         true,
         sourceSection + lastValues},
        {"PDF+OCR without tesseract",
         true,
         DuplexScannerName,
         "PDF+OCR",
         PathSetUp::WithoutTesseract,
         true,
         sourceSection + ocrValues},
        {"PDF+OCR with a folder Tesseract-OCR",
         true,
         DuplexScannerName,
         "PDF+OCR",
         PathSetUp::OcrFolderNamedLikeIt,
         true,
         sourceSection + ocrValues},
        {"PDF+OCR with a directory tesseract",
         true,
         DuplexScannerName,
         "PDF+OCR",
         PathSetUp::DirectoryNamedTesseract,
         true,
         sourceSection + ocrValues},
        {"PDF+OCR with an executable tesseract",
         true,
         DuplexScannerName,
         "PDF+OCR",
         PathSetUp::ExecutableStub,
         false,
         sourceSection + ocrValues},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        testing::TempDir caseDir;
        shell.settingsState.ProgramDir = caseDir.folder();
        shell.settingsState.settingsPath.clear();
        shell.CurrentSource = NoHandle;
        shell.settingsState.settings.LastSourceName = c.sourceName;
        if (c.sourceOpen) {
            openScanner();
        }
        window = RecordingWindow{};
        window.selectors[ScanSelector::PaperSource] = Feeder;
        window.selectors[ScanSelector::DestinationType] = c.destination;
        window.discardTicked = true;
        boxes.shown.clear();
        effects.messages.shown.clear();
        shell.PageSplitFlags.assign(10050, 1);
        writeFile(tmp("tmpimg0.bmp"), "old page");
        writeFile(tmp("notes.txt"), "not ours");
        const std::set<std::string> filesBefore = tmpFiles();

        fs::path bin = caseDir.path() / "bin";
        fs::create_directories(bin);
        switch (c.path) {
            case PathSetUp::WithoutTesseract:
                break;
            case PathSetUp::OcrFolderNamedLikeIt:
                bin = caseDir.path() / "Tesseract-OCR";
                fs::create_directories(bin);
                break;
            case PathSetUp::DirectoryNamedTesseract:
                fs::create_directories(bin / "tesseract");
                break;
            case PathSetUp::ExecutableStub:
                writeFile((bin / "tesseract").string(), "#!/bin/sh\nexit 0\n");
                fs::permissions(bin / "tesseract", fs::perms::owner_all);
                break;
        }
        const ScopedPath path(bin.string());
        if (!c.refused) {
            scanner.passes.push_back(FakePass::pages({1}));
            boxes.queueAnswer(2); // "Seiten löschen": the old page was never saved
        } else if (c.sourceOpen) {
            effects.messages.queueAnswer(MessageAnswer::Ok);
        } else {
            boxes.queueAnswer(1);
        }

        run();

        EXPECT_EQ(readFile(caseDir.folder() + "Folvex.ini"), c.expectedIni);
        EXPECT_EQ(shell.PageSplitFlags[0], 1);
        EXPECT_EQ(std::count(shell.PageSplitFlags.begin() + 1, shell.PageSplitFlags.end(), 1), 0);
        EXPECT_EQ(window.fontsFreed, window.fontsMade);
        if (c.refused) {
            EXPECT_EQ(tmpFiles(), filesBefore);
            EXPECT_EQ(window.buttonChanges, 0);
            EXPECT_TRUE(window.statusHistory.empty());
            EXPECT_TRUE(scanner.callsOf(237).empty());
        } else {
            EXPECT_EQ(scanner.callsOf(237).size(), 1U);
            EXPECT_TRUE(window.allButtonsEnabled());
        }
        if (!c.sourceOpen) {
            ASSERT_EQ(boxes.shown.size(), 1U);
            EXPECT_EQ(boxes.shown[0].Title, "Fehler");
            EXPECT_EQ(boxes.shown[0].Text, "Es ist kein Scanner ausgewählt.");
            EXPECT_EQ(boxes.shown[0].Icon, 3);
            EXPECT_TRUE(effects.messages.shown.empty());
        } else if (c.refused) {
            EXPECT_TRUE(boxes.shown.empty());
            ASSERT_EQ(effects.messages.shown.size(), 1U);
            EXPECT_NE(
                effects.messages.shown[0].text.find("Das Programm tesseract wurde im Suchpfad (PATH) nicht"),
                std::string::npos);
        } else {
            EXPECT_TRUE(effects.messages.shown.empty());
        }
        scanner.passes.clear();
        boxes.answers.clear();
        fs::remove_all(dir.path() / "tmp");
        fs::create_directories(dir.path() / "tmp");
    }
}

TEST_F(ScanJobTest, CycleSettingsReachTheScannerInOrder)
{
    struct Case
    {
        const char* label;
        std::string paperSource;
        bool duplexEnabled;
        bool duplexTicked;
        std::string colour;
        std::string paperSize;
        std::vector<int> expectedCalls;
        bool feederOn;
        bool duplexOn;
        ScanPixelType pixelType;
    };

    const std::vector<int> acquisition = {3600, 8400, 205, FakePaperSizeCall, 3200, 60, 3532, 237, 64};
    auto with = [&](std::vector<int> head) {
        head.insert(head.end(), acquisition.begin(), acquisition.end());
        return head;
    };
    const Case cases[] = {
        {"feeder, both sides",
         Feeder,
         true,
         true,
         "schwarzweiß",
         "DIN A4",
         with({225, 228, 392, 3202, 391, 3202}),
         true,
         true,
         ScanPixelType::BlackWhite},
        {"feeder, box disabled",
         Feeder,
         false,
         true,
         "Graustufen",
         "DIN A4",
         with({225, 228, 392, 391, 3202}),
         true,
         false,
         ScanPixelType::Grey},
        {"feeder, box not ticked",
         Feeder,
         true,
         false,
         "Farbe",
         "Letter",
         with({225, 228, 392, 391, 3202}),
         true,
         false,
         ScanPixelType::Colour},
        {"flatbed ignores the box",
         Flatbed,
         true,
         true,
         "Farbe",
         "DIN A4",
         with({228, 225, 228, 392, 391, 3202}),
         false,
         false,
         ScanPixelType::Colour},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        // Each case starts on an empty folder, not on the unsaved pages of the one before.
        fs::remove_all(dir.path() / "tmp");
        fs::create_directories(dir.path() / "tmp");
        openScanner();
        window.selectors[ScanSelector::PaperSource] = c.paperSource;
        window.selectors[ScanSelector::ColourMode] = c.colour;
        window.selectors[ScanSelector::Resolution] = "1200 dpi";
        window.selectors[ScanSelector::PaperSize] = c.paperSize;
        window.duplexEnabled = c.duplexEnabled;
        window.duplexTicked = c.duplexTicked;
        scanner.passes.push_back(FakePass::pages({1}));
        scriptResultSteps({});

        run();

        EXPECT_EQ(callNumbers(scanner), c.expectedCalls);
        EXPECT_EQ(scanner.feederOn(shell.CurrentSource), c.feederOn);
        EXPECT_EQ(scanner.duplexOn(shell.CurrentSource), c.duplexOn);
        EXPECT_DOUBLE_EQ(scanner.resolution(shell.CurrentSource), 1200.0);
        ASSERT_EQ(scanner.callsOf(FakePaperSizeCall).size(), 1U);
        EXPECT_EQ(scanner.callsOf(FakePaperSizeCall)[0].args.back(), c.paperSize);
        ASSERT_EQ(scanner.callsOf(237).size(), 1U);
        EXPECT_EQ(scanner.callsOf(237)[0].args[4], std::to_string(static_cast<int>(c.pixelType)));
        EXPECT_EQ(scanner.callsOf(3532)[0].args.back(), tmp("tmpimg.bmp"));
        ASSERT_EQ(results.size(), 1U);
        EXPECT_EQ(results[0].resolutionDpi, 1200);
        EXPECT_EQ(results[0].duplexMode, c.feederOn && c.duplexEnabled && c.duplexTicked ? 2 : 0);
    }
}

TEST_F(ScanJobTest, AnUnknownColourTextKeepsThePreviousPixelType)
{
    openScanner();
    window.selectors[ScanSelector::ColourMode] = "Graustufen";
    scanner.passes = {FakePass::pages({1}), FakePass::pages({2})};
    scriptResultSteps({[this](ScanJobState& job) {
        window.selectors[ScanSelector::ColourMode] = "Sepia";
        job.nextCycle = 1;
    }});

    run();

    const auto calls = scanner.callsOf(237);
    ASSERT_EQ(calls.size(), 2U);
    EXPECT_EQ(calls[0].args[4], "1");
    EXPECT_EQ(calls[1].args[4], "1");
}

TEST_F(ScanJobTest, AFrontPassWritesCountsAndReachesTheResultStep)
{
    openScanner();
    window.discardTicked = true;
    scanner.passes.push_back(FakePass::pages({1, 2, 3, 4, 5}));
    scriptResultSteps({});

    run();

    EXPECT_EQ(stampedIds(tmp("tmpimg")), (std::vector<int>{1, 2, 3, 4, 5}));
    ASSERT_EQ(pagesSeen.size(), 5U);
    for (const PageSeen& page : pagesSeen) {
        EXPECT_EQ(page.acquisitionRunning, 1);
        EXPECT_EQ(page.status, Active);
        EXPECT_FALSE(page.anyButtonEnabled);
    }
    ASSERT_EQ(results.size(), 1U);
    EXPECT_EQ(results[0].frontCount, 5);
    EXPECT_EQ(results[0].backCount, 0);
    EXPECT_EQ(results[0].discardBlank, 1);
    EXPECT_EQ(results[0].jobFont, window.fontsMade.at(0));
    EXPECT_EQ(resultCounters[0].pass, 5);
    EXPECT_EQ(resultCounters[0].job, 5);
    EXPECT_EQ(resultStatus[0], Idle);
    EXPECT_EQ(shell.AcquisitionRunning, 0);
    EXPECT_EQ(window.status, Idle);
    EXPECT_TRUE(window.allButtonsEnabled());
    EXPECT_EQ(window.focusCalls, 1);
    EXPECT_EQ(window.fontsFreed, window.fontsMade);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ScanJobTest, BothSidesComeInFeedOrderFromOnePass)
{
    openScanner();
    window.selectors[ScanSelector::PaperSource] = Feeder;
    window.duplexTicked = true;
    scanner.passes.push_back(FakePass::duplexSheets(3));
    scriptResultSteps({});

    run();

    EXPECT_EQ(scanner.callsOf(237).size(), 1U);
    EXPECT_EQ(stampedIds(tmp("tmpimg")), (std::vector<int>{1, 101, 2, 102, 3, 103}));
    ASSERT_EQ(results.size(), 1U);
    EXPECT_EQ(results[0].frontCount, 6);
}

TEST_F(ScanJobTest, AnOutcomeOtherThanDoneIsReportedAndEndsTheJob)
{
    struct Case
    {
        const char* label;
        FakePass pass;
        std::string title;
        std::string text;
    };

    FakePass unknown = FakePass::pages({});
    unknown.status = 1234;
    FakePass cancelled = FakePass::pages({1});
    cancelled.status = static_cast<std::int32_t>(AcquireStatus::Cancelled);
    const Case cases[] = {
        {"cancelled", cancelled, "Scanabbruch", "Scannen vom Anwender abgebrochen."},
        {"empty feeder", FakePass::emptyFeeder(), "Fehler", "Scannen fehlgeschlagen."},
        {"unknown status",
         unknown,
         "potentieller Fehler",
         "Status der Operation unbekannt, unbekannter ErrCode: 1234"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(dir.path() / "tmp");
        fs::create_directories(dir.path() / "tmp");
        openScanner();
        window = RecordingWindow{};
        boxes.shown.clear();
        scanner.passes = {c.pass};
        scriptResultSteps({});
        boxes.queueAnswer(1);

        run();

        ASSERT_EQ(boxes.shown.size(), 1U);
        EXPECT_EQ(boxes.shown[0].Title, c.title);
        EXPECT_EQ(boxes.shown[0].Text, c.text);
        EXPECT_EQ(boxes.shown[0].Icon, 3);
        EXPECT_TRUE(results.empty());
        EXPECT_EQ(window.status, Idle);
        EXPECT_TRUE(window.allButtonsEnabled());
        EXPECT_EQ(window.focusCalls, 1);
    }
}

TEST_F(ScanJobTest, DoneWithoutAnyFileGivesTheWriteRightsNoteNamingTheTemporaryFolder)
{
    openScanner();
    FakePass nothing = FakePass::pages({1, 2});
    nothing.writeNothing = true;
    scanner.passes = {nothing};
    scriptResultSteps({});
    effects.messages.queueAnswer(MessageAnswer::Ok);

    run();

    ASSERT_EQ(effects.messages.shown.size(), 1U);
    EXPECT_EQ(
        effects.messages.shown[0].text,
        "Sie besitzen keine ausreichenden Schreibrechte im Ordner\r\r" +
            shell.settingsState.settings.TmpPath +
            "\r\rund seinen Unterordnern.\r\rWeisen Sie bitte entsprechende Rechte zu oder wählen Sie in den "
            "Optionen einen anderen temporären Pfad.");
    EXPECT_TRUE(results.empty());
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(window.allButtonsEnabled());
}

TEST_F(ScanJobTest, AFailedPassWithPagesIsFollowedByACycleThatShowsThem)
{
    openScanner();
    scanner.passes = {FakePass::failing(2, "Papierstau im Einzug")};
    scriptResultSteps({});
    boxes.queueAnswer(1);

    run();

    EXPECT_EQ(boxTitles(), (std::vector<std::string>{"Fehler"}));
    EXPECT_EQ(boxes.shown[0].Text, "Scannen fehlgeschlagen.");
    EXPECT_EQ(scanner.callsOf(237).size(), 1U);
    EXPECT_EQ(scanner.callsOf(3600).size(), 1U);
    ASSERT_EQ(results.size(), 1U);
    EXPECT_EQ(results[0].frontCount, 2);
    EXPECT_EQ(results[0].skipAcquisition, 1);
    EXPECT_EQ(resultCounters[0].pass, 0);
    EXPECT_EQ(resultCounters[0].job, 2);
    EXPECT_EQ(resultStatus[0], Idle);
    EXPECT_GE(window.drains, 1);
    EXPECT_TRUE(fs::exists(tmp("tmpimg1.bmp")));
}

TEST_F(ScanJobTest, ATimeOutReconnectsTheScannerByName)
{
    openScanner();
    const SourceHandle before = shell.CurrentSource;
    scanner.passes = {FakePass::failing(3, TimeoutReason)};
    scriptResultSteps({});
    boxes.queueAnswer(1);

    run();

    EXPECT_EQ(boxTitles(), (std::vector<std::string>{"Timeout"}));
    EXPECT_EQ(
        boxes.shown[0].Text,
        R"(Scannen fehlgeschlagen. Vermutlich ist ein Scanner-Timeout aufgetreten.\n\nEs wird versucht, den Scanner neu zu verbinden.)");
    EXPECT_EQ(dialogs.waitEvents, (std::vector<std::string>{"open Verbinde Scanner...", "close"}));
    const std::vector<int> calls = callNumbers(scanner);
    const auto close = std::find(calls.begin(), calls.end(), 32);
    ASSERT_NE(close, calls.end());
    ASSERT_NE(close + 1, calls.end());
    EXPECT_EQ(*(close + 1), 213);
    EXPECT_EQ(scanner.callsOf(32)[0].args[0], std::to_string(before));
    EXPECT_EQ(scanner.callsOf(213)[0].args[0], DuplexScannerName);
    EXPECT_NE(shell.CurrentSource, NoHandle);
    EXPECT_NE(shell.CurrentSource, before);
    EXPECT_TRUE(scanner.isOpen(shell.CurrentSource));
    ASSERT_EQ(results.size(), 1U);
    EXPECT_EQ(resultCounters[0].job, 3);
    EXPECT_TRUE(window.allButtonsEnabled());
}

TEST_F(ScanJobTest, AFailedReconnectLeavesNoScanner)
{
    openScanner();
    scanner.devices[0].opens = false;
    scanner.passes = {FakePass::failing(1, TimeoutReason)};
    scriptResultSteps({});
    boxes.queueAnswer(1);
    boxes.queueAnswer(1);

    run();

    EXPECT_EQ(boxTitles(), (std::vector<std::string>{"Timeout", "Fehler"}));
    EXPECT_EQ(boxes.shown[1].Text, "Der Scanner konnte nicht neu verbunden werden.");
    EXPECT_EQ(shell.CurrentSource, NoHandle);
    EXPECT_EQ(window.scannerLine, "Scanner: keiner gewählt");
    EXPECT_FALSE(window.buttons[MainButton::Scan]);
    EXPECT_TRUE(window.buttons[MainButton::SelectScanner]);
    EXPECT_TRUE(window.buttons[MainButton::Quit]);
}

TEST_F(ScanJobTest, ATimeOutInTheFirstPassEndsTheJobAfterTheMessages)
{
    openScanner();
    scanner.passes = {FakePass::failing(0, TimeoutReason)};
    scriptResultSteps({});
    boxes.queueAnswer(1);

    run();

    EXPECT_EQ(boxTitles(), (std::vector<std::string>{"Timeout"}));
    EXPECT_TRUE(results.empty());
    EXPECT_EQ(window.status, Idle);
    EXPECT_TRUE(window.allButtonsEnabled());
}

TEST_F(ScanJobTest, ASecondBlockFailingAfterAMergeTakesTheTimeOutPath)
{
    openScanner();
    scanner.passes = {FakePass::pages({1, 2, 3}), FakePass::failing(0, TimeoutReason)};
    scriptResultSteps({[this](ScanJobState& job) {
        mergeFronts(shell.settingsState.settings.TmpPath, job.frontCount, 1);
        job.mergedPages = job.frontCount;
        job.nextCycle = 1;
    }});
    boxes.queueAnswer(1);

    run();

    EXPECT_TRUE(effects.messages.shown.empty());
    EXPECT_EQ(boxTitles(), (std::vector<std::string>{"Timeout"}));
    ASSERT_EQ(results.size(), 2U);
    EXPECT_EQ(resultCounters[1].job, 3);
    EXPECT_TRUE(fs::exists(tmp("TmpReadyImg3.bmp")));
}

TEST_F(ScanJobTest, AMismatchOfFrontAndBackSidesAsksHowToGoOn)
{
    struct Case
    {
        const char* label;
        int fronts;
        int backs;
        std::intptr_t answer;
        std::intptr_t expectedDefault;
    };

    const Case cases[] = {
        {"3 fronts, 2 backs, go on", 3, 2, 3, 2},
        {"2 fronts, 3 backs, Esc", 2, 3, 0, 1},
        {"3 fronts, 2 backs, rescan the fronts", 3, 2, 1, 2},
        {"2 fronts, 3 backs, rescan the backs", 2, 3, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(dir.path() / "tmp");
        fs::create_directories(dir.path() / "tmp");
        openScanner();
        boxes.shown.clear();
        std::vector<int> fronts;
        std::vector<int> backs;
        for (int i = 1; i <= c.fronts; ++i) {
            fronts.push_back(i);
        }
        for (int i = 1; i <= c.backs; ++i) {
            backs.push_back(100 + i);
        }
        scanner.passes = {FakePass::pages(fronts), FakePass::pages(backs)};
        // The re-scanned side comes with as many pages as the other one.
        if (c.answer == 1) {
            scanner.passes.push_back(FakePass::pages({11, 12}));
        } else if (c.answer == 2) {
            scanner.passes.push_back(FakePass::pages({111, 112}));
        }
        scriptResultSteps({[](ScanJobState& job) {
            job.backPass = 1;
            job.nextCycle = 1;
        }});
        boxes.queueAnswer(c.answer);

        run();

        ASSERT_EQ(boxes.shown.size(), 1U);
        const ActionBoxParams& question = boxes.shown[0];
        EXPECT_EQ(question.Title, "Fehler");
        EXPECT_EQ(
            question.Text,
            "Die Anzahl der Vorder- und Rückseiten unterscheidet sich:\\n" + std::to_string(c.fronts) +
                " Vorderseiten gescannt\\n" + std::to_string(c.backs) +
                " Rückseiten gescannt\\n\\nWie soll vorgegangen werden?");
        EXPECT_EQ(question.Buttons, "Re-Scan Vorderseiten|Re-Scan Rückseiten|Weiter");
        EXPECT_EQ(question.ButtonCount, 3);
        EXPECT_EQ(question.ButtonWidth, 140);
        EXPECT_EQ(question.Icon, 3);
        EXPECT_EQ(question.DefaultButton, c.expectedDefault);
        ASSERT_EQ(results.size(), 2U);
        const ScanJobState& last = results[1];
        const auto bases = scanner.callsOf(3532);
        if (c.answer == 1 || c.answer == 2) {
            ASSERT_EQ(bases.size(), 3U);
            EXPECT_EQ(bases[2].args.back(), tmp(c.answer == 1 ? "tmpimg.bmp" : "tmpimgr.bmp"));
            EXPECT_EQ(last.frontCount, 2);
            EXPECT_EQ(last.backCount, 2);
            EXPECT_EQ(last.backPass, 1);
            EXPECT_EQ(last.rescanPending, 0);
            EXPECT_EQ(resultCounters[1].job, (c.answer == 1 ? c.backs : c.fronts) + 2);
            EXPECT_EQ(
                stampedIds(tmp(c.answer == 1 ? "tmpimg" : "tmpimgr")),
                (c.answer == 1 ? std::vector<int>{11, 12} : std::vector<int>{111, 112}));
        } else {
            EXPECT_EQ(bases.size(), 2U);
            EXPECT_EQ(last.frontCount, c.fronts);
            EXPECT_EQ(last.backCount, c.backs);
        }
        EXPECT_EQ(bases[1].args.back(), tmp("tmpimgr.bmp"));
        EXPECT_TRUE(boxes.answers.empty());
    }
}

// A rescue acquires nothing, so it offers no re-scan that would delete the pages it rescues.
TEST_F(ScanJobTest, AMismatchInARescueKeepsEveryPage)
{
    struct Case
    {
        const char* label;
        int fronts;
        int backs;
        std::intptr_t answer;
    };

    const Case cases[] = {
        {"3 fronts, 2 backs, go on", 3, 2, 1},
        {"2 fronts, 3 backs, Esc", 2, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(dir.path() / "tmp");
        fs::create_directories(dir.path() / "tmp");
        openScanner();
        boxes.shown.clear();
        for (int i = 0; i < c.fronts; ++i) {
            writeFile(tmp("tmpimg" + std::to_string(i) + ".bmp"), "front");
        }
        for (int i = 0; i < c.backs; ++i) {
            writeFile(tmp("tmpimgr" + std::to_string(i) + ".bmp"), "back");
        }
        const std::set<std::string> rescued = tmpFiles();
        scriptResultSteps({});
        boxes.queueAnswer(c.answer);

        run(1);

        ASSERT_EQ(boxes.shown.size(), 1U);
        const ActionBoxParams& question = boxes.shown[0];
        EXPECT_EQ(question.Title, "Fehler");
        EXPECT_EQ(
            question.Text,
            "Die Anzahl der Vorder- und Rückseiten unterscheidet sich:\\n" + std::to_string(c.fronts) +
                " Vorderseiten gescannt\\n" + std::to_string(c.backs) + " Rückseiten gescannt" +
                std::string(RescueMismatchOutro));
        EXPECT_EQ(question.Buttons, "Weiter");
        EXPECT_EQ(question.ButtonCount, 1);
        EXPECT_EQ(tmpFiles(), rescued);
        EXPECT_TRUE(scanner.callsOf(237).empty());
        ASSERT_EQ(results.size(), 1U);
        EXPECT_EQ(results[0].frontCount, c.fronts);
        EXPECT_EQ(results[0].backCount, c.backs);
        EXPECT_EQ(resultCounters[0].job, c.fronts + c.backs);
    }
}

TEST_F(ScanJobTest, ARescueTakesUpThePageFilesLeftBehind)
{
    for (int k = 1; k <= 4; ++k) {
        writeFile(tmp("TmpReadyImg" + std::to_string(k) + ".bmp"), "page");
    }
    writeFile(tmp("TmpReadyImg6.bmp"), "after a gap");
    scriptResultSteps({});
    scanner.trace.clear();

    run(1);

    EXPECT_TRUE(boxes.shown.empty());
    ASSERT_EQ(results.size(), 1U);
    EXPECT_EQ(results[0].readyCount, 4);
    EXPECT_EQ(results[0].existingPages, 1);
    EXPECT_EQ(results[0].backPass, 0);
    EXPECT_TRUE(scanner.callsOf(237).empty());
    for (const FakeCallRecord& call : scanner.trace) {
        ASSERT_FALSE(call.args.empty());
        EXPECT_EQ(call.args[0], "0") << "call " << call.number;
    }
    EXPECT_EQ(tmpFiles().size(), 5U);
    EXPECT_FALSE(window.buttons[MainButton::Scan]);
    EXPECT_TRUE(window.buttons[MainButton::SelectScanner]);
}

TEST_F(ScanJobTest, ARescueOfAnEmptyFolderSaysSo)
{
    scriptResultSteps({});
    effects.messages.queueAnswer(MessageAnswer::Ok);

    run(1);

    ASSERT_EQ(effects.messages.shown.size(), 1U);
    EXPECT_EQ(effects.messages.shown[0].text, "Keine zu rettenden Grafikdateien gefunden.");
    EXPECT_TRUE(results.empty());
    EXPECT_EQ(window.status, Idle);
    EXPECT_TRUE(window.buttons[MainButton::SelectScanner]);
}

TEST_F(ScanJobTest, WithoutAResultStepTheJobEndsAndKeepsTheScanFiles)
{
    openScanner();
    scanner.passes = {FakePass::pages({1, 2})};

    run();

    EXPECT_EQ(tmpFiles(), (std::set<std::string>{"tmpimg0.bmp", "tmpimg1.bmp"}));
    EXPECT_EQ(window.status, Idle);
    EXPECT_TRUE(window.allButtonsEnabled());
}

TEST_F(ScanJobTest, TheCleanUpDeletesOnlyTheProgramsOwnFiles)
{
    const std::vector<std::string> files = {
        "TMPIMG3.BMP",
        "tmpimg0.bmp",
        "tmpimgr0.bmp",
        "tmpimgr21.bmp",
        "TmpReadyImg1.bmp",
        "TmpReadyImg1_edited.bmp",
        "TmpReadyImg1.jpg",
        "MultiPage_2.tiff",
        "FolvexSaved.txt",
        "x.folvex-tmp",
        "notes.txt",
        "Foto.jpg",
        "scan.bmp"};
    const std::set<std::string> others = {"notes.txt", "Foto.jpg", "scan.bmp", "Unterordner"};

    struct Case
    {
        TempCleanUp mode;
        std::set<std::string> survivors;
    };

    const Case cases[] = {
        {TempCleanUp::FrontSides,
         {"tmpimgr0.bmp", "tmpimgr21.bmp", "TmpReadyImg1.bmp", "TmpReadyImg1_edited.bmp"}},
        {TempCleanUp::BackSides,
         {"TMPIMG3.BMP", "tmpimg0.bmp", "TmpReadyImg1.bmp", "TmpReadyImg1_edited.bmp"}},
        {TempCleanUp::Everything, {}},
    };
    ScanJobContext context{shell, scanner, window, dialogs, {}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        for (const std::string& name : files) {
            writeFile(tmp(name), "x");
        }
        fs::create_directories(dir.path() / "tmp" / "Unterordner");
        writeFile(tmp("Unterordner/tmpimg0.bmp"), "x");
        window.status = "Status: vorher";
        window.statusHistory.clear();

        DeleteOldTempFiles(context, static_cast<std::int32_t>(c.mode));

        std::set<std::string> expected = c.survivors;
        expected.insert(others.begin(), others.end());
        EXPECT_EQ(tmpFiles(), expected);
        EXPECT_TRUE(fs::exists(tmp("Unterordner/tmpimg0.bmp")));
        EXPECT_EQ(
            window.statusHistory,
            (std::vector<std::string>{"Status: alte temporäre Dateien löschen...", "Status: vorher"}));
        fs::remove_all(dir.path() / "tmp");
        fs::create_directories(dir.path() / "tmp");
    }
    shell.settingsState.settings.TmpPath = dir.file("fehlt");
    DeleteOldTempFiles(context, 3);
    EXPECT_EQ(window.status, "Status: vorher");
}

TEST_F(ScanJobTest, ANewJobStartsOnAnEmptyFolderOfItsOwnFiles)
{
    openScanner();
    writeFile(tmp("TmpReadyImg1.bmp"), "old");
    writeFile(tmp("tmpimgr0.bmp"), "old");
    writeFile(tmp("notes.txt"), "kept");
    scanner.passes = {FakePass::pages({1})};
    scriptResultSteps({});
    boxes.queueAnswer(2); // "Seiten löschen"

    run();

    EXPECT_EQ(tmpFiles(), (std::set<std::string>{"notes.txt", "tmpimg0.bmp"}));
}

} // namespace
} // namespace folvex
