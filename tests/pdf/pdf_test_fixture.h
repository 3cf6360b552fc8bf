#pragma once
// A fresh PDF writer state per test with the clock pinned, a temporary folder, and saving with every
// check a written PDF must pass.

#include "pdf/pdf_document.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace folvex::testing {

// 2025-12-10 12:00:00 UTC.
inline constexpr std::int64_t PinnedSeconds = 1765368000;

class PdfTest : public ::testing::Test
{
protected:
    PdfTest();
    ~PdfTest() override;

    // Saves doc as name in the temporary folder, expects success, checks the file (structure and
    // qpdf) and returns its bytes.
    std::string saveChecked(std::int32_t doc, const std::string& name);

    FixedClock clock{PinnedSeconds};
    PdfModule module;
    TempDir dir;

private:
    PdfModule* m_previous = nullptr;
};

// The current document's current page content so far ("" before the first page).
std::string currentContent();

// What `program args... file` prints; an exit code other than 0 fails the test.
std::string toolOutput(const std::vector<std::string>& argv);

// The error lines mutool draw and pdftoppm print while rendering every page of a PDF at 36 dpi, and
// their exit codes when not 0; empty when both render it cleanly.
std::string renderComplaints(const std::string& pdfPath, const std::string& scratchFolder);

// The text of object number in a file, from "n 0 obj\n" to "endobj\n"; empty when absent.
std::string objectText(const std::string& bytes, std::int32_t number);

// The /Length bytes after "stream\n" of object number, as a reader takes them.
std::string streamOf(const std::string& bytes, std::int32_t number);

} // namespace folvex::testing
