#include "support/image_fixtures.h"

#include "runtime/dynamic_library.h"
#include "support/fakes.h"
#include "support/pdf_check.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstring>
#include <jpeglib.h>
#include <stdexcept>

namespace folvex::testing {

const FreeImageLibrary& realFreeImage()
{
    static const FreeImageLibrary library = [] {
        ScopedFakeEffects fakes;
        FreeImageLibrary loaded;
        if (!loadFreeImageBinding(loaded)) {
            throw std::runtime_error("the image library could not be loaded");
        }
        return loaded;
    }();
    return library;
}

const FreeImageFunctionTable& realFunctions()
{
    return realFreeImage().FreeImageFunctions;
}

const FreeImageTestFunctions& testFunctions()
{
    static const DynamicLibrary library(FreeImageLibraryName);
    static const FreeImageTestFunctions functions = [] {
        FreeImageTestFunctions found;
        found.AllocateT =
            library.function<std::remove_pointer_t<decltype(found.AllocateT)>>("FreeImage_AllocateT");
        found.GetPalette =
            library.function<std::remove_pointer_t<decltype(found.GetPalette)>>("FreeImage_GetPalette");
        found.GetPixelIndex =
            library.function<std::remove_pointer_t<decltype(found.GetPixelIndex)>>("FreeImage_GetPixelIndex");
        found.GetScanLine =
            library.function<std::remove_pointer_t<decltype(found.GetScanLine)>>("FreeImage_GetScanLine");
        if (!found.AllocateT || !found.GetPalette || !found.GetPixelIndex || !found.GetScanLine) {
            throw std::runtime_error("the image library lacks a test function");
        }
        return found;
    }();
    return functions;
}

std::unique_ptr<DibBitmap> makeRandomBitmap(
    std::int32_t width, std::int32_t height, std::uint16_t bitCount, double whiteShare, std::mt19937& random)
{
    auto bitmap = makeDibBitmap(width, height, bitCount);
    std::bernoulli_distribution white(whiteShare);
    std::uniform_int_distribution<int> byte(0, 255);
    for (auto& entry : bitmap->palette) {
        entry = white(random)
                    ? 0xFFFFFF
                    : static_cast<std::uint32_t>(byte(random) << 16 | byte(random) << 8 | byte(random));
    }
    for (auto& value : bitmap->bits) {
        value = bitCount > 8 && white(random) ? 255 : static_cast<std::uint8_t>(byte(random));
    }
    return bitmap;
}

ImagePtr toFreeImage(const DibBitmap& bitmap)
{
    const FreeImageFunctionTable& fi = realFunctions();
    ImagePtr image(fi.Allocate(bitmap.width, bitmap.height, bitmap.bitCount, 0, 0, 0));
    if (!image) {
        throw std::runtime_error("Allocate failed");
    }
    const std::size_t stride = bitmap.stride();
    const std::size_t pitch = fi.GetPitch(image.get());
    BYTE* bits = fi.GetBits(image.get());
    for (std::int32_t row = 0; row < bitmap.height; ++row) {
        std::memcpy(bits + pitch * static_cast<std::size_t>(row), bitmap.bits.data() + stride * row, stride);
    }
    if (bitmap.bitCount <= 8) {
        RGBQUAD* palette = testFunctions().GetPalette(image.get());
        for (std::size_t i = 0; i < bitmap.palette.size(); ++i) {
            palette[i].rgbRed = static_cast<BYTE>(bitmap.palette[i] >> 16);
            palette[i].rgbGreen = static_cast<BYTE>(bitmap.palette[i] >> 8);
            palette[i].rgbBlue = static_cast<BYTE>(bitmap.palette[i]);
        }
    }
    return image;
}

std::uint32_t libraryColourAt(FIBITMAP* image, unsigned x, unsigned yFromTop)
{
    const FreeImageFunctionTable& fi = realFunctions();
    const unsigned y = fi.GetHeight(image) - 1 - yFromTop;
    RGBQUAD colour{};
    if (fi.GetBPP(image) <= 8) {
        BYTE index = 0;
        EXPECT_TRUE(testFunctions().GetPixelIndex(image, x, y, &index));
        colour = testFunctions().GetPalette(image)[index];
    } else {
        EXPECT_TRUE(fi.GetPixelColor(image, x, y, &colour));
    }
    return std::uint32_t{colour.rgbRed} << 16 | std::uint32_t{colour.rgbGreen} << 8 | colour.rgbBlue;
}

namespace {

int channelsOf(int colourType)
{
    switch (colourType) {
        case 0:
        case 3:
            return 1;
        case 4:
            return 2;
        case 2:
            return 3;
        default:
            return 4;
    }
}

// A sample level 0..maximum of channel c at (x, y).
unsigned level(std::uint32_t x, std::uint32_t y, int c, unsigned maximum)
{
    return (x * 37 + y * 61 + static_cast<unsigned>(c) * 83 + x * y) % (maximum + 1);
}

void writeToString(png_structp png, png_bytep data, png_size_t size)
{
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), size);
}

