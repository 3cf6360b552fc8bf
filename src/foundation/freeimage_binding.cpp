#include "foundation/freeimage_binding.h"

#include "foundation/freeimage_messages.h"
#include "runtime/dib.h"
#include "runtime/effects.h"
#include "runtime/safe_file.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace folvex {

namespace {

// Ends the program after a failed start-up check; returns only when the exit seam does.
void reportLoadFailure(const std::string& text)
{
    effects().messages->showMessage(FreeImageLoadErrorTitle, text, MessageButtons::Ok, MessageIcon::Error);
    effects().exit->endProgramAtOnce(1);
}

// The TIFF library's message handlers, as its functions for setting them take and return them.
using TiffMessageHandler = void (*)(const char* module, const char* format, va_list args);
using SetTiffMessageHandler = TiffMessageHandler (*)(TiffMessageHandler handler);

// Warnings of the TIFF library (tags it skips or repairs while reading) change nothing the program
// does: they are dropped.
void dropTiffWarning(const char*, const char*, va_list) {}

// Errors of the TIFF library join the messages of the image library's open scope on this thread, so
// they reach the user with the file they belong to; without a scope they go to the error stream. The
// image library asks the TIFF library about its EXIF tags on every TIFF it writes or reads, and the
// TIFF library reports each tag it does not know as an error although nothing fails: those are
// dropped.
void passOnTiffError(const char* module, const char* format, va_list args)
{
    const std::string where = module != nullptr ? module : "";
    if (where == "TIFFFieldWithTag") {
        return;
    }
    char text[1024] = {};
    if (format != nullptr) {
        std::vsnprintf(text, sizeof text, format, args);
    }
    std::string message = where.empty() ? std::string(text) : where + ": " + text;
    if (!gatherFreeImageMessage(message)) {
        std::fprintf(stderr, "%s\n", message.c_str());
    }
}

// Installs the handlers in the TIFF library the image library uses (found through the image
// library's own dependencies); nothing when it uses none.
void installTiffMessageHandlers(const DynamicLibrary& binding)
{
    auto* setWarning = reinterpret_cast<SetTiffMessageHandler>(binding.symbol("TIFFSetWarningHandler"));
    auto* setError = reinterpret_cast<SetTiffMessageHandler>(binding.symbol("TIFFSetErrorHandler"));
    if (setWarning != nullptr) {
        setWarning(dropTiffWarning);
    }
    if (setError != nullptr) {
        setError(passOnTiffError);
    }
}

} // namespace

void FreeImageUnloader::operator()(FIBITMAP* image) const
{
    if (functions != nullptr && image != nullptr) {
        functions->Unload(image);
    }
}

FreeImageBitmap ownFreeImage(const FreeImageFunctionTable& functions, FIBITMAP* image)
{
    return FreeImageBitmap(image, FreeImageUnloader{&functions});
}

FIBITMAP* standardBitmapOf(const FreeImageFunctionTable& functions, FIBITMAP* image, FreeImageBitmap& owner)
{
    owner = ownFreeImage(functions, nullptr);
    if (image == nullptr) {
        return nullptr;
    }
    FIBITMAP* converted = nullptr;
    switch (functions.GetImageType(image)) {
        case FIT_BITMAP:
            switch (functions.GetBPP(image)) {
                case 1:
                case 4:
                case 8:
                case 24:
                case 32:
                    return image;
                case 16:
                    converted = functions.ConvertTo24Bits(image);
                    break;
                default:
                    return nullptr;
            }
            break;
        case FIT_UINT16:
            converted = functions.ConvertTo8Bits(image);
            break;
        case FIT_RGB16:
            converted = functions.ConvertTo24Bits(image);
            break;
        case FIT_RGBA16:
            converted = functions.ConvertTo32Bits(image);
            break;
        default:
            return nullptr;
    }
    owner = ownFreeImage(functions, converted);
    return converted;
}

FIBITMAP* FreeImageFunctionTable::LoadU(FREE_IMAGE_FORMAT fif, const std::string& path, int flags) const
{
    return Load(fif, path.c_str(), flags);
}

BOOL FreeImageFunctionTable::SaveU(
    FREE_IMAGE_FORMAT fif, FIBITMAP* dib, const std::string& path, int flags) const
{
    auto writer = SafeFileWriter::create(path);
    if (!writer) {
        return FALSE;
    }
    // The library writes the temporary file by its name; the writer then syncs and renames it.
    if (!Save(fif, dib, writer->temporaryPath().c_str(), flags)) {
        writer->abandon();
        return FALSE;
    }
    return writer->commit() ? TRUE : FALSE;
}

