#pragma once
// The "PDF+OCR" writer: the kept pages are collected in multi-page TIFFs of the temporary folder and
// recognised by the external program tesseract, which writes searchable PDFs (one document or, with
// split points, base_1.pdf, base_2.pdf, ...). The pages of each document are cut into ranges that run
// as parallel single-threaded processes, each started as soon as its TIFF is complete, and are joined
// with qpdf. GUI thread.

#include "scan/writer_table.h"

#include <string_view>

namespace folvex {

inline constexpr std::string_view OcrFailedTitle = "OCRF abgebrochen";
inline constexpr std::string_view OcrFailedText = "OCR abgebrochen.";
inline constexpr std::string_view OcrNotCreated = R"(\n\nNicht erstellt: )";
inline constexpr std::string_view OcrRunningStatus = "Status: OCR läuft...";
inline constexpr std::string_view OcrLinePrefix = "Status: OCR-";
inline constexpr std::string_view QpdfProgram = "qpdf";
// Added to tesseract's environment beside OMP_THREAD_LIMIT=1. tesseract allocates and frees
// page-sized images many times per page; by default each is mapped afresh and faulted in page by page
// (a fifth of its time). Kept in the heap, on huge pages where the system has them, the memory is
// reused. Only the allocator's behaviour changes, never what is recognised.
inline constexpr std::string_view TesseractAllocatorSetting =
    "GLIBC_TUNABLES=glibc.malloc.hugetlb=1:glibc.malloc.mmap_max=0:glibc.malloc.trim_threshold=1073741824";

// The writer with one range process per processor core.
WriterOutcome SavePdfOcr(ScanJobContext& context, ScanJobState& job);

// The same with the number of cores given (at least 1).
WriterOutcome SavePdfOcr(ScanJobContext& context, ScanJobState& job, unsigned cores);

} // namespace folvex
