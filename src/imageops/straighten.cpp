// Automatic straightening.
//
// Both methods read an 8-bit grey page of width W and height H, rows from the top: the page file
// loaded as BMP, its pending clockwise quarter turns applied, and each pixel's grey level as the
// library's 8-bit conversion gives it (0.2126 R + 0.7152 G + 0.0722 B in single precision for 24 and
// 32 bits; indexed pages through their palette, so a 1-bit page with the palette white, black is not
// read as its negative). The turned grey page is never built: type 1 reads the loaded bits through
// the turn's coordinate map, so it costs only the pixels it looks at; type 2, whose samples are many
// and scattered, first reduces the page in one pass over its rows to a bright/dark bit mask in the
// turned orientation (about 1 MB for an A4 page at 300 dpi), which stays in the cache.
//
// Type 1 (left margin): band spacing S = Int(H / 15), band height B = Int(H / 30); in each band the
// leftmost pixel below 170 in the left third of its rows is the band's edge point. Every pair of edge
// points gives an angle from the vertical (LineAngle), rounded to 0.1 degree; the most frequent one
// within ±10 degrees, the lowest on a tie, gives the result. Pages lower than 30 rows have bands of no
// rows and give -999.0 at once. On a clean page with a straight left margin it is exact to the 0.1
// degree step up to ±9.5 degrees; a dark strip along the left edge makes it report 0.0.
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

#include <cmath>
#include <numbers>

namespace folvex {

namespace {

constexpr int DarkBelow = 170;
constexpr int BandsPerPage = 15;
constexpr int LineSpacingRows = 15;
constexpr int SampleSpacingPx = 10;
constexpr double FirstCandidateDeg = -5.0;
constexpr double LastCandidateDeg = 5.0;
constexpr double CandidateStepDeg = 0.1;

// Reads the grey level of source pixel (x0, y0) (from the top) of a loaded image of one depth.
struct PackedReader
{
    const BYTE* bits;
    std::ptrdiff_t pitch;
    unsigned height;
    unsigned bpp; // 1 or 4
    std::array<std::uint8_t, 256> levels;

    std::uint8_t operator()(int x0, int y0) const
    {
        const BYTE* row = bits + pitch * static_cast<std::ptrdiff_t>(height - 1 - static_cast<unsigned>(y0));
        const auto x = static_cast<unsigned>(x0);
        const unsigned index =
            bpp == 1 ? (row[x >> 3] >> (7 - (x & 7))) & 1U : (row[x >> 1] >> ((x & 1) != 0 ? 0 : 4)) & 0x0FU;
        return levels[index];
    }

    // 1 for each bright pixel of source row y0 from firstX0 on, 0 for each dark one.
    void brightRun(int y0, int firstX0, int count, std::uint8_t* out) const
    {
        for (int i = 0; i < count; ++i) {
            out[i] = (*this)(firstX0 + i, y0) >= DarkBelow ? 1 : 0;
        }
    }
};

struct IndexedReader
{
    const BYTE* bits;
    std::ptrdiff_t pitch;
    unsigned height;
    std::array<std::uint8_t, 256> levels;

    std::uint8_t operator()(int x0, int y0) const
    {
        const BYTE* row = bits + pitch * static_cast<std::ptrdiff_t>(height - 1 - static_cast<unsigned>(y0));
        return levels[row[x0]];
    }

    void brightRun(int y0, int firstX0, int count, std::uint8_t* out) const
    {
        const BYTE* row =
            bits + pitch * static_cast<std::ptrdiff_t>(height - 1 - static_cast<unsigned>(y0)) + firstX0;
        for (int i = 0; i < count; ++i) {
            out[i] = levels[row[i]] >= DarkBelow ? 1 : 0;
        }
    }
};

struct ColourReader
{
    const BYTE* bits;
    std::ptrdiff_t pitch;
    unsigned height;
    int bytesPerPixel; // 3 or 4

