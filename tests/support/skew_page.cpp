#include "support/skew_page.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace folvex::testing {

namespace {

constexpr double DotsPerMetreAt300Dpi = 300 * 39.3701;

void fillRow(BYTE* row, int fromPx, int toPx, BYTE level)
{
    if (toPx > fromPx) {
        std::memset(row + 3 * fromPx, level, static_cast<std::size_t>(3 * (toPx - fromPx)));
    }
}

// Darkens the left edge of page as layout asks: its strip, then its shadow.
void drawLeftEdge(const FreeImageFunctionTable& functions, FIBITMAP* page, const CleanPageLayout& layout)
{
    const int width = static_cast<int>(functions.GetWidth(page));
    const int height = static_cast<int>(functions.GetHeight(page));
    const int shadow = std::min(layout.leftShadowPx, width);
    for (int y = 0; y < height; ++y) {
        BYTE* row = functions.GetScanLine(page, y);
        fillRow(row, 0, std::min(layout.leftStripPx, width), 0);
        for (int x = 0; x < shadow; ++x) {
            const auto level = static_cast<BYTE>(30 + (225 * x) / shadow);
            for (int channel = 0; channel < 3; ++channel) {
                row[3 * x + channel] = std::min(row[3 * x + channel], level);
            }
        }
    }
}

} // namespace

FreeImageBitmap makeFlatPage(const FreeImageFunctionTable& functions, int widthPx, int heightPx, BYTE level)
{
    FreeImageBitmap page = ownFreeImage(functions, functions.Allocate(widthPx, heightPx, 24, 0, 0, 0));
    for (int y = 0; y < heightPx; ++y) {
        fillRow(functions.GetScanLine(page.get(), y), 0, widthPx, level);
    }
    return page;
}

FreeImageBitmap
makeCleanPage(const FreeImageFunctionTable& functions, double angleDeg, const CleanPageLayout& layout)
{
    const int width = layout.widthPx;
    const int height = layout.heightPx;
    const double scale = width / 2480.0;
    const int barPx = std::max(1, static_cast<int>(std::lround(25 * scale)));
    const int linePx = std::max(2, static_cast<int>(std::lround(50 * scale)));
    const int gapPx = std::max(1, static_cast<int>(std::lround(20 * scale)));
    const int left = width / 10;
    const int right = width - width / 10;
    std::mt19937 random(layout.seed);
    std::uniform_int_distribution<int> wordPx(
        std::max(2, static_cast<int>(30 * scale)), std::max(3, static_cast<int>(250 * scale)));

    FreeImageBitmap upright = makeFlatPage(functions, width, height, 255);
    for (int top = 0; top + barPx <= height; top += linePx) {
        int x = left;
        while (x < right) {
            const int end = std::min(right, x + wordPx(random));
            // A rest too short for a word of its own joins the last word, which ends at the margin.
            const int wordEnd = right - end < 2 * gapPx ? right : end;
            for (int y = top; y < top + barPx; ++y) {
                fillRow(functions.GetScanLine(upright.get(), height - 1 - y), x, wordEnd, 0);
            }
            x = wordEnd + gapPx;
        }
    }

    if (layout.edgeTurnsWithPage) {
        drawLeftEdge(functions, upright.get(), layout);
    }
    RGBQUAD white{255, 255, 255, 0};
    const FreeImageBitmap turned = ownFreeImage(functions, functions.Rotate(upright.get(), angleDeg, &white));
    const int cutLeft = (static_cast<int>(functions.GetWidth(turned.get())) - width) / 2;
    const int cutTop = (static_cast<int>(functions.GetHeight(turned.get())) - height) / 2;
    FreeImageBitmap page = ownFreeImage(
        functions, functions.Copy(turned.get(), cutLeft, cutTop, cutLeft + width, cutTop + height));
    if (!layout.edgeTurnsWithPage) {
        drawLeftEdge(functions, page.get(), layout);
    }
    const auto dotsPerMetre = static_cast<unsigned>(std::lround(DotsPerMetreAt300Dpi * scale));
    functions.SetDotsPerMeterX(page.get(), dotsPerMetre);
    functions.SetDotsPerMeterY(page.get(), dotsPerMetre);
    return page;
}

} // namespace folvex::testing
