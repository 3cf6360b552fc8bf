#include "imageops/page_operation.h"

#include "imageops/flat_field_depth.h"
#include "imageops/pixel_operations.h"
#include "imageops/raster.h"
#include "page_ops_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

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

// Inversion and the frame

TEST_F(PageOperationsTest, InvertingTwiceGivesThePixelsBackInTheStoredOrientation)
{
    std::mt19937 random(30);
    for (const unsigned bpp : {24U, 8U}) {
        for (const double angle : {0.0, 1.5}) {
            for (std::uint8_t turns = 0; turns < 4; ++turns) {
                SCOPED_TRACE(
                    std::to_string(bpp) + " bits, turns " + std::to_string(turns) + ", angle " +
                    std::to_string(angle));
                ctx.pages.clear();
                const FreeImageBitmap original =
                    testing::makeRandomImage(13, 7, static_cast<int>(bpp), random);
                if (bpp == 8) {
                    // A grey page: the linear palette the library gives a new 8-bit image.
                    RGBQUAD* palette = fi.GetPalette(original.get());
                    for (int i = 0; i < 256; ++i) {
                        palette[i] = {static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
                    }
                }
                FakePage& page = addPage(original.get());
                page.turns = turns;
                page.angle = angle;
                InvertPages(fi, 1, ctx);
                const FreeImageBitmap once = loadWorkingCopy(1);
                ASSERT_NE(once, nullptr);
                ASSERT_EQ(fi.GetWidth(once.get()), 13u);
                ASSERT_EQ(fi.GetHeight(once.get()), 7u);
                const Rgb before = pixelAt(original.get(), 0, 0);
                EXPECT_EQ(
                    pixelAt(once.get(), 0, 0),
                    (Rgb{255 - before.red, 255 - before.green, 255 - before.blue}));
                InvertPages(fi, 1, ctx);
                const FreeImageBitmap twice = loadWorkingCopy(1);
                EXPECT_TRUE(samePixels(twice.get(), original.get()));
            }
        }
    }
    EXPECT_TRUE(notes().empty());
}

TEST_F(PageOperationsTest, MarkedPagesGetNoWorkingCopyAndTheWaitWindowClosesAnyway)
{
    const FreeImageBitmap image = makeImage(4, 3, 24, {10, 20, 30});
    addPage(image.get()).deleted = true;
    addPage(image.get()).blank = true;
    addPage(image.get());
    InvertPages(fi, 1, ctx);
    EXPECT_EQ(waitEvents(), (std::vector<std::string>{"open: invertiere Bild 000/000 (000%)...", "close"}));
    waitEvents().clear();
    InvertPages(fi, 0, ctx);
    EXPECT_FALSE(hasWorkingCopy(1));
    EXPECT_FALSE(hasWorkingCopy(2));
    EXPECT_TRUE(hasWorkingCopy(3));
    EXPECT_EQ(
        waitEvents(),
        (std::vector<std::string>{
            "open: invertiere Bild 000/000 (000%)...", "text: invertiere Bild 3/3 (0%)...", "close"}));
}

TEST_F(PageOperationsTest, TheWorkingCopyIsTheInputAndThePageFileStaysAsItWas)
{
    const FreeImageBitmap file = makeImage(5, 4, 24, {10, 20, 30});
    addPage(file.get());
    const FreeImageBitmap edited = makeImage(5, 4, 24, {100, 150, 200});
    ASSERT_TRUE(SavePageBmp(fi, edited.get(), workingCopy(1)));
    const std::string fileBytes = readFile(ctx.pages[0].path);
    InvertPages(fi, 1, ctx);
    EXPECT_EQ(pixelAt(loadWorkingCopy(1).get(), 2, 2), (Rgb{155, 105, 55}));
    EXPECT_EQ(readFile(ctx.pages[0].path), fileBytes);
}

struct DepthCase
{
    const char* label;
    unsigned bpp;
    bool colourPalette;
    unsigned expectedBpp;
};

TEST_F(PageOperationsTest, TheWorkingCopyKeepsTheStoredDepthAndResolution)
{
    const DepthCase cases[] = {
        {"24-bit", 24, false, 24},
        {"32-bit", 32, false, 32},
        {"8-bit grey", 8, false, 8},
        {"4-bit grey", 4, false, 4},
        {"8-bit colour palette", 8, true, 24},
        {"4-bit colour palette", 4, true, 24},
    };
    for (const DepthCase& test : cases) {
        SCOPED_TRACE(test.label);
        ctx.pages.clear();
        const FreeImageBitmap image = makeImage(9, 6, test.bpp, {40, 80, 120});
        if (test.colourPalette) {
            RGBQUAD* palette = fi.GetPalette(image.get());
            palette[0] = {200, 30, 10, 0};
        }
        FakePage& page = addPage(image.get());
        page.turns = 1;
        InvertPages(fi, 1, ctx);
        const FreeImageBitmap result = loadWorkingCopy(1);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(fi.GetBPP(result.get()), test.expectedBpp);
        if (test.expectedBpp <= 8) {
            EXPECT_TRUE(hasGreyPalette(fi, result.get()));
        }
        EXPECT_EQ(fi.GetWidth(result.get()), 9u);
        EXPECT_EQ(fi.GetDotsPerMeterX(result.get()), Dpm300);
        EXPECT_EQ(fi.GetDotsPerMeterY(result.get()), DpmY);
        const Rgb before = pixelAt(image.get(), 0, 0);
        if (test.bpp >= 24 || test.colourPalette) {
            EXPECT_EQ(
                pixelAt(result.get(), 0, 0), (Rgb{255 - before.red, 255 - before.green, 255 - before.blue}));
        }
    }
}

TEST_F(PageOperationsTest, RowProgressEveryTwentyFifthRow)
{
    const struct
    {
        unsigned height;
        std::vector<std::string> texts;
    } cases[] = {
        {24, {"(0%)"}},
        {25, {"(0%)", "(100%)"}},
        {100, {"(0%)", "(24%)", "(49%)", "(75%)", "(100%)"}},
    };

    for (const auto& test : cases) {
        SCOPED_TRACE(test.height);
        ctx.pages.clear();
        waitEvents().clear();
        const FreeImageBitmap image = makeImage(3, test.height, 24);
        addPage(image.get());
        InvertPages(fi, 1, ctx);
        std::vector<std::string> expected{"open: invertiere Bild 000/000 (000%)..."};
        for (const std::string& text : test.texts) {
            expected.push_back("text: invertiere Bild 1/1 " + text + "...");
        }
        expected.push_back("close");
        EXPECT_EQ(waitEvents(), expected);
    }
}

TEST_F(PageOperationsTest, EachOperationShowsItsOwnStartText)
{
    const FreeImageBitmap image = makeImage(3, 2, 24, {90, 90, 90});
    addPage(image.get());
    addPage(image.get());
    DeGray(fi, 2, ctx);
    AutoWhiteBalance(fi, 0, ctx, 2);
    EXPECT_EQ(
        waitEvents(),
        (std::vector<std::string>{
            "text: entgraue Bild 2/2 (0%)...",
            "open: automatischer Weißabgleich Bild 000/000 (000%)...",
            "text: automatischer Weißabgleich Bild 1/2 (0%)...",
            "text: automatischer Weißabgleich Bild 2/2 (0%)...",
            "close"}));
}

TEST_F(PageOperationsTest, APassOnThePageAsShownSeesTheTurnsAndItsDrawingLandsInTheStoredPage)
{
    // The pass marks the shown top left pixel; one clockwise turn shows the stored bottom left there.
    for (std::uint8_t turns = 0; turns < 4; ++turns) {
        SCOPED_TRACE(int{turns});
        ctx.pages.clear();
        const FreeImageBitmap image = makeImage(6, 4, 8);
        addPage(image.get()).turns = turns;
        unsigned shownWidth = 0;
        const PageOperation operation{"", false, PassOrientation::AsShown};
        PageOperationFrame(fi, 1, ctx, operation, [&](PagePassInput& input) {
            shownWidth = fi.GetWidth(input.image);
            setPixel(input.image, 0, 0, {255, 255, 255});
        });
        EXPECT_EQ(shownWidth, turns % 2 == 0 ? 6u : 4u);
        const FreeImageBitmap result = loadWorkingCopy(1);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(fi.GetBPP(result.get()), 8u);
        const unsigned x = turns >= 2 ? 5 : 0;
        const unsigned y = turns == 1 || turns == 2 ? 3 : 0;
        EXPECT_EQ(pixelAt(result.get(), x, y), (Rgb{255, 255, 255}));
    }
    EXPECT_TRUE(waitEvents().empty());
}

TEST(PageGeometryTest, ShownPixelsMapToTheStoredPixelsTheQuarterTurnsShow)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    std::mt19937 random(4);
    const FreeImageBitmap stored = testing::makeRandomImage(7, 5, 24, random);
    for (std::uint8_t turns = 0; turns < 4; ++turns) {
        const FreeImageBitmap shown = QuarterTurn(fi, stored.get(), turns);
        const PageGeometry geometry{7, 5, turns, 0.0};
        ASSERT_EQ(geometry.shownWidth(), fi.GetWidth(shown.get()));
        ASSERT_EQ(geometry.shownHeight(), fi.GetHeight(shown.get()));
        for (unsigned y = 0; y < geometry.shownHeight(); ++y) {
            for (unsigned x = 0; x < geometry.shownWidth(); ++x) {
                unsigned storedX = 0;
                unsigned storedY = 0;
                ASSERT_TRUE(
                    geometry.storedPixelOfShown(static_cast<int>(x), static_cast<int>(y), storedX, storedY));
                ASSERT_EQ(pixelAt(shown.get(), x, y), pixelAt(stored.get(), storedX, storedY))
                    << int{turns} << ": " << x << "," << y;
            }
        }
    }
    // With a free angle the centre stays and the far corners fall off the page.
    const PageGeometry turned{101, 51, 0, 20.0};
    unsigned storedX = 0;
    unsigned storedY = 0;
    EXPECT_TRUE(turned.storedPixelOfShown(50, 25, storedX, storedY));
    EXPECT_EQ(storedX, 50u);
    EXPECT_EQ(storedY, 25u);
    EXPECT_FALSE(turned.storedPixelOfShown(100, 50, storedX, storedY));
    EXPECT_FALSE(turned.storedPixelOfShown(0, 0, storedX, storedY));
}

