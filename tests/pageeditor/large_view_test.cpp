#include "pageeditor/large_view.h"

#include "imageops/raster.h"
#include "support/image_fixtures.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace folvex {
namespace {

using testing::libraryColourAt;
using testing::realFunctions;

TEST(LargeViewTest, FitsThePageIntoTheScreenLessTheMarginWithoutEnlarging)
{
    struct Case
    {
        std::int32_t width;
        std::int32_t height;
        std::int32_t screenWidth;
        std::int32_t screenHeight;
        LargeViewSize expected;
    };

    const Case cases[] = {
        {2480, 3508, 1920, 1080, {657, 930}},  // portrait: the height sets the scale
        {4000, 1000, 1920, 1080, {1770, 442}}, // landscape: the width sets it
        {850, 1200, 1920, 1080, {658, 930}},   // only the height is too large
        {500, 400, 1920, 1080, {500, 400}},    // small pages are not enlarged
        {1770, 930, 1920, 1080, {1770, 930}},  // exactly the room
        {2000, 1900, 1920, 1080, {979, 930}},  // wider than high, still too high after the width
        {1000, 1000, 800, 1200, {650, 650}},   // square on a portrait screen: the width rule follows
        {2000, 600, 800, 600, {650, 195}},     // the offscreen screen
        {300, 300, 100, 100, {1, 1}},          // a screen smaller than the margin
    };
    for (const Case& c : cases) {
        EXPECT_EQ(largeViewSize(c.width, c.height, c.screenWidth, c.screenHeight), c.expected)
            << c.width << " x " << c.height << " on " << c.screenWidth << " x " << c.screenHeight;
    }
}

// A 24-bit page of one colour with a red pixel at the top-left corner, saved as BMP.
void writeMarkedPage(const std::string& path, int width, int height, BYTE grey)
{
    const FreeImageFunctionTable& f = realFunctions();
    FreeImageBitmap page = ownFreeImage(f, f.Allocate(width, height, 24, 0, 0, 0));
    RGBQUAD colour{grey, grey, grey, 0};
    f.FillBackground(page.get(), &colour, 0);
    BYTE* top = f.GetScanLine(page.get(), height - 1);
    top[FI_RGBA_RED] = 255;
    top[FI_RGBA_GREEN] = 0;
    top[FI_RGBA_BLUE] = 0;
    ASSERT_TRUE(f.SaveU(FIF_BMP, page.get(), path, 0));
}

TEST(LargeViewTest, ShowsTheWorkingCopyTurnedAndScaled)
{
    const FreeImageFunctionTable& f = realFunctions();
    testing::TempDir folder;
    const std::string page = folder.file("TmpReadyImg1.bmp");
    writeMarkedPage(page, 40, 20, 60);

    // One quarter turn clockwise: the top-left corner goes to the top right.
    FreeImageBitmap turned = largeViewImage(f, page, 1, 0.0, 1920, 1080);
    ASSERT_TRUE(turned);
    EXPECT_EQ(f.GetWidth(turned.get()), 20U);
    EXPECT_EQ(f.GetHeight(turned.get()), 40U);
    EXPECT_EQ(libraryColourAt(turned.get(), 19, 0), 0xFF0000U);
    EXPECT_EQ(libraryColourAt(turned.get(), 0, 0), 0x3C3C3CU);

    // The working copy is shown in place of the page.
    writeMarkedPage(workingCopyPath(page), 40, 20, 200);
    FreeImageBitmap edited = largeViewImage(f, page, 0, 0.0, 1920, 1080);
    ASSERT_TRUE(edited);
    EXPECT_EQ(libraryColourAt(edited.get(), 5, 5), 0xC8C8C8U);
    EXPECT_EQ(libraryColourAt(edited.get(), 0, 0), 0xFF0000U);

    // Too wide for an 800 × 600 screen: scaled to 650 wide.
    writeMarkedPage(page, 2000, 600, 60);
    std::filesystem::remove(workingCopyPath(page));
    FreeImageBitmap scaled = largeViewImage(f, page, 2, 0.0, 800, 600);
    ASSERT_TRUE(scaled);
    EXPECT_EQ(f.GetWidth(scaled.get()), 650U);
    EXPECT_EQ(f.GetHeight(scaled.get()), 195U);
}

TEST(LargeViewTest, FreeAngleKeepsSizeAndDepthWithWhiteCorners)
{
    const FreeImageFunctionTable& f = realFunctions();
    testing::TempDir folder;
    const std::string page = folder.file("TmpReadyImg1.bmp");
    FreeImageBitmap black = ownFreeImage(f, f.Allocate(60, 40, 1, 0, 0, 0));
    RGBQUAD* palette = f.GetPalette(black.get());
    palette[0] = {0, 0, 0, 0};
    palette[1] = {255, 255, 255, 0};
    ASSERT_TRUE(f.SaveU(FIF_BMP, black.get(), page, 0));

    FreeImageBitmap shown = largeViewImage(f, page, 0, 10.0, 1920, 1080);
    ASSERT_TRUE(shown);
    EXPECT_EQ(f.GetWidth(shown.get()), 60U);
    EXPECT_EQ(f.GetHeight(shown.get()), 40U);
    EXPECT_EQ(f.GetBPP(shown.get()), 1U);
    EXPECT_EQ(libraryColourAt(shown.get(), 0, 0), 0xFFFFFFU);
    EXPECT_EQ(libraryColourAt(shown.get(), 59, 39), 0xFFFFFFU);
    EXPECT_EQ(libraryColourAt(shown.get(), 30, 20), 0x000000U);
}

class RecordingLargeViewPort final : public LargeViewPort
{
public:
    std::int32_t screenWidth() override { return 800; }

    std::int32_t screenHeight() override { return 600; }

    void showImage(FIBITMAP* image) override
    {
        shown.push_back(
            std::to_string(realFunctions().GetWidth(image)) + " x " +
            std::to_string(realFunctions().GetHeight(image)));
    }

    void showNote(const std::string& text) override { notes.push_back(text); }

    std::vector<std::string> shown;
    std::vector<std::string> notes;
};

TEST(LargeViewTest, ShowsTheTablesPageOrNotesThatItCannot)
{
    const FreeImageFunctionTable& f = realFunctions();
    testing::TempDir folder;
    PageTable table;
    table.rows.resize(2);
    table.rows[0].path = folder.file("TmpReadyImg1.bmp");
    table.rows[1].path = folder.file("TmpReadyImg2.bmp");
    writeMarkedPage(table.rows[0].path, 300, 200, 60);
    testing::writeFile(table.rows[1].path, "not a bitmap");

    RecordingLargeViewPort port;
    EXPECT_EQ(ShowPageLarge(f, port, 1, 3, table, 0.0), 0);
    EXPECT_EQ(port.shown, std::vector<std::string>{"200 x 300"});
    EXPECT_EQ(ShowPageLarge(f, port, 2, 0, table, 0.0), 0);
    ASSERT_EQ(port.notes.size(), 1U);
    EXPECT_EQ(port.notes[0].rfind("Seite 2 kann nicht angezeigt werden.", 0), 0U) << port.notes[0];
    // No page at all (no click recorded) shows nothing.
    EXPECT_EQ(ShowPageLarge(f, port, 0, 0, table, 0.0), 0);
    EXPECT_EQ(port.shown.size() + port.notes.size(), 2U);
}

} // namespace
} // namespace folvex
