#pragma once
// Handing a page to an outside image editor: which program stands for the paint program, the copy
// handed over, the wait for the program and the copy taken back as the page's working copy, with the
// notes of each failure. Qt-free; GUI thread (the process port keeps the windows painting meanwhile).

#include "pageeditor/page_editor_model.h"
#include "runtime/effects.h"
#include "shell/settings.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace folvex {

// The menu and wait-window name of entry 0, whichever program stands for it.
inline constexpr const char* PaintProgramName = "MS-Paint";
// The programs that stand for entry 0, in the order they are looked for in PATH.
inline constexpr std::array<const char*, 4> PaintProgramCandidates{"kolourpaint", "pinta", "mtpaint", "gimp"};

inline constexpr const char* ExternalEditorEndNote = "Ok klicken, sobald der externe Editor beendet ist.";
inline constexpr const char* ExternalEditorCopyBackNote =
    "Die Änderungen des externen Programms konnten nicht übernommen werden.";
inline constexpr const char* NoPaintProgramNote =
    "Kein Bildbearbeitungsprogramm gefunden (kolourpaint, pinta, mtpaint oder gimp).";
inline constexpr const char* ExternalEditorCopyNote =
    "Die Seite konnte nicht für das externe Programm kopiert werden.";

// "Das Bildbearbeitungsprogramm »name« konnte nicht gestartet werden."
std::string externalEditorStartNote(const std::string& name);

// "<file> wird in <name> geöffnet..."
std::string externalEditorWaitText(const std::string& file, const std::string& name);

// The first of PaintProgramCandidates that PATH holds as an executable regular file, as its path; the
// empty text when there is none.
std::string findPaintProgram();

// What entry k of the editor submenu starts.
struct ExternalEditorProgram
{
    std::string name;        // shown in the wait text
    std::string program;     // argv[0]; empty for entry 0 when no paint program was found
    bool confirmEnd = false; // ask the user to confirm the end of the editor
};

// Entry 0: the paint program found by findProgram; 1 .. AnzExtEditors: the configured editor. Empty for
// any other k and for an entry the tables do not hold.
std::optional<ExternalEditorProgram> externalEditorProgram(
    const ExternalEditorTables& editors,
    std::int32_t k,
    const std::function<std::string()>& findProgram = findPaintProgram);

// Hands page (1-based) of the model to the program of entry k and waits for it to end. Without a
// working copy the page file is copied to it and the copy handed over; with one, the working copy is
// copied to the second working copy, that is handed over and afterwards renamed over the working copy
// in one step. Pending turns and angle stay pending. A program that cannot be started leaves the page
// as it was (the copy made for it is removed) and is reported; so are a failed copy and a failed
// rename (which keeps both files). True when the working copy may have changed and the page's
// thumbnail is to be rebuilt.
bool OpenInExternalEditor(
    PageEditorModel& model,
    const ExternalEditorTables& editors,
    ProcessRunner& processes,
    std::int32_t page,
    std::int32_t k,
    const std::function<std::string()>& findProgram = findPaintProgram);

} // namespace folvex
