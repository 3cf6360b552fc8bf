#include "runtime/qt_text_renderer.h"

#include "runtime/draw_objects.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstring>

namespace folvex {

namespace {

// Qt refuses pixel sizes beyond this; larger requests would be far larger than any page anyway.
constexpr std::int32_t MaxPixelHeight = 0xFFFF;

QFont fontFor(const std::string& fontName, std::int32_t weight, std::int32_t pixelHeight)
{
    QFont font(fontFamilyFor(fontName));
    font.setPixelSize(std::min(pixelHeight, MaxPixelHeight));
    font.setWeight(static_cast<QFont::Weight>(std::clamp(weight, 1, 1000)));
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

} // namespace

TextExtent QtTextRenderer::measure(
    const std::string& text, const std::string& fontName, std::int32_t weight, std::int32_t pixelHeight)
{
    if (text.empty() || pixelHeight <= 0) {
        return {};
    }
    const QFontMetrics metrics(fontFor(fontName, weight, pixelHeight));
    return {metrics.horizontalAdvance(QString::fromStdString(text)), metrics.ascent(), metrics.descent()};
}

CoverageMask QtTextRenderer::render(
    const std::string& text, const std::string& fontName, std::int32_t weight, std::int32_t pixelHeight)
{
    const TextExtent extent = measure(text, fontName, weight, pixelHeight);
    CoverageMask mask;
    if (extent.advance <= 0 || extent.ascent + extent.descent <= 0) {
        return mask;
    }
    mask.width = extent.advance;
    mask.height = extent.ascent + extent.descent;

    // White text on black: the grey level of each pixel is its coverage.
    QImage image(mask.width, mask.height, QImage::Format_Grayscale8);
    image.fill(0);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::TextAntialiasing, true);
        painter.setFont(fontFor(fontName, weight, pixelHeight));
        painter.setPen(QColor(255, 255, 255));
        painter.drawText(0, extent.ascent, QString::fromStdString(text));
    }
    mask.coverage.resize(static_cast<std::size_t>(mask.width) * static_cast<std::size_t>(mask.height));
    for (std::int32_t y = 0; y < mask.height; ++y) {
        std::memcpy(
            mask.coverage.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(mask.width),
            image.constScanLine(y),
            static_cast<std::size_t>(mask.width));
    }
    return mask;
}

} // namespace folvex
