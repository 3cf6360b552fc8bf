#include "shell/main_window.h"

#include "components/action_box.h"
#include "components/button_faces.h"
#include "foundation/control_creation.h"
#include "foundation/paths.h"
#include "foundation/twain_binding.h"
#include "foundation/wait_window.h"
#include "foundation/window_routines.h"
#include "runtime/controls.h"
#include "runtime/effects.h"
#include "runtime/input_state.h"
#include "runtime/object_registry.h"
#include "runtime/process_runner.h"
#include "runtime/subclass.h"
#include "runtime/window_events.h"
#include "runtime/window_geometry.h"
#include "runtime/window_messages.h"
#include "shell/page_import.h"
#include "shell/program.h"
#include "shell/scan_job_window.h"
#include "shell/scanner_selection.h"
#include "shell_parts.h"
#include "support/action_box_fakes.h"
#include "support/fakes.h"
#include "support/temp_dir.h"
#include "support/text_fit.h"
#include "twain/fake_scanner_library.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace folvex {
namespace {

using testing::ScriptedActionBoxAnswerer;
using testing::TempDir;

// Presses Esc in whatever other window of the program is active, and releases it on the next tick.
class EscapeInActiveBox final : public QObject
{
public:
    explicit EscapeInActiveBox(Handle mainWindow)
        : m_mainWindow(mainWindow)
    {
        m_timer.callOnTimeout(this, [this] { tick(); });
        m_timer.start(20);
    }

    int presses = 0;

private:
    void tick()
    {
        QWidget* active = QApplication::activeWindow();
        if (active == nullptr || active == findWidget(m_mainWindow)) {
            return;
        }
        const bool press = !m_down;
        QKeyEvent event(press ? QEvent::KeyPress : QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(active, &event);
        m_down = press;
        presses += press ? 1 : 0;
    }

    Handle m_mainWindow;
    QTimer m_timer;
    bool m_down = false;
};

// Stands in for Ghostscript: notes whether the wait window is shown while it runs and writes one page
// file where the output pattern points.
class WaitWindowWatchingRunner final : public ProcessRunner
{
public:
    ProcessResult run(const ProcessRequest& request) override
    {
        waitText = WaitWindow() != NoHandle ? controlText(WaitWindowText()) : std::string();
        argv = request.argv;
        testing::writeFile(request.workingDir + "/TmpReadyImg1.bmp", "page");
        return {true, 0, {}};
    }

    bool startDetached(const std::vector<std::string>&, const std::string&) override { return false; }

    bool openWithDefaultViewer(const std::string&) override { return false; }

    std::string waitText;
    std::vector<std::string> argv;
};

// Releases Esc on the first pause, as a user would after a while.
class ReleasingPort final : public MainWindowPort
{
public:
    void pause(int ms) override
    {
        ++pauses;
        clearKeyStates();
        MainWindowPort::pause(ms);
    }

    int pauses = 0;
};

// The program started in a temporary program folder with the fake scanner and scripted requesters.
class MainWindowTest : public ::testing::Test
{
protected:
    MainWindowTest()
    {
        scanner.devices.push_back({"Acme", "Feeder", "acme:0", true, true, true});
        m_previousRunner = effects().processes;
        effects().processes = &runner;
    }

    ~MainWindowTest() override
    {
        stopShell();
        effects().processes = m_previousRunner;
    }

    void startShell()
    {
        testing::startShellParts(programDir.folder(), scanner);
        m_running = true;
    }

    void stopShell()
    {
        if (!m_running) {
            return;
        }
        m_running = false;
        testing::stopShellParts();
        DrainWindowEvents();
    }

    ShellState& state() { return shellProgram().state; }

    const MainWindowControls& controls() { return shellProgram().windows.controls; }

    Handle mainWindow() { return shellProgram().windows.MainWindow; }

    std::string ini() { return programDir.file("Folvex.ini"); }

    // Writes one key of the settings file of the temporary program folder.
    void storeSetting(const std::string& section, const std::string& key, const std::string& value)
    {
        SettingsState settings;
        settings.ProgramDir = programDir.folder();
        ASSERT_EQ(writeSetting(settings, section, key, value), 1);
    }

    std::string storedSetting(const std::string& section, const std::string& key)
    {
        SettingsState settings;
        settings.ProgramDir = programDir.folder();
        return readSetting(settings, section, key);
    }

    // A control's rectangle in the main window's client coordinates.
    WindowRect clientPlace(Handle control)
    {
        const WindowRect client = windowClientRect(mainWindow());
        const WindowRect own = windowOuterRect(control);
        return {own.x - client.x, own.y - client.y, own.width, own.height};
    }

    std::vector<std::string> comboItems(Handle combo)
    {
        std::vector<std::string> items;
        const auto* box = qobject_cast<QComboBox*>(findWidget(combo));
        for (int i = 0; box != nullptr && i < box->count(); ++i) {
            items.push_back(box->itemText(i).toStdString());
        }
        return items;
    }

    // A held Esc is released once the loop waits for it.
    void runLoop()
    {
        ReleasingPort port;
        runMainLoop(state(), port);
    }

