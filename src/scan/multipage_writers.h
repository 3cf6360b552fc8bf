#pragma once
// The writers of multi-page documents: "mehrseitiges TIF" puts every kept page into one TIFF file, or
// one per part (base_1.TIF, base_2.TIF, ...) when the page order has split points; "Animated GIF" puts
// every kept page as a frame into one GIF that loops and shows each frame as the settings say. A
// document is written under a temporary name beside its target and replaces the target only once it
// is complete and holds at least one page. GUI thread.

#include "scan/writer_steps.h"

#include <string>

namespace folvex {

// ".TIF" appended unless the name ends in ".tif" or ".tiff" (any case); ".tiff" shortened to ".tif"
// with the other letters' case kept.
std::string completeTiffName(const std::string& name);

inline constexpr WriterLiterals MultipageTiffLiterals{
    "Scanergebnis speichern als...", "scan.tif", "TIF-Dateien (*.tif)|*.tif", ".TIF", &completeTiffName};
inline constexpr WriterLiterals AnimatedGifLiterals{
    "Scanergebnis speichern als...", "scan.gif", "GIF-Dateien (*.gif)|*.gif", ".gif"};

WriterOutcome SaveMultipageTiff(ScanJobContext& context, ScanJobState& job);

WriterOutcome SaveAnimatedGif(ScanJobContext& context, ScanJobState& job);

} // namespace folvex
