#include "imageops/flat_field_depth.h"

// Flat-field correction works on pages of 8 bits or more of the same size and depth as the reference
// (the job's last page). Both are taken as 24 bits; the reference pixel (RefPicX, RefPicY), rows counted
// from the bottom, decides: all three channels at least 128 make a white reference, else black. Every
// byte of the page's rows, fill bytes included, is then corrected against the byte at the same offset of
// the reference: v + 255 - r (at most 255) against white, v - r (at least 0) against black, but only
// where |v - r| < RefPicCutoff, -1 meaning no limit, so real content far from the reference stays.
// The result goes back to the page's depth: grey pages grey, 32 bits as 32, others as 24.

#include "imageops/page_operation.h"
#include "imageops/raster.h"

#include <algorithm>
#include <cstdlib>

namespace folvex {

namespace {

// A reference pixel with every channel at least this bright makes a white reference.
constexpr unsigned WhiteReferenceLevel = 128;

std::string flatFieldProgress(std::int32_t page, std::int32_t references, const std::string& percent)
{
    return "Referenzbildverbesserung (" + std::to_string(page) + "/" + std::to_string(references) + ") - " +
           percent + "%...";
}

bool whiteReference(const FreeImageFunctionTable& functions, FIBITMAP* reference, const PageOpContext& ctx)
{
    const std::int32_t width = static_cast<std::int32_t>(functions.GetWidth(reference));
    const std::int32_t height = static_cast<std::int32_t>(functions.GetHeight(reference));
    std::int32_t x = ctx.RefPicX();
    std::int32_t y = ctx.RefPicY();
    // Rows count from the bottom; a pixel off the image, negative coordinates included, gives (0, 0).
    if (x < 0 || y < 0 || x > width - 1 || y > height - 1) {
        x = 0;
        y = 0;
    }
    RGBQUAD colour{};
    functions.GetPixelColor(reference, static_cast<unsigned>(x), static_cast<unsigned>(y), &colour);
    return colour.rgbRed >= WhiteReferenceLevel && colour.rgbGreen >= WhiteReferenceLevel &&
           colour.rgbBlue >= WhiteReferenceLevel;
}

// Corrects the 24-bit page in place against the 24-bit reference, row by row from the bottom, the
// fill bytes at the end of each row included, and shows the progress.
void correctRows(
    const FreeImageFunctionTable& functions,
    FIBITMAP* image,
    FIBITMAP* reference,
    bool white,
    std::int32_t cutoff,
    std::int32_t page,
    PageOpContext& ctx)
{
    const unsigned height = functions.GetHeight(image);
    const unsigned pitch = functions.GetPitch(image);
    const std::int32_t references = ctx.PageCount() - 1;
    const unsigned step = std::max(1U, (height - 1) / 100);
    BYTE* bits = functions.GetBits(image);
    const BYTE* referenceBits = functions.GetBits(reference);
    for (unsigned y = 0; y < height; ++y) {
        BYTE* row = bits + static_cast<std::size_t>(y) * pitch;
        const BYTE* referenceRow = referenceBits + static_cast<std::size_t>(y) * pitch;
        for (unsigned at = 0; at < pitch; ++at) {
            const int value = row[at];
            const int referenceValue = referenceRow[at];
            if (cutoff != -1 && std::abs(value - referenceValue) >= cutoff) {
                continue;
            }
            row[at] = static_cast<BYTE>(
                white ? std::min(255, value + 255 - referenceValue) : std::max(0, value - referenceValue));
        }
        if (y % step == 0) {
            const auto percent = static_cast<long long>(static_cast<double>(y) / (height / 100.0));
            ctx.ui().setWaitText(flatFieldProgress(page, references, std::to_string(percent)));
        }
    }
    ctx.ui().setWaitText(flatFieldProgress(page, references, "100"));
}

} // namespace

void FlatFieldCorrect(
    const FreeImageFunctionTable& functions, std::int32_t page, PageOpContext& ctx, bool silent)
{
    EditorUi& ui = ctx.ui();
    const auto refuse = [&](const char* note) {
        if (!silent) {
            ui.showNote(note);
        }
    };
    const std::int32_t count = ctx.PageCount();
    if (count < 2) {
        refuse(FlatFieldNoReference);
        return;
    }
    if (page == count) {
        refuse(FlatFieldIsReference);
        return;
    }
    const std::string pagePath = ctx.pagePath(page);
    const std::string source = pageAsEditedPath(pagePath);
    const std::string referenceSource = pageAsEditedPath(ctx.pagePath(count));
    const FreeImageBitmap loaded = ownFreeImage(functions, functions.LoadU(FIF_BMP, source));
    if (!loaded) {
        ui.showNote(pageFailedNote(page, source));
        return;
    }
    const FreeImageBitmap loadedReference =
        ownFreeImage(functions, functions.LoadU(FIF_BMP, referenceSource));
    if (!loadedReference) {
        ui.showNote(pageFailedNote(count, referenceSource));
        return;
    }
    if (functions.GetWidth(loaded.get()) != functions.GetWidth(loadedReference.get()) ||
        functions.GetHeight(loaded.get()) != functions.GetHeight(loadedReference.get())) {
        refuse(FlatFieldOtherSize);
        return;
    }
    const unsigned depth = functions.GetBPP(loaded.get());
    if (depth < 8) {
        refuse(FlatFieldTooFewBits);
        return;
    }
    if (depth != functions.GetBPP(loadedReference.get())) {
        refuse(FlatFieldOtherDepth);
        return;
    }
    if (ctx.markedForDeletion(page) || ctx.markedBlank(page)) {
        return;
    }

    FreeImageBitmap image = ownFreeImage(functions, functions.ConvertTo24Bits(loaded.get()));
    const FreeImageBitmap reference =
        ownFreeImage(functions, functions.ConvertTo24Bits(loadedReference.get()));
    if (!image || !reference) {
        ui.showNote(pageFailedNote(page, source));
        return;
    }
    const bool white = whiteReference(functions, reference.get(), ctx);
    correctRows(functions, image.get(), reference.get(), white, ctx.RefPicCutoff(), page, ctx);

    FreeImageBitmap result =
        restoreStoredDepth(functions, std::move(image), storedDepthOf(functions, loaded.get()));
    if (!result) {
        ui.showNote(pageFailedNote(page, source));
        return;
    }
    CopyResolution(functions, loaded.get(), result.get());
    saveWorkingCopy(functions, result.get(), pagePath, ui);
}

void ChangeBitDepth(
    const FreeImageFunctionTable& functions, std::int32_t page, PageOpContext& ctx, std::uint8_t mode)
{
    if (mode < 1 || mode > 4) {
        return;
    }
    const std::int32_t count = ctx.PageCount();
    for (std::int32_t i = 1; i <= count; ++i) {
        if (page >= 1 && i != page) {
            continue;
        }
        const std::string pagePath = ctx.pagePath(i);
        const std::string source = pageAsEditedPath(pagePath);
        const FreeImageBitmap loaded = ownFreeImage(functions, functions.LoadU(FIF_BMP, source));
        if (!loaded) {
            ctx.ui().showNote(pageFailedNote(i, source));
            continue;
        }
        const unsigned depth = functions.GetBPP(loaded.get());
        const bool grey = hasGreyPalette(functions, loaded.get());
        if (((mode == 1 || mode == 2) && depth == 1) || (mode == 3 && depth == 8 && grey) ||
            (mode == 4 && depth == 24)) {
            continue;
        }
        FIBITMAP* converted = nullptr;
        switch (mode) {
            case 1:
                converted = functions.Threshold(loaded.get(), 128);
                break;
            case 2:
                converted = functions.Dither(loaded.get(), FID_FS);
                break;
            case 3:
                // Also a colour-palette page of 8 bits becomes grey.
                converted = functions.ConvertToGreyscale(loaded.get());
                break;
            default:
                converted = functions.ConvertTo24Bits(loaded.get());
                break;
        }
        const FreeImageBitmap result = ownFreeImage(functions, converted);
        if (!result) {
            ctx.ui().showNote(pageFailedNote(i, source));
            continue;
        }
        CopyResolution(functions, loaded.get(), result.get());
        saveWorkingCopy(functions, result.get(), pagePath, ctx.ui());
    }
}

} // namespace folvex
