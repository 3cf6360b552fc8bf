#pragma once
// The core of the foundation library: its start-up, the window classes ("WINDOW" = WndClass1,
// "DIALOG" = DlgClass1, and DialogWindow for the program's owned dialogs), `create`, which makes a
// window or control from a keyword, and LibraryShutdown. Owns the process-wide FoundationLibrary
// record. GUI thread.

#include "runtime/handles.h"

#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

namespace folvex {

// The values the start-up fills and other parts of the program read.
struct FoundationLibrary
{
    // Windows made with "WINDOW" and "DIALOG", in creation order; closing one removes it.
    std::vector<Handle> WindowList;
    // The style of "WINDOW" windows: WS_VISIBLE | WS_OVERLAPPEDWINDOW.
    std::uint32_t WindowStyle = 0x10CF0000;
    // The colour both window classes paint with, 0x00BBGGRR: RGB(240, 240, 240).
    std::uint32_t ButtonFaceColour = 0x00F0F0F0;
    // The folder of the running executable, always ending in "/".
    std::string ProgramDir;
    std::uint32_t ProcessId = 0;
    // Separates the cells of a list-view row text.
    std::string ListViewSeparator = "|";
};

// The record of the running program.
FoundationLibrary& foundationLibrary();

// The start-up code: a fresh record, ProgramDir from executablePath (empty: the executable of the
// running process, /proc/self/exe), ProcessId, and the window layer's "user32.dll" functions.
void startFoundationLibrary(const std::string& executablePath = {});

// The program folder of an executable: its folder with a trailing "/" ("/Folvex" gives "/").
std::string programDirFor(const std::string& executablePath);

// The font of controls made without one: Liberation Sans, 8 points. The fixed control sizes were drawn
// for a dialog font of Arial's widths at 8 points (11 pixels at 96 DPI); Liberation Sans has exactly
// Arial's widths, so every text fits its control as drawn.
inline constexpr const char* SystemFontFamily = "Liberation Sans";
inline constexpr int SystemFontPoints = 8;

// Makes a window or control; art is compared upper-cased ("WINDOW", "DIALOG", "TEXT", "EDIT",
// "MULTIEDIT", "BUTTON", "DEFBUTTON", "PICBUTTON", "DEFPICBUTTON", "RADIOBUTTON", "CHECKBOX",
// "GROUPBOX", "TOOLTIP", "LISTBOX", "LISTVIEW", "HSCROLL", "VSCROLL", "COMBOBOX", "SPIN", "TOGGLE",
// "SCROLLAREA"). x, y, w, h: pixels, the outer rectangle in screen coordinates for top-level windows,
// the parent's client coordinates for child windows (not used by "TOOLTIP"). opt: a font handle for
// text controls (and "COMBOBOX", "SPIN", "TOGGLE"), an image handle for the picture buttons, 0 (owned
// top-level) or not 0 (child) for "DIALOG", the sort order (1 ascending, 2 descending by the first
// cell) for "LISTVIEW", the window holding the tool for "TOOLTIP" (whose parent is the tool control).
// text: the items of "COMBOBOX" separated by "|" (the first one current; empty: no items), the label
// of "TOGGLE"; not used by "SPIN" and "SCROLLAREA". The result is the new handle; 0 when the keyword
// is unknown (after the note "create: »art« ist kein zulässiges Schlüsselwort für art$") or the
// window cannot be made.
// Widgets: "LISTVIEW" a QTreeWidget, "LISTBOX" a QListWidget, "HSCROLL"/"VSCROLL" a QScrollBar,
// "MULTIEDIT" a QPlainTextEdit, "EDIT" a QLineEdit, "TEXT" a QLabel; "TOOLTIP" a hidden child of the
// tool that shows the tip while it lives; "COMBOBOX" a QComboBox that cannot be edited, "SPIN" a
// QSpinBox (range 0 .. 2^31 − 1), "TOGGLE" a ToggleButton (released in ButtonFaceColour),
// "SCROLLAREA" a ControlScrollArea whose panel (ScrollAreaPanel) takes the area's controls.
// Every control posts its control events (attachControlEvents, runtime/controls.h).
Handle create(
    const std::string& art,
    Handle parent,
    const std::string& text,
    int x,
    int y,
    int w,
    int h,
    std::intptr_t opt);

// Closes every dynamic library still open. Returns 0.
int LibraryShutdown();

// A window of the class "WINDOW": paints ButtonFaceColour; a close request leaves it open, takes it
// out of WindowList and queues a close event for the program's loop.
class WndClass1 : public QWidget
{
    Q_OBJECT

public:
    WndClass1();
    ~WndClass1() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};

// A window of the class "DIALOG": paints ButtonFaceColour; closing destroys it, takes it out of
// WindowList and gives the focus to the main window; no event is queued.
class DlgClass1 : public QWidget
{
    Q_OBJECT

public:
    explicit DlgClass1(QWidget* parent, bool child);
    ~DlgClass1() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};

// Where openDialogWindow puts a new dialog.
enum class DialogPlacement
{
    CentreOnOwner = 0,  // its outer rectangle centred over the owner's
    CentreOnScreen = 1, // centred in the primary screen's available area
};

struct DialogWindowOptions
{
    Handle owner = NoHandle; // NoHandle: the main window (mainWindowHandle())
    DialogPlacement placement = DialogPlacement::CentreOnOwner;
    bool closeBox = true; // false: a title bar only, where the window manager allows it
};

// The style kept for a dialog window (WS_VISIBLE | WS_CAPTION, plus WS_SYSMENU with a close box).
inline constexpr std::uint32_t DialogWindowStyle = 0x10C00000;
inline constexpr std::uint32_t DialogWindowCloseBoxStyle = 0x10C80000;

// Opens a dialog window of clientWidth × clientHeight pixels with the given title: owned by (and
// kept above) its owner, of fixed size, shown at once, in the system font and the button-face
// colour. Its close box or a close request posts CloseWindow for it and leaves it open; the caller
// closes it with closeDialogWindow. Opening it disables no other window. Appended to WindowList.
// Returns its handle; 0 for a size below 1 pixel.
Handle openDialogWindow(
    const std::string& title, int clientWidth, int clientHeight, const DialogWindowOptions& options = {});

// Destroys a dialog window opened by openDialogWindow (with its controls) at once and gives the focus
// back to its owner; for the dialog's loop, not for its own widgets' handlers. False when dialog is
// no such window.
bool closeDialogWindow(Handle dialog);

// The class of openDialogWindow's windows.
class DialogWindow : public QWidget
{
    Q_OBJECT

public:
    DialogWindow(QWidget* owner, bool closeBox);
    ~DialogWindow() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};

} // namespace folvex
