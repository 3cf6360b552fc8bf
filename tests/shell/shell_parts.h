#pragma once
// Starts and ends the shell's parts in the test's process as the program does, without the main loop:
// on a program folder of the test's and the scanner library it chooses. GUI thread.

#include "foundation/control_creation.h"
#include "foundation/twain_binding.h"
#include "runtime/window_events.h"
#include "shell/main_window.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace folvex::testing {

// programFolder ends in "/". beforeOpen runs on the fresh record once the entry points are installed,
// before the main window is built.
inline void startShellParts(
    const std::string& programFolder,
    ScannerLibrary& scanner,
    const std::function<void(ShellProgram&)>& beforeOpen = {})
{
    DrainWindowEvents();
    startFoundationLibrary(programFolder + "Folvex");
    ShellProgram& program = shellProgram();
    program = ShellProgram{};
    ASSERT_TRUE(loadFreeImageBinding(program.freeImage));
    installDTwainBinding(&scanner);
    allocateMainProgramTables(program.state);
    installShellEntryPoints(program);
    if (beforeOpen) {
        beforeOpen(program);
    }
    OpenMainWindow();
}

inline void stopShellParts()
{
    CleanUpOnExit();
    LibraryShutdown();
    destroyMainWindow();
    installDTwainBinding(nullptr);
}

} // namespace folvex::testing