void noFlush(png_structp) {}

std::uint8_t paletteChannel(unsigned index, int c)
{
    return static_cast<std::uint8_t>((index * 53 + static_cast<unsigned>(c) * 97) % 256);
}

} // namespace

TestImage
makePng(std::uint32_t width, std::uint32_t height, int colourType, int bits, bool interlaced, int paletteSize)
{
    TestImage image;
    image.width = width;
    image.height = height;
    const int channels = channelsOf(colourType);
    const unsigned maximum =
        colourType == 3 ? static_cast<unsigned>(paletteSize - 1) : (bits == 16 ? 255u : (1u << bits) - 1);
    const bool colour = colourType == 2 || colourType == 6;

    // Packed rows: samples of `bits` bits, most significant first; 16-bit samples as v * 257.
    const std::size_t rowBytes = (std::size_t{width} * channels * bits + 7) / 8;
    std::vector<std::uint8_t> rows(rowBytes * height, 0);
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* row = rows.data() + rowBytes * y;
        for (std::uint32_t x = 0; x < width; ++x) {
            for (int c = 0; c < channels; ++c) {
                const unsigned v = level(x, y, c, maximum);
                const std::size_t sample = std::size_t{x} * channels + static_cast<std::size_t>(c);
                if (bits == 16) {
                    row[2 * sample] = static_cast<std::uint8_t>(v);
                    row[2 * sample + 1] = static_cast<std::uint8_t>(v);
                } else if (bits == 8) {
                    row[sample] = static_cast<std::uint8_t>(v);
                } else {
                    const std::size_t bit = sample * static_cast<std::size_t>(bits);
                    row[bit / 8] |= static_cast<std::uint8_t>(v << (8 - bits - bit % 8));
                }
            }
            for (int c = 0; c < 3; ++c) {
                unsigned shown = 0;
                if (colourType == 3) {
                    shown = paletteChannel(level(x, y, 0, maximum), c);
                } else {
                    const unsigned v = level(x, y, colour ? c : 0, maximum);
                    shown = bits >= 8 ? v : v * 255 / maximum;
                }
                image.rgb.push_back(static_cast<char>(shown));
            }
        }
    }

    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("libpng could not write the fixture");
    }
    png_set_write_fn(png, &image.bytes, writeToString, noFlush);
    png_set_IHDR(
        png,
        info,
        width,
        height,
        bits,
        colourType,
        interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
        PNG_COMPRESSION_TYPE_DEFAULT,
        PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    if (colourType == 3) {
        for (int i = 0; i < paletteSize; ++i) {
            palette.push_back(
                {paletteChannel(static_cast<unsigned>(i), 0),
                 paletteChannel(static_cast<unsigned>(i), 1),
                 paletteChannel(static_cast<unsigned>(i), 2)});
        }
        png_set_PLTE(png, info, palette.data(), paletteSize);
    }
    std::vector<png_bytep> pointers(height);
    for (std::uint32_t y = 0; y < height; ++y) {
        pointers[y] = rows.data() + rowBytes * y;
    }
    png_set_rows(png, info, pointers.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return image;
}

FIBITMAP* makeLibraryImage(std::uint32_t width, std::uint32_t height, unsigned bitCount, std::string& rgb)
{
    FIBITMAP* image =
        FreeImage_Allocate(static_cast<int>(width), static_cast<int>(height), static_cast<int>(bitCount));
    if (bitCount <= 8) {
        RGBQUAD* palette = FreeImage_GetPalette(image);
        const unsigned count = 1u << bitCount;
        for (unsigned i = 0; i < count; ++i) {
            palette[i].rgbRed = bitCount == 1 ? static_cast<BYTE>(i * 255) : paletteChannel(i, 0);
            palette[i].rgbGreen = bitCount == 1 ? static_cast<BYTE>(i * 255) : paletteChannel(i, 1);
            palette[i].rgbBlue = bitCount == 1 ? static_cast<BYTE>(i * 255) : paletteChannel(i, 2);
        }
    }
    rgb.clear();
    for (std::uint32_t y = 0; y < height; ++y) {
        const unsigned fromBottom = height - 1 - y;
        for (std::uint32_t x = 0; x < width; ++x) {
            if (bitCount <= 8) {
                BYTE index = static_cast<BYTE>(level(x, y, 0, (1u << bitCount) - 1));
                FreeImage_SetPixelIndex(image, x, fromBottom, &index);
                const RGBQUAD entry = FreeImage_GetPalette(image)[index];
                rgb +=
                    {static_cast<char>(entry.rgbRed),
                     static_cast<char>(entry.rgbGreen),
                     static_cast<char>(entry.rgbBlue)};
            } else {
                RGBQUAD colour{};
                colour.rgbRed = static_cast<BYTE>(level(x, y, 0, 255));
                colour.rgbGreen = static_cast<BYTE>(level(x, y, 1, 255));
                colour.rgbBlue = static_cast<BYTE>(level(x, y, 2, 255));
                colour.rgbReserved = static_cast<BYTE>(level(x, y, 3, 255));
                FreeImage_SetPixelColor(image, x, fromBottom, &colour);
                rgb +=
                    {static_cast<char>(colour.rgbRed),
                     static_cast<char>(colour.rgbGreen),
                     static_cast<char>(colour.rgbBlue)};
            }
        }
    }
    return image;
}

std::string saveLibraryImage(FIBITMAP* image, FREE_IMAGE_FORMAT format, const std::string& path, int flags)
{
    if (!FreeImage_Save(format, image, path.c_str(), flags)) {
        throw std::runtime_error("the image library could not save " + path);
    }
    return readFile(path);
}

std::string makeCmykJpeg(std::uint32_t width, std::uint32_t height)
{
    jpeg_compress_struct compressor{};
    jpeg_error_mgr errors{};
    compressor.err = jpeg_std_error(&errors);
    jpeg_create_compress(&compressor);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&compressor, &out, &outSize);
    compressor.image_width = width;
    compressor.image_height = height;
    compressor.input_components = 4;
    compressor.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&compressor);
    jpeg_start_compress(&compressor, TRUE);
    std::vector<JSAMPLE> row(std::size_t{width} * 4);
    while (compressor.next_scanline < height) {
        for (std::uint32_t x = 0; x < width; ++x) {
            for (int c = 0; c < 4; ++c) {
                row[x * 4 + static_cast<std::size_t>(c)] =
                    static_cast<JSAMPLE>(level(x, compressor.next_scanline, c, 255));
            }
        }
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&compressor, &pointer, 1);
    }
    jpeg_finish_compress(&compressor);
    jpeg_destroy_compress(&compressor);
    std::string bytes(reinterpret_cast<const char*>(out), outSize);
    std::free(out);
    return bytes;
}

