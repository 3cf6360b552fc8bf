#pragma once
// The program's binding to the scanner library: the implementation its calls go to (the SANE one,
// installed at start-up; a fake in tests) and the version check made before the library starts.
// GUI thread.

#include "twain/scanner_library.h"

#include <string>

namespace folvex {

// The version of the scanner library this binding is written for.
inline constexpr const char* DTwainExpectedVersion = "5.6.6";
inline constexpr const char* DTwainMismatchTitle = "DTwain Version Mismatch";

// Installs the library the calls go to (not owned; it must outlive its use). nullptr uninstalls.
void installDTwainBinding(ScannerLibrary* library);

// The installed library; without one, a library that answers every call with 0 or the empty text.
ScannerLibrary& DTwainBinding();

// The version word of a version text: the text after the first letter of "Version:" (the whole text
// when it lacks it), cut at the first carriage return, its second field between single spaces, cut
// at the first line feed.
std::string parseDTwainVersion(const std::string& versionText);

// Asks the library for its version text (500 characters at most); when the parsed word is not
// DTwainExpectedVersion, a yes/no/cancel box: No goes on, Yes and Cancel end the program at once with
// code 1. Returns 0.
int DTwainVersionCheck();

} // namespace folvex