    TempDir programDir;
    FakeScannerLibrary scanner;
    testing::ScopedFakeEffects fakeEffects;
    testing::FakeProcessRunner runner;
    PosixProcessRunner realRunner;
    ScriptedActionBoxAnswerer answerer;

private:
    bool m_running = false;
    ProcessRunner* m_previousRunner = nullptr;
};

TEST_F(MainWindowTest, FirstStartBuildsTheWindowAtTheStartRectangle)
{
    startShell();
    EXPECT_EQ(FileExists(ini()), 1);
    EXPECT_EQ(storedSetting("LAST_VALUES", "DestType"), "PDF+OCR");

    const WindowRect client = windowClientRect(mainWindow());
    EXPECT_EQ(client.width, 580);
    EXPECT_EQ(client.height, 214);
    const WindowRect outer = windowOuterRect(mainWindow());
    const ScreenRect start = state().StartRect;
    EXPECT_EQ(outer, (WindowRect{start.left, start.top, start.right - start.left, start.bottom - start.top}));
    EXPECT_EQ(outer.height, 214 + CaptionHeight + MenuHeight + 2 * FrameWidth);
    EXPECT_EQ(
        findWidget(mainWindow())->windowTitle().toStdString(),
        "Folvex V4.23a 64bit (build 176) - Scannen, Bearbeiten, Speichern");
    EXPECT_TRUE(findWidget(mainWindow())->isVisible());
    EXPECT_EQ(
        shellProgram().windows.splashHistory,
        (std::vector<std::string>{
            "Menü aufbauen...",
            "Variablen initialisieren...",
            "DLLs & Module initialisieren...",
            "ini-Datei auswerten...",
            "GUI aufbauen...",
            "Update-Checker starten..."}));
    EXPECT_EQ(shellProgram().windows.SplashWindow, NoHandle);

    // The scanner library is started on the main window.
    std::vector<int> calls;
    for (const FakeCallRecord& call : scanner.trace) {
        calls.push_back(call.number);
    }
    EXPECT_EQ(calls, (std::vector<int>{9800, 2, 3, 3210, 13, 9100}));
    EXPECT_EQ(scanner.callsOf(3)[0].args[0], std::to_string(mainWindow()));

    EXPECT_EQ(state().LastOutputFile, "");
    EXPECT_EQ(state().PageCapacity, 25);
    EXPECT_EQ(state().SplitToggleWidth, 12);
    EXPECT_TRUE(DirectoryExists(programDir.file("tmp")));
}

TEST_F(MainWindowTest, MenusHaveTheirItemsInOrder)
{
    startShell();
    const auto* bar = qobject_cast<QMenuBar*>(findObject(shellProgram().windows.MainMenu));
    ASSERT_NE(bar, nullptr);
    // Each menu as "title: id text, ..., | for a separator".
    std::vector<std::string> menus;
    for (QAction* top : bar->actions()) {
        std::string line = top->text().toStdString() + ":";
        for (QAction* item : top->menu()->actions()) {
            line += item->isSeparator()
                        ? std::string(" |")
                        : " " + std::to_string(item->data().toInt()) + " " + item->text().toStdString();
        }
        menus.push_back(line);
    }
    EXPECT_EQ(
        menus,
        (std::vector<std::string>{
            "&Datei: 100 letztes erzeugtes PDF/JPG öffnen | 110 alte Grafikdateien retten (nach Absturz nach "
            "dem "
            "Scannen) | 120 externe Grafikdateien als Input benutzen 130 externes Multipage-TIF als Input "
            "benutzen 140 externes PDF als Input benutzen | 190 Programm&ende",
            "&Fenster: 700 originale Fenster&position- && -größe wiederherstellen",
            "&Optionen: 800 &Optionen",
            "&Hilfe: 900 ü&ber 910 &Anleitung | 920 &Update-Checker aufrufen | 940 Folvex-Lizenz 950 "
            "DTwain-Lizenz 960 FreeImage-Lizenz | 930 ! wichtige &Hinweise zur Scannerauswahl !"}));
    EXPECT_FALSE(mainMenuItemEnabled(100));
    for (const int id : {110, 120, 130, 140, 190, 700, 800, 900, 910, 920, 930, 940, 950, 960}) {
        EXPECT_TRUE(mainMenuItemEnabled(id)) << id;
    }

    const auto* popup = qobject_cast<QMenu*>(findObject(shellProgram().windows.MarkedPageMenu));
    ASSERT_NE(popup, nullptr);
    std::vector<std::string> items;
    for (QAction* item : popup->actions()) {
        items.push_back(
            item->isSeparator() ? "|"
                                : std::to_string(item->data().toInt()) + " " + item->text().toStdString());
    }
    EXPECT_EQ(
        items,
        (std::vector<std::string>{"1025 nicht löschen", "1027 nicht leer", "|", "1030 groß anzeigen"}));
}

// The word size of the build names it in the title, and only the 64-bit build has the hint of 930.
TEST(MainWindowBuildTest, WordSizeDecidesTheTitleAndTheScannerHint)
{
    struct Case
    {
        std::size_t pointerBytes;
        std::string title;
        bool hasHint;
    };

    for (const Case& c : {
             Case{8, "Folvex V4.23a 64bit (build 176) - Scannen, Bearbeiten, Speichern", true},
             Case{4, "Folvex V4.23a 32bit (build 176) - Scannen, Bearbeiten, Speichern", false},
         }) {
        SCOPED_TRACE(c.pointerBytes);
        EXPECT_EQ(mainWindowTitle(c.pointerBytes), c.title);
        const std::vector<MenuSpec> menus = mainMenuSpecs(c.pointerBytes);
        ASSERT_EQ(menus.size(), 4U);
        const std::vector<MenuEntry>& help = menus.back().entries;
        ASSERT_FALSE(help.empty());
        // The hint comes last, after a separator; without it the menu ends with the licences.
        EXPECT_EQ(help.back().id, c.hasHint ? 930 : 960);
        EXPECT_EQ(help.size(), c.hasHint ? 10U : 8U);
    }
}

TEST_F(MainWindowTest, ControlsHaveTheirPlacesTextsAndChoices)
{
    startShell();
    const MainWindowControls& c = controls();

    struct Place
    {
        const char* label;
        Handle control;
        WindowRect place;
        std::string text;
    };

    const Place places[] = {
        {"scanner line", c.scannerLine, {5, 5, 570, 20}, "Scanner: keiner gewählt"},
        {"status line", c.statusLine, {5, 25, 570, 20}, "Status: unbeschäftigt"},
        {"Scannen", c.scanButton, {5, 55, 200, 30}, "Scannen"},
        {"Scanner auswählen", c.selectScannerButton, {5, 95, 200, 30}, "Scanner auswählen"},
        {"hint 1", c.hintLines[0], {5, 135, 210, 15}, "Nicht jeder Scanner übernimmt die hier"},
        {"hint 2", c.hintLines[1], {5, 150, 210, 15}, "eingestellten Werte. Bitte diese Werte"},
        {"hint 3", c.hintLines[2], {5, 165, 210, 15}, "immer im Scanner-Interface überprüfen."},
        {"paper source", c.paperSource, {220, 55, 140, 23}, "Flachbettauflage"},
        {"colour mode", c.colourMode, {220, 80, 140, 23}, "schwarzweiß"},
        {"resolution", c.resolution, {220, 105, 140, 23}, "200 dpi"},
        {"paper size", c.paperSize, {220, 130, 140, 23}, "DIN A4"},
        {"destination", c.destinationType, {220, 155, 140, 23}, "PDF+OCR"},
        {"duplex", c.duplex, {375, 55, 200, 20}, "automatisch doppelseitig scannen"},
        {"discard", c.discardBlank, {375, 80, 200, 20}, "leere Seiten entfernen"},
        {"open last output", c.openLastOutputButton, {375, 139, 200, 30}, "letztes PDF/JPG öffnen"},
        {"Programmende", c.quitButton, {375, 179, 200, 30}, "Programmende"},
    };
    for (const Place& p : places) {
        SCOPED_TRACE(p.label);
        ASSERT_NE(findWidget(p.control), nullptr);
        EXPECT_EQ(clientPlace(p.control), p.place);
        EXPECT_EQ(controlText(p.control), p.text);
        EXPECT_TRUE(findWidget(p.control)->isVisible());
    }

    EXPECT_EQ(comboItems(c.paperSource), (std::vector<std::string>{"Flachbettauflage"}));
    EXPECT_EQ(comboItems(c.colourMode), (std::vector<std::string>{"schwarzweiß", "Graustufen", "Farbe"}));
    EXPECT_EQ(
        comboItems(c.resolution),
        (std::vector<std::string>{
            "75 dpi",
            "100 dpi",
            "150 dpi",
            "200 dpi",
            "240 dpi",
            "300 dpi",
            "400 dpi",
            "600 dpi",
            "800 dpi",
            "1200 dpi"}));
    EXPECT_EQ(comboItems(c.paperSize), (std::vector<std::string>{"DIN A4"}));
    EXPECT_EQ(
        comboItems(c.destinationType),
        (std::vector<std::string>{
            "PDF",
            "PDF+OCR",
            "BMP",
            "JPG",
            "PNG",
            "GIF",
            "Animated GIF",
            "TARGA",
            "einseitiges TIF",
            "mehrseitiges TIF"}));
    EXPECT_TRUE(qobject_cast<QCheckBox*>(findWidget(c.discardBlank))->isChecked());
    EXPECT_FALSE(qobject_cast<QCheckBox*>(findWidget(c.duplex))->isChecked());
    EXPECT_FALSE(findWidget(c.scanButton)->isEnabled());
    EXPECT_FALSE(findWidget(c.duplex)->isEnabled());
    EXPECT_FALSE(findWidget(c.openLastOutputButton)->isEnabled());
    EXPECT_TRUE(findWidget(c.selectScannerButton)->isEnabled());
    // "Scannen" is disabled, so the focus goes to "Scanner auswählen".
    EXPECT_EQ(findWidget(mainWindow())->focusWidget(), findWidget(c.selectScannerButton));
    EXPECT_EQ(
        findWidget(c.discardBlank)->findChildren<QWidget*>().isEmpty() &&
            findWidget(c.duplex)->findChildren<QWidget*>().isEmpty(),
        false); // both check boxes carry their tooltip
}

TEST_F(MainWindowTest, EveryTextFitsItsControl)
{
    startShell();
    // The longest status the main window shows, in the status line's place.
    SetText(controls().statusLine, "Status: OCR läuft (1000 Seiten)...");
    EXPECT_EQ(testing::cutTexts(*findWidget(mainWindow())), std::vector<std::string>{});
}

TEST_F(MainWindowTest, FifteenArcSetsExist)
{
    startShell();
    const std::array<int, ShellArcSetCount>& sets = shellProgram().windows.ShellArcSets;
    const std::set<int> distinct(sets.begin(), sets.end());
    EXPECT_EQ(distinct.size(), 15U);
    for (const int index : sets) {
        ASSERT_GT(index, 0);
        ASSERT_LT(static_cast<std::size_t>(index), buttonFaces().ArcBrushSet.size());
        EXPECT_NE(buttonFaces().ArcBrushSet[static_cast<std::size_t>(index)].BrushN, NoHandle) << index;
    }
}

TEST_F(MainWindowTest, StoredFeederOffersBothItemsAndTheFirstTurnEnablesDuplex)
{
    storeSetting("LAST_VALUES", "LastSourceName", "Acme Feeder");
    storeSetting("SOURCE Acme Feeder", "LastPageOrigin", "Einzelblatteinzug");
    storeSetting("LAST_VALUES", "Resolution", "999 dpi"); // matches no item
    storeSetting("ALLGEMEINES", "OpenLastScannerOnStartup", "0");
    startShell();
    EXPECT_EQ(
        comboItems(controls().paperSource),
        (std::vector<std::string>{"Flachbettauflage", "Einzelblatteinzug"}));
    EXPECT_EQ(controlText(controls().paperSource), "Einzelblatteinzug");
    EXPECT_EQ(controlText(controls().resolution), "75 dpi");
    EXPECT_FALSE(findWidget(controls().duplex)->isEnabled());

    postMenuEvent(mainWindow(), 190);
    runLoop();
    EXPECT_TRUE(findWidget(controls().duplex)->isEnabled());
}

TEST_F(MainWindowTest, LastScannerIsReopenedAtStartUp)
{
    storeSetting("LAST_VALUES", "LastSourceName", "Acme Feeder");
    startShell();
    EXPECT_EQ(shellProgram().windows.splashHistory.back(), "letzten Scanner öffnen...");
    EXPECT_NE(state().CurrentSource, NoHandle);
    EXPECT_EQ(controlText(controls().scannerLine), "Scanner: Acme Feeder");
    EXPECT_TRUE(findWidget(controls().scanButton)->isEnabled());
    EXPECT_EQ(findWidget(mainWindow())->focusWidget(), findWidget(controls().scanButton));

    // Pages acquired are counted through the callback registered at start-up.
    scanner.passes.push_back(FakePass::pages({1, 2}));
    const FileListHandle list = scanner.createFileList(0, 1);
    scanner.setFileListEntry(list, 0, programDir.file("tmpimg.bmp"));
    std::int32_t status = 0;
    scanner.acquireToFiles(state().CurrentSource, list, 0, 0, 2, -1, 1, 0, &status);
    EXPECT_EQ(state().ScanCounters.pass, 2);
    EXPECT_EQ(state().ScanCounters.job, 2);
}

TEST_F(MainWindowTest, ScannenRunsAScanJobAndMenu110TheRescue)
{
    storeSetting("LAST_VALUES", "LastSourceName", "Acme Feeder");
    startShell();
    ASSERT_NE(state().CurrentSource, NoHandle);
    const MainWindowControls& c = controls();
    // Seen from inside the pass: the buttons and the status line while each page comes in.
    std::vector<bool> buttonsEnabledDuringPass;
    std::vector<std::string> statusDuringPass;
    scanner.setNotificationCallback(
        [&](std::int32_t code, std::int32_t value, std::int64_t userData) {
            for (const Handle button : {c.scanButton, c.selectScannerButton, c.quitButton}) {
                buttonsEnabledDuringPass.push_back(findWidget(button)->isEnabled());
            }
            statusDuringPass.push_back(controlText(c.statusLine));
            return TwainNotificationCallback(*shellProgram().windows.scannerContext, code, value, userData);
        },
        0,
        0);
    scanner.passes.push_back(FakePass::pages({1, 2, 3}));
    MainWindowPort port;
    answerer.queueAnswer(6); // "Abbruch" in the result dialog keeps the scan files

    QTest::mouseClick(findWidget(c.scanButton), Qt::LeftButton);
    runMainLoopTurn(state(), port);

    ASSERT_EQ(answerer.shown.size(), 1U);
    EXPECT_EQ(answerer.shown[0].Text, "Scannen erfolgreich (3 Seiten)");
    EXPECT_EQ(scanner.callsOf(237).size(), 1U);
    EXPECT_EQ(buttonsEnabledDuringPass, std::vector<bool>(9, false));
    EXPECT_EQ(statusDuringPass, std::vector<std::string>(3, "Status: Scanner-Interface ist aktiv..."));
    const std::string tmp = state().settingsState.settings.TmpPath;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(FileExists(tmp + "/tmpimg" + std::to_string(i) + ".bmp"), 1);
    }
    EXPECT_EQ(state().ScanCounters.job, 3);
    EXPECT_EQ(controlText(c.statusLine), "Status: unbeschäftigt");
    for (const Handle button : {c.scanButton, c.selectScannerButton, c.quitButton}) {
        EXPECT_TRUE(findWidget(button)->isEnabled());
    }
    EXPECT_EQ(storedSetting("SOURCE Acme Feeder", "LastPageOrigin"), controlText(c.paperSource));

