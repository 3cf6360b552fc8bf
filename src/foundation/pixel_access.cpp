#include "foundation/pixel_access.h"

#include "foundation/note.h"
#include "foundation/pixel_access_internal.h"
#include "runtime/checked_cast.h"
#include "runtime/dib.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace folvex {

namespace pixel_detail {

bool isSupportedDepth(std::uint16_t bitCount)
{
    return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24 || bitCount == 32;
}

Bgr24Reader::Bgr24Reader(const DibBitmap& bitmap)
    : m_bitmap(bitmap)
{
    const std::size_t entries = std::min<std::size_t>(bitmap.palette.size(), m_palette.size());
    for (std::size_t i = 0; i < entries; ++i) {
        const std::uint32_t colour = bitmap.palette[i];
        m_palette[i] = {
            static_cast<std::uint8_t>(colour),
            static_cast<std::uint8_t>(colour >> 8),
            static_cast<std::uint8_t>(colour >> 16)};
    }
}

void Bgr24Reader::readRow(std::int32_t row, std::uint8_t* out, std::int32_t count) const
{
    const std::uint8_t* in = m_bitmap.bits.data() + m_bitmap.stride() * static_cast<std::size_t>(row);
    switch (m_bitmap.bitCount) {
        case 24:
            std::memcpy(out, in, static_cast<std::size_t>(count) * 3);
            return;
        case 32:
            for (std::int32_t x = 0; x < count; ++x, in += 4, out += 3) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
            }
            return;
        default:
            break;
    }
    const unsigned bits = m_bitmap.bitCount;
    const unsigned perByte = 8 / bits;
    const unsigned mask = (1u << bits) - 1;
    for (std::int32_t x = 0; x < count; ++x, out += 3) {
        const unsigned ux = static_cast<unsigned>(x);
        const unsigned shift = 8 - bits * (ux % perByte + 1);
        const auto& entry = m_palette[(in[ux / perByte] >> shift) & mask];
        out[0] = entry[0];
        out[1] = entry[1];
        out[2] = entry[2];
    }
}

Bgr24Writer::Bgr24Writer(DibBitmap& bitmap)
    : m_bitmap(bitmap)
{}

std::uint8_t Bgr24Writer::nearestIndex(std::uint8_t blue, std::uint8_t green, std::uint8_t red)
{
    const std::uint32_t colour = std::uint32_t{red} << 16 | std::uint32_t{green} << 8 | blue;
    CacheEntry& cached = m_cache[(colour ^ colour >> 12) & (m_cache.size() - 1)];
    if (cached.colour == colour) {
        return cached.index;
    }
    const std::size_t entries =
        std::min<std::size_t>(m_bitmap.palette.size(), std::size_t{1} << m_bitmap.bitCount);
    std::uint32_t bestDistance = 0xFFFFFFFF;
    std::uint8_t best = 0;
    for (std::size_t i = 0; i < entries; ++i) {
        const std::uint32_t entry = m_bitmap.palette[i];
        const int dr = static_cast<int>(entry >> 16 & 0xFF) - red;
        const int dg = static_cast<int>(entry >> 8 & 0xFF) - green;
        const int db = static_cast<int>(entry & 0xFF) - blue;
        const auto distance = static_cast<std::uint32_t>(dr * dr + dg * dg + db * db);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<std::uint8_t>(i);
        }
    }
    cached = {colour, best};
    return best;
}

void Bgr24Writer::writeRow(std::int32_t row, const std::uint8_t* in, std::int32_t count)
{
    std::uint8_t* out = m_bitmap.bits.data() + m_bitmap.stride() * static_cast<std::size_t>(row);
    switch (m_bitmap.bitCount) {
        case 24:
            std::memcpy(out, in, static_cast<std::size_t>(count) * 3);
            return;
        case 32:
            for (std::int32_t x = 0; x < count; ++x, in += 3, out += 4) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
            }
            return;
        default:
            break;
    }
    for (std::int32_t x = 0; x < count; ++x, in += 3) {
        setPixel(row, x, in);
    }
}

void Bgr24Writer::setPixel(std::int32_t row, std::int32_t x, const std::uint8_t* bgr)
{
    std::uint8_t* out = m_bitmap.bits.data() + m_bitmap.stride() * static_cast<std::size_t>(row);
    const unsigned ux = static_cast<unsigned>(x);
    if (m_bitmap.bitCount >= 24) {
        std::uint8_t* pixel = out + ux * (m_bitmap.bitCount / 8u);
        pixel[0] = bgr[0];
        pixel[1] = bgr[1];
        pixel[2] = bgr[2];
        return;
    }
    const unsigned bits = m_bitmap.bitCount;
    const unsigned perByte = 8 / bits;
    const unsigned mask = (1u << bits) - 1;
    const unsigned shift = 8 - bits * (ux % perByte + 1);
    std::uint8_t& target = out[ux / perByte];
    const unsigned index = nearestIndex(bgr[0], bgr[1], bgr[2]);
    target = static_cast<std::uint8_t>((target & ~(mask << shift)) | (index & mask) << shift);
}

