#include "imageops/pixel_operations.h"

#include "imageops/raster.h"
#include "page_ops_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace folvex {
namespace {

using testing::Dpm300;
using testing::DpmY;
using testing::FakePage;
using testing::imageLibrary;
using testing::makeImage;
using testing::PageOperationsTest;
using testing::pixelAt;
using testing::readFile;
using testing::Rgb;
using testing::samePixels;
using testing::setPixel;

// De-graying

struct DeGrayCase
{
    const char* white;
    const char* black;
    Rgb before;
    Rgb after;
};

TEST_F(PageOperationsTest, DeGrayWhitensNearWhiteBlackensNearBlackAndLeavesTheRest)
{
    const DeGrayCase cases[] = {
        {"170", "70", {180, 175, 171}, {255, 255, 255}},
        {"170", "70", {70, 70, 70}, {0, 0, 0}},
        {"170", "70", {0, 12, 70}, {0, 0, 0}},
        {"170", "70", {170, 170, 169}, {170, 170, 169}},
        {"170", "70", {71, 0, 0}, {71, 0, 0}},
        {"170", "70", {200, 60, 200}, {200, 60, 200}},
        // Both tests met: the white one wins.
        {"50", "100", {60, 60, 60}, {255, 255, 255}},
        // Out-of-range texts are limited to 0..255, not taken modulo 256 ("300" as 44 would whiten this).
        {"300", "-4", {200, 200, 200}, {200, 200, 200}},
        {"300", "-4", {255, 255, 255}, {255, 255, 255}},
        {"abc", "70", {1, 1, 1}, {255, 255, 255}},
    };
    for (const DeGrayCase& test : cases) {
        SCOPED_TRACE(std::string(test.white) + "/" + test.black);
        ctx.pages.clear();
        ctx.whitePoint = {test.white, test.white, test.white};
        ctx.blackPoint = {test.black, test.black, test.black};
        // A 3 x 2 page of the colour: its top right corner stays what the rule makes of it (no red mark).
        const FreeImageBitmap page = makeImage(3, 2, 24, test.before);
        addPage(page.get());
        DeGray(fi, 1, ctx);
        const FreeImageBitmap result = loadWorkingCopy(1);
        ASSERT_NE(result, nullptr);
        for (unsigned y = 0; y < 2; ++y) {
            for (unsigned x = 0; x < 3; ++x) {
                EXPECT_EQ(pixelAt(result.get(), x, y), test.after) << x << "," << y;
            }
        }
    }
    EXPECT_TRUE(notes().empty());
}

TEST_F(PageOperationsTest, DeGrayAndInversionPassOverBlackAndWhitePages)
{
    const FreeImageBitmap page = makeImage(16, 4, 1);
    addPage(page.get());
    DeGray(fi, 1, ctx);
    InvertPages(fi, 1, ctx);
    EXPECT_FALSE(hasWorkingCopy(1));
    EXPECT_TRUE(notes().empty());
}

// White balance

struct WhiteBalanceCase
{
    std::int8_t mode;
    std::array<std::string, 3> whitePoint;
    Rgb before;
    Rgb after;
};

TEST_F(PageOperationsTest, WhiteBalanceScalesEachChannelToItsReference)
{
    const WhiteBalanceCase cases[] = {
        {2, {}, {118, 118, 118}, {255, 255, 255}},
        {2, {}, {59, 100, 200}, {128, 216, 255}},
        {4, {}, {186, 0, 100}, {255, 0, 137}},
        // Factor exactly 1.5: halves go to the even value.
        {5, {"170", "170", "170"}, {170, 85, 3}, {255, 128, 4}},
        // 255.0 / 18 lies just below 85 / 6, so 9 times it is just below 127.5.
        {5, {"18", "18", "18"}, {9, 9, 9}, {127, 127, 127}},
        // A field of 0, text or a negative number counts as 1: every non-zero value of that channel is 255.
        {5, {"0", "abc", "-5"}, {1, 2, 3}, {255, 255, 255}},
        {5, {"0", "abc", "-5"}, {0, 0, 0}, {0, 0, 0}},
        {5, {"510", "255", "255"}, {200, 200, 200}, {100, 200, 200}},
        // Other modes: reference 0, which counts as 1.
        {9, {}, {0, 1, 50}, {0, 255, 255}},
    };
    for (const WhiteBalanceCase& test : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << int{test.mode} << " " << test.before);
        ctx.pages.clear();
        ctx.whitePoint = test.whitePoint;
        const FreeImageBitmap image = makeImage(2, 2, 24, test.before);
        addPage(image.get());
        AutoWhiteBalance(fi, 1, ctx, test.mode);
        EXPECT_EQ(pixelAt(loadWorkingCopy(1).get(), 1, 0), test.after);
    }
    EXPECT_TRUE(notes().empty());
}

