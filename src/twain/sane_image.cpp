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

} // namespace folvex
