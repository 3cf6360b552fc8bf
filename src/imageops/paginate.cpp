#include "imageops/paginate.h"

#include "imageops/raster.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace folvex {

namespace {

// Round: to the nearest integer, halves away from zero.
std::int64_t roundAway(double value)
{
    return static_cast<std::int64_t>(std::round(value));
}

// (number × numerator) / denominator rounded to the nearest integer, halves away from zero.
std::int64_t mulDiv(std::int64_t number, std::int64_t numerator, std::int64_t denominator)
{
    const std::int64_t product = number * numerator;
    const std::int64_t half = denominator / 2;
    return product >= 0 ? (product + half) / denominator : -((-product + half) / denominator);
}

std::uint8_t blend(std::uint8_t below, std::uint8_t colour, std::uint32_t coverage)
{
    return static_cast<std::uint8_t>((below * (255U - coverage) + colour * coverage + 127U) / 255U);
}

void blendPixel(BYTE* pixel, const RGBQUAD& colour, std::uint32_t coverage)
{
    if (coverage == 0) {
        return;
    }
    pixel[FI_RGBA_BLUE] = blend(pixel[FI_RGBA_BLUE], colour.rgbBlue, coverage);
    pixel[FI_RGBA_GREEN] = blend(pixel[FI_RGBA_GREEN], colour.rgbGreen, coverage);
    pixel[FI_RGBA_RED] = blend(pixel[FI_RGBA_RED], colour.rgbRed, coverage);
}

// The coverage of the layer at a point of the shown page, bilinear between the mask's pixel centres;
// 0 outside the mask.
double coverageAt(const NumberLayer& layer, double x, double y)
{
    const double mx = x - static_cast<double>(layer.left);
    const double my = y - static_cast<double>(layer.top);
    const double fx = std::floor(mx);
    const double fy = std::floor(my);
    const auto x0 = static_cast<std::int64_t>(fx);
    const auto y0 = static_cast<std::int64_t>(fy);
    const auto sample = [&](std::int64_t sx, std::int64_t sy) -> double {
        if (sx < 0 || sy < 0 || sx >= layer.mask.width || sy >= layer.mask.height) {
            return 0.0;
        }
        return layer.mask.at(static_cast<std::int32_t>(sx), static_cast<std::int32_t>(sy));
    };
    const double wx = mx - fx;
    const double wy = my - fy;
    return (1.0 - wy) * ((1.0 - wx) * sample(x0, y0) + wx * sample(x0 + 1, y0)) +
           wy * ((1.0 - wx) * sample(x0, y0 + 1) + wx * sample(x0 + 1, y0 + 1));
}

// The stored pixel at (x, y) of the page as shown, as a pointer into the 24-bit stored image; null
// for a corner the free angle uncovers or a point outside the page.
BYTE* storedPixel(
    const FreeImageFunctionTable& functions,
    FIBITMAP* stored,
    const PageGeometry& geometry,
    std::int64_t x,
    std::int64_t y)
{
    unsigned storedX = 0;
    unsigned storedY = 0;
    if (x < 0 || y < 0 || x > INT32_MAX || y > INT32_MAX ||
        !geometry.storedPixelOfShown(static_cast<int>(x), static_cast<int>(y), storedX, storedY)) {
        return nullptr;
    }
    return rowFromTop(functions, stored, storedY) + 3 * static_cast<std::size_t>(storedX);
}

} // namespace

std::vector<std::int32_t> PageNumbers(const std::vector<NumberingRow>& rows, bool splitAware)
{
    std::vector<std::int32_t> numbers;
    numbers.reserve(rows.size());
    std::int32_t n = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ++n;
        if (splitAware && i > 0 && rows[i].splitBefore) {
            n = 1;
        }
        numbers.push_back(rows[i].marked ? 0 : n);
    }
    return numbers;
}

std::vector<NumberingRow> numberingRows(const PageOpContext& ctx)
{
    std::vector<NumberingRow> rows;
    const std::int32_t count = std::max(ctx.PageCount(), 0);
    rows.reserve(static_cast<std::size_t>(count));
    for (std::int32_t page = 1; page <= count; ++page) {
        NumberingRow row;
        row.marked = ctx.markedForDeletion(page) || ctx.markedBlank(page);
        row.splitBefore = page > 1 && ctx.splitTogglePressed(page - 1);
        rows.push_back(row);
    }
    return rows;
}

