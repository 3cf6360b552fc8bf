#pragma once
// The parts of the straightening methods that tests and the benchmark reach on their own: the grey
// page the methods read, its dark pixels as bits, the analyses on a page in memory and the two
// selection rules.

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

// The dark pixels (grey level below 170) of a page, one bit each: pixel x of row y (from the top) is bit
// x % 64 of words[y * wordsPerRow + x / 64]; the bits past the width of a row are 0.
struct DarkMask
{
    int width = 0;
    int height = 0;
    std::size_t wordsPerRow = 0;
    std::vector<std::uint64_t> words;

    bool dark(int x, int y) const
    {
        const std::uint64_t word =
            words[static_cast<std::size_t>(y) * wordsPerRow + static_cast<std::size_t>(x) / 64];
        return ((word >> (static_cast<unsigned>(x) % 64)) & 1U) != 0;
    }
};

// The angle bins of type 1: v = -100 .. 100 at index v + 100.
using AngleHistogram = std::array<std::int32_t, 201>;

// The grey levels the methods read from image with turns pending; nullopt for depths they cannot read.
std::optional<GreyImage>
preparedGreyImage(const FreeImageFunctionTable& functions, FIBITMAP* image, std::uint8_t turns);

// The dark pixels of image with turns pending, as the grey page of preparedGreyImage has them; nullopt
// for depths the methods cannot read.
std::optional<DarkMask>
preparedDarkMask(const FreeImageFunctionTable& functions, FIBITMAP* image, std::uint8_t turns);

// The methods on a page in memory (any depth, turns pending), and on a grey page. The grey page's type
// 2 follows its lines one sample after the other; the dark mask's follows all lines of a candidate at
// once, with the same result.
double straightenType1(const FreeImageFunctionTable& functions, FIBITMAP* image, std::uint8_t turns);
double straightenType2(const FreeImageFunctionTable& functions, FIBITMAP* image, std::uint8_t turns);
double straightenType1(const GreyImage& page);
double straightenType2(const GreyImage& page);
double straightenType2(const DarkMask& page);

// Type 2's lines start this many rows apart.
inline constexpr int LineSpacingRows = 15;

// Where the samples of a type 2 line at angleDeg lie on a page width pixels wide, from the line's
// start (0, y0): sample k (every 10 px along the line) at column columns[k], row y0 + rowOffsets[k].
struct LineSamples
{
    std::vector<int> columns;
    std::vector<int> rowOffsets;
};

LineSamples lineSamples(double angleDeg, int width);

// The scores of type 2's candidates, and whether any kept line met a dark pixel. On the grey page the
// lines are followed one sample after the other, on the dark mask all lines of a candidate at once.
struct CandidateScores
{
    std::vector<std::int64_t> scores;
    bool metDark = false;
};

CandidateScores type2Scores(const GreyImage& page);
CandidateScores type2Scores(const DarkMask& page);

// The angle type 2 gives for its scores: -999.0 when no kept line met a dark pixel, else the plateau
// middle.
double type2Angle(const CandidateScores& scores);

// Bit rows of 64-bit words, bit i of a row at bit i % 64 of its word i / 64.
constexpr std::size_t bitWords(int bits)
{
    return (static_cast<std::size_t>(bits) + 63) / 64;
}

// Writes the bits 0 .. bits - 1 of source in reverse order to target (bitWords(bits) words each):
// target bit bits - 1 - i is source bit i; the bits past the end of target are 0.
void reverseBitRow(const std::uint64_t* source, int bits, std::uint64_t* target);

// Exchanges the rows and columns of a bit matrix: target row c (targetStride words from one to the
// next) gets as bit i bit c of rows[i], for the columns c below columns. The bits of rows past
// columns must be 0. The first bitWords(rows.size()) words of each target row are written.
void transposeBits(
    const std::vector<const std::uint64_t*>& rows,
    int columns,
    std::uint64_t* target,
    std::size_t targetStride);

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
