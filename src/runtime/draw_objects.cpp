#include "runtime/draw_objects.h"

#include "runtime/object_registry_internal.h"

namespace folvex {

QString fontFamilyFor(const std::string& name)
{
    const QString family = QString::fromUtf8(name);
    if (family.compare(QStringLiteral("Segoe UI"), Qt::CaseInsensitive) == 0) {
        return QStringLiteral("DejaVu Sans");
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
