#include "shell/main_window.h"

#include "components/action_box.h"
#include "components/button_faces.h"
#include "components/owner_drawn_button.h"
#include "components/size_change_system.h"
#include "components/size_change_widgets.h"
#include "foundation/control_creation.h"
#include "foundation/freeimage_messages.h"
#include "foundation/paths.h"
#include "foundation/twain_binding.h"
#include "foundation/window_routines.h"
#include "pageeditor/page_editor_window_qt.h"
#include "runtime/controls.h"
#include "runtime/dib.h"
#include "runtime/draw_objects.h"
#include "runtime/input_state.h"
#include "runtime/object_registry.h"
#include "runtime/qt_gui_thread.h"
#include "runtime/subclass.h"
#include "runtime/window_events.h"
#include "runtime/window_geometry.h"
#include "scan/scan_result.h"
#include "scan/scan_writers.h"
#include "shell/help_texts.h"
#include "shell/options_dialog.h"
#include "shell/page_import_qt.h"
#include "shell/scan_job_window.h"
#include "shell/scanner_selection.h"
#include "shell/scanner_selection_view_qt.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QWidget>

#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace folvex {

// The scanner selection's view: forwards to the main window's controls once they exist.
class MainWindowScannerView final : public ScannerSelectionView
{
public:
    void attach(const MainWindowControls& c)
    {
        m_view = std::make_unique<QtScannerSelectionView>(
            qobject_cast<QLabel*>(findWidget(c.scannerLine)),
            qobject_cast<QLabel*>(findWidget(c.statusLine)),
            qobject_cast<QComboBox*>(findWidget(c.paperSource)),
            qobject_cast<QCheckBox*>(findWidget(c.duplex)),
            findWidget(c.scanButton));
    }

    void setScannerLine(const std::string& text) override
    {
        if (m_view) {
            m_view->setScannerLine(text);
        }
    }

    void setStatusNow(const std::string& text) override
    {
        if (m_view) {
            m_view->setStatusNow(text);
        }
    }

    int lastPaperSourceIndex(const std::string& text) override
    {
        return m_view ? m_view->lastPaperSourceIndex(text) : -1;
    }

    void addPaperSource(const std::string& text) override
    {
        if (m_view) {
            m_view->addPaperSource(text);
        }
    }

    void removePaperSource(int index) override
    {
        if (m_view) {
            m_view->removePaperSource(index);
        }
    }

    void enableDuplexBox(bool enabled) override
    {
        if (m_view) {
            m_view->enableDuplexBox(enabled);
        }
    }

    void enableScanButton(bool enabled) override
    {
        if (m_view) {
            m_view->enableScanButton(enabled);
        }
    }

private:
    std::unique_ptr<QtScannerSelectionView> m_view;
};

namespace {

constexpr std::uint32_t VisibleStyle = 0x10000000;       // WS_VISIBLE
constexpr std::uint32_t SplashStyle = 0x90000000;        // popup, visible: no frame, no caption
constexpr std::uint32_t SplashBackground = 0x0000C800;   // RGB(0, 200, 0)
constexpr std::uint32_t SplashTitleColour = 0x00FF0000;  // RGB(0, 0, 255)
constexpr std::uint32_t SplashStatusColour = 0x00FFFFFF; // RGB(255, 255, 255)
constexpr int ButtonWidthPx = 200;
constexpr int ButtonHeightPx = 30;

const char* const ResolutionItems[] = {
    "75 dpi",
    "100 dpi",
    "150 dpi",
    "200 dpi",
    "240 dpi",
    "300 dpi",
    "400 dpi",
    "600 dpi",
    "800 dpi",
    "1200 dpi"};

const char* const ColourModeItems[] = {"schwarzweiß", "Graustufen", "Farbe"};

constexpr int GreenLargeSet = 0;
constexpr int BlackLargeSet = 1;

QString qs(const char* text)
{
    return QString::fromUtf8(text);
}

ShellWindows& windows()
{
    return shellProgram().windows;
}

ShellState& state()
{
    return shellProgram().state;
}

// Keeps the menu bar across the top of the main window's widget.
class MenuBarKeeper final : public QObject
{
public:
    MenuBarKeeper(QWidget* window, QMenuBar* bar)
        : QObject(bar)
        , m_bar(bar)
    {
        window->installEventFilter(this);
        m_bar->setGeometry(0, 0, window->width(), MenuHeight);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize) {
            m_bar->setGeometry(0, 0, static_cast<QWidget*>(watched)->width(), MenuHeight);
        }
        return false;
    }

private:
    QMenuBar* m_bar;
};

