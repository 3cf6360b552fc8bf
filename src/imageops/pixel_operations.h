#pragma once
// The page operations that run in the page operation frame: de-graying, inversion and the automatic
// white balance. Each changes only the page's working copy. Qt-free; GUI thread.

#include "foundation/freeimage_binding.h"
#include "imageops/page_op_context.h"
#include "imageops/page_operation.h"

#include <array>
#include <cstdint>

namespace folvex {

// Near-white pixels (every channel at or above the white point) become white, else near-black ones
// (every channel at or below the black point) black. The six point fields are read once per call and
// limited to 0..255. Pages of 1 bit are left alone. The caller opens and closes the wait window.
void DeGray(const FreeImageFunctionTable& functions, std::int32_t page, PageOpContext& ctx);

// Every byte of every pixel becomes 255 minus its value. Pages of 1 bit are left alone. Opens its own
// wait window and closes it after the pages, also when none was processed.
void InvertPages(const FreeImageFunctionTable& functions, std::int32_t page, PageOpContext& ctx);

// Scales each channel so that the mode's reference becomes white: 1 the bottom right pixel of the page
// as shown, 2 grey 118, 3 the mean of the shown page's bottom right 10 x 10 pixels, 4 grey 186, 5 the
// white-point fields; any other mode a reference of 0. Opens its own wait window like InvertPages.
void AutoWhiteBalance(
    const FreeImageFunctionTable& functions, std::int32_t page, PageOpContext& ctx, std::int8_t mode);

// The thresholds of DeGray as read from the point fields, each limited to 0..255.
struct DeGrayPoints
{
    std::uint8_t whiteRed = 0;
    std::uint8_t whiteGreen = 0;
    std::uint8_t whiteBlue = 0;
    std::uint8_t blackRed = 0;
    std::uint8_t blackGreen = 0;
    std::uint8_t blackBlue = 0;
};

DeGrayPoints readDeGrayPoints(const PageOpContext& ctx);

// The passes of DeGray and InvertPages on one page.
void DeGrayPixels(PagePassInput& input, const DeGrayPoints& points);
void InvertPixels(PagePassInput& input);

// The white-balance pass of one page: reference, tables, pixels.
void WhiteBalancePixels(PagePassInput& input, std::int8_t mode, const PageOpContext& ctx);

// The channel values the white balance gives for a reference (below 1 counts as 1): each v times the
// double 255.0 / reference, taken exactly and rounded half to even, limited to 255.
std::array<std::uint8_t, 256> whiteBalanceTable(std::int32_t reference);

} // namespace folvex
