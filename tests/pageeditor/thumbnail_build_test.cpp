#include "pageeditor/thumbnail_build.h"

#include "foundation/blank_page.h"
#include "imageops/raster.h"
#include "support/image_fixtures.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace folvex {
namespace {

using testing::realFunctions;

TEST(ThumbnailShapeTest, FitsPagesIntoTheSquareWithoutEnlarging)
{
    struct Case
    {
        std::int32_t width, height;
        ThumbnailShape shape;
    };

    const std::vector<Case> cases{
        {3000, 2000, {250, 166, true, false, 0, 0}},
        {300, 200, {250, 166, true, true, 0, 42}},
        {200, 100, {200, 100, false, true, 25, 75}},
        {2000, 3000, {166, 250, true, false, 0, 0}},
        {200, 300, {166, 250, true, true, 42, 0}},
        {250, 250, {250, 250, false, true, 0, 0}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(thumbnailShape(c.width, c.height, 250), c.shape) << c.width << " x " << c.height;
    }
}

TEST(ThumbnailShapeTest, LightensGreyTowardsWhite)
{
    EXPECT_EQ(lightenedGrey(0), 170);
    EXPECT_EQ(lightenedGrey(255), 255);
    EXPECT_EQ(lightenedGrey(100), 203);
}

TEST(ThumbnailCaptionsTest, NamesFilesOnlyWhenAToggleIsPressed)
{
    std::vector<bool> pressed(5);
    pressed[2] = true;
    pressed[4] = true;
    EXPECT_EQ(
        thumbnailCaptions(5, pressed),
        (std::vector<std::string>{
            "",
            "Datei 1, Seite 1",
            "Datei 1, Seite 2",
            "Datei 2, Seite 1",
            "Datei 2, Seite 2",
            "Datei 3, Seite 1 / Ref.-Bild"}));
    EXPECT_EQ(
        thumbnailCaptions(5, {}),
        (std::vector<std::string>{"", "Seite 1", "Seite 2", "Seite 3", "Seite 4", "Seite 5 / Ref.-Bild"}));
    EXPECT_EQ(thumbnailCaptions(1, {}), (std::vector<std::string>{"", "Seite 1"}));
}

// A 24-bit page of one colour saved as BMP with the given dots per metre.
void writePage(const std::string& path, unsigned width, unsigned height, BYTE grey, unsigned dpm)
{
    const FreeImageFunctionTable& f = realFunctions();
    FIBITMAP* page = f.Allocate(static_cast<int>(width), static_cast<int>(height), 24, 0, 0, 0);
    RGBQUAD colour{grey, grey, grey, 0};
    f.FillBackground(page, &colour, 0);
    f.SetDotsPerMeterX(page, dpm);
    f.SetDotsPerMeterY(page, dpm);
    ASSERT_TRUE(f.SaveU(FIF_BMP, page, path, 0));
    f.Unload(page);
}

class BuildThumbnailTest : public ::testing::Test
{
protected:
    ThumbnailJob job(const std::string& name)
    {
        ThumbnailJob j;
        j.pagePath = dir.file(name);
        j.thumbnailSize = 100;
        return j;
    }

    testing::TempDir dir;
};

TEST_F(BuildThumbnailTest, RecordsTheResolutionOfThePageFileOnly)
{
    writePage(dir.file("TmpReadyImg1.bmp"), 300, 200, 40, 11811);
    writePage(dir.file("TmpReadyImg2.bmp"), 300, 200, 40, 0);
    writePage(dir.file("TmpReadyImg3.bmp"), 300, 200, 40, 11811);
    writePage(dir.file("TmpReadyImg3_edited.bmp"), 300, 200, 40, 11811);

    EXPECT_EQ(buildThumbnail(realFunctions(), job("TmpReadyImg1.bmp")).dpiText, "300");
    EXPECT_EQ(buildThumbnail(realFunctions(), job("TmpReadyImg2.bmp")).dpiText, "200");
    const ThumbnailResult edited = buildThumbnail(realFunctions(), job("TmpReadyImg3.bmp"));
    EXPECT_TRUE(edited.loaded);
    EXPECT_EQ(edited.dpiText, "");
}

TEST_F(BuildThumbnailTest, BlankTestMarksOnlyWhenAskedAndLightensMarkedPages)
{
    writePage(dir.file("TmpReadyImg1.bmp"), 300, 200, 255, 0);
    ThumbnailJob blank = job("TmpReadyImg1.bmp");
    EXPECT_FALSE(buildThumbnail(realFunctions(), blank).blank);

    blank.blankTest = true;
    const ThumbnailResult tested = buildThumbnail(realFunctions(), blank);
    EXPECT_TRUE(tested.blank);
    EXPECT_TRUE(tested.marked);

    // A dark page marked for deletion shows lightened grey: black becomes 170.
    writePage(dir.file("TmpReadyImg2.bmp"), 300, 200, 0, 0);
    ThumbnailJob marked = job("TmpReadyImg2.bmp");
    marked.markedForDeletion = true;
    marked.blankTest = true;
    const ThumbnailResult result = buildThumbnail(realFunctions(), marked);
    EXPECT_FALSE(result.blank);
    ASSERT_TRUE(result.image);
    EXPECT_EQ(realFunctions().GetBPP(result.image.get()), 24U);
    EXPECT_EQ(testing::libraryColourAt(result.image.get(), 50, 50), 0xAAAAAAU);
    EXPECT_EQ(realFunctions().GetHeight(result.image.get()), 66U);
}

TEST_F(BuildThumbnailTest, UnreadablePageGivesAnEmptyTileAndIsNotTested)
{
    std::string bytes = "BM not an image";
    FILE* file = std::fopen(dir.file("TmpReadyImg1.bmp").c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    ThumbnailJob broken = job("TmpReadyImg1.bmp");
    broken.blankTest = true;
    const ThumbnailResult result = buildThumbnail(realFunctions(), broken);
    EXPECT_FALSE(result.loaded);
    EXPECT_FALSE(result.blank);
    EXPECT_FALSE(result.marked);
    EXPECT_EQ(result.dpiText, "");
    ASSERT_TRUE(result.image);
    EXPECT_EQ(realFunctions().GetWidth(result.image.get()), 100U);
    EXPECT_EQ(testing::libraryColourAt(result.image.get(), 0, 0), 0xFFEFD5U);
}

TEST_F(BuildThumbnailTest, PendingTurnsAndAngleKeepTheThumbnailSize)
{
    writePage(dir.file("TmpReadyImg1.bmp"), 3000, 2000, 0, 0);
    ThumbnailJob turned = job("TmpReadyImg1.bmp");
    turned.turns = 1;
    ThumbnailResult result = buildThumbnail(realFunctions(), turned);
    EXPECT_EQ(realFunctions().GetWidth(result.image.get()), 66U);
    EXPECT_EQ(realFunctions().GetHeight(result.image.get()), 100U);

    turned.turns = 0;
    turned.angleDeg = 20.0;
    result = buildThumbnail(realFunctions(), turned);
    EXPECT_EQ(realFunctions().GetWidth(result.image.get()), 100U);
    EXPECT_EQ(realFunctions().GetHeight(result.image.get()), 66U);
    EXPECT_EQ(testing::libraryColourAt(result.image.get(), 0, 0), 0xFFFFFFU);
    EXPECT_EQ(testing::libraryColourAt(result.image.get(), 50, 33), 0x000000U);
}

} // namespace
} // namespace folvex

namespace folvex {
namespace {

// A 24-bit page with a random share of white pixels and grey ones just below the white level.
void writeSpeckledPage(const std::string& path, int width, int height, double whiteShare, unsigned seed)
{
    const FreeImageFunctionTable& f = realFunctions();
    FIBITMAP* page = f.Allocate(width, height, 24, 0, 0, 0);
    std::mt19937 random(seed);
    std::bernoulli_distribution white(whiteShare);
    for (int y = 0; y < height; ++y) {
        BYTE* row = f.GetScanLine(page, y);
        for (int x = 0; x < width; ++x) {
            const bool w = white(random);
            row[3 * x] = w ? 251 : 249;
            row[3 * x + 1] = w ? 255 : static_cast<BYTE>(random() % 256);
            row[3 * x + 2] = 250;
        }
    }
    ASSERT_TRUE(f.SaveU(FIF_BMP, page, path, 0));
    f.Unload(page);
}

TEST_F(BuildThumbnailTest, ReadingThePageRowByRowAnswersAsTheLibraryAndTheBlankTest)
{
    const FreeImageFunctionTable& f = realFunctions();
    for (const double share : {0.97, 0.985, 0.995}) {
        writeSpeckledPage(dir.file("TmpReadyImg1.bmp"), 613, 401, share, 7);
        FreeImageBitmap page = ownFreeImage(f, f.LoadU(FIF_BMP, dir.file("TmpReadyImg1.bmp"), 0));
        const Handle bitmap = FreeImageToHBitmap(f, page.get());
        for (const int step : {1, 3, 5}) {
            ThumbnailJob streamed = job("TmpReadyImg1.bmp");
            streamed.blankTest = true;
            streamed.profile = {98.5F, step, 250};
            const ThumbnailResult result = buildThumbnail(f, streamed);
            EXPECT_EQ(result.blank, IsPicBlank(bitmap, 613, 401, 98.5F, step, 250) == 1)
                << share << " step " << step;

            bool blank = false;
            FreeImageBitmap loaded = makeThumbnailImage(f, page.get(), 100, &streamed.profile, &blank);
            EXPECT_EQ(blank, result.blank);
            // Unmarked, the page read row by row shows what the loaded page shows.
            streamed.blankTest = false;
            const ThumbnailResult unmarked = buildThumbnail(f, streamed);
            ASSERT_EQ(f.GetHeight(loaded.get()), f.GetHeight(unmarked.image.get()));
            for (unsigned y = 0; y < f.GetHeight(loaded.get()); ++y) {
                ASSERT_EQ(
                    std::memcmp(rowFromTop(f, loaded.get(), y), rowFromTop(f, unmarked.image.get(), y), 300),
                    0);
            }
        }
        FreeHBitmap(bitmap);
    }
}

TEST(AreaAverageTest, EveryTargetPixelIsTheMeanOfItsBox)
{
    const FreeImageFunctionTable& f = realFunctions();
    // 5 × 2 to 2 × 1: the centres 0.5, 1.5 fall into the first box, 2.5, 3.5, 4.5 into the second.
    FreeImageBitmap page = ownFreeImage(f, f.Allocate(5, 2, 24, 0, 0, 0));
    const BYTE values[2][5] = {{0, 30, 60, 90, 120}, {10, 40, 70, 100, 131}};
    for (unsigned y = 0; y < 2; ++y) {
        BYTE* row = rowFromTop(f, page.get(), y);
        for (int x = 0; x < 5; ++x) {
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = values[y][x];
        }
    }
    bool blank = true;
    FreeImageBitmap reduced = areaAverage24(f, page.get(), 2, 1, nullptr, blank);
    EXPECT_FALSE(blank);
    const BYTE* row = rowFromTop(f, reduced.get(), 0);
    EXPECT_EQ(row[0], 20); // (0 + 30 + 10 + 40) / 4
    EXPECT_EQ(row[3], 95); // (60 + 90 + 120 + 70 + 100 + 131) / 6 = 95.17
}

} // namespace
} // namespace folvex

namespace folvex {
namespace {

TEST(ThumbnailTileTest, SmallPagesOfAnyDepthArePastedOnTheTile)
{
    const FreeImageFunctionTable& f = realFunctions();
    for (const unsigned bits : {1U, 8U, 24U, 32U}) {
        std::string rgb;
        testing::ImagePtr page(testing::makeLibraryImage(80, 60, bits, rgb));
        FreeImageBitmap thumbnail = makeThumbnailImage(f, page.get(), 100);
        ASSERT_TRUE(thumbnail) << bits;
        EXPECT_EQ(f.GetBPP(thumbnail.get()), 24U);
        EXPECT_EQ(testing::libraryColourAt(thumbnail.get(), 5, 5), 0xFFEFD5U) << bits;
        // The page's top-left pixel stands at (10, 20) of the tile.
        const std::uint32_t expected = static_cast<std::uint32_t>(static_cast<unsigned char>(rgb[0])) << 16 |
                                       static_cast<std::uint32_t>(static_cast<unsigned char>(rgb[1])) << 8 |
                                       static_cast<unsigned char>(rgb[2]);
        EXPECT_EQ(testing::libraryColourAt(thumbnail.get(), 10, 20), expected) << bits;
    }
}

} // namespace
} // namespace folvex
