#include "foundation/blank_page.h"

#include "foundation/pixel_access.h"
#include "support/fakes.h"
#include "support/image_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace folvex {
namespace {

using testing::ScopedBitmap;

// A 24-bit page of the given grey level.
std::unique_ptr<DibBitmap> greyPage(int width, int height, std::uint8_t level)
{
    auto page = makeDibBitmap(width, height, 24);
    std::memset(page->bits.data(), level, page->bits.size());
    return page;
}

void setGrey(DibBitmap& page, int x, int y, std::uint8_t level)
{
    std::memset(page.rowTopDown(y) + 3 * x, level, 3);
}

// The share P at which the result turns from 1 to 0: blank for percent P, not blank just above.
void expectShare(Handle page, int width, int height, int step, int level, int share)
{
    EXPECT_EQ(IsPicBlank(page, width, height, static_cast<float>(share), step, level), 1)
        << "share " << share;
    EXPECT_EQ(IsPicBlank(page, width, height, static_cast<float>(share) + 0.5f, step, level), 0)
        << "share " << share;
}

TEST(IsPicBlankTest, AllWhitePageIsBlank)
{
    ScopedBitmap page(greyPage(120, 87, 255));
    EXPECT_EQ(IsPicBlank(page.handle(), 120, 87, 98.5f, 3, 250), 1);
    EXPECT_EQ(IsPicBlank(page.handle(), 120, 87, 98.5f, 1, 250), 1);
}

TEST(IsPicBlankTest, DarkPixelsCountOnlyOnGridPoints)
{
    // 30 x 30 at step 3 gives exactly 100 samples, so the share equals the white count.
    for (const int k : {0, 1, 7}) {
        SCOPED_TRACE(k);
        auto made = greyPage(30, 30, 255);
        for (int i = 0; i < k; ++i) {
            setGrey(*made, 3 * (i % 10), 3 * (i / 10 + 2 * i % 10), 0);
        }
        // Dark pixels between the grid points are never sampled.
        setGrey(*made, 1, 1, 0);
        setGrey(*made, 29, 29, 0);
        setGrey(*made, 4, 27, 0);
        ScopedBitmap page(std::move(made));
        expectShare(page.handle(), 30, 30, 3, 250, 100 - k);
    }
}

TEST(IsPicBlankTest, StepAndLevelAreClamped)
{
    auto made = greyPage(10, 10, 255);
    setGrey(*made, 1, 1, 254);
    setGrey(*made, 2, 7, 254);
    setGrey(*made, 9, 9, 0);
    ScopedBitmap page(std::move(made));

    struct Case
    {
        const char* label;
        int step;
        int level;
        int share;
    };

    const Case cases[] = {
        {"step 1", 1, 255, 97},
        {"step 0 samples every pixel", 0, 255, 97},
        {"negative step samples every pixel", -4, 255, 97},
        {"level 300 compares with 255", 1, 300, 97},
        {"level 254", 1, 254, 99},
        {"negative level compares with 0", 1, -20, 100},
        // Fewer than 100 samples: the share is white * 100 div samples. None of the three darker
        // pixels lies on the grid of step 2 (25 samples); of step 3 (16 samples) only (9, 9) does.
        {"step 2", 2, 255, 100},
        {"step 3", 3, 255, 93},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        expectShare(page.handle(), 10, 10, c.step, c.level, c.share);
    }
}

TEST(IsPicBlankTest, FewSamplesGiveADefinedShare)
{
    auto made = greyPage(5, 5, 255);
    setGrey(*made, 4, 0, 10);
    ScopedBitmap page(std::move(made));
    expectShare(page.handle(), 5, 5, 1, 200, 96); // 24 of 25
    expectShare(page.handle(), 5, 5, 4, 200, 75); // samples (0,0) (4,0) (0,4) (4,4), one dark
    EXPECT_EQ(IsPicBlank(page.handle(), 5, 5, 100.0f, 10, 200), 1); // the one sample (0, 0)
}

TEST(IsPicBlankTest, UnreadableBitmapGivesItsNoteAndMinusOne)
{
    testing::ScopedFakeEffects fakes;
    ScopedBitmap page(greyPage(8, 8, 255));

    struct Case
    {
        const char* label;
        Handle handle;
        int width;
        int height;
    };

    const Case cases[] = {
        {"no bitmap", NoHandle, 8, 8},
        {"unknown handle", Handle{999'999'998}, 8, 8},
        {"other width", page.handle(), 9, 8},
        {"other height", page.handle(), 8, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fakes.messages.queueAnswer(MessageAnswer::Ok);
        EXPECT_EQ(IsPicBlank(c.handle, c.width, c.height, 50.0f, 1, 200), -1);
        EXPECT_EQ(fakes.messages.shown.back().text, "IsPicBlank: StartPixelFast fehlgeschlagen");
        EXPECT_EQ(fakes.messages.shown.back().buttons, MessageButtons::OkCancel);
    }
    EXPECT_EQ(fakes.messages.shown.size(), 4u);
}

TEST(IsPicBlankTest, WorksWhileTheThreadHoldsItsSlot)
{
    testing::ScopedFakeEffects fakes;
    ScopedBitmap page(greyPage(16, 16, 255));
    ASSERT_EQ(StartPixelFast(16, 16, page.handle()), 1);
    EXPECT_EQ(IsPicBlank(page.handle(), 16, 16, 99.0f, 1, 250), 1);
    EXPECT_EQ(FinishPixelFast(1, NoHandle, 0, 0), 1);
    EXPECT_TRUE(fakes.messages.shown.empty());
}

// The share by the plain rule, from the page converted to 24 bits.
std::int64_t referenceShare(Handle page, int width, int height, int step, int level)
{
    step = std::max(step, 1);
    level = std::clamp(level, 0, 255);
    EXPECT_EQ(StartPixelFast(width, height, page), 1);
    const DibSlot& slot = *dibSlot(1);
    const int stride = width * 3 + slot.RowPad;
    std::int64_t white = 0;
    std::int64_t samples = 0;
    for (int y = 0; y < height; y += step) {
        for (int x = 0; x < width; x += step) {
            const std::uint8_t* pixel = slot.PixelStart + x * 3 + (height - 1 - y) * stride;
            ++samples;
            if (pixel[0] >= level && pixel[1] >= level && pixel[2] >= level) {
                ++white;
            }
        }
    }
    EXPECT_EQ(FinishPixelFast(1, NoHandle, 0, 0), 1);
    return samples < 100 ? white * 100 / samples : white / (samples / 100);
}

TEST(IsPicBlankTest, RandomPagesOfEveryDepthMatchThePlainRule)
{
    std::mt19937 random(2024);
    std::uniform_int_distribution<int> side(1, 70);
    std::uniform_real_distribution<double> whiteShare(0.5, 1.0);
    const int steps[] = {-1, 0, 1, 1, 2, 3, 5, 17};
    const int levels[] = {-10, 0, 1, 128, 200, 254, 255, 256, 300};
    std::uniform_int_distribution<std::size_t> pickStep(0, std::size(steps) - 1);
    std::uniform_int_distribution<std::size_t> pickLevel(0, std::size(levels) - 1);
    for (const std::uint16_t depth : {1, 4, 8, 24, 32}) {
        for (int round = 0; round < 40; ++round) {
            const int width = side(random);
            const int height = side(random);
            const int step = steps[pickStep(random)];
            const int level = levels[pickLevel(random)];
            SCOPED_TRACE(
                ::testing::Message() << depth << " bits " << width << "x" << height << " step " << step
                                     << " level " << level);
            ScopedBitmap page(testing::makeRandomBitmap(width, height, depth, whiteShare(random), random));
            const std::int64_t share = referenceShare(page.handle(), width, height, step, level);
            expectShare(page.handle(), width, height, step, level, static_cast<int>(share));
        }
    }
}

} // namespace
} // namespace folvex
