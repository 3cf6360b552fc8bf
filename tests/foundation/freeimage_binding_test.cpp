#include "foundation/freeimage_binding.h"

#include "support/fakes.h"
#include "support/image_fixtures.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace folvex {
namespace {

using testing::ImagePtr;
using testing::realFunctions;

TEST(FreeImageLoaderTest, RealLibraryFillsEveryEntryWithoutAMessage)
{
    testing::ScopedFakeEffects fakes;
    FreeImageLibrary library;
    ASSERT_TRUE(loadFreeImageBinding(library));
    ASSERT_NE(library.FreeImageBinding, nullptr);
    EXPECT_EQ(library.libraryName, "libfreeimage.so.3");
#define FOLVEX_EXPECT_SET(name) EXPECT_NE(library.FreeImageFunctions.name, nullptr) << #name;
    FOLVEX_FREEIMAGE_FUNCTIONS(FOLVEX_EXPECT_SET)
#undef FOLVEX_EXPECT_SET
    EXPECT_EQ(FreeImageVersionCheck(library), 0);
    EXPECT_TRUE(fakes.messages.shown.empty());
    EXPECT_TRUE(fakes.exit.codes.empty());
}

TEST(FreeImageLoaderTest, VersionMismatchAsksAndOnlyNoGoesOn)
{
    struct Case
    {
        const char* label;
        MessageAnswer answer;
        bool ends;
    };

    const Case cases[] = {
        {"No", MessageAnswer::No, false},
        {"Yes", MessageAnswer::Yes, true},
        {"Cancel", MessageAnswer::Cancel, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        testing::ScopedFakeEffects fakes;
        FreeImageLibrary library;
        ASSERT_TRUE(loadFreeImageBinding(library, FAKE_FREEIMAGE_OLD));
        fakes.messages.queueAnswer(c.answer);
        if (c.ends) {
            EXPECT_THROW(FreeImageVersionCheck(library), testing::ProgramEnded);
            EXPECT_EQ(fakes.exit.codes, std::vector<int>{1});
        } else {
            EXPECT_EQ(FreeImageVersionCheck(library), 0);
            EXPECT_TRUE(fakes.exit.codes.empty());
        }
        ASSERT_EQ(fakes.messages.shown.size(), 1u);
        const auto& box = fakes.messages.shown[0];
        EXPECT_EQ(box.title, "FreeImage Version Mismatch");
        EXPECT_EQ(box.buttons, MessageButtons::YesNoCancel);
        EXPECT_EQ(box.icon, MessageIcon::Warning);
        EXPECT_EQ(
            box.text,
            std::string("Die FreeImage-Anbindung ist für die Version 3.18.0 von FreeImage geschrieben.\r"
                        "Die Bibliothek ") +
                FAKE_FREEIMAGE_OLD +
                " ist jedoch Version 3.17.0.\r\rDas Programm sollte unbedingt abgebrochen werden! "
                "[Nein=weiter]");
    }
}

TEST(FreeImageLoaderTest, MissingLibraryOrFunctionShowsOneMessageAndEndsWithOne)
{
    struct Case
    {
        const char* label;
        std::string library;
        std::string expectedStart;
    };

    const std::string missing = "/nonexistent/folvex/libfreeimage-missing.so.3";
    const Case cases[] = {
        {"function",
         FAKE_FREEIMAGE_NO_RESCALE,
         std::string("In der Bildbibliothek ") + FAKE_FREEIMAGE_NO_RESCALE +
             " fehlt die Funktion FreeImage_Rescale."},
        {"function taken last",
         FAKE_FREEIMAGE_NO_STANDARD_TYPE,
         std::string("In der Bildbibliothek ") + FAKE_FREEIMAGE_NO_STANDARD_TYPE +
             " fehlt die Funktion FreeImage_ConvertToStandardType."},
        {"file", missing, "Die Bildbibliothek " + missing + " konnte nicht geladen werden: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        testing::ScopedFakeEffects fakes;
        fakes.messages.queueAnswer(MessageAnswer::Ok);
        FreeImageLibrary library;
        EXPECT_THROW(loadFreeImageBinding(library, c.library), testing::ProgramEnded);
        EXPECT_EQ(fakes.exit.codes, std::vector<int>{1});
        ASSERT_EQ(fakes.messages.shown.size(), 1u);
        const std::string& text = fakes.messages.shown[0].text;
        EXPECT_EQ(text.substr(0, c.expectedStart.size()), c.expectedStart);
        if (c.library == missing) {
            // The reason names the file that was not found.
            EXPECT_GT(text.size(), c.expectedStart.size());
            EXPECT_NE(text.find("libfreeimage-missing.so.3", c.expectedStart.size()), std::string::npos);
            EXPECT_EQ(library.FreeImageBinding, nullptr);
        } else {
            EXPECT_EQ(text, c.expectedStart);
        }
    }
}

// A 24-bit image whose pixels differ from each other, so a swapped row or column shows.
ImagePtr makeGradient(int width, int height)
{
    const FreeImageFunctionTable& fi = realFunctions();
    ImagePtr image(fi.Allocate(width, height, 24, 0, 0, 0));
    for (int y = 0; y < height; ++y) {
        BYTE* row = fi.GetBits(image.get()) + static_cast<std::size_t>(fi.GetPitch(image.get())) * y;
        for (int x = 0; x < width; ++x) {
            row[3 * x + 0] = static_cast<BYTE>(x * 8);
            row[3 * x + 1] = static_cast<BYTE>(y * 8);
            row[3 * x + 2] = static_cast<BYTE>(128 + (x + y) * 2);
        }
    }
    return image;
}

TEST(FreeImageShimTest, LoadUAndSaveURoundTripUnderAnUmlautPathWithASpace)
{
    struct Case
    {
        const char* extension;
        FREE_IMAGE_FORMAT format;
        int tolerance; // largest difference of one byte (lossy formats)
    };

    const Case cases[] = {
        {"bmp", FIF_BMP, 0},
        {"png", FIF_PNG, 0},
        {"jpg", FIF_JPEG, 24},
        {"tif", FIF_TIFF, 0},
    };
    testing::TempDir dir;
    const std::filesystem::path folder = dir.path() / "Ordner ä";
    std::filesystem::create_directory(folder);
    const FreeImageFunctionTable& fi = realFunctions();
    const ImagePtr original = makeGradient(24, 16);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extension);
        const std::string path = (folder / (std::string("Bild ä.") + c.extension)).string();
        ASSERT_TRUE(fi.SaveU(c.format, original.get(), path, 0));
        const ImagePtr loaded(fi.LoadU(c.format, path, 0));
        ASSERT_NE(loaded, nullptr);
        ASSERT_EQ(fi.GetWidth(loaded.get()), 24u);
        ASSERT_EQ(fi.GetHeight(loaded.get()), 16u);
        ASSERT_EQ(fi.GetBPP(loaded.get()), 24u);
        int largest = 0;
        for (unsigned y = 0; y < 16; ++y) {
            const BYTE* a = fi.GetBits(original.get()) + fi.GetPitch(original.get()) * y;
            const BYTE* b = fi.GetBits(loaded.get()) + fi.GetPitch(loaded.get()) * y;
            for (unsigned i = 0; i < 24 * 3; ++i) {
                largest = std::max(largest, std::abs(a[i] - b[i]));
            }
        }
        EXPECT_LE(largest, c.tolerance);
    }
    // Only the four targets are left: no temporary file of the safe write.
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        EXPECT_EQ(entry.path().string().find(".folvex-tmp"), std::string::npos) << entry.path();
        ++files;
    }
    EXPECT_EQ(files, 4u);
}

