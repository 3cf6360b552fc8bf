#pragma once
// Raster helpers shared by the page operations, "Anwenden", the large view and the thumbnails: rows
// counted from the top, the working-copy names, exact quarter turns, the free turn with a white
// background, resolution and grey levels. Qt-free; every call goes through the image library's table,
// which the caller passes. Any thread (the images are the caller's).

#include "foundation/freeimage_binding.h"

#include <FreeImage.h>

#include <array>
#include <cstdint>
#include <string>

namespace folvex {

// Dots per inch in one dot per metre.
inline constexpr double DotsPerMetrePerDpi = 39.3701;

// Row y of the picture counted from the top row 0 (the library stores rows bottom-up). y must be
// below the image's height.
BYTE* rowFromTop(const FreeImageFunctionTable& functions, FIBITMAP* image, unsigned y);

// The page's working copy: the page path without its extension + "_edited.bmp", and the second one
// + "_edited_2.bmp".
std::string workingCopyPath(const std::string& pagePath);
std::string secondWorkingCopyPath(const std::string& pagePath);

// The file that shows the page as edited so far: its working copy when that exists, else the page
// file itself.
std::string pageAsEditedPath(const std::string& pagePath);

// Loads the page as edited so far as a BMP file; empty when it cannot be loaded.
FreeImageBitmap loadPageAsEdited(const FreeImageFunctionTable& functions, const std::string& pagePath);

// The image turned clockwise by turns (0-3, taken modulo 4) quarter turns, as an exact permutation of
// its pixels, for 1, 4 and 8 bits with palette, 16, 24 and 32 bits and any width. Palette, colour
// masks and dots per metre are kept; an odd turn exchanges the X and Y dots per metre. Turns 0 gives
// a copy. Empty for NULL, other image types or when no memory is left.
FreeImageBitmap QuarterTurn(const FreeImageFunctionTable& functions, FIBITMAP* image, int turns);

// The same turn as the finite angleDeg within one full circle, with its sign: 370 → 10, −370 → −10,
// 720 → 0. The library's rotation works its way down to one circle step by step, so it never ends
// for a huge angle; every angle handed to it is reduced first.
double WithinOneTurn(double angleDeg);

// The image turned by angleDeg degrees (counter-clockwise when positive) with white in the uncovered
// corners, cut back around its centre to its former width and height: left = Int((Wr - W) / 2), top =
// Int((Hr - H) / 2) of the larger turned image. A 1-bit page is turned as grey and thresholded at 128
// afterwards, so it stays 1-bit; a 4-bit page is turned as 8 bits and a 16-bit one as 24 bits (the
// library turns neither). Dots per metre are kept. The angle is reduced to one full circle first.
// Empty when the library cannot turn the image or the angle is not a finite number.
FreeImageBitmap RotateCropWhite(const FreeImageFunctionTable& functions, FIBITMAP* image, double angleDeg);

// The page's resolution in dots per inch: Round(DPM_X / 39.3701), else (X is 0) Round(DPM_Y /
// 39.3701), else 0; halves round away from zero.
std::int32_t PageDpi(const FreeImageFunctionTable& functions, FIBITMAP* image);

// Copies the X and Y dots per metre of from to to.
void CopyResolution(const FreeImageFunctionTable& functions, FIBITMAP* from, FIBITMAP* to);

// Saves image as a BMP file under path. The binding writes a temporary file beside path and renames
// it over path only when it is complete, so a failed save leaves an existing file as it was. Returns
// true on success; the caller chooses the note.
bool SavePageBmp(const FreeImageFunctionTable& functions, FIBITMAP* image, const std::string& path);

// The grey level the library's 8-bit conversion gives a colour, in single precision as it computes it.
inline std::uint8_t greyLevel(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    return static_cast<std::uint8_t>(0.2126f * red + 0.7152f * green + 0.0722f * blue + 0.5f);
}

// The grey level of each palette index of an image of 8 bits or fewer (entries past the palette are
// 0); all 0 for other images.
std::array<std::uint8_t, 256> paletteGreyLevels(const FreeImageFunctionTable& functions, FIBITMAP* image);

} // namespace folvex
