#include "imageops/raster.h"

#include "foundation/paths.h"

#include <cmath>
#include <cstring>

namespace folvex {

namespace {

constexpr DWORD BitFieldsCompression = 3; // BI_BITFIELDS: three colour masks follow the header

// Where destination pixel (x, y) of a turned image comes from, both counted from the top.
struct TurnMap
{
    int turns;
    unsigned sourceWidth;
    unsigned sourceHeight;

    void source(unsigned x, unsigned y, unsigned& x0, unsigned& y0) const
    {
        switch (turns) {
            case 1:
                x0 = y;
                y0 = sourceHeight - 1 - x;
                return;
            case 2:
                x0 = sourceWidth - 1 - x;
                y0 = sourceHeight - 1 - y;
                return;
            case 3:
                x0 = sourceWidth - 1 - y;
                y0 = x;
                return;
            default:
                x0 = x;
                y0 = y;
                return;
        }
    }
};

unsigned packedPixel(const BYTE* row, unsigned x, unsigned bpp)
{
    if (bpp == 1) {
        return (row[x >> 3] >> (7 - (x & 7))) & 1U;
    }
    return (row[x >> 1] >> ((x & 1) != 0 ? 0 : 4)) & 0x0FU;
}

void setPackedPixel(BYTE* row, unsigned x, unsigned bpp, unsigned value)
{
    if (bpp == 1) {
        const auto bit = static_cast<BYTE>(0x80U >> (x & 7));
        row[x >> 3] = static_cast<BYTE>(value != 0 ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit));
        return;
    }
    const unsigned shift = (x & 1) != 0 ? 0 : 4;
    row[x >> 1] = static_cast<BYTE>((row[x >> 1] & ~(0x0FU << shift)) | ((value & 0x0FU) << shift));
}

} // namespace

BYTE* rowFromTop(const FreeImageFunctionTable& functions, FIBITMAP* image, unsigned y)
{
    return functions.GetScanLine(image, static_cast<int>(functions.GetHeight(image) - 1 - y));
}

std::string workingCopyPath(const std::string& pagePath)
{
    return PathWithoutExtension(pagePath) + "_edited.bmp";
}

std::string secondWorkingCopyPath(const std::string& pagePath)
{
    return PathWithoutExtension(pagePath) + "_edited_2.bmp";
}

std::string pageAsEditedPath(const std::string& pagePath)
{
    std::string workingCopy = workingCopyPath(pagePath);
    return FileExists(workingCopy) != 0 ? workingCopy : pagePath;
}

FreeImageBitmap loadPageAsEdited(const FreeImageFunctionTable& functions, const std::string& pagePath)
{
    return ownFreeImage(functions, functions.LoadU(FIF_BMP, pageAsEditedPath(pagePath)));
}

FreeImageBitmap QuarterTurn(const FreeImageFunctionTable& functions, FIBITMAP* image, int turns)
{
    if (image == nullptr || functions.GetImageType(image) != FIT_BITMAP) {
        return ownFreeImage(functions, nullptr);
    }
    turns = ((turns % 4) + 4) % 4;
    if (turns == 0) {
        return ownFreeImage(functions, functions.Clone(image));
    }
    const unsigned bpp = functions.GetBPP(image);
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
        return ownFreeImage(functions, nullptr);
    }
    const unsigned sourceWidth = functions.GetWidth(image);
    const unsigned sourceHeight = functions.GetHeight(image);
    const bool odd = turns % 2 == 1;
    const unsigned width = odd ? sourceHeight : sourceWidth;
    const unsigned height = odd ? sourceWidth : sourceHeight;

    unsigned masks[3] = {0, 0, 0};
    const BITMAPINFOHEADER& header = functions.GetInfo(image)->bmiHeader;
    if (bpp == 16 && header.biCompression == BitFieldsCompression) {
        std::memcpy(masks, reinterpret_cast<const BYTE*>(&header) + header.biSize, sizeof masks);
    }
    FreeImageBitmap turned = ownFreeImage(
        functions,
        functions.Allocate(
            static_cast<int>(width),
            static_cast<int>(height),
            static_cast<int>(bpp),
            masks[0],
            masks[1],
            masks[2]));
    if (!turned) {
        return turned;
    }
    if (bpp <= 8) {
        std::memcpy(
            functions.GetPalette(turned.get()),
            functions.GetPalette(image),
            sizeof(RGBQUAD) * (std::size_t{1} << bpp));
    }
    const unsigned dpmX = functions.GetDotsPerMeterX(image);
    const unsigned dpmY = functions.GetDotsPerMeterY(image);
    functions.SetDotsPerMeterX(turned.get(), odd ? dpmY : dpmX);
    functions.SetDotsPerMeterY(turned.get(), odd ? dpmX : dpmY);

    const TurnMap map{turns, sourceWidth, sourceHeight};
    const unsigned bytesPerPixel = bpp / 8;
    for (unsigned y = 0; y < height; ++y) {
        BYTE* target = rowFromTop(functions, turned.get(), y);
        for (unsigned x = 0; x < width; ++x) {
            unsigned x0 = 0;
            unsigned y0 = 0;
            map.source(x, y, x0, y0);
            const BYTE* source = rowFromTop(functions, image, y0);
            if (bpp < 8) {
                setPackedPixel(target, x, bpp, packedPixel(source, x0, bpp));
            } else {
                std::memcpy(target + x * bytesPerPixel, source + x0 * bytesPerPixel, bytesPerPixel);
            }
        }
    }
    return turned;
}