TEST_F(PageOperationsTest, AnUnreadablePageOrAFailedSaveKeepsTheEarlierWorkingCopy)
{
    testing::writeFile(dir.file("TmpReadyImg1.bmp"), "kein Bild");
    ctx.pages.push_back(FakePage{dir.file("TmpReadyImg1.bmp")});
    DeGray(fi, 1, ctx);
    EXPECT_FALSE(hasWorkingCopy(1));
    ASSERT_EQ(notes().size(), 1u);
    EXPECT_EQ(notes()[0], "Seite 1 konnte nicht bearbeitet werden: " + ctx.pages[0].path);

    notes().clear();
    ctx.pages.clear();
    const FreeImageBitmap image = makeImage(6, 5, 24, {1, 2, 3});
    addPage(image.get());
    ASSERT_TRUE(SavePageBmp(fi, image.get(), workingCopy(1)));
    const std::string earlier = readFile(workingCopy(1));
    FreeImageFunctionTable failingSave = fi;
    failingSave.Save = [](FREE_IMAGE_FORMAT, FIBITMAP*, const char*, int) -> BOOL { return FALSE; };
    InvertPages(failingSave, 1, ctx);
    AutoWhiteBalance(failingSave, 1, ctx, 2);
    ChangeBitDepth(failingSave, 1, ctx, 3);
    EXPECT_EQ(readFile(workingCopy(1)), earlier);
    EXPECT_EQ(
        notes(),
        std::vector<std::string>(
            3, "Die Arbeitskopie " + workingCopy(1) + " konnte nicht gespeichert werden."));
}

} // namespace
} // namespace folvex
