#pragma once
// Saving a runtime bitmap as a 24-bit image file through the image library. GUI thread.

#include "foundation/freeimage_binding.h"
#include "runtime/handles.h"

#include <cstdint>
#include <string>

namespace folvex {

// Saves hBitmap, drawn at the top-left of a 24-bit image of width x height (uncovered parts black),
// as file (UTF-8 path) of type 1 BMP, 2 JPEG (the library's default quality), 3 JPEG 2000 (".j2k"
// and ".j2c" as a codestream, else JP2) or 4 PNG, with the bitmap's dots per metre. The file is
// written under a temporary name in its folder and replaces an existing one only when complete.
// Returns 1; 0 after a note (mode 0) for another type, a bitmap that cannot be drawn or a failed
// save, which leaves an existing file untouched.
int SaveBitmap(
    const FreeImageFunctionTable& functions,
    Handle hBitmap,
    int width,
    int height,
    const std::string& file,
    std::uint8_t type);

} // namespace folvex
