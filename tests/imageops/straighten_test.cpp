#include "imageops/straighten.h"

#include "imageops/raster.h"
#include "imageops/straighten_internal.h"
#include "imageops_fixtures.h"
#include "support/skew_page.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

namespace folvex {
namespace {

using testing::imageLibrary;

GreyImage whitePage(int width, int height)
{
    return GreyImage{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height, 255)};
}

void darken(GreyImage& page, int x, int y)
{
    page.levels[static_cast<std::size_t>(y) * page.width + x] = 0;
}

TEST(LineAngleTest, MeasuresFromTheDownwardVertical)
{
    struct Case
    {
        std::int32_t x2;
        std::int32_t y2;
        double expected;
    };

    const Case cases[] = {{0, 10, 0.0}, {10, 10, 45.0}, {-10, 10, -45.0}, {10, 0, 90.0}, {0, -10, 180.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.x2) + "," + std::to_string(c.y2));
        EXPECT_DOUBLE_EQ(LineAngle(0, 0, c.x2, c.y2), c.expected);
    }
    EXPECT_DOUBLE_EQ(LineAngle(5, 5, 5, 20), 0.0);
}

// A white page with one dark pixel in every row of each band k at x = firstX - stepPx * k, the bands
// of type 1 being bandSpacing rows apart (H = 15 spacings).
GreyImage bandEdgePage(int width, int bandSpacing, int firstX, int stepPx)
{
    GreyImage page = whitePage(width, 15 * bandSpacing);
    const int bandHeight = bandSpacing / 2;
    for (int k = 0; k < 15; ++k) {
        for (int y = k * bandSpacing; y < k * bandSpacing + bandHeight; ++y) {
            darken(page, firstX - stepPx * k, y);
        }
    }
    return page;
}

TEST(StraightenType1Test, TakesTheMostFrequentAngleOfTheBandEdgePoints)
{
    // 13 px over 372 rows is 2.0014 degrees: every pair of band points gives v = -20.
    EXPECT_EQ(straightenType1(bandEdgePage(600, 372, 200, 13)), 2.0);
    // The mirror image leans the other way.
    GreyImage mirrored = whitePage(600, 15 * 372);
    for (int k = 0; k < 15; ++k) {
        for (int y = k * 372; y < k * 372 + 186; ++y) {
            darken(mirrored, 10 + 13 * k, y);
        }
    }
    EXPECT_EQ(straightenType1(mirrored), -2.0);
    // 10 px over 40 rows is 14 degrees: every pair lies outside ±10 degrees.
    EXPECT_EQ(straightenType1(bandEdgePage(600, 40, 190, 10)), NoStraightenAngle);
    // A single band with a point has no pair.
    GreyImage single = whitePage(600, 600);
    darken(single, 50, 5);
    EXPECT_EQ(straightenType1(single), NoStraightenAngle);
    // Dark pixels right of the left third are not searched.
    GreyImage right = whitePage(600, 600);
    for (int y = 0; y < 600; ++y) {
        darken(right, 250, y);
    }
    EXPECT_EQ(straightenType1(right), NoStraightenAngle);
}

TEST(StraightenSelectionTest, HistogramModeTakesTheLowestBinOfTheLargestCount)
{
    AngleHistogram histogram{};
    EXPECT_EQ(selectHistogramMode(histogram), NoStraightenAngle);
    histogram[100 - 3] = 7;
    histogram[100 + 3] = 7;
    histogram[100 + 50] = 6;
    EXPECT_EQ(selectHistogramMode(histogram), 0.3);
    histogram[100 + 50] = 8;
    EXPECT_EQ(selectHistogramMode(histogram), -5.0);
    histogram[0] = 8;
    EXPECT_EQ(selectHistogramMode(histogram), 10.0);
}

TEST(StraightenSelectionTest, CandidatesCarryTheRoundingOfRepeatedAddition)
{
    const std::vector<double> angles = candidateAngles();
    ASSERT_EQ(angles.size(), 101u);
    EXPECT_EQ(angles.front(), -5.0);
    EXPECT_NEAR(angles.back(), 5.0, 1e-12);
    // The candidate next to zero is a tiny negative value, returned as it is.
    EXPECT_LT(angles[50], 0.0);
    EXPECT_GT(angles[50], -1e-14);
    std::vector<std::int64_t> scores(101, 0);
    scores[50] = 5;
    EXPECT_EQ(selectPlateauMiddle(angles, scores), angles[50]);
}

