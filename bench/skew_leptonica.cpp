#include "skew_leptonica.h"

#include <ctime>
#include <leptonica/allheaders.h>

namespace folvex {

namespace {

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1.0e6;
}

} // namespace

LeptonicaSkew leptonicaFindSkew(
    const std::uint8_t* bits, int width, int height, std::ptrdiff_t pitch, int redAt, int greenAt, int blueAt)
{
    PIX* colour = pixCreate(width, height, 32);
    l_uint32* data = pixGetData(colour);
    const int wpl = pixGetWpl(colour);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = bits + pitch * (height - 1 - y);
        l_uint32* line = data + static_cast<std::ptrdiff_t>(y) * wpl;
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* pixel = row + 3 * x;
            composeRGBPixel(pixel[redAt], pixel[greenAt], pixel[blueAt], &line[x]);
        }
    }
    PIX* binary = pixConvertTo1(colour, 130);
    pixDestroy(&colour);
    LeptonicaSkew result;
    l_float32 angle = 0.0f;
    l_float32 confidence = 0.0f;
    const double start = threadCpuMs();
    result.found = pixFindSkew(binary, &angle, &confidence) == 0;
    result.findMs = threadCpuMs() - start;
    result.angleDeg = angle;
    result.confidence = confidence;
    pixDestroy(&binary);
    return result;
}

} // namespace folvex
