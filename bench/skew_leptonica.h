#pragma once
// Leptonica's skew finder for the straightening benchmark, apart from the image library's header
// (whose names clash with Leptonica's).

#include <cstddef>
#include <cstdint>

namespace folvex {

struct LeptonicaSkew
{
    bool found = false;
    double angleDeg = 0.0; // as Leptonica reports it
    double confidence = 0.0;
    double findMs = 0.0; // processor time of the search alone, without the copy and the reduction to 1 bit
};

// Copies a 24-bit page (rows bottom-up, pitch bytes apart, colour bytes at the given offsets) into a
// Leptonica image, reduces it to 1 bit at 130 and finds its skew.
LeptonicaSkew leptonicaFindSkew(
    const std::uint8_t* bits,
    int width,
    int height,
    std::ptrdiff_t pitch,
    int redAt,
    int greenAt,
    int blueAt);

} // namespace folvex
