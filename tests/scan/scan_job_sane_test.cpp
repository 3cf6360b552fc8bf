// The scan job on the SANE "test" backend: each case runs in a child process with its own
// QApplication and a private SANE configuration under a watchdog.

#include "sane_test_backend.h"
#include "scan/scan_job.h"
#include "scan/scan_result.h"
#include "scan_job_fakes.h"
#include "shell/settings.h"
#include "support/action_box_fakes.h"
#include "support/fakes.h"
#include "twain/bmp_page.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <filesystem>
#include <functional>

namespace folvex {
namespace {

using testing::bitsOf;
using testing::CaseTimeoutMs;
using testing::dotsPerMetreOf;
using testing::filesIn;
using testing::SaneTestConfig;
using testing::TestDevice0;

const std::string Feeder = "Einzelblatteinzug";

// A job's surroundings on the test backend: the shell's variables with a temporary folder below the
// case's work folder, test:0 opened by name, the pages counted as the shell's callback counts them.
struct SaneJob
{
    testing::ScopedFakeEffects effects;
    testing::ScriptedActionBoxAnswerer boxes;
    testing::ScriptedSaneDialogs dialogs;
    SaneScannerLibrary library{dialogs, testing::testTimeouts()};
    testing::RecordingWindow window;
    testing::RecordingDialogs jobDialogs;
    ShellState shell;
    std::vector<ScanJobState> results;
    std::function<void(int)> onPage;

    SaneJob(const std::string& work, const std::string& tmpPath)
    {
        allocateMainProgramTables(shell);
        shell.settingsState.ProgramDir = work + "/";
        shell.settingsState.settings.TmpPath = tmpPath;
        EXPECT_EQ(library.initialize(), 1);
        library.setNotificationCallback(
            [this](std::int32_t code, std::int32_t, std::int64_t) {
                if (code == static_cast<std::int32_t>(ScannerNotification::PageAcquired)) {
                    ++shell.ScanCounters.pass;
                    ++shell.ScanCounters.job;
                    if (onPage) {
                        onPage(shell.ScanCounters.pass - 1);
                    }
                }
                return 1;
            },
            0,
            0);
        shell.CurrentSource = library.selectSourceByName(TestDevice0);
        EXPECT_NE(shell.CurrentSource, NoHandle);
        shell.settingsState.settings.LastSourceName = TestDevice0;
        window.selectors[ScanSelector::ColourMode] = "Graustufen";
        window.selectors[ScanSelector::Resolution] = "100 dpi";
    }

    void run()
    {
        ScanJobContext context{
            shell, library, window, jobDialogs, [this](ScanJobContext&, ScanJobState& job) {
                results.push_back(job);
                job.nextCycle = 0;
            }};
        ScanAndSave(context, 0);
    }

