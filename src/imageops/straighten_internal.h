#pragma once
// The parts of the straightening methods that tests and the benchmark reach on their own: the grey
// page the methods read, the analyses on a page in memory and the two selection rules.

#include "foundation/freeimage_binding.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace folvex {

// An 8-bit grey page, rows from the top, no padding.
struct GreyImage
{
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> levels;

    std::uint8_t at(int x, int y) const
    {
        return levels
            [static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
    }
};

// The angle bins of type 1: v = -100 .. 100 at index v + 100.
using AngleHistogram = std::array<std::int32_t, 201>;

// The grey levels the methods read from image with turns pending; nullopt for depths they cannot read.
std::optional<GreyImage>
preparedGreyImage(const FreeImageFunctionTable& functions, FIBITMAP* image, std::uint8_t turns);

// The methods on a page in memory (any depth, turns pending), and on a grey page.
double straightenType1(const FreeImageFunctionTable& functions, FIBITMAP* image, std::uint8_t turns);
double straightenType2(const FreeImageFunctionTable& functions, FIBITMAP* image, std::uint8_t turns);
double straightenType1(const GreyImage& page);
double straightenType2(const GreyImage& page);

// -v / 10 for the lowest bin v with the largest count; -999.0 when every count is 0.
double selectHistogramMode(const AngleHistogram& histogram);

// The 101 candidate angles of type 2: -5.0 and repeated additions of 0.1 while at most 5.0.
std::vector<double> candidateAngles();

// Walks the scores in order keeping the best: a higher score becomes the result at once; a run of
// scores equal to the best, ended by a lower one, makes the result the candidate halfway (rounded
// down) from the best one to the run's last; a run lasting to the end leaves the first. -999.0 when no
// score is above 0.
double selectPlateauMiddle(const std::vector<double>& angles, const std::vector<std::int64_t>& scores);

} // namespace folvex