bool isReadableBitmap(const DibBitmap& bitmap)
{
    if (!isSupportedDepth(bitmap.bitCount) || bitmap.width <= 0 || bitmap.height <= 0) {
        return false;
    }
    const auto needed = checkedMultiply(bitmap.stride(), static_cast<std::size_t>(bitmap.height));
    return needed && bitmap.bits.size() >= *needed && (bitmap.bitCount > 8 || !bitmap.palette.empty());
}

} // namespace pixel_detail

namespace {

using pixel_detail::Bgr24Reader;
using pixel_detail::Bgr24Writer;
using pixel_detail::isReadableBitmap;

// Largest side of a buffer; keeps every size computation far from overflow.
constexpr std::int32_t MaxSidePx = 1'000'000;

const std::string NoteGetDibitsHeaderFailed = "StartPixelFast: GetDIBits mit Parameter 0 fehlgeschlagen";
const std::string NoteGetDibitsFailed = "StartPixelFast: GetDIBits fehlgeschlagen";
const std::string NoteInvalidParameter =
    "StartPixelFast: einer der Parameter beim Aufruf von GetDIBits ist ungültig";

thread_local std::array<DibSlot, StandardMaxAnzDIBs + 1> DibSlots;

std::size_t slotStride(const DibSlot& slot)
{
    return static_cast<std::size_t>(slot.SlotWidth) * 3 + static_cast<std::size_t>(slot.RowPad);
}

void releaseSlot(DibSlot& slot)
{
    slot = DibSlot{};
}

} // namespace

DibSlot* dibSlot(int nDIB)
{
    if (nDIB < 1 || nDIB > StandardMaxAnzDIBs) {
        return nullptr;
    }
    return &DibSlots[static_cast<std::size_t>(nDIB)];
}

int StartPixelFast(int width, int height, Handle hBitmap)
{
    int nDIB = 0;
    for (int n = 1; n <= StandardMaxAnzDIBs; ++n) {
        if (!DibSlots[static_cast<std::size_t>(n)].Block) {
            nDIB = n;
            break;
        }
    }
    if (nDIB == 0) {
        ShowNote(
            "StartPixelFast: maximale Anzahl an DIBs (" + std::to_string(StandardMaxAnzDIBs) +
                ") erreicht\r\rggf. im Hauptprogramm die Konstante StandardMaxAnzDIBs anpassen",
            1);
        return 0;
    }
    const DibBitmap* bitmap = nullptr;
    if (hBitmap != NoHandle) {
        bitmap = findImage(hBitmap);
        if (bitmap == nullptr) {
            ShowNote(NoteGetDibitsHeaderFailed, 1);
            return 0;
        }
        if (!isReadableBitmap(*bitmap)) {
            ShowNote(NoteGetDibitsFailed, 1);
            return 0;
        }
        if (bitmap->width != width || bitmap->height != height) {
            ShowNote(NoteInvalidParameter, 1);
            return 0;
        }
    }
    if (width <= 0 || height <= 0 || width > MaxSidePx || height > MaxSidePx) {
        ShowNote(NoteInvalidParameter, 1);
        return 0;
    }
    const std::int32_t rowPad = (4 - width * 3 % 4) % 4;
    const std::size_t stride = static_cast<std::size_t>(width) * 3 + static_cast<std::size_t>(rowPad);
    const auto pixelBytes = checkedMultiply(stride, static_cast<std::size_t>(height));
    std::unique_ptr<std::uint8_t[]> block;
    if (pixelBytes) {
        try {
            block = std::make_unique_for_overwrite<std::uint8_t[]>(sizeof(BitmapInfoHeader) + *pixelBytes);
        } catch (const std::bad_alloc&) {
            block.reset();
        }
    }
    if (!block) {
        ShowNote(NoteInvalidParameter, 1);
        return 0;
    }

    DibSlot& slot = DibSlots[static_cast<std::size_t>(nDIB)];
    slot = DibSlot{};
    slot.SlotMode = bitmap != nullptr ? 2 : 1;
    slot.BytesPerPixel = 3;
    slot.SlotWidth = width;
    slot.SlotHeight = height;
    slot.HeaderSize = sizeof(BitmapInfoHeader);
    slot.BitmapHeader.biWidth = width;
    slot.BitmapHeader.biHeight = height;
    slot.RowPad = rowPad;
    slot.Block = std::move(block);
    slot.PixelStart = slot.Block.get() + slot.HeaderSize;
    if (bitmap != nullptr) {
        const Bgr24Reader reader(*bitmap);
        for (std::int32_t row = 0; row < height; ++row) {
            std::uint8_t* out = slot.PixelStart + stride * static_cast<std::size_t>(row);
            reader.readRow(row, out, width);
            std::memset(out + static_cast<std::size_t>(width) * 3, 0, static_cast<std::size_t>(rowPad));
        }
    }
    std::memcpy(slot.Block.get(), &slot.BitmapHeader, sizeof(BitmapInfoHeader));
    slot.Counter = 0;
    slot.AktPos = slot.PixelStart;
    slot.EndPos = slot.PixelStart + (*pixelBytes - 1);
    return nDIB;
}

