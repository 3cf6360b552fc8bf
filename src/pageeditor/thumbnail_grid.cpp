#include "pageeditor/thumbnail_grid.h"

#include <algorithm>

namespace folvex {

namespace {

// Grid walks compute in 64 bits: a pointer far outside or a huge thumbnail edge must not overflow.
std::int64_t pitchX(std::int32_t thumbnailSize)
{
    return std::int64_t{thumbnailSize} + GridGapXPx;
}

std::int64_t pitchY(std::int32_t thumbnailSize)
{
    return std::int64_t{thumbnailSize} + GridGapYPx;
}

std::int32_t clampToInt32(std::int64_t value)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

} // namespace

std::int32_t GridColumns(std::int32_t clientWidth, std::int32_t thumbnailSize)
{
    const std::int64_t room = std::int64_t{clientWidth} - ScrollBarAllowancePx - GridGapXPx;
    const std::int64_t pitch = pitchX(thumbnailSize);
    if (room <= 0 || pitch <= 0) {
        return 0;
    }
    return clampToInt32(room / pitch);
}

std::int32_t ThumbnailGrid::rows() const
{
    if (PageCount <= 0 || GridColumns <= 0) {
        return 0;
    }
    return (PageCount - 1) / GridColumns + 1;
}

std::int32_t ThumbnailGrid::innerHeight() const
{
    return clampToInt32(GridGapYPx + rows() * pitchY(ThumbnailSize));
}

GridRect ThumbnailGrid::cell(std::int32_t position) const
{
    const std::int32_t columns = std::max(GridColumns, 1);
    const std::int64_t index = std::int64_t{position} - 1;
    const std::int64_t column = index % columns;
    const std::int64_t row = index / columns;
    return {
        clampToInt32(GridGapXPx + column * pitchX(ThumbnailSize)),
        clampToInt32(GridGapYPx + row * pitchY(ThumbnailSize)),
        ThumbnailSize,
        ThumbnailSize};
}

GridRect
ThumbnailGrid::thumbnailButton(std::int32_t position, std::int32_t imageWidth, std::int32_t imageHeight) const
{
    const GridRect place = cell(position);
    if (imageHeight >= imageWidth) {
        return {place.left + (ThumbnailSize - imageWidth) / 2, place.top, imageWidth, imageHeight};
    }
    return {place.left, place.top + (ThumbnailSize - imageHeight) / 2, imageWidth, imageHeight};
}

GridRect ThumbnailGrid::splitToggle(std::int32_t position) const
{
    const GridRect place = cell(position);
    return {
        place.left + ThumbnailSize + GridGapXPx / 2 - SplitToggleWidthPx / 2,
        place.top,
        SplitToggleWidthPx,
        ThumbnailSize};
}

GridRect ThumbnailGrid::caption(std::int32_t position) const
{
    const GridRect place = cell(position);
    return {place.left, place.top + ThumbnailSize + CaptionOffsetPx, ThumbnailSize, CaptionHeightPx};
}

std::int32_t
ThumbnailGrid::ThumbnailAtPoint(std::int32_t x, std::int32_t y, std::int32_t mode, std::int32_t scrollY) const
{
    if ((mode & GridHitTestMode) == 0 || PageCount <= 0 || GridColumns <= 0 || ThumbnailSize < 0) {
        return 0;
    }
    const std::int64_t gridX = std::int64_t{x} - GridGapXPx;
    const std::int64_t gridY = std::int64_t{y} + scrollY - GridGapYPx;
    if (gridX < 0 || gridY < 0) {
        return 0;
    }
    // Within a pitch the first T + 1 points belong to the cell, the rest to the gap.
    const std::int64_t column = gridX / pitchX(ThumbnailSize);
    const std::int64_t row = gridY / pitchY(ThumbnailSize);
    if (gridX % pitchX(ThumbnailSize) > ThumbnailSize || gridY % pitchY(ThumbnailSize) > ThumbnailSize) {
        return 0;
    }
    if (column >= GridColumns || row >= rows()) {
        return 0;
    }
    const std::int64_t position = row * GridColumns + column + 1;
    return position <= PageCount ? static_cast<std::int32_t>(position) : 0;
}

EditorRefusals editorRefusals(std::int32_t pageCount, std::int32_t thumbnailSize, std::int32_t clientWidth)
{
    EditorRefusals refusals;
    refusals.noPages = pageCount <= 0;
    refusals.thumbnailTooLarge =
        2 * std::int64_t{GridGapXPx} + thumbnailSize > std::int64_t{clientWidth} - ScrollBarAllowancePx;
    return refusals;
}

} // namespace folvex
