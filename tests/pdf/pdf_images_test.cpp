#include "pdf/pdf_images.h"

#include "pdf/pdf_image_parsers.h"
#include "pdf/pdf_images_internal.h"
#include "pdf/pdf_writer.h"
#include "pdf/pdf_writer_internal.h"
#include "pdf_test_fixture.h"
#include "support/image_fixtures.h"
#include "support/pdf_check.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>

namespace folvex {
namespace {

using testing::currentContent;
using testing::objectText;
using testing::PdfTest;
using testing::readFile;
using testing::renderComplaints;
using testing::streamOf;
using testing::TestImage;
using testing::writeFile;

// A point document whose page is exactly the image, so a 72 dpi rendering shows one pixel per pixel.
std::int32_t pageForImage(std::uint32_t width, std::uint32_t height)
{
    const std::int32_t doc = PdfCreate(1, "P", "pt", "", -1.0f, -1.0f);
    PdfAddPage(doc, "", "", static_cast<float>(width), static_cast<float>(height));
    return doc;
}

// Places the bytes as a file of that name at the page's top-left corner at natural size.
std::int32_t placeFile(std::int32_t doc, const std::string& path, const std::string& bytes)
{
    writeFile(path, bytes);
    return placeImageFile(doc, path, 0, 0, -1.0f, -1.0f, -1);
}

class PdfImagesTest : public PdfTest
{
protected:
    // Saves, checks and renders the one-page document; expects the rendering to show rgb.
    std::string expectShows(
        std::int32_t doc,
        const std::string& name,
        std::uint32_t width,
        std::uint32_t height,
        const std::string& rgb)
    {
        const std::string bytes = saveChecked(doc, name);
        const testing::Rendered page = testing::renderPage(dir.file(name));
        EXPECT_EQ(page.width, width);
        EXPECT_EQ(page.height, height);
        EXPECT_TRUE(page.rgb == rgb) << name << ": the rendered pixels differ";
        return bytes;
    }
};

std::uint32_t bigEndian32(const std::string& bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    }
    return value;
}

// The data of a PNG file's IDAT chunks joined, read chunk by chunk.
std::string joinedIdat(const std::string& png)
{
    std::string joined;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::uint32_t length = bigEndian32(png, at);
        if (png.compare(at + 4, 4, "IDAT") == 0) {
            joined += png.substr(at + 8, length);
        }
        at += 12 + std::size_t{length};
    }
    return joined;
}

struct PngCase
{
    const char* label;
    int colourType;
    int bits;
    bool interlaced;
    int paletteSize;
    const char* colourSpace; // expected line start
    const char* decodeParms;
};

TEST_F(PdfImagesTest, PngDataPdfCanCarryPassesThroughAndShowsTheSamePixels)
{
    const PngCase cases[] = {
        {"grey1", 0, 1, false, 0, "/ColorSpace /DeviceGray", "/Colors 1 /BitsPerComponent 1 /Columns 13"},
        {"grey2", 0, 2, false, 0, "/ColorSpace /DeviceGray", "/Colors 1 /BitsPerComponent 2 /Columns 13"},
        {"grey4", 0, 4, false, 0, "/ColorSpace /DeviceGray", "/Colors 1 /BitsPerComponent 4 /Columns 13"},
        {"grey8", 0, 8, false, 0, "/ColorSpace /DeviceGray", "/Colors 1 /BitsPerComponent 8 /Columns 13"},
        {"rgb8", 2, 8, false, 0, "/ColorSpace /DeviceRGB", "/Colors 3 /BitsPerComponent 8 /Columns 13"},
        {"palette1",
         3,
         1,
         false,
         2,
         "/ColorSpace [/Indexed /DeviceRGB 1 7 0 R]",
         "/Colors 1 /BitsPerComponent 1"},
        {"palette2",
         3,
         2,
         false,
         4,
         "/ColorSpace [/Indexed /DeviceRGB 3 7 0 R]",
         "/Colors 1 /BitsPerComponent 2"},
        {"palette4",
         3,
         4,
         false,
         16,
         "/ColorSpace [/Indexed /DeviceRGB 15 7 0 R]",
         "/Colors 1 /BitsPerComponent 4"},
        {"palette8",
         3,
         8,
         false,
         200,
         "/ColorSpace [/Indexed /DeviceRGB 199 7 0 R]",
         "/Colors 1 /BitsPerComponent 8"},
    };
    for (const PngCase& c : cases) {
        SCOPED_TRACE(c.label);
        const TestImage png = testing::makePng(13, 9, c.colourType, c.bits, c.interlaced, c.paletteSize);
        const std::int32_t doc = pageForImage(13, 9);
        ASSERT_EQ(placeFile(doc, dir.file(std::string(c.label) + ".png"), png.bytes), 0);
        const std::string bytes = expectShows(doc, std::string(c.label) + ".pdf", 13, 9, png.rgb);
        const std::int32_t imageNumber = c.colourType == 3 ? 8 : 7;
        const std::string image = objectText(bytes, imageNumber);
        EXPECT_NE(image.find("\n" + std::string(c.colourSpace) + "\n"), std::string::npos) << image;
        EXPECT_NE(image.find("/DecodeParms <</Predictor 15 " + std::string(c.decodeParms)), std::string::npos)
            << image;
        EXPECT_NE(image.find("/Filter /FlateDecode\n"), std::string::npos);
        EXPECT_TRUE(streamOf(bytes, imageNumber) == joinedIdat(png.bytes)) << "the IDAT data pass unchanged";
        if (c.colourType == 3) {
            // The palette object comes first and holds the palette bytes.
            EXPECT_EQ(streamOf(bytes, 7).size(), static_cast<std::size_t>(c.paletteSize * 3));
        }
    }
}