TEST(StraightenSelectionTest, PlateauOfBestScoresGivesItsMiddle)
{
    const std::vector<double> angles = candidateAngles();

    struct Case
    {
        const char* label;
        std::vector<std::pair<std::size_t, std::int64_t>> scores; // 1-based candidate, score; others 0
        double expected;
    };

    const Case cases[] = {
        {"rise, plateau of three, fall", {{10, 5}, {11, 8}, {12, 9}, {13, 9}, {14, 9}, {15, 3}}, angles[12]},
        {"plateau of four: the earlier middle", {{20, 9}, {21, 9}, {22, 9}, {23, 9}}, angles[20]},
        {"single best", {{30, 4}, {31, 9}, {32, 2}}, angles[30]},
        {"plateau to the last candidate", {{99, 9}, {100, 9}, {101, 9}}, angles[98]},
        {"a higher score later wins", {{5, 9}, {6, 9}, {7, 9}, {60, 10}}, angles[59]},
        {"all scores 0", {}, NoStraightenAngle},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<std::int64_t> scores(101, 0);
        for (const auto& [candidate, score] : c.scores) {
            scores[candidate - 1] = score;
        }
        EXPECT_EQ(selectPlateauMiddle(angles, scores), c.expected);
    }
}

// What the clean A4 page turned by angle should give: type 1 exactly -angle on the 0.1 degree steps
// up to ±9.5 and within 0.1 between them; type 2 within one candidate step (0.1) on the steps up to
// ±4.9, within 0.2 between them, and at most ±5 beyond its range.
struct CleanPageCase
{
    double angle;
    bool onStep;
};

void expectCleanPageAccuracy(const std::vector<CleanPageCase>& cases)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    for (const CleanPageCase& c : cases) {
        SCOPED_TRACE(c.angle);
        const FreeImageBitmap page = testing::makeCleanPage(fi, c.angle);
        const double type1 = straightenType1(fi, page.get(), 0);
        const double type2 = straightenType2(fi, page.get(), 0);
        if (c.onStep) {
            EXPECT_EQ(type1, -c.angle);
        } else {
            EXPECT_NEAR(type1, -c.angle, 0.1);
        }
        if (std::abs(c.angle) > 5.0) {
            EXPECT_LE(std::abs(type2), 5.0 + 1e-9);
        } else {
            EXPECT_NEAR(type2, -c.angle, (c.onStep ? 0.1 : 0.2) + 1e-9);
        }
    }
}

TEST(StraightenCleanPageTest, ContentTurnedCounterClockwiseGivesItsNegativeAngle)
{
    expectCleanPageAccuracy({{0.0, true}, {0.7, true}, {1.23, false}, {2.5, true}, {4.9, true}, {6.1, true}});
}

TEST(StraightenCleanPageTest, ContentTurnedClockwiseGivesItsPositiveAngle)
{
    expectCleanPageAccuracy({{-0.1, true}, {-3.57, false}, {-4.9, true}, {-9.2, true}, {-9.5, true}});
}

TEST(StraightenCleanPageTest, LimitsOfTheMethods)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    testing::TempDir dir;

    struct Case
    {
        std::string label;
        FreeImageBitmap page;
        double type1;
        double type2;
    };

    std::vector<Case> cases;
    cases.push_back(
        {"blank", testing::makeFlatPage(fi, 2480, 3508, 255), NoStraightenAngle, NoStraightenAngle});
    cases.push_back({"all black", testing::makeFlatPage(fi, 2480, 3508, 0), 0.0, NoStraightenAngle});
    cases.push_back(
        {"14 rows", testing::makeFlatPage(fi, 2480, 14, 255), NoStraightenAngle, NoStraightenAngle});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string file = dir.file("seite.bmp");
        ASSERT_TRUE(SavePageBmp(fi, c.page.get(), file));
        EXPECT_EQ(AutoStraightenType1(fi, 1, file, 0, NoStraightenAngle), c.type1);
        EXPECT_EQ(AutoStraightenType2(fi, 1, file, 0), c.type2);
    }
    const std::string missing = dir.file("fehlt.bmp");
    EXPECT_EQ(AutoStraightenType1(fi, 1, missing, 0, NoStraightenAngle), NoStraightenAngle);
    EXPECT_EQ(AutoStraightenType2(fi, 1, missing, 0), NoStraightenAngle);
    testing::writeFile(missing, "BM kaputt");
    EXPECT_EQ(AutoStraightenType1(fi, 1, missing, 2, NoStraightenAngle), NoStraightenAngle);
    EXPECT_EQ(AutoStraightenType2(fi, 1, missing, 2), NoStraightenAngle);
}

