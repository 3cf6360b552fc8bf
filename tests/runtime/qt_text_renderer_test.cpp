#include "runtime/qt_text_renderer.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace folvex {
namespace {

TEST(QtTextRenderer, MeasuresAndRendersTheLineAtTheRequestedPixelHeight)
{
    QtTextRenderer renderer;
    const TextExtent extent = renderer.measure("- 12 -", "Arial", 400, 36);
    // An em of 36 pixels: the line is a little taller, and wider than the two digits.
    EXPECT_GE(extent.ascent + extent.descent, 36);
    EXPECT_LE(extent.ascent + extent.descent, 48);
    EXPECT_GT(extent.advance, 36);
    EXPECT_GT(renderer.measure("- 123 -", "Arial", 400, 36).advance, extent.advance);
    EXPECT_GT(renderer.measure("- 12 -", "Arial", 400, 72).advance, extent.advance);

    const CoverageMask mask = renderer.render("- 12 -", "Arial", 400, 36);
    ASSERT_EQ(mask.width, extent.advance);
    ASSERT_EQ(mask.height, extent.ascent + extent.descent);
    ASSERT_EQ(mask.coverage.size(), static_cast<std::size_t>(mask.width * mask.height));
    // Digits stand on the baseline: ink above it, full coverage somewhere, anti-aliased edges, and
    // nothing in the descender rows.
    std::int32_t inkTop = mask.height;
    std::int32_t inkBottom = -1;
    bool partial = false;
    for (std::int32_t y = 0; y < mask.height; ++y) {
        for (std::int32_t x = 0; x < mask.width; ++x) {
            const std::uint8_t c = mask.at(x, y);
            if (c != 0) {
                inkTop = std::min(inkTop, y);
                inkBottom = std::max(inkBottom, y);
                partial = partial || c < 255;
            }
        }
    }
    EXPECT_EQ(*std::max_element(mask.coverage.begin(), mask.coverage.end()), 255);
    EXPECT_TRUE(partial);
    EXPECT_GE(inkBottom - inkTop + 1, 20);
    EXPECT_LE(inkBottom, extent.ascent);
}

TEST(QtTextRenderer, EmptyTextOrNoHeightGivesNothing)
{
    QtTextRenderer renderer;
    for (const auto& [text, height] : {std::pair{"", 36}, std::pair{"- 1 -", 0}, std::pair{"- 1 -", -5}}) {
        const TextExtent extent = renderer.measure(text, "Arial", 400, height);
        EXPECT_EQ(extent.advance, 0);
        EXPECT_EQ(extent.ascent + extent.descent, 0);
        EXPECT_TRUE(renderer.render(text, "Arial", 400, height).coverage.empty());
    }
}

} // namespace
} // namespace folvex
