#pragma once
// What the page import learns about a file before and after the image library decodes it: the size
// its header claims, and whether the file is cut short where the library keeps silent about it.
// Qt-free; no state, any thread.

#include <cstdint>
#include <optional>
#include <string>

namespace folvex {

// The bytes a picture of width × height pixels at bpp bits takes once decoded, rows padded to 4
// bytes; nullopt when that does not fit 64 bits.
std::optional<std::uint64_t> decodedImageBytes(std::uint64_t width, std::uint64_t height, std::uint64_t bpp);

struct PictureSize
{
    std::uint64_t width = 0;
    std::uint64_t height = 0;
};

// The size a GIF file's decoder allocates for its first picture: the larger of the logical screen and
// the first image's frame in each direction. nullopt when the file holds no picture.
std::optional<PictureSize> gifPictureSize(const std::string& path);

// True when an uncompressed BMP file ends before the pixel rows its header announces.
bool bmpCutShort(const std::string& path);

// True when a TIFF file ends before what its page directories point to: a later directory (the pages
// behind the cut are lost), a value kept outside its directory, or a strip or tile of pixels.
bool tiffDirectoriesCutShort(const std::string& path);

} // namespace folvex