TEST(StraightenEdgeStripTest, DarkLeftEdgeOfThePageIsNotTheTextsEdge)
{
    // Each page with a dark left edge against the same page without it: both methods give the clean
    // page's angle (type 1 would otherwise find the strip's edge, type 2 no line through paper).
    const FreeImageFunctionTable& fi = imageLibrary();
    testing::TempDir dir;

    struct Case
    {
        const char* label;
        int stripPx;
        int shadowPx;
        bool turnsWithPage;
        std::vector<double> angles;
    };

    const Case cases[] = {
        {"strip", 25, 0, false, {-3.0, -1.5, 0.7, 2.5}},
        {"shadow brightening towards the paper", 0, 60, false, {-2.2, 1.8}},
        {"strip turned with the page", 30, 0, true, {-2.0, 3.1}},
        {"shadow turned with the page", 0, 50, true, {-0.7, 1.3}},
    };
    for (const Case& c : cases) {
        for (const double angle : c.angles) {
            SCOPED_TRACE(std::string(c.label) + ", turned " + std::to_string(angle));
            testing::CleanPageLayout layout;
            layout.widthPx = 1240;
            layout.heightPx = 1754;
            const FreeImageBitmap clean = testing::makeCleanPage(fi, angle, layout);
            layout.leftStripPx = c.stripPx;
            layout.leftShadowPx = c.shadowPx;
            layout.edgeTurnsWithPage = c.turnsWithPage;
            const std::string file = dir.file("seite.bmp");
            ASSERT_TRUE(SavePageBmp(fi, testing::makeCleanPage(fi, angle, layout).get(), file));
            const double type1 = straightenType1(fi, clean.get(), 0);
            const double type2 = straightenType2(fi, clean.get(), 0);
            ASSERT_NE(type1, NoStraightenAngle);
            ASSERT_NE(type2, NoStraightenAngle);
            EXPECT_NEAR(AutoStraightenType1(fi, 1, file, 0, NoStraightenAngle), type1, 0.1 + 1e-9);
            EXPECT_NEAR(AutoStraightenType2(fi, 1, file, 0), type2, 0.1 + 1e-9);
        }
    }
}

