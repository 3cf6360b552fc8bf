#pragma once
// Row conversion between runtime bitmaps of 1, 4, 8, 24 or 32 bits and 24-bit BGR rows, shared by
// pixel access and bitmap saving.

#include "runtime/dib.h"

#include <array>
#include <cstdint>

namespace folvex::pixel_detail {

bool isSupportedDepth(std::uint16_t bitCount);

// True when the bitmap has a supported depth, a positive size, all its rows and, when indexed, a
// palette.
bool isReadableBitmap(const DibBitmap& bitmap);

// Reads rows of a bitmap as 24-bit blue, green, red. Indexed bitmaps take their palette (entries
// beyond it read as black).
class Bgr24Reader
{
public:
    explicit Bgr24Reader(const DibBitmap& bitmap);

    // Converts the first count pixels of stored row `row` (0 = bottom) into out (3 * count bytes).
    void readRow(std::int32_t row, std::uint8_t* out, std::int32_t count) const;

private:
    const DibBitmap& m_bitmap;
    std::array<std::array<std::uint8_t, 3>, 256> m_palette{};
};

// Writes 24-bit rows into a bitmap in its own depth: indexed bitmaps take the nearest palette entry
// (smallest squared distance, the lowest index on a tie); 32-bit ones keep their fourth byte.
class Bgr24Writer
{
public:
    explicit Bgr24Writer(DibBitmap& bitmap);

    void writeRow(std::int32_t row, const std::uint8_t* in, std::int32_t count);

    // Sets pixel x of stored row `row` (0 = bottom) to a colour given as blue, green, red.
    void setPixel(std::int32_t row, std::int32_t x, const std::uint8_t* bgr);

    // The palette index nearest to a colour.
    std::uint8_t nearestIndex(std::uint8_t blue, std::uint8_t green, std::uint8_t red);

private:
    struct CacheEntry
    {
        std::uint32_t colour = 0xFFFFFFFF; // no 24-bit colour has this key
        std::uint8_t index = 0;
    };

    DibBitmap& m_bitmap;
    std::array<CacheEntry, 4096> m_cache{};
};

} // namespace folvex::pixel_detail
