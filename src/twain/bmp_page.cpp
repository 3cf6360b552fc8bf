#include "twain/bmp_page.h"

#include "runtime/checked_cast.h"
#include "runtime/safe_file.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace folvex {

namespace {

constexpr std::size_t FileHeaderSize = 14;
constexpr std::size_t InfoHeaderSize = 40;

void putU16(std::string& out, std::uint16_t value)
{
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

void putU32(std::string& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

std::uint32_t getU32(const std::string& bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<std::uint8_t>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

std::uint16_t getU16(const std::string& bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(
        static_cast<std::uint8_t>(bytes[at]) | (static_cast<std::uint8_t>(bytes[at + 1]) << 8));
}

// Luminance of red, green and blue, rounded.
std::uint8_t luminance(const std::uint8_t* rgb)
{
    return static_cast<std::uint8_t>((299 * rgb[0] + 587 * rgb[1] + 114 * rgb[2] + 500) / 1000);
}

} // namespace

std::int32_t dotsPerMetre(double dpi)
{
    if (!(dpi > 0.0) || dpi > 1.0e6) {
        return 0;
    }
    return static_cast<std::int32_t>(std::lround(dpi / 0.0254));
}

std::size_t bmpRowBytes(int width, BmpDepth depth)
{
    const std::size_t bits =
        static_cast<std::size_t>(width > 0 ? width : 0) * static_cast<std::size_t>(depth);
    return ((bits + 31) / 32) * 4;
}

Expected<std::string> bmpHeader(int width, int height, BmpDepth depth, double dpi)
{
    if (width <= 0 || height <= 0) {
        return Error{EINVAL, "leere Seite"};
    }
    const std::size_t rowBytes = bmpRowBytes(width, depth);
    const std::size_t paletteEntries = depth == BmpDepth::Bilevel ? 2 : depth == BmpDepth::Grey ? 256 : 0;
    const std::size_t offset = FileHeaderSize + InfoHeaderSize + paletteEntries * 4;
    const auto imageSize = checkedMultiply<std::size_t>(rowBytes, static_cast<std::size_t>(height));
    if (!imageSize || *imageSize > 0xFFFFFFFFu - offset) {
        return Error{EFBIG, "Seite zu groß für eine BMP-Datei"};
    }
    std::string out;
    out.reserve(offset);
    out += "BM";
    putU32(out, static_cast<std::uint32_t>(offset + *imageSize));
    putU32(out, 0);
    putU32(out, static_cast<std::uint32_t>(offset));
    putU32(out, InfoHeaderSize);
    putU32(out, static_cast<std::uint32_t>(width));
    putU32(out, static_cast<std::uint32_t>(height));
    putU16(out, 1);
    putU16(out, static_cast<std::uint16_t>(depth));
    putU32(out, 0);
    putU32(out, static_cast<std::uint32_t>(*imageSize));
    const std::uint32_t dpm = static_cast<std::uint32_t>(dotsPerMetre(dpi));
    putU32(out, dpm);
    putU32(out, dpm);
    putU32(out, static_cast<std::uint32_t>(paletteEntries));
    putU32(out, 0);
    if (depth == BmpDepth::Bilevel) {
        putU32(out, 0x00000000);
        putU32(out, 0x00FFFFFF);
    } else if (depth == BmpDepth::Grey) {
        for (std::uint32_t i = 0; i < 256; ++i) {
            putU32(out, i | (i << 8) | (i << 16));
        }
    }
    return out;
}

void encodeBmpRow(const std::uint8_t* samples, int channels, int width, BmpDepth depth, std::uint8_t* out)
{
    const std::size_t w = static_cast<std::size_t>(width > 0 ? width : 0);
    const std::size_t rowBytes = bmpRowBytes(width, depth);
    switch (depth) {
        case BmpDepth::Bilevel: {
            // Eight pixels to a byte, the first in the high bit; a pixel of 128 or more is white.
            std::fill(out, out + rowBytes, std::uint8_t{0});
            for (std::size_t first = 0; first < w; first += 8) {
                const std::size_t count = std::min<std::size_t>(8, w - first);
                unsigned bits = 0;
                for (std::size_t k = 0; k < count; ++k) {
                    const std::size_t x = first + k;
                    const std::uint8_t grey = channels == 3 ? luminance(samples + 3 * x) : samples[x];
                    bits |= (grey >= 128 ? 0x80u : 0u) >> k;
                }
                out[first / 8] = static_cast<std::uint8_t>(bits);
            }
            return;
        }
        case BmpDepth::Grey:
            if (channels == 3) {
                for (std::size_t x = 0; x < w; ++x) {
                    out[x] = luminance(samples + 3 * x);
                }
            } else {
                std::copy(samples, samples + w, out);
            }
            std::fill(out + w, out + rowBytes, std::uint8_t{0});
            return;
        case BmpDepth::Colour:
            if (channels == 3) {
                for (std::size_t x = 0; x < w; ++x) {
                    out[3 * x] = samples[3 * x + 2];
                    out[3 * x + 1] = samples[3 * x + 1];
                    out[3 * x + 2] = samples[3 * x];
                }
            } else {
                for (std::size_t x = 0; x < w; ++x) {
                    out[3 * x] = samples[x];
                    out[3 * x + 1] = samples[x];
                    out[3 * x + 2] = samples[x];
                }
            }
            std::fill(out + 3 * w, out + rowBytes, std::uint8_t{0});
            return;
    }
}

Expected<std::string> encodeBmp(const PageImage& page, BmpDepth depth)
{
    if (page.width <= 0 || page.height <= 0 || (page.channels != 1 && page.channels != 3)) {
        return Error{EINVAL, "leere Seite"};
    }
    const auto pixels = checkedMultiply<std::size_t>(
        static_cast<std::size_t>(page.width), static_cast<std::size_t>(page.height));
    const auto sampleCount =
        pixels ? checkedMultiply<std::size_t>(*pixels, static_cast<std::size_t>(page.channels))
               : std::optional<std::size_t>();
    if (!sampleCount || *sampleCount != page.samples.size()) {
        return Error{EINVAL, "Seitengröße passt nicht zu den Bilddaten"};
    }
    auto out = bmpHeader(page.width, page.height, depth, page.dpi);
    if (!out) {
        return out;
    }
    const std::size_t rowBytes = bmpRowBytes(page.width, depth);
    const std::size_t samplesPerRow =
        static_cast<std::size_t>(page.width) * static_cast<std::size_t>(page.channels);
    const std::size_t headerSize = out->size();
    out->resize(headerSize + rowBytes * static_cast<std::size_t>(page.height));
    auto* rows = reinterpret_cast<std::uint8_t*>(out->data() + headerSize);
    for (int y = page.height - 1; y >= 0; --y) {
        const std::size_t fileRow = static_cast<std::size_t>(page.height - 1 - y);
        encodeBmpRow(
            page.samples.data() + static_cast<std::size_t>(y) * samplesPerRow,
            page.channels,
            page.width,
            depth,
            rows + fileRow * rowBytes);
    }
    return out;
}

Expected<PageImage> decodeBmp(const std::string& bytes)
{
    if (bytes.size() < FileHeaderSize + InfoHeaderSize || bytes.compare(0, 2, "BM") != 0) {
        return Error{EINVAL, "keine BMP-Datei"};
    }
    const std::uint32_t offset = getU32(bytes, 10);
    const auto width = static_cast<std::int32_t>(getU32(bytes, 18));
    const auto height = static_cast<std::int32_t>(getU32(bytes, 22));
    const int bits = getU16(bytes, 28);
    const std::uint32_t compression = getU32(bytes, 30);
    const auto dpm = static_cast<std::int32_t>(getU32(bytes, 38));
    if (width <= 0 || height <= 0 || width > 100000 || height > 100000 || compression != 0 ||
        (bits != 1 && bits != 8 && bits != 24)) {
        return Error{EINVAL, "nicht unterstütztes BMP-Format"};
    }
    const std::size_t w = static_cast<std::size_t>(width);
    const std::size_t rowBytes = ((w * static_cast<std::size_t>(bits) + 31) / 32) * 4;
    if (offset > bytes.size() || (bytes.size() - offset) / rowBytes < static_cast<std::size_t>(height)) {
        return Error{EINVAL, "BMP-Datei zu kurz"};
    }
    const std::size_t paletteAt = FileHeaderSize + getU32(bytes, 14);
    auto paletteGrey = [&](std::size_t index) -> std::uint8_t {
        const std::size_t at = paletteAt + index * 4;
        if (at + 3 > offset) {
            return 0;
        }
        return static_cast<std::uint8_t>(bytes[at + 1]);
    };
    PageImage page;
    page.width = width;
    page.height = height;
    page.channels = bits == 24 ? 3 : 1;
    page.dpi = dpm * 0.0254;
    page.samples.resize(w * static_cast<std::size_t>(height) * static_cast<std::size_t>(page.channels));
    for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
        const std::size_t rowAt = offset + (static_cast<std::size_t>(height) - 1 - y) * rowBytes;
        for (std::size_t x = 0; x < w; ++x) {
            const std::size_t pixel = y * w + x;
            if (bits == 1) {
                const bool set = (static_cast<std::uint8_t>(bytes[rowAt + x / 8]) & (0x80 >> (x % 8))) != 0;
                page.samples[pixel] = paletteGrey(set ? 1 : 0);
            } else if (bits == 8) {
                page.samples[pixel] = paletteGrey(static_cast<std::uint8_t>(bytes[rowAt + x]));
            } else {
                page.samples[3 * pixel] = static_cast<std::uint8_t>(bytes[rowAt + 3 * x + 2]);
                page.samples[3 * pixel + 1] = static_cast<std::uint8_t>(bytes[rowAt + 3 * x + 1]);
                page.samples[3 * pixel + 2] = static_cast<std::uint8_t>(bytes[rowAt + 3 * x]);
            }
        }
    }
    return page;
}

Expected<void> writeBmpPage(const std::string& path, const PageImage& page, BmpDepth depth)
{
    auto encoded = encodeBmp(page, depth);
    if (!encoded) {
        return Error{encoded.error().code, path + ": " + encoded.error().message};
    }
    return writeFileSafely(path, *encoded);
}

std::string pageFileName(const std::string& baseName, int index)
{
    const std::string number = std::to_string(index);
    if (baseName.size() >= 4) {
        const std::string tail = baseName.substr(baseName.size() - 4);
        if (tail.size() == 4 && tail[0] == '.' && (tail[1] | 0x20) == 'b' && (tail[2] | 0x20) == 'm' &&
            (tail[3] | 0x20) == 'p') {
            return baseName.substr(0, baseName.size() - 4) + number + tail;
        }
    }
    return baseName + number + ".bmp";
}

} // namespace folvex
