#include "imageops/raster.h"

#include "imageops_fixtures.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <utility>

namespace folvex {
namespace {

using testing::imageLibrary;
using testing::makeRandomImage;
using testing::pixelValue;
using testing::samePixels;

struct DepthCase
{
    const char* label;
    int bpp;
    unsigned masks[3];
};

const DepthCase Depths[] = {
    {"1-bit", 1, {0, 0, 0}},
    {"4-bit", 4, {0, 0, 0}},
    {"8-bit", 8, {0, 0, 0}},
    {"16-bit 565", 16, {FI16_565_RED_MASK, FI16_565_GREEN_MASK, FI16_565_BLUE_MASK}},
    {"16-bit 555", 16, {FI16_555_RED_MASK, FI16_555_GREEN_MASK, FI16_555_BLUE_MASK}},
    {"24-bit", 24, {0, 0, 0}},
    {"32-bit", 32, {0, 0, 0}},
};

TEST(QuarterTurnTest, FourTurnsGiveBackTheImageAndEachTurnMovesEveryPixelWhereItBelongs)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    std::mt19937 random(7);
    for (const DepthCase& depth : Depths) {
        // Small odd widths end rows inside a byte; 131 x 70 crosses the blocks a turn is made in.
        for (const auto& [width, height] : {std::pair{13, 5}, {9, 5}, {6, 5}, {131, 70}}) {
            SCOPED_TRACE(
                std::string(depth.label) + " " + std::to_string(width) + " x " + std::to_string(height));
            const FreeImageBitmap image = makeRandomImage(
                width, height, depth.bpp, random, depth.masks[0], depth.masks[1], depth.masks[2]);
            const FreeImageBitmap once = QuarterTurn(fi, image.get(), 1);
            ASSERT_NE(once, nullptr);
            ASSERT_EQ(fi.GetWidth(once.get()), static_cast<unsigned>(height));
            ASSERT_EQ(fi.GetHeight(once.get()), static_cast<unsigned>(width));
            // One clockwise quarter turn: the left column, read from the bottom up, becomes the top row.
            for (int x = 0; x < width; ++x) {
                for (int y = 0; y < height; ++y) {
                    ASSERT_EQ(
                        pixelValue(
                            once.get(), static_cast<unsigned>(height - 1 - y), static_cast<unsigned>(x)),
                        pixelValue(image.get(), static_cast<unsigned>(x), static_cast<unsigned>(y)));
                }
            }
            EXPECT_EQ(fi.GetDotsPerMeterX(once.get()), 5906u);
            EXPECT_EQ(fi.GetDotsPerMeterY(once.get()), 11811u);
            if (depth.bpp <= 8) {
                EXPECT_EQ(
                    std::memcmp(
                        fi.GetPalette(once.get()), fi.GetPalette(image.get()), sizeof(RGBQUAD) << depth.bpp),
                    0);
            }
            if (depth.bpp == 16) {
                const BITMAPINFOHEADER& header = fi.GetInfo(once.get())->bmiHeader;
                unsigned masks[3];
                std::memcpy(masks, reinterpret_cast<const BYTE*>(&header) + header.biSize, sizeof masks);
                EXPECT_EQ(masks[0], depth.masks[0]);
                EXPECT_EQ(masks[1], depth.masks[1]);
            }

            FreeImageBitmap turned = QuarterTurn(fi, once.get(), 1);
            turned = QuarterTurn(fi, turned.get(), 1);
            EXPECT_TRUE(samePixels(turned.get(), QuarterTurn(fi, image.get(), 3).get()));
            turned = QuarterTurn(fi, turned.get(), 1);
            EXPECT_TRUE(samePixels(turned.get(), image.get()));
            EXPECT_EQ(fi.GetDotsPerMeterX(turned.get()), 11811u);
            EXPECT_TRUE(
                samePixels(QuarterTurn(fi, image.get(), 2).get(), QuarterTurn(fi, once.get(), 1).get()));
        }
    }
    EXPECT_EQ(QuarterTurn(fi, nullptr, 1), nullptr);
}

TEST(QuarterTurnTest, EqualsTheLibrarysRotationWhereTheLibraryTakesTheDepth)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    std::mt19937 random(11);
    for (const int bpp : {1, 8, 24, 32}) {
        for (const auto& [width, height] : {std::pair{21, 10}, {131, 70}}) {
            const FreeImageBitmap image = makeRandomImage(width, height, bpp, random);
            for (const int turns : {1, 2, 3}) {
                SCOPED_TRACE(
                    std::to_string(bpp) + " bits, " + std::to_string(width) + " x " + std::to_string(height) +
                    ", turns " + std::to_string(turns));
                const FreeImageBitmap rotated =
                    ownFreeImage(fi, fi.Rotate(image.get(), 360.0 - 90.0 * turns, nullptr));
                EXPECT_TRUE(samePixels(QuarterTurn(fi, image.get(), turns).get(), rotated.get()));
            }
        }
    }
}

