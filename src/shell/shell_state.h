#pragma once
// The shell's state record: the program-wide values of the start-up, the main loop and the shut-down,
// the tables the main program allocates for the scan job and the page editor, and the one table of
// entry points through which the main loop reaches the parts built elsewhere. The shell owns the one
// instance; a test builds a fresh one. GUI thread. The header needs no Qt: the cores of the scan job,
// the image operations and the page editor take this record, its SettingsState and the image
// library's FreeImageFunctionTable (foundation/freeimage_binding.h) by reference through their ports.

#include "runtime/handles.h"
#include "shell/settings.h"

#include <FreeImage.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace folvex {

// The names of the output types, in the order the main window offers them.
inline constexpr std::string_view DestinationTypeNames[] = {
    "PDF",
    "PDF+OCR",
    "BMP",
    "JPG",
    "PNG",
    "GIF",
    "Animated GIF",
    "TARGA",
    "einseitiges TIF",
    "mehrseitiges TIF"};

// QuitRequest holds this value once a quit request has arrived.
inline constexpr std::int32_t QuitRequested = 0x8001;

// The page counts of the scanner notifications: pages of the current pass and of the whole job.
struct ScanCounterPair
{
    std::int32_t pass = 0;
    std::int32_t job = 0;
};

// The click the page editor's thumbnails report through ClickSubclassProc.
struct PageEditorInput
{
    Handle ClickedHandle = NoHandle;
    std::uint32_t ClickMessage = 0; // 0x202 (left button up) or 0x205 (right button up)
};

// Entry points of the parts built on top of the shell. An empty slot does nothing (a selection then
// reports no open source); the parts fill their slots at start-up.
struct ShellEntryPoints
{
    // Runs one scan-and-save job; existingPages 1 rescues the page files left in the temporary folder.
    std::function<std::int32_t(std::uint8_t existingPages)> ScanAndSave;
    // Deletes the previous job's temporary files (mode 1 front sides, 2 back sides, 3 both).
    std::function<void(std::int32_t mode)> DeleteOldTempFiles;
    // Asks before the previous job's pages are deleted when they were never saved; false: the user
    // keeps them and the command ends. An empty slot asks nothing and lets the clean-up go on.
    std::function<bool()> MayDeleteOldPages;
    // Selects and opens a scanner (empty name: with the selection dialog); the open source or 0.
    std::function<Handle(const std::string& name)> SelectScanner;
    // Registers the scanner notification callback with the scanner library.
    std::function<void()> registerScannerCallback;
    std::function<void()> ImportImageFiles;
    std::function<void()> ImportMultipageTiff;
    std::function<void()> ImportPdfViaGhostscript;
    std::function<void()> OptionsDialog;
    std::function<void()> AboutBox;
    // index 1: the program's own licence, 2: the scanner library's, 3: the image library's.
    std::function<void(int index)> ShowLicence;
    // Started from the menu.
    std::function<void()> StartUpdateChecker;
    // Prepares the update checker and starts the daily check when it is due.
    std::function<void()> prepareUpdateCheck;
    // The page editor on the job's page files: detectBlank is the job's "leere Seiten entfernen"
    // choice; emptyRemoved is set on "Anwenden" (1 when the editor dropped the pages marked blank)
    // and left alone on "Abbruch". The result is always 1.
    std::function<std::int32_t(std::int32_t detectBlank, std::uint8_t& emptyRemoved)> EditPages;
};

struct ShellState
{
    SettingsState settingsState;
    ShellEntryPoints entryPoints;

    // Main loop.
    std::uint8_t EndProgram = 0;
    std::uint8_t Start32OnExit = 0;
    std::uint8_t ImportRunning = 0;
    std::int32_t QuitRequest = 0;
    std::int32_t currentEvent = 0;
    std::int32_t currentMenuId = 0;

    // Scan job and scanner.
    std::string LastOutputFile;
    std::string LastSaveFolder; // folder of the last save dialog confirmed since the start; empty: none
    std::uint8_t AcquisitionRunning = 0;
    ScanCounterPair ScanCounters;
    Handle CurrentSource = NoHandle;

    // Page editor.
    std::uint8_t DragInProgress = 0;
    std::int32_t PageCapacity = 25;
    PageEditorInput InputFlags;

    // Tables of the main program; the element counts include index 0.
    std::vector<std::uint8_t> PageSplitFlags;
    std::vector<std::string> DestinationTypes;
    std::int32_t DestinationTypeCount = 0;
    std::int32_t SplitToggleWidth = 0;

    // The main window's outer rectangle right after its creation.
    ScreenRect StartRect;
};

// Allocates the main program's tables at their start sizes, all entries zero or empty.
void allocateMainProgramTables(ShellState& state);

// Fills DestinationTypes (1-based) and its count.
void fillDestinationTypes(ShellState& state);

// The outer rectangle the main window is restored to: the saved one when it is not empty and overlaps
// one of the screens, else startRect.
ScreenRect chooseRestoredRect(
    const ScreenRect& saved, const ScreenRect& startRect, const std::vector<ScreenRect>& screens);

// Shows the image library's error note (OK and Cancel; Cancel ends the program at once), on the GUI
// thread, or gathers it in the calling thread's FreeImageMessageScope. Installed as the library's
// output-message callback; the format is not used.
void DLL_CALLCONV FreeImageErrorHandler(FREE_IMAGE_FORMAT format, const char* message);

} // namespace folvex
