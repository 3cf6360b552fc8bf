#pragma once
// The result step of the scan job: the result dialog with its answers, the window that changes the
// destination for this job, the page editor, and the merge that puts the scanned files into page
// order ("TmpReadyImg<k>.bmp") before the writer of the destination type saves them. GUI thread.

#include "scan/scan_job.h"

#include <cstdint>
#include <string_view>

namespace folvex {

inline constexpr std::string_view ResultTitle = "Scannen ok";
inline constexpr std::string_view TotalPagesLine = R"(\n\nGesamtzahl Seiten: )";
inline constexpr std::string_view ResultButtonsFront =
    "Speichern|Bearbeiten|Weiterscannen|Rückseiten scannen|Ziel ändern|Abbruch";
// Tooltips are shown as they stand: their line breaks are real ones.
inline constexpr std::string_view ResultTooltipsFront =
    "Ergebnis im Zieldateiformat speichern|Seiten drehen/löschen etc.\nGgf. vorher Rückseiten scannen!|"
    "beginnt einen neuen Vorderseitenblock\nGgf. vorher Rückseiten scannen!|"
    "scannt die Rückseiten zum aktuellen Vorderseitenblock in umgekehrter Reihenfolge|"
    "Zieldateiformat und ggf. leere Seiten entfernen ändern|";
inline constexpr std::string_view ResultButtons = "Speichern|Bearbeiten|Weiterscannen|Ziel ändern|Abbruch";
inline constexpr std::string_view ResultTooltips =
    "Ergebnis im Zieldateiformat speichern|Seiten drehen/löschen etc.|beginnt einen neuen Vorderseitenblock|"
    "Zieldateiformat und ggf. leere Seiten entfernen ändern|";
inline constexpr int ResultFrontButtonWidthPx = 130;
inline constexpr int ResultButtonHeightPx = 30;

inline constexpr std::string_view NoScannerTitle = "Kein Scanner gewählt";
inline constexpr std::string_view NoScannerQuestion =
    R"(Es ist kein Scanner ausgewählt.\n\nHier einen Scanner auswählen, oder notfalls die vorhandenen Seiten jetzt speichern, z.B. als MultiPage-TIFF, um sie später wieder öffnen und weiterverarbeiten zu können (dazu Ok klicken und ggf. Ziel ändern, dann Speichern klicken).)";
inline constexpr std::string_view NoScannerButtons = "Scanner auswählen|Ok";
inline constexpr int NoScannerButtonWidthPx = 130;

// The reversed back side of sheet j waits under this name between the two steps of the merge. It
// begins like the back-side scan files, so the clean-up of back sides takes it, but it never
// coincides with one.
inline constexpr std::string_view ReversedBackPrefix = "tmpimgrv";

// Runs the result step for a cycle whose pages are counted (ScanJobContext::resultStep).
void runScanResult(ScanJobContext& context, ScanJobState& job);

// Puts the block's scan files into page order after the page files that exist: the back sides
// reversed, then front i and back i alternately as far as each exists. Sets mergedPages to the page
// files now present without a gap. A move that fails stops the merge with a note; the file stays
// under its scan name. The status line gets its text back. True when every move succeeded.
bool mergeScannedPages(ScanJobContext& context, ScanJobState& job);

} // namespace folvex