TEST_F(PdfImagesTest, PngDataPdfCannotCarryIsReencodedAsRgbWithTheSamePixels)
{
    const PngCase cases[] = {
        {"interlaced-grey1", 0, 1, true, 0, "", ""},
        {"interlaced-rgb8", 2, 8, true, 0, "", ""},
        {"interlaced-palette4", 3, 4, true, 16, "", ""},
        {"grey16", 0, 16, false, 0, "", ""},
        {"rgb16", 2, 16, false, 0, "", ""},
        {"grey-alpha8", 4, 8, false, 0, "", ""},
        {"rgba8", 6, 8, false, 0, "", ""},
        {"rgba16-interlaced", 6, 16, true, 0, "", ""},
    };
    for (const PngCase& c : cases) {
        SCOPED_TRACE(c.label);
        const TestImage png = testing::makePng(11, 7, c.colourType, c.bits, c.interlaced, c.paletteSize);
        for (const bool fromMemory : {false, true}) {
            const std::int32_t doc = pageForImage(11, 7);
            if (fromMemory) {
                PdfImageMemory(doc, "memory", png.bytes, PdfImageTypePng, 0, 0, -1.0f, -1.0f, -1);
                EXPECT_EQ(PdfErrorCode(doc), 0);
            } else {
                ASSERT_EQ(placeFile(doc, dir.file(std::string(c.label) + ".png"), png.bytes), 0);
            }
            const std::string bytes = expectShows(doc, std::string(c.label) + ".pdf", 11, 7, png.rgb);
            const std::string image = objectText(bytes, 7);
            EXPECT_NE(image.find("/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n"), std::string::npos)
                << image;
            EXPECT_NE(image.find("/Colors 3 /BitsPerComponent 8 /Columns 11>>"), std::string::npos) << image;
        }
    }
}

TEST_F(PdfImagesTest, SixteenColourPaletteGetsHighestIndexFifteenAndItsObjectFirst)
{
    const TestImage png = testing::makePng(8, 8, 3, 4, false, 16);
    const std::int32_t doc = pageForImage(8, 8);
    PdfImageMemory(doc, "palette", png.bytes, PdfImageTypePng, 0, 0, -1.0f, -1.0f, -1);
    const std::string bytes = saveChecked(doc, "palette.pdf");
    EXPECT_EQ(
        objectText(bytes, 7),
        "7 0 obj\n<</Length 48>>\nstream\n" + streamOf(bytes, 7) + "\nendstream\nendobj\n");
    EXPECT_NE(objectText(bytes, 8).find("/ColorSpace [/Indexed /DeviceRGB 15 7 0 R]\n"), std::string::npos);
    EXPECT_NE(bytes.find("/XObject <</I1 8 0 R>>"), std::string::npos);
}

struct BmpCase
{
    const char* label;
    unsigned bitCount;
    int flags;
};

TEST_F(PdfImagesTest, LibraryMadeBmpsArriveAsRgbWithTheSamePixels)
{
    const BmpCase cases[] = {
        {"bmp1", 1, 0},
        {"bmp4", 4, 0},
        {"bmp8", 8, 0},
        {"bmp8-rle", 8, BMP_SAVE_RLE},
        {"bmp24", 24, 0},
        {"bmp32", 32, 0},
    };
    for (const BmpCase& c : cases) {
        SCOPED_TRACE(c.label);
        std::string rgb;
        FIBITMAP* picture = testing::makeLibraryImage(15, 6, c.bitCount, rgb);
        const std::string bmp =
            testing::saveLibraryImage(picture, FIF_BMP, dir.file(std::string(c.label) + ".bmp"), c.flags);
        FreeImage_Unload(picture);
        const std::int32_t doc = pageForImage(15, 6);
        ASSERT_EQ(placeImageFile(doc, dir.file(std::string(c.label) + ".bmp"), 0, 0, -1.0f, -1.0f, -1), 0);
        const std::string bytes = expectShows(doc, std::string(c.label) + ".pdf", 15, 6, rgb);
        EXPECT_NE(
            objectText(bytes, 7).find(
                "/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n/Filter /FlateDecode\n"
                "/DecodeParms <</Predictor 15 /Colors 3 /BitsPerComponent 8 /Columns 15>>"),
            std::string::npos);
    }
}

