#include "pageeditor/large_view.h"

#include "foundation/freeimage_messages.h"
#include "imageops/raster.h"

#include <algorithm>

namespace folvex {

LargeViewSize
largeViewSize(std::int32_t width, std::int32_t height, std::int32_t screenWidth, std::int32_t screenHeight)
{
    const std::int64_t roomWidth = std::max<std::int64_t>(1, std::int64_t{screenWidth} - LargeViewMarginPx);
    const std::int64_t roomHeight = std::max<std::int64_t>(1, std::int64_t{screenHeight} - LargeViewMarginPx);
    std::int64_t w = std::max(1, width);
    std::int64_t h = std::max(1, height);
    if (h > roomHeight || w > roomWidth) {
        if (h >= w) {
            w = roomHeight * w / h;
            h = roomHeight;
        } else {
            h = roomWidth * h / w;
            w = roomWidth;
        }
        if (w > roomWidth) {
            h = h * roomWidth / w;
            w = roomWidth;
        }
        if (h > roomHeight) {
            w = w * roomHeight / h;
            h = roomHeight;
        }
    }
    return {
        static_cast<std::int32_t>(std::max<std::int64_t>(1, w)),
        static_cast<std::int32_t>(std::max<std::int64_t>(1, h))};
}

std::string largeViewUnreadableNote(std::int32_t page)
{
    return "Seite " + std::to_string(page) + " kann nicht angezeigt werden.";
}

FreeImageBitmap largeViewImage(
    const FreeImageFunctionTable& functions,
    const std::string& pagePath,
    std::uint8_t turns,
    double angleDeg,
    std::int32_t screenWidth,
    std::int32_t screenHeight)
{
    FreeImageBitmap image = loadPageAsEdited(functions, pagePath);
    if (image && turns % 4 != 0) {
        image = QuarterTurn(functions, image.get(), turns % 4);
    }
    if (image && angleDeg != 0.0) {
        image = RotateCropWhite(functions, image.get(), angleDeg);
    }
    if (!image) {
        return {};
    }
    const auto width = static_cast<std::int32_t>(functions.GetWidth(image.get()));
    const auto height = static_cast<std::int32_t>(functions.GetHeight(image.get()));
    const LargeViewSize size = largeViewSize(width, height, screenWidth, screenHeight);
    if (size.width == width && size.height == height) {
        return image;
    }
    return ownFreeImage(functions, functions.Rescale(image.get(), size.width, size.height, FILTER_BOX));
}

std::int32_t ShowPageLarge(
    const FreeImageFunctionTable& functions,
    LargeViewPort& port,
    std::int32_t page,
    std::uint8_t turns,
    const PageTable& lv,
    double angle)
{
    if (page < 1 || page > lv.PageCount()) {
        return 0;
    }
    // The library's messages about the page go into the one note, not into notes of their own.
    FreeImageMessageScope messages;
    const FreeImageBitmap image = largeViewImage(
        functions,
        lv.rows[static_cast<std::size_t>(page - 1)].path,
        turns,
        angle,
        port.screenWidth(),
        port.screenHeight());
    if (image) {
        port.showImage(image.get());
    } else {
        const std::string details = messages.noteText();
        port.showNote(largeViewUnreadableNote(page) + (details.empty() ? "" : "\\n\\n" + details));
    }
    return 0;
}

} // namespace folvex
