#pragma once
// Page numbering: the number each page gets in its output file, the page's resolution and the sizes
// derived from it, and the drawing of "- n -" into the bottom right corner of the page as the user sees
// it, in the colour that contrasts with the paper there. Qt-free; text comes from the context's
// TextRenderer, pixels through the image library's table. GUI thread.

#include "foundation/freeimage_binding.h"
#include "imageops/page_op_context.h"
#include "imageops/page_operation.h"
#include "runtime/text_renderer.h"

#include <FreeImage.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace folvex {

inline constexpr const char* PageNumberFont = "Arial";
inline constexpr std::int32_t PageNumberWeight = 400;
// The vertical resolution the point size is turned into pixels with.
inline constexpr std::int32_t ScreenDpi = 96;

// What the numbering needs of one page.
struct NumberingRow
{
    bool marked = false;      // "to be deleted" or "page empty": counted, but not numbered
    bool splitBefore = false; // a pressed split toggle between the previous page and this one
};

// The number of each page (index 0 is page 1): counting from 1 over every page, marked ones included;
// when splitAware, a page with splitBefore (other than the first) starts again at 1. Marked pages get
// 0, meaning no number.
std::vector<std::int32_t> PageNumbers(const std::vector<NumberingRow>& rows, bool splitAware);

// The rows of the context's pages, in page order.
std::vector<NumberingRow> numberingRows(const PageOpContext& ctx);

// The text drawn for number n: "- n -".
std::string pageNumberText(std::int32_t n);

// The page's resolution in dots per inch: PageDpi of the loaded image, else dpiText read as a decimal
// number (0 when it does not begin with one).
std::int32_t
paginationDpi(const FreeImageFunctionTable& functions, FIBITMAP* image, const std::string& dpiText);

// Sizes in pixels of the page derived from its resolution: bottom margin m = Round(dpi × 0.2), right
// margin a = m − Round(m / 2), the font's points Round(dpi × 0.09) and its pixel height
// MulDiv(points, 96, 72). Round takes halves away from zero.
struct NumberSizes
{
    std::int64_t bottomMargin = 0;
    std::int64_t rightMargin = 0;
    std::int64_t points = 0;
    std::int64_t pixelHeight = 0;
};

NumberSizes numberSizes(std::int32_t dpi);

// The number as drawn on a page as shown: the coverage mask with its top left corner at (left, top)
// and the colour it is blended in.
struct NumberLayer
{
    std::int64_t left = 0;
    std::int64_t top = 0;
    RGBQUAD colour{};
    CoverageMask mask;
};

// The layer of number n at dpi on the page as shown by geometry, read from the 24-bit stored page
// (the uncovered corners of a free angle count as white). The text of width cx and height cy ends one
// text width left of the right margin, its bottom cy above the bottom margin; its colour is 255 minus
// the mean of the (cx + 1) × (cy + 1) box right of it. Empty when dpi is 0 or less, the image is not 24
// bits, the renderer measures nothing, or the text or the box would reach outside the page.
std::optional<NumberLayer> numberLayer(
    const FreeImageFunctionTable& functions,
    FIBITMAP* stored,
    const PageGeometry& geometry,
    std::int32_t n,
    std::int32_t dpi,
    TextRenderer& renderer);

// Blends the layer into the 24-bit stored page. With quarter turns only each covered pixel maps
// exactly; with a free angle the coverage is turned back and sampled bilinearly, so only the pixels
// near the text change and the rest of the page is not resampled.
void blendNumberLayer(
    const FreeImageFunctionTable& functions,
    FIBITMAP* stored,
    const PageGeometry& geometry,
    const NumberLayer& layer);

// Numbers page (1 or more: only that page; 0 or less: every page) of the context through the page
// operation frame: each unmarked page gets its number on its shown form, saved once as its working
// copy in its stored orientation, depth and resolution. A page without resolution or too small for the
// number gets no number and no working copy. Without a renderer nothing is numbered. Sets no
// progress text; the caller shows the wait window.
void Paginate(const FreeImageFunctionTable& functions, std::int32_t page, PageOpContext& ctx);

} // namespace folvex
