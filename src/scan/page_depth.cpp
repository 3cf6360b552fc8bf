#include "scan/page_depth.h"

#include <utility>

namespace folvex {

namespace {

// True when every palette entry is a shade of grey.
bool hasGreyPalette(const FreeImageFunctionTable& functions, FIBITMAP* page)
{
    const FREE_IMAGE_COLOR_TYPE type = functions.GetColorType(page);
    if (type == FIC_MINISBLACK || type == FIC_MINISWHITE) {
        return true;
    }
    const RGBQUAD* palette = functions.GetPalette(page);
    if (palette == nullptr) {
        return false;
    }
    const unsigned entries = 1U << functions.GetBPP(page);
    for (unsigned i = 0; i < entries; ++i) {
        if (palette[i].rgbRed != palette[i].rgbGreen || palette[i].rgbGreen != palette[i].rgbBlue) {
            return false;
        }
    }
    return true;
}

PreparedPage converted(const FreeImageFunctionTable& functions, FIBITMAP* copy)
{
    PreparedPage prepared{copy, ownFreeImage(functions, copy)};
    return prepared;
}

PreparedPage forJpeg(const FreeImageFunctionTable& functions, FIBITMAP* page, unsigned bpp)
{
    switch (bpp) {
        case 1:
            return converted(functions, functions.ConvertToGreyscale(page));
        case 4:
            return converted(
                functions,
                hasGreyPalette(functions, page) ? functions.ConvertToGreyscale(page)
                                                : functions.ConvertTo24Bits(page));
        case 8:
            if (functions.GetColorType(page) == FIC_MINISBLACK) {
                break;
            }
            return converted(
                functions,
                hasGreyPalette(functions, page) ? functions.ConvertToGreyscale(page)
                                                : functions.ConvertTo24Bits(page));
        case 24:
            break;
        default:
            return converted(functions, functions.ConvertTo24Bits(page));
    }
    return PreparedPage{page, ownFreeImage(functions, nullptr)};
}

PreparedPage forGif(const FreeImageFunctionTable& functions, FIBITMAP* page, unsigned bpp)
{
    if (bpp <= 8) {
        return PreparedPage{page, ownFreeImage(functions, nullptr)};
    }
    FreeImageBitmap truecolour = ownFreeImage(functions, nullptr);
    FIBITMAP* source = page;
    if (bpp != 24) {
        truecolour.reset(functions.ConvertTo24Bits(page));
        source = truecolour.get();
        if (source == nullptr) {
            return PreparedPage{nullptr, std::move(truecolour)};
        }
    }
    return converted(functions, functions.ColorQuantize(source, FIQ_NNQUANT));
}

} // namespace

PreparedPage
prepareDepthFor(const FreeImageFunctionTable& functions, FREE_IMAGE_FORMAT format, FIBITMAP* page)
{
    const unsigned bpp = page == nullptr ? 0 : functions.GetBPP(page);
    switch (format) {
        case FIF_JPEG:
            return forJpeg(functions, page, bpp);
        case FIF_GIF:
            return forGif(functions, page, bpp);
        case FIF_TARGA:
            if (bpp == 1) {
                return converted(functions, functions.ConvertToGreyscale(page));
            }
            if (bpp == 4) {
                return converted(functions, functions.ConvertTo8Bits(page));
            }
            if (bpp == 16) {
                return converted(functions, functions.ConvertTo24Bits(page));
            }
            break;
        case FIF_PNG:
        case FIF_TIFF:
            if (bpp == 16) {
                return converted(functions, functions.ConvertTo24Bits(page));
            }
            break;
        default:
            break;
    }
    return PreparedPage{page, ownFreeImage(functions, nullptr)};
}

} // namespace folvex
