#include "pageeditor/editor_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace folvex {
namespace {

bool overlap(const GridRect& a, const GridRect& b)
{
    return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
           b.top < a.top + a.height;
}

std::int32_t bottomOf(const GridRect& r)
{
    return r.top + r.height;
}

// The editor's client area is the screen less 100 pixels across and 200 down.
struct Screen
{
    std::int32_t width;
    std::int32_t height;
};

const Screen Screens[] = {{1920, 1080}, {1366, 768}, {1280, 720}, {1024, 768}};

// Hint widths: one that fits beside "alle Ref.-Bild" on a wide screen, one that does not.
const std::int32_t HintWidths[] = {450, 640};

TEST(EditorLayoutTest, EveryControlLiesInsideTheWindowClearOfTheOthersAboveTheThumbnails)
{
    for (const Screen& screen : Screens) {
        for (const std::int32_t hintWidth : HintWidths) {
            const std::int32_t cw = screen.width - 100;
            const std::int32_t ch = screen.height - 200;
            SCOPED_TRACE(
                std::to_string(screen.width) + " x " + std::to_string(screen.height) + ", hint " +
                std::to_string(hintWidth));
            const EditorLayout layout = editorLayout(cw, ch, hintWidth);
            ASSERT_EQ(layout.controls.size(), EditorControlCount);
            for (std::size_t i = 0; i < layout.controls.size(); ++i) {
                const GridRect& r = layout.controls[i].rect;
                SCOPED_TRACE(layout.controls[i].layout.text);
                EXPECT_GE(r.left, 0);
                EXPECT_GE(r.top, 0);
                EXPECT_LE(r.left + r.width, cw);
                EXPECT_LE(bottomOf(r), ch);
                EXPECT_GT(r.width, 0);
                for (std::size_t j = i + 1; j < layout.controls.size(); ++j) {
                    EXPECT_FALSE(overlap(r, layout.controls[j].rect)) << layout.controls[j].layout.text;
                }
                // The controls above stand clear of the thumbnail area, "Anwenden" and "Abbruch" below it.
                if (i < ApplyButton) {
                    EXPECT_LT(bottomOf(r), layout.thumbnailAreaTop);
                } else {
                    EXPECT_GT(r.top, layout.thumbnailAreaTop + layout.thumbnailAreaHeight);
                }
            }
            EXPECT_GT(layout.thumbnailAreaHeight, 0);
        }
    }
}

// Everything that fits keeps the place the table gives it; only the hint stops short of "Optionen".
TEST(EditorLayoutTest, WideWindowKeepsTheTablesPlaces)
{
    const std::int32_t cw = 1820;
    const std::int32_t ch = 880;
    const EditorLayout layout = editorLayout(cw, ch, 640);
    for (std::size_t i = 0; i < layout.controls.size(); ++i) {
        const EditorControlLayout& table = layout.controls[i].layout;
        const GridRect& r = layout.controls[i].rect;
        SCOPED_TRACE(table.text);
        if (i == OptionsButton) {
            EXPECT_EQ(r, (GridRect{cw - 110, 10, 100, 20}));
        } else if (i == HintLabel) {
            EXPECT_EQ(r, (GridRect{1210, 12, cw - 110 - 10 - 1210, 20}));
        } else if (i == ApplyButton) {
            EXPECT_EQ(r, (GridRect{cw / 2 - 250, ch - 40, 150, 30}));
        } else if (i == CancelButton) {
            EXPECT_EQ(r, (GridRect{cw / 2 + 100, ch - 40, 150, 30}));
        } else {
            EXPECT_EQ(r, (GridRect{table.x, table.y, table.width, table.height}));
        }
    }
    EXPECT_EQ(layout.thumbnailAreaTop, 65);
    EXPECT_EQ(layout.thumbnailAreaHeight, ch - 115);
}

// On a 1280-pixel screen "alle Farbe", "alle Ref.-Bild" and the hint move below, then the black point;
// the rows keep the order of the table and each label its field beside it.
TEST(EditorLayoutTest, NarrowWindowFlowsTheRestIntoRowsBelowInTheirOrder)
{
    const std::int32_t cw = 1180;
    const EditorLayout layout = editorLayout(cw, 520, 560);
    const auto at = [&layout](std::size_t i) { return layout.controls[i].rect; };

    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(at(i).top, 10) << i;
    }
    EXPECT_EQ(at(8), (GridRect{10, 60, 100, 20}));  // "alle Farbe"
    EXPECT_EQ(at(9), (GridRect{120, 60, 100, 20})); // "alle Ref.-Bild"
    EXPECT_EQ(at(HintLabel), (GridRect{230, 62, cw - 10 - 230, 20}));
    EXPECT_EQ(at(WhitePick), (GridRect{970, 36, 50, 21}));
    // "Schwarzpunkt rot:" and its field, 3 pixels apart as in the table.
    EXPECT_EQ(at(24), (GridRect{10, 88, 105, 20}));
    EXPECT_EQ(at(25), (GridRect{118, 86, 30, 20}));
    EXPECT_EQ(at(BlackPick).top, 86);
    EXPECT_EQ(layout.thumbnailAreaTop, 115);

    // Read row by row, the moved controls come in the order of the table.
    std::vector<std::size_t> moved;
    for (std::size_t i = 0; i < ApplyButton; ++i) {
        if (at(i).top >= 60) {
            moved.push_back(i);
        }
    }
    std::vector<std::size_t> reading = moved;
    std::sort(reading.begin(), reading.end(), [&at](std::size_t a, std::size_t b) {
        return at(a).top / 25 != at(b).top / 25 ? at(a).top < at(b).top : at(a).left < at(b).left;
    });
    EXPECT_EQ(reading, moved);
}

TEST(EditorLayoutTest, HintStartsANewRowWhereTheRestOfOneIsTooShort)
{
    // 1024 pixels: four buttons move below and leave 464 pixels of their row.
    const EditorLayout fits = editorLayout(924, 568, 400);
    EXPECT_EQ(fits.controls[HintLabel].rect.top, 62);
    const EditorLayout wider = editorLayout(924, 568, 600);
    EXPECT_EQ(wider.controls[HintLabel].rect, (GridRect{10, 87, 904, 20}));
}

} // namespace
} // namespace folvex
