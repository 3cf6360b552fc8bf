// The BMP reader: a BMP file in memory turned into an 8-bit RGB PNG. It reads the core, info, V4 and V5
// headers, palettes of 1-, 4- and 8-bit pictures, 16- and 32-bit pixels with their bit fields, 24-bit
// pixels and the RLE4 and RLE8 encodings, bottom-up and top-down. Every size is checked against the
// data before anything is allocated or read.
#include "pdf/pdf_image_parsers.h"
#include "pdf/pdf_images_internal.h"

#include <array>
#include <bit>
#include <cstring>
#include <vector>

namespace folvex {

namespace {

constexpr std::uint32_t CompressionRgb = 0;
constexpr std::uint32_t CompressionRle8 = 1;
constexpr std::uint32_t CompressionRle4 = 2;
constexpr std::uint32_t CompressionBitFields = 3;

constexpr std::size_t FileHeaderSize = 14;
constexpr std::size_t CoreHeaderSize = 12;
constexpr std::size_t InfoHeaderSize = 40;
constexpr std::size_t V4HeaderSize = 108;
constexpr std::size_t V5HeaderSize = 124;

std::uint8_t byteAt(std::string_view data, std::size_t pos)
{
    return static_cast<std::uint8_t>(data[pos]);
}

std::uint32_t little16(std::string_view data, std::size_t pos)
{
    return static_cast<std::uint32_t>(byteAt(data, pos)) | static_cast<std::uint32_t>(byteAt(data, pos + 1))
                                                               << 8;
}

std::uint32_t little32(std::string_view data, std::size_t pos)
{
    return little16(data, pos) | little16(data, pos + 2) << 16;
}

// One colour channel described by a bit mask, scaled to 0..255.
struct Channel
{
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t maximum = 0;

    explicit Channel(std::uint32_t bits = 0)
        : mask(bits)
    {
        if (mask != 0) {
            shift = std::countr_zero(mask);
            maximum = mask >> shift;
        }
    }

