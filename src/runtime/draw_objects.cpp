#include "runtime/draw_objects.h"

#include "runtime/object_registry_internal.h"

namespace folvex {

QString fontFamilyFor(const std::string& name)
{
    const QString family = QString::fromUtf8(name);
    if (family.compare(QStringLiteral("Segoe UI"), Qt::CaseInsensitive) == 0) {
        return QStringLiteral("Liberation Sans");
    }
    if (family.compare(QStringLiteral("Arial"), Qt::CaseInsensitive) == 0) {
        return QStringLiteral("Liberation Sans");
    }
    return family;
}

Handle createFont(const std::string& name, double points, std::uint32_t flags)
{
    QFont font(fontFamilyFor(name));
    if (points > 0) {
        font.setPointSizeF(points);
    }
    font.setBold((flags & static_cast<std::uint32_t>(FontFlag::Bold)) != 0);
    font.setItalic((flags & static_cast<std::uint32_t>(FontFlag::Italic)) != 0);
    font.setUnderline((flags & static_cast<std::uint32_t>(FontFlag::Underline)) != 0);
    font.setStrikeOut((flags & static_cast<std::uint32_t>(FontFlag::StrikeOut)) != 0);
    return registerDrawObject(ObjectKind::Font, font);
}

Handle registerFont(const QFont& font)
{
    return registerDrawObject(ObjectKind::Font, font);
}

QColor colourFromRgbValue(std::uint32_t bgr)
{
    return QColor(
        static_cast<int>(bgr & 0xFF),
        static_cast<int>((bgr >> 8) & 0xFF),
        static_cast<int>((bgr >> 16) & 0xFF));
}

QImage imageOfDib(const DibBitmap& dib)
{
    const int bits = dib.bitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) {
        return {};
    }
    if (dib.width <= 0 || dib.height <= 0 ||
        dib.bits.size() < dib.stride() * static_cast<std::size_t>(dib.height)) {
        return {};
    }
    QImage image(dib.width, dib.height, QImage::Format_RGB32);
    for (std::int32_t y = 0; y < dib.height; ++y) {
        const std::uint8_t* row = dib.rowTopDown(y);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (std::int32_t x = 0; x < dib.width; ++x) {
            if (bits >= 24) {
                const std::uint8_t* p =
                    row + static_cast<std::size_t>(x) * static_cast<std::size_t>(bits / 8);
                out[x] = qRgb(p[2], p[1], p[0]);
                continue;
            }
            const std::size_t bitPos = static_cast<std::size_t>(x) * static_cast<std::size_t>(bits);
            const unsigned shift = 8u - static_cast<unsigned>(bits) - static_cast<unsigned>(bitPos % 8);
            const std::size_t index = (row[bitPos / 8] >> shift) & ((1u << bits) - 1u);
            // Palette entries hold blue in their lowest byte.
            const std::uint32_t entry = index < dib.palette.size() ? dib.palette[index] : 0;
            out[x] = qRgb(
                static_cast<int>((entry >> 16) & 0xFF),
                static_cast<int>((entry >> 8) & 0xFF),
                static_cast<int>(entry & 0xFF));
        }
    }
    return image;
}

Handle createSolidBrush(std::uint32_t bgr)
{
    return registerDrawObject(ObjectKind::Brush, QBrush(colourFromRgbValue(bgr)));
}

Handle createPen(int widthPx, std::uint32_t bgr)
{
    QPen pen(colourFromRgbValue(bgr));
    pen.setWidth(widthPx > 0 ? widthPx : 0);
    return registerDrawObject(ObjectKind::Pen, pen);
}

Handle createNullPen()
{
    return registerDrawObject(ObjectKind::Pen, QPen(Qt::NoPen));
}

Handle createPatternBrush(const QImage& pattern)
{
    return registerDrawObject(ObjectKind::Brush, QBrush(pattern));
}

const QFont* findFont(Handle handle)
{
    const DrawObject* object = findDrawObject(handle);
    return object != nullptr ? std::get_if<QFont>(object) : nullptr;
}

const QBrush* findBrush(Handle handle)
{
    const DrawObject* object = findDrawObject(handle);
    return object != nullptr ? std::get_if<QBrush>(object) : nullptr;
}

const QPen* findPen(Handle handle)
{
    const DrawObject* object = findDrawObject(handle);
    return object != nullptr ? std::get_if<QPen>(object) : nullptr;
}

bool deleteDrawObject(Handle handle)
{
    return eraseDrawObject(handle);
}

} // namespace folvex
