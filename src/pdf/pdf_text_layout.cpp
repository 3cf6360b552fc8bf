// Text on pages: cells with frame, fill, alignment, underline and link; wrapped blocks; flowing text;
// text at a position; truncated cells; line breaks; the contents page. Lengths in user units, y
// downwards from the top edge; widths come from the current font (Helvetica when none is set).
#include "pdf/pdf_writer.h"
#include "pdf/pdf_writer_internal.h"
#include "runtime/text.h"

#include <algorithm>
#include <cmath>

namespace folvex {

namespace {

std::u32string codePoints(std::string_view text)
{
    std::u32string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        out.push_back(decodeUtf8(text, pos).value_or(ReplacementCharacter));
    }
    return out;
}

std::string utf8(std::u32string_view text)
{
    std::string out;
    for (const char32_t c : text) {
        appendUtf8(out, c);
    }
    return out;
}

// Width of one character in 1/1000 em.
float charWidth(char32_t c)
{
    std::string text;
    appendUtf8(text, c);
    return PdfStringWidth(text, 0);
}

std::string num(float value)
{
    return PdfNumber(value, 2);
}

std::size_t spaceCount(std::string_view text)
{
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), ' '));
}

void resetWordSpacing(PdfDocument& d)
{
    if (d.wordSpacing > 0) {
        d.wordSpacing = 0;
        PdfOut("0 Tw");
    }
}

// The edges (bits 1 left, 2 top, 4 right, 8 bottom) as a cell border code.
std::int32_t edgeBorder(std::int32_t edges)
{
    return edges == 0 ? 0 : -edges;
}

} // namespace

void outText(
    std::int32_t unicode,
    const std::string& text,
    const std::string& prefix,
    const std::string& suffix,
    const std::string& objref)
{
    if (unicode != 0) {
        PdfOut(text, prefix, suffix, 1, objref);
    } else {
        PdfOut(PdfEscapeText(text), prefix, suffix, 0, objref);
    }
}

std::string PdfUnderline(float x, float y, std::string_view text)
{
    PdfDocument* document = currentPdfDocument();
    if (document == nullptr) {
        return {};
    }
    const PdfDocument& d = *document;
    const float width = PdfStringWidth(text, 1) + d.wordSpacing * static_cast<float>(spaceCount(text));
    float thickness = -0.05f * static_cast<float>(d.fontSizePt);
    if (d.fontStyle.find('B') != std::string::npos) {
        thickness *= 2;
    }
    return num(x * d.k) + " " + num((d.pageHeight - (y + 0.1f * d.fontSize)) * d.k) + " " + num(width * d.k) +
           " " + num(thickness) + " re f";
}

