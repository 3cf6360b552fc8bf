#include "twain/sane_image.h"

#include "runtime/checked_cast.h"

#include <algorithm>
#include <cstring>

namespace folvex {

int samplesPerPixel(FrameFormat format)
{
    return format == FrameFormat::Rgb ? 3 : 1;
}

bool lineLayoutUsable(const FrameLayout& layout)
{
    if (layout.pixelsPerLine <= 0 || layout.bytesPerLine <= 0 ||
        (layout.depth != 1 && layout.depth != 8 && layout.depth != 16)) {
        return false;
    }
    const auto bits = checkedMultiply<std::size_t>(
        static_cast<std::size_t>(layout.pixelsPerLine),
        static_cast<std::size_t>(samplesPerPixel(layout.format) * layout.depth));
    return bits && (*bits + 7) / 8 <= static_cast<std::size_t>(layout.bytesPerLine);
}

void convertLine(const FrameLayout& layout, const std::uint8_t* line, std::uint8_t* out)
{
    const std::size_t count = static_cast<std::size_t>(layout.pixelsPerLine) *
                              static_cast<std::size_t>(samplesPerPixel(layout.format));
    switch (layout.depth) {
        case 1: {
            // Only grey frames mean "1 = black"; a single-colour pass of depth 1 means "1 = full".
            const std::uint8_t set = layout.format == FrameFormat::Grey ? 0 : 255;
            const std::uint8_t clear = 255 - set;
            const std::size_t wholeBytes = count / 8;
            for (std::size_t i = 0; i < wholeBytes; ++i) {
                const unsigned bits = line[i];
                std::uint8_t* o = out + 8 * i;
                for (int k = 0; k < 8; ++k) {
                    o[k] = (bits & (0x80u >> k)) != 0 ? set : clear;
                }
            }
            for (std::size_t i = 8 * wholeBytes; i < count; ++i) {
                out[i] = (line[i / 8] & (0x80u >> (i % 8))) != 0 ? set : clear;
            }
            return;
        }
        case 8:
            std::memcpy(out, line, count);
            return;
        default:
            for (std::size_t i = 0; i < count; ++i) {
                std::uint16_t value = 0;
                std::memcpy(&value, line + 2 * i, sizeof value);
                out[i] = static_cast<std::uint8_t>(value >> 8);
            }
            return;
    }
}

bool convertLineToBmpRow(
    const FrameLayout& layout, const std::uint8_t* line, BmpDepth depth, std::uint8_t* out)
{
    const std::size_t width = static_cast<std::size_t>(layout.pixelsPerLine);
    const std::size_t rowBytes = bmpRowBytes(layout.pixelsPerLine, depth);
    std::size_t used = 0;
    if (layout.format == FrameFormat::Grey && layout.depth == 1 && depth == BmpDepth::Bilevel) {
        // A set bit is black on the device and white in the file (palette entry 1).
        used = (width + 7) / 8;
        for (std::size_t i = 0; i < used; ++i) {
            out[i] = static_cast<std::uint8_t>(~line[i]);
        }
        if (width % 8 != 0) {
            out[used - 1] = static_cast<std::uint8_t>(out[used - 1] & (0xFF00u >> (width % 8)));
        }
    } else if (layout.format == FrameFormat::Grey && layout.depth == 8 && depth == BmpDepth::Grey) {
        used = width;
        std::memcpy(out, line, used);
    } else if (layout.format == FrameFormat::Rgb && layout.depth == 8 && depth == BmpDepth::Colour) {
        used = 3 * width;
        for (std::size_t x = 0; x < width; ++x) {
            out[3 * x] = line[3 * x + 2];
            out[3 * x + 1] = line[3 * x + 1];
            out[3 * x + 2] = line[3 * x];
        }
    } else {
        return false;
    }
    std::fill(out + used, out + rowBytes, std::uint8_t{0});
    return true;
}

} // namespace folvex
