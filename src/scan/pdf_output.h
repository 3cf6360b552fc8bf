#pragma once
// The "PDF" writer: every kept page on a PDF page of its own, sized by the page's resolution, one
// document or, with split points, the numbered documents base_1.pdf, base_2.pdf, ... GUI thread.

#include "scan/writer_steps.h"

#include <string_view>

namespace folvex {

inline constexpr WriterLiterals PdfLiterals{
    "Scanergebnis speichern als...", "scan.pdf", "PDF-Dateien (*.pdf)|*.pdf", ".pdf"};
inline constexpr std::string_view PdfAuthor = "Folvex";

WriterOutcome SavePdf(ScanJobContext& context, ScanJobState& job);

} // namespace folvex
