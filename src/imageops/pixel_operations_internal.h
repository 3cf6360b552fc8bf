#pragma once
// The row kernels of de-graying, inversion and white balance on rows of 24-bit pixels (blue, green and
// red bytes as the library orders them), in vector forms for the processors that have them and the
// pixel-by-pixel forms they must agree with byte for byte. For the passes in pixel_operations.cpp and
// their tests; any thread (the rows are the caller's).

#include "imageops/pixel_operations.h"

#include <FreeImage.h>

#include <array>
#include <cstdint>
#include <vector>

namespace folvex {

// How a row is gone over.
enum class RowKernel
{
    // 64-byte registers (AVX-512 with byte permutes, VBMI).
    Avx512,
    // 16-byte registers with byte shuffles (SSSE3).
    Ssse3,
    // Any processor: eight bytes at a time, white balance by byte pairs.
    Portable,
    // One pixel at a time, the plain form.
    ByPixel,
};

// The kernels this processor runs, fastest first; the passes use the first.
const std::vector<RowKernel>& rowKernels();

// De-graying and inversion of width pixels.
void deGrayRow(
    BYTE* row, unsigned width, const DeGrayPoints& points, RowKernel kernel = rowKernels().front());
void invertRow(BYTE* row, unsigned width, RowKernel kernel = rowKernels().front());

// The white balance of a page with one kernel: its three channel tables, and for the portable kernels
// the same tables over byte pairs (the six bytes of two pixels are three byte pairs, each looked up at
// once).
class WhiteBalanceRows
{
public:
    WhiteBalanceRows(
        const std::array<std::uint8_t, 256>& red,
        const std::array<std::uint8_t, 256>& green,
        const std::array<std::uint8_t, 256>& blue,
        RowKernel kernel = rowKernels().front());

    // True when every table gives each value back: the pass leaves the page as it is.
    bool identity() const;

    void apply(BYTE* row, unsigned width) const;

private:
    RowKernel m_kernel;
    // The table of each byte of a pixel, by its offset.
    std::array<std::array<std::uint8_t, 256>, 3> m_byOffset;
    // For each byte pair of a pixel pair (offsets 0-1, 2-3, 4-5): 65536 entries indexed by the pair's
    // two bytes as they lie in memory, giving both results as they are to be stored. Empty for the
    // other kernels.
    std::vector<std::uint16_t> m_pairs;
};

} // namespace folvex