QAction* mainMenuAction(int id)
{
    auto* bar = qobject_cast<QMenuBar*>(findObject(windows().MainMenu));
    if (bar == nullptr) {
        return nullptr;
    }
    for (QAction* top : bar->actions()) {
        if (QMenu* menu = top->menu()) {
            for (QAction* item : menu->actions()) {
                if (!item->isSeparator() && item->data().toInt() == id) {
                    return item;
                }
            }
        }
    }
    return nullptr;
}

QRect primaryScreenArea()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        return screen->availableGeometry();
    }
    return {0, 0, 1024, 768};
}

std::vector<ScreenRect> screenRects()
{
    std::vector<ScreenRect> rects;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect area = screen->geometry();
        rects.push_back({area.left(), area.top(), area.left() + area.width(), area.top() + area.height()});
    }
    return rects;
}

ScreenRect edgesOf(const WindowRect& rect)
{
    return {rect.x, rect.y, rect.x + rect.width, rect.y + rect.height};
}

WindowRect rectOf(const ScreenRect& edges)
{
    return {edges.left, edges.top, edges.right - edges.left, edges.bottom - edges.top};
}

void setColours(QWidget* widget, std::uint32_t background, std::uint32_t text)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colourFromRgbValue(background));
    palette.setColor(QPalette::WindowText, colourFromRgbValue(text));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void removeFile(const std::string& path)
{
    ::unlink(path.c_str());
}

Handle makeLabel(Handle parent, const std::string& text, int x, int y, int width, int height, Handle font)
{
    const Handle label = create("TEXT", parent, text, x, y, width, height, font);
    placeInMainClient(label, x, y, width, height);
    return label;
}

// A combo box of the main window with its items; a stored value that matches no item keeps the first.
Handle makeChoiceBox(
    Handle window,
    int x,
    int y,
    int width,
    int height,
    const std::vector<std::string>& items,
    const std::string& selected)
{
    const Handle combo = create("COMBOBOX", window, "", x, y, width, height, NoHandle);
    placeInMainClient(combo, x, y, width, height);
    for (const std::string& item : items) {
        ComboAddItem(combo, item);
    }
    if (!ComboSelectText(combo, selected)) {
        ComboSelectIndex(combo, 0);
    }
    return combo;
}

Handle makeCheckBox(Handle window, const std::string& text, int x, int y, const std::string& tip)
{
    const Handle box = create("CHECKBOX", window, text, x, y, 200, 20, NoHandle);
    placeInMainClient(box, x, y, 200, 20);
    create("TOOLTIP", box, tip, 0, 0, 0, 0, window);
    return box;
}

Handle makeButton(Handle window, const std::string& text, int x, int y, int arcSet)
{
    ShellWindows& w = windows();
    PrepareArcODB(w.ButtonFaceProps, w.ShellArcSets[static_cast<std::size_t>(arcSet)]);
    w.ButtonFaceProps.Font = w.ButtonFont;
    const Handle button = CreateODB(window, text, x, y, ButtonWidthPx, ButtonHeightPx, w.ButtonFaceProps);
    placeInMainClient(button, x, y, ButtonWidthPx, ButtonHeightPx);
    return button;
}

Handle makeSplitToggleImage(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    std::unique_ptr<DibBitmap> image = makeDibBitmap(100, 2000, 24);
    if (!image) {
        return NoHandle;
    }
    for (std::int32_t y = 0; y < image->height; ++y) {
        std::uint8_t* row = image->rowTopDown(y);
        for (std::int32_t x = 0; x < image->width; ++x) {
            row[3 * x] = blue;
            row[3 * x + 1] = green;
            row[3 * x + 2] = red;
        }
    }
    return registerImage(std::move(image));
}

// Step 1: the hidden main window, its client area centred on the screen below the menu bar.
Handle openHiddenMainWindow()
{
    FoundationLibrary& library = foundationLibrary();
    const std::uint32_t style = library.WindowStyle;
    library.WindowStyle = style & ~VisibleStyle;
    const Handle window = create("WINDOW", NoHandle, mainWindowTitle(), 0, 0, 100, 100, 0);
    library.WindowStyle = style;
    if (window == NoHandle) {
        return NoHandle;
    }
    setHasMenuBar(window, true);
    const QRect screen = primaryScreenArea();
    placeWindowByClientRect(
        window,
        {screen.x() + (screen.width() - MainClientWidthPx) / 2,
         screen.y() + (screen.height() - MainClientHeightPx) / 2,
         MainClientWidthPx,
         MainClientHeightPx});
    return window;
}

