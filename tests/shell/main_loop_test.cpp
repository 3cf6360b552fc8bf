#include "shell/main_loop.h"

#include "foundation/twain_binding.h"
#include "shell/scanner_selection.h"
#include "support/fakes.h"
#include "support/temp_dir.h"
#include "twain/fake_scanner_library.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace folvex {
namespace {

using testing::FakeProcessRunner;
using testing::TempDir;

constexpr Handle MainWindowHandle = 5001;
constexpr Handle OtherWindowHandle = 5002;
constexpr int ControlEvent = 1;

class FakePort final : public MainLoopPort
{
public:
    std::string paperSourceText() override { return paperSource; }

    void setDuplexBoxEnabled(bool enabled) override
    {
        duplexEnabled = enabled;
        ++duplexUpdates;
    }

    LoopEvent waitForEvent() override
    {
        if (events.empty()) {
            ADD_FAILURE() << "the loop waited with no event queued";
            return {MenuEvent, MainWindowHandle, static_cast<int>(MenuItem::Quit)};
        }
        const LoopEvent event = events.front();
        events.pop_front();
        return event;
    }

    Handle mainWindow() override { return MainWindowHandle; }

    bool buttonClicked(MainButton button) override
    {
        ++flagReads[button];
        const bool clicked = flags[button];
        flags[button] = false;
        return clicked;
    }

    bool escapeDown() override
    {
        if (escapePolls > 0) {
            --escapePolls;
            return true;
        }
        return false;
    }

    bool mainWindowActive() override { return active; }

    void pause(int ms) override { pauses.push_back(ms); }

    void setMenuItemEnabled(MenuItem item, bool enabled) override { menuEnabled[item] = enabled; }

    std::intptr_t showBox(const ShellBox& box) override
    {
        boxes.push_back(box);
        if (boxAnswers.empty()) {
            ADD_FAILURE() << "unexpected box " << box.Title;
            return 0;
        }
        const std::intptr_t answer = boxAnswers.front();
        boxAnswers.pop_front();
        return answer;
    }

    void placeMainWindow(const ScreenRect& outer) override { placed.push_back(outer); }

    void postWakeUp() override
    {
        ++wakeUps;
        events.push_back({4, MainWindowHandle, 0});
    }

    std::string paperSource = std::string(FlatbedPaperSource);
    std::optional<bool> duplexEnabled;
    int duplexUpdates = 0;
    std::deque<LoopEvent> events;
    std::map<MainButton, bool> flags;
    std::map<MainButton, int> flagReads;
    int escapePolls = 0; // escapeDown() answers true this many times
    bool active = true;
    std::vector<int> pauses;
    std::map<MenuItem, bool> menuEnabled;
    std::deque<std::intptr_t> boxAnswers;
    std::vector<ShellBox> boxes;
    std::vector<ScreenRect> placed;
    int wakeUps = 0;
};

// Entry points that record their calls as texts.
struct RecordedCalls
{
    std::vector<std::string> calls;
    std::vector<int> importRunningSeen;

    void install(ShellState& state)
    {
        ShellEntryPoints& e = state.entryPoints;
        e.ScanAndSave = [this](std::uint8_t existing) {
            calls.push_back("ScanAndSave " + std::to_string(existing));
            return 0;
        };
        e.SelectScanner = [this](const std::string& name) {
            calls.push_back("SelectScanner '" + name + "'");
            return NoHandle;
        };
        auto import = [this, &state](const char* name) {
            return [this, &state, name] {
                importRunningSeen.push_back(state.ImportRunning);
                calls.push_back(name);
            };
        };
        e.ImportImageFiles = import("ImportImageFiles");
        e.ImportMultipageTiff = import("ImportMultipageTiff");
        e.ImportPdfViaGhostscript = import("ImportPdfViaGhostscript");
        e.OptionsDialog = [this] { calls.push_back("OptionsDialog"); };
        e.AboutBox = [this] { calls.push_back("AboutBox"); };
        e.ShowLicence = [this](int index) { calls.push_back("ShowLicence " + std::to_string(index)); };
        e.StartUpdateChecker = [this] { calls.push_back("StartUpdateChecker"); };
    }
};

LoopEvent menuEvent(MenuItem item)
{
    return {MenuEvent, MainWindowHandle, static_cast<int>(item)};
}

class MainLoopTest : public ::testing::Test
{
protected:
    MainLoopTest()
    {
        state.settingsState.ProgramDir = programDir.folder();
        state.StartRect = {100, 80, 696, 345};
        recorded.install(state);
        m_previousRunner = effects().processes;
        effects().processes = &runner;
    }