TEST(RotateCropWhiteTest, KeepsSizeResolutionAndDepthWithWhiteCorners)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    std::mt19937 random(3);

    struct Case
    {
        const char* label;
        int bpp;
        unsigned resultBpp;
    };

    const Case cases[] = {
        {"1-bit", 1, 1},
        {"4-bit", 4, 8},
        {"8-bit grey", 8, 8},
        {"16-bit", 16, 24},
        {"24-bit", 24, 24},
        {"32-bit", 32, 32}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FreeImageBitmap image = makeRandomImage(40, 30, c.bpp, random);
        if (c.bpp == 8 || c.bpp == 1) {
            // Black content on a grey ramp (black, white for 1 bit).
            RGBQUAD* palette = fi.GetPalette(image.get());
            for (int i = 0; i < (1 << c.bpp); ++i) {
                const auto level = static_cast<BYTE>(i * 255 / ((1 << c.bpp) - 1));
                palette[i] = {level, level, level, 0};
            }
            for (unsigned y = 0; y < 30; ++y) {
                std::memset(fi.GetScanLine(image.get(), static_cast<int>(y)), 0, fi.GetPitch(image.get()));
            }
        }
        const FreeImageBitmap turned = RotateCropWhite(fi, image.get(), 20.0);
        ASSERT_NE(turned, nullptr);
        EXPECT_EQ(fi.GetWidth(turned.get()), 40u);
        EXPECT_EQ(fi.GetHeight(turned.get()), 30u);
        EXPECT_EQ(fi.GetBPP(turned.get()), c.resultBpp);
        EXPECT_EQ(fi.GetDotsPerMeterX(turned.get()), 11811u);
        EXPECT_EQ(fi.GetDotsPerMeterY(turned.get()), 5906u);
        // The top-left corner was outside the turned page: white.
        RGBQUAD colour{};
        if (c.resultBpp <= 8) {
            colour = fi.GetPalette(turned.get())[pixelValue(turned.get(), 0, 0)];
        } else {
            ASSERT_TRUE(fi.GetPixelColor(turned.get(), 0, 29, &colour));
        }
        EXPECT_EQ(colour.rgbRed, 255);
        EXPECT_EQ(colour.rgbGreen, 255);
        EXPECT_EQ(colour.rgbBlue, 255);
        if (c.bpp == 1 || c.bpp == 8) {
            // The middle stays black.
            EXPECT_EQ(fi.GetPalette(turned.get())[pixelValue(turned.get(), 20, 15)].rgbRed, 0);
        }
    }
    EXPECT_EQ(RotateCropWhite(fi, nullptr, 3.0), nullptr);
}

// The angle the library's rotation was last handed; a turn it could not finish at once is refused.
double rotateAngle = 0.0;

FIBITMAP* DLL_CALLCONV recordingRotate(FIBITMAP* image, double angle, const void* background)
{
    rotateAngle = angle;
    if (!(angle > -360.0 && angle < 360.0)) {
        return nullptr;
    }
    return imageLibrary().Rotate(image, angle, background);
}

// A stored angle of any finite size reaches the rotation within one full circle and turns the page as
// that angle does; an angle that is no number turns nothing.
TEST(RotateCropWhiteTest, AnyFiniteAngleIsTurnedWithinOneCircle)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    FreeImageFunctionTable recording = fi;
    recording.Rotate = recordingRotate;
    std::mt19937 random(7);
    // Square, so that the turned page covers its former size at any angle.
    const FreeImageBitmap image = makeRandomImage(40, 40, 24, random);

    struct Case
    {
        double angle;
        double reduced;
    };

    const Case cases[] = {
        {370.0, 10.0},
        {-370.0, -10.0},
        {725.5, 5.5},
        {1e20, std::fmod(1e20, 360.0)},
        {-1e20, -std::fmod(1e20, 360.0)},
        {std::numeric_limits<double>::max(), std::fmod(std::numeric_limits<double>::max(), 360.0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.angle);
        EXPECT_DOUBLE_EQ(WithinOneTurn(c.angle), c.reduced);
        const FreeImageBitmap turned = RotateCropWhite(recording, image.get(), c.angle);
        EXPECT_DOUBLE_EQ(rotateAngle, c.reduced);
        ASSERT_NE(turned, nullptr);
        EXPECT_TRUE(samePixels(turned.get(), RotateCropWhite(fi, image.get(), c.reduced).get()));
    }
    for (const double notANumber :
         {std::numeric_limits<double>::infinity(),
          -std::numeric_limits<double>::infinity(),
          std::numeric_limits<double>::quiet_NaN()}) {
        rotateAngle = 0.0;
        EXPECT_EQ(RotateCropWhite(recording, image.get(), notANumber), nullptr);
        EXPECT_EQ(rotateAngle, 0.0);
    }
}