// Step 3: the borderless green splash with its two labels.
void openSplash()
{
    ShellWindows& w = windows();
    auto* splash = new QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint);
    splash->setWindowTitle(qs(SplashTitle));
    setColours(splash, SplashBackground, SplashTitleColour);
    w.SplashWindow = registerObject(splash, ObjectKind::Window, SplashStyle);
    const QRect screen = primaryScreenArea();
    placeWindowByOuterRect(
        w.SplashWindow,
        {screen.x() + (screen.width() - SplashWidthPx) / 2,
         screen.y() + (screen.height() - SplashHeightPx) / 2,
         SplashWidthPx,
         SplashHeightPx});
    const int width = ClientWidth(w.SplashWindow);
    const Handle title = create("TEXT", w.SplashWindow, SplashTitle, 0, 15, width, 20, w.SplashFont);
    w.SplashStatus = create("TEXT", w.SplashWindow, "", 0, 38, width, 15, w.HintFont);
    for (const auto& [label, colour] :
         {std::pair{title, SplashTitleColour}, {w.SplashStatus, SplashStatusColour}}) {
        if (auto* text = qobject_cast<QLabel*>(findWidget(label))) {
            text->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
            setColours(text, SplashBackground, colour);
        }
    }
    splash->show();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// Step 5: the menu bar and the page editor's popup.
void buildMenus(Handle window)
{
    ShellWindows& w = windows();
    QWidget* widget = findWidget(window);
    auto* bar = new QMenuBar(widget);
    bar->setNativeMenuBar(false);
    for (const MenuSpec& menuSpec : mainMenuSpecs()) {
        QMenu* menu = bar->addMenu(qs(menuSpec.title));
        for (const MenuEntry& entry : menuSpec.entries) {
            if (entry.id == 0) {
                menu->addSeparator();
                continue;
            }
            QAction* action = menu->addAction(qs(entry.text));
            action->setData(entry.id);
            QObject::connect(
                action, &QAction::triggered, action, [window, id = entry.id] { postMenuEvent(window, id); });
        }
    }
    new MenuBarKeeper(widget, bar);
    bar->show();
    w.MainMenu = registerObject(bar, ObjectKind::Menu);
    setMainMenuItemEnabled(static_cast<int>(MenuItem::OpenLastOutput), false);

    auto* popup = new QMenu(widget);
    popup->addAction(qs("nicht löschen"))->setData(MarkedPageKeepItem);
    popup->addAction(qs("nicht leer"))->setData(MarkedPageNotBlankItem);
    popup->addSeparator();
    popup->addAction(qs("groß anzeigen"))->setData(MarkedPageLargeViewItem);
    w.MarkedPageMenu = registerObject(popup, ObjectKind::Menu);
}

// Step 8: the resize system, the window callback and the two libraries.
void startLibraries(Handle window)
{
    ShellWindows& w = windows();
    w.scsWindowSystem = std::make_unique<SCSQtWindowSystem>();
    w.scs = std::make_unique<SizeChangeSystem>(*w.scsWindowSystem);
    w.scs->InitSCS();
    setMainWindowHandle(window);
    SetWindowCallback(window, MainWindowCallback);

    DTwainVersionCheck();
    ScannerLibrary& scanner = DTwainBinding();
    scanner.initialize();
    scanner.startConnection(window, 0);
    scanner.connectionSetting3210(0);
    scanner.connectionSetting13(1);
    if (state().entryPoints.registerScannerCallback) {
        state().entryPoints.registerScannerCallback();
    }

    FreeImageLibrary& freeImage = shellProgram().freeImage;
    FreeImageVersionCheck(freeImage);
    if (freeImage.FreeImageFunctions.SetOutputMessage != nullptr) {
        setFreeImageMessageGuiThread(&qtGuiThread());
        freeImage.FreeImageFunctions.SetOutputMessage(FreeImageErrorHandler);
    }
}

