#pragma once
// Fonts, brushes and pens by handle. The registry owns the QFont/QBrush/QPen values until
// deleteDrawObject(); pointers returned by the find functions stay valid until then. GUI thread.

#include "runtime/dib.h"
#include "runtime/handles.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPen>

#include <cstdint>
#include <string>

namespace folvex {

enum class FontFlag : std::uint32_t
{
    None = 0,
    Bold = 1,
    Italic = 2,
    Underline = 4,
    StrikeOut = 8,
};

// The family the program's font names are drawn with: "Segoe UI" and "Arial" → "Liberation Sans"
// (any case); other names are kept. Liberation Sans has Arial's widths, and of the installed families
// it comes closest to Segoe UI's (DejaVu Sans runs about a tenth wider, so fixed-width controls cut
// their texts).
QString fontFamilyFor(const std::string& name);

// A font of the given name and size in points; flags are FontFlag bits or-ed together. Returns a
// handle (never 0; a missing family falls back to what Qt matches).
Handle createFont(const std::string& name, double points, std::uint32_t flags = 0);

// Takes a font made elsewhere (pixel-sized, stretched) into the registry. Returns its handle (never 0).
Handle registerFont(const QFont& font);

// The colour of a 0x00BBGGRR value.
QColor colourFromRgbValue(std::uint32_t bgr);

// The picture of a DIB (1, 4, 8 bits through its palette, 24 and 32 bits as blue, green, red), top
// row first; a null image for other depths, an empty bitmap or too few pixel bytes.
QImage imageOfDib(const DibBitmap& dib);

// A solid brush of a 0x00BBGGRR colour.
Handle createSolidBrush(std::uint32_t bgr);

// A solid pen widthPx wide (0 = one pixel) of a 0x00BBGGRR colour.
Handle createPen(int widthPx, std::uint32_t bgr);

// A pen that draws nothing (Qt::NoPen).
Handle createNullPen();

// A brush that repeats pattern from the painter's origin (a widget's top-left corner); the brush
// keeps its own copy of the pixels.
Handle createPatternBrush(const QImage& pattern);

// nullptr for 0, unknown, deleted or other-kind handles.
const QFont* findFont(Handle handle);
const QBrush* findBrush(Handle handle);
const QPen* findPen(Handle handle);

// Frees a font, brush or pen; false for anything else. Its handle reads as none afterwards.
bool deleteDrawObject(Handle handle);

} // namespace folvex
