#pragma once
// Raster images on a page: PNG, BMP, JPEG and JPEG 2000 from a file or from memory, each placed as a
// new image object and drawn with one line of the current page's content. The image data goes to
// the document's spool file at once, so only the image being placed is held in memory. GUI thread.

#include <cstdint>
#include <string>
#include <string_view>

namespace folvex {

// Image type codes.
inline constexpr std::int32_t PdfImageTypePng = 1;
inline constexpr std::int32_t PdfImageTypeJpeg = 2;
inline constexpr std::int32_t PdfImageTypeJpx = 3;

// Places the image file fileName (UTF-8 path; the type comes from the lower-cased extension: png,
// bmp; jpg, jpeg, jfif, jif, jpe; jp2, jpc, j2k, jpm, jpx, jpg2, jpeg2000) with its top-left corner at
// (x, y) from the page's top-left corner, w × h user units. x or y −1.0 take the current position; w
// and h −1.0 (or 0) keep the aspect ratio, both at once give one point per pixel. link is a link
// record index, −1 for none. Failures are recorded as the document's error code and nothing is
// placed: 1 alpha PNG data that cannot be carried, 3 bad JPEG or JPEG 2000 data, 4 bad PNG data, 5
// an unknown extension, 6 the spool file cannot be written, 7 a file that cannot be read, is empty,
// or a BMP that cannot be decoded. Returns 0.
std::int32_t PdfImage(
    std::int32_t doc, const std::string& fileName, float x, float y, float w, float h, std::int32_t link);

// As PdfImage for image bytes in memory; type is 1 PNG, 2 JPEG or 3 JPEG 2000. PNG and BMP data are
// recognised by their signature whatever the type says. name becomes the image's name. The bytes
// are copied; the caller keeps them. Empty data records error 2. Returns 0.
std::int32_t PdfImageMemory(
    std::int32_t doc,
    const std::string& name,
    std::string_view buffer,
    std::int32_t type,
    float x,
    float y,
    float w,
    float h,
    std::int32_t link);

} // namespace folvex
