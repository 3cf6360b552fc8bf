#pragma once
// The single-page image writers: "BMP", "JPG", "PNG", "einseitiges TIF", "GIF" and "TARGA" save every
// kept page as a file of its own (split points do not matter). "BMP" moves the page files; the others
// load each page, prepare its depth for the format and save it. GUI thread; the pages are saved on
// worker threads.

#include "runtime/expected.h"
#include "scan/writer_steps.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace folvex {

class FileOps;

// The leading zeros that bring number to the digit count of total; totals of more than five digits
// count as five.
std::string PadPageNumber(std::int32_t total, std::int32_t number);

// The output name of page number of total pages: the chosen name for a one-page job, else the chosen
// name without its extension + "_" + zeros + number + numberedExtension.
std::string singlePageName(
    const std::string& chosenName,
    std::int32_t total,
    std::int32_t number,
    std::string_view numberedExtension);

// Moves from to to, replacing to. Across file systems the file is copied into the target's folder
// under a temporary name, synced and renamed over to, then from is removed. On failure to is untouched.
Expected<void> movePageFile(FileOps& files, const std::string& from, const std::string& to);

WriterOutcome SaveBmp(ScanJobContext& context, ScanJobState& job);
WriterOutcome SaveJpg(ScanJobContext& context, ScanJobState& job);
WriterOutcome SavePng(ScanJobContext& context, ScanJobState& job);
WriterOutcome SaveSingleTif(ScanJobContext& context, ScanJobState& job);
WriterOutcome SaveGif(ScanJobContext& context, ScanJobState& job);
WriterOutcome SaveTarga(ScanJobContext& context, ScanJobState& job);

} // namespace folvex
