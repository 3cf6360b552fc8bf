#pragma once
// Automatic straightening: two methods that estimate by how many degrees a scanned page must be
// turned to stand upright, and the angle of a line through two points. Qt-free; they read the page
// through the image library's table, write nothing, show nothing and keep nothing between calls. Any
// thread.

#include "foundation/freeimage_binding.h"

#include <cstdint>
#include <string>

namespace folvex {

// The result of both methods when no angle can be found.
inline constexpr double NoStraightenAngle = -999.0;

// The angle in degrees of the line from (x1, y1) to (x2, y2), y growing downwards, measured from the
// downward vertical: 0 straight down, positive when the second point lies to the right; -180 to 180.
double LineAngle(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);

// Left edge of the dark content in horizontal bands: the most frequent angle between pairs of band
// edge points. Both methods read a dark strip along the page's left edge as paper. file is the BMP file of
// the page as edited so far, turns its pending clockwise quarter turns (0-3). page and noAngle are not read.
// Returns the angle in degrees by which to turn the page counter-clockwise (negative: clockwise), or -999.0.
double AutoStraightenType1(
    const FreeImageFunctionTable& functions,
    std::int32_t page,
    const std::string& file,
    std::uint8_t turns,
    double noAngle);

// Bright runs along 101 candidate angles from -5.0 to 5.0 degrees: the candidate along which lines
// from the left edge run longest through bright paper. Arguments and result as type 1.
double AutoStraightenType2(
    const FreeImageFunctionTable& functions, std::int32_t page, const std::string& file, std::uint8_t turns);

} // namespace folvex