std::int32_t PdfCell(
    float w,
    float h,
    const std::string& text,
    std::int32_t border,
    std::int32_t ln,
    const std::string& align,
    std::int32_t fill,
    std::int32_t link,
    const std::string& target)
{
    PdfDocument* document = currentPdfDocument();
    if (document == nullptr) {
        return 0;
    }
    PdfDocument& d = *document;
    ensureCurrentFont(d);
    const float k = d.k;
    if (h == -1.0f) {
        h = d.fontSize;
    }
    if (d.y + h > d.breakTrigger && d.pageBreakPermission != 0 && d.autoPageBreak == 1) {
        const float x = d.x;
        const float wordSpacing = d.wordSpacing;
        resetWordSpacing(d);
        PdfBeginPage(d.orientation, "", -1.0f, -1.0f);
        d.x = x;
        if (wordSpacing > 0) {
            d.wordSpacing = wordSpacing;
            PdfOut(PdfNumber(wordSpacing * k, 3) + " Tw");
        }
    }
    if (w == -1.0f) {
        w = PdfStringWidth(text, 1) + (border != 0 ? 2 * d.cellMargin : 0.0f);
    } else if (w == 0) {
        w = d.pageWidth - d.rightMargin - d.x;
    }
    const float x = d.x;
    const float y = d.y;
    const float top = d.pageHeight;
    std::string s;
    if (fill == 1 || border == 1) {
        s = num(x * k) + " " + num((top - y) * k) + " " + num(w * k) + " " + num(-h * k) + " re ";
        s += fill == 1 && border == 1 ? "B " : fill == 1 ? "f " : "S ";
    }
    if (border < 0) {
        const std::int32_t edges = -border;
        const auto edge = [&](float x1, float y1, float x2, float y2) {
            s += num(x1 * k) + " " + num((top - y1) * k) + " m " + num(x2 * k) + " " + num((top - y2) * k) +
                 " l S ";
        };
        if ((edges & 1) != 0) {
            edge(x, y, x, y + h);
        }
        if ((edges & 2) != 0) {
            edge(x, y, x + w, y);
        }
        if ((edges & 4) != 0) {
            edge(x + w, y, x + w, y + h);
        }
        if ((edges & 8) != 0) {
            edge(x, y + h, x + w, y + h);
        }
    }
    if (!text.empty()) {
        const float textWidth = PdfStringWidth(text, 1);
        const float usable = w - 2 * d.cellMargin;
        float dx = d.cellMargin;
        if (align == "R") {
            dx = w - d.cellMargin - textWidth;
        } else if (align == "C") {
            dx = (w - textWidth) / 2;
        } else if (align == "FJ") {
            float spacing = usable - textWidth;
            if (const std::size_t spaces = spaceCount(text); spaces > 0) {
                spacing /= static_cast<float>(spaces);
            }
            d.wordSpacing = spacing;
            PdfOut(PdfNumber(spacing * k, 3) + " Tw");
        }
        const float baseLine = y + 0.5f * h + 0.3f * d.fontSize;
        if (d.colorFlag == 1) {
            s += "q " + d.textColor + " ";
        }
        s += "BT " + num((x + dx) * k) + " " + num((top - baseLine) * k) + " Td (";
        std::string t = ") Tj ET";
        if (d.underlineFlag == 1) {
            t += " " + PdfUnderline(x + dx, baseLine, text);
        }
        if (d.colorFlag == 1) {
            t += " Q";
        }
        const float linkX = x + dx;
        const float linkY = y + 0.5f * h - 0.5f * d.fontSize;
        const float linkW = align == "FJ" ? usable : textWidth;
        if (link >= 0) {
            PdfPutAnnotations(link, linkX, linkY, linkW, d.fontSize);
        } else if (!target.empty()) {
            PdfNamedLinkAnnot(target, linkX, linkY, linkW, d.fontSize);
        }
        outText(d.unicodeFlag, text, s, t, {});
    } else if (!s.empty()) {
        PdfOut(s);
    }
    if (align == "FJ") {
        PdfOut("0 Tw");
        d.wordSpacing = 0;
    }
    d.lastCellHeight = h;
    if (ln > 0) {
        d.y += h;
        if (ln == 1) {
            d.x = d.leftMargin;
        }
    } else {
        d.x += w;
    }
    return 0;
}

std::int32_t PdfLn(float h)
{
    if (PdfDocument* d = currentPdfDocument()) {
        d->x = d->leftMargin;
        d->y += h == -1.0f ? d->lastCellHeight : h;
    }
    return 0;
}

