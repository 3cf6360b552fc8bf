#include "pageeditor/thumbnail_build.h"

#include "foundation/blank_page.h"
#include "imageops/raster.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace folvex {

namespace {

// Int of a floating-point value: truncated toward zero.
std::int32_t truncated(double value)
{
    return static_cast<std::int32_t>(value);
}

// A T × T tile of 24 bits in the grid colour.
FreeImageBitmap gridTile(const FreeImageFunctionTable& functions, std::int32_t size)
{
    FreeImageBitmap tile = ownFreeImage(functions, functions.Allocate(size, size, 24, 0, 0, 0));
    if (tile) {
        RGBQUAD colour{GridBlue, GridGreen, GridRed, 0};
        functions.FillBackground(tile.get(), &colour, 0);
    }
    return tile;
}

} // namespace

std::string thumbnailWaitText(std::int32_t position, std::int32_t count)
{
    return "erstelle Thumbnail " + std::to_string(position) + "/" + std::to_string(count);
}

ThumbnailShape thumbnailShape(std::int32_t width, std::int32_t height, std::int32_t thumbnailSize)
{
    const double t = thumbnailSize;
    ThumbnailShape shape{width, height, false, true, 0, 0};
    if (width <= 0 || height <= 0) {
        return shape;
    }
    const bool upright = height >= width;
    const std::int32_t longer = upright ? height : width;
    const std::int32_t shorter = upright ? width : height;
    if (longer > thumbnailSize) {
        shape.rescaled = true;
        if (upright) {
            shape.scaledWidth = std::max(1, truncated(t * width / height));
            shape.scaledHeight = thumbnailSize;
        } else {
            shape.scaledWidth = thumbnailSize;
            shape.scaledHeight = std::max(1, truncated(t * height / width));
        }
        shape.tile = shorter <= thumbnailSize;
    }
    if (shape.tile) {
        shape.pasteLeft = truncated(t / 2 - shape.scaledWidth / 2.0);
        shape.pasteTop = truncated(t / 2 - shape.scaledHeight / 2.0);
    }
    return shape;
}

std::uint8_t lightenedGrey(std::uint8_t value)
{
    const int lighter = value + truncated((255 - value) / 1.5);
    return static_cast<std::uint8_t>(std::min(lighter, 255));
}

std::string pageDpiText(std::int32_t dpi)
{
    return std::to_string(dpi == 0 ? DefaultPageDpi : dpi);
}

std::vector<std::string> thumbnailCaptions(std::int32_t pageCount, const std::vector<bool>& pressed)
{
    const auto isPressed = [&pressed](std::int32_t p) {
        return p >= 1 && static_cast<std::size_t>(p) < pressed.size() && pressed[static_cast<std::size_t>(p)];
    };
    bool split = false;
    for (std::int32_t p = 1; p < pageCount; ++p) {
        split = split || isPressed(p);
    }
    std::vector<std::string> captions(static_cast<std::size_t>(std::max(pageCount, 0)) + 1);
    std::int32_t file = 1;
    std::int32_t inFile = 0;
    for (std::int32_t p = 1; p <= pageCount; ++p) {
        std::string text;
        if (!split) {
            text = "Seite " + std::to_string(p);
        } else {
            if (p > 1 && isPressed(p - 1)) {
                ++file;
                inFile = 1;
            } else {
                ++inFile;
            }
            text = "Datei " + std::to_string(file) + ", Seite " + std::to_string(inFile);
        }
        if (p == pageCount && pageCount >= 2) {
            text += " / Ref.-Bild";
        }
        captions[static_cast<std::size_t>(p)] = std::move(text);
    }
    return captions;
}

