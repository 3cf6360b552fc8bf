#include "imageops/flat_field_depth.h"

#include "imageops/raster.h"
#include "page_ops_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

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

// Flat-field correction

struct FlatFieldCase
{
    const char* label;
    Rgb reference;
    std::int32_t cutoff;
    std::vector<int> before;
    std::vector<int> after;
};

TEST_F(PageOperationsTest, FlatFieldLightensAgainstWhiteAndDarkensAgainstBlack)
{
    const FlatFieldCase cases[] = {
        {"white 230", {230, 230, 230}, -1, {200, 250, 20}, {225, 255, 45}},
        {"white 230, cutoff 10", {230, 230, 230}, 10, {200, 235, 225}, {200, 255, 250}},
        {"black 12", {12, 12, 12}, -1, {40, 5, 12}, {28, 0, 0}},
        // The decision at the reference pixel: all three at least 128 is white.
        {"(200,130,128)", {200, 130, 128}, -1, {100, 100, 100}, {155, 225, 227}},
        {"(200,130,127)", {200, 130, 127}, -1, {100, 100, 100}, {0, 0, 0}},
    };
    for (const FlatFieldCase& test : cases) {
        SCOPED_TRACE(test.label);
        ctx.pages.clear();
        ctx.refPicCutoff = test.cutoff;
        const unsigned width = static_cast<unsigned>(test.before.size());
        const FreeImageBitmap page = makeImage(width, 2, 24);
        const FreeImageBitmap reference = makeImage(width, 2, 24, test.reference);
        for (unsigned x = 0; x < width; ++x) {
            const int value = test.before[x];
            setPixel(page.get(), x, 0, {value, value, value});
        }
        addPage(page.get());
        addPage(reference.get());
        FlatFieldCorrect(fi, 1, ctx, false);
        const FreeImageBitmap result = loadWorkingCopy(1);
        ASSERT_NE(result, nullptr);
        for (unsigned x = 0; x < width; ++x) {
            const int v = test.before[x];
            if (test.reference.red == test.reference.green) {
                EXPECT_EQ(pixelAt(result.get(), x, 0), (Rgb{test.after[x], test.after[x], test.after[x]}))
                    << x;
            } else {
                const bool white = test.after[0] != 0;
                const auto channel = [&](int r) {
                    return white ? std::min(255, v + 255 - r) : std::max(0, v - r);
                };
                EXPECT_EQ(
                    pixelAt(result.get(), x, 0),
                    (
                        Rgb{channel(test.reference.red),
                            channel(test.reference.green),
                            channel(test.reference.blue)}));
            }
        }
        EXPECT_FALSE(hasWorkingCopy(2));
    }
    EXPECT_TRUE(notes().empty());
}

TEST_F(PageOperationsTest, FlatFieldReferencePixelOffTheImageFallsBackToTheBottomLeft)
{
    // Reference: bottom left (245, 245, 245), which makes it white, everything else (100, 100, 100),
    // which makes it black; a page byte of 100 against 100 goes to 255 when white, 0 when black.
    const FreeImageBitmap page = makeImage(3, 2, 24, {100, 100, 100});
    const FreeImageBitmap reference = makeImage(3, 2, 24, {100, 100, 100});
    setPixel(reference.get(), 0, 1, {245, 245, 245});
    addPage(page.get());
    addPage(reference.get());

    const struct
    {
        std::int32_t x;
        std::int32_t y;
        bool white;
    } cases[] = {{0, 0, true}, {1, 0, false}, {0, 1, false}, {3, 0, true}, {1, 2, true}, {-1, 1, true}};

    for (const auto& test : cases) {
        SCOPED_TRACE(::testing::Message() << test.x << "," << test.y);
        ctx.refPicX = test.x;
        ctx.refPicY = test.y;
        std::filesystem::remove(workingCopy(1));
        FlatFieldCorrect(fi, 1, ctx, false);
        EXPECT_EQ(pixelAt(loadWorkingCopy(1).get(), 1, 0).red, test.white ? 255 : 0);
    }
}

TEST_F(PageOperationsTest, FlatFieldRefusesInOrderAndSilentlyWhenAsked)
{
    const FreeImageBitmap rgb = makeImage(4, 3, 24, {100, 100, 100});
    const FreeImageBitmap otherSize = makeImage(5, 3, 24, {100, 100, 100});
    const FreeImageBitmap grey = makeImage(4, 3, 8);
    const FreeImageBitmap blackAndWhite = makeImage(4, 3, 1);
    const FreeImageBitmap blackAndWhiteOtherSize = makeImage(5, 3, 1);

    const struct
    {
        std::vector<FIBITMAP*> pages;
        std::int32_t page;
        const char* note;
    } cases[] = {
        {{rgb.get()}, 1, FlatFieldNoReference},
        {{rgb.get(), rgb.get()}, 2, FlatFieldIsReference},
        {{blackAndWhiteOtherSize.get(), rgb.get()}, 1, FlatFieldOtherSize},
        {{blackAndWhite.get(), grey.get()}, 1, FlatFieldTooFewBits},
        {{grey.get(), rgb.get()}, 1, FlatFieldOtherDepth},
    };

    for (const auto& test : cases) {
        SCOPED_TRACE(test.note);
        for (const bool silent : {false, true}) {
            ctx.pages.clear();
            notes().clear();
            for (FIBITMAP* image : test.pages) {
                addPage(image);
            }
            FlatFieldCorrect(fi, test.page, ctx, silent);
            EXPECT_EQ(notes(), silent ? std::vector<std::string>{} : std::vector<std::string>{test.note});
            EXPECT_FALSE(hasWorkingCopy(test.page));
        }
    }
    EXPECT_NE(std::string(FlatFieldNoReference).find("haben.\\nEs muss"), std::string::npos);

    ctx.pages.clear();
    notes().clear();
    addPage(rgb.get()).deleted = true;
    addPage(rgb.get());
    FlatFieldCorrect(fi, 1, ctx, false);
    EXPECT_TRUE(notes().empty());
    EXPECT_FALSE(hasWorkingCopy(1));
}

