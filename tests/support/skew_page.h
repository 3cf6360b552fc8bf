#pragma once
// Page fixtures for the straightening tests and the benchmark, drawn in code so each knows its answer:
// a clean text page turned by a known angle, and the pages that show the methods' limits. Qt-free.

#include "foundation/freeimage_binding.h"

namespace folvex::testing {

struct CleanPageLayout
{
    int widthPx = 2480; // A4 at 300 dpi
    int heightPx = 3508;
    unsigned seed = 1;
    // A dark strip this wide along the left edge of the finished page (a scanner's shadow); 0: none.
    int leftStripPx = 0;
    // A shadow this wide along the left edge: grey level 30 at the border, brightening evenly to white
    // at its right end; 0: none.
    int leftShadowPx = 0;
    // The strip and the shadow are drawn on the page before it is turned (a book fold), so they turn
    // with it and leave a white wedge at their left in some rows.
    bool edgeTurnsWithPage = false;
};

// A 24-bit white page with text-like black bars from the top row down (25 px high every 50 px at
// 300 dpi, scaled with the width) between straight margins at 10 % and 90 % of the width, words of
// random length, the last word of each line reaching the right margin; turned by angleDeg
// (counter-clockwise when positive) with a white background and cut back around its centre to its
// size. Dots per metre of 300 dpi scaled likewise. The straightening methods should answer -angleDeg.
FreeImageBitmap
makeCleanPage(const FreeImageFunctionTable& functions, double angleDeg, const CleanPageLayout& layout = {});

// A 24-bit page of one grey level (255 blank, 0 all black).
FreeImageBitmap makeFlatPage(const FreeImageFunctionTable& functions, int widthPx, int heightPx, BYTE level);

} // namespace folvex::testing
