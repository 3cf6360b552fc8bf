#include "image_fixtures.h"

#include "runtime/dynamic_library.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

namespace folvex::testing {

const FreeImageLibrary& realFreeImage()
{
    static const FreeImageLibrary library = [] {
        ScopedFakeEffects fakes;
        FreeImageLibrary loaded;
        if (!loadFreeImageBinding(loaded)) {
            throw std::runtime_error("the image library could not be loaded");
        }
        return loaded;
    }();
    return library;
}

const FreeImageFunctionTable& realFunctions()
{
    return realFreeImage().FreeImageFunctions;
}

const FreeImageTestFunctions& testFunctions()
{
    static const DynamicLibrary library(FreeImageLibraryName);
    static const FreeImageTestFunctions functions = [] {
        FreeImageTestFunctions found;
        found.AllocateT =
            library.function<std::remove_pointer_t<decltype(found.AllocateT)>>("FreeImage_AllocateT");
        found.GetPalette =
            library.function<std::remove_pointer_t<decltype(found.GetPalette)>>("FreeImage_GetPalette");
        found.GetPixelIndex =
            library.function<std::remove_pointer_t<decltype(found.GetPixelIndex)>>("FreeImage_GetPixelIndex");
        found.GetScanLine =
            library.function<std::remove_pointer_t<decltype(found.GetScanLine)>>("FreeImage_GetScanLine");
        if (!found.AllocateT || !found.GetPalette || !found.GetPixelIndex || !found.GetScanLine) {
            throw std::runtime_error("the image library lacks a test function");
        }
        return found;
    }();
    return functions;
}

std::unique_ptr<DibBitmap> makeRandomBitmap(
    std::int32_t width, std::int32_t height, std::uint16_t bitCount, double whiteShare, std::mt19937& random)
{
    auto bitmap = makeDibBitmap(width, height, bitCount);
    std::bernoulli_distribution white(whiteShare);
    std::uniform_int_distribution<int> byte(0, 255);
    for (auto& entry : bitmap->palette) {
        entry = white(random)
                    ? 0xFFFFFF
                    : static_cast<std::uint32_t>(byte(random) << 16 | byte(random) << 8 | byte(random));
    }
    for (auto& value : bitmap->bits) {
        value = bitCount > 8 && white(random) ? 255 : static_cast<std::uint8_t>(byte(random));
    }
    return bitmap;
}

ImagePtr toFreeImage(const DibBitmap& bitmap)
{
    const FreeImageFunctionTable& fi = realFunctions();
    ImagePtr image(fi.Allocate(bitmap.width, bitmap.height, bitmap.bitCount, 0, 0, 0));
    if (!image) {
        throw std::runtime_error("Allocate failed");
    }
    const std::size_t stride = bitmap.stride();
    const std::size_t pitch = fi.GetPitch(image.get());
    BYTE* bits = fi.GetBits(image.get());
    for (std::int32_t row = 0; row < bitmap.height; ++row) {
        std::memcpy(bits + pitch * static_cast<std::size_t>(row), bitmap.bits.data() + stride * row, stride);
    }
    if (bitmap.bitCount <= 8) {
        RGBQUAD* palette = testFunctions().GetPalette(image.get());
        for (std::size_t i = 0; i < bitmap.palette.size(); ++i) {
            palette[i].rgbRed = static_cast<BYTE>(bitmap.palette[i] >> 16);
            palette[i].rgbGreen = static_cast<BYTE>(bitmap.palette[i] >> 8);
            palette[i].rgbBlue = static_cast<BYTE>(bitmap.palette[i]);
        }
    }
    return image;
}

std::uint32_t libraryColourAt(FIBITMAP* image, unsigned x, unsigned yFromTop)
{
    const FreeImageFunctionTable& fi = realFunctions();
    const unsigned y = fi.GetHeight(image) - 1 - yFromTop;
    RGBQUAD colour{};
    if (fi.GetBPP(image) <= 8) {
        BYTE index = 0;
        EXPECT_TRUE(testFunctions().GetPixelIndex(image, x, y, &index));
        colour = testFunctions().GetPalette(image)[index];
    } else {
        EXPECT_TRUE(fi.GetPixelColor(image, x, y, &colour));
    }
    return std::uint32_t{colour.rgbRed} << 16 | std::uint32_t{colour.rgbGreen} << 8 | colour.rgbBlue;
}

} // namespace folvex::testing
