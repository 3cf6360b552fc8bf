#pragma once
// Bitmaps in device-independent layout (1, 4, 8, 24 or 32 bits per pixel, palette, bottom-up rows
// padded to 4 bytes, dots per metre), known to the program by image handles. Qt-free; any thread,
// but one bitmap must not be changed by two threads at once.

#include "runtime/handles.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace folvex {

struct DibBitmap
{
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t bitCount = 24;
    std::int32_t dotsPerMeterX = 0;
    std::int32_t dotsPerMeterY = 0;
    // Palette entries as 0x00RRGGBB (RGBQUAD order in memory: blue, green, red, reserved).
    std::vector<std::uint32_t> palette;
    // Rows bottom-up: row 0 of bits is the bottom line of the picture.
    std::vector<std::uint8_t> bits;

    // Bytes per row including the padding to a multiple of 4.
    std::size_t stride() const { return ((static_cast<std::size_t>(width) * bitCount + 31) / 32) * 4; }

    // The row of picture line y (0 = top).
    std::uint8_t* rowTopDown(std::int32_t y)
    {
        return bits.data() + stride() * static_cast<std::size_t>(height - 1 - y);
    }

    const std::uint8_t* rowTopDown(std::int32_t y) const
    {
        return bits.data() + stride() * static_cast<std::size_t>(height - 1 - y);
    }
};

// A zero-filled bitmap; palette of 2^bitCount grey levels for depths up to 8. nullptr for a depth
// other than 1, 4, 8, 24, 32 or a size that is not positive or too large.
std::unique_ptr<DibBitmap> makeDibBitmap(std::int32_t width, std::int32_t height, std::uint16_t bitCount);

// The image registry: a bitmap handed over gets a handle; the registry owns it until freed.
Handle registerImage(std::unique_ptr<DibBitmap> bitmap);

// The bitmap of a handle, nullptr for 0, an unknown or a freed handle. The pointer stays valid until
// the handle is freed.
DibBitmap* findImage(Handle image);

// Frees the bitmap; returns false for an unknown handle.
bool freeImage(Handle image);

} // namespace folvex
