#pragma once
// The program's main loop: the duplex rule, the wait for the next event and the one chain of tests
// that dispatches menu items and button clicks, first match wins. The window side is reached through
// MainLoopPort, so the loop runs the same on the real main window and in tests. GUI thread.

#include "runtime/handles.h"
#include "shell/shell_state.h"

#include <cstdint>
#include <string>

namespace folvex {

// The menu items of the main window.
enum class MenuItem : int
{
    OpenLastOutput = 100,
    RescuePages = 110,
    ImportImages = 120,
    ImportMultipageTiff = 130,
    ImportPdf = 140,
    Quit = 190,
    RestoreWindow = 700,
    Options = 800,
    About = 900,
    Manual = 910,
    UpdateChecker = 920,
    ScannerHint = 930,
    ProgramLicence = 940,
    ScannerLibraryLicence = 950,
    ImageLibraryLicence = 960,
};

// The owner-drawn buttons of the main window.
enum class MainButton
{
    Scan,
    SelectScanner,
    OpenLastOutput,
    Quit,
};

inline constexpr MainButton AllMainButtons[] = {
    MainButton::Scan, MainButton::SelectScanner, MainButton::OpenLastOutput, MainButton::Quit};

// The kinds of event the loop tells apart (the runtime's event numbers).
inline constexpr int MenuEvent = 2;
inline constexpr int CloseEvent = 3;
inline constexpr int KeyEvent = 7;
inline constexpr int EscapeKey = 27;

struct LoopEvent
{
    int kind = 0;
    Handle window = NoHandle;
    int menuId = 0; // the chosen item of a menu event
    int key = 0;    // the virtual key of a key event
};

// A message box of the program's own kind as the loop asks for it; unset fields keep the box's
// defaults.
struct ShellBox
{
    std::string Title;
    std::string Text;
    std::string Buttons;
    std::intptr_t ButtonCount = 0;
    std::intptr_t DefaultButton = 0;
    std::intptr_t ButtonWidth = 0;
    std::intptr_t Icon = 0;
};

inline constexpr const char* FileNotFoundTitle = "Datei nicht gefunden";
inline constexpr const char* ScannerHintTitle = "wichtige Hinweise zur Scannerauswahl";
inline constexpr const char* ScannerHintButtons = "Ok|32bit-Version starten";
inline constexpr const char* Program32Name = "Folvex32";
inline constexpr const char* ManualFileName = "Anleitung Folvex.pdf";
inline constexpr const char* ManualMissingTitle = "Anleitung nicht gefunden";
inline constexpr const char* ManualNotOpenedTitle = "Anleitung nicht geöffnet";
inline constexpr int EscapePollMs = 25;

// "Die zu öffnende Datei\n\n   »" + file + "«\n\nist nicht mehr vorhanden."
std::string fileNotFoundText(const std::string& file);

// The note of menu 910 when the manual is not in the program folder; path: where it belongs.
std::string manualMissingText(const std::string& path);

// The note of menu 910 when no program could be started to open the manual at path.
std::string manualNotOpenedText(const std::string& path);

// The hint of menu 930.
std::string scannerHintText();

// "Die 32bit-Version von Folvex ist nicht vorhanden:\n\n   »" + path + "«\n\nFolvex läuft weiter."
std::string program32MissingText(const std::string& path);

// What the loop needs of the main window and its surroundings.
class MainLoopPort
{
public:
    virtual ~MainLoopPort() = default;

    // The paper-source combo box's text; enabling and disabling the duplex box.
    virtual std::string paperSourceText() = 0;
    virtual void setDuplexBoxEnabled(bool enabled) = 0;

    // Waits for the next event without a time-out.
    virtual LoopEvent waitForEvent() = 0;
    virtual Handle mainWindow() = 0;

    // Reads and clears a button's click flag.
    virtual bool buttonClicked(MainButton button) = 0;

    // Esc is down (no modifiers); whether the main window is the active window.
    virtual bool escapeDown() = 0;
    virtual bool mainWindowActive() = 0;
    // Lets time pass while windows keep painting.
    virtual void pause(int ms) = 0;

    virtual void setMenuItemEnabled(MenuItem item, bool enabled) = 0;
    // The 1-based button chosen, 0 for Esc or the close box.
    virtual std::intptr_t showBox(const ShellBox& box) = 0;
    // Moves and sizes the main window to an outer rectangle.
    virtual void placeMainWindow(const ScreenRect& outer) = 0;
    // Posts the wake-up event to the loop's queue.
    virtual void postWakeUp() = 0;
};

// The duplex rule: when the paper-source text differs from the one seen last, remember it and set the
// duplex box (disabled for the flatbed; enabled without an open scanner; with one, enabled only when
// it passes both feeder tests and the duplex test).
void updateDuplexBox(ShellState& state, MainLoopPort& port);

// One turn: duplex rule, wait, dispatch, end of turn.
void runMainLoopTurn(ShellState& state, MainLoopPort& port);

// Clears the remembered paper source and EndProgram, then runs turns until EndProgram is set.
void runMainLoop(ShellState& state, MainLoopPort& port);

// Menu 100 and the button "letztes PDF/JPG öffnen".
void openLastOutputFile(ShellState& state, MainLoopPort& port);

// Menu 910: opens the manual beside the program with the desktop's default viewer; a manual that is
// missing or could not be handed to a viewer gives a note naming where it lies.
void openManual(ShellState& state, MainLoopPort& port);

// Menu 930: the hint, and with its second button the end of the program and the start of Folvex32.
void showScannerHint(ShellState& state, MainLoopPort& port);

} // namespace folvex