TestImage makeJp2(const std::string& folder, std::uint32_t width, std::uint32_t height, int components)
{
    TestImage image;
    image.width = width;
    image.height = height;
    std::string pnm = (components == 1 ? "P5\n" : "P6\n") + std::to_string(width) + " " +
                      std::to_string(height) + "\n255\n";
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            for (int c = 0; c < components; ++c) {
                pnm.push_back(static_cast<char>(level(x, y, c, 255)));
            }
            for (int c = 0; c < 3; ++c) {
                image.rgb.push_back(static_cast<char>(level(x, y, components == 1 ? 0 : c, 255)));
            }
        }
    }
    const std::string name = folder + "/source" + std::to_string(components);
    writeFile(name + (components == 1 ? ".pgm" : ".ppm"), pnm);
    const ProgramOutput made = runProgram(
        {"opj_compress", "-n", "2", "-i", name + (components == 1 ? ".pgm" : ".ppm"), "-o", name + ".jp2"});
    if (made.exitCode != 0) {
        throw std::runtime_error("opj_compress failed: " + made.output);
    }
    image.bytes = readFile(name + ".jp2");
    return image;
}

std::string withoutJp2HeaderBox(const std::string& jp2, const std::string& type)
{
    const auto read32 = [&](std::size_t pos) {
        return static_cast<std::uint32_t>(static_cast<std::uint8_t>(jp2[pos])) << 24 |
               static_cast<std::uint32_t>(static_cast<std::uint8_t>(jp2[pos + 1])) << 16 |
               static_cast<std::uint32_t>(static_cast<std::uint8_t>(jp2[pos + 2])) << 8 |
               static_cast<std::uint32_t>(static_cast<std::uint8_t>(jp2[pos + 3]));
    };
    const auto write32 = [](std::string& bytes, std::size_t pos, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            bytes[pos + static_cast<std::size_t>(i)] = static_cast<char>(value >> (24 - 8 * i));
        }
    };
    for (std::size_t pos = 0; pos + 8 <= jp2.size(); pos += read32(pos)) {
        if (jp2.compare(pos + 4, 4, "jp2h") != 0) {
            continue;
        }
        const std::uint32_t headerLength = read32(pos);
        for (std::size_t inner = pos + 8; inner < pos + headerLength; inner += read32(inner)) {
            if (jp2.compare(inner + 4, 4, type) == 0) {
                const std::uint32_t boxLength = read32(inner);
                std::string result = jp2.substr(0, inner) + jp2.substr(inner + boxLength);
                write32(result, pos, headerLength - boxLength);
                return result;
            }
        }
    }
    throw std::runtime_error("no box " + type);
}