std::string pageNumberText(std::int32_t n)
{
    return "- " + std::to_string(n) + " -";
}

std::int32_t
paginationDpi(const FreeImageFunctionTable& functions, FIBITMAP* image, const std::string& dpiText)
{
    const std::int32_t dpi = PageDpi(functions, image);
    return dpi != 0 ? dpi : fieldNumber(dpiText);
}

NumberSizes numberSizes(std::int32_t dpi)
{
    NumberSizes sizes;
    sizes.bottomMargin = roundAway(dpi * 0.2);
    sizes.rightMargin = sizes.bottomMargin - roundAway(static_cast<double>(sizes.bottomMargin) / 2.0);
    sizes.points = roundAway(dpi * 0.09);
    sizes.pixelHeight = mulDiv(sizes.points, ScreenDpi, 72);
    return sizes;
}

std::optional<NumberLayer> numberLayer(
    const FreeImageFunctionTable& functions,
    FIBITMAP* stored,
    const PageGeometry& geometry,
    std::int32_t n,
    std::int32_t dpi,
    TextRenderer& renderer)
{
    if (dpi <= 0 || stored == nullptr || functions.GetBPP(stored) != 24) {
        return std::nullopt;
    }
    const std::int64_t width = geometry.shownWidth();
    const std::int64_t height = geometry.shownHeight();
    const NumberSizes sizes = numberSizes(dpi);
    // A font taller than the page cannot fit; this also keeps absurd resolutions from the renderer.
    if (sizes.pixelHeight <= 0 || sizes.pixelHeight > height) {
        return std::nullopt;
    }
    const std::string text = pageNumberText(n);
    const auto pixelHeight = static_cast<std::int32_t>(sizes.pixelHeight);
    const TextExtent extent = renderer.measure(text, PageNumberFont, PageNumberWeight, pixelHeight);
    const std::int64_t cx = extent.advance;
    const std::int64_t cy = std::int64_t{extent.ascent} + extent.descent;
    if (cx <= 0 || cy <= 0) {
        return std::nullopt;
    }
    // The sampled box spans x from boxLeft to boxRight and y from textTop to textBottom (ends
    // included); the text lies one text width to its left.
    const std::int64_t boxRight = width - 1 - sizes.rightMargin;
    const std::int64_t boxLeft = boxRight - cx;
    const std::int64_t textBottom = height - 1 - sizes.bottomMargin - cy;
    const std::int64_t textTop = textBottom - cy;
    const std::int64_t textLeft = boxLeft - cx;
    if (textLeft < 0 || textTop < 0 || boxRight >= width || textBottom >= height) {
        return std::nullopt;
    }

    std::uint64_t sums[3] = {0, 0, 0};
    for (std::int64_t y = textTop; y <= textBottom; ++y) {
        for (std::int64_t x = boxLeft; x <= boxRight; ++x) {
            const BYTE* pixel = storedPixel(functions, stored, geometry, x, y);
            sums[0] += pixel != nullptr ? pixel[FI_RGBA_RED] : 255U;
            sums[1] += pixel != nullptr ? pixel[FI_RGBA_GREEN] : 255U;
            sums[2] += pixel != nullptr ? pixel[FI_RGBA_BLUE] : 255U;
        }
    }
    const auto count = static_cast<std::uint64_t>((cx + 1) * (cy + 1));
    const auto contrast = [count](std::uint64_t sum) {
        return static_cast<BYTE>(255U - (2 * sum + count) / (2 * count));
    };

    NumberLayer layer;
    layer.left = textLeft;
    layer.top = textTop;
    layer.colour.rgbRed = contrast(sums[0]);
    layer.colour.rgbGreen = contrast(sums[1]);
    layer.colour.rgbBlue = contrast(sums[2]);
    layer.mask = renderer.render(text, PageNumberFont, PageNumberWeight, pixelHeight);
    if (layer.mask.width <= 0 || layer.mask.height <= 0) {
        return std::nullopt;
    }
    return layer;
}

