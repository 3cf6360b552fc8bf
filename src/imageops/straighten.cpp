// Automatic straightening.
//
// Both methods read an 8-bit grey page of width W and height H, rows from the top: the page file
// loaded as BMP, its pending clockwise quarter turns applied, and each pixel's grey level as the
// library's 8-bit conversion gives it (0.2126 R + 0.7152 G + 0.0722 B in single precision for 24 and
// 32 bits; indexed pages through their palette, so a 1-bit page with the palette white, black is not
// read as its negative). The turned grey page is never built: type 1 reads the loaded bits through
// the turn's coordinate map, so it costs only the pixels it looks at; type 2, whose samples are many
// and scattered, reduces the page in one pass over its rows to its dark pixels as bits in the turned
// orientation (about 1 MB for an A4 page at 300 dpi; groups of pixels whose channels all lie on one
// side of the threshold are settled without the formula) and follows its lines on those bits.
//
// A dark strip along the left edge (the shadow of a scanner lid or a book fold) is not the text's
// edge, so both methods read it as paper. In each row the strip is a dark run, bright gaps narrower
// than W / 100 bridged (a shadow's ragged end, dark at the border and brightening towards the paper),
// that ends within the left W / 8 and either starts at the left border or overlaps the strip of the
// row above or below (a strip turned with the page, which leaves a white wedge at its left where it
// comes away from the border). A dark run reaching further is no strip (a black page stays black).
// Type 1 thus searches each row from the first column after its strip, and type 2's lines run
// through the strip as through the margin it covers, their first dark sample being the text's. A
// page without a dark pixel in its left column has no strip and costs one read per row more.
//
// Type 1 (left margin): band spacing S = Int(H / 15), band height B = Int(H / 30); in each band the
// leftmost pixel below 170 in the left third of its rows is the band's edge point. Every pair of edge
// points gives an angle from the vertical (LineAngle), rounded to 0.1 degree; the most frequent one
// within ±10 degrees, the lowest on a tie, gives the result. Pages lower than 30 rows have bands of no
// rows and give -999.0 at once. On a clean page with a straight left margin it is exact to the 0.1
// degree step up to ±9.5 degrees.
//
// Type 2 (bright runs): for 101 candidates from -5.0 to 5.0 degrees in steps of 0.1, lines start at
// the left edge every 15 rows and are sampled every 10 pixels along the candidate's direction; a line
// scores the bright samples (170 and above) before its first dark one. Lines leaving the page at the
// top narrow the start rows of later candidates, a line leaving at the bottom ends the candidate and
// the later ones above it. The best total score wins; a plateau of equal scores gives its middle. On
// a clean page it is within one candidate step up to ±4.9 degrees; beyond ±5 it answers at most ±5.
// A page on which no kept line met a dark pixel (a blank page) has nothing to measure: its scores
// depend on the page size alone, so it gives -999.0 instead of a size-made angle.

#include "imageops/straighten.h"

#include "imageops/raster.h"
#include "imageops/straighten_internal.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <utility>

namespace folvex {

namespace {

constexpr int DarkBelow = 170;
constexpr int BandsPerPage = 15;
constexpr int SampleSpacingPx = 10;
constexpr double FirstCandidateDeg = -5.0;
constexpr double LastCandidateDeg = 5.0;
constexpr double CandidateStepDeg = 0.1;

// The readers below give the grey level of source pixel (x0, y0) (rows from the top) of a loaded
// image of one depth, and the dark bits of a whole source row (darkRow: bitWords(width) words, the
// bits past the width 0).

// The source row y0 (from the top) of bottom-up bits.
const BYTE* sourceRow(const BYTE* bits, std::ptrdiff_t pitch, unsigned height, int y0)
{
    return bits + pitch * static_cast<std::ptrdiff_t>(height - 1 - static_cast<unsigned>(y0));
}

// Each byte with its bits in reverse order.
constexpr std::array<std::uint8_t, 256> ReversedBytes = [] {
    std::array<std::uint8_t, 256> reversed{};
    for (unsigned value = 0; value < 256; ++value) {
        unsigned bits = 0;
        for (unsigned bit = 0; bit < 8; ++bit) {
            bits |= ((value >> bit) & 1U) << (7 - bit);
        }
        reversed[value] = static_cast<std::uint8_t>(bits);
    }
    return reversed;
}();

// 1 and 4 bits with palette.
struct PackedReader
{
    const BYTE* bits;
    std::ptrdiff_t pitch;
    unsigned height;
    int width;
    unsigned bpp; // 1 or 4
    std::array<std::uint8_t, 256> levels;