int FinishPixelFast(int nDIB, Handle hBitmap, int flip, int checkComplete)
{
    DibSlot* slot = dibSlot(nDIB);
    if (slot == nullptr || !slot->Block) {
        ShowNote(
            "FinishPixelFast: es wurde für die angegebene nDIB (" + std::to_string(nDIB) +
                ") noch kein StartPixelFast aufgerufen",
            1);
        return 0;
    }
    if (checkComplete == 1 && slot->AktPos < slot->EndPos) {
        const std::string text = "FinishPixelFast: es wurden noch nicht alle benötigten Pixel mit "
                                 "SetNextPixelFast... gesetzt (nDIB=" +
                                 std::to_string(nDIB) + ")\rAktPos=" +
                                 std::to_string(reinterpret_cast<std::uintptr_t>(slot->AktPos)) +
                                 "\rEndPos=" + std::to_string(reinterpret_cast<std::uintptr_t>(slot->EndPos));
        releaseSlot(*slot);
        ShowNote(text, 1);
        return 0;
    }
    const std::size_t stride = slotStride(*slot);
    const std::int32_t height = slot->SlotHeight;
    if (flip != 0) {
        std::vector<std::uint8_t> spare(stride);
        for (std::int32_t low = 0, high = height - 1; low < high; ++low, --high) {
            std::uint8_t* lowRow = slot->PixelStart + stride * static_cast<std::size_t>(low);
            std::uint8_t* highRow = slot->PixelStart + stride * static_cast<std::size_t>(high);
            std::memcpy(spare.data(), lowRow, stride);
            std::memcpy(lowRow, highRow, stride);
            std::memcpy(highRow, spare.data(), stride);
        }
    }
    bool written = true;
    if (hBitmap != NoHandle) {
        DibBitmap* bitmap = findImage(hBitmap);
        written = bitmap != nullptr && isReadableBitmap(*bitmap) && bitmap->width == slot->SlotWidth &&
                  bitmap->height == height;
        if (written) {
            Bgr24Writer writer(*bitmap);
            for (std::int32_t row = 0; row < height; ++row) {
                writer.writeRow(
                    row, slot->PixelStart + stride * static_cast<std::size_t>(row), slot->SlotWidth);
            }
        }
    }
    releaseSlot(*slot);
    if (!written) {
        ShowNote("FinishPixelFast: SetDIBits fehlgeschlagen (nDIB=" + std::to_string(nDIB) + ")", 0);
        return 0;
    }
    return 1;
}

void DrawLine(Handle hBitmap, int x1, int y1, int x2, int y2)
{
    DibBitmap* bitmap = findImage(hBitmap);
    if (bitmap == nullptr || !isReadableBitmap(*bitmap)) {
        return;
    }
    Bgr24Writer writer(*bitmap);
    constexpr std::uint8_t black[3] = {0, 0, 0};
    // A line whose bounding box misses the bitmap draws nothing; 64-bit steps keep far-off end
    // points from overflowing.
    if (std::max(x1, x2) < 0 || std::max(y1, y2) < 0 || std::min(x1, x2) >= bitmap->width ||
        std::min(y1, y2) >= bitmap->height) {
        return;
    }
    const std::int64_t dx = std::abs(std::int64_t{x2} - x1);
    const std::int64_t dy = -std::abs(std::int64_t{y2} - y1);
    const int stepX = x1 < x2 ? 1 : -1;
    const int stepY = y1 < y2 ? 1 : -1;
    std::int64_t error = dx + dy;
    int x = x1;
    int y = y1;
    while (x != x2 || y != y2) {
        if (x >= 0 && y >= 0 && x < bitmap->width && y < bitmap->height) {
            writer.setPixel(bitmap->height - 1 - y, x, black);
        }
        const std::int64_t twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x += stepX;
        }
        if (twice <= dx) {
            error += dx;
            y += stepY;
        }
    }
}

} // namespace folvex