    // The rescue finds nothing once the scan files are gone, and says so.
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(::unlink((tmp + "/tmpimg" + std::to_string(i) + ".bmp").c_str()), 0);
    }
    fakeEffects.messages.queueAnswer(MessageAnswer::Ok);
    // One turn handles one event: what the job left queued (focus and control events of the window
    // coming back, late on a loaded machine) is taken first, so the menu event is the turn's.
    DrainWindowEvents();
    postMenuEvent(mainWindow(), static_cast<int>(MenuItem::RescuePages));
    runMainLoopTurn(state(), port);
    ASSERT_EQ(fakeEffects.messages.shown.size(), 1U);
    EXPECT_EQ(fakeEffects.messages.shown[0].text, "Keine zu rettenden Grafikdateien gefunden.");
    EXPECT_EQ(scanner.callsOf(237).size(), 1U);
    EXPECT_TRUE(findWidget(c.scanButton)->isEnabled());
}

TEST_F(MainWindowTest, TheScanJobPortSetsTheDestinationAndTheBlankPageBox)
{
    startShell();
    MainWindowScanJobPort port(controls(), shellProgram().windows.scannerContext->view);
    port.setDestinationType("GIF");
    port.setDiscardBlank(false);
    EXPECT_EQ(controlText(controls().destinationType), "GIF");
    EXPECT_EQ(port.selectorText(ScanSelector::DestinationType), "GIF");
    EXPECT_FALSE(mainCheckBoxTicked(MainCheckBox::DiscardBlank));
    EXPECT_FALSE(port.checkBoxTicked(ScanCheckBox::DiscardBlank));
    // A text that is no destination type changes nothing.
    port.setDestinationType("DOCX");
    port.setDiscardBlank(true);
    EXPECT_EQ(controlText(controls().destinationType), "GIF");
    EXPECT_TRUE(port.checkBoxTicked(ScanCheckBox::DiscardBlank));
}

