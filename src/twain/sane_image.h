#pragma once
// Turns the lines a SANE device delivers into eight-bit samples, one whole line per call: grey, RGB
// and single-colour (three-pass) frames at depth 1, 8 or 16. Padding beyond the pixels of a line is
// dropped, 16-bit samples keep their high byte, a grey sample of depth 1 set to 1 is black. Any
// thread; no state.

#include "twain/bmp_page.h"

#include <cstddef>
#include <cstdint>

namespace folvex {

enum class FrameFormat
{
    Grey,
    Rgb,
    Red,
    Green,
    Blue,
};

// The parameters a device reports for one frame. lines < 0: the device does not know the height in
// advance.
struct FrameLayout
{
    FrameFormat format = FrameFormat::Grey;
    int depth = 8;
    int pixelsPerLine = 0;
    int bytesPerLine = 0;
    int lines = 0;
};

// 3 for RGB frames, else 1.
int samplesPerPixel(FrameFormat format);

// True when lines of this layout can be converted: depth 1, 8 or 16, at least one pixel, and a line
// long enough for its pixels.
bool lineLayoutUsable(const FrameLayout& layout);

// Converts one line (layout.bytesPerLine bytes) of a usable layout into pixelsPerLine ×
// samplesPerPixel samples at out.
void convertLine(const FrameLayout& layout, const std::uint8_t* line, std::uint8_t* out);

// Converts one line of a usable layout straight into a row of a page file (bmpRowBytes bytes at out)
// where no samples are needed between: grey of depth 1 to bilevel, grey of depth 8 to grey, RGB of
// depth 8 to colour. False, with out untouched, for every other pair.
bool convertLineToBmpRow(
    const FrameLayout& layout, const std::uint8_t* line, BmpDepth depth, std::uint8_t* out);

} // namespace folvex
