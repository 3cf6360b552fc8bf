#include "scan/tiff_pages.h"

#include "support/image_fixtures.h"
#include "support/temp_dir.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace folvex {
namespace {

using testing::readFile;
using testing::writeFile;

struct PageShape
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
    PageShape shape;
    std::string rgb;
};

// Saves a patterned page of that shape as a single-page TIFF file.
ExpectedPage writeSinglePage(const PageShape& shape, const std::string& path)
{
    ExpectedPage page{shape, {}};
    FIBITMAP* image = testing::makeLibraryImage(shape.width, shape.height, shape.bits, page.rgb);
    FreeImage_SetDotsPerMeterX(image, shape.dotsPerMetre);
    FreeImage_SetDotsPerMeterY(image, shape.dotsPerMetre);
    testing::saveLibraryImage(image, FIF_TIFF, path, shape.flags);
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
        const PageShape& shape = expected[i].shape;
        FIBITMAP* page = FreeImage_LockPage(file, static_cast<int>(i));
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(FreeImage_GetBPP(page), shape.bits);
        EXPECT_EQ(FreeImage_GetWidth(page), shape.width);
        EXPECT_EQ(FreeImage_GetHeight(page), shape.height);
        // The file holds dots per inch; back in dots per metre it may be one off.
        EXPECT_NEAR(FreeImage_GetDotsPerMeterX(page), shape.dotsPerMetre, 1);
        EXPECT_NEAR(FreeImage_GetDotsPerMeterY(page), shape.dotsPerMetre, 1);
        std::string rgb;
        for (unsigned y = 0; y < shape.height; ++y) {
            for (unsigned x = 0; x < shape.width; ++x) {
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
    const std::vector<PageShape> shapes{
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
    for (std::size_t i = 0; i < shapes.size(); ++i) {
        const std::string single = dir.file("page" + std::to_string(i) + ".tiff");
        expected.push_back(writeSinglePage(shapes[i], single));
        ASSERT_TRUE(joiner.appendFile(single)) << "page " << i + 1;
    }
    EXPECT_EQ(joiner.pages(), static_cast<std::int32_t>(shapes.size()));
    EXPECT_TRUE(joiner.close());

    expectPages(dir.file("joined.tiff"), expected);
}

// The resolution tag (282 x, 283 y) of the first page of a little-endian TIFF file as written:
// numerator and denominator.
std::pair<std::uint32_t, std::uint32_t> resolutionTag(const std::string& path, std::uint16_t tag)
{
    const std::string data = readFile(path);
    const auto u16 = [&data](std::size_t at) {
        return static_cast<std::uint16_t>(
            static_cast<unsigned char>(data.at(at)) | static_cast<unsigned char>(data.at(at + 1)) << 8);
    };
    const auto u32 = [&u16](std::size_t at) {
        return static_cast<std::uint32_t>(u16(at) | u16(at + 2) << 16);
    };
    const std::uint32_t ifd = u32(4);
    for (std::uint16_t i = 0; i < u16(ifd); ++i) {
        const std::size_t entry = ifd + 2 + i * 12U;
        if (u16(entry) == tag) {
            const std::uint32_t at = u32(entry + 8);
            return {u32(at), u32(at + 4)};
        }
    }
    return {0, 0};
}

// The quick encoder writes the usual page depths so that they read back as the library's own TIFF
// of the same page does: depth, palette (min-is-black or min-is-white), resolution and every pixel;
// other pages it leaves to the library.
TEST(TiffPageJoinerTest, QuickEncoderPagesReadBackAsTheLibrarysOwn)
{
    testing::TempDir dir;
    const FreeImageFunctionTable& functions = testing::realFunctions();

    const struct
    {
        const char* name;
        unsigned width;
        unsigned height;
        unsigned bits;
        bool invertPalette; // 1 and 8 bits: white at index 0 (min-is-white)
        bool encoded;
        bool spans = false; // a white page with dark spans: runs longer than a PackBits run
    } cases[] = {
        {"24 bits", 301, 203, 24, false, true},
        {"24 bits, white with dark spans", 397, 40, 24, false, true, true},
        {"8 bits, white with dark spans", 397, 40, 8, false, true, true},
        {"24 bits, one row", 5, 1, 24, false, true},
        {"8 bits, min-is-black", 130, 70, 8, false, true},
        {"8 bits, min-is-white", 130, 70, 8, true, true},
        {"1 bit, min-is-black", 77, 33, 1, false, true},
        {"1 bit, min-is-white", 77, 33, 1, true, true},
        {"8-bit colour palette", 20, 10, 8, false, false},
        {"4 bits", 20, 10, 4, false, false},
        {"32 bits", 20, 10, 32, false, false},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string rgb;
        FIBITMAP* image = testing::makeLibraryImage(c.width, c.height, c.bits, rgb);
        if (c.bits == 8 && c.encoded) {
            RGBQUAD* palette = FreeImage_GetPalette(image);
            for (unsigned i = 0; i < 256; ++i) {
                const auto level = static_cast<BYTE>(c.invertPalette ? 255 - i : i);
                palette[i] = {level, level, level, 0};
            }
        } else if (c.bits == 1 && c.invertPalette) {
            RGBQUAD* palette = FreeImage_GetPalette(image);
            std::swap(palette[0], palette[1]);
        }
        if (c.spans) {
            const RGBQUAD white{255, 255, 255, 0};
            FreeImage_FillBackground(image, &white, 0);
            for (unsigned y = 0; y < c.height; ++y) {
                for (unsigned x = 3 + y; x < 3 + y + 2 * y + 1 && x < c.width; ++x) {
                    const RGBQUAD dark{static_cast<BYTE>(y), 0, static_cast<BYTE>(x), 0};
                    if (c.bits == 24) {
                        FreeImage_SetPixelColor(image, x, y, const_cast<RGBQUAD*>(&dark));
                    } else {
                        BYTE index = static_cast<BYTE>(y);
                        FreeImage_SetPixelIndex(image, x, y, &index);
                    }
                }
            }
        }
        FreeImage_SetDotsPerMeterX(image, 11811);
        FreeImage_SetDotsPerMeterY(image, 7874);
        const std::string quick = dir.file("quick.tiff");
        const std::string library = dir.file("library.tiff");
        std::filesystem::remove(quick);
        ASSERT_EQ(writePackBitsPage(functions, image, quick), c.encoded);
        testing::saveLibraryImage(image, FIF_TIFF, library, TIFF_PACKBITS);
        FreeImage_Unload(image);
        if (!c.encoded) {
            EXPECT_FALSE(std::filesystem::exists(quick));
            continue;
        }
        FIBITMAP* fromQuick = FreeImage_Load(FIF_TIFF, quick.c_str(), 0);
        FIBITMAP* fromLibrary = FreeImage_Load(FIF_TIFF, library.c_str(), 0);
        ASSERT_NE(fromQuick, nullptr);
        ASSERT_NE(fromLibrary, nullptr);
        EXPECT_EQ(FreeImage_GetBPP(fromQuick), FreeImage_GetBPP(fromLibrary));
        EXPECT_EQ(FreeImage_GetColorType(fromQuick), FreeImage_GetColorType(fromLibrary));
        // As written, not as read back: other readers round the fraction differently.
        EXPECT_EQ(resolutionTag(quick, 282), resolutionTag(library, 282));
        EXPECT_EQ(resolutionTag(quick, 283), resolutionTag(library, 283));
        ASSERT_EQ(FreeImage_GetWidth(fromQuick), c.width);
        ASSERT_EQ(FreeImage_GetHeight(fromQuick), c.height);
        const unsigned rowBytes = FreeImage_GetLine(fromQuick);
        bool sameRows = true;
        for (unsigned y = 0; y < c.height; ++y) {
            sameRows = sameRows && std::memcmp(
                                       FreeImage_GetScanLine(fromQuick, static_cast<int>(y)),
                                       FreeImage_GetScanLine(fromLibrary, static_cast<int>(y)),
                                       rowBytes) == 0;
        }
        EXPECT_TRUE(sameRows);
        if (c.bits <= 8) {
            EXPECT_EQ(
                std::memcmp(
                    FreeImage_GetPalette(fromQuick),
                    FreeImage_GetPalette(fromLibrary),
                    sizeof(RGBQUAD) << c.bits),
                0);
        }
        FreeImage_Unload(fromQuick);
        FreeImage_Unload(fromLibrary);
    }
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

// The page with one more entry in its IFD: the IFD is written anew at the end, entries in tag order.
std::string withExtraEntry(
    const std::string& page, std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t value)
{
    const auto u16 = [&page](std::size_t at) {
        return static_cast<std::uint16_t>(
            static_cast<unsigned char>(page.at(at)) | static_cast<unsigned char>(page.at(at + 1)) << 8);
    };
    const auto u32 = [&u16](std::size_t at) {
        return static_cast<std::uint32_t>(u16(at) | u16(at + 2) << 16);
    };
    const auto put = [](std::string& out, std::uint32_t number, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            out += static_cast<char>(number >> (8 * i));
        }
    };
    std::string added;
    put(added, tag, 2);
    put(added, type, 2);
    put(added, count, 4);
    put(added, value, 4);
    const std::uint32_t ifd = u32(4);
    std::vector<std::string> entries{added};
    for (std::uint16_t i = 0; i < u16(ifd); ++i) {
        entries.push_back(page.substr(ifd + 2 + i * 12U, 12));
    }
    std::sort(entries.begin(), entries.end(), [&](const std::string& a, const std::string& b) {
        return (static_cast<unsigned char>(a[0]) | static_cast<unsigned char>(a[1]) << 8) <
               (static_cast<unsigned char>(b[0]) | static_cast<unsigned char>(b[1]) << 8);
    });
    std::string out = page;
    if (out.size() % 2 != 0) {
        out += '\0';
    }
    const auto newIfd = static_cast<std::uint32_t>(out.size());
    put(out, static_cast<std::uint32_t>(entries.size()), 2);
    for (const std::string& entry : entries) {
        out += entry;
    }
    put(out, 0, 4);
    std::string header;
    put(header, newIfd, 4);
    out.replace(4, 4, header);
    return out;
}

// A tag of count 0 holds no value bytes; the page is joined all the same and reads back unchanged.
TEST(TiffPageJoinerTest, TagWithoutValuesIsCarriedOver)
{
    testing::TempDir dir;
    const ExpectedPage page = writeSinglePage({30, 20, 24, 11811, TIFF_PACKBITS}, dir.file("page.tiff"));
    constexpr std::uint16_t ImageDescription = 270;
    constexpr std::uint16_t TypeAscii = 2;
    writeFile(
        dir.file("empty-tag.tiff"),
        withExtraEntry(readFile(dir.file("page.tiff")), ImageDescription, TypeAscii, 0, 0));

    TiffPageJoiner joiner;
    ASSERT_TRUE(joiner.open(dir.file("joined.tiff")));
    ASSERT_TRUE(joiner.appendFile(dir.file("empty-tag.tiff")));
    EXPECT_TRUE(joiner.close());
    expectPages(dir.file("joined.tiff"), {page});
}

// The joined file and the quick encoder's page are created new: a link or a file already under the
// name (planted in a shared temporary folder) is refused, and what it points at stays as it was.
TEST(TiffPageJoinerTest, NameTakenByALinkOrFileIsNotWrittenThrough)
{
    testing::TempDir dir;
    writeFile(dir.file("victim"), "keep me");
    std::filesystem::create_symlink(dir.file("victim"), dir.file("link.tiff"));
    std::filesystem::create_symlink(dir.file("absent"), dir.file("dangling.tiff"));
    writeFile(dir.file("present.tiff"), "old");
    std::string rgb;
    FIBITMAP* image = testing::makeLibraryImage(20, 10, 24, rgb);

    for (const char* name : {"link.tiff", "dangling.tiff", "present.tiff"}) {
        SCOPED_TRACE(name);
        TiffPageJoiner joiner;
        EXPECT_FALSE(joiner.open(dir.file(name)));
        EXPECT_FALSE(joiner.close());
        EXPECT_FALSE(writePackBitsPage(testing::realFunctions(), image, dir.file(name)));
    }
    FreeImage_Unload(image);
    EXPECT_EQ(readFile(dir.file("victim")), "keep me");
    EXPECT_FALSE(std::filesystem::exists(dir.file("absent")));
    EXPECT_EQ(readFile(dir.file("present.tiff")), "old");
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
