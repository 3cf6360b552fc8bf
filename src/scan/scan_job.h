#pragma once
// The scan job (ScanAndSave): set-up and checks, the acquisition cycles into scan files of the
// temporary folder, counting of front and back sides with the question on a mismatch, recovery after
// a scanner time-out, the outcome messages and the finish; and the clean-up of the temporary folder
// (DeleteOldTempFiles). The main window and the dialogs are reached through ScanJobWindow and
// ScanJobDialogs, the shell's variables by reference. GUI thread.

#include "components/action_box.h"
#include "foundation/freeimage_binding.h"
#include "scan/scan_job_state.h"
#include "scan/writer_table.h"
#include "shell/main_loop.h"
#include "shell/shell_state.h"
#include "twain/scanner_library.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace folvex {

inline constexpr std::string_view StatusScannerActive = "Status: Scanner-Interface ist aktiv...";
inline constexpr std::string_view StatusScannerActiveBack =
    "Status: Scanner-Interface ist aktiv (Rückseiten)...";
inline constexpr std::string_view StatusDeletingTempFiles = "Status: alte temporäre Dateien löschen...";
// The status a job ends with when its writer left blank pages out: "Status: " + count + this.
inline constexpr std::string_view BlankPagesLeftOutStatus = " leere Seite(n) nicht gespeichert";

inline constexpr std::string_view FrontBaseName = "tmpimg.bmp";
inline constexpr std::string_view BackBaseName = "tmpimgr.bmp";
inline constexpr std::string_view FrontScanPrefix = "tmpimg";
inline constexpr std::string_view BackScanPrefix = "tmpimgr";
inline constexpr std::string_view PageFilePrefix = "TmpReadyImg";
inline constexpr std::int32_t MaxReadyPages = 100000;

inline constexpr std::string_view TesseractProgram = "tesseract";
inline constexpr std::string_view OcrDestinationType = "PDF+OCR";

// Message texts; "\n" and "\q" are the escapes of the message box and the note.
inline constexpr std::string_view ErrorTitle = "Fehler";
inline constexpr std::string_view NoScannerSelectedText = "Es ist kein Scanner ausgewählt.";
inline constexpr std::string_view TesseractMissingNote =
    R"(Das Programm tesseract wurde im Suchpfad (PATH) nicht gefunden.\n\nMomentan können daher keine durchsuchbaren PDFs erzeugt werden.\n\nBitte installieren Sie ggf. Tesseract (Pakete tesseract-ocr und tesseract-ocr-deu) und starten Sie Folvex erneut.)";
inline constexpr std::string_view WriteRightsIntro =
    R"(Sie besitzen keine ausreichenden Schreibrechte im Ordner\n\n)";
inline constexpr std::string_view WriteRightsOutro =
    R"(\n\nund seinen Unterordnern.\n\nWeisen Sie bitte entsprechende Rechte zu oder wählen Sie in den Optionen einen anderen temporären Pfad.)";
inline constexpr std::string_view WriteRightsReason = "Grund: ";
inline constexpr std::string_view ReasonSeparator = R"(\n\n)";
inline constexpr std::string_view TimeoutTitle = "Timeout";
inline constexpr std::string_view TimeoutText =
    R"(Scannen fehlgeschlagen. Vermutlich ist ein Scanner-Timeout aufgetreten.\n\nEs wird versucht, den Scanner neu zu verbinden.)";
inline constexpr std::string_view ReconnectingWaitText = "Verbinde Scanner...";
inline constexpr std::string_view ReconnectFailedText = "Der Scanner konnte nicht neu verbunden werden.";
inline constexpr std::string_view ScanFailedText = "Scannen fehlgeschlagen.";
inline constexpr std::string_view CancelledTitle = "Scanabbruch";
inline constexpr std::string_view CancelledText = "Scannen vom Anwender abgebrochen.";
inline constexpr std::string_view UnknownStatusTitle = "potentieller Fehler";
inline constexpr std::string_view UnknownStatusText = "Status der Operation unbekannt, unbekannter ErrCode: ";
inline constexpr std::string_view NothingToRescueNote = "Keine zu rettenden Grafikdateien gefunden.";
inline constexpr std::string_view MismatchButtons = "Re-Scan Vorderseiten|Re-Scan Rückseiten|Weiter";
inline constexpr int MismatchButtonWidthPx = 140;
// A rescue scans nothing: its pages go on as they are.
inline constexpr std::string_view RescueMismatchOutro =
    R"(\n\nBeim Retten wird nichts neu gescannt; die vorhandenen Seiten werden so übernommen.)";
inline constexpr std::string_view RescueMismatchButtons = "Weiter";
inline constexpr std::string_view UnsavedPagesTitle = "Seiten nicht gespeichert";
inline constexpr std::string_view UnsavedPagesButtons = "Seiten behalten|Seiten löschen";
inline constexpr int UnsavedPagesButtonWidthPx = 130;

// Icons of the message box.
inline constexpr std::intptr_t InformationIcon = 1;
inline constexpr std::intptr_t WarningIcon = 3;

// The arguments of the acquisition call that select a file transfer of BMP pages.
inline constexpr std::int32_t FileListKind = 6;
inline constexpr std::int32_t FileTransferKind = 100;
inline constexpr std::int32_t BmpFileFlags = 0x241;
inline constexpr std::int32_t AllPages = -1;
// The error code of a page the library could not write.
inline constexpr std::int32_t PageNotWrittenError = 3;
inline constexpr int ErrorTextMaxChars = 5000;