TEST_F(PageOperationsTest, FlatFieldKeepsAGreyPageGreyAndShowsProgressOnEveryRow)
{
    const FreeImageBitmap page = makeImage(4, 40, 8);
    const FreeImageBitmap reference = makeImage(4, 40, 8);
    for (unsigned y = 0; y < 40; ++y) {
        std::fill_n(rowFromTop(fi, page.get(), y), 4, BYTE{200});
        std::fill_n(rowFromTop(fi, reference.get(), y), 4, BYTE{230});
    }
    addPage(page.get()).turns = 1;
    addPage(reference.get());
    FlatFieldCorrect(fi, 1, ctx, true);
    const FreeImageBitmap result = loadWorkingCopy(1);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(fi.GetBPP(result.get()), 8u);
    EXPECT_EQ(fi.GetColorType(result.get()), FIC_MINISBLACK);
    EXPECT_EQ(fi.GetWidth(result.get()), 4u);
    EXPECT_EQ(pixelAt(result.get(), 3, 39), (Rgb{225, 225, 225}));
    EXPECT_EQ(fi.GetDotsPerMeterX(result.get()), Dpm300);
    EXPECT_EQ(fi.GetDotsPerMeterY(result.get()), DpmY);
    ASSERT_EQ(waitEvents().size(), 41u);
    EXPECT_EQ(waitEvents()[0], "text: Referenzbildverbesserung (1/1) - 0%...");
    EXPECT_EQ(waitEvents()[1], "text: Referenzbildverbesserung (1/1) - 2%...");
    EXPECT_EQ(waitEvents()[39], "text: Referenzbildverbesserung (1/1) - 97%...");
    EXPECT_EQ(waitEvents()[40], "text: Referenzbildverbesserung (1/1) - 100%...");
}

// Colour depth

TEST_F(PageOperationsTest, ChangeBitDepthWritesNothingWhenThePageHasTheTargetDepth)
{
    const FreeImageBitmap blackAndWhite = makeImage(8, 4, 1);
    const FreeImageBitmap grey = makeImage(8, 4, 8);
    const FreeImageBitmap rgb = makeImage(8, 4, 24, {5, 6, 7});

    const struct
    {
        FIBITMAP* image;
        std::uint8_t mode;
    } cases[] = {{blackAndWhite.get(), 1}, {blackAndWhite.get(), 2}, {grey.get(), 3}, {rgb.get(), 4}};

    for (const auto& test : cases) {
        SCOPED_TRACE(int{test.mode});
        ctx.pages.clear();
        addPage(test.image);
        ChangeBitDepth(fi, 1, ctx, test.mode);
        EXPECT_FALSE(hasWorkingCopy(1));
    }
    EXPECT_TRUE(notes().empty());
}

TEST_F(PageOperationsTest, ChangeBitDepthConvertsMarkedPagesInTheStoredOrientation)
{
    // A grey ramp: dithering gives both colours, thresholding splits at 128.
    const FreeImageBitmap ramp = makeImage(64, 8, 24);
    for (unsigned y = 0; y < 8; ++y) {
        for (unsigned x = 0; x < 64; ++x) {
            const int level = static_cast<int>(x * 4);
            setPixel(ramp.get(), x, y, {level, level, level});
        }
    }
    FakePage& first = addPage(ramp.get());
    first.deleted = true;
    first.turns = 1;
    ChangeBitDepth(fi, 1, ctx, 2);
    FreeImageBitmap result = loadWorkingCopy(1);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(fi.GetBPP(result.get()), 1u);
    EXPECT_EQ(fi.GetWidth(result.get()), 64u);
    EXPECT_EQ(pixelAt(result.get(), 0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(pixelAt(result.get(), 63, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(fi.GetDotsPerMeterX(result.get()), Dpm300);

    std::filesystem::remove(workingCopy(1));
    ChangeBitDepth(fi, 1, ctx, 1);
    result = loadWorkingCopy(1);
    EXPECT_EQ(pixelAt(result.get(), 31, 3), (Rgb{0, 0, 0}));
    EXPECT_EQ(pixelAt(result.get(), 32, 3), (Rgb{255, 255, 255}));

    // The 1-bit working copy back to colour, and a colour-palette page to grey.
    ChangeBitDepth(fi, 1, ctx, 4);
    EXPECT_EQ(fi.GetBPP(loadWorkingCopy(1).get()), 24u);

    const FreeImageBitmap palette = makeImage(4, 4, 8);
    fi.GetPalette(palette.get())[0] = {200, 30, 10, 0};
    addPage(palette.get());
    ChangeBitDepth(fi, 2, ctx, 3);
    result = loadWorkingCopy(2);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(fi.GetBPP(result.get()), 8u);
    EXPECT_EQ(fi.GetColorType(result.get()), FIC_MINISBLACK);
    EXPECT_TRUE(notes().empty());
}

} // namespace
} // namespace folvex
