#pragma once
// Small images for the image tests, made the way the program's pages are made: PNG written with
// libpng at any depth, BMP and JPEG written by the image library, CMYK JPEG by libjpeg, JPEG 2000 by
// opj_compress. Each comes with the RGB pixels a reader must show; pages are rendered with gs or pdftoppm.

#include <FreeImage.h>

#include <cstdint>
#include <string>
#include <vector>

namespace folvex::testing {

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