    std::vector<std::string> boxTitles() const { return boxes.titles(); }
};

void inApplication(const SaneTestConfig& config, const std::function<void()>& body)
{
    testing::runSaneCase(config, CaseTimeoutMs, [&] {
        static int argc = 1;
        static char name[] = "folvex_scan_sane_tests";
        static char* argv[] = {name, nullptr};
        QApplication app(argc, argv);
        body();
    });
}

std::vector<std::string> scanFiles(int count)
{
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        names.push_back("tmpimg" + std::to_string(i) + ".bmp");
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ScanJobSaneTest, TheFeederGivesTenGreyPagesWithTheirResolution)
{
    SaneTestConfig config;
    const std::string tmp = config.work() + "/tmp";
    std::filesystem::create_directories(tmp);
    inApplication(config, [&] {
        SaneJob job(config.work(), tmp);
        job.window.selectors[ScanSelector::PaperSource] = Feeder;

        job.run();

        EXPECT_TRUE(job.boxes.shown.empty());
        ASSERT_EQ(job.results.size(), 1U);
        EXPECT_EQ(job.results[0].frontCount, 10);
        EXPECT_EQ(job.shell.ScanCounters.pass, 10);
        EXPECT_EQ(job.shell.ScanCounters.job, 10);
        EXPECT_EQ(readSetting(job.shell.settingsState, "SOURCE " + TestDevice0, "LastPageOrigin"), Feeder);
    });
    ASSERT_EQ(filesIn(tmp), scanFiles(10));
    for (const std::string& name : scanFiles(10)) {
        SCOPED_TRACE(name);
        EXPECT_EQ(bitsOf(tmp + "/" + name), 8);
        EXPECT_EQ(dotsPerMetreOf(tmp + "/" + name), 3937);
    }
}

TEST(ScanJobSaneTest, ScanningOnRefillsTheFeederAndSavingHandsOverEveryPage)
{
    SaneTestConfig config;
    const std::string tmp = config.work() + "/tmp";
    std::filesystem::create_directories(tmp);
    std::vector<std::string> pages;
    for (int k = 1; k <= 20; ++k) {
        pages.push_back("TmpReadyImg" + std::to_string(k) + ".bmp");
    }
    inApplication(config, [&] {
        SaneJob job(config.work(), tmp);
        job.window.selectors[ScanSelector::PaperSource] = Feeder;
        std::vector<std::string> handed;
        WriterTable writers{{"PDF", [&handed](ScanJobContext& context, ScanJobState& state) {
                                 const std::string& folder = context.shell.settingsState.settings.TmpPath;
                                 for (int k = 1; k <= state.mergedPages; ++k) {
                                     const std::string name = "TmpReadyImg" + std::to_string(k) + ".bmp";
                                     if (std::filesystem::exists(folder + "/" + name)) {
                                         handed.push_back(name);
                                     }
                                 }
                                 return WriterOutcome::Written;
                             }}};
        job.boxes.answers = {3, 1}; // "Weiterscannen", then "Speichern"
        ScanJobContext context{
            job.shell, job.library, job.window, job.jobDialogs, runScanResult, nullptr, writers};

        ScanAndSave(context, 0);

        ASSERT_EQ(job.boxTitles(), (std::vector<std::string>{"Scannen ok", "Scannen ok"}));
        EXPECT_EQ(job.boxes.shown[0].Text, "Scannen erfolgreich (10 Seiten)");
        EXPECT_EQ(job.boxes.shown[1].Text, R"(Scannen erfolgreich (10 Seiten)\n\nGesamtzahl Seiten: 20)");
        EXPECT_EQ(handed, pages);
    });
    std::sort(pages.begin(), pages.end());
    EXPECT_EQ(filesIn(tmp), pages);
}

TEST(ScanJobSaneTest, TheFlatbedGivesOnePage)
{
    SaneTestConfig config;
    const std::string tmp = config.work() + "/tmp";
    std::filesystem::create_directories(tmp);
    inApplication(config, [&] {
        SaneJob job(config.work(), tmp);
        job.run();
        ASSERT_EQ(job.results.size(), 1U);
        EXPECT_EQ(job.results[0].frontCount, 1);
    });
    EXPECT_EQ(filesIn(tmp), scanFiles(1));
}

TEST(ScanJobSaneTest, DeviceErrorsEndTheJobOrReconnect)
{
    struct Row
    {
        const char* status;
        std::vector<std::string> titles;
        bool reconnected;
    };

    const Row rows[] = {
        {"SANE_STATUS_JAMMED", {"Fehler"}, false},
        {"SANE_STATUS_IO_ERROR", {"Timeout"}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.status);
        SaneTestConfig config({{"read-status-code", std::string("\"") + row.status + "\""}});
        const std::string tmp = config.work() + "/tmp";
        std::filesystem::create_directories(tmp);
        inApplication(config, [&] {
            SaneJob job(config.work(), tmp);
            const SourceHandle before = job.shell.CurrentSource;
            job.boxes.queueAnswer(1);

            job.run();

            EXPECT_EQ(job.boxTitles(), row.titles);
            EXPECT_TRUE(job.results.empty());
            EXPECT_EQ(job.window.status, testing::Idle);
            if (row.reconnected) {
                EXPECT_EQ(
                    job.jobDialogs.waitEvents,
                    (std::vector<std::string>{"open Verbinde Scanner...", "close"}));
                EXPECT_NE(job.shell.CurrentSource, NoHandle);
                EXPECT_NE(job.shell.CurrentSource, before);
                EXPECT_NE(job.library.hasFeeder(job.shell.CurrentSource), 0) << "the new source answers";
            } else {
                EXPECT_EQ(job.boxes.shown[0].Text, "Scannen fehlgeschlagen.");
                EXPECT_EQ(job.shell.CurrentSource, before);
            }
        });
        EXPECT_TRUE(filesIn(tmp).empty());
    }
}

TEST(ScanJobSaneTest, CancelInASlowFeederPassKeepsTheFinishedPages)
{
    SaneTestConfig config({
        {"read-limit", "true"},
        {"read-limit-size", "4096"},
        {"read-delay", "true"},
        {"read-delay-duration", "200000"},
    });
    const std::string tmp = config.work() + "/tmp";
    std::filesystem::create_directories(tmp);
    inApplication(config, [&] {
        SaneJob job(config.work(), tmp);
        job.window.selectors[ScanSelector::PaperSource] = Feeder;
        job.onPage = [&job](int index) {
            if (index == 0) {
                job.dialogs.pressCancel();
            }
        };
        job.boxes.queueAnswer(1);

        job.run();

        EXPECT_EQ(job.boxTitles(), (std::vector<std::string>{"Scanabbruch"}));
        EXPECT_EQ(job.boxes.shown[0].Text, "Scannen vom Anwender abgebrochen.");
        EXPECT_TRUE(job.results.empty());
        const std::int32_t pages = job.shell.ScanCounters.job;
        EXPECT_GE(pages, 1);
        EXPECT_LT(pages, 10);
        EXPECT_EQ(filesIn(tmp), scanFiles(pages));
    });
}

TEST(ScanJobSaneTest, ATemporaryFolderThatCannotBeMadeGivesTheWriteRightsNoteWithTheReason)
{
    SaneTestConfig config;
    testing::writeFile(config.work() + "/plain", "not a folder");
    const std::string tmp = config.work() + "/plain/tmp";
    inApplication(config, [&] {
        SaneJob job(config.work(), tmp);
        job.effects.messages.queueAnswer(MessageAnswer::Ok);

        job.run();

        ASSERT_EQ(job.effects.messages.shown.size(), 1U);
        const std::string& note = job.effects.messages.shown[0].text;
        EXPECT_EQ(
            note.find("Sie besitzen keine ausreichenden Schreibrechte im Ordner\r\r" + tmp + "\r\r"), 0U)
            << note;
        // The system's reason in German, and no advice that does not apply here.
        const std::string end = "Pfad.\r\rGrund: der Ordner fehlt.";
        ASSERT_GE(note.size(), end.size());
        EXPECT_EQ(note.substr(note.size() - end.size()), end);
        EXPECT_EQ(note.find("Administrator"), std::string::npos);
        EXPECT_TRUE(job.results.empty());
    });
}

} // namespace
} // namespace folvex