TEST(StraightenEdgeStripTest, StripIsReadAsPaperAndNothingElse)
{
    // A 240 x 120 grey page (a strip is narrower than 30 px) with text bars at x 100-150 in two of
    // every ten rows; each case darkens a run in every row, which must read as paper afterwards when it
    // is a strip, while everything else stays as it was.
    struct Case
    {
        const char* label;
        int (*darkFrom)(int y); // the dark run of row y: [darkFrom, darkTo)
        int (*darkTo)(int y);
        bool strip;
        int raggedEndPx = 0; // dark pixels every other column past the run, this far (a shadow's end)
    };

    const Case cases[] = {
        {"upright strip", [](int) { return 0; }, [](int) { return 12; }, true},
        // Touches the border in the first rows only, then leaves a white wedge to its left.
        {"strip turned with the page", [](int y) { return y / 8; }, [](int y) { return 10 + y / 8; }, true},
        {"strip as wide as an eighth of the page", [](int) { return 0; }, [](int) { return 30; }, false},
        {"dark run away from the border", [](int) { return 6; }, [](int) { return 12; }, false},
        // A shadow's end fraying into specks with one bright pixel between them.
        {"strip with a ragged end", [](int) { return 0; }, [](int) { return 12; }, true, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        GreyImage page = whitePage(240, 120);
        for (int y = 0; y < page.height; ++y) {
            for (int x = c.darkFrom(y); x < c.darkTo(y) + c.raggedEndPx; ++x) {
                if (x < c.darkTo(y) || (x - c.darkTo(y)) % 2 == 1) {
                    page.levels[static_cast<std::size_t>(y) * page.width + x] = 60;
                }
            }
            if (y % 10 < 2) {
                for (int x = 100; x < 150; ++x) {
                    darken(page, x, y);
                }
            }
        }
        const GreyImage before = page;
        readLeftStripAsPaper(page);
        int changed = 0;
        int wrong = 0;
        for (int y = 0; y < page.height; ++y) {
            for (int x = 0; x < page.width; ++x) {
                const bool inStrip = c.strip && x >= c.darkFrom(y) && x < c.darkTo(y) + c.raggedEndPx;
                changed += page.at(x, y) != before.at(x, y);
                wrong += page.at(x, y) != (inStrip ? 255 : before.at(x, y));
            }
        }
        EXPECT_EQ(wrong, 0) << changed << " pixels changed";
    }
}

// The grey page as loading, turning with the library and converting to 8 bits give it, each byte
// read through the 8-bit image's palette; a 4-bit page is turned exactly (the library does not turn
// 4 bits).
GreyImage referenceGrey(const std::string& file, int turns)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    FreeImageBitmap image = ownFreeImage(fi, fi.LoadU(FIF_BMP, file));
    if (turns != 0) {
        const double angles[] = {0.0, 270.0, 180.0, 90.0};
        image = fi.GetBPP(image.get()) == 4
                    ? QuarterTurn(fi, image.get(), turns)
                    : ownFreeImage(fi, fi.Rotate(image.get(), angles[turns], nullptr));
    }
    if (fi.GetBPP(image.get()) != 8) {
        image = ownFreeImage(fi, fi.ConvertTo8Bits(image.get()));
    }
    const std::array<std::uint8_t, 256> levels = paletteGreyLevels(fi, image.get());
    GreyImage grey;
    grey.width = static_cast<int>(fi.GetWidth(image.get()));
    grey.height = static_cast<int>(fi.GetHeight(image.get()));
    for (int y = 0; y < grey.height; ++y) {
        const BYTE* row = rowFromTop(fi, image.get(), static_cast<unsigned>(y));
        for (int x = 0; x < grey.width; ++x) {
            grey.levels.push_back(levels[row[x]]);
        }
    }
    return grey;
}

// The clean page in each depth a page can have, each with its grey palette.
std::vector<std::pair<std::string, FreeImageBitmap>> pageInEveryDepth(FIBITMAP* page)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    std::vector<std::pair<std::string, FreeImageBitmap>> pages;
    FreeImageBitmap grey = ownFreeImage(fi, fi.ConvertTo8Bits(page));
    FreeImageBitmap blackWhite = ownFreeImage(fi, fi.Threshold(grey.get(), 128));
    // The same 1-bit picture with the palette white, black, as imported TIFF pages may have.
    FreeImageBitmap whiteBlack = ownFreeImage(fi, fi.Clone(blackWhite.get()));
    for (unsigned y = 0; y < fi.GetHeight(whiteBlack.get()); ++y) {
        BYTE* row = fi.GetScanLine(whiteBlack.get(), static_cast<int>(y));
        for (unsigned i = 0; i < fi.GetPitch(whiteBlack.get()); ++i) {
            row[i] = static_cast<BYTE>(~row[i]);
        }
    }
    fi.GetPalette(whiteBlack.get())[0] = {255, 255, 255, 0};
    fi.GetPalette(whiteBlack.get())[1] = {0, 0, 0, 0};
    // An 8-bit page whose palette runs from white to black.
    FreeImageBitmap reversed = ownFreeImage(fi, fi.Clone(grey.get()));
    for (unsigned y = 0; y < fi.GetHeight(reversed.get()); ++y) {
        BYTE* row = fi.GetScanLine(reversed.get(), static_cast<int>(y));
        for (unsigned i = 0; i < fi.GetWidth(reversed.get()); ++i) {
            row[i] = static_cast<BYTE>(255 - row[i]);
        }
    }
    for (int i = 0; i < 256; ++i) {
        const auto level = static_cast<BYTE>(255 - i);
        fi.GetPalette(reversed.get())[i] = {level, level, level, 0};
    }
    pages.emplace_back("1-bit black, white", std::move(blackWhite));
    pages.emplace_back("1-bit white, black", std::move(whiteBlack));
    pages.emplace_back("4-bit", ownFreeImage(fi, fi.ConvertTo4Bits(page)));
    pages.emplace_back("8-bit palette", std::move(reversed));
    pages.emplace_back("8-bit grey", std::move(grey));
    pages.emplace_back("24-bit", ownFreeImage(fi, fi.Clone(page)));
    pages.emplace_back("32-bit", ownFreeImage(fi, fi.ConvertTo32Bits(page)));
    return pages;
}

