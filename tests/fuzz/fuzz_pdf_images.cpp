// libFuzzer entry for the image readers; FUZZ_PNG, FUZZ_JPEG, FUZZ_JPX or FUZZ_BMP chooses the reader.
// Whatever the bytes, a reader must not read outside them, and what it accepts must be consistent.
#include "pdf/pdf_image_parsers.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace folvex;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    PdfImageInfo info;
#if defined(FUZZ_PNG)
    if (PdfParsePng(bytes, info) == 1) {
        if (info.width <= 0 || info.height <= 0) {
            std::abort();
        }
        std::string rgb;
        if (pngNeedsDecoding(bytes) && pngToRgbPng(bytes, rgb) && PdfParsePng(rgb, info) != 1) {
            std::abort();
        }
    }
#elif defined(FUZZ_JPEG)
    if (PdfParseJpeg(bytes, info) == 1 && (info.width <= 0 || info.height <= 0 || info.data.size() != size)) {
        std::abort();
    }
#elif defined(FUZZ_JPX)
    if (PdfParseJpx(bytes, info) == 1 && (info.width <= 0 || info.height <= 0)) {
        std::abort();
    }
#elif defined(FUZZ_BMP)
    std::string png;
    if (bmpToRgbPng(bytes, png) && (PdfParsePng(png, info) != 1 || info.colour != 2)) {
        std::abort();
    }
#endif
    return 0;
}
