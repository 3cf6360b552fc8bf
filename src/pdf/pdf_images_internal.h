#pragma once
// Internal routines of the image support, shared by its source files; tests may use them. GUI thread
// for the placing routines, any thread for the encoder.

#include "pdf/pdf_document.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace folvex {

// Parses the data by type (1 PNG, 2 JPEG, 3 JPEG 2000), copies its image stream into the current
// document's spool file, makes the image object (after its palette object, if any), sizes it and draws
// it on the current page. Returns 0, or the error code it recorded (nothing is then placed).
std::int32_t PdfPutImage(
    const std::string& name,
    std::string_view buffer,
    std::int32_t type,
    float x,
    float y,
    float w,
    float h,
    std::int32_t link);

// PdfImage with the error code as its result: 0 when the image was placed or doc is not open.
std::int32_t placeImageFile(
    std::int32_t doc, const std::string& fileName, float x, float y, float w, float h, std::int32_t link);

// The image type of a lower-cased file-name extension, 0 when it is none of the known ones.
std::int32_t imageTypeOfExtension(std::string_view extension);

// Writes an 8-bit RGB PNG of width × height pixels; row(y, out) fills out (3 × width bytes) with the
// picture row y counted from the top. Returns the whole file.
std::string encodeRgbPng(
    std::uint32_t width, std::uint32_t height, const std::function<void(std::uint32_t, std::uint8_t*)>& row);

} // namespace folvex
