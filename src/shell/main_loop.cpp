#include "shell/main_loop.h"

#include "foundation/twain_binding.h"
#include "runtime/effects.h"

#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace folvex {
namespace {

// Size of a regular file; nullopt for a missing file, a folder or anything else.
std::optional<std::uintmax_t> regularFileSize(const std::string& path)
{
    struct stat info
    {};

    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return static_cast<std::uintmax_t>(info.st_size);
}

bool isExecutableFile(const std::string& path)
{
    struct stat info
    {};

    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool sourceOffersDuplex(Handle source)
{
    ScannerLibrary& library = DTwainBinding();
    return library.hasFeeder(source) != 0 && library.canUseFeeder(source) != 0 &&
           library.canScanBothSides(source) != 0;
}

template <typename Function, typename... Args>
void callIfSet(const Function& function, Args&&... args)
{
    if (function) {
        function(std::forward<Args>(args)...);
    }
}

bool isMenu(const ShellState& state, MenuItem item)
{
    return state.currentMenuId == static_cast<int>(item);
}

// Dispatch test 1: the quit conditions, in their order; the quit button's flag is not read for the
// close event.
bool quitAsked(const ShellState& state, MainLoopPort& port, const LoopEvent& event)
{
    const bool closeOfMainWindow = event.kind == CloseEvent && event.window == port.mainWindow();
    if (closeOfMainWindow) {
        return true;
    }
    if (port.buttonClicked(MainButton::Quit)) {
        return true;
    }
    // A short tap of Esc may be over before the turn looks at the key: its key event counts as well.
    const bool escapeInMainWindow =
        event.kind == KeyEvent && event.key == EscapeKey && event.window == port.mainWindow();
    if ((escapeInMainWindow || port.escapeDown()) && port.mainWindowActive()) {
        return true;
    }
    return isMenu(state, MenuItem::Quit) || state.QuitRequest == QuitRequested;
}

// Tests 2 to 15; true when one of them matched and ran its action.
bool dispatchAction(ShellState& state, MainLoopPort& port)
{
    ShellEntryPoints& entry = state.entryPoints;
    if (port.buttonClicked(MainButton::Scan)) {
        callIfSet(entry.ScanAndSave, std::uint8_t{0});
    } else if (isMenu(state, MenuItem::RescuePages)) {
        callIfSet(entry.ScanAndSave, std::uint8_t{1});
    } else if (isMenu(state, MenuItem::ImportImages)) {
        state.ImportRunning = 1;
        callIfSet(entry.ImportImageFiles);
    } else if (isMenu(state, MenuItem::ImportMultipageTiff)) {
        state.ImportRunning = 1;
        callIfSet(entry.ImportMultipageTiff);
    } else if (isMenu(state, MenuItem::ImportPdf)) {
        state.ImportRunning = 1;
        callIfSet(entry.ImportPdfViaGhostscript);
    } else if (port.buttonClicked(MainButton::SelectScanner)) {
        callIfSet(entry.SelectScanner, std::string());
    } else if (isMenu(state, MenuItem::Options)) {
        callIfSet(entry.OptionsDialog);
    } else if (isMenu(state, MenuItem::OpenLastOutput) || port.buttonClicked(MainButton::OpenLastOutput)) {
        openLastOutputFile(state, port);
    } else if (isMenu(state, MenuItem::UpdateChecker)) {
        callIfSet(entry.StartUpdateChecker);
    } else if (isMenu(state, MenuItem::RestoreWindow)) {
        port.placeMainWindow(state.StartRect);
    } else if (isMenu(state, MenuItem::Manual)) {
        openManual(state, port);
    } else if (isMenu(state, MenuItem::ProgramLicence)) {
        callIfSet(entry.ShowLicence, 1);
    } else if (isMenu(state, MenuItem::ScannerLibraryLicence)) {
        callIfSet(entry.ShowLicence, 2);
    } else if (isMenu(state, MenuItem::ImageLibraryLicence)) {
        callIfSet(entry.ShowLicence, 3);
    } else if (isMenu(state, MenuItem::About)) {
        callIfSet(entry.AboutBox);
    } else if (isMenu(state, MenuItem::ScannerHint)) {
        showScannerHint(state, port);
    } else {
        return false;
    }
    return true;
}

} // namespace

std::string fileNotFoundText(const std::string& file)
{
    return "Die zu öffnende Datei\\n\\n   »" + file + "«\\n\\nist nicht mehr vorhanden.";
}

std::string manualMissingText(const std::string& path)
{
    return "Die Anleitung ist nicht vorhanden. Sie gehört in den Programmordner:\\n\\n   »" + path +
           "«\\n\\nSie entsteht beim Bauen von Folvex; bauen Sie Folvex neu, um sie zu erhalten.";
}

std::string manualNotOpenedText(const std::string& path)
{
    return "Die Anleitung konnte nicht geöffnet werden: Das Programm »xdg-open«, das PDF-Dateien mit dem "
           "Standardprogramm des Desktops öffnet, fehlt oder startet nicht.\\n\\nDie Anleitung liegt "
           "hier:\\n\\n   »" +
           path + "«\\n\\nÖffnen Sie sie mit einem PDF-Betrachter.";
}

std::string scannerHintText()
{
    return "Dies ist die 64bit-Version von Folvex.\\n\\nDie meisten TWAIN-Treiber sind heutzutage (2025) "
           "immer "
           "noch in 32bit geschrieben. Für 64bit gibt es nur sehr wenige Treiber.\\n\\nWenn also die "
           "erwarteten Scanner bei der Scannerauswahl nicht auftauchen, sollten Sie die 32bit-Version von "
           "Folvex versuchen.\\n\\nDiese ist als " +
           std::string(Program32Name) + " im Programmverzeichnis verfügbar.";
}

std::string program32MissingText(const std::string& path)
{
    return "Die 32bit-Version von Folvex ist nicht vorhanden:\\n\\n   »" + path +
           "«\\n\\nFolvex läuft weiter.";
}

void updateDuplexBox(ShellState& state, MainLoopPort& port)
{
    std::string& previous = state.settingsState.settings.PreviousPaperSource;
    const std::string text = port.paperSourceText();
    if (text == previous) {
        return;
    }
    previous = text;
    if (text == FlatbedPaperSource) {
        port.setDuplexBoxEnabled(false);
    } else if (state.CurrentSource == NoHandle) {
        port.setDuplexBoxEnabled(true);
    } else if (sourceOffersDuplex(state.CurrentSource)) {
        port.setDuplexBoxEnabled(true);
    }
}

void runMainLoopTurn(ShellState& state, MainLoopPort& port)
{
    updateDuplexBox(state, port);

    const LoopEvent event = port.waitForEvent();
    state.currentEvent = event.kind;
    if (event.kind == MenuEvent) {
        state.currentMenuId = event.menuId;
    }

    if (quitAsked(state, port, event)) {
        state.EndProgram = 1;
        while (port.escapeDown()) {
            port.pause(EscapePollMs);
        }
    } else if (dispatchAction(state, port)) {
        // Clicks made on the main window while the action ran its own loop are not meant for the
        // main window any more.
        for (const MainButton button : AllMainButtons) {
            port.buttonClicked(button);
        }
    }

    state.currentMenuId = 0;
    state.ImportRunning = 0;
    // A quit request that arrived during an action is seen by the next turn, which must not wait.
    if (state.QuitRequest == QuitRequested && state.EndProgram == 0) {
        port.postWakeUp();
    }
}

void runMainLoop(ShellState& state, MainLoopPort& port)
{
    state.settingsState.settings.PreviousPaperSource.clear();
    state.EndProgram = 0;
    while (state.EndProgram == 0) {
        runMainLoopTurn(state, port);
    }
}

void openLastOutputFile(ShellState& state, MainLoopPort& port)
{
    if (state.LastOutputFile.empty()) {
        return;
    }
    const std::optional<std::uintmax_t> size = regularFileSize(state.LastOutputFile);
    if (size.has_value() && *size > 0) {
        effects().processes->openWithDefaultViewer(state.LastOutputFile);
        return;
    }
    port.setMenuItemEnabled(MenuItem::OpenLastOutput, false);
    ShellBox box;
    box.Title = FileNotFoundTitle;
    box.Text = fileNotFoundText(state.LastOutputFile);
    box.Icon = 3;
    port.showBox(box);
}

void openManual(ShellState& state, MainLoopPort& port)
{
    const std::string manual = state.settingsState.ProgramDir + ManualFileName;
    ShellBox note;
    note.Icon = 3;
    if (!regularFileSize(manual).has_value()) {
        note.Title = ManualMissingTitle;
        note.Text = manualMissingText(manual);
    } else if (!effects().processes->openWithDefaultViewer(manual)) {
        note.Title = ManualNotOpenedTitle;
        note.Text = manualNotOpenedText(manual);
    } else {
        return;
    }
    port.showBox(note);
}

void showScannerHint(ShellState& state, MainLoopPort& port)
{
    ShellBox hint;
    hint.Title = ScannerHintTitle;
    hint.Text = scannerHintText();
    hint.ButtonCount = 2;
    hint.Buttons = ScannerHintButtons;
    hint.DefaultButton = 1;
    hint.ButtonWidth = 150;
    if (port.showBox(hint) != 2) {
        return;
    }
    const std::string program32 = state.settingsState.ProgramDir + Program32Name;
    if (!isExecutableFile(program32)) {
        ShellBox missing;
        missing.Title = "Fehler";
        missing.Text = program32MissingText(program32);
        missing.Icon = 4;
        port.showBox(missing);
        return;
    }
    state.Start32OnExit = 1;
    state.EndProgram = 1;
}

} // namespace folvex
