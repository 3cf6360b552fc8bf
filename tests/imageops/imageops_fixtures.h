#pragma once
// The real image library for the image-operation tests, and small image helpers they share.

#include "foundation/freeimage_binding.h"

#include <FreeImage.h>

#include <cstdint>
#include <random>

namespace folvex::testing {

// The real library, loaded once for the test program.
const FreeImageFunctionTable& imageLibrary();

// An image of the given depth with random pixels; indexed depths get a random palette, 16 bits the
// given masks. Dots per metre X and Y differ.
FreeImageBitmap makeRandomImage(
    int width,
    int height,
    int bpp,
    std::mt19937& random,
    unsigned redMask = 0,
    unsigned greenMask = 0,
    unsigned blueMask = 0);

// The raw value of pixel (x, y), y from the top: palette index, 16-bit word or packed colour bytes.
std::uint32_t pixelValue(FIBITMAP* image, unsigned x, unsigned y);

// True when both have the same size, depth and pixel values (padding bits aside).
bool samePixels(FIBITMAP* a, FIBITMAP* b);

} // namespace folvex::testing