// Little-endian fields for hand-made BMP files.
void put16(std::string& out, std::uint32_t value)
{
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8 & 0xFF));
}

void put32(std::string& out, std::uint32_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// A BMP with an info header (or a core header when core is set) and the given palette, masks and pixels.
std::string makeBmp(
    std::int32_t width,
    std::int32_t height,
    unsigned bitCount,
    std::uint32_t compression,
    const std::vector<std::uint32_t>& palette,
    const std::string& pixels,
    bool core = false,
    const std::vector<std::uint32_t>& masks = {})
{
    std::string header;
    if (core) {
        put32(header, 12);
        put16(header, static_cast<std::uint32_t>(width));
        put16(header, static_cast<std::uint32_t>(height));
        put16(header, 1);
        put16(header, bitCount);
    } else {
        put32(header, 40);
        put32(header, static_cast<std::uint32_t>(width));
        put32(header, static_cast<std::uint32_t>(height));
        put16(header, 1);
        put16(header, bitCount);
        put32(header, compression);
        put32(header, static_cast<std::uint32_t>(pixels.size()));
        put32(header, 2835);
        put32(header, 2835);
        put32(header, static_cast<std::uint32_t>(palette.size()));
        put32(header, 0);
        for (const std::uint32_t mask : masks) {
            put32(header, mask);
        }
    }
    for (const std::uint32_t entry : palette) {
        header.push_back(static_cast<char>(entry & 0xFF));
        header.push_back(static_cast<char>(entry >> 8 & 0xFF));
        header.push_back(static_cast<char>(entry >> 16 & 0xFF));
        if (!core) {
            header.push_back(0);
        }
    }
    std::string file = "BM";
    put32(file, static_cast<std::uint32_t>(14 + header.size() + pixels.size()));
    put32(file, 0);
    put32(file, static_cast<std::uint32_t>(14 + header.size()));
    return file + header + pixels;
}

TEST_F(PdfImagesTest, HandMadeBmpVariantsShowTheirPixels)
{
    const std::string red("\xFF\x00\x00", 3);
    const std::string green("\x00\xFF\x00", 3);
    const std::string blue("\x00\x00\xFF", 3);
    const std::string white("\xFF\xFF\xFF", 3);
    const std::string black("\x00\x00\x00", 3);

    // BMP pixels hold blue, green, red.
    const auto bgr = [](std::string rgb) {
        for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
            std::swap(rgb[i], rgb[i + 2]);
        }
        return rgb;
    };

    struct Case
    {
        const char* label;
        std::string bmp;
        std::string rgb; // 4 × 2 pixels, top row first
    };

    const std::vector<std::uint32_t> palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    const Case cases[] = {
        // RLE4: bottom row "1 1 2 2" (one run alternating 1,1 then 2,2), top row by absolute mode "3 0 3 0".
        {"rle4",
         makeBmp(4, 2, 4, 2, palette, std::string("\x02\x11\x02\x22\x00\x00\x00\x04\x30\x30\x00\x01", 12)),
         blue + black + blue + black + red + red + green + green},
        // RLE8 with a delta: bottom row starts with 1, then skips to the second row's third pixel.
        {"rle8-delta",
         makeBmp(4, 2, 8, 1, palette, std::string("\x01\x01\x00\x02\x01\x01\x01\x03\x00\x01", 10)),
         black + black + blue + black + red + black + black + black},
        // Top-down 24 bits: the first stored row is the top one.
        {"top-down24",
         makeBmp(4, -2, 24, 0, {}, bgr(red + green + blue + white + black + white + black + white)),
         red + green + blue + white + black + white + black + white},
        // 16 bits 5-5-5 without masks.
        {"rgb555",
         makeBmp(4, 1, 16, 0, {}, std::string("\x00\x7C\xE0\x03\x1F\x00\xFF\x7F", 8)),
         red + green + blue + white},
        // 16 bits with 5-6-5 bit fields.
        {"rgb565",
         makeBmp(
             4,
             1,
             16,
             3,
             {},
             std::string("\x00\xF8\xE0\x07\x1F\x00\xFF\xFF", 8),
             false,
             {0xF800, 0x07E0, 0x001F}),
         red + green + blue + white},
        // A core header with a 3-byte palette, 1 bit.
        {"core1",
         makeBmp(4, 1, 1, 0, {0x000000, 0xFFFFFF}, std::string("\xA0\x00\x00\x00", 4), true),
         white + black + white + black},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::uint32_t height = c.rgb.size() / 12;
        const std::int32_t doc = pageForImage(4, height);
        ASSERT_EQ(placeFile(doc, dir.file(std::string(c.label) + ".bmp"), c.bmp), 0);
        expectShows(doc, std::string(c.label) + ".pdf", 4, height, c.rgb);
    }
}

