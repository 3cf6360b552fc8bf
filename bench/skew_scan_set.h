#pragma once
// The straightening benchmark's scanned-looking pages: text pages rendered with Ghostscript
// (bench/skew_text_pages.sh) turned by known angles, on white or tinted paper with noise and dust, in
// grey, colour and 1 bit, some with a dark strip or shadow along the left edge; and blank pages.

#include "foundation/freeimage_binding.h"

#include <string>
#include <vector>

namespace folvex::bench {

struct ScanPage
{
    std::string label;
    double angleDeg = 0.0;  // the content turned counter-clockwise by this; the answer is -angleDeg
    bool blank = false;     // no text: no angle is the right answer
    bool edge = false;      // a dark strip or shadow along the left edge
    int twin = -1;          // for an edge page: the index of the same page without its edge
    FreeImageBitmap page;   // as the methods read it (8-bit grey, 24-bit colour or 1 bit)
    FreeImageBitmap colour; // the same page in 24 bits, for Leptonica
};

// The pages made from the rendered files in folder (brief-, buch-, kurz-<dpi>.pgm); empty, with a
// message on stderr, when they are missing.
std::vector<ScanPage> makeScanSet(const FreeImageFunctionTable& functions, const std::string& folder);

} // namespace folvex::bench
