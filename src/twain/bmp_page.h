#pragma once
// A scanned page in memory and its BMP file: 1 bit (palette black, white), 8-bit grey or 24-bit
// colour, rows bottom-up, with the scan resolution as dots per metre. Written under a temporary name
// in the target folder and renamed when complete. Any thread.

#include "runtime/expected.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace folvex {

// Eight-bit samples, rows top-down without padding: 1 channel (grey, 0 = black) or 3 (red, green, blue).
struct PageImage
{
    int width = 0;
    int height = 0;
    int channels = 1;
    double dpi = 0.0;
    std::vector<std::uint8_t> samples;
};

// Bits per pixel of a page file: 1, 8 or 24.
enum class BmpDepth : int
{
    Bilevel = 1,
    Grey = 8,
    Colour = 24,
};

// Dots per metre of a resolution in dots per inch, rounded.
std::int32_t dotsPerMetre(double dpi);

// Bytes of one row of a page file, padded to four bytes.
std::size_t bmpRowBytes(int width, BmpDepth depth);

// The headers and palette that open a page file of that size; an empty page or one too big for a
// BMP file gives an error.
Expected<std::string> bmpHeader(int width, int height, BmpDepth depth, double dpi);

// One row of a page file from width pixels of eight-bit samples (channels 1 or 3), by the rules of
// encodeBmp; out holds bmpRowBytes(width, depth) bytes, its padding is zeroed.
void encodeBmpRow(const std::uint8_t* samples, int channels, int width, BmpDepth depth, std::uint8_t* out);

// The BMP file of a page. Bilevel: a sample below 128 is black. Grey from a colour page: the
// luminance. Colour from a grey page: the grey in all three channels. An empty or inconsistent page
// gives an error.
Expected<std::string> encodeBmp(const PageImage& page, BmpDepth depth);

// Reads back a BMP file as written by encodeBmp (uncompressed 1, 8 or 24 bits, bottom-up): grey
// pages for 1 and 8 bits (palette entries looked up), colour pages for 24 bits.
Expected<PageImage> decodeBmp(const std::string& bytes);

// Encodes and writes the page safely; the error names the file.
Expected<void> writeBmpPage(const std::string& path, const PageImage& page, BmpDepth depth);

// The file of page index of a base name: the index inserted before a final ".bmp" (any case), else
// appended with ".bmp".
std::string pageFileName(const std::string& baseName, int index);

} // namespace folvex
