#include "twain/bmp_page.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace folvex {
namespace {

std::uint32_t u32(const std::string& bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

// A 3 × 2 page: top row dark, light, mid grey; bottom row light, dark, light.
PageImage greyPage()
{
    return PageImage{3, 2, 1, 100.0, {0, 255, 100, 255, 0, 200}};
}

PageImage colourPage()
{
    return PageImage{2, 2, 3, 300.0, {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30}};
}

TEST(BmpPageTest, HeadersPalettesAndRowsPerDepth)
{
    struct Row
    {
        const char* label;
        PageImage page;
        BmpDepth depth;
        std::uint32_t rowBytes;
        std::uint32_t paletteEntries;
        std::uint32_t dotsPerMetre;
    };

    const Row rows[] = {
        {"bilevel", greyPage(), BmpDepth::Bilevel, 4, 2, 3937},
        {"grey", greyPage(), BmpDepth::Grey, 4, 256, 3937},
        {"colour", colourPage(), BmpDepth::Colour, 8, 0, 11811},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const auto encoded = encodeBmp(row.page, row.depth);
        ASSERT_TRUE(encoded.hasValue());
        const std::string& bmp = encoded.value();
        const std::uint32_t offset = 14 + 40 + row.paletteEntries * 4;
        EXPECT_EQ(bmp.substr(0, 2), "BM");
        EXPECT_EQ(u32(bmp, 2), bmp.size());
        EXPECT_EQ(u32(bmp, 10), offset);
        EXPECT_EQ(u32(bmp, 18), static_cast<std::uint32_t>(row.page.width));
        EXPECT_EQ(u32(bmp, 22), static_cast<std::uint32_t>(row.page.height)) << "positive height: bottom-up";
        EXPECT_EQ(static_cast<unsigned char>(bmp[28]), static_cast<unsigned>(row.depth));
        EXPECT_EQ(u32(bmp, 38), row.dotsPerMetre);
        EXPECT_EQ(u32(bmp, 42), row.dotsPerMetre);
        EXPECT_EQ(bmp.size(), offset + row.rowBytes * static_cast<std::uint32_t>(row.page.height));
    }
}

TEST(BmpPageTest, PixelsComeBackAsWritten)
{
    const std::string bilevel = encodeBmp(greyPage(), BmpDepth::Bilevel).value();
    EXPECT_EQ(u32(bilevel, 54), 0x00000000u) << "entry 0 black";
    EXPECT_EQ(u32(bilevel, 58), 0x00FFFFFFu) << "entry 1 white";
    // Bottom row first: light, dark, light → bits 1 0 1.
    EXPECT_EQ(static_cast<unsigned char>(bilevel[62]), 0xA0);
    // Top row: dark, light, 100 (below 128: black) → 0 1 0.
    EXPECT_EQ(static_cast<unsigned char>(bilevel[66]), 0x40);

    const auto grey = decodeBmp(encodeBmp(greyPage(), BmpDepth::Grey).value());
    ASSERT_TRUE(grey.hasValue());
    EXPECT_EQ(grey->samples, greyPage().samples);

    const auto colour = decodeBmp(encodeBmp(colourPage(), BmpDepth::Colour).value());
    ASSERT_TRUE(colour.hasValue());
    EXPECT_EQ(colour->samples, colourPage().samples);
    const std::string raw = encodeBmp(colourPage(), BmpDepth::Colour).value();
    // Bottom row, first pixel: red 0, green 0, blue 255 stored as B, G, R.
    EXPECT_EQ(static_cast<unsigned char>(raw[54]), 255);
    EXPECT_EQ(static_cast<unsigned char>(raw[56]), 0);

    const auto thresholded = decodeBmp(bilevel);
    ASSERT_TRUE(thresholded.hasValue());
    EXPECT_EQ(thresholded->samples, (std::vector<std::uint8_t>{0, 255, 0, 255, 0, 255}));
}

TEST(BmpPageTest, RefusesPagesThatDoNotAddUp)
{
    PageImage shortData = greyPage();
    shortData.samples.pop_back();
    EXPECT_FALSE(encodeBmp(shortData, BmpDepth::Grey).hasValue());
    EXPECT_FALSE(encodeBmp(PageImage{}, BmpDepth::Grey).hasValue());
    EXPECT_FALSE(decodeBmp("BM").hasValue());
    std::string cut = encodeBmp(greyPage(), BmpDepth::Grey).value();
    cut.resize(cut.size() - 3);
    EXPECT_FALSE(decodeBmp(cut).hasValue());
}

TEST(BmpPageTest, PageFileNames)
{
    struct Row
    {
        const char* base;
        int index;
        const char* expected;
    };

    const Row rows[] = {
        {"/tmp/x/tmpimg.bmp", 0, "/tmp/x/tmpimg0.bmp"},
        {"/tmp/x/tmpimgr.bmp", 12, "/tmp/x/tmpimgr12.bmp"},
        {"/tmp/x/SCAN.BMP", 3, "/tmp/x/SCAN3.BMP"},
        {"/tmp/x.d/seite", 1, "/tmp/x.d/seite1.bmp"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(pageFileName(row.base, row.index), row.expected);
    }
}

TEST(BmpPageTest, WritesSafelyOrLeavesNothing)
{
    testing::TempDir dir;
    ASSERT_TRUE(writeBmpPage(dir.file("p.bmp"), greyPage(), BmpDepth::Grey).hasValue());
    EXPECT_EQ(testing::readFile(dir.file("p.bmp")), encodeBmp(greyPage(), BmpDepth::Grey).value());

    testing::writeFile(dir.file("plain"), "x");
    const auto failed = writeBmpPage(dir.file("plain") + "/p.bmp", greyPage(), BmpDepth::Grey);
    ASSERT_FALSE(failed.hasValue());
    EXPECT_NE(failed.error().message.find("plain/p.bmp"), std::string::npos);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 2u);
}

} // namespace
} // namespace folvex
