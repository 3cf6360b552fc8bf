#pragma once
// What one writer run did: the files it wrote and what it could not read or write, with the image
// library's messages raised meanwhile. The run reports once at its end: failures in one message box
// (the files written stay), else the beep for a run that wrote something, else the note that every
// page was blank. GUI thread.

#include "foundation/freeimage_messages.h"
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
inline constexpr std::string_view LibraryMessagePrefix = "FreeImage-Fehler: ";
inline constexpr std::size_t MaxFailureLines = 20;
inline constexpr int LastOutputMenuItem = 100;

// Why a file could not be written, in German, for the system error code (errno); empty for 0 and
// for codes without a text of their own.
std::string writeFailureCause(int error);

struct SaveOutcome
{
    SaveOutcome() = default;
    SaveOutcome(const SaveOutcome&) = delete;
    SaveOutcome& operator=(const SaveOutcome&) = delete;

    std::vector<std::string> written;  // full paths, in the order they were written
    std::vector<std::string> failures; // one line each, in the order they happened
    // The image library's messages raised on the GUI thread while the run is alive; finishWriterRun
    // lists them with the failures instead of a note each.
    FreeImageMessageScope libraryMessages;

    void fileWritten(const std::string& path) { written.push_back(path); }

    // "Seite <k>: konnte nicht gelesen werden."
    void pageUnreadable(std::int32_t page);
    // "<file name>: konnte nicht geschrieben werden.", with " Grund: <cause>." when a cause is given.
    void fileNotWritten(const std::string& path, const std::string& cause = {});
    // The image library's messages of a page: appended to the last failure line when the page added
    // failures since failuresBefore (their count before the page), else
    // "Seite <k>: FreeImage-Fehler: <messages>" on a line of its own. Nothing for no messages.
    void pageMessages(std::int32_t page, const std::vector<std::string>& messages, std::size_t failuresBefore);
    // Moves the messages gathered in libraryMessages so far to failure lines
    // ("FreeImage-Fehler: <message>").
    void listLibraryMessages();
};

// At most MaxFailureLines of the failures, one a line, then "… und <n> weitere" for the rest.
std::string failureLines(const std::vector<std::string>& failures);

// The message box text for the failures: the intro, then failureLines.
std::string saveFailureText(const std::vector<std::string>& failures);

// Ends a writer run. The library messages gathered on the GUI thread become failure lines
// ("FreeImage-Fehler: <message>"). With files written and setsLastOutput, LastOutputFile becomes the
// last of them and menu item 100 and the button "letztes PDF/JPG öffnen" are enabled. Then failures
// give the error box; a run without failures beeps when it wrote a file and shows "alle Seiten leer"
// when it wrote none.
void finishWriterRun(ScanJobContext& context, SaveOutcome& outcome, bool setsLastOutput);

} // namespace folvex
