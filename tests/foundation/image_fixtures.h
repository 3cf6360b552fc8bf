#pragma once
// Fixtures for the image tests: the real image library loaded through the binding, a few of its
// functions the program does not take, library images and runtime bitmaps that free themselves.

#include "foundation/freeimage_binding.h"
#include "runtime/dib.h"

#include <FreeImage.h>

#include <cstdint>
#include <memory>
#include <random>

namespace folvex::testing {

// The real library, loaded once for the test program (the test fails when it cannot be loaded).
const FreeImageLibrary& realFreeImage();

const FreeImageFunctionTable& realFunctions();

// Library functions only the tests use, looked up in the same library.
struct FreeImageTestFunctions
{
    decltype(&::FreeImage_AllocateT) AllocateT = nullptr;
    decltype(&::FreeImage_GetPalette) GetPalette = nullptr;
    decltype(&::FreeImage_GetPixelIndex) GetPixelIndex = nullptr;
    decltype(&::FreeImage_GetScanLine) GetScanLine = nullptr;
};

const FreeImageTestFunctions& testFunctions();

struct ImageUnloader
{
    void operator()(FIBITMAP* image) const { realFunctions().Unload(image); }
};

using ImagePtr = std::unique_ptr<FIBITMAP, ImageUnloader>;

// A runtime bitmap handle freed with the object.
class ScopedBitmap
{
public:
    explicit ScopedBitmap(Handle handle)
        : m_handle(handle)
    {}

    explicit ScopedBitmap(std::unique_ptr<DibBitmap> bitmap)
        : m_handle(registerImage(std::move(bitmap)))
    {}

    ~ScopedBitmap() { freeImage(m_handle); }

    ScopedBitmap(const ScopedBitmap&) = delete;
    ScopedBitmap& operator=(const ScopedBitmap&) = delete;

    Handle handle() const { return m_handle; }

    DibBitmap& bitmap() const { return *findImage(m_handle); }

private:
    Handle m_handle;
};

// A bitmap of the given depth with random bytes; indexed ones get a random palette whose entries are
// white with probability whiteShare, and the other depths have each byte 255 with that probability.
std::unique_ptr<DibBitmap> makeRandomBitmap(
    std::int32_t width, std::int32_t height, std::uint16_t bitCount, double whiteShare, std::mt19937& random);

// The bitmap as a library image of the same depth, palette and rows.
ImagePtr toFreeImage(const DibBitmap& bitmap);

// The colour of picture pixel (x, y), y from the top, as the library reads it: 0x00RRGGBB.
std::uint32_t libraryColourAt(FIBITMAP* image, unsigned x, unsigned yFromTop);

} // namespace folvex::testing
