#include "scan/tiff_pages.h"

#include "support/image_fixtures.h"
#include "support/temp_dir.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace folvex {
namespace {

using testing::readFile;
using testing::writeFile;

struct PageSpec
{
    unsigned width;
    unsigned height;
    unsigned bits;
    unsigned dotsPerMetre;
    int flags; // the library's TIFF save flags: 0 its default compression per depth
};

// What a page made by the library shows, to compare with the page read back from the joined file.
struct ExpectedPage
{
    PageSpec spec;
    std::string rgb;
};

// Saves a patterned page of the spec as a single-page TIFF file.
ExpectedPage writeSinglePage(const PageSpec& spec, const std::string& path)
{
    ExpectedPage page{spec, {}};
    FIBITMAP* image = testing::makeLibraryImage(spec.width, spec.height, spec.bits, page.rgb);
    FreeImage_SetDotsPerMeterX(image, spec.dotsPerMetre);
    FreeImage_SetDotsPerMeterY(image, spec.dotsPerMetre);
    testing::saveLibraryImage(image, FIF_TIFF, path, spec.flags);
    FreeImage_Unload(image);
    return page;
}

// Reads every page of a multi-page TIFF back through the image library and compares it with what
// went in: depth, size, resolution and every pixel.
void expectPages(const std::string& path, const std::vector<ExpectedPage>& expected)
{
    FIMULTIBITMAP* file = FreeImage_OpenMultiBitmap(FIF_TIFF, path.c_str(), FALSE, TRUE, TRUE, 0);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(FreeImage_GetPageCount(file), static_cast<int>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("page " + std::to_string(i + 1));
        const PageSpec& spec = expected[i].spec;
        FIBITMAP* page = FreeImage_LockPage(file, static_cast<int>(i));
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(FreeImage_GetBPP(page), spec.bits);
        EXPECT_EQ(FreeImage_GetWidth(page), spec.width);
        EXPECT_EQ(FreeImage_GetHeight(page), spec.height);
        // The file holds dots per inch; back in dots per metre it may be one off.
        EXPECT_NEAR(FreeImage_GetDotsPerMeterX(page), spec.dotsPerMetre, 1);
        EXPECT_NEAR(FreeImage_GetDotsPerMeterY(page), spec.dotsPerMetre, 1);
        std::string rgb;
        for (unsigned y = 0; y < spec.height; ++y) {
            for (unsigned x = 0; x < spec.width; ++x) {
                const std::uint32_t colour = testing::libraryColourAt(page, x, y);
                rgb +=
                    {static_cast<char>(colour >> 16),
                     static_cast<char>(colour >> 8),
                     static_cast<char>(colour)};
            }
        }
        EXPECT_TRUE(rgb == expected[i].rgb);
        FreeImage_UnlockPage(file, page, FALSE);
    }
    FreeImage_CloseMultiBitmap(file, 0);
}

// Pages of every depth, in one strip and in many, compressed or not, come out of the joined file as
// they went in, in order.
TEST(TiffPageJoinerTest, JoinedPagesReadBackAsTheyWentIn)
{
    testing::TempDir dir;
    const std::vector<PageSpec> specs{
        {40, 30, 1, 11811, TIFF_PACKBITS},
        {400, 300, 1, 11811, 0}, // CCITT G4
        {37, 21, 4, 3937, TIFF_PACKBITS},
        {120, 90, 8, 11811, TIFF_PACKBITS},
        {400, 300, 24, 11811, TIFF_PACKBITS}, // many strips: their offsets lie outside the entry
        {13, 7, 24, 7874, 0},                 // LZW, one strip
        {300, 200, 24, 11811, TIFF_NONE},
        {64, 48, 32, 11811, TIFF_PACKBITS},
    };
    TiffPageJoiner joiner;
    ASSERT_TRUE(joiner.open(dir.file("joined.tiff")));
    std::vector<ExpectedPage> expected;
    for (std::size_t i = 0; i < specs.size(); ++i) {
        const std::string single = dir.file("page" + std::to_string(i) + ".tiff");
        expected.push_back(writeSinglePage(specs[i], single));
        ASSERT_TRUE(joiner.appendFile(single)) << "page " << i + 1;
    }
    EXPECT_EQ(joiner.pages(), static_cast<std::int32_t>(specs.size()));
    EXPECT_TRUE(joiner.close());

    expectPages(dir.file("joined.tiff"), expected);
}

// A page that is not a readable TIFF is refused and leaves the joined file as it was: the pages
// before and after it are all there and readable.
TEST(TiffPageJoinerTest, UnusablePageIsRefusedAndTheOthersStay)
{
    testing::TempDir dir;
    const ExpectedPage first = writeSinglePage({50, 40, 24, 11811, TIFF_PACKBITS}, dir.file("first.tiff"));
    const ExpectedPage last = writeSinglePage({30, 20, 8, 11811, TIFF_PACKBITS}, dir.file("last.tiff"));
    const std::string valid = readFile(dir.file("first.tiff"));

    std::string bigEndian = valid;
    bigEndian[0] = 'M';
    bigEndian[1] = 'M';
    std::string ifdBeyondEnd = valid;
    ifdBeyondEnd[7] = '\x7f';

    const struct
    {
        const char* name;
        std::string bytes;
    } bad[] = {
        {"not a TIFF", "no image at all"},
        {"empty", ""},
        {"big-endian", bigEndian},
        {"IFD beyond the end", ifdBeyondEnd},
        {"strips cut off", valid.substr(0, valid.size() / 3)},
        {"directory cut off", valid.substr(0, valid.size() - 20)},
    };

    TiffPageJoiner joiner;
    ASSERT_TRUE(joiner.open(dir.file("joined.tiff")));
    ASSERT_TRUE(joiner.appendFile(dir.file("first.tiff")));
    for (const auto& page : bad) {
        SCOPED_TRACE(page.name);
        writeFile(dir.file("bad.tiff"), page.bytes);
        EXPECT_FALSE(joiner.appendFile(dir.file("bad.tiff")));
        EXPECT_EQ(joiner.pages(), 1);
    }
    EXPECT_FALSE(joiner.appendFile(dir.file("missing.tiff")));
    ASSERT_TRUE(joiner.appendFile(dir.file("last.tiff")));
    EXPECT_TRUE(joiner.close());

    expectPages(dir.file("joined.tiff"), {first, last});
}

// A joined file without a page is no complete TIFF, and one that cannot be created is reported.
TEST(TiffPageJoinerTest, EmptyOrUncreatableFileIsNotComplete)
{
    testing::TempDir dir;
    TiffPageJoiner empty;
    ASSERT_TRUE(empty.open(dir.file("empty.tiff")));
    EXPECT_FALSE(empty.close());

    TiffPageJoiner nowhere;
    EXPECT_FALSE(nowhere.open(dir.file("no-such-folder/joined.tiff")));
    writeSinglePage({10, 10, 24, 11811, TIFF_PACKBITS}, dir.file("page.tiff"));
    EXPECT_FALSE(nowhere.appendFile(dir.file("page.tiff")));
    EXPECT_FALSE(nowhere.close());
}

} // namespace
} // namespace folvex
