#include "foundation/bitmap_saving.h"

#include "foundation/note.h"
#include "foundation/pixel_access_internal.h"
#include "runtime/dib.h"
#include "runtime/text.h"

#include <algorithm>
#include <memory>
#include <string_view>

namespace folvex {

namespace {

// Largest side of the image drawn into; keeps the library's size computations in range.
constexpr int MaxSidePx = 1'000'000;

bool endsWithNoCase(const std::string& text, std::string_view suffix)
{
    return lowerAscii(text).ends_with(lowerAscii(suffix));
}

bool formatOf(const std::string& file, std::uint8_t type, FREE_IMAGE_FORMAT& format)
{
    switch (type) {
        case 1:
            format = FIF_BMP;
            return true;
        case 2:
            format = FIF_JPEG;
            return true;
        case 3:
            format = endsWithNoCase(file, ".j2k") || endsWithNoCase(file, ".j2c") ? FIF_J2K : FIF_JP2;
            return true;
        case 4:
            format = FIF_PNG;
            return true;
        default:
            return false;
    }
}

} // namespace

int SaveBitmap(
    const FreeImageFunctionTable& functions,
    Handle hBitmap,
    int width,
    int height,
    const std::string& file,
    std::uint8_t type)
{
    if (width <= 0 || height <= 0 || width > MaxSidePx || height > MaxSidePx) {
        ShowNote("SaveBitmap: StartDrawing fehlgeschlagen", 0);
        return 0;
    }
    auto unload = [&functions](FIBITMAP* image) { functions.Unload(image); };
    std::unique_ptr<FIBITMAP, decltype(unload)> image(functions.Allocate(width, height, 24, 0, 0, 0), unload);
    if (!image) {
        ShowNote("SaveBitmap: StartDrawing fehlgeschlagen", 0);
        return 0;
    }
    const DibBitmap* bitmap = findImage(hBitmap);
    if (bitmap == nullptr || !pixel_detail::isReadableBitmap(*bitmap)) {
        ShowNote("SaveBitmap: DrawImage fehlgeschlagen", 0);
        return 0;
    }
    // Top-left aligned: picture line y of the bitmap becomes picture line y of the image.
    const pixel_detail::Bgr24Reader reader(*bitmap);
    BYTE* bits = functions.GetBits(image.get());
    const std::size_t pitch = functions.GetPitch(image.get());
    const int columns = std::min(width, bitmap->width);
    for (int y = 0; y < std::min(height, bitmap->height); ++y) {
        reader.readRow(
            bitmap->height - 1 - y, bits + pitch * static_cast<std::size_t>(height - 1 - y), columns);
    }
    functions.SetDotsPerMeterX(image.get(), static_cast<unsigned>(std::max(bitmap->dotsPerMeterX, 0)));
    functions.SetDotsPerMeterY(image.get(), static_cast<unsigned>(std::max(bitmap->dotsPerMeterY, 0)));

    FREE_IMAGE_FORMAT format = FIF_UNKNOWN;
    if (!formatOf(file, type, format)) {
        ShowNote("SaveBitmap: unbekannter Dateityp " + std::to_string(type), 0);
        return 0;
    }
    if (!functions.SaveU(format, image.get(), file, 0)) {
        ShowNote("SaveBitmap: " + file + " konnte nicht gespeichert werden.", 0);
        return 0;
    }
    return 1;
}

} // namespace folvex