TEST_F(PdfImagesTest, JpegBytesPassUnchangedWithTheirColourSpace)
{
    std::string rgb;
    FIBITMAP* colour = testing::makeLibraryImage(16, 8, 24, rgb);
    FIBITMAP* grey = FreeImage_ConvertToGreyscale(colour);

    struct Case
    {
        const char* label;
        std::string jpeg;
        const char* dictionary;
    };

    const Case cases[] = {
        {"grey",
         testing::saveLibraryImage(grey, FIF_JPEG, dir.file("grey.jpg"), 75),
         "/ColorSpace /DeviceGray\n/BitsPerComponent 8\n/Filter /DCTDecode\n/Length "},
        {"colour",
         testing::saveLibraryImage(colour, FIF_JPEG, dir.file("colour.jpg"), 75),
         "/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n/Filter /DCTDecode\n/Length "},
        {"cmyk",
         testing::makeCmykJpeg(16, 8),
         "/ColorSpace /DeviceCMYK\n/Decode [1 0 1 0 1 0 1 0]\n/BitsPerComponent 8\n/Filter "
         "/DCTDecode\n/Length "},
    };
    FreeImage_Unload(grey);
    FreeImage_Unload(colour);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::int32_t doc = pageForImage(16, 8);
        PdfImageMemory(doc, c.label, c.jpeg, PdfImageTypeJpeg, 0, 0, -1.0f, -1.0f, -1);
        const std::string bytes = saveChecked(doc, std::string(c.label) + ".pdf");
        const std::string image = objectText(bytes, 7);
        EXPECT_NE(image.find("\n/Width 16\n/Height 8\n" + std::string(c.dictionary)), std::string::npos)
            << image;
        EXPECT_TRUE(streamOf(bytes, 7) == c.jpeg);
        EXPECT_EQ(testing::renderPage(dir.file(std::string(c.label) + ".pdf")).width, 16u);
    }
}

