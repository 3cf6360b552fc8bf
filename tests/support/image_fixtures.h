#pragma once
// Fixtures for the image tests: the real image library loaded through the binding, a few of its
// functions the program does not take, library images and runtime bitmaps that free themselves, and
// small image files made the way the program's pages are made (PNG written with libpng at any depth,
// BMP and JPEG by the image library, CMYK JPEG by libjpeg, JPEG 2000 by opj_compress), each with the
// RGB pixels a reader must show; PDF pages rendered with gs.

#include "foundation/freeimage_binding.h"
#include "runtime/dib.h"

#include <FreeImage.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

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

struct TestImage
{
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::string bytes; // the file
    std::string rgb;   // 3 bytes per pixel, rows from the top: what a reader shows
};

// A PNG of the colour type and depth; palette images use paletteSize colours. Alpha is not shown.
TestImage makePng(
    std::uint32_t width,
    std::uint32_t height,
    int colourType,
    int bits,
    bool interlaced,
    int paletteSize = 0);

// A library image of the depth (1, 4, 8 with a palette of shades or colours, 24, 32) with a pattern,
// and the pixels it shows.
FIBITMAP* makeLibraryImage(std::uint32_t width, std::uint32_t height, unsigned bitCount, std::string& rgb);

// Saves a library image as a file of the format and returns its bytes (flags as the library takes).
std::string
saveLibraryImage(FIBITMAP* image, FREE_IMAGE_FORMAT format, const std::string& path, int flags = 0);

// A four-component (Adobe CMYK) JPEG.
std::string makeCmykJpeg(std::uint32_t width, std::uint32_t height);

// A JPEG 2000 file (.jp2) made by opj_compress from grey (components 1) or RGB (3) pixels; its rgb
// holds the source pixels.
TestImage makeJp2(const std::string& folder, std::uint32_t width, std::uint32_t height, int components);

// The file without its box of the given type inside the JP2 header (lengths mended).
std::string withoutJp2HeaderBox(const std::string& jp2, const std::string& type);

// Page pageNumber of a PDF rendered by gs at 72 dpi as RGB rows (empty when gs fails).
struct Rendered
{
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::string rgb;
};

Rendered renderPage(const std::string& pdfPath, int pageNumber = 1, const std::string& device = "ppmraw");

// The same page rendered by pdftoppm at 72 dpi (empty when it fails).
Rendered renderPageWithPoppler(const std::string& pdfPath, int pageNumber = 1);

} // namespace folvex::testing