TEST(FreeImageShimTest, SaveUIntoAMissingFolderFailsAndLoadUOfAMissingFileGivesNull)
{
    testing::TempDir dir;
    const FreeImageFunctionTable& fi = realFunctions();
    const ImagePtr image = makeGradient(4, 4);
    EXPECT_FALSE(fi.SaveU(FIF_BMP, image.get(), dir.file("fehlt/ä.bmp"), 0));
    EXPECT_EQ(fi.LoadU(FIF_BMP, dir.file("fehlt ä.bmp"), 0), nullptr);
}

// Sets the pixels of a library image of 1, 4, 8, 24 or 32 bits from a pattern of bytes.
void fillBytes(FIBITMAP* image, int seed)
{
    const FreeImageFunctionTable& fi = realFunctions();
    const unsigned pitch = fi.GetPitch(image);
    BYTE* bits = fi.GetBits(image);
    for (unsigned i = 0; i < pitch * fi.GetHeight(image); ++i) {
        bits[i] = static_cast<BYTE>(i * 37 + static_cast<unsigned>(seed));
    }
}

void setPalette(FIBITMAP* image, bool grey)
{
    RGBQUAD* palette = testing::testFunctions().GetPalette(image);
    const unsigned entries = 1u << realFunctions().GetBPP(image);
    for (unsigned i = 0; i < entries; ++i) {
        const unsigned level = i * 255 / (entries - 1);
        palette[i].rgbRed = static_cast<BYTE>(level);
        palette[i].rgbGreen = static_cast<BYTE>(grey ? level : 255 - level);
        palette[i].rgbBlue = static_cast<BYTE>(grey ? level : i * 7);
    }
}

