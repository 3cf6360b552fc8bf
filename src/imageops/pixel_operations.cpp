#include "imageops/pixel_operations.h"

// All three passes work on the 24-bit working image in its stored orientation, row by row from the top
// through the row access, blue, green and red bytes per pixel; the page's pending turns and angle are
// not applied, so no pass cuts corners or resamples. Where a pass needs a point of the page as the user
// sees it (the white-balance reference), the point is mapped back through the turns and the angle.
//
// De-graying compares each channel with the white point first and the black point second (unsigned,
// fields limited to 0..255). Inversion replaces each byte by 255 minus it.
//
// White balance scales each channel by 255.0 / reference (reference below 1 counted as 1). The product
// is taken exactly and rounded half to even, limited at 255: the factor is a double m * 2^-k with a
// 53-bit m, so m * v (v < 256) fits 61 bits and its rounding is exact in integers. A double multiply
// rounds first and is wrong for about a hundred (reference, v) pairs, e.g. 18 and 9 (127, not 128).
// Each channel gets a 256-entry table per page; the row kernels look many bytes up at once.

#include "imageops/pixel_operations_internal.h"
#include "imageops/raster.h"

#include <algorithm>
#include <cmath>

namespace folvex {

namespace {

constexpr const char* DeGrayPrefix = "entgraue Bild ";
constexpr const char* InvertPrefix = "invertiere Bild ";
constexpr const char* InvertWaitTemplate = "invertiere Bild 000/000 (000%)...";
constexpr const char* WhiteBalancePrefix = "automatischer Weißabgleich Bild ";
constexpr const char* WhiteBalanceWaitTemplate = "automatischer Weißabgleich Bild 000/000 (000%)...";

// Side of the square block white-balance mode 3 averages.
constexpr int ReferenceBlock = 10;

struct Rgb
{
    std::int32_t red = 0;
    std::int32_t green = 0;
    std::int32_t blue = 0;
};

std::uint8_t pointByte(const std::string& text)
{
    return static_cast<std::uint8_t>(std::clamp<std::int32_t>(fieldNumber(text), 0, 255));
}

// The colour of the shown page's pixel (x, y), white where the free angle uncovers a corner.
Rgb shownPixel(const PagePassInput& input, int x, int y)
{
    unsigned storedX = 0;
    unsigned storedY = 0;
    if (!input.geometry.storedPixelOfShown(x, y, storedX, storedY)) {
        return Rgb{255, 255, 255};
    }
    const BYTE* pixel = rowFromTop(input.functions, input.image, storedY) + 3 * storedX;
    return Rgb{pixel[FI_RGBA_RED], pixel[FI_RGBA_GREEN], pixel[FI_RGBA_BLUE]};
}

Rgb whiteBalanceReference(const PagePassInput& input, std::int8_t mode, const PageOpContext& ctx)
{
    const int width = static_cast<int>(input.geometry.shownWidth());
    const int height = static_cast<int>(input.geometry.shownHeight());
    switch (mode) {
        case 1:
            return shownPixel(input, width - 1, height - 1);
        case 2:
            return Rgb{118, 118, 118};
        case 3: {
            // A page smaller than the block averages the part of the block that lies on it.
            std::int64_t sums[3] = {0, 0, 0};
            std::int64_t count = 0;
            for (int y = std::max(0, height - ReferenceBlock); y < height; ++y) {
                for (int x = std::max(0, width - ReferenceBlock); x < width; ++x) {
                    const Rgb colour = shownPixel(input, x, y);
                    sums[0] += colour.red;
                    sums[1] += colour.green;
                    sums[2] += colour.blue;
                    ++count;
                }
            }
            const auto mean = [count](std::int64_t sum) {
                return static_cast<std::int32_t>(
                    std::lround(static_cast<double>(sum) / static_cast<double>(count)));
            };
            return count == 0 ? Rgb{} : Rgb{mean(sums[0]), mean(sums[1]), mean(sums[2])};
        }
        case 4:
            return Rgb{186, 186, 186};
        case 5:
            return Rgb{
                fieldNumber(ctx.whitePointText(PointChannel::Red)),
                fieldNumber(ctx.whitePointText(PointChannel::Green)),
                fieldNumber(ctx.whitePointText(PointChannel::Blue))};
        default:
            return Rgb{};
    }
}

// Visits the rows of the pass's image from the top with its row progress.
template <typename RowFunction>
void forEachRow(PagePassInput& input, RowFunction&& rowFunction)
{
    const unsigned width = input.functions.GetWidth(input.image);
    const unsigned height = input.functions.GetHeight(input.image);
    for (unsigned y = 0; y < height; ++y) {
        input.progress.startRow(y);
        rowFunction(rowFromTop(input.functions, input.image, y), width);
    }
}

// Runs op on the wait window it opens with the template and closes after the pages.
template <typename Operation>
void withOwnWaitWindow(PageOpContext& ctx, const char* waitTemplate, Operation&& operation)
{
    ctx.ui().openWait(waitTemplate);
    operation();
    ctx.ui().closeWait();
}

} // namespace

DeGrayPoints readDeGrayPoints(const PageOpContext& ctx)
{
    return DeGrayPoints{
        pointByte(ctx.whitePointText(PointChannel::Red)),
        pointByte(ctx.whitePointText(PointChannel::Green)),
        pointByte(ctx.whitePointText(PointChannel::Blue)),
        pointByte(ctx.blackPointText(PointChannel::Red)),
        pointByte(ctx.blackPointText(PointChannel::Green)),
        pointByte(ctx.blackPointText(PointChannel::Blue))};
}

void DeGrayPixels(PagePassInput& input, const DeGrayPoints& points)
{
    forEachRow(input, [&points](BYTE* row, unsigned width) { deGrayRow(row, width, points); });
}

void InvertPixels(PagePassInput& input)
{
    forEachRow(input, [](BYTE* row, unsigned width) { invertRow(row, width); });
}

void DeGray(const FreeImageFunctionTable& functions, std::int32_t page, PageOpContext& ctx)
{
    const DeGrayPoints points = readDeGrayPoints(ctx);
    const PageOperation operation{DeGrayPrefix, true, PassOrientation::Stored};
    PageOperationFrame(
        functions, page, ctx, operation, [&points](PagePassInput& input) { DeGrayPixels(input, points); });
}

void InvertPages(const FreeImageFunctionTable& functions, std::int32_t page, PageOpContext& ctx)
{
    withOwnWaitWindow(ctx, InvertWaitTemplate, [&] {
        const PageOperation operation{InvertPrefix, true, PassOrientation::Stored};
        PageOperationFrame(functions, page, ctx, operation, InvertPixels);
    });
}

void AutoWhiteBalance(
    const FreeImageFunctionTable& functions, std::int32_t page, PageOpContext& ctx, std::int8_t mode)
{
    withOwnWaitWindow(ctx, WhiteBalanceWaitTemplate, [&] {
        const PageOperation operation{WhiteBalancePrefix, false, PassOrientation::Stored};
        PageOperationFrame(functions, page, ctx, operation, [&](PagePassInput& input) {
            WhiteBalancePixels(input, mode, ctx);
        });
    });
}

void WhiteBalancePixels(PagePassInput& input, std::int8_t mode, const PageOpContext& ctx)
{
    const Rgb reference = whiteBalanceReference(input, mode, ctx);
    const WhiteBalanceRows rows(
        whiteBalanceTable(reference.red),
        whiteBalanceTable(reference.green),
        whiteBalanceTable(reference.blue));
    if (rows.identity()) {
        // A white reference (255 in every channel) changes no byte: only the progress is shown.
        forEachRow(input, [](BYTE*, unsigned) {});
        return;
    }
    forEachRow(input, [&rows](BYTE* row, unsigned width) { rows.apply(row, width); });
}

std::array<std::uint8_t, 256> whiteBalanceTable(std::int32_t reference)
{
    std::array<std::uint8_t, 256> table{};
    const double factor = 255.0 / static_cast<double>(std::max<std::int32_t>(reference, 1));
    // factor = mantissa / 2^shift exactly, with a 53-bit mantissa; mantissa * v fits in 61 bits.
    int exponent = 0;
    const double fraction = std::frexp(factor, &exponent);
    const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
    const int shift = 53 - exponent;
    if (shift >= 62) {
        // Every product is below 0.5.
        return table;
    }
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    const std::uint64_t below = (std::uint64_t{1} << shift) - 1;
    for (unsigned v = 0; v < 256; ++v) {
        const std::uint64_t product = mantissa * v;
        std::uint64_t rounded = product >> shift;
        const std::uint64_t rest = product & below;
        if (rest > half || (rest == half && (rounded & 1U) != 0)) {
            ++rounded;
        }
        table[v] = static_cast<std::uint8_t>(std::min<std::uint64_t>(rounded, 255));
    }
    return table;
}

} // namespace folvex
