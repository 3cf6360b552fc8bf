#include "imageops/raster.h"

#include "foundation/paths.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

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

// The rows of an image from the top, looked up once instead of once per pixel.
template <typename Byte>
std::vector<Byte*> rowsFromTop(const FreeImageFunctionTable& functions, FIBITMAP* image)
{
    const unsigned height = functions.GetHeight(image);
    std::vector<Byte*> rows(height);
    for (unsigned y = 0; y < height; ++y) {
        rows[y] = rowFromTop(functions, image, y);
    }
    return rows;
}

// The side of the square blocks a turn is made in: a turn reads the source across its rows, and a
// block keeps the rows it reads within the caches (a whole column of an A4 page touches thousands of
// memory pages).
constexpr unsigned TurnBlockPx = 64;

// Moves every destination pixel from where the turn takes it, block by block; copyPixel(target row,
// x, source row, x0) moves one pixel.
template <typename CopyPixel>
void turnBlockwise(
    const TurnMap& map,
    const std::vector<const BYTE*>& from,
    const std::vector<BYTE*>& to,
    unsigned width,
    CopyPixel copyPixel)
{
    const auto height = static_cast<unsigned>(to.size());
    for (unsigned blockY = 0; blockY < height; blockY += TurnBlockPx) {
        const unsigned endY = std::min(height, blockY + TurnBlockPx);
        for (unsigned blockX = 0; blockX < width; blockX += TurnBlockPx) {
            const unsigned endX = std::min(width, blockX + TurnBlockPx);
            for (unsigned y = blockY; y < endY; ++y) {
                BYTE* target = to[y];
                for (unsigned x = blockX; x < endX; ++x) {
                    unsigned x0 = 0;
                    unsigned y0 = 0;
                    map.source(x, y, x0, y0);
                    copyPixel(target, x, from[y0], x0);
                }
            }
        }
    }
}

template <unsigned Bytes>
void turnWholeBytes(
    const TurnMap& map, const std::vector<const BYTE*>& from, const std::vector<BYTE*>& to, unsigned width)
{
    turnBlockwise(map, from, to, width, [](BYTE* target, unsigned x, const BYTE* source, unsigned x0) {
        std::memcpy(target + std::size_t{x} * Bytes, source + std::size_t{x0} * Bytes, Bytes);
    });
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
    const std::vector<const BYTE*> from = rowsFromTop<const BYTE>(functions, image);
    const std::vector<BYTE*> to = rowsFromTop<BYTE>(functions, turned.get());
    switch (bpp) {
        case 1:
        case 4:
            turnBlockwise(
                map, from, to, width, [bpp](BYTE* target, unsigned x, const BYTE* source, unsigned x0) {
                    setPackedPixel(target, x, bpp, packedPixel(source, x0, bpp));
                });
            break;
        case 8:
            turnWholeBytes<1>(map, from, to, width);
            break;
        case 16:
            turnWholeBytes<2>(map, from, to, width);
            break;
        case 24:
            turnWholeBytes<3>(map, from, to, width);
            break;
        default:
            turnWholeBytes<4>(map, from, to, width);
            break;
    }
    return turned;
}

double WithinOneTurn(double angleDeg)
{
    const double reduced = std::fmod(angleDeg, 360.0);
    return reduced == 0.0 ? 0.0 : reduced;
}

FreeImageBitmap RotateCropWhite(const FreeImageFunctionTable& functions, FIBITMAP* image, double angleDeg)
{
    FreeImageBitmap none = ownFreeImage(functions, nullptr);
    if (image == nullptr || !std::isfinite(angleDeg)) {
        return none;
    }
    angleDeg = WithinOneTurn(angleDeg);
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