// Step 11: the controls.
void buildControls(Handle window)
{
    ShellWindows& w = windows();
    MainWindowControls& c = w.controls;
    const Settings& s = state().settingsState.settings;
    const int width = ClientWidth(window);
    const int height = ClientHeight(window);

    c.scannerLine = makeLabel(window, std::string(NoScannerLine), 5, 5, width - 10, 20, NoHandle);
    c.statusLine = makeLabel(window, std::string(StatusIdle), 5, 25, width - 10, 20, NoHandle);
    c.scanButton = makeButton(window, "Scannen", 5, 55, GreenLargeSet);
    EnableControl(c.scanButton, 0);
    c.selectScannerButton = makeButton(window, "Scanner auswählen", 5, 95, BlackLargeSet);
    const char* const hints[] = {
        "Nicht jeder Scanner übernimmt die hier",
        "eingestellten Werte. Bitte diese Werte",
        "immer im Scanner-Interface überprüfen."};
    for (std::size_t i = 0; i < c.hintLines.size(); ++i) {
        c.hintLines[i] = makeLabel(window, hints[i], 5, 135 + 15 * static_cast<int>(i), 210, 15, w.HintFont);
    }

    std::vector<std::string> paperSources{std::string(FlatbedPaperSource)};
    if (s.PreviousPaperSource == FeederPaperSource) {
        paperSources.emplace_back(FeederPaperSource);
    }
    c.paperSource = makeChoiceBox(window, 220, 55, 140, 23, paperSources, s.PreviousPaperSource);
    c.colourMode = makeChoiceBox(
        window, 220, 80, 140, 23, {std::begin(ColourModeItems), std::end(ColourModeItems)}, s.ColorMode);
    c.resolution = makeChoiceBox(
        window, 220, 105, 140, 23, {std::begin(ResolutionItems), std::end(ResolutionItems)}, s.Resolution);
    c.paperSize = makeChoiceBox(window, 220, 130, 140, 23, {"DIN A4"}, s.PaperSize);
    std::vector<std::string> destinations;
    for (std::int32_t i = 1; i <= state().DestinationTypeCount; ++i) {
        destinations.push_back(state().DestinationTypes[static_cast<std::size_t>(i)]);
    }
    c.destinationType = makeChoiceBox(window, 220, 155, 140, 23, destinations, s.DestType);

    c.duplex = makeCheckBox(
        window,
        "automatisch doppelseitig scannen",
        375,
        55,
        "für Scanner, die automatisch die Vorder- und Rückseite gleichzeitig scannen können");
    if (s.PreviousPaperSource == FlatbedPaperSource) {
        EnableControl(c.duplex, 0);
    }
    c.discardBlank = makeCheckBox(
        window,
        "leere Seiten entfernen",
        375,
        80,
        "Seiten, die zum in den Optionen eingestellten Prozentsatz weiß sind, werden automatisch entfernt - "
        "dies ist insbesondere bei doppelseitigen Scans nützlich");
    SetCheckState(c.discardBlank, s.DiscardEmptyPages != 0 ? 1 : 0);

    c.openLastOutputButton =
        makeButton(window, "letztes PDF/JPG öffnen", width - 205, height - 75, BlackLargeSet);
    EnableControl(c.openLastOutputButton, 0);
    c.quitButton = makeButton(window, "Programmende", width - 205, height - 35, BlackLargeSet);
    if (w.scannerView) {
        w.scannerView->attach(c);
    }
}

// Step 14: the saved rectangle, when it is usable, and the maximised state.
void restoreWindow(Handle window)
{
    const Settings& s = state().settingsState.settings;
    const ScreenRect saved{s.LastWindowPosX1, s.LastWindowPosY1, s.LastWindowPosX2, s.LastWindowPosY2};
    placeWindowByOuterRect(window, rectOf(chooseRestoredRect(saved, state().StartRect, screenRects())));
    if (s.LastWindowMaximized == 1) {
        QWidget* widget = findWidget(window);
        widget->setWindowState(widget->windowState() | Qt::WindowMaximized);
    }
}

// The outer rectangle to save: for a minimised window the one it returns to.
ScreenRect savedOuterRect(Handle window)
{
    const QWidget* widget = findWidget(window);
    if (widget == nullptr) {
        return {};
    }
    if (!widget->isMinimized()) {
        return edgesOf(windowOuterRect(window));
    }
    const QRect normal = widget->normalGeometry();
    const WindowRect client{
        normal.x(), normal.y() + MenuHeight, normal.width(), normal.height() - MenuHeight};
    return edgesOf(outerFromClient(client, frameForStyle(styleOf(window), true)));
}

} // namespace

std::string mainWindowTitle(std::size_t pointerBytes)
{
    return programVersionLine(pointerBytes) + " - Scannen, Bearbeiten, Speichern";
}