TEST_F(PdfImagesTest, JpegTwoThousandBytesPassUnchangedWithTheirColourSpace)
{
    const TestImage grey = testing::makeJp2(dir.path().string(), 12, 10, 1);
    const TestImage colour = testing::makeJp2(dir.path().string(), 12, 10, 3);

    struct Case
    {
        const char* label;
        std::string jp2;
        const char* colourLine; // empty: no colour space
        const std::string* rgb;
    };

    const Case cases[] = {
        {"grey", grey.bytes, "/ColorSpace /DeviceGray\n", &grey.rgb},
        {"colour", colour.bytes, "/ColorSpace /DeviceRGB\n", &colour.rgb},
        // Without a colour space the reader decides how to show it; only the file is checked.
        {"no-colr", testing::withoutJp2HeaderBox(colour.bytes, "colr"), "", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::int32_t doc = pageForImage(12, 10);
        ASSERT_EQ(placeFile(doc, dir.file(std::string(c.label) + ".jp2"), c.jp2), 0);
        const std::string pdf = std::string(c.label) + ".pdf";
        const std::string bytes =
            c.rgb != nullptr ? expectShows(doc, pdf, 12, 10, *c.rgb) : saveChecked(doc, pdf);
        const std::string image = objectText(bytes, 7);
        EXPECT_NE(
            image.find(
                "/Height 10\n" + std::string(c.colourLine) + "/BitsPerComponent 8\n/Filter /JPXDecode\n"),
            std::string::npos)
            << image;
        EXPECT_TRUE(streamOf(bytes, 7) == c.jp2);
    }
}

TEST_F(PdfImagesTest, ExtensionChoosesTheTypeAndBadFilesGiveTheirCodes)
{
    std::string rgb;
    FIBITMAP* colour = testing::makeLibraryImage(6, 4, 24, rgb);
    const std::string jpeg = testing::saveLibraryImage(colour, FIF_JPEG, dir.file("source.jpg"), 75);
    FreeImage_Unload(colour);
    const std::string png = testing::makePng(6, 4, 0, 8, false).bytes;

    struct Case
    {
        const char* name;
        std::optional<std::string> bytes; // nullopt: no file
        std::int32_t code;
    };

    const Case cases[] = {
        {"upper.JPG", jpeg, 0},
        {"dotted.name.Jpeg", jpeg, 0},
        {"picture.jfif", jpeg, 0},
        {"picture.jpe", jpeg, 0},
        {"picture.PNG", png, 0},
        {"picture.tif", jpeg, 5},
        {"no-extension", jpeg, 5},
        {"missing.jpg", std::nullopt, 7},
        {"missing.png", std::nullopt, 7},
        {"empty.png", std::string(), 7},
        {"empty.jpg", std::string(), 7},
        {"jpeg-named.png", jpeg, 4},
        {"jpeg-named.bmp", jpeg, 7},
        {"png-named.jpg", png, 3},
        {"png-named.jp2", png, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::int32_t doc = pageForImage(6, 4);
        if (c.bytes) {
            writeFile(dir.file(c.name), *c.bytes);
        }
        EXPECT_EQ(placeImageFile(doc, dir.file(c.name), 0, 0, -1.0f, -1.0f, -1), c.code);
        EXPECT_EQ(PdfErrorCode(doc), c.code);
        EXPECT_EQ(currentPdfDocument()->images.size(), c.code == 0 ? 1u : 0u);
        // The public operation returns 0 either way.
        EXPECT_EQ(PdfImage(doc, dir.file(c.name), 0, 0, -1.0f, -1.0f, -1), 0);
        PdfClose(doc, dir.file("unused.pdf"));
    }
}

TEST_F(PdfImagesTest, SizeFollowsThePixelsTheUnitAndTheAspectRatio)
{
    const std::string png = testing::makePng(1000, 500, 0, 1, false).bytes;
    writeFile(dir.file("wide.png"), png);
    const std::int32_t doc = PdfCreate(1, "P", "mm", "", -1.0f, -1.0f);
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    PdfImage(doc, dir.file("wide.png"), 10, 20, -1.0f, -1.0f, -1);
    PdfImage(doc, dir.file("wide.png"), -1.0f, -1.0f, 100, -1.0f, -1);
    PdfImage(doc, dir.file("wide.png"), 0, 0, -1.0f, 30, -1);
    const PdfDocument& d = *currentPdfDocument();
    ASSERT_EQ(d.images.size(), 3u);
    EXPECT_EQ(PdfNumber(d.images[0].width, 2), "352.78");
    EXPECT_EQ(PdfNumber(d.images[0].height, 2), "176.39");
    EXPECT_EQ(d.images[1].height, 50.0f);
    EXPECT_EQ(d.images[2].width, 60.0f);
    EXPECT_EQ(d.images[0].name, "wide.png");
    EXPECT_EQ(d.images[1].number, 2);
    const std::string bytes = saveChecked(doc, "sizes.pdf");
    const std::string content = streamOf(bytes, 6);
    // 10 mm = 28.35 pt; the page is 297 mm high, the image's bottom at 297 − 20 − 176.39 mm.
    EXPECT_NE(content.find("q 1000.00 0 0 500.00 28.35 285.20 cm /I1 Do Q\n"), std::string::npos) << content;
    // The current position is the top-left margin (10 mm).
    EXPECT_NE(content.find("q 283.46 0 0 141.73 28.35 671.81 cm /I2 Do Q\n"), std::string::npos) << content;
    EXPECT_NE(content.find("/I3 Do Q"), std::string::npos);
    EXPECT_NE(bytes.find("/XObject <</I1 7 0 R /I2 8 0 R /I3 9 0 R>>"), std::string::npos);
}

// A PNG chunk's length field and data, for the crafted bad files.
std::string pngWithIhdr(std::uint32_t width, std::uint32_t height)
{
    std::string png = testing::makePng(4, 4, 0, 8, false).bytes;
    for (int i = 0; i < 4; ++i) {
        png[16 + static_cast<std::size_t>(i)] = static_cast<char>(width >> (24 - 8 * i));
        png[20 + static_cast<std::size_t>(i)] = static_cast<char>(height >> (24 - 8 * i));
    }
    return png;
}

void putBigEndian32(std::string& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>(value >> shift & 0xFF));
    }
}

// A PNG chunk with its right CRC.
std::string pngChunk(const std::string& type, const std::string& data)
{
    std::string chunk;
    putBigEndian32(chunk, static_cast<std::uint32_t>(data.size()));
    chunk += type + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(chunk.data() + 4), chunk.size() - 4);
    putBigEndian32(chunk, static_cast<std::uint32_t>(crc));
    return chunk;
}

struct PngHeader
{
    std::uint32_t width;
    std::uint32_t height;
    int bits;
    int colourType;
    int interlace = 0;
};

// A PNG of the header whose one IDAT chunk holds idat, every CRC right.
std::string craftPng(const PngHeader& header, const std::string& idat)
{
    std::string ihdr;
    putBigEndian32(ihdr, header.width);
    putBigEndian32(ihdr, header.height);
    ihdr +=
        {static_cast<char>(header.bits),
         static_cast<char>(header.colourType),
         0,
         0,
         static_cast<char>(header.interlace)};
    return std::string("\x89PNG\r\n\x1A\n", 8) + pngChunk("IHDR", ihdr) + pngChunk("IDAT", idat) +
           pngChunk("IEND", "");
}

std::string zlibOf(const std::string& raw)
{
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string out(size, '\0');
    compress2(
        reinterpret_cast<Bytef*>(out.data()),
        &size,
        reinterpret_cast<const Bytef*>(raw.data()),
        raw.size(),
        9);
    out.resize(size);
    return out;
}

// count rows of rowBytes bytes: filter type 0, then a pattern of samples.
std::string filteredRows(std::size_t count, std::size_t rowBytes)
{
    std::string rows;
    for (std::size_t y = 0; y < count; ++y) {
        rows.push_back('\0');
        for (std::size_t x = 1; x < rowBytes; ++x) {
            rows.push_back(static_cast<char>((x * 7 + y * 13 + x * y) % 251));
        }
    }
    return rows;
}

