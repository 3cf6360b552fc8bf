#include "imageops/page_operation.h"

#include "imageops/raster.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <utility>

namespace folvex {

namespace {

// The progress text changes every this many rows.
constexpr unsigned RowsPerProgressText = 25;

// The working image as the frame hands it to the pass: the page at 24 bits, turned and rotated as
// shown when the pass asks for it. Empty when the library refuses.
FreeImageBitmap
toShown(const FreeImageFunctionTable& functions, FreeImageBitmap image, const PageGeometry& geometry)
{
    if (image && geometry.turns % 4 != 0) {
        image = QuarterTurn(functions, image.get(), geometry.turns);
    }
    if (image && geometry.angle != 0.0) {
        image = RotateCropWhite(functions, image.get(), geometry.angle);
    }
    return image;
}

FreeImageBitmap
fromShown(const FreeImageFunctionTable& functions, FreeImageBitmap image, const PageGeometry& geometry)
{
    if (image && geometry.angle != 0.0) {
        image = RotateCropWhite(functions, image.get(), -geometry.angle);
    }
    if (image && geometry.turns % 4 != 0) {
        image = QuarterTurn(functions, image.get(), 4 - geometry.turns % 4);
    }
    return image;
}

void runOnPage(
    const FreeImageFunctionTable& functions,
    std::int32_t page,
    PageOpContext& ctx,
    const PageOperation& operation,
    const PagePass& pass)
{
    EditorUi& ui = ctx.ui();
    const std::int32_t count = ctx.PageCount();
    const std::string counted = std::to_string(page) + "/" + std::to_string(count);
    if (!operation.progressPrefix.empty()) {
        ui.setWaitText(operation.progressPrefix + counted + " (0%)...");
    }

    const std::string pagePath = ctx.pagePath(page);
    const std::string source = pageAsEditedPath(pagePath);
    FreeImageBitmap loaded = ownFreeImage(functions, functions.LoadU(FIF_BMP, source));
    FreeImageBitmap converted = ownFreeImage(functions, nullptr);
    FIBITMAP* stored = loaded ? standardBitmapOf(functions, loaded.get(), converted) : nullptr;
    if (stored == nullptr) {
        ui.showNote(pageFailedNote(page, source));
        return;
    }
    if (operation.skipsOneBit && functions.GetBPP(stored) == 1) {
        return;
    }

    PageGeometry geometry;
    geometry.storedWidth = functions.GetWidth(stored);
    geometry.storedHeight = functions.GetHeight(stored);
    geometry.turns = static_cast<std::uint8_t>(ctx.turns(page) % 4);
    geometry.angle = ctx.angle(page);
    const StoredDepth depth = storedDepthOf(functions, stored);
    const unsigned dotsPerMetreX = functions.GetDotsPerMeterX(loaded.get());
    const unsigned dotsPerMetreY = functions.GetDotsPerMeterY(loaded.get());

    // A 24-bit page as loaded is the working image itself: a copy of an A4 page costs about as much as
    // the pass.
    FreeImageBitmap working = ownFreeImage(functions, nullptr);
    if (!converted && depth.bitsPerPixel == 24) {
        working = std::move(loaded);
    } else {
        working = ownFreeImage(functions, functions.ConvertTo24Bits(stored));
        loaded.reset();
        converted.reset();
    }
    if (operation.orientation == PassOrientation::AsShown) {
        working = toShown(functions, std::move(working), geometry);
    }
    if (!working) {
        ui.showNote(pageFailedNote(page, source));
        return;
    }
    functions.SetDotsPerMeterX(working.get(), dotsPerMetreX);
    functions.SetDotsPerMeterY(working.get(), dotsPerMetreY);

    RowProgress progress(
        ui,
        operation.progressPrefix.empty() ? std::string() : operation.progressPrefix + counted + " (",
        functions.GetHeight(working.get()));
    PagePassInput input{functions, working.get(), page, count, geometry, progress};
    pass(input);
    if (!input.save) {
        return;
    }

    if (operation.orientation == PassOrientation::AsShown) {
        working = fromShown(functions, std::move(working), geometry);
    }
    FreeImageBitmap result =
        working ? restoreStoredDepth(functions, std::move(working), depth) : ownFreeImage(functions, nullptr);
    if (!result) {
        ui.showNote(pageFailedNote(page, source));
        return;
    }
    functions.SetDotsPerMeterX(result.get(), dotsPerMetreX);
    functions.SetDotsPerMeterY(result.get(), dotsPerMetreY);
    saveWorkingCopy(functions, result.get(), pagePath, ui);
}

} // namespace

RowProgress::RowProgress(EditorUi& ui, std::string prefix, unsigned height)
    : m_ui(ui)
    , m_prefix(std::move(prefix))
    , m_height(height)
{}

void RowProgress::startRow(unsigned y)
{
    if (m_prefix.empty() || ++m_counter < RowsPerProgressText) {
        return;
    }
    m_counter = 0;
    // The counter first reaches 25 at row 24, so the page has at least 25 rows and H - 1 is not 0.
    const double percent = std::round(static_cast<double>(y) / ((m_height - 1) / 100.0));
    m_ui.setWaitText(m_prefix + std::to_string(static_cast<long long>(percent)) + "%)...");
}

unsigned PageGeometry::shownWidth() const
{
    return turns % 2 == 0 ? storedWidth : storedHeight;
}

unsigned PageGeometry::shownHeight() const
{
    return turns % 2 == 0 ? storedHeight : storedWidth;
}

bool PageGeometry::storedPixelOfShown(int x, int y, unsigned& storedX, unsigned& storedY) const
{
    long long turnedWidth = shownWidth();
    long long turnedHeight = shownHeight();
    long long tx = x;
    long long ty = y;
    if (angle != 0.0) {
        // The free turn goes round the centre; a shown point comes from the point turned back by the
        // angle (counter-clockwise positive, y growing downwards).
        const double radians = angle * 3.14159265358979323846 / 180.0;
        const double cx = (turnedWidth - 1) / 2.0;
        const double cy = (turnedHeight - 1) / 2.0;
        const double dx = x - cx;
        const double dy = y - cy;
        tx = std::llround(cx + dx * std::cos(radians) - dy * std::sin(radians));
        ty = std::llround(cy + dx * std::sin(radians) + dy * std::cos(radians));
    }
    if (tx < 0 || ty < 0 || tx >= turnedWidth || ty >= turnedHeight) {
        return false;
    }
    // Undo the clockwise quarter turns one by one: a turned pixel (x', y') of a turned image of width
    // w' came from (y', w' - 1 - x').
    for (int step = 0; step < turns % 4; ++step) {
        const long long previousX = ty;
        const long long previousY = turnedWidth - 1 - tx;
        tx = previousX;
        ty = previousY;
        std::swap(turnedWidth, turnedHeight);
    }
    storedX = static_cast<unsigned>(tx);
    storedY = static_cast<unsigned>(ty);
    return true;
}

bool hasGreyPalette(const FreeImageFunctionTable& functions, FIBITMAP* image)
{
    const unsigned depth = functions.GetBPP(image);
    const RGBQUAD* palette = functions.GetPalette(image);
    if (depth > 8 || palette == nullptr) {
        return false;
    }
    return std::all_of(palette, palette + (1U << depth), [](const RGBQUAD& colour) {
        return colour.rgbRed == colour.rgbGreen && colour.rgbRed == colour.rgbBlue;
    });
}

StoredDepth storedDepthOf(const FreeImageFunctionTable& functions, FIBITMAP* image)
{
    return StoredDepth{functions.GetBPP(image), hasGreyPalette(functions, image)};
}

FreeImageBitmap
restoreStoredDepth(const FreeImageFunctionTable& functions, FreeImageBitmap working, const StoredDepth& depth)
{
    const bool grey = depth.greyPalette;
    switch (depth.bitsPerPixel) {
        case 32:
            return ownFreeImage(functions, functions.ConvertTo32Bits(working.get()));
        case 8:
            return grey ? ownFreeImage(functions, functions.ConvertTo8Bits(working.get()))
                        : std::move(working);
        case 4:
            return grey ? ownFreeImage(functions, functions.ConvertTo4Bits(working.get()))
                        : std::move(working);
        case 1:
            return grey ? ownFreeImage(functions, functions.Threshold(working.get(), 128))
                        : std::move(working);
        default:
            // 24 bits and any other depth stay at 24 bits.
            return working;
    }
}

std::string pageFailedNote(std::int32_t page, const std::string& file)
{
    return "Seite " + std::to_string(page) + " konnte nicht bearbeitet werden: " + file;
}

std::string saveFailedNote(const std::string& file)
{
    return "Die Arbeitskopie " + file + " konnte nicht gespeichert werden.";
}

std::int32_t fieldNumber(const std::string& text)
{
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) {
        negative = text[at] == '-';
        ++at;
    }
    long long value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        value = std::min(value * 10 + (text[at] - '0'), 1LL << 31);
    }
    value = negative ? -value : value;
    return static_cast<std::int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

bool saveWorkingCopy(
    const FreeImageFunctionTable& functions, FIBITMAP* result, const std::string& pagePath, EditorUi& ui)
{
    const std::string target = workingCopyPath(pagePath);
    if (SavePageBmp(functions, result, target)) {
        return true;
    }
    ui.showNote(saveFailedNote(target));
    return false;
}

void PageOperationFrame(
    const FreeImageFunctionTable& functions,
    std::int32_t page,
    PageOpContext& ctx,
    const PageOperation& operation,
    const PagePass& pass)
{
    const std::int32_t count = ctx.PageCount();
    const std::int32_t first = page >= 1 ? page : 1;
    const std::int32_t last = page >= 1 ? std::min(page, count) : count;
    for (std::int32_t i = first; i <= last; ++i) {
        if (ctx.markedForDeletion(i) || ctx.markedBlank(i)) {
            continue;
        }
        runOnPage(functions, i, ctx, operation, pass);
    }
}

} // namespace folvex
