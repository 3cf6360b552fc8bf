#include "imageops_fixtures.h"

#include "imageops/raster.h"

#include <gtest/gtest.h>

#include <cstring>

namespace folvex::testing {

const FreeImageFunctionTable& imageLibrary()
{
    static const FreeImageLibrary library = [] {
        FreeImageLibrary loaded;
        EXPECT_TRUE(loadFreeImageBinding(loaded));
        return loaded;
    }();
    return library.FreeImageFunctions;
}

FreeImageBitmap makeRandomImage(
    int width,
    int height,
    int bpp,
    std::mt19937& random,
    unsigned redMask,
    unsigned greenMask,
    unsigned blueMask)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    FreeImageBitmap image = ownFreeImage(fi, fi.Allocate(width, height, bpp, redMask, greenMask, blueMask));
    std::uniform_int_distribution<int> byte(0, 255);
    for (int y = 0; y < height; ++y) {
        BYTE* row = fi.GetScanLine(image.get(), y);
        for (unsigned i = 0; i < fi.GetPitch(image.get()); ++i) {
            row[i] = static_cast<BYTE>(byte(random));
        }
    }
    if (bpp <= 8) {
        RGBQUAD* palette = fi.GetPalette(image.get());
        for (int i = 0; i < (1 << bpp); ++i) {
            palette[i] = {
                static_cast<BYTE>(byte(random)),
                static_cast<BYTE>(byte(random)),
                static_cast<BYTE>(byte(random)),
                0};
        }
    }
    fi.SetDotsPerMeterX(image.get(), 11811);
    fi.SetDotsPerMeterY(image.get(), 5906);
    return image;
}

std::uint32_t pixelValue(FIBITMAP* image, unsigned x, unsigned y)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    const BYTE* row = rowFromTop(fi, image, y);
    switch (fi.GetBPP(image)) {
        case 1:
            return (row[x / 8] >> (7 - x % 8)) & 1U;
        case 4:
            return (row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0x0FU;
        default: {
            const unsigned bytes = fi.GetBPP(image) / 8;
            std::uint32_t value = 0;
            std::memcpy(&value, row + x * bytes, bytes);
            return value;
        }
    }
}

bool samePixels(FIBITMAP* a, FIBITMAP* b)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    if (a == nullptr || b == nullptr || fi.GetWidth(a) != fi.GetWidth(b) ||
        fi.GetHeight(a) != fi.GetHeight(b) || fi.GetBPP(a) != fi.GetBPP(b)) {
        return false;
    }
    for (unsigned y = 0; y < fi.GetHeight(a); ++y) {
        for (unsigned x = 0; x < fi.GetWidth(a); ++x) {
            if (pixelValue(a, x, y) != pixelValue(b, x, y)) {
                return false;
            }
        }
    }
    return true;
}

} // namespace folvex::testing
