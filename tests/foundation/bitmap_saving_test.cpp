#include "foundation/bitmap_saving.h"

#include "support/fakes.h"
#include "support/image_fixtures.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>

namespace folvex {
namespace {

using testing::ImagePtr;
using testing::realFunctions;
using testing::ScopedBitmap;

std::vector<std::string> folderEntries(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(SaveBitmapTest, LosslessTypesKeepPixelsAndResolution)
{
    struct Case
    {
        const char* label;
        std::uint8_t type;
        std::uint16_t depth;
        std::int32_t dotsPerMeter;
    };

    const Case cases[] = {
        {"BMP from 24-bit", 1, 24, 11811},
        {"BMP from 8-bit palette", 1, 8, 3937},
        {"BMP without resolution", 1, 24, 0},
        {"PNG from 24-bit", 4, 24, 11811},
        {"PNG from 1-bit", 4, 1, 7874},
        {"PNG from 32-bit", 4, 32, 11811},
    };
    testing::TempDir dir;
    std::mt19937 random(5);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        testing::ScopedFakeEffects fakes;
        auto made = testing::makeRandomBitmap(37, 23, c.depth, 0.3, random);
        made->dotsPerMeterX = c.dotsPerMeter;
        made->dotsPerMeterY = c.dotsPerMeter / 2;
        ScopedBitmap bitmap(std::move(made));
        const ImagePtr source = testing::toFreeImage(bitmap.bitmap());
        const std::string file =
            dir.file(std::string("Seite ä ") + c.label + (c.type == 1 ? ".bmp" : ".png"));

        ASSERT_EQ(SaveBitmap(realFunctions(), bitmap.handle(), 37, 23, file, c.type), 1);
        const ImagePtr saved(realFunctions().LoadU(c.type == 1 ? FIF_BMP : FIF_PNG, file, 0));
        ASSERT_NE(saved, nullptr);
        EXPECT_EQ(realFunctions().GetBPP(saved.get()), 24u);
        ASSERT_EQ(realFunctions().GetWidth(saved.get()), 37u);
        ASSERT_EQ(realFunctions().GetHeight(saved.get()), 23u);
        EXPECT_EQ(realFunctions().GetDotsPerMeterX(saved.get()), static_cast<unsigned>(c.dotsPerMeter));
        EXPECT_EQ(realFunctions().GetDotsPerMeterY(saved.get()), static_cast<unsigned>(c.dotsPerMeter / 2));
        for (unsigned y = 0; y < 23; ++y) {
            for (unsigned x = 0; x < 37; ++x) {
                ASSERT_EQ(
                    testing::libraryColourAt(saved.get(), x, y), testing::libraryColourAt(source.get(), x, y))
                    << x << "," << y;
            }
        }
        EXPECT_TRUE(fakes.messages.shown.empty());
    }
}

TEST(SaveBitmapTest, JpegAndJpeg2000KeepTheSizeInTheirFormat)
{
    struct Case
    {
        const char* name;
        std::uint8_t type;
        FREE_IMAGE_FORMAT format;
        std::string signature;
    };

    const Case cases[] = {
        {"Seite.jpg", 2, FIF_JPEG, "\xFF\xD8\xFF"},
        {"Seite.jp2", 3, FIF_JP2, std::string("\0\0\0\x0CjP  ", 8)},
        {"Seite.J2K", 3, FIF_J2K, "\xFF\x4F\xFF\x51"},
        {"Seite.j2c", 3, FIF_J2K, "\xFF\x4F\xFF\x51"},
    };
    testing::TempDir dir;
    std::mt19937 random(9);
    // JPEG 2000 with the library's defaults needs at least 32 pixels each way.
    ScopedBitmap bitmap(testing::makeRandomBitmap(41, 33, 24, 0.5, random));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::ScopedFakeEffects fakes;
        const std::string file = dir.file(c.name);
        ASSERT_EQ(SaveBitmap(realFunctions(), bitmap.handle(), 41, 33, file, c.type), 1);
        EXPECT_EQ(testing::readFile(file).substr(0, c.signature.size()), c.signature);
        const ImagePtr saved(realFunctions().LoadU(c.format, file, 0));
        ASSERT_NE(saved, nullptr);
        EXPECT_EQ(realFunctions().GetWidth(saved.get()), 41u);
        EXPECT_EQ(realFunctions().GetHeight(saved.get()), 33u);
    }
}

TEST(SaveBitmapTest, DrawsTheBitmapAtTheTopLeftOfTheGivenSize)
{
    testing::TempDir dir;
    std::mt19937 random(3);
    ScopedBitmap bitmap(testing::makeRandomBitmap(6, 5, 24, 0.5, random));
    const ImagePtr source = testing::toFreeImage(bitmap.bitmap());
    const std::string file = dir.file("Ausschnitt.bmp");
    ASSERT_EQ(SaveBitmap(realFunctions(), bitmap.handle(), 4, 7, file, 1), 1);
    const ImagePtr saved(realFunctions().LoadU(FIF_BMP, file, 0));
    ASSERT_NE(saved, nullptr);
    ASSERT_EQ(realFunctions().GetWidth(saved.get()), 4u);
    ASSERT_EQ(realFunctions().GetHeight(saved.get()), 7u);
    for (unsigned y = 0; y < 7; ++y) {
        for (unsigned x = 0; x < 4; ++x) {
            const std::uint32_t expected = y < 5 ? testing::libraryColourAt(source.get(), x, y) : 0;
            EXPECT_EQ(testing::libraryColourAt(saved.get(), x, y), expected) << x << "," << y;
        }
    }
}

TEST(SaveBitmapTest, RefusalsGiveAModeZeroNoteAndWriteNothing)
{
    testing::TempDir dir;
    testing::writeFile(dir.file("Datei"), "kein Ordner");
    ScopedBitmap bitmap(makeDibBitmap(8, 8, 24));

    struct Case
    {
        const char* label;
        Handle handle;
        int width;
        std::string file;
        std::uint8_t type;
        std::string note;
    };

    const std::string below = dir.file("Datei/Seite.bmp");
    const Case cases[] = {
        {"unknown type", bitmap.handle(), 8, dir.file("a.bmp"), 5, "SaveBitmap: unbekannter Dateityp 5"},
        {"type 0", bitmap.handle(), 8, dir.file("a.bmp"), 0, "SaveBitmap: unbekannter Dateityp 0"},
        {"no bitmap", Handle{999'999'997}, 8, dir.file("a.bmp"), 1, "SaveBitmap: DrawImage fehlgeschlagen"},
        {"empty size", bitmap.handle(), 0, dir.file("a.bmp"), 1, "SaveBitmap: StartDrawing fehlgeschlagen"},
        {"folder below a file",
         bitmap.handle(),
         8,
         below,
         1,
         "SaveBitmap: " + below + " konnte nicht gespeichert werden."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        testing::ScopedFakeEffects fakes;
        fakes.messages.queueAnswer(MessageAnswer::Ok);
        EXPECT_EQ(SaveBitmap(realFunctions(), c.handle, c.width, 8, c.file, c.type), 0);
        ASSERT_EQ(fakes.messages.shown.size(), 1u);
        EXPECT_EQ(fakes.messages.shown[0].text, c.note);
        EXPECT_EQ(fakes.messages.shown[0].buttons, MessageButtons::Ok);
        EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"Datei"});
    }
}