std::string PdfMultiCell(
    float w,
    float h,
    const std::string& text,
    std::int32_t border,
    const std::string& align,
    std::int32_t fill,
    float indent,
    std::int32_t maxline)
{
    PdfDocument* document = currentPdfDocument();
    if (document == nullptr) {
        return {};
    }
    PdfDocument& d = *document;
    ensureCurrentFont(d);
    if (w == 0) {
        w = d.pageWidth - d.rightMargin - d.x;
    }
    const std::u32string all = codePoints(text);
    std::u32string chars = all;
    while (!chars.empty() && chars.back() == U'\r') {
        chars.pop_back();
    }
    while (!chars.empty() && chars.back() == U'\n') {
        chars.pop_back();
    }
    const auto limitOf = [&d](float lineWidth) {
        return d.fontSize > 0 ? (lineWidth - 2 * d.cellMargin) * 1000 / d.fontSize : 0.0f;
    };
    std::int32_t firstEdges = 0;
    std::int32_t middleEdges = 0;
    std::int32_t bottomEdge = 0;
    if (border == 1) {
        firstEdges = 1 | 2 | 4;
        middleEdges = 1 | 4;
        bottomEdge = 8;
    } else if (border < 0) {
        firstEdges = -border & (1 | 2 | 4);
        middleEdges = -border & (1 | 4);
        bottomEdge = -border & 8;
    }

    std::int32_t lines = 0;
    const auto writeLine = [&](std::u32string_view line, bool last) {
        const bool first = lines == 0;
        const float lineWidth = first ? w - indent : w;
        const std::int32_t edges = (first ? firstEdges : middleEdges) | (last ? bottomEdge : 0);
        const float savedX = d.x;
        if (first && indent > 0) {
            d.x += indent;
        }
        PdfCell(lineWidth, h, utf8(line), edgeBorder(edges), 2, align, fill, -1, {});
        if (first && indent > 0) {
            d.x = savedX;
        }
        ++lines;
    };
    const auto stopHere = [&](std::size_t from) {
        resetWordSpacing(d);
        d.multiCellLineCount = lines;
        return utf8(std::u32string_view(all).substr(from));
    };

    std::size_t i = 0;
    std::size_t start = 0;
    std::size_t separator = std::u32string::npos;
    std::size_t spaces = 0;
    float width = 0;
    float widthAtSeparator = 0;
    while (i < chars.size()) {
        const char32_t c = chars[i];
        const float limit = limitOf(lines == 0 ? w - indent : w);
        if (c == U'\n') {
            if (maxline > 0 && lines >= maxline) {
                return stopHere(start);
            }
            resetWordSpacing(d);
            writeLine(std::u32string_view(chars).substr(start, i - start), false);
            ++i;
            start = i;
            separator = std::u32string::npos;
            spaces = 0;
            width = 0;
            continue;
        }
        if (c == U' ') {
            separator = i;
            widthAtSeparator = width;
            ++spaces;
        }
        width += charWidth(c);
        if (width > limit) {
            if (maxline > 0 && lines >= maxline) {
                return stopHere(start);
            }
            if (separator == std::u32string::npos) {
                if (i == start) {
                    ++i; // a line is never empty
                }
                resetWordSpacing(d);
                writeLine(std::u32string_view(chars).substr(start, i - start), false);
            } else {
                if (align == "J") {
                    d.wordSpacing = spaces > 1 ? (limit - widthAtSeparator) / 1000 * d.fontSize /
                                                     static_cast<float>(spaces - 1)
                                               : 0.0f;
                    PdfOut(PdfNumber(d.wordSpacing * d.k, 3) + " Tw");
                }
                writeLine(std::u32string_view(chars).substr(start, separator - start), false);
                i = separator + 1;
            }
            start = i;
            separator = std::u32string::npos;
            spaces = 0;
            width = 0;
        } else {
            ++i;
        }
    }
    if (maxline > 0 && lines >= maxline && start < chars.size()) {
        return stopHere(start);
    }
    resetWordSpacing(d);
    writeLine(std::u32string_view(chars).substr(start), true);
    d.x = d.leftMargin;
    d.multiCellLineCount = lines;
    return {};
}

std::int32_t PdfWrite(float h, const std::string& text, std::int32_t link, const std::string& target)
{
    PdfDocument* document = currentPdfDocument();
    if (document == nullptr) {
        return 0;
    }
    PdfDocument& d = *document;
    ensureCurrentFont(d);
    if (h == -1.0f) {
        h = d.fontSize;
    }
    float lineWidth = 0;
    float limit = 0;
    const auto measureLine = [&]() {
        lineWidth = d.pageWidth - d.rightMargin - d.x;
        limit = d.fontSize > 0 ? (lineWidth - 2 * d.cellMargin) * 1000 / d.fontSize : 0.0f;
    };
    measureLine();
    const std::u32string chars = codePoints(text);
    std::size_t i = 0;
    std::size_t start = 0;
    std::size_t separator = std::u32string::npos;
    float width = 0;
    int line = 1;
    const auto nextLine = [&]() {
        if (line == 1) {
            d.x = d.leftMargin;
            measureLine();
        }
        ++line;
    };
    const auto cell = [&](std::size_t from, std::size_t to) {
        PdfCell(
            lineWidth,
            h,
            utf8(std::u32string_view(chars).substr(from, to - from)),
            0,
            2,
            "",
            0,
            link,
            target);
    };
    while (i < chars.size()) {
        const char32_t c = chars[i];
        if (c == U'\n') {
            cell(start, i);
            ++i;
            start = i;
            separator = std::u32string::npos;
            width = 0;
            nextLine();
            continue;
        }
        if (c == U' ') {
            separator = i;
        }
        width += charWidth(c);
        if (width > limit) {
            if (separator == std::u32string::npos) {
                if (d.x > d.leftMargin) {
                    d.x = d.leftMargin;
                    d.y += h;
                    measureLine();
                    ++i;
                    ++line;
                    continue;
                }
                if (i == start) {
                    ++i; // a character too wide for any line is written alone, and the text goes on
                }
                cell(start, i);
            } else {
                cell(start, separator);
                i = separator + 1;
            }
            separator = std::u32string::npos;
            start = i;
            width = 0;
            nextLine();
        } else {
            ++i;
        }
    }
    if (start < chars.size()) {
        PdfCell(
            PdfStringWidth(utf8(std::u32string_view(chars).substr(start)), 1),
            h,
            utf8(std::u32string_view(chars).substr(start)),
            0,
            0,
            "",
            0,
            link,
            target);
    }
    return 0;
}