FreeImageBitmap RotateCropWhite(const FreeImageFunctionTable& functions, FIBITMAP* image, double angleDeg)
{
    FreeImageBitmap none = ownFreeImage(functions, nullptr);
    if (image == nullptr) {
        return none;
    }
    const unsigned bpp = functions.GetBPP(image);
    FreeImageBitmap converted = ownFreeImage(functions, nullptr);
    if (bpp == 1) {
        converted.reset(functions.ConvertToGreyscale(image));
    } else if (bpp == 4) {
        converted.reset(functions.ConvertTo8Bits(image));
    } else if (bpp == 16) {
        converted.reset(functions.ConvertTo24Bits(image));
    }
    FIBITMAP* source = converted ? converted.get() : image;
    if (bpp == 1 || bpp == 4 || bpp == 16) {
        if (!converted) {
            return none;
        }
    }
    RGBQUAD white{255, 255, 255, 0};
    const FreeImageBitmap turned = ownFreeImage(functions, functions.Rotate(source, angleDeg, &white));
    if (!turned) {
        return none;
    }
    const int width = static_cast<int>(functions.GetWidth(image));
    const int height = static_cast<int>(functions.GetHeight(image));
    const int left = (static_cast<int>(functions.GetWidth(turned.get())) - width) / 2;
    const int top = (static_cast<int>(functions.GetHeight(turned.get())) - height) / 2;
    FreeImageBitmap cut =
        ownFreeImage(functions, functions.Copy(turned.get(), left, top, left + width, top + height));
    if (cut && bpp == 1) {
        cut.reset(functions.Threshold(cut.get(), 128));
    }
    if (cut) {
        CopyResolution(functions, image, cut.get());
    }
    return cut;
}

std::int32_t PageDpi(const FreeImageFunctionTable& functions, FIBITMAP* image)
{
    const long dpiX = std::lround(functions.GetDotsPerMeterX(image) / DotsPerMetrePerDpi);
    if (dpiX != 0) {
        return static_cast<std::int32_t>(dpiX);
    }
    return static_cast<std::int32_t>(std::lround(functions.GetDotsPerMeterY(image) / DotsPerMetrePerDpi));
}

void CopyResolution(const FreeImageFunctionTable& functions, FIBITMAP* from, FIBITMAP* to)
{
    functions.SetDotsPerMeterX(to, functions.GetDotsPerMeterX(from));
    functions.SetDotsPerMeterY(to, functions.GetDotsPerMeterY(from));
}

bool SavePageBmp(const FreeImageFunctionTable& functions, FIBITMAP* image, const std::string& path)
{
    return image != nullptr && functions.SaveU(FIF_BMP, image, path, 0) != FALSE;
}

std::array<std::uint8_t, 256> paletteGreyLevels(const FreeImageFunctionTable& functions, FIBITMAP* image)
{
    std::array<std::uint8_t, 256> levels{};
    const unsigned bpp = functions.GetBPP(image);
    const RGBQUAD* palette = functions.GetPalette(image);
    if (bpp > 8 || palette == nullptr) {
        return levels;
    }
    const std::size_t entries = std::size_t{1} << bpp;
    for (std::size_t i = 0; i < entries; ++i) {
        levels[i] = greyLevel(palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue);
    }
    return levels;
}

} // namespace folvex