std::vector<MenuSpec> mainMenuSpecs(std::size_t pointerBytes)
{
    std::vector<MenuSpec> menus{
        {"&Datei",
         {{100, "letztes erzeugtes PDF/JPG öffnen"},
          {0, nullptr},
          {110, "alte Grafikdateien retten (nach Absturz nach dem Scannen)"},
          {0, nullptr},
          {120, "externe Grafikdateien als Input benutzen"},
          {130, "externes Multipage-TIF als Input benutzen"},
          {140, "externes PDF als Input benutzen"},
          {0, nullptr},
          {190, "Programm&ende"}}},
        {"&Fenster", {{700, "originale Fenster&position- && -größe wiederherstellen"}}},
        {"&Optionen", {{800, "&Optionen"}}},
        {"&Hilfe",
         {{900, "ü&ber"},
          {910, "&Anleitung"},
          {0, nullptr},
          {920, "&Update-Checker aufrufen"},
          {0, nullptr},
          {940, "Folvex-Lizenz"},
          {950, "DTwain-Lizenz"},
          {960, "FreeImage-Lizenz"}}},
    };
    if (pointerBytes == 8) {
        std::vector<MenuEntry>& help = menus.back().entries;
        help.push_back({0, nullptr});
        help.push_back({930, "! wichtige &Hinweise zur Scannerauswahl !"});
    }
    return menus;
}

ShellWindows::ShellWindows() = default;
ShellWindows::~ShellWindows() = default;
ShellWindows::ShellWindows(ShellWindows&&) noexcept = default;
ShellWindows& ShellWindows::operator=(ShellWindows&&) noexcept = default;

void installShellEntryPoints(ShellProgram& program)
{
    ShellState& s = program.state;
    ShellWindows& w = program.windows;
    w.scannerView = std::make_unique<MainWindowScannerView>();
    w.scannerContext = std::make_unique<ScannerSelectionContext>(ScannerSelectionContext{
        s.CurrentSource,
        s.ScanCounters.pass,
        s.ScanCounters.job,
        s.AcquisitionRunning,
        s.settingsState,
        *w.scannerView});
    ScannerSelectionContext* context = w.scannerContext.get();
    s.entryPoints.SelectScanner = [context](const std::string& name) {
        return SelectScanner(*context, name);
    };
    s.entryPoints.registerScannerCallback = [context] {
        DTwainBinding().setNotificationCallback(twainNotificationCallbackFor(*context), 0, 0);
    };

    s.entryPoints.AboutBox = [] { AboutBox(); };
    s.entryPoints.OptionsDialog = [&program] { OptionsDialog(program.state, program.windows); };
    s.entryPoints.ShowLicence = [&s](int which) { ShowLicence(which, s.settingsState.ProgramDir); };
    const auto updateContext = [&program] {
        return UpdateCheckContext{
            program.state.settingsState,
            program.windows.MainWindow,
            foundationLibrary().ProcessId,
            setSplashStatus};
    };
    s.entryPoints.StartUpdateChecker = [updateContext] { StartUpdateChecker(updateContext()); };
    s.entryPoints.prepareUpdateCheck = [&program, updateContext] {
        prepareUpdateCheck(program.updateCheck, updateContext());
    };
    // One port and context per job: the scanner library is the one installed when the job starts.
    s.entryPoints.ScanAndSave = [&program](std::uint8_t existingPages) {
        MainWindowScanJobPort port(program.windows.controls, *program.windows.scannerView);
        ScanJobContext job{
            program.state,
            DTwainBinding(),
            port,
            port,
            runScanResult,
            &program.freeImage.FreeImageFunctions,
            scanWriters()};
        return ScanAndSave(job, existingPages);
    };
    s.entryPoints.DeleteOldTempFiles = [&program](std::int32_t mode) {
        MainWindowScanJobPort port(program.windows.controls, *program.windows.scannerView);
        ScanJobContext job{
            program.state, DTwainBinding(), port, port, {}, &program.freeImage.FreeImageFunctions};
        DeleteOldTempFiles(job, mode);
    };
    s.entryPoints.MayDeleteOldPages = [&program] {
        MainWindowScanJobPort port(program.windows.controls, *program.windows.scannerView);
        ScanJobContext job{
            program.state, DTwainBinding(), port, port, {}, &program.freeImage.FreeImageFunctions};
        return mayDeleteOldPages(job);
    };
    installPageImports(s, program.freeImage.FreeImageFunctions);
    // The editor's worker threads are started at its first use and kept for the program's life.
    auto editorPool = std::make_shared<std::unique_ptr<WorkerPool>>();
    s.entryPoints.EditPages = [&program, editorPool](std::int32_t detectBlank, std::uint8_t& emptyRemoved) {
        if (!*editorPool) {
            *editorPool = std::make_unique<WorkerPool>();
        }
        ShellWindows& shellWindows = program.windows;
        PageEditorContext editor{
            program.state,
            program.freeImage.FreeImageFunctions,
            shellWindows.ButtonFont,
            shellWindows.DialogFont,
            shellWindows.ButtonFaceProps,
            shellWindows.ShellArcSets,
            ClickSubclassProc,
            shellWindows.MarkedPageMenu,
            [&shellWindows] { return GetCheckState(shellWindows.controls.discardBlank); },
            [&shellWindows] { return ComboText(shellWindows.controls.destinationType); },
            **editorPool};
        return EditPages(editor, detectBlank, emptyRemoved);
    };
}

