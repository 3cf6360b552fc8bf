#include "imageops/paginate.h"

#include "imageops/raster.h"
#include "imageops_fixtures.h"
#include "page_ops_fakes.h"
#include "runtime/qt_text_renderer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace folvex {
namespace {

using testing::imageLibrary;
using testing::TempDir;

constexpr unsigned Dpm300 = 11811;

using testing::FakePage;
using FakeContext = testing::FakePageContext;

FreeImageBitmap
solidPage(unsigned width, unsigned height, BYTE red, BYTE green, BYTE blue, unsigned dpm = Dpm300)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    FreeImageBitmap image =
        ownFreeImage(fi, fi.Allocate(static_cast<int>(width), static_cast<int>(height), 24, 0, 0, 0));
    for (unsigned y = 0; y < height; ++y) {
        BYTE* row = rowFromTop(fi, image.get(), y);
        for (unsigned x = 0; x < width; ++x) {
            row[3 * x + FI_RGBA_RED] = red;
            row[3 * x + FI_RGBA_GREEN] = green;
            row[3 * x + FI_RGBA_BLUE] = blue;
        }
    }
    fi.SetDotsPerMeterX(image.get(), dpm);
    fi.SetDotsPerMeterY(image.get(), dpm);
    return image;
}

// A page with a little structure, so that turned copies differ from each other.
FreeImageBitmap patternPage(unsigned width, unsigned height)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    FreeImageBitmap image = solidPage(width, height, 250, 245, 240);
    for (unsigned y = 0; y < height; ++y) {
        BYTE* row = rowFromTop(fi, image.get(), y);
        for (unsigned x = 0; x < width; ++x) {
            row[3 * x + FI_RGBA_RED] = static_cast<BYTE>(200 + (x * 7 + y * 3) % 50);
            row[3 * x + FI_RGBA_GREEN] = static_cast<BYTE>(200 + (x + y) % 40);
        }
    }
    return image;
}

// The colour of pixel (x, y), y from the top, for palette images too.
RGBQUAD colourAt(FIBITMAP* image, unsigned x, unsigned y)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    if (fi.GetBPP(image) <= 8) {
        return fi.GetPalette(image)[testing::pixelValue(image, x, y)];
    }
    RGBQUAD colour{};
    fi.GetPixelColor(image, x, fi.GetHeight(image) - 1 - y, &colour);
    return colour;
}

bool sameColour(const RGBQUAD& a, const RGBQUAD& b)
{
    return a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue;
}

struct Box
{
    std::int64_t left = 0;
    std::int64_t top = 0;
    std::int64_t right = 0; // included
    std::int64_t bottom = 0;

    bool contains(std::int64_t x, std::int64_t y, std::int64_t widen = 0) const
    {
        return x >= left - widen && x <= right + widen && y >= top - widen && y <= bottom + widen;
    }
};

// The area the number's text covers on a page as shown, from the sizes and the renderer's metrics.
Box textBox(TextRenderer& renderer, unsigned width, unsigned height, std::int32_t dpi, std::int32_t n)
{
    const NumberSizes sizes = numberSizes(dpi);
    const TextExtent extent = renderer.measure(
        pageNumberText(n), PageNumberFont, PageNumberWeight, static_cast<std::int32_t>(sizes.pixelHeight));
    const std::int64_t cx = extent.advance;
    const std::int64_t cy = extent.ascent + extent.descent;
    const std::int64_t right = width - 1 - sizes.rightMargin - cx;
    const std::int64_t bottom = height - 1 - sizes.bottomMargin - cy;
    return {right - cx, bottom - cy, right, bottom};
}

class PaginateFixture : public ::testing::Test
{
protected:
    void SetUp() override { context.renderer = &renderer; }

    // Saves image as a new page file of the temporary folder and adds it to the context.
    FakePage& addPage(FIBITMAP* image, FakePage page = {})
    {
        page.path = folder.file("TmpReadyImg" + std::to_string(++m_files) + ".bmp");
        EXPECT_TRUE(SavePageBmp(imageLibrary(), image, page.path));
        context.pages.push_back(page);
        return context.pages.back();
    }

    FreeImageBitmap workingCopy(std::int32_t page)
    {
        return ownFreeImage(
            imageLibrary(),
            imageLibrary().LoadU(FIF_BMP, workingCopyPath(context.pages.at(page - 1).path), 0));
    }

    bool hasWorkingCopy(std::int32_t page)
    {
        return std::filesystem::exists(workingCopyPath(context.pages.at(page - 1).path));
    }