FreeImageBitmap makeThumbnailImage(const FreeImageFunctionTable& functions, FIBITMAP* page, std::int32_t size)
{
    if (page == nullptr) {
        return gridTile(functions, size);
    }
    const auto width = static_cast<std::int32_t>(functions.GetWidth(page));
    const auto height = static_cast<std::int32_t>(functions.GetHeight(page));
    const ThumbnailShape shape = thumbnailShape(width, height, size);
    FreeImageBitmap scaled = ownFreeImage(
        functions,
        shape.rescaled ? functions.Rescale(page, shape.scaledWidth, shape.scaledHeight, FILTER_BOX)
                       : functions.Clone(page));
    if (!shape.tile || !scaled) {
        return scaled;
    }
    FreeImageBitmap tile = gridTile(functions, size);
    if (!tile) {
        return tile;
    }
    // The tile has 24 bits; pasting needs the same depth on both sides.
    FreeImageBitmap scaled24;
    FIBITMAP* source = scaled.get();
    if (functions.GetBPP(source) != 24) {
        scaled24 = ownFreeImage(functions, functions.ConvertTo24Bits(source));
        source = scaled24.get();
    }
    if (source != nullptr) {
        functions.Paste(tile.get(), source, shape.pasteLeft, shape.pasteTop, 1000);
    }
    return tile;
}

FreeImageBitmap turnThumbnail(const FreeImageFunctionTable& functions, FIBITMAP* thumbnail, double angleDeg)
{
    return RotateCropWhite(functions, thumbnail, angleDeg);
}

FreeImageBitmap lightenedGreyImage(const FreeImageFunctionTable& functions, FIBITMAP* thumbnail)
{
    FreeImageBitmap grey = ownFreeImage(functions, functions.ConvertToGreyscale(thumbnail));
    if (!grey) {
        return grey;
    }
    const unsigned width = functions.GetWidth(grey.get());
    const unsigned height = functions.GetHeight(grey.get());
    for (unsigned y = 0; y < height; ++y) {
        BYTE* row = rowFromTop(functions, grey.get(), y);
        std::transform(row, row + width, row, lightenedGrey);
    }
    return ownFreeImage(functions, functions.ConvertTo24Bits(grey.get()));
}

ThumbnailResult buildThumbnail(const FreeImageFunctionTable& functions, const ThumbnailJob& job)
{
    ThumbnailResult result;
    const std::string file = pageAsEditedPath(job.pagePath);
    FreeImageBitmap page = ownFreeImage(functions, functions.LoadU(FIF_BMP, file, 0));
    result.loaded = static_cast<bool>(page);
    if (!page) {
        result.image = gridTile(functions, job.thumbnailSize);
        return result;
    }
    if (file == job.pagePath) {
        result.dpiText = pageDpiText(PageDpi(functions, page.get()));
    }
    bool blankMark = job.markedBlank;
    if (job.blankTest) {
        const Handle bitmap = FreeImageToHBitmap(functions, page.get());
        // Only a clear answer 1 is blank: an unreadable bitmap (−1) keeps the page.
        result.blank = bitmap != NoHandle
                       && IsPicBlank(
                              bitmap,
                              static_cast<int>(functions.GetWidth(page.get())),
                              static_cast<int>(functions.GetHeight(page.get())),
                              job.profile.percentage,
                              job.profile.step,
                              job.profile.minColour)
                              == 1;
        FreeHBitmap(bitmap);
        blankMark = result.blank;
    }
    result.image = makeThumbnailImage(functions, page.get(), job.thumbnailSize);
    page.reset();
    if (result.image && job.turns % 4 != 0) {
        if (FreeImageBitmap turned = QuarterTurn(functions, result.image.get(), job.turns % 4)) {
            result.image = std::move(turned);
        }
    }
    if (result.image && job.angleDeg != 0.0) {
        if (FreeImageBitmap turned = turnThumbnail(functions, result.image.get(), job.angleDeg)) {
            result.image = std::move(turned);
        }
    }
    result.marked = job.markedForDeletion || blankMark;
    if (result.image && result.marked) {
        if (FreeImageBitmap grey = lightenedGreyImage(functions, result.image.get())) {
            result.image = std::move(grey);
        }
    }
    return result;
}

} // namespace folvex
