#pragma once
// Choosing and opening the scanner (SelectScanner) and the scanner library's notification callback
// (TwainNotificationCallback). Both reach the main window only through ScannerSelectionView and the
// shell's data through ScannerSelectionContext; the library calls go to DTwainBinding(). GUI thread.

#include "shell/settings.h"
#include "twain/scanner_library.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace folvex {

inline constexpr std::string_view FeederPaperSource = "Einzelblatteinzug";

inline constexpr std::string_view ScannerLinePrefix = "Scanner: ";
inline constexpr std::string_view NoScannerLine = "Scanner: keiner gewählt";
inline constexpr std::string_view StatusOpeningScanner = "Status: Scanner öffnen...";
inline constexpr std::string_view StatusReadingScanner = "Status: Scannerdaten abrufen...";
inline constexpr std::string_view StatusIdle = "Status: unbeschäftigt";
inline constexpr std::string_view SplashOpeningLastScanner = "letzten Scanner öffnen...";

// The longest product name read from the library, in characters.
inline constexpr int MaxProductNameChars = 5000;

inline constexpr std::string_view OpenFailedTitle = "Fehler";
inline constexpr std::string_view OpenFailedText = "Der ausgewählte Scanner konnte nicht geöffnet werden.";

// Message box texts of the manual double-sided scan; "\n" and "\q" are the box's escapes.
inline constexpr std::string_view SecondPassTitle = "Pass 2 manueller doppelseitiger Scan";
inline constexpr std::string_view SecondPassText =
    R"(manueller doppelseitiger Scan:\n\nBitte jetzt den Vorlagenstapel wenden und mit der letzten Seite zuoberst in den Einzelblatteinzug einlegen.\n\nDann den zweiten Scan-Durchgang starten.)";
inline constexpr std::string_view CountMismatchTitle = "Seitenzahlfehler";
inline constexpr std::string_view CountMismatchIntro =
    R"(manueller doppelseitiger Scan:\n\nDie Anzahl der Seiten der beiden Scandurchgänge stimmt nicht überein:\nAnzahl Seiten Durchgang 1: )";
inline constexpr std::string_view CountMismatchSecondCount = R"(\nAnzahl Seiten Durchgang 2: )";
inline constexpr std::string_view CountMismatchAdviceSeparator = R"(\n\n)";
inline constexpr std::string_view SecondPassLargerAdvice =
    "Bitte den Vorlagenstapel richtigherum mit der ersten Vorderseite obenliegend in den Einzelblatteinzug "
    "einlegen und den Scanvorgang für die Vorderseiten wiederholen.";
inline constexpr std::string_view FirstPassNotSmallerAdvice =
    R"(Bitte den Vorlagenstapel \qfalschherum\q mit der letzten Rückseite obenliegend in den Einzelblatteinzug einlegen und den Scanvorgang für die Vorderseiten wiederholen.)";
inline constexpr std::string_view CountMismatchButtons =
    "Ok|gesamten Scanvorgang mit den Vorderseiten erneut starten|Scan so belassen und Datei erzeugen";
inline constexpr int CountMismatchButtonWidthPx = 330;
inline constexpr std::string_view RestartFirstPassTitle = "Pass 1 manueller doppelseitiger Scan";
inline constexpr std::string_view RestartFirstPassText =
    R"(erneuter manueller doppelseitiger Scan:\n\nBitte jetzt den Vorlagenstapel mit der ersten Seite zuoberst in den Einzelblatteinzug einlegen.\n\nDann den ersten Scan-Durchgang starten.)";

// Results of the callback for a page-count mismatch; any other notification gives Continue.
enum class ManualDuplexAnswer : std::int32_t
{
    Continue = 1,
    RepeatFrontsInOrder = 2,  // the second pass had more pages
    RepeatFrontsReversed = 3, // the first pass had as many pages or more
    RestartWholeScan = 4,
};

// The parts of the main window the scanner selection changes.
class ScannerSelectionView
{
public:
    virtual ~ScannerSelectionView() = default;

    virtual void setScannerLine(const std::string& text) = 0;

    // Sets the status line and paints it at once: the caller goes on to block in a library call.
    virtual void setStatusNow(const std::string& text) = 0;

    // The paper-source combo box: the index of the last item with that text (−1: none), adding an
    // item at the end, removing the item at an index (the combo box then shows what it selects).
    virtual int lastPaperSourceIndex(const std::string& text) = 0;
    virtual void addPaperSource(const std::string& text) = 0;
    virtual void removePaperSource(int index) = 0;

    virtual void enableDuplexBox(bool enabled) = 0;
    virtual void enableScanButton(bool enabled) = 0;
};

// The shell's data the scanner selection reads and changes; the references are bound once, to the
// shell's own variables, and must outlive every use (also the registered callback).
struct ScannerSelectionContext
{
    SourceHandle& CurrentSource;            // the open source, 0 = none
    std::int32_t& passPages;                // ScanCounters: pages acquired in the current pass
    std::int32_t& jobPages;                 // ScanCounters: pages acquired in the whole job
    const std::uint8_t& AcquisitionRunning; // 1 while the scan job acquires
    SettingsState& settings;                // LastSourceName and the settings file
    ScannerSelectionView& view;
};

// Closes the open source and selects one: with the library's selection dialog for an empty name,
// else the source of that product name. An opened source becomes CurrentSource, its product name
// LastSourceName (also written to the settings file) and the window is adapted to it. When nothing
// was chosen or found, the previous source is opened again. Returns CurrentSource (0: none open).
SourceHandle SelectScanner(ScannerSelectionContext& context, const std::string& name);

// Start-up: when LastSourceName is not empty and OpenLastScannerOnStartup is 1, shows
// SplashOpeningLastScanner through splashStatus and selects that source by name. Returns
// CurrentSource.
SourceHandle selectLastScannerAtStartUp(
    ScannerSelectionContext& context, const std::function<void(const std::string&)>& splashStatus);

// The notification callback: 1010 counts a page in both counters, 1041 asks for the stack to be
// turned for the second manual pass, 1043 (only while AcquisitionRunning) reports differing page
// counts and returns a ManualDuplexAnswer. Every other code does nothing. Returns 1 unless said.
std::int32_t TwainNotificationCallback(
    ScannerSelectionContext& context, std::int32_t code, std::int32_t value, std::int64_t userData);

// TwainNotificationCallback bound to the context, ready for the library's setNotificationCallback.
ScannerCallback twainNotificationCallbackFor(ScannerSelectionContext& context);

} // namespace folvex
