#pragma once
// Turns the frames a SANE device delivers for one page into a page image: grey, RGB and three-pass
// red/green/blue frames at depth 1, 8 or 16. Padding beyond the pixels of a line is dropped, 16-bit
// samples keep their high byte, a grey sample of depth 1 set to 1 is black. Any thread; no state.

#include "runtime/expected.h"
#include "twain/bmp_page.h"

#include <cstdint>
#include <vector>

namespace folvex {

enum class FrameFormat
{
    Grey,
    Rgb,
    Red,
    Green,
    Blue,
};

// One frame as read: the parameters the device reported and every byte read up to end-of-file.
// lines < 0: the device did not know the height in advance.
struct ScanFrame
{
    FrameFormat format = FrameFormat::Grey;
    int depth = 8;
    int pixelsPerLine = 0;
    int bytesPerLine = 0;
    int lines = 0;
    std::vector<std::uint8_t> bytes;
};

// True when the frame holds all its bytes (lines × bytes per line); with an unknown height, at
// least one whole line.
bool frameComplete(const ScanFrame& frame);

// The page of a set of frames (one grey or RGB frame, or red, green and blue frames in any order).
// Fails on incomplete frames, inconsistent parameters or a depth other than 1, 8 and 16.
Expected<PageImage> assemblePage(const std::vector<ScanFrame>& frames, double dpi);

} // namespace folvex
