#pragma once
// Makes a page ready for a file format whose encoder refuses some depths (JPEG and GIF leave an empty
// or truncated file) or writes files no reader takes (TARGA at 1 and 4 bits, TIFF at 16 bits). Every
// writer saves the prepared image, never the loaded page itself. Any thread.

#include "foundation/freeimage_binding.h"

#include <FreeImage.h>

namespace folvex {

// The image to save: image is the page itself (owner empty) or a converted copy that owner holds.
// image is nullptr when the conversion failed.
struct PreparedPage
{
    FIBITMAP* image = nullptr;
    FreeImageBitmap owner;
};

// JPEG: 1 bit and 8 bits of grey keep grey (1 bit becomes 8-bit grey), 4 bits become 8-bit grey when
// the palette is grey, else 24 bits, as do 8-bit colour palettes, 16 and 32 bits. GIF: 16, 24 and 32
// bits become an 8-bit palette (neural-net quantiser). TARGA: 1 bit becomes 8-bit grey, 4 bits 8 bits.
// TIFF, PNG and TARGA: 16 bits (565) become 24 bits, as their encoders store other colours. Other formats and
// depths: the page as it is.
PreparedPage
prepareDepthFor(const FreeImageFunctionTable& functions, FREE_IMAGE_FORMAT format, FIBITMAP* page);

} // namespace folvex