    ~MainLoopTest() override { effects().processes = m_previousRunner; }

    TempDir programDir;
    ShellState state;
    FakePort port;
    RecordedCalls recorded;
    FakeProcessRunner runner;
    testing::ScopedFakeEffects fakeEffects;

private:
    ProcessRunner* m_previousRunner = nullptr;
};

struct DispatchCase
{
    const char* label;
    LoopEvent event;
    std::vector<MainButton> flagged;
    bool escape;
    bool quitRequest;
    bool ends;
    std::vector<std::string> calls;
};

TEST_F(MainLoopTest, OneTurnDispatchesTheFirstMatchingTest)
{
    const LoopEvent control{ControlEvent, MainWindowHandle, 0};
    const DispatchCase cases[] = {
        {"close box of the main window", {CloseEvent, MainWindowHandle, 0}, {}, false, false, true, {}},
        {"close of another window", {CloseEvent, OtherWindowHandle, 0}, {}, false, false, false, {}},
        {"Programmende button", control, {MainButton::Quit}, false, false, true, {}},
        {"Esc in the main window", control, {}, true, false, true, {}},
        {"menu 190", menuEvent(MenuItem::Quit), {}, false, false, true, {}},
        {"quit request", control, {}, false, true, true, {}},
        {"Scannen", control, {MainButton::Scan}, false, false, false, {"ScanAndSave 0"}},
        {"menu 110", menuEvent(MenuItem::RescuePages), {}, false, false, false, {"ScanAndSave 1"}},
        {"menu 120", menuEvent(MenuItem::ImportImages), {}, false, false, false, {"ImportImageFiles"}},
        {"menu 130",
         menuEvent(MenuItem::ImportMultipageTiff),
         {},
         false,
         false,
         false,
         {"ImportMultipageTiff"}},
        {"menu 140", menuEvent(MenuItem::ImportPdf), {}, false, false, false, {"ImportPdfViaGhostscript"}},
        {"Scanner auswählen",
         control,
         {MainButton::SelectScanner},
         false,
         false,
         false,
         {"SelectScanner ''"}},
        {"menu 800", menuEvent(MenuItem::Options), {}, false, false, false, {"OptionsDialog"}},
        {"menu 920", menuEvent(MenuItem::UpdateChecker), {}, false, false, false, {"StartUpdateChecker"}},
        {"menu 940", menuEvent(MenuItem::ProgramLicence), {}, false, false, false, {"ShowLicence 1"}},
        {"menu 950", menuEvent(MenuItem::ScannerLibraryLicence), {}, false, false, false, {"ShowLicence 2"}},
        {"menu 960", menuEvent(MenuItem::ImageLibraryLicence), {}, false, false, false, {"ShowLicence 3"}},
        {"menu 900", menuEvent(MenuItem::About), {}, false, false, false, {"AboutBox"}},
        {"Scannen wins over menu 110",
         menuEvent(MenuItem::RescuePages),
         {MainButton::Scan},
         false,
         false,
         false,
         {"ScanAndSave 0"}},
        {"menu 120 wins over Scanner auswählen",
         menuEvent(MenuItem::ImportImages),
         {MainButton::SelectScanner},
         false,
         false,
         false,
         {"ImportImageFiles"}},
        {"quit wins over Scannen", menuEvent(MenuItem::Quit), {MainButton::Scan}, false, false, true, {}},
        {"a menu id only counts for menu events",
         {ControlEvent, MainWindowHandle, static_cast<int>(MenuItem::RescuePages)},
         {},
         false,
         false,
         false,
         {}},
        {"a plain control event", control, {}, false, false, false, {}},
    };
    for (const DispatchCase& c : cases) {
        SCOPED_TRACE(c.label);
        ShellState fresh;
        fresh.settingsState.ProgramDir = programDir.folder();
        RecordedCalls calls;
        calls.install(fresh);
        FakePort fakePort;
        fakePort.events.push_back(c.event);
        for (const MainButton button : c.flagged) {
            fakePort.flags[button] = true;
        }
        fakePort.escapePolls = c.escape ? 1 : 0;
        fresh.QuitRequest = c.quitRequest ? QuitRequested : 0;

        runMainLoopTurn(fresh, fakePort);

        EXPECT_EQ(fresh.EndProgram, c.ends ? 1 : 0);
        EXPECT_EQ(calls.calls, c.calls);
        EXPECT_EQ(fresh.currentMenuId, 0);
        EXPECT_EQ(fresh.ImportRunning, 0);
        EXPECT_EQ(fresh.currentEvent, c.event.kind);
    }
}

TEST_F(MainLoopTest, CloseEventLeavesTheQuitButtonFlagUnread)
{
    port.events.push_back({CloseEvent, MainWindowHandle, 0});
    port.flags[MainButton::Quit] = true;
    runMainLoopTurn(state, port);
    EXPECT_EQ(state.EndProgram, 1);
    EXPECT_EQ(port.flagReads[MainButton::Quit], 0);
    EXPECT_TRUE(port.flags[MainButton::Quit]);
}

TEST_F(MainLoopTest, EscapeWhileAnotherWindowIsActiveDoesNotQuit)
{
    port.events.push_back({ControlEvent, MainWindowHandle, 0});
    port.escapePolls = 1;
    port.active = false;
    runMainLoopTurn(state, port);
    EXPECT_EQ(state.EndProgram, 0);
}

TEST_F(MainLoopTest, EscapeTappedInTheMainWindowQuitsAfterItsRelease)
{
    struct TapCase
    {
        const char* label;
        LoopEvent event;
        bool active;
        bool quits;
    };

    const TapCase cases[] = {
        {"Esc in the main window", {KeyEvent, MainWindowHandle, 0, EscapeKey}, true, true},
        {"Return in the main window", {KeyEvent, MainWindowHandle, 0, 13}, true, false},
        {"Esc in another window", {KeyEvent, OtherWindowHandle, 0, EscapeKey}, true, false},
        {"Esc, then another window came to the front",
         {KeyEvent, MainWindowHandle, 0, EscapeKey},
         false,
         false},
    };
    for (const TapCase& c : cases) {
        SCOPED_TRACE(c.label);
        state.EndProgram = 0;
        port.events.push_back(c.event);
        port.active = c.active;
        runMainLoopTurn(state, port); // the key is up again by now
        EXPECT_EQ(state.EndProgram, c.quits ? 1 : 0);
        EXPECT_TRUE(port.pauses.empty());
    }
}

TEST_F(MainLoopTest, HeldEscapeDelaysTheEndUntilReleased)
{
    port.events.push_back({ControlEvent, MainWindowHandle, 0});
    port.escapePolls = 4; // the quit test, then held for three more polls
    runMainLoopTurn(state, port);
    EXPECT_EQ(state.EndProgram, 1);
    EXPECT_EQ(port.pauses, (std::vector<int>{EscapePollMs, EscapePollMs, EscapePollMs}));
}

TEST_F(MainLoopTest, ImportersRunWithImportRunningSet)
{
    for (const MenuItem item : {MenuItem::ImportImages, MenuItem::ImportMultipageTiff, MenuItem::ImportPdf}) {
        port.events.push_back(menuEvent(item));
        runMainLoopTurn(state, port);
    }
    EXPECT_EQ(recorded.importRunningSeen, (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(state.ImportRunning, 0);
}

TEST_F(MainLoopTest, ClicksMadeDuringAnActionAreDiscardedWhenItReturns)
{
    state.entryPoints.OptionsDialog = [this] {
        recorded.calls.push_back("OptionsDialog");
        // The user clicks the main window's buttons while the dialog runs its own loop.
        for (const MainButton button : AllMainButtons) {
            port.flags[button] = true;
        }
    };
    port.events.push_back(menuEvent(MenuItem::Options));
    port.events.push_back({ControlEvent, MainWindowHandle, 0});
    runMainLoopTurn(state, port);
    runMainLoopTurn(state, port);
    EXPECT_EQ(recorded.calls, (std::vector<std::string>{"OptionsDialog"}));
    EXPECT_EQ(state.EndProgram, 0);
}

TEST_F(MainLoopTest, QuitRequestDuringAnActionEndsTheLoopOnceItReturns)
{
    state.entryPoints.AboutBox = [this] { state.QuitRequest = QuitRequested; };
    port.events.push_back(menuEvent(MenuItem::About));
    runMainLoop(state, port);
    EXPECT_EQ(port.wakeUps, 1);
    EXPECT_EQ(state.EndProgram, 1);
}

TEST_F(MainLoopTest, LoopRunsUntilAQuitTestMatches)
{
    port.events.push_back({ControlEvent, MainWindowHandle, 0});
    port.events.push_back(menuEvent(MenuItem::About));
    port.events.push_back(menuEvent(MenuItem::Quit));
    runMainLoop(state, port);
    EXPECT_EQ(recorded.calls, (std::vector<std::string>{"AboutBox"}));
    EXPECT_TRUE(port.events.empty());
}

struct DuplexCase
{
    const char* label;
    std::string paperSource;
    bool scannerOpen;
    bool feeder;
    bool duplex;
    std::optional<bool> expected; // nullopt: the box keeps its state
};

TEST_F(MainLoopTest, DuplexRuleOnTheFirstTurn)
{
    const std::string feeder(FeederPaperSource);
    const DuplexCase cases[] = {
        {"flatbed without scanner", std::string(FlatbedPaperSource), false, false, false, false},
        {"flatbed with a duplex scanner", std::string(FlatbedPaperSource), true, true, true, false},
        {"feeder without scanner", feeder, false, false, false, true},
        {"feeder with a duplex feeder scanner", feeder, true, true, true, true},
        {"feeder with a simplex feeder scanner", feeder, true, true, false, std::nullopt},
        {"feeder with a flatbed scanner", feeder, true, false, true, std::nullopt},
    };
    for (const DuplexCase& c : cases) {
        SCOPED_TRACE(c.label);
        FakeScannerLibrary library;
        library.devices.push_back({"Acme", "S1", "acme:0", true, c.feeder, c.duplex});
        installDTwainBinding(&library);
        library.initialize();
        ShellState fresh;
        fresh.settingsState.ProgramDir = programDir.folder();
        fresh.settingsState.settings.PreviousPaperSource = c.paperSource; // as read from the settings
        if (c.scannerOpen) {
            fresh.CurrentSource = library.selectSourceByName("Acme S1");
            ASSERT_NE(fresh.CurrentSource, NoHandle);
        }
        FakePort fakePort;
        fakePort.paperSource = c.paperSource;
        fakePort.events.push_back({ControlEvent, MainWindowHandle, 0});
        fakePort.events.push_back(menuEvent(MenuItem::Quit));

        runMainLoop(fresh, fakePort);

        EXPECT_EQ(fakePort.duplexEnabled, c.expected);
        EXPECT_EQ(fresh.settingsState.settings.PreviousPaperSource, c.paperSource);
        installDTwainBinding(nullptr);
    }
}

TEST_F(MainLoopTest, DuplexBoxIsSetOnlyWhenThePaperSourceChanges)
{
    port.paperSource = std::string(FeederPaperSource);
    port.events.push_back({ControlEvent, MainWindowHandle, 0});
    port.events.push_back({ControlEvent, MainWindowHandle, 0});
    runMainLoopTurn(state, port);
    runMainLoopTurn(state, port);
    EXPECT_EQ(port.duplexUpdates, 1);
    port.paperSource = std::string(FlatbedPaperSource);
    port.events.push_back({ControlEvent, MainWindowHandle, 0});
    runMainLoopTurn(state, port);
    EXPECT_EQ(port.duplexUpdates, 2);
    EXPECT_EQ(port.duplexEnabled, false);
}

TEST_F(MainLoopTest, OpenLastOutputWithNoFileDoesNothing)
{
    port.events.push_back(menuEvent(MenuItem::OpenLastOutput));
    port.events.push_back({ControlEvent, MainWindowHandle, 0});
    port.flags[MainButton::OpenLastOutput] = true;
    runMainLoopTurn(state, port);
    runMainLoopTurn(state, port);
    EXPECT_TRUE(port.boxes.empty());
    EXPECT_TRUE(port.menuEnabled.empty());
    EXPECT_TRUE(runner.started.empty());
}

TEST_F(MainLoopTest, OpenLastOutputThatIsGoneDisablesTheItemAndSaysSo)
{
    const std::string empty = programDir.file("empty.pdf");
    testing::writeFile(empty, "");
    const std::string folder = programDir.file("folder.pdf");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    for (const std::string& file : {programDir.file("missing.pdf"), empty, folder}) {
        SCOPED_TRACE(file);
        FakePort fakePort;
        fakePort.boxAnswers.push_back(1);
        state.LastOutputFile = file;
        fakePort.events.push_back(menuEvent(MenuItem::OpenLastOutput));
        runMainLoopTurn(state, fakePort);
        EXPECT_EQ(fakePort.menuEnabled[MenuItem::OpenLastOutput], false);
        ASSERT_EQ(fakePort.boxes.size(), 1U);
        EXPECT_EQ(fakePort.boxes[0].Title, "Datei nicht gefunden");
        EXPECT_EQ(
            fakePort.boxes[0].Text,
            "Die zu öffnende Datei\\n\\n   »" + file + "«\\n\\nist nicht mehr vorhanden.");
        EXPECT_EQ(fakePort.boxes[0].Icon, 3);
    }
    EXPECT_TRUE(runner.started.empty());
}

TEST_F(MainLoopTest, OpenLastOutputOpensAnExistingFileByMenuAndByButton)
{
    state.LastOutputFile = programDir.file("scan.pdf");
    testing::writeFile(state.LastOutputFile, "%PDF-1.6\n");
    port.events.push_back(menuEvent(MenuItem::OpenLastOutput));
    port.events.push_back({ControlEvent, MainWindowHandle, 0});
    port.flags[MainButton::OpenLastOutput] = true;
    runMainLoopTurn(state, port);
    // For menu 100 the button's flag is not tested; only the discard after the action reads it.
    EXPECT_EQ(port.flagReads[MainButton::OpenLastOutput], 1);
    port.flags[MainButton::OpenLastOutput] = true;
    runMainLoopTurn(state, port);
    ASSERT_EQ(runner.started.size(), 2U);
    for (const auto& started : runner.started) {
        EXPECT_EQ(started.argv, (std::vector<std::string>{"xdg-open", state.LastOutputFile}));
    }
    EXPECT_TRUE(port.boxes.empty());
}

TEST_F(MainLoopTest, RestoreWindowMovesToTheStartRectangle)
{
    port.events.push_back(menuEvent(MenuItem::RestoreWindow));
    runMainLoopTurn(state, port);
    ASSERT_EQ(port.placed.size(), 1U);
    EXPECT_EQ(port.placed[0], state.StartRect);
}

TEST_F(MainLoopTest, ManualIsOpenedOrANoteSaysWhereItLies)
{
    const std::string manual = programDir.folder() + "Anleitung Folvex.pdf";
    const std::string missingText =
        "Die Anleitung ist nicht vorhanden. Sie gehört in den Programmordner:\\n\\n   »" + manual +
        "«\\n\\nSie entsteht beim Bauen von Folvex; bauen Sie Folvex neu, um sie "
        "zu erhalten.";
    const std::string notOpenedText =
        "Die Anleitung konnte nicht geöffnet werden: Das Programm »xdg-open«, das PDF-Dateien mit dem "
        "Standardprogramm des Desktops öffnet, fehlt oder startet nicht.\\n\\nDie Anleitung liegt "
        "hier:\\n\\n   »" +
        manual + "«\\n\\nÖffnen Sie sie mit einem PDF-Betrachter.";

    const struct
    {
        const char* label;
        bool present;
        bool openerStarts;
        std::size_t openerCalls;
        const char* noteTitle; // nullptr: no note
        std::string noteText;
    } cases[] = {
        {"present, opener starts", true, true, 1, nullptr, ""},
        {"present, no opener", true, false, 1, "Anleitung nicht geöffnet", notOpenedText},
        {"missing", false, true, 0, "Anleitung nicht gefunden", missingText},
        {"missing, no opener", false, false, 0, "Anleitung nicht gefunden", missingText},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        std::filesystem::remove(manual);
        if (c.present) {
            testing::writeFile(manual, "%PDF-1.6\n");
        }
        FakeProcessRunner opener;
        opener.startsDetached = c.openerStarts;
        effects().processes = &opener;
        FakePort fakePort;
        fakePort.boxAnswers.push_back(1);
        fakePort.events.push_back(menuEvent(MenuItem::Manual));
        runMainLoopTurn(state, fakePort);
        effects().processes = &runner;

        ASSERT_EQ(opener.started.size(), c.openerCalls);
        if (c.openerCalls > 0) {
            EXPECT_EQ(opener.started[0].argv, (std::vector<std::string>{"xdg-open", manual}));
        }
        if (c.noteTitle == nullptr) {
            EXPECT_TRUE(fakePort.boxes.empty());
            continue;
        }
        ASSERT_EQ(fakePort.boxes.size(), 1U);
        EXPECT_EQ(fakePort.boxes[0].Title, c.noteTitle);
        EXPECT_EQ(fakePort.boxes[0].Text, c.noteText);
        EXPECT_EQ(fakePort.boxes[0].Icon, 3);
        EXPECT_EQ(state.EndProgram, 0);
    }
}

TEST_F(MainLoopTest, ScannerHint)
{
    struct HintCase
    {
        const char* label;
        std::intptr_t answer;
        const char* stub; // nullptr: no Folvex32
        mode_t mode;
        bool ends;
        bool missingBox;
    };

    const HintCase cases[] = {
        {"Ok", 1, nullptr, 0, false, false},
        {"Esc", 0, nullptr, 0, false, false},
        {"start without Folvex32", 2, nullptr, 0, false, true},
        {"start with a Folvex32 that cannot run", 2, "#!/bin/sh\n", 0644, false, true},
        {"start with Folvex32", 2, "#!/bin/sh\n", 0755, true, false},
    };
    for (const HintCase& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir folder;
        if (c.stub != nullptr) {
            testing::writeFile(folder.file("Folvex32"), c.stub);
            ASSERT_EQ(::chmod(folder.file("Folvex32").c_str(), c.mode), 0);
        }
        ShellState fresh;
        fresh.settingsState.ProgramDir = folder.folder();
        FakePort fakePort;
        fakePort.boxAnswers.push_back(c.answer);
        if (c.missingBox) {
            fakePort.boxAnswers.push_back(1);
        }
        fakePort.events.push_back(menuEvent(MenuItem::ScannerHint));
        runMainLoopTurn(fresh, fakePort);

        ASSERT_FALSE(fakePort.boxes.empty());
        const ShellBox& hint = fakePort.boxes[0];
        EXPECT_EQ(hint.Title, "wichtige Hinweise zur Scannerauswahl");
        EXPECT_EQ(hint.Buttons, "Ok|32bit-Version starten");
        EXPECT_EQ(hint.ButtonCount, 2);
        EXPECT_EQ(hint.DefaultButton, 1);
        EXPECT_EQ(hint.ButtonWidth, 150);
        EXPECT_NE(hint.Text.find("Dies ist die 64bit-Version von Folvex.\\n\\n"), std::string::npos);
        EXPECT_NE(
            hint.Text.find("Diese ist als Folvex32 im Programmverzeichnis verfügbar."), std::string::npos);
        EXPECT_EQ(fresh.EndProgram, c.ends ? 1 : 0);
        EXPECT_EQ(fresh.Start32OnExit, c.ends ? 1 : 0);
        ASSERT_EQ(fakePort.boxes.size(), c.missingBox ? 2U : 1U);
        if (c.missingBox) {
            EXPECT_EQ(fakePort.boxes[1].Title, "Fehler");
            EXPECT_EQ(fakePort.boxes[1].Icon, 4);
            EXPECT_EQ(
                fakePort.boxes[1].Text,
                "Die 32bit-Version von Folvex ist nicht vorhanden:\\n\\n   »" + folder.folder() +
                    "Folvex32«\\n\\nFolvex läuft weiter.");
        }
    }
}

TEST(ShellStateTest, RestoredRectangleMustBeNonEmptyAndOnAScreen)
{
    const ScreenRect start{340, 250, 928, 517};
    const std::vector<ScreenRect> screens{{0, 0, 1280, 800}, {1280, 0, 2560, 1024}};

    struct Case
    {
        const char* label;
        ScreenRect saved;
        ScreenRect expected;
    };

    const Case cases[] = {
        {"saved on the first screen", {10, 20, 610, 320}, {10, 20, 610, 320}},
        {"saved on the second screen", {1400, 100, 2000, 400}, {1400, 100, 2000, 400}},
        {"partly visible", {-500, -100, 20, 300}, {-500, -100, 20, 300}},
        {"all zero", {0, 0, 0, 0}, start},
        {"no width", {100, 100, 100, 400}, start},
        {"inverted", {600, 400, 100, 100}, start},
        {"on a screen that is gone", {3000, 100, 3600, 400}, start},
        {"above every screen", {100, -900, 700, -1}, start},
        {"touching the right edge only", {2560, 0, 3000, 300}, start},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(chooseRestoredRect(c.saved, start, screens), c.expected);
    }
    EXPECT_EQ(chooseRestoredRect({10, 20, 610, 320}, start, {}), start);
}

TEST(ShellStateTest, TablesHaveTheirStartSizes)
{
    ShellState state;
    allocateMainProgramTables(state);
    fillDestinationTypes(state);
    EXPECT_EQ(state.PageSplitFlags.size(), 10001U);
    EXPECT_EQ(state.settingsState.settings.ExternalEditors.EditorName.size(), 2U);
    ASSERT_EQ(state.DestinationTypes.size(), 101U);
    EXPECT_EQ(state.DestinationTypeCount, 10);
    EXPECT_EQ(state.DestinationTypes[0], "");
    EXPECT_EQ(state.DestinationTypes[1], "PDF");
    EXPECT_EQ(state.DestinationTypes[2], "PDF+OCR");
    EXPECT_EQ(state.DestinationTypes[10], "mehrseitiges TIF");
    EXPECT_EQ(state.DestinationTypes[11], "");
}

TEST(ShellStateTest, FreeImageErrorNote)
{
    testing::ScopedFakeEffects fakes;
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    FreeImageErrorHandler(FIF_BMP, "Invalid BMP file");
    ASSERT_EQ(fakes.messages.shown.size(), 1U);
    EXPECT_EQ(fakes.messages.shown[0].title, "Hinweis");
    EXPECT_EQ(fakes.messages.shown[0].text, "FreeImage-Fehler:\r\rInvalid BMP file");
    EXPECT_EQ(fakes.messages.shown[0].buttons, MessageButtons::OkCancel);

    // Cancel ends the program at once; a message in the system code page reads right.
    fakes.messages.queueAnswer(MessageAnswer::Cancel);
    EXPECT_THROW(
        FreeImageErrorHandler(
            FIF_BMP,
            "Gr\xf6\xdf"
            "e"),
        testing::ProgramEnded);
    EXPECT_EQ(fakes.messages.shown[1].text, "FreeImage-Fehler:\r\rGröße");
    EXPECT_EQ(fakes.exit.codes, (std::vector<int>{-1}));
}

} // namespace
} // namespace folvex
