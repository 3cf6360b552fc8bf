#pragma once
// The arithmetic of the thumbnail grid: columns and rows, the inner height of the scroll area, the
// cell of a page position, the places of a page's thumbnail button, split toggle and caption, and the
// hit test from a pointer position to a page position. All values in pixels; pure functions.

#include <cstdint>

namespace folvex {

inline constexpr std::int32_t GridGapXPx = 30;
inline constexpr std::int32_t GridGapYPx = 32;
// Kept free at the right for the scroll area's border and vertical scroll bar.
inline constexpr std::int32_t ScrollBarAllowancePx = 19;
inline constexpr std::int32_t SplitToggleWidthPx = 12;
inline constexpr std::int32_t CaptionHeightPx = 15;
// The caption stands this far below its cell.
inline constexpr std::int32_t CaptionOffsetPx = 3;
// ThumbnailAtPoint's mode bit for the grid arithmetic.
inline constexpr std::int32_t GridHitTestMode = 2;

struct GridRect
{
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;

    bool operator==(const GridRect&) const = default;
};

// Thumbnails per grid row for the editor's client width and thumbnail edge, truncated toward zero;
// 0 when not one fits, and never negative.
std::int32_t GridColumns(std::int32_t clientWidth, std::int32_t thumbnailSize);

// The grid of one editor run: T is the thumbnail edge, columns at least 1 for a shown grid.
struct ThumbnailGrid
{
    std::int32_t ThumbnailSize = 0;
    std::int32_t GridColumns = 0;
    std::int32_t PageCount = 0;

    // Grid rows, PageCount / GridColumns rounded up; 0 without pages or columns.
    std::int32_t rows() const;

    // The inner panel's height: GridGapY + rows × (T + GridGapY).
    std::int32_t innerHeight() const;

    // The T × T cell of position p (1-based), relative to the inner panel.
    GridRect cell(std::int32_t position) const;

    // The thumbnail button of a w × h image in position p: centred along the shorter side.
    GridRect thumbnailButton(std::int32_t position, std::int32_t imageWidth, std::int32_t imageHeight) const;

    // The split toggle after position p: in the middle of the gap right of the cell, 12 × T.
    GridRect splitToggle(std::int32_t position) const;

    // The caption under the cell of position p, T × 15.
    GridRect caption(std::int32_t position) const;

    // The position 1 .. PageCount whose cell holds the point (cells count T + 1 points both ways,
    // edges included), 0 elsewhere. x and y are relative to the visible part of the scroll area;
    // scrollY is its vertical scroll position. Modes without GridHitTestMode give 0.
    std::int32_t
    ThumbnailAtPoint(std::int32_t x, std::int32_t y, std::int32_t mode, std::int32_t scrollY) const;
};

// The notes that refuse to open the editor, in the order they are shown: no pages, then a thumbnail
// edge that leaves no column. Both can apply; none when the editor can open.
inline constexpr const char* NoPagesNote =
    "Es sind keine gescannten Seiten vorhanden.\\n\\nDies kann auch passieren, wenn Folvex nicht in den Pfad "
    "für temporäre Dateien schreiben kann. In diesem Fall muss er in den Optionen entsprechend geändert "
    "werden.";
inline constexpr const char* ThumbnailTooLargeNote =
    "Thumbnail-Größe zu groß, um ein Thumbnail pro Zeile darstellen zu können.\\n\\nBitte die Größe in den "
    "Optionen anpassen.";

struct EditorRefusals
{
    bool noPages = false;
    bool thumbnailTooLarge = false;

    bool any() const { return noPages || thumbnailTooLarge; }
};

EditorRefusals editorRefusals(std::int32_t pageCount, std::int32_t thumbnailSize, std::int32_t clientWidth);

} // namespace folvex