TEST_F(PdfImagesTest, DamagedPngDataIsRefusedAndTheDocumentStaysReadable)
{
    // 40 × 30 grey pixels at 8 bits: 30 rows of a filter byte and 40 samples.
    const PngHeader grey{40, 30, 8, 0};
    const std::string rows = filteredRows(30, 41);
    const std::string sound = craftPng(grey, zlibOf(rows));
    std::string changedInTheMiddle = zlibOf(rows);
    changedInTheMiddle[changedInTheMiddle.size() / 2] ^= 0x55;
    std::string wrongCrc = sound;
    wrongCrc[sound.find("IEND") - 5] ^= 0x01; // the last byte of the IDAT CRC
    std::string badFilter = rows;
    badFilter[2 * 41] = 5;

    struct Case
    {
        const char* label;
        std::string png;
        std::int32_t code;
    };

    const Case cases[] = {
        {"sound", sound, 0},
        // A final block of the reserved type 3.
        {"corrupt deflate", craftPng(grey, std::string("\x78\x01\x07\x00\x00\x00\x00\x00", 8)), 4},
        {"bytes changed in the middle", craftPng(grey, changedInTheMiddle), 4},
        {"one row short", craftPng(grey, zlibOf(filteredRows(29, 41))), 4},
        {"one byte short", craftPng(grey, zlibOf(rows.substr(1))), 4},
        {"one row long", craftPng(grey, zlibOf(filteredRows(31, 41))), 4},
        {"bytes after the stream", craftPng(grey, zlibOf(rows) + std::string(4, '\0')), 4},
        {"unknown row filter", craftPng(grey, zlibOf(badFilter)), 4},
        {"no image data", craftPng(grey, ""), 4},
        {"absurd size", craftPng({2147483647, 2147483647, 8, 0}, zlibOf(rows)), 4},
        {"zero width", craftPng({0, 30, 8, 0}, zlibOf(rows)), 4},
        {"zero height", craftPng({40, 0, 8, 0}, zlibOf(rows)), 4},
        {"wrong CRC alone", wrongCrc, 4},
        // 1-bit rows of 65,536 and 65,537 pixels: 8,192 and 8,193 bytes after the filter byte.
        {"widest", craftPng({65536, 1, 1, 0}, zlibOf(std::string(8193, '\0'))), 0},
        {"too wide", craftPng({65537, 1, 1, 0}, zlibOf(std::string(8194, '\0'))), 4},
        {"highest", craftPng({1, 65536, 1, 0}, zlibOf(std::string(2 * 65536, '\0'))), 0},
        {"too high", craftPng({1, 65537, 1, 0}, zlibOf(std::string(2 * 65537, '\0'))), 4},
        // Re-encoded kinds: interlaced (60 bytes of passes, not the 54 of a plain image) and 16 bits.
        {"interlaced, plain data", craftPng({8, 6, 8, 0, 1}, zlibOf(filteredRows(6, 9))), 4},
        {"interlaced", craftPng({8, 6, 8, 0, 1}, zlibOf(std::string(60, '\0'))), 0},
        {"16 bits, one row short", craftPng({8, 6, 16, 2, 0}, zlibOf(filteredRows(5, 49))), 4},
        {"16 bits", craftPng({8, 6, 16, 2, 0}, zlibOf(filteredRows(6, 49))), 0},
    };
    const std::int32_t doc = pageForImage(40, 30);
    PdfDocument& d = *currentPdfDocument();
    std::size_t placed = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string path = dir.file("crafted.png");
        writeFile(path, c.png);
        for (const bool fromMemory : {false, true}) {
            setPdfError(d, PdfError::None);
            const std::size_t objects = d.objects.size();
            const std::string content = currentContent();
            if (fromMemory) {
                PdfImageMemory(doc, "crafted", c.png, PdfImageTypePng, 0, 0, 10, 10, -1);
            } else {
                placeImageFile(doc, path, 0, 0, 10, 10, -1);
            }
            EXPECT_EQ(PdfErrorCode(doc), c.code) << (fromMemory ? "from memory" : "from a file");
            if (c.code == 0) {
                ++placed;
            } else {
                EXPECT_EQ(d.objects.size(), objects) << "a refused image adds no object";
                EXPECT_EQ(currentContent(), content) << "a refused image is not drawn";
            }
            EXPECT_EQ(d.images.size(), placed);
        }
    }
    saveChecked(doc, "after-damaged.pdf");
    EXPECT_EQ(renderComplaints(dir.file("after-damaged.pdf"), dir.path().string()), "");
}

