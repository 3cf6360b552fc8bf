#pragma once
// The program's run from start-up to exit: the process locale, the start-up of every component, the
// main window, the main loop and the shut-down. GUI thread; a QApplication must exist.

#include "foundation/freeimage_binding.h"

#include <string>

namespace folvex {

class ScannerLibrary;

struct ProgramOptions
{
    // The running executable (empty: this process's); its folder is the program folder.
    std::string executablePath;
    // The scanner library to use (not owned); nullptr: the one on SANE with its windows.
    ScannerLibrary* scannerLibrary = nullptr;
    std::string freeImageLibraryName = FreeImageLibraryName;
};

// Runs the program and returns its exit code, 0. Ends the process itself only where the program ends
// at once (a version mismatch, a note's Cancel).
int runProgram(const ProgramOptions& options = {});

} // namespace folvex
