// Scanner selection on the SANE "test" backend: each case runs in a child process with its own
// QApplication, a private SANE configuration and a program folder of its own.

#include "foundation/twain_binding.h"
#include "sane_test_backend.h"
#include "shell/scanner_selection.h"
#include "shell/scanner_selection_view_qt.h"
#include "support/action_box_fakes.h"
#include "support/fakes.h"
#include "support/scanner_selection_parts.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace folvex {
namespace {

using testing::runSaneCase;
using testing::SaneTestConfig;

constexpr int CaseTimeoutMs = 40000;
constexpr ScreenRect StartRect{100, 100, 700, 500};
const std::string TestDevice0 = "Noname frontend-tester (test:0)";
const std::string TestDevice1 = "Noname frontend-tester (test:1)";

// The program's start-up as far as the scanner is concerned: the settings read from the program
// folder, the main window's parts as they are made, the library on the test backend.
struct SaneStartUp : testing::ScannerSelectionParts
{
    testing::ScopedFakeEffects effects;
    testing::ScriptedActionBoxAnswerer boxes;
    testing::ScriptedSaneDialogs dialogs;
    SaneScannerLibrary library{dialogs, testing::testTimeouts()};

    explicit SaneStartUp(const std::string& programDir)
    {
        state.ProgramDir = programDir;
        chooseTmpPath(state);
        setSettingDefaults(state);
        loadSettings(state, StartRect, false);
        paperSource->addItem(QStringLiteral("Flachbettauflage"));
        // Enabled, so that the selection must decide about it.
        duplexBox->setEnabled(true);
        scanButton->setEnabled(false);
        EXPECT_EQ(library.initialize(), 1);
        installDTwainBinding(&library);
    }

    ~SaneStartUp() { installDTwainBinding(nullptr); }

    SaneStartUp(const SaneStartUp&) = delete;
    SaneStartUp& operator=(const SaneStartUp&) = delete;
};

void inApplication(const SaneTestConfig& config, const std::function<void()>& body)
{
    runSaneCase(config, CaseTimeoutMs, [&] {
        static int argc = 1;
        static char name[] = "folvex_scanner_selection_sane_tests";
        static char* argv[] = {name, nullptr};
        QApplication app(argc, argv);
        body();
    });
}

// Writes the two settings a previous run would have left in the program folder's settings file.
void storeLastScanner(
    const std::string& programDir, const std::string& name, const std::string& openOnStartUp)
{
    testing::ScopedFakeEffects effects;
    SettingsState state;
    state.ProgramDir = programDir;
    chooseTmpPath(state);
    setSettingDefaults(state);
    loadSettings(state, StartRect, false);
    EXPECT_EQ(writeSetting(state, "LAST_VALUES", "LastSourceName", name), 1);
    EXPECT_EQ(writeSetting(state, "ALLGEMEINES", "OpenLastScannerOnStartup", openOnStartUp), 1);
}

TEST(SelectScannerSaneTest, StartUpWithAStoredScanner)
{
    struct Row
    {
        const char* label;
        std::string stored;
        std::string openOnStartUp;
        std::string scannerLine;
        std::vector<std::string> paperItems;
        bool duplexEnabled;
        bool scanEnabled;
        std::vector<std::string> splash;
    };

    const Row rows[] = {
        {"a test device",
         TestDevice1,
         "1",
         "Scanner: " + TestDevice1,
         {"Flachbettauflage", "Einzelblatteinzug"},
         false,
         true,
         {"letzten Scanner öffnen..."}},
        {"a device that is gone",
         "Noname frontend-tester (test:7)",
         "1",
         "Scanner: keiner gewählt",
         {"Flachbettauflage"},
         true,
         false,
         {"letzten Scanner öffnen..."}},
        {"opening at start-up switched off",
         TestDevice0,
         "0",
         "Scanner: keiner gewählt",
         {"Flachbettauflage"},
         true,
         false,
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        SaneTestConfig config;
        inApplication(config, [&] {
            storeLastScanner(config.work() + "/", row.stored, row.openOnStartUp);
            SaneStartUp startUp(config.work() + "/");
            ASSERT_EQ(startUp.state.settings.LastSourceName, row.stored);
            std::vector<std::string> splash;
            const SourceHandle opened = selectLastScannerAtStartUp(
                startUp.context, [&splash](const std::string& text) { splash.push_back(text); });
            EXPECT_EQ(opened, startUp.currentSource);
            EXPECT_EQ(opened != NoHandle, row.scanEnabled);
            EXPECT_EQ(splash, row.splash);
            EXPECT_EQ(startUp.scannerLine->text().toStdString(), row.scannerLine);
            EXPECT_EQ(startUp.paperItems(), row.paperItems);
            EXPECT_EQ(startUp.duplexBox->isEnabled(), row.duplexEnabled);
            EXPECT_EQ(startUp.scanButton->isEnabled(), row.scanEnabled);
            EXPECT_EQ(startUp.statusLine->text(), QStringLiteral("Status: unbeschäftigt"));
            EXPECT_TRUE(startUp.boxes.shown.empty());
            EXPECT_TRUE(startUp.effects.messages.shown.empty());
        });
    }
}

TEST(SelectScannerSaneTest, ChosenDeviceIsOpenedAgainAtTheNextStart)
{
    SaneTestConfig config;
    inApplication(config, [&] {
        const std::string programDir = config.work() + "/";
        {
            SaneStartUp first(programDir);
            EXPECT_EQ(selectLastScannerAtStartUp(first.context, {}), NoHandle);
            first.dialogs.choice = TestDevice1;
            const SourceHandle chosen = SelectScanner(first.context, "");
            EXPECT_NE(chosen, NoHandle);
            EXPECT_EQ(first.dialogs.listed, (std::vector<std::string>{TestDevice0, TestDevice1}));
            EXPECT_EQ(first.scannerLine->text().toStdString(), "Scanner: " + TestDevice1);
            EXPECT_EQ(
                first.paperItems(), (std::vector<std::string>{"Flachbettauflage", "Einzelblatteinzug"}));
            EXPECT_TRUE(first.scanButton->isEnabled());
            EXPECT_EQ(readSetting(first.state, "LAST_VALUES", "LastSourceName"), TestDevice1);

            // Cancelling the dialog keeps that device open.
            first.dialogs.choice.reset();
            EXPECT_EQ(SelectScanner(first.context, ""), chosen);
            EXPECT_NE(first.library.hasFeeder(chosen), 0) << "the device is open again";
            EXPECT_EQ(first.scannerLine->text().toStdString(), "Scanner: " + TestDevice1);
            EXPECT_TRUE(first.boxes.shown.empty());
            first.library.closeSource(chosen);
        }
        SaneStartUp next(programDir);
        std::vector<std::string> splash;
        EXPECT_NE(
            selectLastScannerAtStartUp(
                next.context, [&splash](const std::string& text) { splash.push_back(text); }),
            NoHandle);
        EXPECT_EQ(splash, (std::vector<std::string>{"letzten Scanner öffnen..."}));
        EXPECT_EQ(next.scannerLine->text().toStdString(), "Scanner: " + TestDevice1);
        EXPECT_TRUE(next.scanButton->isEnabled());
    });
}

} // namespace
} // namespace folvex