    TempDir folder;
    QtTextRenderer renderer;
    FakeContext context;

private:
    int m_files = 0;
};

TEST(PageNumbers, CountsEveryPageAndRestartsAtPressedTogglesOfSplittingTypes)
{
    struct Case
    {
        const char* name;
        std::vector<NumberingRow> rows;
        bool splitAware;
        std::vector<std::int32_t> expected;
    };

    auto tenPages = [](std::initializer_list<int> splitsBefore, std::initializer_list<int> marked) {
        std::vector<NumberingRow> rows(10);
        for (const int page : splitsBefore) {
            rows[static_cast<std::size_t>(page - 1)].splitBefore = true;
        }
        for (const int page : marked) {
            rows[static_cast<std::size_t>(page - 1)].marked = true;
        }
        return rows;
    };
    const std::vector<Case> cases = {
        {"split after 4", tenPages({5}, {}), true, {1, 2, 3, 4, 1, 2, 3, 4, 5, 6}},
        {"no split type", tenPages({5}, {}), false, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {"marked page counts", tenPages({}, {3}), true, {1, 2, 0, 4, 5, 6, 7, 8, 9, 10}},
        {"split right after a marked page", tenPages({4}, {3}), true, {1, 2, 0, 1, 2, 3, 4, 5, 6, 7}},
        {"split before a marked page", tenPages({3}, {3}), true, {1, 2, 0, 2, 3, 4, 5, 6, 7, 8}},
        {"toggle on page 1 is ignored", tenPages({1}, {}), true, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {"no pages", {}, true, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PageNumbers(c.rows, c.splitAware), c.expected) << c.name;
    }
}

TEST(PageNumbers, ReadsMarksTogglesAndTheDestinationTypeOfTheEditor)
{
    FakeContext context;
    context.pages.resize(6);
    context.pages[1].splitAfter = true; // toggle between pages 2 and 3
    context.pages[3].blank = true;
    context.pages[4].deleted = true;
    const std::vector<std::pair<std::string, std::vector<std::int32_t>>> cases = {
        {"PDF", {1, 2, 1, 0, 0, 4}},
        {"PDF+OCR", {1, 2, 1, 0, 0, 4}},
        {"mehrseitiges TIF", {1, 2, 1, 0, 0, 4}},
        {"JPG", {1, 2, 3, 0, 0, 6}},
        {"animiertes GIF", {1, 2, 3, 0, 0, 6}},
    };
    for (const auto& [type, expected] : cases) {
        for (const std::int32_t delEmpty : {0, 1}) {
            context.destination = type;
            context.delEmptyOnEdit = delEmpty;
            EXPECT_EQ(PageNumbers(numberingRows(context), destinationTypeSplits(type)), expected) << type;
        }
    }
}

TEST(PaginationSizes, ResolutionFromTheImageElseTheTableAndSizesFromIt)
{
    const FreeImageFunctionTable& fi = imageLibrary();

    struct DpiCase
    {
        unsigned dpmX;
        unsigned dpmY;
        const char* text;
        std::int32_t expected;
    };

    for (const DpiCase& c : std::vector<DpiCase>{
             {11811, 11811, "72", 300},
             {0, 11811, "72", 300},
             {0, 0, "200", 200},
             {0, 0, "200 dpi", 200},
             {0, 0, "", 0},
             {0, 0, "abc", 0},
         }) {
        FreeImageBitmap image = solidPage(4, 4, 255, 255, 255, 0);
        fi.SetDotsPerMeterX(image.get(), c.dpmX);
        fi.SetDotsPerMeterY(image.get(), c.dpmY);
        EXPECT_EQ(paginationDpi(fi, image.get(), c.text), c.expected)
            << c.dpmX << " " << c.dpmY << " " << c.text;
    }

    struct SizeCase
    {
        std::int32_t dpi;
        std::int64_t m, a, points, pixels;
    };

    for (const SizeCase& c : std::vector<SizeCase>{
             {300, 60, 30, 27, 36},
             {150, 30, 15, 14, 19},
             {250, 50, 25, 23, 31},
             {350, 70, 35, 32, 43},
             {305, 61, 30, 27, 36},
             {0, 0, 0, 0, 0},
         }) {
        const NumberSizes sizes = numberSizes(c.dpi);
        EXPECT_EQ(sizes.bottomMargin, c.m) << c.dpi;
        EXPECT_EQ(sizes.rightMargin, c.a) << c.dpi;
        EXPECT_EQ(sizes.points, c.points) << c.dpi;
        EXPECT_EQ(sizes.pixelHeight, c.pixels) << c.dpi;
    }
}

TEST_F(PaginateFixture, DrawsBlackNumberOnlyInsideItsBoxOnAWhitePage)
{
    FreeImageBitmap page = solidPage(2480, 3508, 255, 255, 255);
    addPage(page.get());
    Paginate(imageLibrary(), 1, context);

    FreeImageBitmap result = workingCopy(1);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(imageLibrary().GetBPP(result.get()), 24U);
    EXPECT_EQ(imageLibrary().GetDotsPerMeterX(result.get()), Dpm300);
    const Box box = textBox(renderer, 2480, 3508, 300, 1);
    int darkest = 255 * 3;
    std::int64_t inkTop = 1 << 30;
    std::int64_t inkBottom = -1;
    int outside = 0;
    for (unsigned y = 0; y < 3508; ++y) {
        const BYTE* row = rowFromTop(imageLibrary(), result.get(), y);
        for (unsigned x = 0; x < 2480; ++x) {
            const int sum = row[3 * x] + row[3 * x + 1] + row[3 * x + 2];
            if (sum == 255 * 3) {
                continue;
            }
            outside += box.contains(x, y, 2) ? 0 : 1;
            darkest = std::min(darkest, sum);
            inkTop = std::min<std::int64_t>(inkTop, y);
            inkBottom = std::max<std::int64_t>(inkBottom, y);
        }
    }
    EXPECT_EQ(outside, 0);
    EXPECT_EQ(darkest, 0);
    EXPECT_GE(inkBottom - inkTop + 1, 20);
    EXPECT_TRUE(context.recordingUi.notes.empty());
}

TEST_F(PaginateFixture, TextColourContrastsWithTheMeanOfTheBoxBesideTheText)
{
    struct Case
    {
        BYTE paper;
        BYTE expected;
    };

    for (const Case& c : std::vector<Case>{{128, 127}, {0, 255}, {255, 0}}) {
        FreeImageBitmap page = solidPage(600, 800, c.paper, c.paper, c.paper);
        const std::optional<NumberLayer> layer =
            numberLayer(imageLibrary(), page.get(), {600, 800}, 7, 300, renderer);
        ASSERT_TRUE(layer.has_value());
        EXPECT_EQ(layer->colour.rgbRed, c.expected);
        EXPECT_EQ(layer->colour.rgbGreen, c.expected);
        EXPECT_EQ(layer->colour.rgbBlue, c.expected);
    }

    // Black exactly over the sampled box, white everywhere else (the text area too): white text.
    const Box text = textBox(renderer, 600, 800, 300, 7);
    const std::int64_t cx = text.right - text.left;
    FreeImageBitmap page = solidPage(600, 800, 255, 255, 255);
    for (std::int64_t y = text.top; y <= text.bottom; ++y) {
        BYTE* row = rowFromTop(imageLibrary(), page.get(), static_cast<unsigned>(y));
        for (std::int64_t x = text.right; x <= text.right + cx; ++x) {
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = 0;
        }
    }
    const std::optional<NumberLayer> layer =
        numberLayer(imageLibrary(), page.get(), {600, 800}, 7, 300, renderer);
    ASSERT_TRUE(layer.has_value());
    EXPECT_TRUE(sameColour(layer->colour, RGBQUAD{255, 255, 255, 0}));
}

TEST_F(PaginateFixture, PendingQuarterTurnsNumberThePageAsShownAndKeepTheRest)
{
    for (const std::uint8_t turns : {1, 2, 3}) {
        // The page with pending turns, and the same page already turned as "Anwenden" will turn it.
        FreeImageBitmap stored = patternPage(500, 700);
        FreeImageBitmap shown = QuarterTurn(imageLibrary(), stored.get(), turns);
        context.pages.clear();
        FakePage pending;
        pending.turns = turns;
        addPage(stored.get(), pending);
        Paginate(imageLibrary(), 1, context);
        FreeImageBitmap numberedPending = workingCopy(1);

        context.pages.clear();
        addPage(shown.get());
        Paginate(imageLibrary(), 1, context);
        FreeImageBitmap numberedShown = workingCopy(1);
        ASSERT_NE(numberedPending, nullptr);
        ASSERT_NE(numberedShown, nullptr);

        FreeImageBitmap applied = QuarterTurn(imageLibrary(), numberedPending.get(), turns);
        EXPECT_TRUE(testing::samePixels(applied.get(), numberedShown.get())) << int{turns};

        // Outside the text the page is untouched.
        const unsigned width = imageLibrary().GetWidth(shown.get());
        const unsigned height = imageLibrary().GetHeight(shown.get());
        const Box box = textBox(renderer, width, height, 300, 1);
        int changedOutside = 0;
        int changedInside = 0;
        for (unsigned y = 0; y < height; ++y) {
            for (unsigned x = 0; x < width; ++x) {
                const bool same = sameColour(colourAt(applied.get(), x, y), colourAt(shown.get(), x, y));
                (box.contains(x, y) ? changedInside : changedOutside) += same ? 0 : 1;
            }
        }
        EXPECT_EQ(changedOutside, 0) << int{turns};
        EXPECT_GT(changedInside, 0) << int{turns};
    }
}

TEST_F(PaginateFixture, FreeAngleBlendsOnlyTheTurnedBackTextIntoTheStoredPage)
{
    for (const double angle : {2.5, -4.0}) {
        context.pages.clear();
        FreeImageBitmap stored = patternPage(600, 800);
        FakePage tilted;
        tilted.angle = angle;
        addPage(stored.get(), tilted);
        Paginate(imageLibrary(), 1, context);
        FreeImageBitmap result = workingCopy(1);
        ASSERT_NE(result, nullptr);

        // Untouched far from the text; once turned by the angle as "Anwenden" will, the ink sits
        // in the text box of the page as shown.
        const Box box = textBox(renderer, 600, 800, 300, 1);
        int changedFar = 0;
        for (unsigned y = 0; y < 800; ++y) {
            for (unsigned x = 0; x < 600; ++x) {
                if (!sameColour(colourAt(result.get(), x, y), colourAt(stored.get(), x, y))) {
                    changedFar += box.contains(x, y, 40) ? 0 : 1;
                }
            }
        }
        EXPECT_EQ(changedFar, 0) << angle;
        FreeImageBitmap applied = RotateCropWhite(imageLibrary(), result.get(), angle);
        int ink = 0;
        int inkOutside = 0;
        for (unsigned y = 0; y < 800; ++y) {
            for (unsigned x = 0; x < 600; ++x) {
                const RGBQUAD c = colourAt(applied.get(), x, y);
                if (c.rgbRed + c.rgbGreen + c.rgbBlue < 300) {
                    ++ink;
                    inkOutside += box.contains(x, y, 3) ? 0 : 1;
                }
            }
        }
        EXPECT_GT(ink, 50) << angle;
        EXPECT_EQ(inkOutside, 0) << angle;
    }
}

TEST_F(PaginateFixture, KeepsDepthAndResolutionOfOneBitAndGreyPages)
{
    const FreeImageFunctionTable& fi = imageLibrary();
    FreeImageBitmap white = solidPage(600, 800, 255, 255, 255);
    FreeImageBitmap oneBit = ownFreeImage(fi, fi.Threshold(white.get(), 128));
    FreeImageBitmap grey = ownFreeImage(fi, fi.ConvertTo8Bits(white.get()));
    for (FIBITMAP* image : {oneBit.get(), grey.get()}) {
        fi.SetDotsPerMeterX(image, 7874);
        fi.SetDotsPerMeterY(image, 7874);
        addPage(image);
    }
    Paginate(fi, 0, context);

    const Box box = textBox(renderer, 600, 800, 200, 1);
    FreeImageBitmap oneBitResult = workingCopy(1);
    ASSERT_NE(oneBitResult, nullptr);
    EXPECT_EQ(fi.GetBPP(oneBitResult.get()), 1U);
    EXPECT_EQ(fi.GetDotsPerMeterX(oneBitResult.get()), 7874U);
    int black = 0;
    int blackOutside = 0;
    for (unsigned y = 0; y < 800; ++y) {
        for (unsigned x = 0; x < 600; ++x) {
            if (colourAt(oneBitResult.get(), x, y).rgbRed == 0) {
                ++black;
                blackOutside += box.contains(x, y, 2) ? 0 : 1;
            }
        }
    }
    EXPECT_GT(black, 0);
    EXPECT_EQ(blackOutside, 0);

    FreeImageBitmap greyResult = workingCopy(2);
    ASSERT_NE(greyResult, nullptr);
    EXPECT_EQ(fi.GetBPP(greyResult.get()), 8U);
    EXPECT_EQ(fi.GetColorType(greyResult.get()), FIC_MINISBLACK);
    EXPECT_EQ(fi.GetDotsPerMeterY(greyResult.get()), 7874U);
}

TEST_F(PaginateFixture, PagesWithoutRoomResolutionOrThatAreMarkedGetNoWorkingCopy)
{
    FreeImageBitmap tiny = solidPage(20, 20, 255, 255, 255);
    FreeImageBitmap noResolution = solidPage(600, 800, 255, 255, 255, 0);
    FreeImageBitmap normal = solidPage(600, 800, 255, 255, 255);
    addPage(tiny.get());
    addPage(noResolution.get());
    FakePage marked;
    marked.deleted = true;
    addPage(normal.get(), marked);
    FakePage empty;
    empty.blank = true;
    addPage(normal.get(), empty);
    FakePage missing;
    context.pages.push_back(missing);
    context.pages.back().path = folder.file("Missing.bmp");
    Paginate(imageLibrary(), 0, context);

    for (std::int32_t page = 1; page <= context.PageCount(); ++page) {
        EXPECT_FALSE(hasWorkingCopy(page)) << page;
    }
    // Only the page that cannot be loaded is worth a note.
    ASSERT_EQ(context.recordingUi.notes.size(), 1U);
    EXPECT_NE(context.recordingUi.notes[0].find("Missing.bmp"), std::string::npos);

    // The table's resolution numbers a page whose file has none.
    context.pages[1].dpi = "300";
    Paginate(imageLibrary(), 2, context);
    EXPECT_TRUE(hasWorkingCopy(2));
    EXPECT_FALSE(hasWorkingCopy(1));
}

TEST_F(PaginateFixture, OnePageCallNumbersLikeTheAllPageRun)
{
    FreeImageBitmap page = solidPage(600, 800, 255, 255, 255);
    for (int i = 0; i < 4; ++i) {
        addPage(page.get());
    }
    context.pages[1].deleted = true;
    context.pages[0].splitAfter = true; // toggle between pages 1 and 2, right before the marked page
    context.destination = "JPG";
    Paginate(imageLibrary(), 4, context);
    FreeImageBitmap alone = workingCopy(4);
    ASSERT_NE(alone, nullptr);
    EXPECT_FALSE(hasWorkingCopy(3));

    Paginate(imageLibrary(), 0, context);
    FreeImageBitmap all = workingCopy(4);
    ASSERT_NE(all, nullptr);
    EXPECT_FALSE(hasWorkingCopy(2));
    EXPECT_TRUE(hasWorkingCopy(3));
    // Page 4 was numbered a second time: the same number lands on the same pixels, only darker.
    const Box box = textBox(renderer, 600, 800, 300, 4);
    for (unsigned y = 0; y < 800; ++y) {
        for (unsigned x = 0; x < 600; ++x) {
            const bool inkAlone = colourAt(alone.get(), x, y).rgbRed != 255;
            const bool inkAll = colourAt(all.get(), x, y).rgbRed != 255;
            ASSERT_EQ(inkAlone, inkAll) << x << "," << y;
            ASSERT_TRUE(!inkAll || box.contains(x, y, 2)) << x << "," << y;
        }
    }
}

TEST_F(PaginateFixture, NumberingTwiceDrawsOverTheFirstNumberAndOnlyCallsNumberTheirPage)
{
    FreeImageBitmap page = solidPage(600, 800, 255, 255, 255);
    addPage(page.get());
    addPage(page.get());
    Paginate(imageLibrary(), 2, context);
    EXPECT_FALSE(hasWorkingCopy(1));
    FreeImageBitmap once = workingCopy(2);
    ASSERT_NE(once, nullptr);

    Paginate(imageLibrary(), 2, context);
    FreeImageBitmap twice = workingCopy(2);
    ASSERT_NE(twice, nullptr);
    const Box box = textBox(renderer, 600, 800, 300, 2);
    int changedOutside = 0;
    int darker = 0;
    for (unsigned y = 0; y < 800; ++y) {
        for (unsigned x = 0; x < 600; ++x) {
            const RGBQUAD a = colourAt(once.get(), x, y);
            const RGBQUAD b = colourAt(twice.get(), x, y);
            if (!sameColour(a, b)) {
                changedOutside += box.contains(x, y, 2) ? 0 : 1;
                darker += b.rgbRed < a.rgbRed ? 1 : 0;
            }
        }
    }
    EXPECT_EQ(changedOutside, 0);
    EXPECT_GT(darker, 0);
}

} // namespace
} // namespace folvex