TEST(FreeImageToHBitmapTest, CopiesHeaderPaletteRowsAndResolutionOfEveryDepth)
{
    enum class Kind
    {
        Standard,
        Grey16,
        Rgb48,
        Rgba64,
        Rgb565,
    };

    struct Case
    {
        const char* label;
        Kind kind;
        int bpp;
        bool greyPalette;
        std::uint16_t expectedDepth;
    };

    const Case cases[] = {
        {"1-bit", Kind::Standard, 1, false, 1},
        {"4-bit", Kind::Standard, 4, false, 4},
        {"8-bit grey", Kind::Standard, 8, true, 8},
        {"8-bit palette", Kind::Standard, 8, false, 8},
        {"24-bit", Kind::Standard, 24, false, 24},
        {"32-bit", Kind::Standard, 32, false, 32},
        {"16-bit grey", Kind::Grey16, 16, false, 8},
        {"48-bit RGB", Kind::Rgb48, 48, false, 24},
        {"64-bit RGBA", Kind::Rgba64, 64, false, 32},
        {"16-bit 565", Kind::Rgb565, 16, false, 24},
    };
    const FreeImageFunctionTable& fi = realFunctions();
    const int width = 13;
    const int height = 7;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ImagePtr image;
        if (c.kind == Kind::Standard) {
            image.reset(fi.Allocate(width, height, c.bpp, 0, 0, 0));
            if (c.bpp <= 8) {
                setPalette(image.get(), c.greyPalette);
            }
        } else if (c.kind == Kind::Rgb565) {
            image.reset(
                fi.Allocate(width, height, 16, FI16_565_RED_MASK, FI16_565_GREEN_MASK, FI16_565_BLUE_MASK));
        } else {
            const FREE_IMAGE_TYPE type = c.kind == Kind::Grey16  ? FIT_UINT16
                                         : c.kind == Kind::Rgb48 ? FIT_RGB16
                                                                 : FIT_RGBA16;
            image.reset(testing::testFunctions().AllocateT(type, width, height, c.bpp, 0, 0, 0));
        }
        ASSERT_NE(image, nullptr);
        fillBytes(image.get(), c.bpp);
        if (c.kind == Kind::Rgb565) {
            // Full and empty channels, whose 8-bit values do not depend on rounding.
            for (int row = 0; row < height; ++row) {
                auto* values =
                    reinterpret_cast<WORD*>(testing::testFunctions().GetScanLine(image.get(), row));
                for (int x = 0; x < width; ++x) {
                    values[x] =
                        static_cast<WORD>((x + row) % 3 == 0 ? 0xFFFF : (x % 2 == 0 ? 0xF800 : 0x001F));
                }
            }
        }
        fi.SetDotsPerMeterX(image.get(), 11811);
        fi.SetDotsPerMeterY(image.get(), 5906);

        testing::ScopedBitmap converted(FreeImageToHBitmap(fi, image.get()));
        ASSERT_NE(converted.handle(), NoHandle);
        const DibBitmap& bitmap = converted.bitmap();
        EXPECT_EQ(bitmap.width, width);
        EXPECT_EQ(bitmap.height, height);
        EXPECT_EQ(bitmap.bitCount, c.expectedDepth);
        EXPECT_EQ(bitmap.dotsPerMeterX, 11811);
        EXPECT_EQ(bitmap.dotsPerMeterY, 5906);

        if (c.expectedDepth <= 8) {
            ASSERT_EQ(bitmap.palette.size(), 1u << c.expectedDepth);
            for (std::size_t i = 0; i < bitmap.palette.size(); ++i) {
                std::uint32_t expected = 0;
                if (c.kind == Kind::Grey16) {
                    expected = static_cast<std::uint32_t>(i << 16 | i << 8 | i);
                } else {
                    const RGBQUAD& entry = testing::testFunctions().GetPalette(image.get())[i];
                    expected = std::uint32_t{entry.rgbRed} << 16 | std::uint32_t{entry.rgbGreen} << 8 |
                               entry.rgbBlue;
                }
                EXPECT_EQ(bitmap.palette[i], expected) << "entry " << i;
            }
        }
        for (int row = 0; row < height; ++row) {
            const BYTE* source = testing::testFunctions().GetScanLine(image.get(), row);
            const std::uint8_t* copy = bitmap.bits.data() + bitmap.stride() * static_cast<std::size_t>(row);
            for (int x = 0; x < width; ++x) {
                SCOPED_TRACE(::testing::Message() << "row " << row << " x " << x);
                switch (c.kind) {
                    case Kind::Standard: {
                        const std::size_t bytes = (static_cast<std::size_t>(width) * c.bpp + 7) / 8;
                        ASSERT_EQ(std::memcmp(copy, source, bytes), 0);
                        x = width;
                        break;
                    }
                    case Kind::Grey16: {
                        const auto* values = reinterpret_cast<const WORD*>(source);
                        EXPECT_EQ(copy[x], values[x] >> 8);
                        break;
                    }
                    case Kind::Rgb48: {
                        const auto* values = reinterpret_cast<const FIRGB16*>(source);
                        EXPECT_EQ(copy[3 * x + 0], values[x].blue >> 8);
                        EXPECT_EQ(copy[3 * x + 1], values[x].green >> 8);
                        EXPECT_EQ(copy[3 * x + 2], values[x].red >> 8);
                        break;
                    }
                    case Kind::Rgba64: {
                        const auto* values = reinterpret_cast<const FIRGBA16*>(source);
                        EXPECT_EQ(copy[4 * x + 0], values[x].blue >> 8);
                        EXPECT_EQ(copy[4 * x + 1], values[x].green >> 8);
                        EXPECT_EQ(copy[4 * x + 2], values[x].red >> 8);
                        EXPECT_EQ(copy[4 * x + 3], values[x].alpha >> 8);
                        break;
                    }
                    case Kind::Rgb565: {
                        const WORD value = reinterpret_cast<const WORD*>(source)[x];
                        EXPECT_EQ(copy[3 * x + 0], (value & 0x001F) != 0 ? 255 : 0);
                        EXPECT_EQ(copy[3 * x + 1], (value & 0x07E0) != 0 ? 255 : 0);
                        EXPECT_EQ(copy[3 * x + 2], (value & 0xF800) != 0 ? 255 : 0);
                        break;
                    }
                }
            }
        }
    }
    EXPECT_EQ(FreeImageToHBitmap(fi, nullptr), NoHandle);
}

