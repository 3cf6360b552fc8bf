#include "pageeditor/thumbnail_grid.h"

#include <gtest/gtest.h>

namespace folvex {
namespace {

TEST(ThumbnailGridTest, ColumnsRowsAndRefusals)
{
    struct Case
    {
        const char* label;
        std::int32_t clientWidth;
        std::int32_t thumbnailSize;
        std::int32_t pageCount;
        std::int32_t columns;
        std::int32_t rows;
        std::int32_t innerHeight;
        bool noPages;
        bool tooLarge;
    };

    const Case cases[] = {
        {"1920 x 1080 screen, 13 pages", 1820, 250, 13, 6, 3, 878, false, false},
        {"12 pages fill two rows", 1820, 250, 12, 6, 2, 596, false, false},
        {"largest edge that fits", 1820, 1741, 1, 1, 1, 32 + 1773, false, false},
        {"one pixel too large", 1820, 1742, 1, 0, 0, 32, false, true},
        {"no pages", 1820, 250, 0, 6, 0, 32, true, false},
        {"no pages and too large", 1820, 1742, 0, 0, 0, 32, true, true},
        {"window narrower than the margins", 40, 10, 3, 0, 0, 32, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::int32_t columns = GridColumns(c.clientWidth, c.thumbnailSize);
        EXPECT_EQ(columns, c.columns);
        const ThumbnailGrid grid{c.thumbnailSize, columns, c.pageCount};
        EXPECT_EQ(grid.rows(), c.rows);
        EXPECT_EQ(grid.innerHeight(), c.innerHeight);
        const EditorRefusals refusals = editorRefusals(c.pageCount, c.thumbnailSize, c.clientWidth);
        EXPECT_EQ(refusals.noPages, c.noPages);
        EXPECT_EQ(refusals.thumbnailTooLarge, c.tooLarge);
        EXPECT_EQ(refusals.thumbnailTooLarge, columns == 0);
    }
}

TEST(ThumbnailGridTest, PlacesOfCellButtonToggleAndCaption)
{
    const ThumbnailGrid grid{250, 6, 13};
    EXPECT_EQ(grid.cell(1), (GridRect{30, 32, 250, 250}));
    EXPECT_EQ(grid.cell(6), (GridRect{1430, 32, 250, 250}));
    EXPECT_EQ(grid.cell(7), (GridRect{30, 314, 250, 250}));
    EXPECT_EQ(grid.caption(7), (GridRect{30, 567, 250, 15}));
    EXPECT_EQ(grid.splitToggle(6), (GridRect{1689, 32, 12, 250}));
    EXPECT_EQ(grid.splitToggle(1), (GridRect{289, 32, 12, 250}));
    // Centred along the shorter side; an odd remainder leaves the extra pixel right or below.
    EXPECT_EQ(grid.thumbnailButton(1, 177, 250), (GridRect{30 + 36, 32, 177, 250}));
    EXPECT_EQ(grid.thumbnailButton(8, 250, 177), (GridRect{310, 314 + 36, 250, 177}));
    EXPECT_EQ(grid.thumbnailButton(2, 250, 250), (GridRect{310, 32, 250, 250}));
}

TEST(ThumbnailGridTest, HitTest)
{
    struct Case
    {
        const char* label;
        std::int32_t x;
        std::int32_t y;
        std::int32_t scrollY;
        std::int32_t pageCount;
        std::int32_t mode;
        std::int32_t position;
    };

    const Case cases[] = {
        {"top-left corner of cell 1", 30, 32, 0, 13, 2, 1},
        {"bottom-right corner of cell 1, inclusive", 280, 282, 0, 13, 2, 1},
        {"gap right of cell 1", 281, 100, 0, 13, 2, 0},
        {"left margin", 29, 100, 0, 13, 2, 0},
        {"top margin", 100, 31, 0, 13, 2, 0},
        {"cell 2", 310, 32, 0, 13, 2, 2},
        {"first cell of row 2 with 7 pages", 30, 314, 0, 7, 2, 7},
        {"first cell of row 2 with 6 pages", 30, 314, 0, 6, 2, 0},
        {"gap below row 1", 100, 283, 0, 13, 2, 0},
        {"scrolled down by one row", 30, 32, 282, 13, 2, 7},
        {"scrolled into row 3", 1430, 32, 564, 13, 2, 0},
        {"cell 13, first of row 3", 30, 596, 0, 13, 2, 13},
        {"empty cell of the last row", 310, 596, 0, 13, 2, 0},
        {"right of the last column", 1681, 32, 0, 13, 2, 0},
        {"below the last row", 30, 900, 0, 13, 2, 0},
        {"negative x", -250, 32, 0, 13, 2, 0},
        {"negative y", 30, -250, 0, 13, 2, 0},
        {"negative y that the scroll brings into cell 1", 30, -250, 282, 13, 2, 1},
        {"no pages", 30, 32, 0, 0, 2, 0},
        {"mode without the grid bit", 30, 32, 0, 13, 1, 0},
        {"mode with further bits", 30, 32, 0, 13, 3, 1},
        {"far outside", 2147483647, 2147483647, 2147483647, 13, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const ThumbnailGrid grid{250, 6, c.pageCount};
        EXPECT_EQ(grid.ThumbnailAtPoint(c.x, c.y, c.mode, c.scrollY), c.position);
    }
    const ThumbnailGrid noColumns{1742, 0, 5};
    EXPECT_EQ(noColumns.ThumbnailAtPoint(30, 32, 2, 0), 0);
}

} // namespace
} // namespace folvex
