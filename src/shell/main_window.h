#pragma once
// The main window: its construction with the splash, menus, controls, fonts and button faces, the
// start of the scanner and image libraries, the callbacks the shell hands to other components, the
// main loop's window side and the clean-up at exit. The shell owns the one ShellProgram record.
// GUI thread.

#include "components/owner_drawn_button_table.h"
#include "foundation/freeimage_binding.h"
#include "pageeditor/thumbnail_grid.h"
#include "runtime/window_messages.h"
#include "shell/arc_face_sets.h"
#include "shell/main_loop.h"
#include "shell/shell_state.h"
#include "shell/update_checker.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace folvex {

class SCSQtWindowSystem;
class SizeChangeSystem;
class MainWindowScannerView;
struct ScannerSelectionContext;

// The title names the build's word size: "64bit" with 8-byte pointers, else "32bit".
std::string mainWindowTitle(std::size_t pointerBytes = sizeof(void*));

// One item of the main menu: id 0 is a separator.
struct MenuEntry
{
    int id;
    const char* text;
};

struct MenuSpec
{
    const char* title;
    std::vector<MenuEntry> entries;
};

// The main menu bar; the scanner-selection hint (930) only in the 64-bit build.
std::vector<MenuSpec> mainMenuSpecs(std::size_t pointerBytes = sizeof(void*));
inline constexpr int MainClientWidthPx = 580;
inline constexpr int MainClientHeightPx = 214;
inline constexpr const char* SplashTitle = "Folvex startet...";
inline constexpr int SplashWidthPx = 200;
inline constexpr int SplashHeightPx = 70;
inline constexpr const char* RotationScratchFile = "rotatetmpimage.bmp";
inline constexpr int ShellArcSetCount = static_cast<int>(ShellArcFaceSets.size());
// The menu items of the page editor's popup.
inline constexpr int MarkedPageKeepItem = 1025;
inline constexpr int MarkedPageNotBlankItem = 1027;
inline constexpr int MarkedPageLargeViewItem = 1030;

// The controls of the main window (handles of the runtime's registry).
struct MainWindowControls
{
    Handle scannerLine = NoHandle;
    Handle statusLine = NoHandle;
    Handle scanButton = NoHandle;          // "Scannen"
    Handle selectScannerButton = NoHandle; // "Scanner auswählen"
    std::array<Handle, 3> hintLines{};
    Handle paperSource = NoHandle; // combo boxes
    Handle colourMode = NoHandle;
    Handle resolution = NoHandle;
    Handle paperSize = NoHandle;
    Handle destinationType = NoHandle;
    Handle duplex = NoHandle; // check boxes
    Handle discardBlank = NoHandle;
    Handle openLastOutputButton = NoHandle; // "letztes PDF/JPG öffnen"
    Handle quitButton = NoHandle;           // "Programmende"
};

// What the main window's construction makes and the clean-up releases.
struct ShellWindows
{
    Handle MainWindow = NoHandle;
    Handle MainMenu = NoHandle;
    Handle MarkedPageMenu = NoHandle;
    MainWindowControls controls;

    Handle SplashWindow = NoHandle;
    Handle SplashStatus = NoHandle;
    // Every text the splash's status line showed, in order.
    std::vector<std::string> splashHistory;

    Handle SplashFont = NoHandle;
    Handle HintFont = NoHandle;
    Handle ButtonFont = NoHandle;
    Handle DialogFont = NoHandle;

    ODBProperties ButtonFaceProps;
    std::array<int, ShellArcSetCount> ShellArcSets{};
    std::array<Handle, 2> SplitToggleImages{}; // off, on

    std::unique_ptr<SCSQtWindowSystem> scsWindowSystem;
    std::unique_ptr<SizeChangeSystem> scs;

    // The scanner selection's view of the main window and its binding to the shell's data.
    std::unique_ptr<MainWindowScannerView> scannerView;
    std::unique_ptr<ScannerSelectionContext> scannerContext;

    ShellWindows();
    ~ShellWindows();
    ShellWindows(ShellWindows&&) noexcept;
    ShellWindows& operator=(ShellWindows&&) noexcept;
};

// The whole shell: its state, its windows, the image library it loaded and the daily update check.
struct ShellProgram
{
    ShellState state;
    ShellWindows windows;
    FreeImageLibrary freeImage;
    UpdateCheckState updateCheck;
};

// The program's instance. A test assigns a fresh record.
ShellProgram& shellProgram();

// Fills the entry points of the parts built on the shell: the scanner selection and its callback, the
// about box, the licence texts, the update checker, the scan job, the clean-up of the temporary folder
// and the page imports.
void installShellEntryPoints(ShellProgram& program);

// Builds the main window (hidden until the end), the splash, the menus and the controls, sets and
// loads the settings, starts the scanner library, checks the image library and restores the window.
void OpenMainWindow();

// Releases what OpenMainWindow made and saves the window rectangle.
void CleanUpOnExit();

// Deletes the main window and the splash (after CleanUpOnExit).
void destroyMainWindow();

// The main window's message callback: WM_APP wakes the loop, WM_APP+1 also sets QuitRequest.
MessageResult
MainWindowCallback(Handle hwnd, std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam);

// The resize system's callback for the main window: does nothing.
std::intptr_t
MainWindowSizeCallback(Handle hwnd, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

// The page editor's thumbnail subclass: records left (not while dragging) and right button-up clicks.
std::intptr_t ClickSubclassProc(
    Handle hwnd,
    std::uint32_t message,
    std::intptr_t wParam,
    std::intptr_t lParam,
    std::intptr_t id,
    std::intptr_t refData);

// Sets the splash's status line (ignored once the splash is closed).
void setSplashStatus(const std::string& text);

// The main window's menu item of that id; enabling and reading its state. False for an unknown id.
bool setMainMenuItemEnabled(int id, bool enabled);
bool mainMenuItemEnabled(int id);

// The text shown by a control of the main window (label, combo box, check box, button).
std::string controlText(Handle control);

// Gives the focus to "Scannen" of these controls when it is enabled, else to "Scanner auswählen".
void focusScanOrSelectButton(const MainWindowControls& controls);

// Gives the keyboard focus after a job: to "Scannen" when it is enabled, else to "Scanner auswählen".
void focusAfterJob();

// The main window's two check boxes.
enum class MainCheckBox
{
    Duplex,       // "automatisch doppelseitig scannen"
    DiscardBlank, // "leere Seiten entfernen"
};

// Whether a check box of the main window is ticked, or enabled; false while it does not exist.
bool mainCheckBoxTicked(MainCheckBox box);
bool mainCheckBoxEnabled(MainCheckBox box);

// Moves a control of the main window to client coordinates (the client area lies below the menu bar).
void placeInMainClient(Handle control, int x, int y, int width, int height);

// The main loop's window side on the real main window.
class MainWindowPort : public MainLoopPort
{
public:
    std::string paperSourceText() override;
    void setDuplexBoxEnabled(bool enabled) override;
    LoopEvent waitForEvent() override;
    Handle mainWindow() override;
    bool buttonClicked(MainButton button) override;
    bool escapeDown() override;
    bool mainWindowActive() override;
    void pause(int ms) override;
    void setMenuItemEnabled(MenuItem item, bool enabled) override;
    std::intptr_t showBox(const ShellBox& box) override;
    void placeMainWindow(const ScreenRect& outer) override;
    void postWakeUp() override;
};

} // namespace folvex
