#pragma once
// What one writer run did: the files it wrote and what it could not read or write. The run reports
// once at its end: failures in one message box (the files written stay), else the beep for a run that
// wrote something, else the note that every page was blank. GUI thread.

#include "scan/scan_job.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace folvex {

inline constexpr std::string_view SaveErrorTitle = "Fehler beim Speichern";
inline constexpr std::string_view SaveErrorIntro = R"(Nicht alles konnte gespeichert werden:\n\n)";
inline constexpr std::string_view AllBlankTitle = "alle Seiten leer";
inline constexpr std::string_view AllBlankText =
    R"(Alle gescannten Seiten waren leer.\n\nDies kann auch passieren, wenn Folvex nicht in den Pfad für temporäre Dateien schreiben kann. In diesem Fall muss er in den Optionen entsprechend geändert werden.)";
inline constexpr std::size_t MaxFailureLines = 20;
inline constexpr int LastOutputMenuItem = 100;

struct SaveOutcome
{
    std::vector<std::string> written;  // full paths, in the order they were written
    std::vector<std::string> failures; // one line each, in the order they happened

    void fileWritten(const std::string& path) { written.push_back(path); }

    // "Seite <k>: konnte nicht gelesen werden."
    void pageUnreadable(std::int32_t page);
    // "<file name>: konnte nicht geschrieben werden."
    void fileNotWritten(const std::string& path);
};

// The message box text for the failures: the intro, at most MaxFailureLines lines, then
// "… und <n> weitere" for the rest.
std::string saveFailureText(const std::vector<std::string>& failures);

// Ends a writer run. With files written and setsLastOutput, LastOutputFile becomes the last of them
// and menu item 100 and the button "letztes PDF/JPG öffnen" are enabled. Then failures give the
// error box; a run without failures beeps when it wrote a file and shows "alle Seiten leer" when it
// wrote none.
void finishWriterRun(ScanJobContext& context, const SaveOutcome& outcome, bool setsLastOutput);

} // namespace folvex
