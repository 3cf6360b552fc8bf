#pragma once
// The parts of the straightening methods that tests and the benchmark reach on their own: the grey
// page the methods read, its dark pixels as bits, the analyses on a page in memory and the two
// selection rules.

#include "foundation/freeimage_binding.h"

#include <algorithm>
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

// The dark strip along the left edge of a page (a scanner lid's shadow, a book fold), which both
// methods read as paper: for each row, the first column right of the strip (0 where the row has
// none); empty when the page has no strip. dark(x, y) tells whether a pixel is dark.
//
// A row's strip is a dark run that reaches no further right than an eighth of the width; bright gaps
// narrower than a 100th of the width (a shadow's ragged end) do not end it. It belongs to the strip
// when it starts at the left border, or when its row's neighbour above or below has a strip that it
// overlaps: a strip turned with the page leaves a white wedge at its left in some rows and is found
// there through the rows where it touches the border. A dark run wider than an eighth of the page (a
// dark page, a dark picture at the edge) is no strip.
template <typename DarkAt>
std::vector<int> leftStripEnds(int width, int height, const DarkAt& dark)
{
    const int widest = width / 8;
    const int gap = std::max(1, width / 100);
    // The first bright column after the run that holds the dark pixel x, or -1 when it reaches
    // widest.
    auto runEnd = [&](int y, int x) {
        for (;;) {
            // A run reaching widest is no strip: no need to follow it further.
            while (x < widest && dark(x, y)) {
                ++x;
            }
            if (x >= widest) {
                return -1;
            }
            int next = x;
            while (next < x + gap && next < width && !dark(next, y)) {
                ++next;
            }
            if (next >= x + gap || next >= width) {
                return x;
            }
            x = next;
        }
    };
    std::vector<int> starts;
    std::vector<int> ends;
    for (int y = 0; y < height; ++y) {
        if (width > 0 && dark(0, y)) {
            const int end = runEnd(y, 0);
            if (end > 0) {
                if (ends.empty()) {
                    starts.assign(static_cast<std::size_t>(height), 0);
                    ends.assign(static_cast<std::size_t>(height), 0);
                }
                ends[static_cast<std::size_t>(y)] = end;
            }
        }
    }
    if (ends.empty()) {
        return ends;
    }
    // Row y joins the strip when its first dark run overlaps the strip of row from.
    auto follow = [&](int from, int y) {
        const auto f = static_cast<std::size_t>(from);
        const auto row = static_cast<std::size_t>(y);
        if (ends[f] == 0 || ends[row] != 0) {
            return;
        }
        for (int x = 0; x < ends[f]; ++x) {
            if (dark(x, y)) {
                const int end = runEnd(y, x);
                if (end > starts[f]) {
                    starts[row] = x;
                    ends[row] = end;
                }
                return;
            }
        }
    };
    for (int y = 1; y < height; ++y) {
        follow(y - 1, y);
    }
    for (int y = height - 2; y >= 0; --y) {
        follow(y + 1, y);
    }
    return ends;
}

// Makes the left strip of the page (leftStripEnds) paper: white on the grey page, bright bits in the
// mask. Pages without a strip stay as they are.
void readLeftStripAsPaper(GreyImage& page);
void readLeftStripAsPaper(DarkMask& page);

// The angle bins of type 1: v = -100 .. 100 at index v + 100.
using AngleHistogram = std::array<std::int32_t, 201>;

// The grey levels the methods read from image with turns pending; nullopt for depths they cannot read.
std::optional<GreyImage>
preparedGreyImage(const FreeImageFunctionTable& functions, FIBITMAP* image, std::uint8_t turns);

// The dark pixels of image with turns pending, as the grey page of preparedGreyImage has them; nullopt
// for depths the methods cannot read.
std::optional<DarkMask>
preparedDarkMask(const FreeImageFunctionTable& functions, FIBITMAP* image, std::uint8_t turns);

// The methods on a page in memory (any depth, turns pending), and on a grey page, each reading the
// page's left strip as paper. The grey page's type 2 follows its lines one sample after the other; the
// dark mask's follows all lines of a candidate at once, with the same result.
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