// The peak resident size of this process grown since reset, in kB; -1 when the kernel cannot tell.
long residentPeakGrowthKb(const std::function<void()>& work)
{
    const auto field = [](const char* name) {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind(name, 0) == 0) {
                return std::stol(line.substr(std::string(name).size()));
            }
        }
        return -1L;
    };
    std::ofstream reset("/proc/self/clear_refs");
    reset << "5";
    reset.close();
    const long before = field("VmRSS:");
    if (!reset || field("VmHWM:") > before + 1024) {
        return -1;
    }
    work();
    return field("VmHWM:") - before;
}

TEST_F(PdfImagesTest, TinyPngClaimingAHugeImageIsRefusedWithoutLargeAllocation)
{
    // 16-bit RGB that the data cannot hold: decoding it would need 402 MB of pixels.
    const std::string png = craftPng({11585, 11585, 16, 2}, zlibOf(std::string(3, '\0')));
    ASSERT_EQ(png.size(), 68u);
    const std::string path = dir.file("tiny.png");
    writeFile(path, png);
    const std::int32_t doc = pageForImage(4, 4);
    std::int32_t fileCode = -1;
    const long growthKb = residentPeakGrowthKb([&] {
        fileCode = placeImageFile(doc, path, 0, 0, -1.0f, -1.0f, -1);
        setPdfError(*currentPdfDocument(), PdfError::None);
        PdfImageMemory(doc, "tiny", png, PdfImageTypePng, 0, 0, -1.0f, -1.0f, -1);
    });
    EXPECT_EQ(fileCode, 4);
    EXPECT_EQ(PdfErrorCode(doc), 4);
    EXPECT_TRUE(currentPdfDocument()->images.empty());
    ASSERT_GE(growthKb, 0) << "the peak resident size cannot be reset here";
    EXPECT_LT(growthKb, 16 * 1024);
}

class TruncationTest : public PdfImagesTest
{
protected:
    // Every strict prefix of the file, placed from a file of that name, gives code (7 for the empty
    // one) and leaves the document without image object or drawing.
    void expectEveryTruncationRefused(const std::string& name, const std::string& bytes, std::int32_t code)
    {
        const std::int32_t doc = pageForImage(20, 20);
        const std::size_t objects = currentPdfDocument()->objects.size();
        const std::string content = currentPdfDocument()->objects.back().stream.data;
        for (std::size_t length = 0; length < bytes.size(); ++length) {
            const std::int32_t expected = length == 0 ? 7 : code;
            writeFile(dir.file(name), bytes.substr(0, length));
            if (placeImageFile(doc, dir.file(name), 0, 0, -1.0f, -1.0f, -1) != expected) {
                ADD_FAILURE() << name << " cut to " << length << " of " << bytes.size() << " bytes";
                break;
            }
        }
        EXPECT_EQ(currentPdfDocument()->objects.size(), objects);
        EXPECT_TRUE(currentPdfDocument()->images.empty());
        EXPECT_EQ(currentPdfDocument()->objects.back().stream.data, content);
        // The whole file is fine.
        writeFile(dir.file(name), bytes);
        EXPECT_EQ(placeImageFile(doc, dir.file(name), 0, 0, -1.0f, -1.0f, -1), 0);
        saveChecked(doc, name + ".pdf");
    }
};

TEST_F(TruncationTest, EveryCutPngIsRefused)
{
    expectEveryTruncationRefused("grey.png", testing::makePng(9, 5, 0, 8, false).bytes, 4);
    expectEveryTruncationRefused("palette.png", testing::makePng(9, 5, 3, 4, false, 16).bytes, 4);
    expectEveryTruncationRefused("rgba.png", testing::makePng(9, 5, 6, 8, true).bytes, 4);
}

TEST_F(TruncationTest, EveryCutJpegIsRefused)
{
    std::string rgb;
    FIBITMAP* colour = testing::makeLibraryImage(9, 5, 24, rgb);
    expectEveryTruncationRefused(
        "colour.jpg", testing::saveLibraryImage(colour, FIF_JPEG, dir.file("source.jpg"), 75), 3);
    FreeImage_Unload(colour);
}

TEST_F(TruncationTest, EveryCutJpegTwoThousandIsRefused)
{
    expectEveryTruncationRefused("grey.jp2", testing::makeJp2(dir.path().string(), 9, 5, 1).bytes, 3);
}

TEST_F(TruncationTest, EveryCutBmpIsRefused)
{
    for (const auto& [bitCount, flags] : {std::pair{1u, 0}, {8u, BMP_SAVE_RLE}, {24u, 0}, {32u, 0}}) {
        std::string rgb;
        FIBITMAP* picture = testing::makeLibraryImage(9, 5, bitCount, rgb);
        const std::string name = "depth" + std::to_string(bitCount) + ".bmp";
        expectEveryTruncationRefused(
            name, testing::saveLibraryImage(picture, FIF_BMP, dir.file("source.bmp"), flags), 7);
        FreeImage_Unload(picture);
    }
}