TEST_F(PageOperationsTest, WhiteBalanceReadsItsReferenceWhereTheShownPageHasItsBottomRightCorner)
{
    // 20 x 14 pixels of (60, 60, 60) with a 10 x 10 block of the reference colour in the stored corner
    // that the pending turns bring to the bottom right; the other corners would give a reference of 60.
    const unsigned width = 20;
    const unsigned height = 14;
    const Rgb reference{200, 170, 100};
    const std::array<std::uint8_t, 256> red = whiteBalanceTable(200);
    const std::array<std::uint8_t, 256> green = whiteBalanceTable(170);
    const std::array<std::uint8_t, 256> blue = whiteBalanceTable(100);
    const Rgb expectedGrey{red[60], green[60], blue[60]};
    for (const std::int8_t mode : {1, 3}) {
        for (std::uint8_t turns = 0; turns < 4; ++turns) {
            SCOPED_TRACE(::testing::Message() << "mode " << int{mode} << " turns " << int{turns});
            // Stored corner of the shown bottom right: turns 0 bottom right, 1 top right, 2 top left, 3
            // bottom left.
            const bool right = turns <= 1;
            const bool bottom = turns == 0 || turns == 3;
            const FreeImageBitmap image = makeImage(width, height, 24, {60, 60, 60});
            for (unsigned y = 0; y < 10; ++y) {
                for (unsigned x = 0; x < 10; ++x) {
                    setPixel(image.get(), right ? width - 1 - x : x, bottom ? height - 1 - y : y, reference);
                }
            }
            ctx.pages.clear();
            addPage(image.get()).turns = turns;
            AutoWhiteBalance(fi, 1, ctx, mode);
            const FreeImageBitmap result = loadWorkingCopy(1);
            ASSERT_NE(result, nullptr);
            EXPECT_EQ(
                pixelAt(result.get(), right ? width - 1 : 0, bottom ? height - 1 : 0), (Rgb{255, 255, 255}));
            EXPECT_EQ(pixelAt(result.get(), width / 2 + (right ? -1 : 1) * 5, height / 2), expectedGrey);
        }
    }
}

TEST_F(PageOperationsTest, WhiteBalanceReferenceOfAShownCornerTheAngleUncoversIsWhite)
{
    // A black page turned by 20 degrees shows a white bottom right corner: the page stays as it was,
    // and its working copy and row progress come as for any other reference.
    const FreeImageBitmap image = makeImage(40, 30, 24, {30, 60, 90});
    addPage(image.get()).angle = 20.0;
    AutoWhiteBalance(fi, 1, ctx, 1);
    EXPECT_TRUE(samePixels(loadWorkingCopy(1).get(), image.get()));
    EXPECT_EQ(
        waitEvents(),
        (std::vector<std::string>{
            "open: automatischer Weißabgleich Bild 000/000 (000%)...",
            "text: automatischer Weißabgleich Bild 1/1 (0%)...",
            "text: automatischer Weißabgleich Bild 1/1 (83%)...",
            "close"}));
}

TEST_F(PageOperationsTest, WhiteBalanceKeepsABlackAndWhitePageBlackAndWhite)
{
    const FreeImageBitmap image = makeImage(16, 3, 1);
    BYTE* row = rowFromTop(fi, image.get(), 1);
    row[0] = 0xF0;
    addPage(image.get());
    AutoWhiteBalance(fi, 1, ctx, 2);
    const FreeImageBitmap result = loadWorkingCopy(1);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(fi.GetBPP(result.get()), 1u);
    EXPECT_TRUE(samePixels(result.get(), image.get()));
}

// The exact product v * (255.0 / ref) rounded half to even, by an independent route: the double
// product plus its exact error (fma), the tie decided by the error's sign.
int exactWhiteBalance(int reference, int value)
{
    const double factor = 255.0 / reference;
    const double product = value * factor;
    const double error = std::fma(static_cast<double>(value), factor, -product);
    double rounded = std::nearbyint(product);
    const double offset = product - rounded;
    if (offset == 0.5 && error > 0) {
        rounded += 1;
    } else if (offset == -0.5 && error < 0) {
        rounded -= 1;
    } else if (offset == 0.5 && error < 0 && std::fmod(rounded, 2.0) != 0) {
        rounded -= 1;
    } else if (offset == -0.5 && error > 0 && std::fmod(rounded, 2.0) != 0) {
        rounded += 1;
    }
    return static_cast<int>(std::min(rounded, 255.0));
}

TEST(WhiteBalanceTableTest, EveryEntryIsTheExactProductRoundedHalfToEven)
{
    int naiveDiffers = 0;
    for (int reference = 1; reference <= 255; ++reference) {
        const std::array<std::uint8_t, 256> table = whiteBalanceTable(reference);
        for (int value = 0; value < 256; ++value) {
            ASSERT_EQ(table[static_cast<std::size_t>(value)], exactWhiteBalance(reference, value))
                << reference << " " << value;
            const double naive = std::min(std::nearbyint(value * (255.0 / reference)), 255.0);
            naiveDiffers += naive != table[static_cast<std::size_t>(value)] ? 1 : 0;
        }
    }
    // The double product rounds the wrong way for a number of pairs, e.g. 18 and 9.
    EXPECT_GT(naiveDiffers, 0);
    EXPECT_EQ(whiteBalanceTable(18)[9], 127);
    EXPECT_EQ(whiteBalanceTable(0), whiteBalanceTable(1));
    EXPECT_EQ(whiteBalanceTable(-5), whiteBalanceTable(1));
    EXPECT_EQ(whiteBalanceTable(INT32_MAX)[255], 0);
}

} // namespace
} // namespace folvex