TEST(FreeImageToHBitmapTest, FreeHBitmapReleasesTheBitmap)
{
    const FreeImageFunctionTable& fi = realFunctions();
    const ImagePtr image(fi.Allocate(3, 3, 24, 0, 0, 0));
    const Handle handle = FreeImageToHBitmap(fi, image.get());
    ASSERT_NE(findImage(handle), nullptr);
    EXPECT_EQ(FreeHBitmap(handle), 0);
    EXPECT_EQ(findImage(handle), nullptr);
}

// Counts the images a table's Unload is given.
int unloadedImages = 0;

TEST(FreeImageBitmapTest, TheOwnerFreesOnceThroughTheTableAndMovesWithoutFreeing)
{
    FreeImageFunctionTable counting;
    counting.Unload = [](FIBITMAP*) { ++unloadedImages; };
    auto* fakeImage = reinterpret_cast<FIBITMAP*>(&counting);
    unloadedImages = 0;
    {
        FreeImageBitmap first = ownFreeImage(counting, fakeImage);
        FreeImageBitmap second = std::move(first);
        EXPECT_EQ(first, nullptr);
        EXPECT_EQ(second.get(), fakeImage);
        EXPECT_EQ(unloadedImages, 0);
        FreeImageBitmap empty = ownFreeImage(counting, nullptr);
        FreeImageBitmap defaulted;
        static_assert(!std::is_copy_constructible_v<FreeImageBitmap>);
    }
    EXPECT_EQ(unloadedImages, 1);
}

