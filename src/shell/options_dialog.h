#pragma once
// The options window "Optionen", the list of external image editors and the window that adds or
// changes one editor. Each is an owned dialog over the main window with its own event loop that
// takes every event while it runs. GUI thread.

#include "runtime/handles.h"
#include "shell/main_window.h"

#include <array>
#include <string>

namespace folvex {

inline constexpr int OptionsClientWidthPx = 520;
inline constexpr int OptionsClientHeightPx = 537;
inline constexpr int EditorListClientWidthPx = 450;
inline constexpr int EditorListClientHeightPx = 400;
inline constexpr int EditorClientWidthPx = 425;
inline constexpr int EditorClientHeightPx = 135;

// The controls of the options window while it is open.
struct OptionsDialogControls
{
    Handle window = NoHandle;
    Handle jpgQuality = NoHandle; // spin fields
    Handle frameRate = NoHandle;
    Handle loops = NoHandle;
    Handle profile = NoHandle; // combo box
    Handle resolution = NoHandle;
    Handle minColor = NoHandle;
    Handle percentage = NoHandle;
    Handle defaults = NoHandle;
    Handle thumbSize = NoHandle;
    Handle refPicX = NoHandle;
    Handle refPicY = NoHandle;
    Handle refPicCutoff = NoHandle;
    Handle pdfDpi = NoHandle;
    Handle language = NoHandle;
    Handle openLastScanner = NoHandle; // check boxes
    Handle deleteEmptyOnEdit = NoHandle;
    Handle editors = NoHandle;
    Handle tmpPath = NoHandle;
    Handle tmpPathChooser = NoHandle;
    Handle gsPath = NoHandle;
    Handle gsPathChooser = NoHandle;
    Handle save = NoHandle; // owner-drawn
    Handle cancel = NoHandle;

    // The fields that select their text on focus, in the order they are subclassed.
    std::array<Handle, 6> selectingFields() const
    {
        return {minColor, percentage, resolution, jpgQuality, frameRate, loops};
    }
};

struct EditorListControls
{
    Handle window = NoHandle;
    Handle list = NoHandle;
    Handle add = NoHandle; // owner-drawn "+", "···", "-", "Zurück"
    Handle edit = NoHandle;
    Handle remove = NoHandle;
    Handle back = NoHandle;
};

struct EditorWindowControls
{
    Handle window = NoHandle;
    Handle name = NoHandle;
    Handle path = NoHandle;
    Handle pathChooser = NoHandle;
    Handle wait = NoHandle;
    Handle ok = NoHandle; // owner-drawn
    Handle cancel = NoHandle;
};

// The options window: edits the settings and saves them on "Speichern" or Return, or leaves them on
// "Abbruch", Esc or the close box.
void OptionsDialog(ShellState& state, ShellWindows& windows);

// The list of external editors; every change is written to the settings file at once. Returns 0.
int ExternalEditorsDialog(ShellState& state, ShellWindows& windows);

// Adds (index 0) or changes (1 .. count) an external editor in memory on "Ok". Returns 0.
int EditExternalEditor(ShellState& state, ShellWindows& windows, int index);

// The controls of the window of that kind while it is open, else nullptr (for tests and tools that
// drive the windows).
const OptionsDialogControls* openOptionsDialog();
const EditorListControls* openEditorList();
const EditorWindowControls* openEditorWindow();

// The text a field of these windows shows (text field or spin box); empty for any other control.
std::string fieldText(Handle field);

} // namespace folvex