TEST(StraightenTurnsTest, PendingTurnsEqualThePageTurnedBeforehandInEveryDepth)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    testing::TempDir dir;
    testing::CleanPageLayout half;
    half.widthPx = 1240;
    half.heightPx = 1754;
    const FreeImageBitmap clean = testing::makeCleanPage(fi, 1.5, half);
    for (const auto& [label, page] : pageInEveryDepth(clean.get())) {
        ASSERT_NE(page, nullptr) << label;
        const std::string file = dir.file("seite.bmp");
        ASSERT_TRUE(SavePageBmp(fi, page.get(), file));
        const FreeImageBitmap loaded = ownFreeImage(fi, fi.LoadU(FIF_BMP, file));
        // Upright, both methods see the page through its palette, whatever the depth.
        EXPECT_EQ(AutoStraightenType1(fi, 1, file, 0, NoStraightenAngle), -1.5) << label;
        EXPECT_NEAR(AutoStraightenType2(fi, 1, file, 0), -1.5, 0.2) << label;
        for (const std::uint8_t turns : {1, 2, 3}) {
            SCOPED_TRACE(label + ", turns " + std::to_string(turns));
            const GreyImage reference = referenceGrey(file, turns);
            const std::optional<GreyImage> prepared = preparedGreyImage(fi, loaded.get(), turns);
            ASSERT_TRUE(prepared.has_value());
            EXPECT_EQ(prepared->width, reference.width);
            EXPECT_EQ(prepared->height, reference.height);
            EXPECT_TRUE(prepared->levels == reference.levels);

            const std::string turnedFile = dir.file("gedreht.bmp");
            ASSERT_TRUE(SavePageBmp(fi, QuarterTurn(fi, page.get(), turns).get(), turnedFile));
            const double type1 = AutoStraightenType1(fi, 1, file, turns, NoStraightenAngle);
            const double type2 = AutoStraightenType2(fi, 1, file, turns);
            EXPECT_EQ(type1, AutoStraightenType1(fi, 1, turnedFile, 0, NoStraightenAngle));
            EXPECT_EQ(type2, AutoStraightenType2(fi, 1, turnedFile, 0));
            EXPECT_EQ(type1, straightenType1(reference));
            EXPECT_EQ(type2, straightenType2(reference));
        }
    }
}

TEST(StraightenTurnsTest, ColoursAroundTheThresholdAreJudgedAsTheirGreyLevel)
{
    // Random colours whose grey level is 169 or 170, so every sample's verdict counts.
    const FreeImageFunctionTable& fi = imageLibrary();
    std::mt19937 random(17);
    std::uniform_int_distribution<int> byte(0, 255);
    const FreeImageBitmap page = ownFreeImage(fi, fi.Allocate(640, 480, 24, 0, 0, 0));
    for (unsigned y = 0; y < 480; ++y) {
        BYTE* row = rowFromTop(fi, page.get(), y);
        for (unsigned x = 0; x < 640; ++x) {
            BYTE red = 0;
            BYTE green = 0;
            BYTE blue = 0;
            do {
                red = static_cast<BYTE>(byte(random));
                green = static_cast<BYTE>(byte(random));
                blue = static_cast<BYTE>(byte(random));
            } while (greyLevel(red, green, blue) != 169 && greyLevel(red, green, blue) != 170);
            row[3 * x + FI_RGBA_RED] = red;
            row[3 * x + FI_RGBA_GREEN] = green;
            row[3 * x + FI_RGBA_BLUE] = blue;
        }
    }
    for (const std::uint8_t turns : {0, 1, 2, 3}) {
        SCOPED_TRACE(turns);
        const std::optional<GreyImage> grey = preparedGreyImage(fi, page.get(), turns);
        ASSERT_TRUE(grey.has_value());
        EXPECT_EQ(straightenType2(fi, page.get(), turns), straightenType2(*grey));
        EXPECT_EQ(straightenType1(fi, page.get(), turns), straightenType1(*grey));
    }
}