TEST(FreeImageBitmapTest, StandardBitmapOfKeepsStandardDepthsAndConvertsTheOthers)
{
    const FreeImageFunctionTable& fi = realFunctions();

    struct Case
    {
        const char* label;
        FREE_IMAGE_TYPE type;
        int bpp;
        bool converted;
        unsigned expectedBpp; // 0: refused
    };

    const Case cases[] = {
        {"1-bit", FIT_BITMAP, 1, false, 1},
        {"24-bit", FIT_BITMAP, 24, false, 24},
        {"32-bit", FIT_BITMAP, 32, false, 32},
        {"16-bit 555", FIT_BITMAP, 16, true, 24},
        {"16-bit grey", FIT_UINT16, 16, true, 8},
        {"48-bit RGB", FIT_RGB16, 48, true, 24},
        {"64-bit RGBA", FIT_RGBA16, 64, true, 32},
        {"float", FIT_FLOAT, 32, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const ImagePtr image(testing::testFunctions().AllocateT(c.type, 5, 4, c.bpp, 0, 0, 0));
        ASSERT_NE(image, nullptr);
        FreeImageBitmap owner;
        FIBITMAP* standard = standardBitmapOf(fi, image.get(), owner);
        if (c.expectedBpp == 0) {
            EXPECT_EQ(standard, nullptr);
            EXPECT_EQ(owner, nullptr);
            continue;
        }
        ASSERT_NE(standard, nullptr);
        EXPECT_EQ(fi.GetImageType(standard), FIT_BITMAP);
        EXPECT_EQ(fi.GetBPP(standard), c.expectedBpp);
        EXPECT_EQ(fi.GetWidth(standard), 5u);
        EXPECT_EQ(standard == image.get(), !c.converted);
        EXPECT_EQ(owner.get(), c.converted ? standard : nullptr);
    }
    FreeImageBitmap owner;
    EXPECT_EQ(standardBitmapOf(fi, nullptr, owner), nullptr);
}

} // namespace
} // namespace folvex