std::int32_t PdfCellPublic(
    std::int32_t doc,
    const std::string& text,
    float w,
    float h,
    std::int32_t border,
    std::int32_t ln,
    const std::string& align,
    std::int32_t fill,
    std::int32_t link,
    const std::string& target)
{
    if (findPdfDocument(doc) == nullptr) {
        return 0;
    }
    return PdfCell(w, h, text, border, ln, align, fill, link, target);
}

std::string PdfMultiCellPublic(
    std::int32_t doc,
    const std::string& text,
    float w,
    float h,
    std::int32_t border,
    const std::string& align,
    std::int32_t fill,
    std::int32_t indent,
    std::int32_t maxline)
{
    if (findPdfDocument(doc) == nullptr) {
        return {};
    }
    return PdfMultiCell(w, h, text, border, align, fill, static_cast<float>(indent), maxline);
}

std::int32_t PdfMultiCellBullet(
    std::int32_t doc,
    const std::string& text,
    float w,
    float h,
    std::int32_t border,
    const std::string& align,
    std::int32_t fill,
    const std::string& bullet)
{
    PdfDocument* d = findPdfDocument(doc);
    if (d == nullptr) {
        return 0;
    }
    ensureCurrentFont(*d);
    const float bulletWidth = PdfStringWidth(bullet, 1) + 2 * d->cellMargin;
    const float x = d->x;
    PdfCell(bulletWidth, h, bullet, 0, 0, "", fill, -1, {});
    static_cast<void>(PdfMultiCell(w - bulletWidth, h, text, border, align, fill, 0, 0));
    PdfSetX(x);
    return 0;
}

std::int32_t PdfWritePublic(
    std::int32_t doc, const std::string& text, float h, const std::string& target, std::int32_t link)
{
    if (findPdfDocument(doc) == nullptr) {
        return 0;
    }
    return PdfWrite(h, text, link, target);
}

std::int32_t PdfSubWrite(
    std::int32_t doc,
    const std::string& text,
    float h,
    std::int32_t size,
    float offset,
    const std::string& target,
    std::int32_t link)
{
    PdfDocument* d = findPdfDocument(doc);
    if (d == nullptr) {
        return 0;
    }
    ensureCurrentFont(*d);
    const std::int32_t rememberedSize = d->fontSizePt;
    const std::int32_t newSize = size > 0 ? size : rememberedSize;
    PdfSetFontSizeCore(newSize);
    const float shift = (static_cast<float>(newSize - rememberedSize) / d->k) * 0.3f + offset / d->k;
    float x = d->x;
    PdfSetY(d->y - shift, 1);
    PdfSetX(x);
    PdfWrite(h, text, link, target);
    x = d->x;
    PdfSetY(d->y + shift, 1);
    PdfSetX(x);
    PdfSetFontSizeCore(rememberedSize);
    return 0;
}

std::int32_t PdfText(std::int32_t doc, const std::string& text, float x, float y)
{
    PdfDocument* document = findPdfDocument(doc);
    if (document == nullptr || text.empty()) {
        return 0;
    }
    PdfDocument& d = *document;
    ensureCurrentFont(d);
    if (x == -1.0f) {
        x = d.x;
    }
    if (y == -1.0f) {
        y = d.y;
    }
    std::string prefix = d.colorFlag == 1 ? "q " + d.textColor + " " : std::string{};
    prefix += "BT " + num(x * d.k) + " " + num((d.pageHeight - y) * d.k) + " Td (";
    std::string suffix = ") Tj ET";
    if (d.underlineFlag == 1) {
        suffix += " " + PdfUnderline(x, y, text);
    }
    if (d.colorFlag == 1) {
        suffix += " Q";
    }
    outText(d.unicodeFlag, text, prefix, suffix, {});
    return 0;
}