// A 24-bit page whose rows come in six kinds: every channel 170-175 (groups of bright pixels close to
// the threshold), every channel 160-169 (dark ones), every channel 169 or 170 (grey levels 169 and
// 170 side by side), runs of 8 bright and 8 dark pixels taking turns, random colours, and two channels
// 170-175 with the third one random (which channel changes from one such row to the next); and in
// row 2 the colours whose grey level the integer weights alone would get wrong.
FreeImageBitmap thresholdColourPage(int width, int height)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    std::mt19937 random(5);
    // Bright, dark, straddling, random.
    const std::pair<int, int> levels[] = {{170, 175}, {160, 169}, {169, 170}, {0, 255}};
    FreeImageBitmap page = ownFreeImage(
        fi, fi.Allocate(width, height, 24, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK));
    for (int y = 0; y < height; ++y) {
        BYTE* row = rowFromTop(fi, page.get(), static_cast<unsigned>(y));
        for (int x = 0; x < width; ++x) {
            for (int channel = 0; channel < 3; ++channel) {
                int kind = y % 6;
                if (kind == 3) {
                    kind = (x / 8) % 2;
                } else if (kind == 4) {
                    kind = 3;
                } else if (kind == 5) {
                    kind = channel == (y / 6) % 3 ? 3 : 0;
                }
                std::uniform_int_distribution<int> level(levels[kind].first, levels[kind].second);
                row[3 * x + channel] = static_cast<BYTE>(level(random));
            }
        }
    }
    // The two colours whose weighted sum is 169.5 exactly, which single precision takes to grey 169.
    const BYTE halfway[2][3] = {{55, 205, 155}, {120, 188, 132}};
    for (int i = 0; i < 2; ++i) {
        BYTE* pixel = rowFromTop(fi, page.get(), 2) + 3 * (5 + i);
        pixel[FI_RGBA_RED] = halfway[i][0];
        pixel[FI_RGBA_GREEN] = halfway[i][1];
        pixel[FI_RGBA_BLUE] = halfway[i][2];
        EXPECT_EQ(greyLevel(halfway[i][0], halfway[i][1], halfway[i][2]), 169);
    }
    return page;
}

