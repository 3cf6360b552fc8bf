#include "imageops/flat_field_depth.h"
#include "imageops/page_operation.h"
#include "imageops/pixel_operations.h"
#include "imageops/raster.h"
#include "imageops_fixtures.h"
#include "page_ops_fakes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <ostream>

namespace folvex {
namespace {

using testing::FakePage;
using testing::FakePageContext;
using testing::imageLibrary;
using testing::readFile;
using testing::samePixels;
using testing::TempDir;

struct Rgb
{
    int red = 0;
    int green = 0;
    int blue = 0;

    bool operator==(const Rgb& other) const
    {
        return red == other.red && green == other.green && blue == other.blue;
    }
};

std::ostream& operator<<(std::ostream& out, const Rgb& colour)
{
    return out << "(" << colour.red << "," << colour.green << "," << colour.blue << ")";
}

constexpr unsigned Dpm300 = 11811;
constexpr unsigned DpmY = 5906;

FreeImageBitmap makeImage(unsigned width, unsigned height, unsigned bpp, Rgb fill = {})
{
    const FreeImageFunctionTable& fi = imageLibrary();
    FreeImageBitmap image = ownFreeImage(
        fi, fi.Allocate(static_cast<int>(width), static_cast<int>(height), static_cast<int>(bpp), 0, 0, 0));
    fi.SetDotsPerMeterX(image.get(), Dpm300);
    fi.SetDotsPerMeterY(image.get(), DpmY);
    if (bpp <= 8) {
        // A grey palette, black to white.
        const unsigned colours = 1U << bpp;
        for (unsigned i = 0; i < colours; ++i) {
            const auto level = static_cast<BYTE>(i * 255 / (colours - 1));
            fi.GetPalette(image.get())[i] = {level, level, level, 0};
        }
    } else {
        for (unsigned y = 0; y < height; ++y) {
            for (unsigned x = 0; x < width; ++x) {
                BYTE* pixel = rowFromTop(fi, image.get(), y) + x * bpp / 8;
                pixel[FI_RGBA_RED] = static_cast<BYTE>(fill.red);
                pixel[FI_RGBA_GREEN] = static_cast<BYTE>(fill.green);
                pixel[FI_RGBA_BLUE] = static_cast<BYTE>(fill.blue);
                if (bpp == 32) {
                    pixel[FI_RGBA_ALPHA] = 255;
                }
            }
        }
    }
    return image;
}

void setPixel(FIBITMAP* image, unsigned x, unsigned y, Rgb colour)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    BYTE* pixel = rowFromTop(fi, image, y) + x * fi.GetBPP(image) / 8;
    pixel[FI_RGBA_RED] = static_cast<BYTE>(colour.red);
    pixel[FI_RGBA_GREEN] = static_cast<BYTE>(colour.green);
    pixel[FI_RGBA_BLUE] = static_cast<BYTE>(colour.blue);
}

// The colour shown at (x, y), y from the top, whatever the depth.
Rgb pixelAt(FIBITMAP* image, unsigned x, unsigned y)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    RGBQUAD colour{};
    fi.GetPixelColor(image, x, fi.GetHeight(image) - 1 - y, &colour);
    if (fi.GetBPP(image) <= 8) {
        BYTE index = 0;
        RGBQUAD* palette = fi.GetPalette(image);
        const BYTE* row = rowFromTop(fi, image, y);
        switch (fi.GetBPP(image)) {
            case 1:
                index = (row[x / 8] >> (7 - x % 8)) & 1U;
                break;
            case 4:
                index = (row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0x0FU;
                break;
            default:
                index = row[x];
        }
        colour = palette[index];
    }
    return Rgb{colour.rgbRed, colour.rgbGreen, colour.rgbBlue};
}

class PageOperationsTest : public ::testing::Test
{
protected:
    const FreeImageFunctionTable& fi = imageLibrary();
    TempDir dir;
    FakePageContext ctx;

    // Saves the image as the next page file "TmpReadyImg<k>.bmp", without a working copy, and adds it to
    // the job.
    FakePage& addPage(FIBITMAP* image)
    {
        const std::string path = dir.file("TmpReadyImg" + std::to_string(ctx.pages.size() + 1) + ".bmp");
        std::filesystem::remove(workingCopyPath(path));
        EXPECT_TRUE(SavePageBmp(fi, image, path));
        ctx.pages.push_back(FakePage{path});
        return ctx.pages.back();
    }

    std::string workingCopy(std::int32_t page) const
    {
        return workingCopyPath(ctx.pages[static_cast<std::size_t>(page - 1)].path);
    }

    FreeImageBitmap loadWorkingCopy(std::int32_t page) const
    {
        return ownFreeImage(fi, fi.LoadU(FIF_BMP, workingCopy(page)));
    }

    bool hasWorkingCopy(std::int32_t page) const { return std::filesystem::exists(workingCopy(page)); }

    std::vector<std::string>& notes() { return ctx.recordingUi.notes; }

    std::vector<std::string>& waitEvents() { return ctx.recordingUi.waitEvents; }
};

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
    // A black page turned by 20 degrees shows a white bottom right corner: the page stays as it was.
    const FreeImageBitmap image = makeImage(40, 30, 24, {30, 60, 90});
    addPage(image.get()).angle = 20.0;
    AutoWhiteBalance(fi, 1, ctx, 1);
    EXPECT_TRUE(samePixels(loadWorkingCopy(1).get(), image.get()));
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
