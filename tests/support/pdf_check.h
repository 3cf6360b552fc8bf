#pragma once
// Checks for the PDF files tests write: qpdf's own check, the file's cross-reference structure,
// pdfinfo's view of it, and comparison with a committed golden file.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace folvex::testing {

struct ProgramOutput
{
    int exitCode = -1;  // -1 when the program could not be started or did not exit normally
    std::string output; // standard output and standard error together
};

// Runs a program (no shell) and waits for it.
ProgramOutput runProgram(const std::vector<std::string>& argv);

// `qpdf --check` exits with 0 (warnings, exit 3, fail).
::testing::AssertionResult qpdfCheckPasses(const std::string& path);

// Each cross-reference line is 20 bytes and points at "n 0 obj", startxref points at "xref", and the
// objects appear in number order.
::testing::AssertionResult pdfStructureIsSound(const std::string& bytes);

// Both checks above on a written file.
::testing::AssertionResult pdfFileIsSound(const std::string& path);

// pdfinfo's "Key: value" lines (with extra arguments such as "-f", "1", "-l", "3").
std::map<std::string, std::string>
pdfInfo(const std::string& path, const std::vector<std::string>& extraArgs = {});

// Compares bytes with a golden file byte for byte and shows the first difference. With
// FOLVEX_UPDATE_GOLDEN=1 in the environment the golden file is written instead.
::testing::AssertionResult matchesGolden(const std::string& actual, const std::string& goldenPath);

} // namespace folvex::testing