namespace {

// A binary PNM file ("P6\nW H\n255\n" and the pixels); empty when it cannot be read.
Rendered readPnm(const std::string& path)
{
    const std::string bytes = readFile(path);
    std::size_t pos = 0;
    std::vector<std::string> fields;
    while (fields.size() < 4 && pos < bytes.size()) {
        while (pos < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[pos]))) {
            ++pos;
        }
        if (pos < bytes.size() && bytes[pos] == '#') {
            pos = bytes.find('\n', pos);
            continue;
        }
        const std::size_t start = pos;
        while (pos < bytes.size() && !std::isspace(static_cast<unsigned char>(bytes[pos]))) {
            ++pos;
        }
        fields.push_back(bytes.substr(start, pos - start));
    }
    Rendered rendered;
    if (fields.size() < 4) {
        return rendered;
    }
    rendered.width = static_cast<std::uint32_t>(std::stoul(fields[1]));
    rendered.height = static_cast<std::uint32_t>(std::stoul(fields[2]));
    rendered.rgb = bytes.substr(pos + 1);
    return rendered;
}

} // namespace

Rendered renderPage(const std::string& pdfPath, int pageNumber, const std::string& device)
{
    const std::string out = pdfPath + ".page.pnm";
    const ProgramOutput result = runProgram(
        {"gs",
         "-q",
         "-dNOPAUSE",
         "-dBATCH",
         "-dSAFER",
         "-sDEVICE=" + device,
         "-r72",
         "-dFirstPage=" + std::to_string(pageNumber),
         "-dLastPage=" + std::to_string(pageNumber),
         "-sOutputFile=" + out,
         pdfPath});
    return result.exitCode == 0 ? readPnm(out) : Rendered{};
}

Rendered renderPageWithPoppler(const std::string& pdfPath, int pageNumber)
{
    const std::string page = std::to_string(pageNumber);
    const std::string root = pdfPath + ".poppler";
    const ProgramOutput result =
        runProgram({"pdftoppm", "-r", "72", "-f", page, "-l", page, "-singlefile", pdfPath, root});
    return result.exitCode == 0 ? readPnm(root + ".ppm") : Rendered{};
}

} // namespace folvex::testing
