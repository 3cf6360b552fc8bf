// Drawing on pages: colours (RGB, gray, CMYK), line width and dashes, lines, rectangles, rounded
// rectangles, ellipses, triangles, pie sectors, free paths, a measuring grid, the current position and
// coordinate transformations. Positions in user units, y downwards from the top edge; angles in degrees.
#include "pdf/pdf_writer.h"
#include "pdf/pdf_writer_internal.h"

#include <cmath>
#include <numbers>

namespace folvex {

namespace {

std::string num(float value)
{
    return PdfNumber(value, 2);
}

// x and y of a point, in points with y upwards.
std::string point(const PdfDocument& d, float x, float y)
{
    return num(x * d.k) + " " + num((d.pageHeight - y) * d.k);
}

bool isGray(float g, float b)
{
    return g == -1.0f && b == -1.0f;
}

std::string components(float r, float g, float b)
{
    if (isGray(g, b)) {
        return PdfNumber(r / 255, 3);
    }
    return PdfNumber(r / 255, 3) + " " + PdfNumber(g / 255, 3) + " " + PdfNumber(b / 255, 3);
}

// Stores a colour operator for kind 1 text, 2 draw, 3 fill and writes draw and fill colours on a page.
void setColorOperator(PdfDocument& d, std::int32_t kind, const std::string& op)
{
    if (kind == 2) {
        d.drawColor = op;
    } else if (kind == 3) {
        d.fillColor = op;
    } else if (kind == 1) {
        d.textColor = op;
    } else {
        return;
    }
    if (kind != 2 && d.fillColor != d.textColor) {
        d.colorFlag = 1;
    }
    if (kind != 1 && d.pageNumber >= 1) {
        PdfOut(op);
    }
}

void setRgb(PdfDocument& d, std::int32_t kind, float r, float g, float b)
{
    const std::string values = components(r, g, b);
    const bool gray = isGray(g, b);
    if (kind == 2) {
        setColorOperator(d, kind, values + (gray ? " G" : " RG"));
    } else if (kind == 1 || kind == 3) {
        setColorOperator(d, kind, values + (gray ? " g" : " rg"));
    }
}

float orCurrent(float value, float current)
{
    return value == -1.0f ? current : value;
}

} // namespace

std::int32_t PdfSetDrawColor(float r, float g, float b)
{
    if (PdfDocument* d = currentPdfDocument()) {
        setRgb(*d, 2, r, g, b);
    }
    return 0;
}

std::int32_t PdfSetTextColor(float r, float g, float b)
{
    if (PdfDocument* d = currentPdfDocument()) {
        setRgb(*d, 1, r, g, b);
    }
    return 0;
}

std::int32_t PdfSetColor(std::int32_t doc, std::int32_t kind, float r, float g, float b)
{
    if (PdfDocument* d = findPdfDocument(doc)) {
        setRgb(*d, kind, r, g, b);
    }
    return 0;
}

std::int32_t PdfSetColorCmyk(std::int32_t doc, std::int32_t kind, float c, float m, float y, float k)
{
    PdfDocument* d = findPdfDocument(doc);
    if (d == nullptr || kind < 1 || kind > 3) {
        return 0;
    }
    const std::string values =
        PdfNumber(c, 2) + " " + PdfNumber(m, 2) + " " + PdfNumber(y, 2) + " " + PdfNumber(k, 2);
    setColorOperator(*d, kind, values + (kind == 2 ? "  K" : "  k"));
    return 0;
}

std::int32_t PdfSetLineWidth(float w)
{
    if (PdfDocument* d = currentPdfDocument()) {
        d->lineWidth = w;
        if (d->pageNumber >= 1) {
            PdfOut(num(w * d->k) + " w");
        }
    }
    return 0;
}

std::int32_t PdfSetLineWidthPublic(std::int32_t doc, float w)
{
    if (findPdfDocument(doc) == nullptr) {
        return 0;
    }
    return PdfSetLineWidth(w);
}

std::int32_t PdfSetDash(std::int32_t doc, std::int32_t black, std::int32_t white)
{
    const PdfDocument* d = findPdfDocument(doc);
    if (d == nullptr) {
        return 0;
    }
    if (black != 0 && white != 0) {
        PdfOut(
            "[" + PdfNumber(static_cast<float>(black) * d->k, 3) + " " +
            PdfNumber(static_cast<float>(white) * d->k, 3) + "] 0 d");
    } else {
        PdfOut("[] 0 d");
    }
    return 0;
}

std::int32_t PdfLine(float x1, float y1, float x2, float y2)
{
    if (const PdfDocument* d = currentPdfDocument()) {
        PdfOut(point(*d, x1, y1) + " m " + point(*d, x2, y2) + " l S");
    }
    return 0;
}

std::int32_t PdfRect(float x, float y, float w, float h, const std::string& style)
{
    if (const PdfDocument* d = currentPdfDocument()) {
        PdfOut(point(*d, x, y) + " " + num(w * d->k) + " " + num(-h * d->k) + " re");
        PdfOut(style == "F" ? "f" : style == "DF" ? "B" : "S");
    }
    return 0;
}

std::int32_t PdfPaintOp(const std::string& style)
{
    if (style == "D") {
        PdfOut("s");
    } else if (style == "DF") {
        PdfOut("b");
    } else if (style == "F") {
        PdfOut("f");
    } else if (style.empty()) {
        PdfOut("S");
    } else {
        PdfOut(style);
    }
    return 0;
}

std::int32_t PdfMoveToOp(float x, float y)
{
    if (const PdfDocument* d = currentPdfDocument()) {
        PdfOut(point(*d, x, y) + " m");
    }
    return 0;
}

std::int32_t PdfLineToOp(float x, float y)
{
    if (const PdfDocument* d = currentPdfDocument()) {
        PdfOut(point(*d, x, y) + " l");
    }
    return 0;
}

std::int32_t PdfCurveOp(float x1, float y1, float x2, float y2, float x3, float y3)
{
    if (const PdfDocument* d = currentPdfDocument()) {
        PdfOut(point(*d, x1, y1) + " " + point(*d, x2, y2) + " " + point(*d, x3, y3) + " c");
    }
    return 0;
}

std::int32_t PdfEllipse(float x, float y, float rx, float ry, const std::string& style)
{
    const float kappa = 4.0f / 3.0f * (std::sqrt(2.0f) - 1.0f);
    const float lx = kappa * rx;
    const float ly = kappa * ry;
    PdfMoveToOp(x + rx, y);
    PdfCurveOp(x + rx, y - ly, x + lx, y - ry, x, y - ry);
    PdfCurveOp(x - lx, y - ry, x - rx, y - ly, x - rx, y);
    PdfCurveOp(x - rx, y + ly, x - lx, y + ry, x, y + ry);
    PdfCurveOp(x + lx, y + ry, x + rx, y + ly, x + rx, y);
    return PdfPaintOp(style);
}

std::int32_t PdfLinePublic(std::int32_t doc, float x1, float y1, float x2, float y2)
{
    return findPdfDocument(doc) == nullptr ? 0 : PdfLine(x1, y1, x2, y2);
}

std::int32_t PdfRectPublic(std::int32_t doc, float x, float y, float w, float h, const std::string& style)
{
    return findPdfDocument(doc) == nullptr ? 0 : PdfRect(x, y, w, h, style);
}

std::int32_t
PdfRoundedRect(std::int32_t doc, float x, float y, float w, float h, float r, const std::string& style)
{
    if (findPdfDocument(doc) == nullptr) {
        return 0;
    }
    PdfMoveToOp(x, y + r);
    PdfCurveOp(x, y + r / 2, x + r / 2, y, x + r, y);
    PdfLineToOp(x + w - r, y);
    PdfCurveOp(x + w - r / 2, y, x + w, y + r / 2, x + w, y + r);
    PdfLineToOp(x + w, y + h - r);
    PdfCurveOp(x + w, y + h - r / 2, x + w - r / 2, y + h, x + w - r, y + h);
    PdfLineToOp(x + r, y + h);
    PdfCurveOp(x + r / 2, y + h, x, y + h - r / 2, x, y + h - r);
    return PdfPaintOp(style);
}

std::int32_t
PdfEllipsePublic(std::int32_t doc, float x, float y, float rx, float ry, const std::string& style)
{
    return findPdfDocument(doc) == nullptr ? 0 : PdfEllipse(x, y, rx, ry, style);
}

std::int32_t PdfCircle(std::int32_t doc, float x, float y, float r, const std::string& style)
{
    return findPdfDocument(doc) == nullptr ? 0 : PdfEllipse(x, y, r, r, style);
}

std::int32_t PdfTriangle(
    std::int32_t doc, float x1, float y1, float x2, float y2, float x3, float y3, const std::string& style)
{
    if (findPdfDocument(doc) == nullptr) {
        return 0;
    }
    PdfMoveToOp(x1, y1);
    PdfLineToOp(x2, y2);
    PdfLineToOp(x3, y3);
    return PdfPaintOp(style);
}

std::int32_t PdfSector(
    std::int32_t doc,
    float xc,
    float yc,
    float r,
    float a,
    float b,
    const std::string& style,
    std::int32_t cw,
    float o)
{
    if (findPdfDocument(doc) == nullptr) {
        return 0;
    }
    double start = cw == 1 ? o - b : a + o;
    double end = cw == 1 ? o - a : b + o;
    start = std::fmod(start, 360.0) + 360.0;
    end = std::fmod(end, 360.0) + 360.0;
    if (start > end) {
        end += 360.0;
    }
    start = start * 2 * std::numbers::pi / 360.0;
    end = end * 2 * std::numbers::pi / 360.0;
    double d = end - start;
    if (d == 0) {
        d = 2 * std::numbers::pi;
    }
    const auto f = [](double value) { return static_cast<float>(value); };
    PdfMoveToOp(xc, yc);
    PdfLineToOp(f(xc + r * std::cos(start)), f(yc - r * std::sin(start)));
    const auto arc = [&](double s, double e, double phi) {
        const double half = std::sin(phi / 2);
        const double handle = half == 0 ? 0 : 4.0 / 3.0 * (1 - std::cos(phi / 2)) / half * r;
        PdfCurveOp(
            f(xc + r * std::cos(s) + handle * std::cos(s + std::numbers::pi / 2)),
            f(yc - r * std::sin(s) - handle * std::sin(s + std::numbers::pi / 2)),
            f(xc + r * std::cos(e) + handle * std::cos(e - std::numbers::pi / 2)),
            f(yc - r * std::sin(e) - handle * std::sin(e - std::numbers::pi / 2)),
            f(xc + r * std::cos(e)),
            f(yc - r * std::sin(e)));
    };
    if (d < std::numbers::pi / 2) {
        arc(start, start + d, d);
    } else {
        for (int i = 0; i < 4; ++i) {
            arc(start + i * d / 4, start + (i + 1) * d / 4, d / 4);
        }
    }
    return PdfPaintOp(style);
}

std::int32_t PdfHorizontalLine(std::int32_t doc, float x, float y, float w)
{
    const PdfDocument* d = findPdfDocument(doc);
    if (d == nullptr) {
        return 0;
    }
    x = orCurrent(x, d->x);
    y = orCurrent(y, d->y);
    if (w == -1.0f) {
        w = d->pageWidth - d->rightMargin - d->leftMargin;
    }
    return PdfLine(x, y, x + w, y);
}

std::int32_t PdfGrid(std::int32_t doc, std::int32_t spacing)
{
    PdfDocument* document = findPdfDocument(doc);
    if (document == nullptr) {
        return 0;
    }
    PdfDocument& d = *document;
    d.autoPageBreak = 0;
    d.breakMargin = 0;
    d.breakTrigger = d.pageHeight;
    const float x = std::round(d.x);
    const float y = std::round(d.y);
    const int step = spacing == -1 ? 5 : (spacing >= 1 && spacing <= 99 ? spacing : 100);
    PdfSetDrawColor(204, 255, 255);
    PdfSetLineWidth(0.25f);
    const int width = static_cast<int>(std::lround(d.pageWidth));
    const int height = static_cast<int>(std::lround(d.pageHeight));
    for (int i = 0; i <= width; i += step) {
        PdfLine(static_cast<float>(i), 0, static_cast<float>(i), static_cast<float>(height));
    }
    for (int i = 0; i <= height; i += step) {
        PdfLine(0, static_cast<float>(i), static_cast<float>(width), static_cast<float>(i));
    }
    PdfSetFontCore("Arial", "I", 9);
    PdfSetTextColor(204, 204, 204);
    for (int i = 20; i <= height - 20; i += 20) {
        PdfSetXY(1, static_cast<float>(i - 3));
        PdfWrite(5, std::to_string(i), -1, {});
    }
    const int right = static_cast<int>(std::lround(d.pageWidth - d.rightMargin));
    for (int i = 20; i <= right - 20; i += 20) {
        PdfSetXY(static_cast<float>(i - 1), 1);
        PdfWrite(3, std::to_string(i), -1, {});
    }
    PdfSetXY(x, y);
    PdfSetTextColor(0, 0, 0);
    PdfSetDrawColor(0, 0, 0);
    return 0;
}

std::int32_t PdfMoveTo(std::int32_t doc, float x, float y)
{
    return findPdfDocument(doc) == nullptr ? 0 : PdfMoveToOp(x, y);
}

std::int32_t PdfLineTo(std::int32_t doc, float x, float y)
{
    return findPdfDocument(doc) == nullptr ? 0 : PdfLineToOp(x, y);
}

std::int32_t PdfCurve(std::int32_t doc, float x1, float y1, float x2, float y2, float x3, float y3)
{
    return findPdfDocument(doc) == nullptr ? 0 : PdfCurveOp(x1, y1, x2, y2, x3, y3);
}

std::int32_t PdfPaintPath(std::int32_t doc, const std::string& style)
{
    return findPdfDocument(doc) == nullptr ? 0 : PdfPaintOp(style);
}

std::int32_t PdfSetX(float x)
{
    if (PdfDocument* d = currentPdfDocument()) {
        d->x = x >= 0 ? x : d->pageWidth + x;
    }
    return 0;
}

std::int32_t PdfSetY(float y, std::int32_t reset)
{
    if (PdfDocument* d = currentPdfDocument()) {
        if (reset != 0) {
            d->x = d->leftMargin;
        }
        d->y = y >= 0 ? y : d->pageHeight + y;
    }
    return 0;
}

std::int32_t PdfSetXY(float x, float y)
{
    PdfSetY(y, 1);
    return PdfSetX(x);
}

std::int32_t PdfSetXPublic(std::int32_t doc, float x)
{
    return findPdfDocument(doc) == nullptr ? 0 : PdfSetX(x);
}

std::int32_t PdfSetYPublic(std::int32_t doc, float y, std::int32_t reset)
{
    return findPdfDocument(doc) == nullptr ? 0 : PdfSetY(y, reset);
}

std::int32_t PdfSetXYPublic(std::int32_t doc, float x, float y)
{
    return findPdfDocument(doc) == nullptr ? 0 : PdfSetXY(x, y);
}

std::int32_t PdfStartTransform(std::int32_t doc)
{
    if (findPdfDocument(doc) != nullptr) {
        PdfOut("q");
    }
    return 0;
}

std::int32_t PdfStopTransform(std::int32_t doc)
{
    if (findPdfDocument(doc) != nullptr) {
        PdfOut("Q");
    }
    return 0;
}

std::int32_t PdfTransform(float a, float b, float c, float d, float e, float f)
{
    PdfOut(
        PdfNumber(a, 3) + " " + PdfNumber(b, 3) + " " + PdfNumber(c, 3) + " " + PdfNumber(d, 3) + " " +
        PdfNumber(e, 3) + " " + PdfNumber(f, 3) + " cm");
    return 0;
}

std::int32_t PdfScale(float sx, float sy, float x, float y)
{
    const PdfDocument* d = currentPdfDocument();
    if (d == nullptr) {
        return 0;
    }
    x = orCurrent(x, d->x);
    y = orCurrent(y, d->y);
    if (sx == 0 || sy == 0) {
        return -1;
    }
    sx /= 100;
    sy /= 100;
    const float cx = x * d->k;
    const float cy = (d->pageHeight - y) * d->k;
    return PdfTransform(sx, 0, 0, sy, cx * (1 - sx), cy * (1 - sy));
}

std::int32_t PdfSkew(float ax, float ay, float x, float y)
{
    const PdfDocument* d = currentPdfDocument();
    if (d == nullptr) {
        return 0;
    }
    x = orCurrent(x, d->x);
    y = orCurrent(y, d->y);
    if (ax <= -90 || ax >= 90 || ay <= -90 || ay >= 90) {
        return 0;
    }
    const float cx = x * d->k;
    const float cy = (d->pageHeight - y) * d->k;
    const float tanX = std::tan(ax * std::numbers::pi_v<float> / 180);
    const float tanY = std::tan(ay * std::numbers::pi_v<float> / 180);
    return PdfTransform(1, tanY, tanX, 1, -tanX * cy, -tanY * cx);
}

std::int32_t PdfScalePublic(std::int32_t doc, float s, float x, float y)
{
    return findPdfDocument(doc) == nullptr ? 0 : PdfScale(s, s, x, y);
}

std::int32_t PdfScaleX(std::int32_t doc, float s, float x, float y)
{
    return findPdfDocument(doc) == nullptr ? 0 : PdfScale(s, 100, x, y);
}

std::int32_t PdfScaleY(std::int32_t doc, float s, float x, float y)
{
    return findPdfDocument(doc) == nullptr ? 0 : PdfScale(100, s, x, y);
}

std::int32_t PdfMirrorHorizontal(std::int32_t doc, float x)
{
    return findPdfDocument(doc) == nullptr ? 0 : PdfScale(-100, 100, x, -1);
}

std::int32_t PdfMirrorVertical(std::int32_t doc, float y)
{
    return findPdfDocument(doc) == nullptr ? 0 : PdfScale(100, -100, -1, y);
}

std::int32_t PdfSkewX(std::int32_t doc, std::int32_t angle, float x, float y)
{
    return findPdfDocument(doc) == nullptr ? 0 : PdfSkew(static_cast<float>(angle), 0, x, y);
}

std::int32_t PdfSkewY(std::int32_t doc, std::int32_t angle, float x, float y)
{
    return findPdfDocument(doc) == nullptr ? 0 : PdfSkew(0, static_cast<float>(angle), x, y);
}

std::int32_t PdfTranslate(std::int32_t doc, float tx, float ty)
{
    return findPdfDocument(doc) == nullptr ? 0 : PdfTransform(1, 0, 0, 1, tx, ty);
}

std::int32_t PdfTranslateX(std::int32_t doc, float tx)
{
    return findPdfDocument(doc) == nullptr ? 0 : PdfTransform(1, 0, 0, 1, tx, 0);
}

std::int32_t PdfTranslateY(std::int32_t doc, float ty)
{
    return findPdfDocument(doc) == nullptr ? 0 : PdfTransform(1, 0, 0, 1, 0, ty);
}

std::int32_t PdfRotate(std::int32_t doc, float angle, float x, float y)
{
    PdfDocument* d = findPdfDocument(doc);
    if (d == nullptr) {
        return 0;
    }
    x = orCurrent(x, d->x);
    y = orCurrent(y, d->y);
    if (d->transformOpen != 0) {
        PdfOut("Q\n");
    }
    d->transformOpen = angle;
    if (angle != 0) {
        const float a = angle * std::numbers::pi_v<float> / 180;
        const float c = std::cos(a);
        const float s = std::sin(a);
        const float cx = x * d->k;
        const float cy = (d->pageHeight - y) * d->k;
        PdfOut(
            "q\n" + PdfNumber(c, 5) + " " + PdfNumber(s, 5) + " " + PdfNumber(-s, 5) + " " + PdfNumber(c, 5) +
            " " + num(cx) + " " + num(cy) + " cm\n1 0 0 1 " + num(-cx) + " " + num(-cy) + " cm\n");
    }
    return 0;
}

} // namespace folvex