TEST_F(MainWindowTest, CheckBoxStatesAndTheFocusAfterAJob)
{
    EXPECT_FALSE(mainCheckBoxEnabled(MainCheckBox::DiscardBlank)); // not built yet
    startShell();
    EXPECT_TRUE(mainCheckBoxTicked(MainCheckBox::DiscardBlank)); // the first start's default
    EXPECT_TRUE(mainCheckBoxEnabled(MainCheckBox::DiscardBlank));
    EXPECT_FALSE(mainCheckBoxTicked(MainCheckBox::Duplex));
    EXPECT_FALSE(mainCheckBoxEnabled(MainCheckBox::Duplex)); // flatbed
    qobject_cast<QCheckBox*>(findWidget(controls().discardBlank))->setChecked(false);
    qobject_cast<QCheckBox*>(findWidget(controls().duplex))->setChecked(true);
    EXPECT_FALSE(mainCheckBoxTicked(MainCheckBox::DiscardBlank));
    EXPECT_TRUE(mainCheckBoxTicked(MainCheckBox::Duplex));

    // Both check boxes are in the system font, like every control made without a font.
    for (const Handle box : {controls().duplex, controls().discardBlank}) {
        const QFont font = findWidget(box)->font();
        EXPECT_EQ(font.family(), QString::fromUtf8(SystemFontFamily));
        EXPECT_EQ(font.pointSize(), SystemFontPoints);
    }

    QWidget* window = findWidget(mainWindow());
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    findWidget(controls().colourMode)->setFocus();
    focusAfterJob(); // no scanner: "Scannen" is disabled
    EXPECT_EQ(window->focusWidget(), findWidget(controls().selectScannerButton));
    EnableControl(controls().scanButton, 1);
    focusAfterJob();
    EXPECT_EQ(window->focusWidget(), findWidget(controls().scanButton));
}