// Stands in for the library's save: writes part of a file, then reports failure.
BOOL failingSave(FREE_IMAGE_FORMAT, FIBITMAP*, const char* path, int)
{
    std::FILE* file = std::fopen(path, "wb");
    if (file != nullptr) {
        std::fputs("BM halb geschrieben", file);
        std::fclose(file);
    }
    return FALSE;
}

TEST(SaveBitmapTest, AFailedWriteLeavesTheOldFileAsItWas)
{
    testing::TempDir dir;
    const std::string target = dir.file("TmpReadyImg1.bmp");
    std::mt19937 random(1);
    ScopedBitmap first(testing::makeRandomBitmap(9, 9, 24, 0.5, random));
    ScopedBitmap second(testing::makeRandomBitmap(9, 9, 24, 0.5, random));
    {
        testing::ScopedFakeEffects fakes;
        ASSERT_EQ(SaveBitmap(realFunctions(), first.handle(), 9, 9, target, 1), 1);
    }
    const std::string before = testing::readFile(target);
    ASSERT_FALSE(before.empty());

    FreeImageFunctionTable broken = realFunctions();
    broken.Save = &failingSave;
    testing::ScopedFakeEffects fakes;
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_EQ(SaveBitmap(broken, second.handle(), 9, 9, target, 1), 0);
    ASSERT_EQ(fakes.messages.shown.size(), 1u);
    EXPECT_EQ(fakes.messages.shown[0].text, "SaveBitmap: " + target + " konnte nicht gespeichert werden.");
    EXPECT_EQ(testing::readFile(target), before);
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"TmpReadyImg1.bmp"});

    // The working library replaces the old file.
    EXPECT_EQ(SaveBitmap(realFunctions(), second.handle(), 9, 9, target, 1), 1);
    EXPECT_NE(testing::readFile(target), before);
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"TmpReadyImg1.bmp"});
}

} // namespace
} // namespace folvex