    std::uint8_t value(std::uint32_t pixel) const
    {
        if (maximum == 0) {
            return 0;
        }
        const std::uint64_t raw = (pixel & mask) >> shift;
        return static_cast<std::uint8_t>((raw * 255 + maximum / 2) / maximum);
    }
};

struct BmpPicture
{
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool topDown = false;
    std::uint32_t bitCount = 0;
    std::uint32_t compression = CompressionRgb;
    std::vector<std::array<std::uint8_t, 3>> palette; // R, G, B
    std::array<Channel, 3> channels;                  // red, green, blue
    std::string_view pixels;                          // from the pixel offset to the end of the data
};

bool readHeader(std::string_view data, BmpPicture& picture)
{
    if (data.size() < FileHeaderSize + 4 || data.substr(0, 2) != "BM") {
        return false;
    }
    const std::uint32_t pixelOffset = little32(data, 10);
    const std::uint32_t headerSize = little32(data, FileHeaderSize);
    if (headerSize != CoreHeaderSize && headerSize != InfoHeaderSize && headerSize != V4HeaderSize &&
        headerSize != V5HeaderSize) {
        return false;
    }
    if (data.size() - FileHeaderSize < headerSize) {
        return false;
    }
    const std::size_t h = FileHeaderSize;
    std::size_t paletteEntrySize = 4;
    std::uint32_t coloursUsed = 0;
    std::size_t afterHeader = h + headerSize;
    if (headerSize == CoreHeaderSize) {
        picture.width = little16(data, h + 4);
        picture.height = little16(data, h + 6);
        if (little16(data, h + 8) != 1) {
            return false;
        }
        picture.bitCount = little16(data, h + 10);
        paletteEntrySize = 3;
    } else {
        const auto width = static_cast<std::int32_t>(little32(data, h + 4));
        const auto height = static_cast<std::int32_t>(little32(data, h + 8));
        if (width <= 0 || height == 0 || height == INT32_MIN || little16(data, h + 12) != 1) {
            return false;
        }
        picture.width = static_cast<std::uint32_t>(width);
        picture.topDown = height < 0;
        picture.height = static_cast<std::uint32_t>(height < 0 ? -height : height);
        picture.bitCount = little16(data, h + 14);
        picture.compression = little32(data, h + 16);
        coloursUsed = little32(data, h + 32);
        if (picture.compression == CompressionBitFields) {
            std::size_t masksAt = h + 40;
            if (headerSize == InfoHeaderSize) {
                // The three masks follow the info header.
                if (data.size() - afterHeader < 12) {
                    return false;
                }
                afterHeader += 12;
            }
            for (std::size_t i = 0; i < 3; ++i) {
                picture.channels[i] = Channel(little32(data, masksAt + 4 * i));
            }
        }
    }
    if (picture.width == 0 || picture.height == 0 ||
        std::uint64_t{picture.width} * picture.height > MaxDecodedPixels) {
        return false;
    }
    switch (picture.bitCount) {
        case 1:
        case 4:
        case 8:
            if (picture.compression == CompressionRle8   ? picture.bitCount != 8
                : picture.compression == CompressionRle4 ? picture.bitCount != 4
                                                         : picture.compression != CompressionRgb) {
                return false;
            }
            break;
        case 16:
            if (picture.compression == CompressionRgb) {
                picture.channels = {Channel(0x7C00), Channel(0x03E0), Channel(0x001F)};
            } else if (picture.compression != CompressionBitFields) {
                return false;
            }
            break;
        case 24:
            if (picture.compression != CompressionRgb) {
                return false;
            }
            break;
        case 32:
            if (picture.compression == CompressionRgb) {
                picture.channels = {Channel(0x00FF0000), Channel(0x0000FF00), Channel(0x000000FF)};
            } else if (picture.compression != CompressionBitFields) {
                return false;
            }
            break;
        default:
            return false;
    }
    if ((picture.compression == CompressionRle4 || picture.compression == CompressionRle8) &&
        picture.topDown) {
        return false;
    }
    if (picture.bitCount <= 8) {
        const std::uint32_t most = 1u << picture.bitCount;
        const std::uint32_t count = coloursUsed == 0 || coloursUsed > most ? most : coloursUsed;
        if (pixelOffset < afterHeader) {
            return false;
        }
        // The palette lies between the headers and the pixels; a shorter one leaves the rest black.
        const std::size_t room =
            (std::min<std::size_t>(pixelOffset, data.size()) - afterHeader) / paletteEntrySize;
        picture.palette.assign(most, {0, 0, 0});
        for (std::size_t i = 0; i < count && i < room; ++i) {
            const std::size_t at = afterHeader + i * paletteEntrySize;
            picture.palette[i] = {byteAt(data, at + 2), byteAt(data, at + 1), byteAt(data, at)};
        }
    }
    if (pixelOffset < afterHeader || pixelOffset > data.size()) {
        return false;
    }
    picture.pixels = data.substr(pixelOffset);
    return true;
}

// RLE4 and RLE8 data decoded into one palette index per pixel, rows bottom-up as stored. The data
// must end with its end-of-picture code.
bool decodeRunLength(const BmpPicture& picture, std::vector<std::uint8_t>& indexes)
{
    const bool four = picture.compression == CompressionRle4;
    const std::string_view data = picture.pixels;
    indexes.assign(std::size_t{picture.width} * picture.height, 0);
    std::size_t x = 0;
    std::size_t y = 0;
    const auto put = [&](std::uint8_t index) {
        if (x < picture.width && y < picture.height) {
            indexes[y * picture.width + x] = index;
        }
        ++x;
    };
    std::size_t pos = 0;
    while (data.size() - pos >= 2) {
        const std::uint8_t count = byteAt(data, pos);
        const std::uint8_t value = byteAt(data, pos + 1);
        pos += 2;
        if (count > 0) {
            for (std::size_t i = 0; i < count; ++i) {
                put(four ? static_cast<std::uint8_t>(i % 2 == 0 ? value >> 4 : value & 15) : value);
            }
            continue;
        }
        switch (value) {
            case 0: // end of row
                x = 0;
                ++y;
                break;
            case 1: // end of picture
                return true;
            case 2: // move right and up
                if (data.size() - pos < 2) {
                    return false;
                }
                x += byteAt(data, pos);
                y += byteAt(data, pos + 1);
                pos += 2;
                break;
            default: { // value literal pixels, padded to an even number of bytes
                const std::size_t bytes = four ? (value + 1u) / 2 : value;
                const std::size_t padded = bytes + bytes % 2;
                if (data.size() - pos < padded) {
                    return false;
                }
                for (std::size_t i = 0; i < value; ++i) {
                    const std::uint8_t byte = byteAt(data, pos + (four ? i / 2 : i));
                    put(four ? static_cast<std::uint8_t>(i % 2 == 0 ? byte >> 4 : byte & 15) : byte);
                }
                pos += padded;
                break;
            }
        }
    }
    return false;
}

} // namespace

bool bmpToRgbPng(std::string_view bmp, std::string& png)
{
    BmpPicture picture;
    if (!readHeader(bmp, picture)) {
        return false;
    }
    const std::uint32_t width = picture.width;
    const std::uint32_t height = picture.height;
    const auto storedRow = [&](std::uint32_t y) { return picture.topDown ? y : height - 1 - y; };

    if (picture.compression == CompressionRle4 || picture.compression == CompressionRle8) {
        std::vector<std::uint8_t> indexes;
        if (!decodeRunLength(picture, indexes)) {
            return false;
        }
        png = encodeRgbPng(width, height, [&](std::uint32_t y, std::uint8_t* out) {
            const std::uint8_t* row = indexes.data() + std::size_t{storedRow(y)} * width;
            for (std::uint32_t x = 0; x < width; ++x) {
                std::memcpy(out + 3 * x, picture.palette[row[x]].data(), 3);
            }
        });
        return true;
    }

    const std::uint64_t stride = (std::uint64_t{width} * picture.bitCount + 31) / 32 * 4;
    if (stride * height > picture.pixels.size()) {
        return false;
    }
    const std::uint32_t bitCount = picture.bitCount;
    png = encodeRgbPng(width, height, [&](std::uint32_t y, std::uint8_t* out) {
        const std::string_view row = picture.pixels.substr(stride * storedRow(y), stride);
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint8_t* rgb = out + 3 * x;
            switch (bitCount) {
                case 1:
                case 4:
                case 8: {
                    const std::size_t bit = std::size_t{x} * bitCount;
                    const std::uint8_t byte = byteAt(row, bit / 8);
                    const std::uint32_t index = (byte >> (8 - bitCount - bit % 8)) & ((1u << bitCount) - 1);
                    std::memcpy(rgb, picture.palette[index].data(), 3);
                    break;
                }
                case 24:
                    rgb[0] = byteAt(row, 3 * x + 2);
                    rgb[1] = byteAt(row, 3 * x + 1);
                    rgb[2] = byteAt(row, 3 * x);
                    break;
                default: {
                    const std::uint32_t pixel = bitCount == 16 ? little16(row, 2 * x) : little32(row, 4 * x);
                    for (std::size_t i = 0; i < 3; ++i) {
                        rgb[i] = picture.channels[i].value(pixel);
                    }
                    break;
                }
            }
        }
    });
    return true;
}

} // namespace folvex