ShellProgram& shellProgram()
{
    static ShellProgram program;
    return program;
}

void placeInMainClient(Handle control, int x, int y, int width, int height)
{
    QWidget* widget = findWidget(control);
    if (widget == nullptr) {
        return;
    }
    const QWidget* parent = widget->parentWidget();
    const int menu = parent != nullptr && parent->isWindow() && hasMenuBar(handleOf(parent)) ? MenuHeight : 0;
    widget->setGeometry(x, y + menu, width, height);
}

void setSplashStatus(const std::string& text)
{
    ShellWindows& w = windows();
    if (findWidget(w.SplashStatus) == nullptr) {
        return;
    }
    SetText(w.SplashStatus, text);
    w.splashHistory.push_back(text);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool setMainMenuItemEnabled(int id, bool enabled)
{
    QAction* action = mainMenuAction(id);
    if (action == nullptr) {
        return false;
    }
    action->setEnabled(enabled);
    return true;
}

bool mainMenuItemEnabled(int id)
{
    const QAction* action = mainMenuAction(id);
    return action != nullptr && action->isEnabled();
}

std::string controlText(Handle control)
{
    QWidget* widget = findWidget(control);
    if (const auto* combo = qobject_cast<QComboBox*>(widget)) {
        return combo->currentText().toStdString();
    }
    if (const auto* label = qobject_cast<QLabel*>(widget)) {
        return label->text().toStdString();
    }
    if (const auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return button->text().toStdString();
    }
    return widget != nullptr ? widget->windowTitle().toStdString() : std::string();
}

void OpenMainWindow()
{
    ShellProgram& program = shellProgram();
    ShellState& s = program.state;
    ShellWindows& w = program.windows;
    s.settingsState.ProgramDir = foundationLibrary().ProgramDir;

    const Handle window = openHiddenMainWindow();
    w.MainWindow = window;
    s.StartRect = edgesOf(windowOuterRect(window));

    w.SplashFont = createFont("Arial", 14, static_cast<std::uint32_t>(FontFlag::Bold));
    w.HintFont = createFont("Arial", 8);
    openSplash();

    setSplashStatus("Menü aufbauen...");
    buildMenus(window);

    setSplashStatus("Variablen initialisieren...");
    w.ButtonFont = createFont("Arial", 11);
    w.DialogFont = createFont("Arial", 10);
    chooseTmpPath(s.settingsState);
    setSettingDefaults(s.settingsState);
    s.ImportRunning = 0;
    s.Start32OnExit = 0;
    s.LastOutputFile.clear();
    s.DragInProgress = 0;
    s.PageCapacity = 25;
    fillDestinationTypes(s);
    w.SplitToggleImages[0] = makeSplitToggleImage(255, 239, 213);
    w.SplitToggleImages[1] = makeSplitToggleImage(255, 0, 0);
    s.SplitToggleWidth = SplitToggleWidthPx;

    InitODB(1);
    CreatePreBuiltODBBrushes();
    for (std::size_t i = 0; i < w.ShellArcSets.size(); ++i) {
        w.ShellArcSets[i] = ODBCreateArcODBBrushes(
            ShellArcFaceSets[i].width, ShellArcFaceSets[i].height, ShellArcFaceSets[i].colour, 0.02F);
    }

    setSplashStatus("DLLs & Module initialisieren...");
    startLibraries(window);

    setSplashStatus("ini-Datei auswerten...");
    loadSettings(s.settingsState, s.StartRect, IsMaximized(window) != 0);

    const std::string tmpFolder = s.settingsState.ProgramDir + "tmp";
    if (DirectoryExists(tmpFolder) == 0) {
        ::mkdir(tmpFolder.c_str(), 0777);
    }
    removeFile(s.settingsState.ProgramDir + RotationScratchFile);

    setSplashStatus("GUI aufbauen...");
    buildControls(window);

    EnableControl(w.controls.duplex, 0);
    w.scs->SCSAddWindow(window);
    w.scs->SCSAddControl(w.controls.quitButton, window, scs_BIND_X2 | scs_BIND_Y2);
    w.scs->SCSSetCallback(MainWindowSizeCallback);

    if (s.entryPoints.prepareUpdateCheck) {
        s.entryPoints.prepareUpdateCheck();
    }

    if (FileExists(settingsFile(s.settingsState)) == 1) {
        restoreWindow(window);
    }

    if (w.scannerContext) {
        selectLastScannerAtStartUp(*w.scannerContext, setSplashStatus);
    }

    delete findWidget(w.SplashWindow);
    w.SplashWindow = NoHandle;
    w.SplashStatus = NoHandle;
    QWidget* widget = findWidget(window);
    widget->show();
    widget->activateWindow();
    focusAfterJob();
}

void focusAfterJob()
{
    focusScanOrSelectButton(windows().controls);
}

void focusScanOrSelectButton(const MainWindowControls& controls)
{
    QWidget* scan = findWidget(controls.scanButton);
    QWidget* focus = scan != nullptr && scan->isEnabled() ? scan : findWidget(controls.selectScannerButton);
    if (focus != nullptr) {
        focus->setFocus();
    }
}

bool mainCheckBoxTicked(MainCheckBox box)
{
    const MainWindowControls& c = windows().controls;
    const auto* check =
        qobject_cast<QCheckBox*>(findWidget(box == MainCheckBox::Duplex ? c.duplex : c.discardBlank));
    return check != nullptr && check->isChecked();
}

bool mainCheckBoxEnabled(MainCheckBox box)
{
    const MainWindowControls& c = windows().controls;
    const QWidget* check = findWidget(box == MainCheckBox::Duplex ? c.duplex : c.discardBlank);
    return check != nullptr && check->isEnabled();
}

void CleanUpOnExit()
{
    ShellProgram& program = shellProgram();
    ShellState& s = program.state;
    ShellWindows& w = program.windows;
    const std::string& programDir = s.settingsState.ProgramDir;

    removeFile(programDir + RotationScratchFile);

    ScannerLibrary& scanner = DTwainBinding();
    if (s.CurrentSource != NoHandle) {
        scanner.closeSource(s.CurrentSource);
        s.CurrentSource = NoHandle;
    }
    scanner.endConnection();
    scanner.shutDown();

    // The image library goes; its functions must not be called any more.
    program.freeImage.FreeImageFunctions = FreeImageFunctionTable{};
    program.freeImage.FreeImageBinding.reset();

    if (w.controls.quitButton != NoHandle) {
        DestroyODB(w.controls.quitButton);
        w.controls.quitButton = NoHandle;
    }
    DeInitODB();
    FreePreBuiltODBBrushes();
    if (w.scs) {
        w.scs->DeInitSCS();
    }

    for (Handle& image : w.SplitToggleImages) {
        freeImage(image);
        image = NoHandle;
    }
    for (Handle* font : {&w.ButtonFont, &w.DialogFont, &w.HintFont, &w.SplashFont}) {
        deleteDrawObject(*font);
        *font = NoHandle;
    }

    // A checker started from the run copy keeps running; the update thread keeps its own share of
    // what it uses.
    removeFile(programDir + UpdateCheckerRunCopy);
    program.updateCheck.UpdateParamBlock.reset();
    program.updateCheck.UpdateMutex.reset();

    if (findWidget(w.MainWindow) != nullptr) {
        const ScreenRect rect = savedOuterRect(w.MainWindow);
        SettingsState& settings = s.settingsState;
        writeSetting(settings, "ALLGEMEIN", "LastWindowPosX1", std::to_string(rect.left));
        writeSetting(settings, "ALLGEMEIN", "LastWindowPosY1", std::to_string(rect.top));
        writeSetting(settings, "ALLGEMEIN", "LastWindowPosX2", std::to_string(rect.right));
        writeSetting(settings, "ALLGEMEIN", "LastWindowPosY2", std::to_string(rect.bottom));
        writeSetting(
            settings, "ALLGEMEIN", "LastWindowMaximized", IsMaximized(w.MainWindow) != 0 ? "1" : "0");
    }
}

void destroyMainWindow()
{
    ShellWindows& w = windows();
    if (w.MainWindow != NoHandle) {
        SetWindowCallback(w.MainWindow, {});
    }
    delete findWidget(w.SplashWindow);
    delete findWidget(w.MainWindow);
    w.SplashWindow = NoHandle;
    w.MainWindow = NoHandle;
    w.scs.reset();
    w.scsWindowSystem.reset();
}

MessageResult
MainWindowCallback(Handle hwnd, std::uint32_t message, std::intptr_t /*wParam*/, std::intptr_t /*lParam*/)
{
    if (hwnd != windows().MainWindow || hwnd == NoHandle) {
        return DefaultProcessing;
    }
    if (message == AppMessage) {
        PostCustomEvent(hwnd);
        return 0;
    }
    if (message == AppQuitMessage) {
        state().QuitRequest = QuitRequested;
        PostCustomEvent(hwnd);
        return 0;
    }
    return DefaultProcessing;
}

std::intptr_t MainWindowSizeCallback(Handle, std::uint32_t, std::uintptr_t, std::intptr_t)
{
    return 0;
}

std::intptr_t ClickSubclassProc(
    Handle hwnd,
    std::uint32_t message,
    std::intptr_t wParam,
    std::intptr_t lParam,
    std::intptr_t /*id*/,
    std::intptr_t /*refData*/)
{
    ShellState& s = state();
    if ((message == LeftButtonUpMessage && s.DragInProgress == 0) || message == RightButtonUpMessage) {
        s.InputFlags.ClickedHandle = hwnd;
        s.InputFlags.ClickMessage = message;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

std::string MainWindowPort::paperSourceText()
{
    return controlText(windows().controls.paperSource);
}

void MainWindowPort::setDuplexBoxEnabled(bool enabled)
{
    EnableControl(windows().controls.duplex, enabled ? 1 : 0);
}

LoopEvent MainWindowPort::waitForEvent()
{
    LoopEvent event;
    event.kind = WaitWindowEvent(-1);
    event.window = EventWindow();
    event.menuId = EventMenu();
    event.key = event.kind == static_cast<int>(EventKind::Key) ? EventType() : 0;
    return event;
}

Handle MainWindowPort::mainWindow()
{
    return windows().MainWindow;
}

bool MainWindowPort::buttonClicked(MainButton button)
{
    const MainWindowControls& c = windows().controls;
    switch (button) {
        case MainButton::Scan:
            return ODBClicked(c.scanButton) != 0;
        case MainButton::SelectScanner:
            return ODBClicked(c.selectScannerButton) != 0;
        case MainButton::OpenLastOutput:
            return ODBClicked(c.openLastOutputButton) != 0;
        case MainButton::Quit:
            return ODBClicked(c.quitButton) != 0;
    }
    return false;
}

bool MainWindowPort::escapeDown()
{
    return KeyDown(VkEscape, 0, NoHandle) != 0;
}

bool MainWindowPort::mainWindowActive()
{
    return windows().MainWindow != NoHandle && handleOf(QApplication::activeWindow()) == windows().MainWindow;
}

void MainWindowPort::pause(int ms)
{
    Delay(ms);
}

void MainWindowPort::setMenuItemEnabled(MenuItem item, bool enabled)
{
    setMainMenuItemEnabled(static_cast<int>(item), enabled);
}

std::intptr_t MainWindowPort::showBox(const ShellBox& box)
{
    ActionBoxParams params;
    ResetActionBoxParams(params);
    params.Title = box.Title;
    params.Text = box.Text;
    params.Buttons = box.Buttons;
    params.ButtonCount = box.ButtonCount;
    params.DefaultButton = box.DefaultButton;
    params.ButtonWidth = box.ButtonWidth;
    params.Icon = box.Icon;
    return ActionBox(params);
}

void MainWindowPort::placeMainWindow(const ScreenRect& outer)
{
    QWidget* widget = findWidget(windows().MainWindow);
    if (widget == nullptr) {
        return;
    }
    widget->setWindowState(widget->windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized));
    placeWindowByOuterRect(windows().MainWindow, rectOf(outer));
}

void MainWindowPort::postWakeUp()
{
    PostCustomEvent(windows().MainWindow);
}

} // namespace folvex