bool loadFreeImageBinding(FreeImageLibrary& library, const std::string& libraryName)
{
    library.libraryName = libraryName;
    library.FreeImageFunctions = FreeImageFunctionTable{};
    library.FreeImageBinding = std::make_unique<DynamicLibrary>(libraryName);
    if (!library.FreeImageBinding->isOpen()) {
        const std::string reason = library.FreeImageBinding->error();
        library.FreeImageBinding.reset();
        reportLoadFailure("Die Bildbibliothek " + libraryName + " konnte nicht geladen werden: " + reason);
        return false;
    }
    const DynamicLibrary& binding = *library.FreeImageBinding;
    FreeImageFunctionTable& table = library.FreeImageFunctions;
#define FOLVEX_FREEIMAGE_LOOKUP(name)                                                                        \
    table.name = reinterpret_cast<decltype(table.name)>(binding.symbol("FreeImage_" #name));
    FOLVEX_FREEIMAGE_FUNCTIONS(FOLVEX_FREEIMAGE_LOOKUP)
#undef FOLVEX_FREEIMAGE_LOOKUP

#define FOLVEX_FREEIMAGE_CHECK(name)                                                                         \
    if (table.name == nullptr) {                                                                             \
        reportLoadFailure(                                                                                   \
            "In der Bildbibliothek " + libraryName + " fehlt die Funktion FreeImage_" #name ".");            \
        return false;                                                                                        \
    }
    FOLVEX_FREEIMAGE_FUNCTIONS(FOLVEX_FREEIMAGE_CHECK)
#undef FOLVEX_FREEIMAGE_CHECK
    installTiffMessageHandlers(binding);
    return true;
}

int FreeImageVersionCheck(const FreeImageLibrary& library)
{
    const char* reported = library.FreeImageFunctions.GetVersion();
    const std::string version = reported != nullptr ? reported : "";
    if (version == FreeImageExpectedVersion) {
        return 0;
    }
    const std::string text = std::string("Die FreeImage-Anbindung ist für die Version ") +
                             FreeImageExpectedVersion + " von FreeImage geschrieben.\rDie Bibliothek " +
                             library.libraryName + " ist jedoch Version " + version +
                             ".\r\rDas Programm sollte unbedingt abgebrochen werden! [Nein=weiter]";
    const MessageAnswer answer = effects().messages->showMessage(
        FreeImageMismatchTitle, text, MessageButtons::YesNoCancel, MessageIcon::Warning);
    if (answer != MessageAnswer::No) {
        effects().exit->endProgramAtOnce(1);
    }
    return 0;
}

Handle FreeImageToHBitmap(const FreeImageFunctionTable& functions, FIBITMAP* image)
{
    if (image == nullptr) {
        return NoHandle;
    }
    FreeImageBitmap converted;
    FIBITMAP* source = standardBitmapOf(functions, image, converted);
    if (source == nullptr) {
        return NoHandle;
    }
    const BITMAPINFO* info = functions.GetInfo(source);
    const BYTE* sourceBits = functions.GetBits(source);
    if (info == nullptr || sourceBits == nullptr) {
        return NoHandle;
    }
    const BITMAPINFOHEADER& header = info->bmiHeader;
    auto bitmap = makeDibBitmap(
        static_cast<std::int32_t>(functions.GetWidth(source)),
        static_cast<std::int32_t>(functions.GetHeight(source)),
        static_cast<std::uint16_t>(functions.GetBPP(source)));
    if (!bitmap) {
        return NoHandle;
    }
    bitmap->dotsPerMeterX = header.biXPelsPerMeter;
    bitmap->dotsPerMeterY = header.biYPelsPerMeter;
    if (bitmap->bitCount <= 8) {
        // The palette follows the header in the library's memory, as in a packed DIB.
        const auto* colors =
            reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(info) + header.biSize);
        const std::size_t entries = bitmap->palette.size();
        const std::size_t used =
            header.biClrUsed != 0 ? std::min<std::size_t>(header.biClrUsed, entries) : entries;
        for (std::size_t i = 0; i < entries; ++i) {
            if (i >= used) {
                bitmap->palette[i] = 0;
                continue;
            }
            const RGBQUAD& entry = colors[i];
            bitmap->palette[i] = std::uint32_t{entry.rgbRed} << 16 | std::uint32_t{entry.rgbGreen} << 8 |
                                 std::uint32_t{entry.rgbBlue};
        }
    }
    const std::size_t pitch = functions.GetPitch(source);
    const std::size_t stride = bitmap->stride();
    const std::size_t rowBytes = std::min(pitch, stride);
    for (std::int32_t row = 0; row < bitmap->height; ++row) {
        std::memcpy(
            bitmap->bits.data() + stride * static_cast<std::size_t>(row),
            sourceBits + pitch * static_cast<std::size_t>(row),
            rowBytes);
    }
    return registerImage(std::move(bitmap));
}

int FreeHBitmap(Handle bitmap)
{
    freeImage(bitmap);
    return 0;
}

} // namespace folvex
