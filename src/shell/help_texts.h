#pragma once
// The help menu's about box and licence texts: the program's own licence is built in, the two
// library licences are read from the folder "Licenses" of the program folder. GUI thread.

#include <cstddef>
#include <string>
#include <string_view>

namespace folvex {

inline constexpr const char* ProgramVersion = "4.23a";
inline constexpr const char* ProgramBuild = "176";

inline constexpr const char* AboutTitle = "Über Folvex";
inline constexpr const char* ProgramLicenceTitle = "Folvex-Lizenz";
inline constexpr const char* ScannerLibraryLicenceTitle = "DTwain-Lizenz";
inline constexpr const char* ImageLibraryLicenceTitle = "FreeImage-Lizenz";
// Relative to the program folder.
inline constexpr const char* ScannerLibraryLicenceFile = "Licenses/LICENSE_DTWAIN.txt";
inline constexpr const char* ImageLibraryLicenceFile = "Licenses/LICENSE_FREEIMAGE.txt";

// "Folvex V4.23a 64bit (build 176)": "64bit" with 8-byte pointers, else "32bit".
std::string programVersionLine(std::size_t pointerBytes = sizeof(void*));

// The about box's text, with "\n" escapes as the message box reads them.
std::string aboutText(std::size_t pointerBytes = sizeof(void*));

// "Die Lizenzdatei »" + path + "« wurde nicht gefunden."
std::string licenceMissingText(const std::string& path);

// The program's own licence text (Apache 2.0) as the build found it, with LF line ends; empty when
// the build had none.
std::string_view programLicenceText();

// Shows the about box (a single "Ok") and returns when it is closed.
void AboutBox(std::size_t pointerBytes = sizeof(void*));

// which 1: the program's own licence, 2: the scanner library's licence file with every LF turned
// into CR, 3: the image library's licence file unchanged; any other value shows nothing. The files
// are read from programDir; one that is missing or cannot be read gives a note and no box.
void ShowLicence(int which, const std::string& programDir);

} // namespace folvex
