// Blank-page test.
//
// Method: a page counts as blank when enough of its sampled pixels are light. The samples lie on a
// square grid of spacing `step` pixels that starts at the top-left pixel: columns 0, step, 2*step, ...
// of rows 0, step, 2*step, ... A sample is white when each of its red, green and blue values is at
// least `level` (0..255). Indexed bitmaps (1, 4, 8 bits) are judged through their palette entry;
// 24- and 32-bit ones through the bytes of the pixel (the fourth byte of 32-bit pixels is ignored).
//
// Share: with S samples and W white ones, P = W div (S div 100), which rounds in favour of "blank"
// (up to 199 for S = 199); below 100 samples P = W * 100 div S. The page is blank when the profile's
// percentage is at most P. The profiles' default step is 3.
//
// Cost: every sampled pixel is read once, in place; nothing of page size is allocated. A whole
// 24-bit row at step 1 is judged 16 pixels at a time from byte comparisons, so a full scan costs
// about as much as summing the page's bytes.

#include "foundation/blank_page.h"

#include "foundation/note.h"
#include "foundation/pixel_access_internal.h"
#include "runtime/dib.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace folvex {

namespace {

const std::string NoteReadFailed = "IsPicBlank: StartPixelFast fehlgeschlagen";

// White samples of one row of 3-byte pixels at step 1.
std::int64_t countWhiteRow24(const std::uint8_t* row, std::int32_t width, std::uint8_t level)
{
    std::int64_t white = 0;
    std::int32_t x = 0;
    // 16 pixels = 48 bytes: one flag bit per byte that reaches the level, then a pixel is white when
    // the three bits of its bytes are all set.
    constexpr std::uint64_t FirstBytes = 0x0000'2492'4924'9249; // bits 0, 3, 6, ..., 45
#if defined(__SSE2__)
    const __m128i threshold = _mm_set1_epi8(static_cast<char>(level));
    const auto reached = [&threshold](const std::uint8_t* bytes) {
        const __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
        // max(v, level) == v exactly when v >= level (unsigned bytes).
        return static_cast<std::uint64_t>(static_cast<std::uint16_t>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(values, threshold), values))));
    };
    for (; x + 16 <= width; x += 16, row += 48) {
        const std::uint64_t flags = reached(row) | reached(row + 16) << 16 | reached(row + 32) << 32;
        white += std::popcount(flags & flags >> 1 & flags >> 2 & FirstBytes);
    }
#else
    for (; x + 16 <= width; x += 16, row += 48) {
        std::uint64_t flags = 0;
        for (int i = 0; i < 48; ++i) {
            flags |= std::uint64_t{row[i] >= level} << i;
        }
        white += std::popcount(flags & flags >> 1 & flags >> 2 & FirstBytes);
    }
#endif
    for (; x < width; ++x, row += 3) {
        white += row[0] >= level && row[1] >= level && row[2] >= level;
    }
    return white;
}

std::int64_t countWhite(const DibBitmap& bitmap, std::int32_t step, std::uint8_t level)
{
    const auto ustep = static_cast<std::size_t>(step);
    std::int64_t white = 0;
    std::array<std::uint8_t, 256> paletteWhite{};
    if (bitmap.bitCount <= 8) {
        const std::size_t entries = std::min<std::size_t>(bitmap.palette.size(), paletteWhite.size());
        for (std::size_t i = 0; i < entries; ++i) {
            const std::uint32_t colour = bitmap.palette[i];
            paletteWhite[i] =
                (colour & 0xFF) >= level && (colour >> 8 & 0xFF) >= level && (colour >> 16 & 0xFF) >= level;
        }
    }
    for (std::int32_t y = 0; y < bitmap.height; y += step) {
        const std::uint8_t* row = bitmap.rowTopDown(y);
        const auto width = static_cast<std::size_t>(bitmap.width);
        switch (bitmap.bitCount) {
            case 24:
                if (step == 1) {
                    white += countWhiteRow24(row, bitmap.width, level);
                } else {
                    for (std::size_t x = 0; x < width; x += ustep) {
                        const std::uint8_t* pixel = row + x * 3;
                        white += pixel[0] >= level && pixel[1] >= level && pixel[2] >= level;
                    }
                }
                break;
            case 32:
                for (std::size_t x = 0; x < width; x += ustep) {
                    const std::uint8_t* pixel = row + x * 4;
                    white += pixel[0] >= level && pixel[1] >= level && pixel[2] >= level;
                }
                break;
            case 8:
                for (std::size_t x = 0; x < width; x += ustep) {
                    white += paletteWhite[row[x]];
                }
                break;
            case 4:
                for (std::size_t x = 0; x < width; x += ustep) {
                    white += paletteWhite[(row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0x0F];
                }
                break;
            default:
                for (std::size_t x = 0; x < width; x += ustep) {
                    white += paletteWhite[(row[x / 8] >> (7 - x % 8)) & 1];
                }
                break;
        }
    }
    return white;
}

} // namespace

int IsPicBlank(Handle hBitmap, int width, int height, float percent, int step, int level)
{
    const DibBitmap* bitmap = findImage(hBitmap);
    if (bitmap == nullptr || !pixel_detail::isReadableBitmap(*bitmap) || bitmap->width != width ||
        bitmap->height != height) {
        ShowNote(NoteReadFailed, 1);
        return -1;
    }
    step = std::max(step, 1);
    level = std::clamp(level, 0, 255);
    const std::int64_t white = countWhite(*bitmap, step, static_cast<std::uint8_t>(level));
    const std::int64_t columns = (std::int64_t{width} + step - 1) / step;
    const std::int64_t rows = (std::int64_t{height} + step - 1) / step;
    const std::int64_t samples = columns * rows;
    if (samples == 0) {
        return 0;
    }
    const std::int64_t share = samples < 100 ? white * 100 / samples : white / (samples / 100);
    return static_cast<double>(percent) <= static_cast<double>(share) ? 1 : 0;
}

} // namespace folvex