void blendNumberLayer(
    const FreeImageFunctionTable& functions,
    FIBITMAP* stored,
    const PageGeometry& geometry,
    const NumberLayer& layer)
{
    if (geometry.angle == 0.0) {
        for (std::int32_t my = 0; my < layer.mask.height; ++my) {
            for (std::int32_t mx = 0; mx < layer.mask.width; ++mx) {
                BYTE* pixel = storedPixel(functions, stored, geometry, layer.left + mx, layer.top + my);
                if (pixel != nullptr) {
                    blendPixel(pixel, layer.colour, layer.mask.at(mx, my));
                }
            }
        }
        return;
    }

    // The shown page is the turned page rotated counter-clockwise by the angle about its centre. Each
    // turned pixel near the text looks up where it shows and takes the coverage found there.
    PageGeometry turned = geometry;
    turned.angle = 0.0;
    const std::int64_t width = geometry.shownWidth();
    const std::int64_t height = geometry.shownHeight();
    const double radians = geometry.angle * 3.14159265358979323846 / 180.0;
    const double cosA = std::cos(radians);
    const double sinA = std::sin(radians);
    const double centreX = static_cast<double>(width - 1) / 2.0;
    const double centreY = static_cast<double>(height - 1) / 2.0;
    double minX = 1e300;
    double minY = 1e300;
    double maxX = -1e300;
    double maxY = -1e300;
    for (const double cornerX : {0.0, static_cast<double>(layer.mask.width - 1)}) {
        for (const double cornerY : {0.0, static_cast<double>(layer.mask.height - 1)}) {
            // Shown to turned: the displacement from the centre turned back by the angle.
            const double dx = static_cast<double>(layer.left) + cornerX - centreX;
            const double dy = static_cast<double>(layer.top) + cornerY - centreY;
            const double tx = centreX + dx * cosA - dy * sinA;
            const double ty = centreY + dx * sinA + dy * cosA;
            minX = std::min(minX, tx);
            minY = std::min(minY, ty);
            maxX = std::max(maxX, tx);
            maxY = std::max(maxY, ty);
        }
    }
    const std::int64_t fromX = std::max<std::int64_t>(0, static_cast<std::int64_t>(std::floor(minX)) - 2);
    const std::int64_t fromY = std::max<std::int64_t>(0, static_cast<std::int64_t>(std::floor(minY)) - 2);
    const std::int64_t toX =
        std::min<std::int64_t>(width - 1, static_cast<std::int64_t>(std::ceil(maxX)) + 2);
    const std::int64_t toY =
        std::min<std::int64_t>(height - 1, static_cast<std::int64_t>(std::ceil(maxY)) + 2);
    for (std::int64_t ty = fromY; ty <= toY; ++ty) {
        for (std::int64_t tx = fromX; tx <= toX; ++tx) {
            // Turned to shown: the displacement from the centre turned by the angle.
            const double dx = static_cast<double>(tx) - centreX;
            const double dy = static_cast<double>(ty) - centreY;
            const double x = centreX + dx * cosA + dy * sinA;
            const double y = centreY - dx * sinA + dy * cosA;
            const auto coverage =
                static_cast<std::uint32_t>(std::lround(std::clamp(coverageAt(layer, x, y), 0.0, 255.0)));
            BYTE* pixel = coverage != 0 ? storedPixel(functions, stored, turned, tx, ty) : nullptr;
            if (pixel != nullptr) {
                blendPixel(pixel, layer.colour, coverage);
            }
        }
    }
}

void Paginate(const FreeImageFunctionTable& functions, std::int32_t page, PageOpContext& ctx)
{
    TextRenderer* renderer = ctx.textRenderer();
    if (renderer == nullptr) {
        return;
    }
    const std::vector<std::int32_t> numbers =
        PageNumbers(numberingRows(ctx), destinationTypeSplits(ctx.destinationType()));
    PageOperation operation;
    operation.orientation = PassOrientation::Stored;
    PageOperationFrame(functions, page, ctx, operation, [&](PagePassInput& input) {
        input.save = false;
        if (input.page < 1 || input.page > static_cast<std::int32_t>(numbers.size())) {
            return;
        }
        const std::int32_t dpi = paginationDpi(functions, input.image, ctx.dpiText(input.page));
        const std::optional<NumberLayer> layer = numberLayer(
            functions,
            input.image,
            input.geometry,
            numbers[static_cast<std::size_t>(input.page - 1)],
            dpi,
            *renderer);
        if (!layer) {
            return;
        }
        blendNumberLayer(functions, input.image, input.geometry, *layer);
        input.save = true;
    });
}

} // namespace folvex
