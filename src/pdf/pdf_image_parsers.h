#pragma once
// The image parsers of the PDF writer: PNG chunks, JPEG segments and JPEG 2000 boxes read for the
// few header values an image object needs, the BMP reader and the PNG re-encoder that turn other
// pixel data into 8-bit RGB PNG, and the byte-order readers the font parser shares. Every read is
// bounded by its buffer; nothing is allocated from a header value that was not checked against the
// data. Pure functions (any thread), except that a parser given no data records error 2 in the
// current document.

#include "runtime/image_limits.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace folvex {

// What a parser found. data views either the parsed buffer (JPEG, JPEG 2000) or joinedData (the
// IDAT chunks of a PNG joined), so the record must outlive neither; it is not copyable.
struct PdfImageInfo
{
    PdfImageInfo() = default;
    PdfImageInfo(const PdfImageInfo&) = delete;
    PdfImageInfo& operator=(const PdfImageInfo&) = delete;

    std::string signature;    // PNG signature in hexadecimal, "FFD8", or the first JPEG 2000 box type
    std::int64_t width = 0;   // pixels
    std::int64_t height = 0;  // pixels
    std::uint16_t colour = 0; // PNG colour type, JPEG component count, JPEG 2000 enumerated colour space
    std::uint16_t bitsPerComponent = 0;
    std::uint16_t compressionMethod = 0;
    std::uint16_t filterMethod = 0;
    std::uint16_t interlaceMethod = 0;
    std::string palette; // PNG palette bytes (R, G, B per entry), empty when none
    std::string_view data;
    std::string joinedData;
};

// The widest and highest PNG the writer takes, in pixels: no scan comes near it (A3 at 1200 dpi is
// 14,031 × 19,843), and some readers refuse to draw larger images.
inline constexpr std::int64_t MaxPngSidePx = 65536;

// 1 when the data is a complete, sound PNG: signature; IHDR with a valid header, width and height from
// 1 to MaxPngSidePx; every chunk inside the data, IHDR, PLTE, IDAT and IEND with matching CRCs; IEND
// at the end; and the joined IDAT data one zlib stream that inflates without error to exactly the
// rows the header requires, each with a known filter type. The IDAT data are joined. Else 0.
std::int32_t PdfParsePng(std::string_view buffer, PdfImageInfo& info);

// 1 when the data is a JPEG that starts with its start-of-image marker, has a start-of-frame segment
// of non-zero size with 1, 3 or 4 components, a start of scan and an end-of-image marker after it.
// The data is the whole buffer. Else 0.
std::int32_t PdfParseJpeg(std::string_view buffer, PdfImageInfo& info);

// 1 when the data is a JPEG 2000 file (boxes with a JP2 header giving a non-zero size and a
// contiguous codestream that ends with its end marker) or a bare codestream. The data is the whole
// buffer. Else 0.
std::int32_t PdfParseJpx(std::string_view buffer, PdfImageInfo& info);

// Byte-order readers.
std::uint16_t SwapUInt16(std::uint32_t value); // the low 16 bits, bytes exchanged
std::uint32_t SwapUInt32(std::uint32_t value);
std::uint64_t SwapUInt64(std::uint64_t value);
std::uint16_t ReadUInt16(std::uint32_t value, std::int32_t swap); // low 16 bits, exchanged when swap != 0
std::uint32_t ReadUInt32(std::uint32_t value, std::int32_t swap); // reversed when swap != 0
std::uint8_t LowByte(std::uint32_t value);

// The largest image the writer decodes, in pixels: it decodes them as 8-bit RGB.
inline constexpr std::uint64_t MaxDecodedPixels = MaxDecodedImageBytes / 3;

// A BMP file (core, info, V4 or V5 header; 1, 4, 8 bits with palette, 16 bits 5-5-5 or bit fields,
// 24, 32 bits; RLE4 and RLE8; bottom-up or top-down) as an 8-bit RGB PNG without alpha. False when
// the data is no such BMP, is cut short, or has a width or height of 0.
bool bmpToRgbPng(std::string_view bmp, std::string& png);

// True for PNG data that cannot go into a PDF as it is: interlaced, 16 bits, or with alpha.
bool pngNeedsDecoding(std::string_view png);

// Decodes any PNG that PdfParsePng accepts and encodes it again as an 8-bit RGB PNG; alpha and
// transparency are dropped. The pixel buffer is allocated only after the data has been checked.
bool pngToRgbPng(std::string_view png, std::string& rgbPng);

} // namespace folvex