std::string PdfTruncateCell(
    std::int32_t doc,
    const std::string& text,
    float w,
    float h,
    std::int32_t border,
    std::int32_t ln,
    const std::string& align,
    std::int32_t fill,
    const std::string& suffix,
    const std::string& target,
    std::int32_t link)
{
    PdfDocument* d = findPdfDocument(doc);
    if (d == nullptr) {
        return {};
    }
    ensureCurrentFont(*d);
    if (w == 0 || w == -1.0f) {
        w = d->pageWidth - d->rightMargin - d->x;
    }
    const float usable = w - 2 * d->cellMargin;
    if (PdfStringWidth(text, 1) <= usable) {
        PdfCell(w, h, text, border, ln, align, fill, link, target);
        return {};
    }
    const std::u32string chars = codePoints(text);
    for (std::size_t n = chars.size(); n >= 1; --n) {
        const std::string candidate = utf8(std::u32string_view(chars).substr(0, n)) + suffix;
        if (PdfStringWidth(candidate, 1) <= usable) {
            PdfCell(w, h, candidate, border, ln, align, fill, link, target);
            return utf8(std::u32string_view(chars).substr(n));
        }
    }
    return {};
}

std::int32_t PdfLnPublic(std::int32_t doc, float h)
{
    if (findPdfDocument(doc) == nullptr) {
        return 0;
    }
    return PdfLn(h);
}

std::int32_t PdfTableOfContents(
    std::int32_t doc,
    std::int32_t location,
    const std::string& title,
    std::int32_t titleSize,
    std::int32_t entrySize,
    const std::string& family)
{
    PdfDocument* document = findPdfDocument(doc);
    if (document == nullptr) {
        return 0;
    }
    PdfDocument& d = *document;
    d.pageCountingFlag = 0;
    std::string heading = title;
    if (heading == "Local") {
        const std::string& language = d.languageCode;
        heading = language == "DE" || language == "AT" ? "Inhaltsverzeichnis"
                  : language == "FR"                   ? "Table des matières"
                  : language == "IT"                   ? "Indice di contenuto"
                  : language == "ES"                   ? "Índice"
                                                       : "Table of Contents";
    }
    std::int32_t firstPage = d.pageNumber;
    if (!heading.empty()) {
        PdfBeginPage({}, {}, -1.0f, -1.0f);
        firstPage = d.pageNumber;
        PdfSetFontCore(family, "B", titleSize);
        PdfCell(0, 5, heading, 0, 1, "C", 0, -1, {});
        PdfLn(10);
    }
    ensureCurrentFont(d);
    const std::vector<PdfTocEntry> entries = d.tableOfContents;
    for (const PdfTocEntry& entry : entries) {
        const float indent = static_cast<float>(entry.level) * 8;
        if (entry.level > 0) {
            PdfCell(indent, 0, {}, 0, 0, "", 0, -1, {});
        }
        PdfSetFontCore(family, entry.level == 0 ? "B" : "", entrySize);
        const float textWidth = std::round(PdfStringWidth(entry.text, 1));
        PdfCell(textWidth + 2, d.fontSize + 2, entry.text, 0, 0, "", 0, -1, {});
        PdfSetFontCore(family, "", entrySize);
        const std::string pageText = std::to_string(entry.page);
        const float pageCellWidth = PdfStringWidth(pageText, 1) + 2;
        const float dotsWidth =
            d.pageWidth - d.leftMargin - d.rightMargin - pageCellWidth - indent - (textWidth + 2);
        const float dotWidth = PdfStringWidth(".", 1);
        const std::size_t dots =
            dotWidth > 0 && dotsWidth > 0 ? static_cast<std::size_t>(dotsWidth / dotWidth) : 0;
        PdfCell(dotsWidth, d.fontSize + 2, std::string(dots, '.'), 0, 0, "R", 0, -1, {});
        PdfCell(pageCellWidth, d.fontSize + 2, pageText, 0, 1, "R", 0, -1, {});
    }
    // The contents pages (all that were written, not only the last) move before page location.
    const auto last = static_cast<std::size_t>(d.pageNumber);
    if (location > 0 && firstPage > location && last < d.pages.size()) {
        const auto target = static_cast<std::ptrdiff_t>(location);
        std::rotate(
            d.pages.begin() + target,
            d.pages.begin() + firstPage,
            d.pages.begin() + static_cast<std::ptrdiff_t>(last) + 1);
        d.pageNumber = location + (d.pageNumber - firstPage);
    }
    return 0;
}

} // namespace folvex
