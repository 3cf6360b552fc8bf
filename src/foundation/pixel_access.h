#pragma once
// Fast pixel access: a bitmap is copied into a plain 24-bit bottom-up buffer (a DibSlot of the calling
// thread), the caller reads and writes its bytes directly, and FinishPixelFast writes it back. Each
// thread has its own slot table; the routines take no locks.

#include "runtime/handles.h"

#include <cstdint>
#include <memory>

namespace folvex {

inline constexpr int StandardMaxAnzDIBs = 1;

// The header of a device-independent bitmap as it starts a packed DIB.
struct BitmapInfoHeader
{
    std::uint32_t biSize = 40;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;
    std::uint16_t biPlanes = 1;
    std::uint16_t biBitCount = 24;
    std::uint32_t biCompression = 0;
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 3779;
    std::int32_t biYPelsPerMeter = 3779;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;
};

static_assert(sizeof(BitmapInfoHeader) == 40);

// One open buffer. Pixel (x, y), y counted from the top, starts at
// PixelStart + x * 3 + (SlotHeight - 1 - y) * (SlotWidth * 3 + RowPad), bytes blue, green, red.
struct DibSlot
{
    std::uint8_t SlotMode = 0; // 1 = empty buffer for the caller to fill, 2 = read from a bitmap
    std::int32_t HeaderSize = 40;
    BitmapInfoHeader BitmapHeader;
    std::unique_ptr<std::uint8_t[]> Block; // header copy, then the rows; empty = slot free
    std::int32_t RowPad = 0;
    std::int32_t Counter = 0;
    std::int32_t SlotWidth = 0;
    std::int32_t SlotHeight = 0;
    std::uint8_t* AktPos = nullptr;
    std::uint8_t* EndPos = nullptr; // the last pixel byte
    std::uint8_t* PixelStart = nullptr;
    std::int32_t BytesPerPixel = 3;
};

// The calling thread's slot nDIB (1..StandardMaxAnzDIBs), nullptr for any other number.
DibSlot* dibSlot(int nDIB);

// Opens the thread's free slot for a width x height buffer: hBitmap 0 gives an empty buffer (contents
// undefined), otherwise the bitmap's pixels (1, 4, 8, 24 or 32 bits) as 24-bit rows. Returns the slot
// number, or 0 after a note (mode 1) when no slot is free, the size differs from the bitmap's or the
// bitmap cannot be read.
int StartPixelFast(int width, int height, Handle hBitmap);

// Closes the slot: flip != 0 first reverses the order of its rows; hBitmap != 0 writes the buffer
// back into that bitmap in its own depth (indexed bitmaps take the nearest palette entry, 32-bit ones
// keep their fourth byte). checkComplete = 1 refuses while AktPos is below EndPos. The slot is freed
// in every case except when it was not open. Returns 1, or 0 after a note.
int FinishPixelFast(int nDIB, Handle hBitmap, int flip, int checkComplete);

// Draws a one-pixel black line from (x1, y1) to (x2, y2), y counted from the top, into the bitmap;
// the end point itself is left out, as a pen draws a polyline. Points outside the bitmap are skipped.
void DrawLine(Handle hBitmap, int x1, int y1, int x2, int y2);

} // namespace folvex
