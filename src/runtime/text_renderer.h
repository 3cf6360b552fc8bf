#pragma once
// Measuring and rendering one line of text as 8-bit coverage, for computing code that draws text into
// its own pixels (the page numbers). Qt-free; the Qt implementation is QtTextRenderer. GUI thread.

#include <cstdint>
#include <string>
#include <vector>

namespace folvex {

// The size of a text line in pixels: advance is the width the pen moves, ascent and descent the font's
// extent above and below the baseline.
struct TextExtent
{
    std::int32_t advance = 0;
    std::int32_t ascent = 0;
    std::int32_t descent = 0;
};

// Coverage of a rendered line: width × height bytes, rows from the top, 0 = untouched, 255 = fully
// covered.
struct CoverageMask
{
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> coverage;

    std::uint8_t at(std::int32_t x, std::int32_t y) const
    {
        return coverage
            [static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
    }
};

class TextRenderer
{
public:
    virtual ~TextRenderer() = default;

    // The extent of text (UTF-8) in the font of that name and weight (100-900, 400 normal) whose em
    // height is pixelHeight pixels. All 0 for empty text or a pixel height of 0 or less.
    virtual TextExtent measure(
        const std::string& text,
        const std::string& fontName,
        std::int32_t weight,
        std::int32_t pixelHeight) = 0;

    // The text anti-aliased into a mask of advance × (ascent + descent) pixels, its baseline at row
    // ascent and its pen starting at column 0, with the sizes of measure. Empty when measure gives 0.
    virtual CoverageMask render(
        const std::string& text,
        const std::string& fontName,
        std::int32_t weight,
        std::int32_t pixelHeight) = 0;
};

} // namespace folvex
