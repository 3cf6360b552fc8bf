#pragma once
// The binding to the image library: the library opened by name at start-up, its function table, the
// version check and the conversion of a loaded image into a runtime bitmap. The shell owns the one
// FreeImageLibrary record; GUI thread (the table itself may be read from any thread once filled).

#include "foundation/freeimage_function_list.h"
#include "runtime/dynamic_library.h"
#include "runtime/handles.h"

#include <FreeImage.h>

#include <memory>
#include <string>

namespace folvex {

inline constexpr const char* FreeImageLibraryName = "libfreeimage.so.3";
inline constexpr const char* FreeImageExpectedVersion = "3.18.0";
inline constexpr const char* FreeImageMismatchTitle = "FreeImage Version Mismatch";
inline constexpr const char* FreeImageLoadErrorTitle = "Fehler";

// One pointer per library function the program calls, named as the library's function without its
// "FreeImage_" prefix; every entry is set once the loader has returned.
struct FreeImageFunctionTable
{
#define FOLVEX_FREEIMAGE_ENTRY(name) decltype(&::FreeImage_##name) name = nullptr;
    FOLVEX_FREEIMAGE_FUNCTIONS(FOLVEX_FREEIMAGE_ENTRY)
#undef FOLVEX_FREEIMAGE_ENTRY

    // Loads a file named by a UTF-8 path (the library's wide-character entries do nothing here).
    // nullptr when it cannot be loaded; the caller owns the result (Unload).
    FIBITMAP* LoadU(FREE_IMAGE_FORMAT fif, const std::string& path, int flags = 0) const;

    // Saves under a UTF-8 path through a temporary name in the same folder that replaces the target
    // only once the library reported a complete file: TRUE on success; on FALSE the old file (if
    // any) is untouched and no temporary file is left.
    BOOL SaveU(FREE_IMAGE_FORMAT fif, FIBITMAP* dib, const std::string& path, int flags = 0) const;
};

struct FreeImageLibrary
{
    // The open library; empty when loading failed.
    std::unique_ptr<DynamicLibrary> FreeImageBinding;
    FreeImageFunctionTable FreeImageFunctions;
    // The name the library was opened by (shown in its messages).
    std::string libraryName;
};

// Opens the library by name and fills the table. When the library cannot be opened or lacks a
// function, shows one message box naming the library or the function and ends the program at once
// with code 1. Returns true when every entry is set (false only when the exit seam returned). The
// library initialises itself; of it nothing else is called. The TIFF library it uses gets handlers that
// drop its warnings and hand its errors to the open FreeImageMessageScope instead of the error stream.
bool loadFreeImageBinding(FreeImageLibrary& library, const std::string& libraryName = FreeImageLibraryName);

// Frees a library image through the table's Unload; an empty deleter (no table) frees nothing.
struct FreeImageUnloader
{
    const FreeImageFunctionTable* functions = nullptr;

    void operator()(FIBITMAP* image) const;
};

// The one owner of a library image: move-only, frees the image through the table when it goes out of
// scope. The table must outlive it.
using FreeImageBitmap = std::unique_ptr<FIBITMAP, FreeImageUnloader>;

// Takes ownership of image (nullptr gives an empty owner that still knows the table).
FreeImageBitmap ownFreeImage(const FreeImageFunctionTable& functions, FIBITMAP* image);

// The image as a standard bitmap of 1, 4, 8, 24 or 32 bits: the image itself when it is one (owner is
// left empty), else a converted copy that owner then holds. 16-bit grey becomes 8-bit grey, 48-bit RGB
// and 16-bit 555/565 become 24-bit, 64-bit RGBA becomes 32-bit. nullptr for NULL and for other image
// types, or when the conversion fails. Whatever owner held before is freed first.
FIBITMAP* standardBitmapOf(const FreeImageFunctionTable& functions, FIBITMAP* image, FreeImageBitmap& owner);

// Compares the library's version with 3.18.0; on a mismatch asks the user (Yes/No/Cancel): No goes
// on, Yes and Cancel end the program at once with code 1. Returns 0.
int FreeImageVersionCheck(const FreeImageLibrary& library);

// A runtime bitmap (image handle) with the image's header, palette, dots per metre and a copy of its
// rows; the image is not changed. 16-bit grey becomes 8-bit grey, 48-bit RGB and 16-bit 555/565
// become 24-bit, 64-bit RGBA becomes 32-bit. 0 for NULL, other image types or when the bitmap cannot
// be made. The caller owns the handle (FreeHBitmap).
Handle FreeImageToHBitmap(const FreeImageFunctionTable& functions, FIBITMAP* image);

// Releases a bitmap made by FreeImageToHBitmap. Returns 0.
int FreeHBitmap(Handle bitmap);

} // namespace folvex