    std::uint8_t operator()(int x0, int y0) const
    {
        const BYTE* row = sourceRow(bits, pitch, height, y0);
        const auto x = static_cast<unsigned>(x0);
        const unsigned index =
            bpp == 1 ? (row[x >> 3] >> (7 - (x & 7))) & 1U : (row[x >> 1] >> ((x & 1) != 0 ? 0 : 4)) & 0x0FU;
        return levels[index];
    }

    void darkRow(int y0, std::uint64_t* out) const
    {
        const std::size_t words = bitWords(width);
        std::fill_n(out, words, 0);
        if (bpp == 4) {
            for (int x = 0; x < width; ++x) {
                out[x / 64] |= std::uint64_t{(*this)(x, y0) < DarkBelow} << (x % 64);
            }
            return;
        }
        // Eight pixels a byte, the leftmost in its highest bit.
        const BYTE* row = sourceRow(bits, pitch, height, y0);
        const unsigned darkOnes = levels[1] < DarkBelow ? 0xFFU : 0U;
        const unsigned darkZeros = levels[0] < DarkBelow ? 0xFFU : 0U;
        for (int i = 0; i < (width + 7) / 8; ++i) {
            const unsigned value = row[i];
            const unsigned dark = (value & darkOnes) | (~value & darkZeros);
            out[i / 8] |= std::uint64_t{ReversedBytes[dark & 0xFFU]} << (8 * (i % 8));
        }
        if (width % 64 != 0) {
            out[words - 1] &= (std::uint64_t{1} << (width % 64)) - 1;
        }
    }
};

// 8 bits with any palette.
struct IndexedReader
{
    const BYTE* bits;
    std::ptrdiff_t pitch;
    unsigned height;
    int width;
    std::array<std::uint8_t, 256> levels;

    std::uint8_t operator()(int x0, int y0) const { return levels[sourceRow(bits, pitch, height, y0)[x0]]; }

    void darkRow(int y0, std::uint64_t* out) const
    {
        const BYTE* row = sourceRow(bits, pitch, height, y0);
        for (int x = 0; x < width; x += 64) {
            std::uint64_t word = 0;
            const int count = std::min(64, width - x);
            for (int i = 0; i < count; ++i) {
                word |= std::uint64_t{levels[row[x + i]] < DarkBelow} << i;
            }
            out[x / 64] = word;
        }
    }
};

// Bytes that are their own grey levels (8 bits with the grey ramp as palette; BytesPerPixel 1) and 24
// or 32 bits (3, 4). A group of pixels whose channels all lie on one side of the threshold is settled
// at once: the grey level never lies below the smallest channel or above the largest, so 170 in
// every channel is bright, below 170 in every channel dark.
template <int BytesPerPixel>
struct DirectReader
{
    const BYTE* bits;
    std::ptrdiff_t pitch;
    unsigned height;
    int width;

    std::uint8_t operator()(int x0, int y0) const
    {
        const BYTE* pixel =
            sourceRow(bits, pitch, height, y0) + static_cast<std::ptrdiff_t>(x0) * BytesPerPixel;
        if constexpr (BytesPerPixel == 1) {
            return pixel[0];
        } else {
            return greyLevel(pixel[FI_RGBA_RED], pixel[FI_RGBA_GREEN], pixel[FI_RGBA_BLUE]);
        }
    }

    void darkRow(int y0, std::uint64_t* out) const
    {
        const BYTE* row = sourceRow(bits, pitch, height, y0);
        for (int x = 0; x < width; x += 64) {
            out[x / 64] =
                darkWord(row + static_cast<std::ptrdiff_t>(x) * BytesPerPixel, std::min(64, width - x));
        }
    }

    static bool darkPixel(const BYTE* pixel)
    {
        if constexpr (BytesPerPixel == 1) {
            return pixel[0] < DarkBelow;
        } else {
            // 10000 times the grey level before rounding, in integers: it differs from the
            // single-precision sum by far less than Margin, so only colours within a hair of the
            // threshold need the exact formula.
            constexpr int Threshold = (DarkBelow * 10000) - 5000; // the sum + 0.5 reaching 170
            constexpr int Margin = 3;
            const int weighted =
                2126 * pixel[FI_RGBA_RED] + 7152 * pixel[FI_RGBA_GREEN] + 722 * pixel[FI_RGBA_BLUE];
            if (weighted <= Threshold - Margin || weighted >= Threshold + Margin) {
                return weighted < Threshold;
            }
            return greyLevel(pixel[FI_RGBA_RED], pixel[FI_RGBA_GREEN], pixel[FI_RGBA_BLUE]) < DarkBelow;
        }
    }