TEST_F(PdfImagesTest, CraftedBadHeadersAreRefusedWithoutDrawing)
{
    std::string hugeChunk = testing::makePng(4, 4, 0, 8, false).bytes;
    // The IDAT chunk follows IHDR (8 + 25 bytes); its length becomes 0xFFFFFFF0.
    hugeChunk.replace(33, 4, std::string("\xFF\xFF\xFF\xF0", 4));
    std::string jpegWidthZero;
    {
        std::string rgb;
        FIBITMAP* colour = testing::makeLibraryImage(4, 4, 24, rgb);
        jpegWidthZero = testing::saveLibraryImage(colour, FIF_JPEG, dir.file("source.jpg"), 75);
        FreeImage_Unload(colour);
        const std::size_t frame = jpegWidthZero.find("\xFF\xC0");
        jpegWidthZero[frame + 7] = 0;
        jpegWidthZero[frame + 8] = 0;
    }
    std::string jp2WidthZero = testing::makeJp2(dir.path().string(), 4, 4, 1).bytes;
    jp2WidthZero.replace(jp2WidthZero.find("ihdr") + 8, 4, std::string(4, '\0'));

    struct Case
    {
        const char* name;
        std::string bytes;
        std::int32_t code;
    };

    const Case cases[] = {
        {"huge-chunk.png", hugeChunk, 4},
        {"width-zero.png", pngWithIhdr(0, 4), 4},
        {"height-zero.png", pngWithIhdr(4, 0), 4},
        {"width-zero.jpg", jpegWidthZero, 3},
        {"width-zero.jp2", jp2WidthZero, 3},
        {"width-zero.bmp", makeBmp(0, 2, 24, 0, {}, std::string(12, '\0')), 7},
        {"height-zero.bmp", makeBmp(2, 0, 24, 0, {}, std::string(12, '\0')), 7},
        {"huge.bmp", makeBmp(65535, 65535, 8, 1, {0}, std::string("\x00\x01", 2)), 7},
        {"bad-depth.bmp", makeBmp(2, 2, 7, 0, {}, std::string(16, '\0')), 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::int32_t doc = pageForImage(4, 4);
        EXPECT_EQ(placeFile(doc, dir.file(c.name), c.bytes), c.code);
        EXPECT_TRUE(currentPdfDocument()->images.empty());
        EXPECT_EQ(currentPdfDocument()->objects.size(), 6u);
        EXPECT_EQ(currentPdfDocument()->objects.back().stream.data.find(" Do Q"), std::string::npos);
        PdfClose(doc, dir.file("unused.pdf"));
    }
}

TEST_F(PdfImagesTest, EmptyMemoryRecordsTwoAndPlacesNothing)
{
    const std::int32_t doc = pageForImage(4, 4);
    PdfImageMemory(doc, "nothing", {}, PdfImageTypeJpeg, 0, 0, -1.0f, -1.0f, -1);
    EXPECT_EQ(PdfErrorCode(doc), 2);
    EXPECT_TRUE(currentPdfDocument()->images.empty());
}

TEST_F(PdfImagesTest, UnwritableSpoolRecordsSixAndPlacesNothing)
{
    const std::string png = testing::makePng(4, 4, 3, 2, false, 4).bytes;
    const char* previous = std::getenv("TMPDIR");
    const std::string saved = previous != nullptr ? previous : "";
    ::setenv("TMPDIR", dir.file("no-such-folder").c_str(), 1);
    const std::int32_t doc = pageForImage(4, 4);
    PdfImageMemory(doc, "spooled", png, PdfImageTypePng, 0, 0, -1.0f, -1.0f, -1);
    const std::int32_t code = PdfErrorCode(doc);
    const std::size_t objects = currentPdfDocument()->objects.size();
    const bool drawn = currentPdfDocument()->objects.back().stream.data.find("Do Q") != std::string::npos;
    if (previous != nullptr) {
        ::setenv("TMPDIR", saved.c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }
    EXPECT_EQ(code, 6);
    EXPECT_EQ(objects, 6u); // neither palette nor image object
    EXPECT_FALSE(drawn);
    EXPECT_TRUE(currentPdfDocument()->images.empty());
}

TEST(PdfByteReaders, SwapAndReadBytes)
{
    EXPECT_EQ(SwapUInt16(0x1234), 0x3412);
    EXPECT_EQ(SwapUInt16(0xABCD1234), 0x3412); // only the low 16 bits
    EXPECT_EQ(SwapUInt32(0x12345678), 0x78563412u);
    EXPECT_EQ(SwapUInt32(0xFF000001), 0x010000FFu);
    EXPECT_EQ(SwapUInt64(0x0102030405060708ull), 0x0807060504030201ull);
    EXPECT_EQ(ReadUInt16(0x1234, 0), 0x1234);
    EXPECT_EQ(ReadUInt16(0x1234, 1), 0x3412);
    EXPECT_EQ(ReadUInt32(0x80000001, 0), 0x80000001u);
    EXPECT_EQ(ReadUInt32(0x80000001, 1), 0x01000080u);
    EXPECT_EQ(LowByte(0x1FF), 0xFF);
}

} // namespace
} // namespace folvex