// DeleteOldTempFiles modes.
enum class TempCleanUp : std::int32_t
{
    FrontSides = 1,
    BackSides = 2,
    Everything = 3,
};

// The main window's selectors and check boxes the job reads.
enum class ScanSelector
{
    PaperSource,
    ColourMode,
    Resolution,
    PaperSize,
    DestinationType,
};

enum class ScanCheckBox
{
    Duplex,
    DiscardBlank,
};

// What the job needs of the main window.
class ScanJobWindow
{
public:
    virtual ~ScanJobWindow() = default;

    virtual std::string selectorText(ScanSelector selector) = 0;
    virtual bool checkBoxTicked(ScanCheckBox box) = 0;
    virtual bool checkBoxEnabled(ScanCheckBox box) = 0;

    // The status line: read, and set and painted at once (the job may block right after).
    virtual std::string statusText() = 0;
    virtual void setStatusNow(const std::string& text) = 0;
    virtual void setScannerLine(const std::string& text) = 0;

    // Only Scan, SelectScanner and Quit are used.
    virtual void enableButton(MainButton button, bool enabled) = 0;
    // The focus after a job: "Scannen" when it is enabled, else "Scanner auswählen".
    virtual void focusAfterJob() = 0;

    // Lets the windows paint and drops every pending window event.
    virtual void drainWindowEvents() = 0;

    // The job's font (Arial, 9 points) and its release.
    virtual Handle createJobFont() = 0;
    virtual void freeJobFont(Handle font) = 0;

    // The writers: whether a key (EscapeKey, ...) is held now, a pause of ms milliseconds, and a main
    // menu item (100: open the last output file) enabled or disabled.
    virtual bool keyHeld(int virtualKey) = 0;
    virtual void delay(int ms) = 0;
    virtual void enableMenuItem(int id, bool enabled) = 0;

    // Makes the destination-type item with exactly this text current (no such item: unchanged) and
    // ticks or clears "leere Seiten entfernen".
    virtual void setDestinationType(const std::string& type) = 0;
    virtual void setDiscardBlank(bool ticked) = 0;
};

// The destination of a job's pages: a destination-type text and "leere Seiten entfernen".
struct DestinationChoice
{
    std::string type;
    bool discardBlank = false;

    bool operator==(const DestinationChoice&) const = default;
};

// The job's dialogs beyond the note.
class ScanJobDialogs
{
public:
    virtual ~ScanJobDialogs() = default;

    // The program's message box; the 1-based button, 0 for Esc or the close box.
    virtual std::intptr_t actionBox(ActionBoxParams& params) = 0;
    // The wait window with text, centred on the main window, and its end.
    virtual void openWaitWindow(const std::string& text) = 0;
    virtual void closeWaitWindow() = 0;

    // The window "Ziel temporär ändern": the types in their order with current shown, in font.
    // The user's choice on "Ok"; nothing on "Abbruch", Esc or a close event.
    virtual std::optional<DestinationChoice> changeDestination(
        const std::vector<std::string>& types, const DestinationChoice& current, Handle font) = 0;
};

struct ScanJobContext;
class FileOps;

// The result step: result dialog, page order, page editor and writers. It decides whether another
// cycle follows (nextCycle, ok) and clears skipAcquisition.
using ScanResultStep = std::function<void(ScanJobContext& context, ScanJobState& job)>;

// What a job works with. The references are bound to the shell's own variables and must outlive the
// job; nothing is copied.
struct ScanJobContext
{
    ShellState& shell;
    ScannerLibrary& scanner;
    ScanJobWindow& window;
    ScanJobDialogs& dialogs;
    // Empty: the job ends where the result step would run; the scan files stay for a rescue.
    ScanResultStep resultStep;
    // The image library the writers load and save pages with; nullptr where no writer runs.
    const FreeImageFunctionTable* freeImage = nullptr;
    // The writers "Speichern" runs, by destination type.
    WriterTable writers{};
    // The file effects of the writers (moves, removals); nullptr: the system's own.
    FileOps* files = nullptr;
    // Set by a writer run that wrote its output without any failure; the result step then records
    // the pages it was given as saved.
    bool pagesSaved = false;
};

// Runs one job to its end and returns 0. existingPages 1 works on the page files in the temporary
// folder (rescue, import) and never acquires. Unless the set-up refused the job, the buttons are
// enabled again and the status line is idle when it returns, or counts the pages its writer left out
// as blank.
std::int32_t ScanAndSave(ScanJobContext& context, std::uint8_t existingPages);

// Before the clean-up deletes every page of the temporary folder: when pages there were never saved,
// the message box asks whether to delete them. True when the clean-up may go on (nothing unsaved, or
// "Seiten löschen"); false when the pages are to be kept ("Seiten behalten", the default, or Esc): the
// command then ends without scanning or importing.
bool mayDeleteOldPages(ScanJobContext& context);

// The question for that many unsaved pages: how many there are, and how to rescue them.
std::string unsavedPagesText(std::int32_t pages);

// Deletes the program's own files in the temporary folder: every one that is not a bitmap, and the
// bitmaps of the mode (TempCleanUp). Files of other programs, sub-folders and failed deletions are
// left alone. The status line shows what happens and gets its text back. Returns 0.
std::int32_t DeleteOldTempFiles(ScanJobContext& context, std::int32_t mode);

// The number of files folder + "/" + prefix + i + suffix for i = first, first + 1, ... up to the
// first missing one, at most limit.
std::int32_t countNumberedFiles(
    const std::string& folder,
    std::string_view prefix,
    int first,
    std::string_view suffix,
    std::int32_t limit);

} // namespace folvex
