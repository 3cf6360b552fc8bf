// PNG data that a PDF cannot carry as it is (interlaced, 16 bits, alpha) decoded with libpng, and the
// encoder that writes 8-bit RGB rows as a PNG (also used for BMP pictures).
#include "pdf/pdf_image_parsers.h"
#include "pdf/pdf_images_internal.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>
#include <vector>

namespace folvex {

namespace {

void appendBigEndian32(std::string& out, std::uint32_t value)
{
    out.push_back(static_cast<char>(value >> 24));
    out.push_back(static_cast<char>(value >> 16 & 0xFF));
    out.push_back(static_cast<char>(value >> 8 & 0xFF));
    out.push_back(static_cast<char>(value & 0xFF));
}

void appendChunk(std::string& out, const char* type, std::string_view data)
{
    appendBigEndian32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = out.size();
    out.append(type, 4);
    out.append(data);
    // Type and data are contiguous in out; an empty data view may have no address, which zlib would
    // take for a request of the initial CRC.
    const uLong crc = crc32_z(0, reinterpret_cast<const Bytef*>(out.data() + typeAt), 4 + data.size());
    appendBigEndian32(out, static_cast<std::uint32_t>(crc));
}

struct MemoryReader
{
    std::string_view data;
    std::size_t pos = 0;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t size)
{
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (reader->data.size() - reader->pos < size) {
        png_error(png, "data ends early");
    }
    std::memcpy(out, reader->data.data() + reader->pos, size);
    reader->pos += size;
}

void failDecoding(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void ignoreWarning(png_structp, png_const_charp) {}

// What the decoder fills; it lives in the caller's frame, so nothing local to the function that calls
// setjmp changes between setjmp and a longjmp.
struct DecodeState
{
    MemoryReader reader;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> pixels;
    std::vector<png_bytep> rows;
};

bool decodeRgb(png_structp png, png_infop info, DecodeState& state)
{
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_read_fn(png, &state.reader, readFromMemory);
    png_read_info(png, info);
    state.width = png_get_image_width(png, info);
    state.height = png_get_image_height(png, info);
    const int colourType = png_get_color_type(png, info);
    if (state.width == 0 || state.height == 0 ||
        std::uint64_t{state.width} * state.height > MaxDecodedPixels) {
        return false;
    }
    // Transparency is dropped, as the page has nothing to show through.
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
    }
    if (colourType == PNG_COLOR_TYPE_GRAY) {
        png_set_expand_gray_1_2_4_to_8(png);
    }
    if ((colourType & PNG_COLOR_MASK_ALPHA) != 0) {
        png_set_strip_alpha(png);
    }
    if ((colourType & PNG_COLOR_MASK_COLOR) == 0) {
        png_set_gray_to_rgb(png);
    }
    png_set_strip_16(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const std::size_t stride = std::size_t{state.width} * 3;
    if (png_get_rowbytes(png, info) != stride) {
        return false;
    }
    state.pixels.resize(stride * state.height);
    state.rows.resize(state.height);
    for (std::uint32_t y = 0; y < state.height; ++y) {
        state.rows[y] = state.pixels.data() + stride * y;
    }
    png_read_image(png, state.rows.data());
    png_read_end(png, nullptr);
    return true;
}

} // namespace

std::string encodeRgbPng(
    std::uint32_t width, std::uint32_t height, const std::function<void(std::uint32_t, std::uint8_t*)>& row)
{
    std::string header;
    appendBigEndian32(header, width);
    appendBigEndian32(header, height);
    header += std::string("\x08\x02\x00\x00\x00", 5);

    const std::size_t stride = std::size_t{width} * 3;
    // Each row gets the filter "Up": scanned pages repeat much from one row to the next.
    std::vector<std::uint8_t> previous(stride, 0);
    std::vector<std::uint8_t> current(stride);
    std::vector<std::uint8_t> filtered(stride + 1);
    filtered[0] = 2;

    std::string idat;
    z_stream z{};
    deflateInit(&z, 6);
    std::vector<std::uint8_t> out(1 << 16);
    const auto drain = [&](int flush) {
        do {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            deflate(&z, flush);
            idat.append(reinterpret_cast<const char*>(out.data()), out.size() - z.avail_out);
        } while (z.avail_out == 0);
    };
    for (std::uint32_t y = 0; y < height; ++y) {
        row(y, current.data());
        for (std::size_t i = 0; i < stride; ++i) {
            filtered[i + 1] = static_cast<std::uint8_t>(current[i] - previous[i]);
        }
        previous.swap(current);
        z.next_in = filtered.data();
        z.avail_in = static_cast<uInt>(filtered.size());
        drain(Z_NO_FLUSH);
    }
    drain(Z_FINISH);
    deflateEnd(&z);

    std::string png("\x89PNG\r\n\x1A\n", 8);
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", idat);
    appendChunk(png, "IEND", {});
    return png;
}

bool pngNeedsDecoding(std::string_view png)
{
    // IHDR is the first chunk: its bit depth, colour type and interlace method.
    if (png.size() < 33 || png.substr(12, 4) != "IHDR") {
        return false;
    }
    const auto bits = static_cast<std::uint8_t>(png[24]);
    const auto colourType = static_cast<std::uint8_t>(png[25]);
    const auto interlace = static_cast<std::uint8_t>(png[28]);
    return bits == 16 || colourType == 4 || colourType == 6 || interlace != 0;
}

bool pngToRgbPng(std::string_view data, std::string& rgbPng)
{
    // The decoder sizes its buffers from the header; only data proven to hold that image gets there.
    PdfImageInfo checked;
    if (PdfParsePng(data, checked) == 0) {
        return false;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, failDecoding, ignoreWarning);
    if (png == nullptr) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    DecodeState state;
    state.reader.data = data;
    const bool decoded = decodeRgb(png, info, state);
    png_destroy_read_struct(&png, &info, nullptr);
    if (!decoded) {
        return false;
    }
    const std::size_t stride = std::size_t{state.width} * 3;
    rgbPng = encodeRgbPng(state.width, state.height, [&](std::uint32_t y, std::uint8_t* out) {
        std::memcpy(out, state.pixels.data() + stride * y, stride);
    });
    return true;
}

} // namespace folvex