    // The smallest and the largest channel byte of Pixels pixels.
    template <int Pixels>
    static std::pair<BYTE, BYTE> channelRange(const BYTE* first)
    {
        BYTE low = 255;
        BYTE high = 0;
        for (int i = 0; i < Pixels * BytesPerPixel; ++i) {
            const bool alpha = BytesPerPixel == 4 && i % 4 == FI_RGBA_ALPHA;
            low = std::min(low, alpha ? BYTE{255} : first[i]);
            high = std::max(high, alpha ? BYTE{0} : first[i]);
        }
        return {low, high};
    }

    // The dark bits of count (at most 64) pixels from first.
    static std::uint64_t darkWord(const BYTE* first, int count)
    {
        if (count == 64) {
            const auto [low, high] = channelRange<64>(first);
            if (low >= DarkBelow) {
                return 0;
            }
            if (high < DarkBelow) {
                return ~std::uint64_t{0};
            }
        }
        std::uint64_t word = 0;
        for (int i = 0; i < count; i += 8) {
            const BYTE* group = first + static_cast<std::ptrdiff_t>(i) * BytesPerPixel;
            const int pixels = std::min(8, count - i);
            if (pixels == 8) {
                const auto [low, high] = channelRange<8>(group);
                if (low >= DarkBelow) {
                    continue;
                }
                if (high < DarkBelow) {
                    word |= std::uint64_t{0xFF} << i;
                    continue;
                }
            }
            for (int m = 0; m < pixels; ++m) {
                word |= std::uint64_t{darkPixel(group + static_cast<std::ptrdiff_t>(m) * BytesPerPixel)}
                        << (i + m);
            }
        }
        return word;
    }
};

// Where pixel (x, y) of the page turned clockwise by turns quarter turns lies on the source page,
// both counted from the top: x0 = cx + x * xx + y * xy, y0 = cy + x * yx + y * yy.
struct TurnMap
{
    TurnMap(int sourceWidth, int sourceHeight, int turns)
    {
        const bool odd = turns % 2 == 1;
        width = odd ? sourceHeight : sourceWidth;
        height = odd ? sourceWidth : sourceHeight;
        switch (turns) {
            case 1:
                cx = 0, xx = 0, xy = 1, cy = sourceHeight - 1, yx = -1, yy = 0;
                break;
            case 2:
                cx = sourceWidth - 1, xx = -1, xy = 0, cy = sourceHeight - 1, yx = 0, yy = -1;
                break;
            case 3:
                cx = sourceWidth - 1, xx = 0, xy = -1, cy = 0, yx = 1, yy = 0;
                break;
            default:
                break;
        }
    }

    int sourceX(int x, int y) const { return cx + x * xx + y * xy; }

    int sourceY(int x, int y) const { return cy + x * yx + y * yy; }

    // The turned page's size.
    int width = 0;
    int height = 0;
    int cx = 0;
    int xx = 1;
    int xy = 0;
    int cy = 0;
    int yx = 0;
    int yy = 1;
};

// The page with its pending turns as the methods see it: pixel (x, y) of the turned page, from the
// top, read from the untouched source through the turn's coordinate map.
template <typename Reader>
class TurnedView
{
public:
    TurnedView(Reader reader, int sourceWidth, int sourceHeight, int turns)
        : m_reader(reader)
        , m_map(sourceWidth, sourceHeight, turns)
    {}

    int width() const { return m_map.width; }

    int height() const { return m_map.height; }

    std::uint8_t at(int x, int y) const { return m_reader(m_map.sourceX(x, y), m_map.sourceY(x, y)); }

private:
    Reader m_reader;
    TurnMap m_map;
};

// A grey page read as it is.
class GreyView
{
public:
    explicit GreyView(const GreyImage& image)
        : m_image(image)
    {}

    int width() const { return m_image.width; }

    int height() const { return m_image.height; }