TEST_F(MainWindowTest, MarkedPageMenuItemsPostTheirIdsThroughThePopup)
{
    startShell();
    const Handle menu = shellProgram().windows.MarkedPageMenu;
    std::vector<int> ids;
    for (const QAction* action : qobject_cast<QMenu*>(findObject(menu))->actions()) {
        if (!action->isSeparator()) {
            ids.push_back(action->data().toInt());
        }
    }
    EXPECT_EQ(ids, (std::vector<int>{MarkedPageKeepItem, MarkedPageNotBlankItem, MarkedPageLargeViewItem}));

    fakeEffects.answerPopupMenus();
    fakeEffects.popupMenus.queueAnswer(MarkedPageNotBlankItem);
    DrainWindowEvents();
    EXPECT_EQ(DisplayPopupMenu(menu, mainWindow()), MarkedPageNotBlankItem);
    ASSERT_EQ(WindowEvent(), static_cast<int>(EventKind::Menu));
    EXPECT_EQ(EventMenu(), MarkedPageNotBlankItem);
    EXPECT_EQ(EventWindow(), mainWindow());
}

TEST_F(MainWindowTest, ChangingAChoicePostsAControlEventSoTheDuplexRuleRuns)
{
    startShell();
    DrainWindowEvents();
    qobject_cast<QComboBox*>(findWidget(controls().colourMode))->setCurrentIndex(2);
    qobject_cast<QComboBox*>(findWidget(controls().destinationType))->setCurrentIndex(3);
    qobject_cast<QCheckBox*>(findWidget(controls().discardBlank))->setChecked(false);
    std::vector<Handle> controlsSeen;
    while (WindowEvent() == static_cast<int>(EventKind::Control)) {
        controlsSeen.push_back(EventControl());
    }
    EXPECT_EQ(
        controlsSeen,
        (std::vector<Handle>{controls().colourMode, controls().destinationType, controls().discardBlank}));
}

TEST_F(MainWindowTest, GrowingTheWindowMovesOnlyProgrammende)
{
    startShell();
    const MainWindowControls& c = controls();
    std::vector<std::pair<Handle, WindowRect>> before;
    for (const Handle control :
         {c.scannerLine,
          c.statusLine,
          c.scanButton,
          c.selectScannerButton,
          c.paperSource,
          c.destinationType,
          c.duplex,
          c.discardBlank,
          c.openLastOutputButton,
          c.quitButton}) {
        before.emplace_back(control, clientPlace(control));
    }
    WindowRect client = windowClientRect(mainWindow());
    client.width += 40;
    client.height += 30;
    placeWindowByClientRect(mainWindow(), client);
    QTRY_COMPARE_WITH_TIMEOUT(clientPlace(c.quitButton).x, before.back().second.x + 40, 5000);
    for (const auto& [control, place] : before) {
        WindowRect expected = place;
        if (control == c.quitButton) {
            expected.x += 40;
            expected.y += 30;
        }
        EXPECT_EQ(clientPlace(control), expected) << controlText(control);
    }
}

struct RestoreCase
{
    const char* label;
    const char* left;
    const char* top;
    const char* right;
    const char* bottom;
    const char* maximized;
    bool expectSaved;
};

TEST_F(MainWindowTest, SavedRectangleIsRestoredWhenUsable)
{
    const RestoreCase cases[] = {
        {"saved", "50", "60", "750", "400", "0", true},
        {"maximised", "50", "60", "750", "400", "1", false},
        {"all zero", "0", "0", "0", "0", "0", false},
        {"off every screen", "20000", "20000", "20700", "20300", "0", false},
        {"keys missing", "", "", "", "", "0", false},
    };
    for (const RestoreCase& c : cases) {
        SCOPED_TRACE(c.label);
        startShell(); // writes the file; the next start reads the stored rectangle
        stopShell();
        storeSetting("ALLGEMEIN", "LastWindowPosX1", c.left);
        storeSetting("ALLGEMEIN", "LastWindowPosY1", c.top);
        storeSetting("ALLGEMEIN", "LastWindowPosX2", c.right);
        storeSetting("ALLGEMEIN", "LastWindowPosY2", c.bottom);
        storeSetting("ALLGEMEIN", "LastWindowMaximized", c.maximized);
        startShell();
        const ScreenRect start = state().StartRect;
        const WindowRect startRect{start.left, start.top, start.right - start.left, start.bottom - start.top};
        const bool maximized = std::string(c.maximized) == "1";
        EXPECT_EQ(IsMaximized(mainWindow()) != 0, maximized);
        if (!maximized) {
            const WindowRect expected = c.expectSaved ? WindowRect{50, 60, 700, 340} : startRect;
            EXPECT_EQ(windowOuterRect(mainWindow()), expected);
        } else {
            const QRect normal = findWidget(mainWindow())->normalGeometry();
            EXPECT_EQ(normal.width(), 580);
            EXPECT_EQ(normal.height(), 214 + MenuHeight);
        }
        stopShell();
        ASSERT_EQ(::unlink(ini().c_str()), 0);
    }
}