TEST(StraightenMaskTest, DarkBitsEqualTheGreyPageInEveryDepthAndTurn)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    std::mt19937 random(9);
    // 200 px: three whole groups of 64 and a short one; 128 px: rows of whole words.
    for (const auto& [width, height] : {std::pair{200, 70}, std::pair{128, 33}}) {
        const FreeImageBitmap colours = thresholdColourPage(width, height);
        for (const auto& [label, page] : pageInEveryDepth(colours.get())) {
            ASSERT_NE(page, nullptr) << label;
            if (fi.GetBPP(page.get()) == 32) {
                // Alpha is no channel of the grey level; kept bright, it would hide a channel left
                // out of a group's range.
                std::uniform_int_distribution<int> alpha(170, 255);
                for (int y = 0; y < height; ++y) {
                    BYTE* row = rowFromTop(fi, page.get(), static_cast<unsigned>(y));
                    for (int x = 0; x < width; ++x) {
                        row[4 * x + FI_RGBA_ALPHA] = static_cast<BYTE>(alpha(random));
                    }
                }
            }
            for (const std::uint8_t turns : {0, 1, 2, 3}) {
                SCOPED_TRACE(label + " " + std::to_string(width) + ", turns " + std::to_string(turns));
                const std::optional<DarkMask> mask = preparedDarkMask(fi, page.get(), turns);
                const std::optional<GreyImage> grey = preparedGreyImage(fi, page.get(), turns);
                ASSERT_TRUE(mask.has_value() && grey.has_value());
                ASSERT_EQ(mask->width, grey->width);
                ASSERT_EQ(mask->height, grey->height);
                ASSERT_EQ(mask->wordsPerRow, bitWords(mask->width));
                int wrong = 0;
                int darkPixels = 0;
                for (int y = 0; y < grey->height; ++y) {
                    for (int x = 0; x < grey->width; ++x) {
                        wrong += mask->dark(x, y) != (grey->at(x, y) < 170);
                        darkPixels += grey->at(x, y) < 170;
                    }
                    if (mask->width % 64 != 0) {
                        const std::uint64_t last =
                            mask->words[static_cast<std::size_t>(y + 1) * mask->wordsPerRow - 1];
                        wrong += (last >> (mask->width % 64)) != 0;
                    }
                }
                EXPECT_EQ(wrong, 0);
                // Both sides of the threshold occur.
                EXPECT_GT(darkPixels, 0);
                EXPECT_LT(darkPixels, width * height);
            }
        }
    }
}

// The dark pixels of a grey page as bits.
DarkMask darkMaskOf(const GreyImage& page)
{
    DarkMask mask;
    mask.width = page.width;
    mask.height = page.height;
    mask.wordsPerRow = bitWords(page.width);
    mask.words.assign(mask.wordsPerRow * static_cast<std::size_t>(page.height), 0);
    for (int y = 0; y < page.height; ++y) {
        for (int x = 0; x < page.width; ++x) {
            if (page.at(x, y) < 170) {
                mask.words
                    [static_cast<std::size_t>(y) * mask.wordsPerRow + static_cast<std::size_t>(x) / 64] |=
                    std::uint64_t{1} << (x % 64);
            }
        }
    }
    return mask;
}

TEST(StraightenMaskTest, AllLinesAtOnceScoreAsOneLineAfterTheOther)
{
    struct Case
    {
        const char* label;
        int width;
        int height;
        double darkShare;
        int edgeRows; // above 0: dark pixels only in the first and last edgeRows rows
    };

    const Case cases[] = {
        {"blank", 300, 200, 0.0, 0},
        {"sparse specks: lines leave at the top and the bottom", 300, 200, 0.002, 0},
        {"dense specks", 300, 200, 0.05, 0},
        {"all dark", 120, 90, 1.0, 0},
        {"specks along the top and bottom edges", 400, 300, 0.03, 12},
        {"100 lines: two words of lines", 250, 1500, 0.001, 0},
        {"134 lines, narrow", 90, 2000, 0.01, 0},
        {"one column", 1, 50, 0.05, 0},
        {"fewer rows than the line spacing", 500, 9, 0.01, 0},
        {"wide and low", 1500, 40, 0.002, 0},
    };
    std::mt19937 random(23);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::bernoulli_distribution isDark(c.darkShare);
        std::uniform_int_distribution<int> darkLevel(0, 169);
        std::uniform_int_distribution<int> brightLevel(170, 255);
        GreyImage page = whitePage(c.width, c.height);
        for (int y = 0; y < c.height; ++y) {
            const bool nearEdge = y < c.edgeRows || y >= c.height - c.edgeRows;
            for (int x = 0; x < c.width; ++x) {
                const bool dark = (c.edgeRows == 0 || nearEdge) && isDark(random);
                page.levels[static_cast<std::size_t>(y) * c.width + x] =
                    static_cast<std::uint8_t>(dark ? darkLevel(random) : brightLevel(random));
            }
        }
        const CandidateScores oneByOne = type2Scores(page);
        const CandidateScores atOnce = type2Scores(darkMaskOf(page));
        EXPECT_EQ(atOnce.scores, oneByOne.scores);
        EXPECT_EQ(atOnce.metDark, oneByOne.metDark);
        EXPECT_EQ(straightenType2(darkMaskOf(page)), straightenType2(page));
    }
}

} // namespace
} // namespace folvex