TEST(GreyLevelTest, EqualsTheLibrarysEightBitConversionOnRandomPages)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    std::mt19937 random(5);
    for (const int bpp : {24, 32}) {
        SCOPED_TRACE(bpp);
        const FreeImageBitmap image = makeRandomImage(257, 64, bpp, random);
        const FreeImageBitmap grey = ownFreeImage(fi, fi.ConvertTo8Bits(image.get()));
        int differing = 0;
        for (unsigned y = 0; y < 64; ++y) {
            const BYTE* colour = rowFromTop(fi, image.get(), y);
            const BYTE* levels = rowFromTop(fi, grey.get(), y);
            for (unsigned x = 0; x < 257; ++x) {
                const BYTE* pixel = colour + x * static_cast<unsigned>(bpp / 8);
                differing +=
                    greyLevel(pixel[FI_RGBA_RED], pixel[FI_RGBA_GREEN], pixel[FI_RGBA_BLUE]) != levels[x];
            }
        }
        EXPECT_EQ(differing, 0);
    }
}

TEST(PageDpiTest, RoundsTheXResolutionElseTheY)
{
    const FreeImageFunctionTable& fi = imageLibrary();

    struct Case
    {
        unsigned dpmX;
        unsigned dpmY;
        std::int32_t dpi;
    };

    const Case cases[] = {
        {11811, 0, 300},    // 299.9995
        {5906, 11811, 150}, // X wins
        {0, 11811, 300},
        {20, 11811, 1},   // 0.508: X rounds to 1
        {19, 11811, 300}, // 0.48: X rounds to 0, so Y
        {0, 0, 0},
    };
    const FreeImageBitmap image = ownFreeImage(fi, fi.Allocate(2, 2, 24, 0, 0, 0));
    const FreeImageBitmap other = ownFreeImage(fi, fi.Allocate(2, 2, 8, 0, 0, 0));
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.dpmX) + "/" + std::to_string(c.dpmY));
        fi.SetDotsPerMeterX(image.get(), c.dpmX);
        fi.SetDotsPerMeterY(image.get(), c.dpmY);
        EXPECT_EQ(PageDpi(fi, image.get()), c.dpi);
        CopyResolution(fi, image.get(), other.get());
        EXPECT_EQ(fi.GetDotsPerMeterX(other.get()), c.dpmX);
        EXPECT_EQ(fi.GetDotsPerMeterY(other.get()), c.dpmY);
    }
}

TEST(WorkingCopyTest, NamesAndThePageAsEditedSoFar)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    testing::TempDir dir;
    const std::string page = dir.file("TmpReadyImg3.bmp");
    EXPECT_EQ(workingCopyPath(page), dir.file("TmpReadyImg3_edited.bmp"));
    EXPECT_EQ(secondWorkingCopyPath(page), dir.file("TmpReadyImg3_edited_2.bmp"));

    ASSERT_TRUE(SavePageBmp(fi, ownFreeImage(fi, fi.Allocate(4, 3, 24, 0, 0, 0)).get(), page));
    EXPECT_EQ(pageAsEditedPath(page), page);
    EXPECT_EQ(fi.GetWidth(loadPageAsEdited(fi, page).get()), 4u);

    ASSERT_TRUE(
        SavePageBmp(fi, ownFreeImage(fi, fi.Allocate(7, 3, 8, 0, 0, 0)).get(), workingCopyPath(page)));
    EXPECT_EQ(pageAsEditedPath(page), workingCopyPath(page));
    EXPECT_EQ(fi.GetWidth(loadPageAsEdited(fi, page).get()), 7u);

    EXPECT_EQ(loadPageAsEdited(fi, dir.file("fehlt.bmp")), nullptr);
}

TEST(SavePageBmpTest, AFailedSaveLeavesTheOldFileAsItWasAndNothingBehind)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    testing::TempDir dir;
    const std::string path = dir.file("Seite 1.bmp");
    const FreeImageBitmap image = ownFreeImage(fi, fi.Allocate(5, 4, 24, 0, 0, 0));
    ASSERT_TRUE(SavePageBmp(fi, image.get(), path));
    const std::string before = testing::readFile(path);
    ASSERT_FALSE(before.empty());

    FreeImageFunctionTable failing = fi;
    failing.Save = [](FREE_IMAGE_FORMAT, FIBITMAP*, const char* name, int) -> BOOL {
        testing::writeFile(name, "halb");
        return FALSE;
    };
    const FreeImageBitmap other = ownFreeImage(fi, fi.Allocate(9, 9, 24, 0, 0, 0));
    EXPECT_FALSE(SavePageBmp(failing, other.get(), path));
    EXPECT_EQ(testing::readFile(path), before);
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()),
        1);
    EXPECT_FALSE(SavePageBmp(fi, nullptr, path));
}

} // namespace
} // namespace folvex