TEST_F(MainWindowTest, MenuRestoreWindowGoesBackToTheStartRectangle)
{
    startShell();
    placeWindowByOuterRect(mainWindow(), {10, 10, 800, 500});
    postMenuEvent(mainWindow(), 700);
    postMenuEvent(mainWindow(), 190);
    runLoop();
    const ScreenRect start = state().StartRect;
    EXPECT_EQ(
        windowOuterRect(mainWindow()),
        (WindowRect{start.left, start.top, start.right - start.left, start.bottom - start.top}));
}

// Each way to quit ends the loop; the clean-up writes the window's rectangle.
TEST_F(MainWindowTest, QuitPathsEndTheLoopAndSaveTheRectangle)
{
    struct QuitCase
    {
        const char* label;
        void (*quit)(Handle mainWindow, Handle quitButton);
    };

    const QuitCase cases[] = {
        {"menu 190", [](Handle window, Handle) { postMenuEvent(window, 190); }},
        {"Programmende",
         [](Handle, Handle button) { QTest::mouseClick(findWidget(button), Qt::LeftButton); }},
        {"close box", [](Handle window, Handle) { findWidget(window)->close(); }},
        {"quit request", [](Handle window, Handle) { SendWindowMessage(window, AppQuitMessage, 0, 0); }},
        {"Esc in the main window",
         [](Handle window, Handle) {
             QWidget* widget = findWidget(window);
             widget->activateWindow();
             ASSERT_TRUE(QTest::qWaitForWindowActive(widget));
             QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
             QApplication::sendEvent(widget, &press);
             QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
             QApplication::sendEvent(widget, &release);
             // The key is seen as down by the turn this event starts.
             QKeyEvent again(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
             QApplication::sendEvent(widget, &again);
             PostCustomEvent(window);
         }},
        {"Esc tapped on a control of the main window",
         [](Handle window, Handle) {
             QWidget* widget = findWidget(window);
             widget->activateWindow();
             ASSERT_TRUE(QTest::qWaitForWindowActive(widget));
             QTest::keyClick(
                 widget->focusWidget() != nullptr ? widget->focusWidget() : widget, Qt::Key_Escape);
         }},
    };
    for (const QuitCase& c : cases) {
        SCOPED_TRACE(c.label);
        startShell();
        placeWindowByOuterRect(mainWindow(), {40, 50, 700, 320});
        c.quit(mainWindow(), controls().quitButton);
        runLoop();
        EXPECT_EQ(state().EndProgram, 1);
        stopShell();
        clearKeyStates();
        EXPECT_EQ(storedSetting("ALLGEMEIN", "LastWindowPosX1"), "40");
        EXPECT_EQ(storedSetting("ALLGEMEIN", "LastWindowPosY1"), "50");
        EXPECT_EQ(storedSetting("ALLGEMEIN", "LastWindowPosX2"), "740");
        EXPECT_EQ(storedSetting("ALLGEMEIN", "LastWindowPosY2"), "370");
        EXPECT_EQ(storedSetting("ALLGEMEIN", "LastWindowMaximized"), "0");
        ASSERT_EQ(::unlink(ini().c_str()), 0);
    }
}

TEST_F(MainWindowTest, MinimisedWindowSavesTheRectangleItReturnsTo)
{
    startShell();
    placeWindowByOuterRect(mainWindow(), {40, 50, 700, 320});
    QWidget* widget = findWidget(mainWindow());
    widget->setWindowState(Qt::WindowMinimized);
    QTRY_VERIFY_WITH_TIMEOUT(widget->isMinimized(), 5000);
    stopShell();
    EXPECT_EQ(storedSetting("ALLGEMEIN", "LastWindowPosX1"), "40");
    EXPECT_EQ(storedSetting("ALLGEMEIN", "LastWindowPosY1"), "50");
    EXPECT_EQ(storedSetting("ALLGEMEIN", "LastWindowPosX2"), "740");
    EXPECT_EQ(storedSetting("ALLGEMEIN", "LastWindowPosY2"), "370");
    EXPECT_EQ(storedSetting("ALLGEMEIN", "LastWindowMaximized"), "0");
}

TEST_F(MainWindowTest, EscapeInAnotherWindowDoesNotQuit)
{
    startShell();
    const Handle dialog = create("DIALOG", mainWindow(), "Optionen", 100, 100, 300, 200, 0);
    QWidget* widget = findWidget(dialog);
    widget->show();
    widget->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(widget));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    postControlEvent(mainWindow(), controls().colourMode);
    MainWindowPort port;
    runMainLoopTurn(state(), port);
    EXPECT_EQ(state().EndProgram, 0);
    clearKeyStates();
    delete widget;
}

// A user's Esc: only the key press itself, on whatever control has the focus, with nothing else queued.
TEST_F(MainWindowTest, EscapePressedOnAControlWakesTheLoopAndQuits)
{
    startShell();
    QWidget* widget = findWidget(mainWindow());
    widget->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(widget));
    DrainWindowEvents();

    // Esc in another window of the program is that window's key event, not the main window's.
    const Handle dialog = create("DIALOG", mainWindow(), "Optionen", 100, 100, 300, 200, 0);
    QTest::keyPress(findWidget(dialog), Qt::Key_Escape);
    QTest::keyRelease(findWidget(dialog), Qt::Key_Escape);
    ASSERT_EQ(WindowEvent(), static_cast<int>(EventKind::Key));
    EXPECT_EQ(EventWindow(), dialog);
    EXPECT_EQ(queuedWindowEvents(), 0);
    delete findWidget(dialog);
    clearKeyStates();
    widget->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(widget));

    QWidget* combo = findWidget(controls().colourMode);
    QTest::keyPress(combo, Qt::Key_Escape);
    ASSERT_GE(queuedWindowEvents(), 1);
    runLoop();
    EXPECT_EQ(state().EndProgram, 1);
}

