#include "shell/program.h"

#include "foundation/control_creation.h"
#include "foundation/twain_binding.h"
#include "runtime/effects.h"
#include "runtime/object_registry.h"
#include "shell/main_loop.h"
#include "shell/main_window.h"
#include "twain/sane_dialogs_qt.h"
#include "twain/sane_scanner_library.h"

#include <clocale>
#include <memory>

namespace folvex {
int runProgram(const ProgramOptions& options)
{
    // The user's conventions for everything but numbers, which are always written with ".".
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");

    startFoundationLibrary(options.executablePath);
    ShellProgram& program = shellProgram();
    program = ShellProgram{};
    loadFreeImageBinding(program.freeImage, options.freeImageLibraryName);

    std::unique_ptr<QtSaneDialogs> saneDialogs;
    std::unique_ptr<SaneScannerLibrary> saneLibrary;
    if (options.scannerLibrary != nullptr) {
        installDTwainBinding(options.scannerLibrary);
    } else {
        saneDialogs = std::make_unique<QtSaneDialogs>([](Handle window) { return findWidget(window); });
        saneLibrary = std::make_unique<SaneScannerLibrary>(*saneDialogs);
        installDTwainBinding(saneLibrary.get());
    }

    allocateMainProgramTables(program.state);
    installShellEntryPoints(program);
    OpenMainWindow();

    MainWindowPort port;
    runMainLoop(program.state, port);

    CleanUpOnExit();
    LibraryShutdown();
    if (program.state.Start32OnExit != 0) {
        const std::string& programDir = program.state.settingsState.ProgramDir;
        effects().processes->startDetached({programDir + Program32Name}, programDir);
    }
    destroyMainWindow();
    installDTwainBinding(nullptr);
    return 0;
}

} // namespace folvex