    std::uint8_t at(int x, int y) const { return m_image.at(x, y); }

private:
    const GreyImage& m_image;
};

template <typename View>
double straightenType1Of(const View& page)
{
    const int width = page.width();
    const int height = page.height();
    const int bandHeight = static_cast<int>(height / static_cast<double>(BandsPerPage) / 2.0);
    if (bandHeight < 1) {
        return NoStraightenAngle;
    }
    const int bandSpacing = static_cast<int>(height / static_cast<double>(BandsPerPage));
    const int searchWidth = static_cast<int>((width - 1) / 3.0);

    struct EdgePoint
    {
        std::int32_t x;
        std::int32_t y;
    };

    const std::vector<int> strip =
        leftStripEnds(width, height, [&page](int x, int y) { return page.at(x, y) < DarkBelow; });
    std::vector<EdgePoint> points;
    for (int top = 0; top <= height - bandHeight - 1; top += bandSpacing) {
        std::int32_t edge = -1;
        for (int y = top; y < top + bandHeight; ++y) {
            // Only a pixel left of the edge found so far can move it.
            const int last = edge < 0 ? searchWidth : std::min(searchWidth, static_cast<int>(edge) - 1);
            const int first = strip.empty() ? 0 : strip[static_cast<std::size_t>(y)];
            for (int x = first; x <= last; ++x) {
                if (page.at(x, y) < DarkBelow) {
                    edge = x;
                    break;
                }
            }
        }
        if (edge >= 0) {
            points.push_back({edge, top + bandHeight - bandHeight / 2});
        }
    }

    AngleHistogram histogram{};
    for (std::size_t i = 0; i < points.size(); ++i) {
        for (std::size_t m = i + 1; m < points.size(); ++m) {
            const double angle = LineAngle(points[i].x, points[i].y, points[m].x, points[m].y);
            const double v = std::round(angle * 10.0);
            if (v >= -100.0 && v <= 100.0) {
                ++histogram[static_cast<std::size_t>(static_cast<int>(v) + 100)];
            }
        }
    }
    return selectHistogramMode(histogram);
}

// The dark bits of the page with its pending turns. The source rows are read in their order; a half
// turn reverses the rows and the bits within them, a quarter turn one of the two, and then exchanges
// rows and columns.
template <typename Reader>
DarkMask turnedDarkMask(const Reader& reader, int sourceWidth, int sourceHeight, int turns)
{
    const bool reverseRows = turns == 1 || turns == 2;
    const bool reverseBits = turns == 2 || turns == 3;
    DarkMask upright;
    upright.width = sourceWidth;
    upright.height = sourceHeight;
    upright.wordsPerRow = bitWords(sourceWidth);
    upright.words.resize(upright.wordsPerRow * static_cast<std::size_t>(sourceHeight));
    std::vector<std::uint64_t> row(reverseBits ? upright.wordsPerRow : 0);
    for (int y0 = 0; y0 < sourceHeight; ++y0) {
        const int y = reverseRows ? sourceHeight - 1 - y0 : y0;
        std::uint64_t* target = &upright.words[static_cast<std::size_t>(y) * upright.wordsPerRow];
        if (reverseBits) {
            reader.darkRow(y0, row.data());
            reverseBitRow(row.data(), sourceWidth, target);
        } else {
            reader.darkRow(y0, target);
        }
    }
    if (turns % 2 == 0) {
        return upright;
    }
    DarkMask turned;
    turned.width = sourceHeight;
    turned.height = sourceWidth;
    turned.wordsPerRow = bitWords(sourceHeight);
    turned.words.resize(turned.wordsPerRow * static_cast<std::size_t>(sourceWidth));
    std::vector<const std::uint64_t*> rows;
    rows.reserve(static_cast<std::size_t>(sourceHeight));
    for (int y = 0; y < sourceHeight; ++y) {
        rows.push_back(&upright.words[static_cast<std::size_t>(y) * upright.wordsPerRow]);
    }
    transposeBits(rows, sourceWidth, turned.words.data(), turned.wordsPerRow);
    return turned;
}

// Runs analyse(reader, width, height) with the grey-level reader of the loaded image; the result of
// none for images the methods cannot read. A 16-bit page is read through the library's 8-bit
// conversion.
template <typename Result, typename Analyse>
Result
withSourceReader(const FreeImageFunctionTable& functions, FIBITMAP* image, Analyse analyse, Result none)
{
    if (image == nullptr || functions.GetImageType(image) != FIT_BITMAP) {
        return none;
    }
    FreeImageBitmap grey = ownFreeImage(functions, nullptr);
    FIBITMAP* source = image;
    if (functions.GetBPP(image) == 16) {
        grey.reset(functions.ConvertTo8Bits(image));
        source = grey.get();
        if (source == nullptr) {
            return none;
        }
    }
    const int width = static_cast<int>(functions.GetWidth(source));
    const int height = static_cast<int>(functions.GetHeight(source));
    const BYTE* bits = functions.GetBits(source);
    const auto pitch = static_cast<std::ptrdiff_t>(functions.GetPitch(source));
    const auto rows = static_cast<unsigned>(height);
    switch (functions.GetBPP(source)) {
        case 1:
        case 4:
            return analyse(
                PackedReader{
                    bits, pitch, rows, width, functions.GetBPP(source), paletteGreyLevels(functions, source)},
                width,
                height);
        case 8: {
            const std::array<std::uint8_t, 256> levels = paletteGreyLevels(functions, source);
            bool greyRamp = true;
            for (std::size_t i = 0; i < levels.size(); ++i) {
                greyRamp = greyRamp && levels[i] == i;
            }
            if (greyRamp) {
                return analyse(DirectReader<1>{bits, pitch, rows, width}, width, height);
            }
            return analyse(IndexedReader{bits, pitch, rows, width, levels}, width, height);
        }
        case 24:
            return analyse(DirectReader<3>{bits, pitch, rows, width}, width, height);
        case 32:
            return analyse(DirectReader<4>{bits, pitch, rows, width}, width, height);
        default:
            return none;
    }
}

} // namespace

double LineAngle(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2)
{
    return std::atan2(static_cast<double>(x2 - x1), static_cast<double>(y2 - y1)) * 180.0 / std::numbers::pi;
}

double selectHistogramMode(const AngleHistogram& histogram)
{
    std::size_t best = 0;
    for (std::size_t i = 1; i < histogram.size(); ++i) {
        if (histogram[i] > histogram[best]) {
            best = i;
        }
    }
    if (histogram[best] <= 0) {
        return NoStraightenAngle;
    }
    const int v = static_cast<int>(best) - 100;
    return static_cast<double>(-v) / 10.0;
}

std::vector<double> candidateAngles()
{
    std::vector<double> angles;
    for (double angle = FirstCandidateDeg; angle <= LastCandidateDeg; angle += CandidateStepDeg) {
        angles.push_back(angle);
    }
    return angles;
}

double selectPlateauMiddle(const std::vector<double>& angles, const std::vector<std::int64_t>& scores)
{
    std::int64_t bestScore = 0;
    std::size_t bestIndex = 0; // 1-based; 0 = none
    std::size_t tieIndex = 0;
    double result = NoStraightenAngle;
    for (std::size_t i = 1; i <= scores.size() && i <= angles.size(); ++i) {
        const std::int64_t score = scores[i - 1];
        if (score > bestScore) {
            bestScore = score;
            bestIndex = i;
            tieIndex = 0;
            result = angles[i - 1];
        } else if (score == bestScore) {
            tieIndex = i;
        } else {
            if (tieIndex > 0 && bestIndex > 0) {
                result = angles[bestIndex + (tieIndex - bestIndex) / 2 - 1];
            }
            tieIndex = 0;
        }
    }
    return result;
}

std::optional<GreyImage>
preparedGreyImage(const FreeImageFunctionTable& functions, FIBITMAP* image, std::uint8_t turns)
{
    return withSourceReader(
        functions,
        image,
        [turns](const auto& reader, int width, int height) -> std::optional<GreyImage> {
            const TurnedView view(reader, width, height, turns % 4);
            GreyImage grey;
            grey.width = view.width();
            grey.height = view.height();
            grey.levels.reserve(static_cast<std::size_t>(grey.width) * static_cast<std::size_t>(grey.height));
            for (int y = 0; y < grey.height; ++y) {
                for (int x = 0; x < grey.width; ++x) {
                    grey.levels.push_back(view.at(x, y));
                }
            }
            return grey;
        },
        std::optional<GreyImage>{});
}

std::optional<DarkMask>
preparedDarkMask(const FreeImageFunctionTable& functions, FIBITMAP* image, std::uint8_t turns)
{
    return withSourceReader(
        functions,
        image,
        [turns](const auto& reader, int width, int height) -> std::optional<DarkMask> {
            return turnedDarkMask(reader, width, height, turns % 4);
        },
        std::optional<DarkMask>{});
}

double straightenType1(const FreeImageFunctionTable& functions, FIBITMAP* image, std::uint8_t turns)
{
    return withSourceReader(
        functions,
        image,
        [turns](const auto& reader, int width, int height) {
            return straightenType1Of(TurnedView(reader, width, height, turns % 4));
        },
        NoStraightenAngle);
}

double straightenType2(const FreeImageFunctionTable& functions, FIBITMAP* image, std::uint8_t turns)
{
    return withSourceReader(
        functions,
        image,
        [turns](const auto& reader, int width, int height) {
            DarkMask mask = turnedDarkMask(reader, width, height, turns % 4);
            readLeftStripAsPaper(mask);
            return type2Angle(type2Scores(mask));
        },
        NoStraightenAngle);
}

double straightenType1(const GreyImage& page)
{
    return straightenType1Of(GreyView(page));
}

LineSamples lineSamples(double angleDeg, int width)
{
    const double radians = angleDeg * std::numbers::pi / 180.0;
    const double cosine = std::cos(radians);
    const double sine = std::sin(radians);
    LineSamples samples;
    for (int x = 0; x <= width - 1; x += SampleSpacingPx) {
        samples.columns.push_back(static_cast<int>(x * cosine));
        samples.rowOffsets.push_back(static_cast<int>(x * sine));
    }
    return samples;
}

CandidateScores type2Scores(const GreyImage& page)
{
    const std::vector<double> angles = candidateAngles();
    CandidateScores result;
    result.scores.assign(angles.size(), 0);
    int firstRow = 0;
    int lastRow = page.height - 1;
    for (std::size_t c = 0; c < angles.size(); ++c) {
        const LineSamples samples = lineSamples(angles[c], page.width);
        std::int64_t score = 0;
        const int startRow = firstRow;
        bool candidateEnded = false;
        for (int y0 = startRow; y0 <= lastRow && !candidateEnded; y0 += LineSpacingRows) {
            std::int32_t run = 0;
            bool kept = true;
            for (std::size_t sample = 0; sample < samples.columns.size(); ++sample) {
                const int px = samples.columns[sample];
                const int py = y0 + samples.rowOffsets[sample];
                if (py < 0) {
                    kept = false;
                    firstRow += LineSpacingRows;
                    break;
                }
                if (py >= page.height) {
                    kept = false;
                    lastRow = y0 - LineSpacingRows;
                    candidateEnded = true;
                    break;
                }
                if (page.at(px, py) < DarkBelow) {
                    result.metDark = true;
                    break;
                }
                ++run;
            }
            if (kept) {
                score += run;
            }
        }
        result.scores[c] = score;
    }
    return result;
}

double type2Angle(const CandidateScores& scores)
{
    if (!scores.metDark) {
        return NoStraightenAngle;
    }
    return selectPlateauMiddle(candidateAngles(), scores.scores);
}

void readLeftStripAsPaper(GreyImage& page)
{
    const std::vector<int> strip =
        leftStripEnds(page.width, page.height, [&page](int x, int y) { return page.at(x, y) < DarkBelow; });
    for (std::size_t y = 0; y < strip.size(); ++y) {
        std::fill_n(
            page.levels.begin() + static_cast<std::ptrdiff_t>(y * static_cast<std::size_t>(page.width)),
            strip[y],
            std::uint8_t{255});
    }
}

void readLeftStripAsPaper(DarkMask& page)
{
    const std::vector<int> strip =
        leftStripEnds(page.width, page.height, [&page](int x, int y) { return page.dark(x, y); });
    for (std::size_t y = 0; y < strip.size(); ++y) {
        std::uint64_t* row = &page.words[y * page.wordsPerRow];
        const auto end = static_cast<std::size_t>(strip[y]);
        std::fill_n(row, end / 64, std::uint64_t{0});
        if (end % 64 != 0) {
            row[end / 64] &= ~((std::uint64_t{1} << (end % 64)) - 1);
        }
    }
}

double straightenType2(const GreyImage& page)
{
    GreyImage paper = page;
    readLeftStripAsPaper(paper);
    return type2Angle(type2Scores(paper));
}

double AutoStraightenType1(
    const FreeImageFunctionTable& functions,
    std::int32_t /*page*/,
    const std::string& file,
    std::uint8_t turns,
    double /*noAngle*/)
{
    const FreeImageBitmap image = ownFreeImage(functions, functions.LoadU(FIF_BMP, file, 0));
    return straightenType1(functions, image.get(), turns);
}

double AutoStraightenType2(
    const FreeImageFunctionTable& functions,
    std::int32_t /*page*/,
    const std::string& file,
    std::uint8_t turns)
{
    const FreeImageBitmap image = ownFreeImage(functions, functions.LoadU(FIF_BMP, file, 0));
    return straightenType2(functions, image.get(), turns);
}

} // namespace folvex