TEST_F(MainWindowTest, HeldEscapeDelaysTheShutDownUntilReleased)
{
    startShell();
    QWidget* widget = findWidget(mainWindow());
    widget->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(widget));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    PostCustomEvent(mainWindow());
    PostCustomEvent(mainWindow()); // KeyDown takes one queued event when it sees the key
    ReleasingPort port;
    runMainLoop(state(), port);
    EXPECT_EQ(state().EndProgram, 1);
    EXPECT_EQ(port.pauses, 1);
    EXPECT_FALSE(KeyIsDown(VkEscape));
}

TEST_F(MainWindowTest, WindowMessagesWakeTheLoopAndRequestTheQuit)
{
    startShell();
    DrainWindowEvents();
    EXPECT_EQ(SendWindowMessage(mainWindow(), AppMessage, 1, 1), 0);
    EXPECT_EQ(queuedWindowEvents(), 1);
    EXPECT_EQ(state().QuitRequest, 0);
    EXPECT_EQ(MainWindowCallback(mainWindow() + 1, AppQuitMessage, 0, 0), DefaultProcessing);
    EXPECT_EQ(MainWindowCallback(mainWindow(), 0x10, 0, 0), DefaultProcessing);
    EXPECT_EQ(state().QuitRequest, 0);
    EXPECT_EQ(SendWindowMessage(mainWindow(), AppQuitMessage, 0, 0), 0);
    EXPECT_EQ(state().QuitRequest, QuitRequested);
    EXPECT_EQ(queuedWindowEvents(), 2);
}

TEST_F(MainWindowTest, BrokenImageGivesTheImageLibraryNote)
{
    startShell();
    const std::string broken = programDir.file("broken.bmp");
    testing::writeFile(broken, "BM this is no bitmap");
    fakeEffects.messages.queueAnswer(MessageAnswer::Ok);
    const FreeImageFunctionTable& functions = shellProgram().freeImage.FreeImageFunctions;
    FIBITMAP* image = functions.LoadU(FIF_BMP, broken);
    EXPECT_EQ(image, nullptr);
    ASSERT_EQ(fakeEffects.messages.shown.size(), 1U);
    EXPECT_EQ(fakeEffects.messages.shown[0].title, "Hinweis");
    EXPECT_EQ(fakeEffects.messages.shown[0].text.rfind("FreeImage-Fehler:\r\r", 0), 0U);
    EXPECT_GT(fakeEffects.messages.shown[0].text.size(), std::string("FreeImage-Fehler:\r\r").size());
}

TEST_F(MainWindowTest, ClickSubclassRecordsThumbnailClicks)
{
    startShell();

    struct ClickCase
    {
        const char* label;
        std::uint8_t dragging;
        std::uint32_t message;
        bool recorded;
    };

    const ClickCase cases[] = {
        {"left button up", 0, 514, true},
        {"left button up while dragging", 1, 514, false},
        {"right button up", 0, 517, true},
        {"right button up while dragging", 1, 517, true},
        {"left button down", 0, 513, false},
    };
    const Handle thumbnail = controls().selectScannerButton;
    ASSERT_EQ(Subclass(thumbnail, 1, ClickSubclassProc, 1, 0), 0);
    for (const ClickCase& c : cases) {
        SCOPED_TRACE(c.label);
        state().InputFlags = {};
        state().DragInProgress = c.dragging;
        sendSubclassMessage(thumbnail, c.message, 0, 0);
        EXPECT_EQ(state().InputFlags.ClickedHandle, c.recorded ? thumbnail : NoHandle);
        EXPECT_EQ(state().InputFlags.ClickMessage, c.recorded ? c.message : 0U);
    }
    Subclass(thumbnail, 0, ClickSubclassProc, 1, 0);
}

TEST_F(MainWindowTest, OpenLastOutputThatIsGoneDisablesMenu100)
{
    startShell();
    setMainMenuItemEnabled(100, true);
    state().LastOutputFile = programDir.file("weg.pdf");
    answerer.queueAnswer(1);
    postMenuEvent(mainWindow(), 100);
    postMenuEvent(mainWindow(), 190);
    runLoop();
    EXPECT_FALSE(mainMenuItemEnabled(100));
    ASSERT_EQ(answerer.shown.size(), 1U);
    EXPECT_EQ(answerer.shown[0].Title, "Datei nicht gefunden");
    EXPECT_EQ(answerer.shown[0].Icon, 3);
}

TEST_F(MainWindowTest, EscapeInTheMessageBoxDoesNotQuit)
{
    startShell();
    QWidget* window = findWidget(mainWindow());
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    state().LastOutputFile = programDir.file("weg.pdf");
    ActionBoxAnswerer* scripted = setActionBoxAnswerer(nullptr); // the real box
    EscapeInActiveBox user(mainWindow());
    postMenuEvent(mainWindow(), 100);
    MainWindowPort port;
    runMainLoopTurn(state(), port);
    // The next turn sees what is left of the key once the box is gone.
    postControlEvent(mainWindow(), controls().colourMode);
    runMainLoopTurn(state(), port);
    setActionBoxAnswerer(scripted);
    EXPECT_GE(user.presses, 1); // the box was shown and Esc ended it
    EXPECT_EQ(state().EndProgram, 0);
    EXPECT_FALSE(mainMenuItemEnabled(100));
}