    std::uint8_t operator()(int x0, int y0) const
    {
        const BYTE* pixel = bits +
                            pitch * static_cast<std::ptrdiff_t>(height - 1 - static_cast<unsigned>(y0)) +
                            static_cast<std::ptrdiff_t>(x0) * bytesPerPixel;
        return greyLevel(pixel[FI_RGBA_RED], pixel[FI_RGBA_GREEN], pixel[FI_RGBA_BLUE]);
    }

    void brightRun(int y0, int firstX0, int count, std::uint8_t* out) const
    {
        // greyLevel(r, g, b) >= 170 decided in integers: 10000 times the grey level before rounding
        // differs from the single-precision sum by far less than Margin, so only colours within a
        // hair of the threshold need the exact formula.
        constexpr int Threshold = (DarkBelow * 10000) - 5000; // the sum + 0.5 reaching 170
        constexpr int Margin = 3;
        const BYTE* row = bits + pitch * static_cast<std::ptrdiff_t>(height - 1 - static_cast<unsigned>(y0)) +
                          static_cast<std::ptrdiff_t>(firstX0) * bytesPerPixel;
        bool nearThreshold = false;
        for (int i = 0; i < count; ++i) {
            const BYTE* pixel = row + static_cast<std::ptrdiff_t>(i) * bytesPerPixel;
            const int weighted =
                2126 * pixel[FI_RGBA_RED] + 7152 * pixel[FI_RGBA_GREEN] + 722 * pixel[FI_RGBA_BLUE];
            out[i] = weighted >= Threshold ? 1 : 0;
            nearThreshold |= weighted > Threshold - Margin && weighted < Threshold + Margin;
        }
        if (!nearThreshold) {
            return;
        }
        for (int i = 0; i < count; ++i) {
            out[i] = (*this)(firstX0 + i, y0) >= DarkBelow ? 1 : 0;
        }
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

    std::vector<EdgePoint> points;
    for (int top = 0; top <= height - bandHeight - 1; top += bandSpacing) {
        std::int32_t edge = -1;
        for (int y = top; y < top + bandHeight; ++y) {
            // Only a pixel left of the edge found so far can move it.
            const int last = edge < 0 ? searchWidth : std::min(searchWidth, static_cast<int>(edge) - 1);
            for (int x = 0; x <= last; ++x) {
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

template <typename View>
double straightenType2Of(const View& page)
{
    const int width = page.width();
    const int height = page.height();
    const std::vector<double> angles = candidateAngles();
    std::vector<std::int64_t> scores(angles.size(), 0);
    int firstRow = 0;
    int lastRow = height - 1;
    bool metDark = false;
    std::vector<int> columns;
    std::vector<int> rowOffsets;
    for (std::size_t c = 0; c < angles.size(); ++c) {
        const double radians = angles[c] * std::numbers::pi / 180.0;
        const double cosine = std::cos(radians);
        const double sine = std::sin(radians);
        // The sample offsets along this candidate's lines, the same for every line.
        columns.clear();
        rowOffsets.clear();
        for (int x = 0; x <= width - 1; x += SampleSpacingPx) {
            columns.push_back(static_cast<int>(x * cosine));
            rowOffsets.push_back(static_cast<int>(x * sine));
        }
        std::int64_t score = 0;
        const int startRow = firstRow;
        bool candidateEnded = false;
        for (int y0 = startRow; y0 <= lastRow && !candidateEnded; y0 += LineSpacingRows) {
            std::int32_t run = 0;
            bool kept = true;
            for (std::size_t sample = 0; sample < columns.size(); ++sample) {
                const int px = columns[sample];
                const int py = y0 + rowOffsets[sample];
                if (py < 0) {
                    kept = false;
                    firstRow += LineSpacingRows;
                    break;
                }
                if (py >= height) {
                    kept = false;
                    lastRow = y0 - LineSpacingRows;
                    candidateEnded = true;
                    break;
                }
                if (page.at(px, py) < DarkBelow) {
                    metDark = true;
                    break;
                }
                ++run;
            }
            if (kept) {
                score += run;
            }
        }
        scores[c] = score;
    }
    if (!metDark) {
        return NoStraightenAngle;
    }
    return selectPlateauMiddle(angles, scores);
}

// Which pixels of the page with its pending turns are bright (170 and above), one bit each, so that
// the many scattered samples of type 2 stay in the cache. The bits are kept in the source's
// orientation and worked out 512 source pixels of a row at a time (long enough for the memory's
// read-ahead) when a sample first needs them: a page whose lines soon meet its text costs only the
// part they cross, a blank page one pass.
template <typename Reader>
class BrightMask
{
public:
    BrightMask(const Reader& reader, int sourceWidth, int sourceHeight, int turns)
        : m_reader(reader)
        , m_sourceWidth(sourceWidth)
        , m_map(sourceWidth, sourceHeight, turns)
    {
        m_wordsPerRow = (static_cast<std::size_t>(sourceWidth) + 63) / 64;
        m_bits.assign(m_wordsPerRow * static_cast<std::size_t>(sourceHeight), 0);
        m_piecesPerRow = (static_cast<std::size_t>(sourceWidth) + PiecePx - 1) / PiecePx;
        m_known.assign(m_piecesPerRow * static_cast<std::size_t>(sourceHeight), 0);
    }

    int width() const { return m_map.width; }

    int height() const { return m_map.height; }

    // 255 for a bright pixel, 0 for a dark one.
    std::uint8_t at(int x, int y) const
    {
        const int x0 = m_map.sourceX(x, y);
        const int y0 = m_map.sourceY(x, y);
        const std::size_t rowStart = static_cast<std::size_t>(y0) * m_wordsPerRow;
        const std::size_t index = rowStart + static_cast<std::size_t>(x0) / 64;
        const std::size_t pieceInRow = static_cast<std::size_t>(x0) / PiecePx;
        std::uint8_t& known = m_known[static_cast<std::size_t>(y0) * m_piecesPerRow + pieceInRow];
        if (known == 0) {
            fill(rowStart + pieceInRow * WordsPerPiece, x0 - x0 % PiecePx, y0);
            known = 1;
        }
        return ((m_bits[index] >> (x0 % 64)) & 1U) != 0 ? 255 : 0;
    }

private:
    // Works out the words of one piece of source row y0, the first of them at index.
    void fill(std::size_t index, int firstX0, int y0) const
    {
        std::array<std::uint8_t, PiecePx> bright{};
        const int count = std::min(PiecePx, m_sourceWidth - firstX0);
        m_reader.brightRun(y0, firstX0, count, bright.data());
        for (int i = 0; i < count; ++i) {
            m_bits[index + static_cast<std::size_t>(i) / 64] |=
                std::uint64_t{bright[static_cast<std::size_t>(i)]} << (i % 64);
        }
    }

    static constexpr int PiecePx = 512;
    static constexpr std::size_t WordsPerPiece = PiecePx / 64;

    Reader m_reader;
    int m_sourceWidth = 0;
    TurnMap m_map;
    std::size_t m_wordsPerRow = 0;
    std::size_t m_piecesPerRow = 0;
    // A cache filled while the analysis reads.
    mutable std::vector<std::uint64_t> m_bits;
    mutable std::vector<std::uint8_t> m_known;
};

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
                    bits, pitch, rows, functions.GetBPP(source), paletteGreyLevels(functions, source)},
                width,
                height);
        case 8:
            return analyse(
                IndexedReader{bits, pitch, rows, paletteGreyLevels(functions, source)}, width, height);
        case 24:
            return analyse(ColourReader{bits, pitch, rows, 3}, width, height);
        case 32:
            return analyse(ColourReader{bits, pitch, rows, 4}, width, height);
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
            return straightenType2Of(BrightMask(reader, width, height, turns % 4));
        },
        NoStraightenAngle);
}

double straightenType1(const GreyImage& page)
{
    return straightenType1Of(GreyView(page));
}

double straightenType2(const GreyImage& page)
{
    return straightenType2Of(GreyView(page));
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