TEST_F(MainWindowTest, CleanUpDeletesTheProgramsScratchFiles)
{
    startShell();
    testing::writeFile(programDir.file("rotatetmpimage.bmp"), "x");
    testing::writeFile(programDir.file("Updora1"), "");
    testing::writeFile(programDir.file("Updora"), "keep");
    state().CurrentSource = scanner.selectSourceByName("Acme Feeder");
    ASSERT_NE(state().CurrentSource, NoHandle);
    const Handle source = state().CurrentSource;
    stopShell();
    EXPECT_EQ(FileExists(programDir.file("rotatetmpimage.bmp")), 0);
    EXPECT_EQ(FileExists(programDir.file("Updora1")), 0);
    EXPECT_EQ(FileExists(programDir.file("Updora")), 1);
    EXPECT_FALSE(scanner.isOpen(source));
    EXPECT_EQ(scanner.callsOf(4).size(), 1U);
    EXPECT_EQ(scanner.callsOf(6).size(), 1U);
    EXPECT_FALSE(scanner.initialized());
}

TEST_F(MainWindowTest, HelpMenuItemsShowTheirBoxes)
{
    std::filesystem::copy(
        FOLVEX_LICENCE_DIR, programDir.path() / "Licenses", std::filesystem::copy_options::recursive);
    startShell();

    const struct
    {
        int item;
        const char* title;
    } cases[] = {
        {900, "Über Folvex"},
        {940, "Folvex-Lizenz"},
        {950, "DTwain-Lizenz"},
        {960, "FreeImage-Lizenz"},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        answerer.shown.clear();
        answerer.queueAnswer(1);
        DrainWindowEvents();
        postMenuEvent(mainWindow(), c.item);
        MainWindowPort port;
        runMainLoopTurn(state(), port);
        ASSERT_EQ(answerer.shown.size(), 1U);
        EXPECT_EQ(answerer.shown[0].Title, c.title);
        EXPECT_FALSE(answerer.shown[0].Text.empty());
    }
    EXPECT_EQ(state().EndProgram, 0);
}

// The whole run in-process: the program ends through the hint's second button and starts Folvex32.
TEST_F(MainWindowTest, ScannerHintStartsFolvex32AfterTheShutDown)
{
    const std::string marker = programDir.file("marker");
    testing::writeFile(programDir.file("Folvex32"), "#!/bin/sh\necho started > \"" + marker + "\"\n");
    ASSERT_EQ(::chmod(programDir.file("Folvex32").c_str(), 0755), 0);
    effects().processes = &realRunner;
    answerer.queueAnswer(2);
    DrainWindowEvents();
    postMenuEvent(NoHandle, 930);
    ProgramOptions options;
    options.executablePath = programDir.file("Folvex");
    options.scannerLibrary = &scanner;
    EXPECT_EQ(runProgram(options), 0);
    EXPECT_EQ(answerer.shown.size(), 1U);
    EXPECT_EQ(storedSetting("ALLGEMEIN", "LastWindowMaximized"), "0");
    QTRY_VERIFY_WITH_TIMEOUT(FileExists(marker) == 1 && testing::readFile(marker) == "started\n", 20000);
}

TEST_F(MainWindowTest, ScannerHintWithoutFolvex32RunsOn)
{
    answerer.queueAnswer(2);
    answerer.queueAnswer(1);
    DrainWindowEvents();
    postMenuEvent(NoHandle, 930);
    postMenuEvent(NoHandle, 190);
    ProgramOptions options;
    options.executablePath = programDir.file("Folvex");
    options.scannerLibrary = &scanner;
    EXPECT_EQ(runProgram(options), 0);
    ASSERT_EQ(answerer.shown.size(), 2U);
    EXPECT_EQ(answerer.shown[1].Title, "Fehler");
    EXPECT_EQ(answerer.shown[1].Icon, 4);
    EXPECT_EQ(
        answerer.shown[1].Text,
        "Die 32bit-Version von Folvex ist nicht vorhanden:\\n\\n   »" + programDir.folder() +
            "Folvex32«\\n\\nFolvex läuft weiter.");
    EXPECT_TRUE(runner.started.empty());
}

} // namespace
} // namespace folvex

namespace folvex {
namespace {

TEST_F(MainWindowTest, ImportMenusOpenTheirRequesters)
{
    startShell();
    WaitWindowWatchingRunner ghostscript;
    effects().processes = &ghostscript;
    std::vector<int> jobs;
    // The wait window's end drops the input that came meanwhile, so the quit comes from the job.
    state().entryPoints.ScanAndSave = [this, &jobs](std::uint8_t existing) {
        jobs.push_back(existing);
        postMenuEvent(mainWindow(), 190);
        return 0;
    };
    const std::string pdf = programDir.file("a.pdf");
    testing::writeFile(pdf, "%PDF-1.4");
    fakeEffects.files.queueAnswer(std::vector<std::string>{});
    fakeEffects.files.queueAnswer(std::vector<std::string>{});
    fakeEffects.files.queueAnswer(pdf);
    postMenuEvent(mainWindow(), 120);
    postMenuEvent(mainWindow(), 130);
    postMenuEvent(mainWindow(), 140);
    runLoop();
    effects().processes = &runner;

    std::vector<std::string> titles;
    for (const testing::RecordedFileDialog& dialog : fakeEffects.files.dialogs) {
        titles.push_back(dialog.request.title);
    }
    EXPECT_EQ(titles, (std::vector<std::string>{ImportImagesTitle, ImportTiffTitle, ImportPdfTitle}));
    EXPECT_EQ(ghostscript.waitText, ImportPdfWaitText);
    EXPECT_EQ(ghostscript.argv.back(), pdf);
    EXPECT_EQ(WaitWindow(), NoHandle);
    EXPECT_EQ(jobs, std::vector<int>{1});
}

} // namespace
} // namespace folvex
