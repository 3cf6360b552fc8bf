// Form field widgets (check boxes and radio buttons, text fields, choice fields) with their default
// appearances and the appearance streams that show their state in any viewer.
#include "pdf/pdf_writer.h"
#include "pdf/pdf_writer_internal.h"
#include "runtime/text.h"

#include <algorithm>
#include <cmath>

namespace folvex {

namespace {

std::string num(float value)
{
    return PdfNumber(value, 2);
}

std::string trimTrailing(std::string text)
{
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    while (!text.empty() && text.back() == '\r') {
        text.pop_back();
    }
    return text;
}

struct WidgetArea
{
    float left;
    float top;
    float width;
    float height;
};

// Field flags that change how a field looks.
constexpr std::int32_t PasswordFieldFlag = 1 << 13;
constexpr std::int32_t RadioButtonFlag = 1 << 15;

constexpr float FieldPaddingPt = 2.0f;

// The width and style of a /MK border, for viewers that draw fields themselves and draw no border
// without it.
constexpr const char* BorderStyle = "/BS << /W 1 /S /S >>\n";

// "1 w" and the colour of the /MK border: a frame just inside the widget's edges.
std::string borderOperators(const WidgetArea& area)
{
    return "0.24 0.24 0.24 RG 1 w 0.5 0.5 " + num(area.width - 1) + " " + num(area.height - 1) + " re S";
}

// A circle of radius r around (x, y) as four Bezier curves.
std::string circlePath(float x, float y, float r)
{
    const float c = r * 0.5523f;
    return num(x + r) + " " + num(y) + " m " + num(x + r) + " " + num(y + c) + " " + num(x + c) + " " +
           num(y + r) + " " + num(x) + " " + num(y + r) + " c " + num(x - c) + " " + num(y + r) + " " +
           num(x - r) + " " + num(y + c) + " " + num(x - r) + " " + num(y) + " c " + num(x - r) + " " +
           num(y - c) + " " + num(x - c) + " " + num(y - r) + " " + num(x) + " " + num(y - r) + " c " +
           num(x + c) + " " + num(y - r) + " " + num(x + r) + " " + num(y - c) + " " + num(x + r) + " " +
           num(y) + " c";
}

// A new form XObject showing a widget of the area; write(reference) fills its stream.
template <typename Write>
std::string appearanceStream(PdfDocument& d, const WidgetArea& area, Write write)
{
    PdfNewObject(PdfObjectKind::Plain);
    const std::string reference = PdfObjRef(d.lastObjectNumber);
    write(reference);
    const PdfObject* object = d.object(reference);
    const std::size_t length = object == nullptr ? 0 : object->stream.data.size();
    PdfPutEntry(
        "/Type /XObject /Subtype /Form\n/BBox [0 0 " + num(area.width) + " " + num(area.height) +
            "]\n/Resources " + d.resourcesRef + "\n/Length " + std::to_string(length) + "\n",
        "\n",
        "",
        PdfEntryPlain,
        reference);
    return reference;
}

// The on or off look of a check box (frame, and a check mark from the symbol font when on) or of a
// radio button (ring, and a dot when on).
std::string buttonAppearance(PdfDocument& d, const WidgetArea& area, bool radio, bool on, float markSizePt)
{
    return appearanceStream(d, area, [&](const std::string& reference) {
        std::string ops = "q\n";
        if (radio) {
            const float x = area.width / 2;
            const float y = area.height / 2;
            const float r = std::min(area.width, area.height) / 2;
            ops += "0.24 0.24 0.24 RG 1 w " + circlePath(x, y, r - 0.5f) + " S\n";
            if (on) {
                ops += "0 g " + circlePath(x, y, r * 0.45f) + " f\n";
            }
        } else {
            ops += borderOperators(area) + "\n";
            if (on) {
                // "4" is the heavy check mark of the symbol font; its width comes from the font's table.
                const float markWidthPt =
                    static_cast<float>(PdfCoreFontWidths[0]['4']) * markSizePt / 1000.0f;
                ops += "BT /" + std::string(ButtonSymbolFontKey) + " " + num(markSizePt) + " Tf 0 g " +
                       num((area.width - markWidthPt) / 2) + " " +
                       num((area.height - markSizePt * 0.7f) / 2) + " Td (4) Tj ET\n";
            }
        }
        PdfOut(ops + "Q", "", "", 0, reference);
    });
}

// One line of a text field's value with its width in points.
struct ShownLine
{
    std::string text;
    float widthPt = 0;
};

// The value's lines as the current font shows them; a password shows one "*" per character.
std::vector<ShownLine> shownLines(const std::string& value, std::int32_t flags, std::int32_t sizePt)
{
    std::vector<ShownLine> lines;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = value.find_first_of("\r\n", start);
        std::string line = value.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if ((flags & PasswordFieldFlag) != 0) {
            std::size_t pos = 0;
            std::size_t characters = 0;
            while (pos < line.size()) {
                decodeUtf8(line, pos);
                ++characters;
            }
            line.assign(characters, '*');
        }
        const float widthPt = PdfStringWidth(line, 0) * static_cast<float>(sizePt) / 1000.0f;
        lines.push_back({std::move(line), widthPt});
        if (end == std::string::npos) {
            break;
        }
        start = end + (value.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
}

// What a text field shows: its background and border as /MK gives them, and its value in the
// field's font, aligned by q (0 left, 1 centred, 2 right), one line centred in the height, more
// lines from the top; clipped to the inside of the border.
std::string textAppearance(
    PdfDocument& d,
    const WidgetArea& area,
    const std::string& da,
    const std::vector<ShownLine>& lines,
    std::int32_t unicode,
    std::int32_t sizePt,
    std::int32_t q,
    bool border,
    bool background)
{
    return appearanceStream(d, area, [&](const std::string& reference) {
        std::string ops = "/Tx BMC\nq\n";
        if (background) {
            ops += "0.99 g 0 0 " + num(area.width) + " " + num(area.height) + " re f\n";
        }
        if (border) {
            ops += borderOperators(area) + "\n";
        }
        ops += "1 1 " + num(area.width - 2) + " " + num(area.height - 2) + " re W n\nBT " + da;
        PdfOut(ops, "", "", 0, reference);
        const auto size = static_cast<float>(sizePt);
        const float leading = size * 1.15f;
        float baseline =
            lines.size() == 1 ? (area.height - size * 0.7f) / 2 : area.height - FieldPaddingPt - size * 0.8f;
        for (const ShownLine& line : lines) {
            float x = FieldPaddingPt;
            if (q == 1) {
                x = (area.width - line.widthPt) / 2;
            } else if (q == 2) {
                x = area.width - FieldPaddingPt - line.widthPt;
            }
            outText(
                unicode, line.text, "1 0 0 1 " + num(x) + " " + num(baseline) + " Tm (", ") Tj", reference);
            baseline -= leading;
        }
        PdfOut("ET\nQ\nEMC", "", "", 0, reference);
    });
}

// The common start of a form field: size defaults, page break, the widget object.
WidgetArea beginWidget(PdfDocument& d, float& w, float& h)
{
    if (h == -1.0f) {
        h = d.fontSize;
    }
    if (w == -1.0f) {
        w = d.pageWidth - d.rightMargin - d.x;
    }
    if (d.y + h > d.breakTrigger && d.pageBreakPermission != 0 && d.autoPageBreak == 1) {
        const float x = std::round(d.x);
        PdfBeginPage(d.orientation, "", -1.0f, -1.0f);
        d.x = x;
    }
    PdfNewObject(PdfObjectKind::FormField);
    return {d.x * d.k, topEdgePt(d, d.y), w * d.k, h * d.k};
}

std::string widgetStart(const PdfDocument& d, const WidgetArea& area)
{
    return "/Type /Annot /Subtype /Widget\n" + annotationRect(area.left, area.top, area.width, area.height) +
           "\n/F 4\n/P " + d.currentPageRef + "\n";
}

void endWidget(PdfDocument& d, const std::string& field, float w, float h, std::int32_t ln)
{
    d.pageAnnotations[d.currentPageRef].push_back(field);
    d.lastCellHeight = h;
    if (ln > 0) {
        d.y += h;
        if (ln == 1) {
            d.x = d.leftMargin;
        }
    } else {
        d.x += w;
    }
}

std::string appearance(PdfDocument& d)
{
    ensureCurrentFont(d);
    std::string text = "/F" + std::to_string(d.fontNumber) + " " + std::to_string(d.fontSizePt) + " Tf";
    if (!d.textColor.empty()) {
        text += " " + d.textColor;
    }
    return text;
}

// Writes a field's /DA. The form's default is the first text or choice field's, in a document of
// buttons only the first button's.
void putDefaultAppearance(PdfDocument& d, const std::string& da)
{
    PdfPutEntry(da, "/DA (", ")\n", PdfEntryTextString);
    const std::string buttonFont = "/" + std::string(ButtonSymbolFontKey) + " ";
    const bool defaultIsButtons = d.formDefaultAppearance.rfind(buttonFont, 0) == 0;
    if (d.formDefaultAppearance.empty() || (defaultIsButtons && da.rfind(buttonFont, 0) != 0)) {
        d.formDefaultAppearance = da;
    }
}

} // namespace

std::int32_t PdfCheckBox(
    std::int32_t doc,
    const std::string& name,
    std::int32_t ticked,
    std::int32_t flags,
    float w,
    float h,
    std::int32_t ln)
{
    PdfDocument* document = findPdfDocument(doc);
    if (document == nullptr || document->pageNumber < 1) {
        return 0;
    }
    PdfDocument& d = *document;
    coreFontNumber(d, ButtonSymbolFont);
    const WidgetArea area = beginWidget(d, w, h);
    const std::string field = PdfObjRef(d.lastObjectNumber);
    std::string text = widgetStart(d, area) + "/FT /Btn\n";
    if (flags != 0) {
        text += " /Ff " + std::to_string(flags) + "\n";
    }
    const std::string state = ticked != 0 ? "/Yes" : "/Off";
    text += "/MK << /BC [0.24 0.24 0.24] >>\n" + std::string(BorderStyle) + "/V " + state + "\n/AS " + state +
            "\n";
    PdfPutEntry(text, "\n", "", PdfEntryPlain);
    PdfPutEntry(name, "/T (", ")\n", PdfEntryTextString);
    const float markSizePt = std::max(1.0f, std::min(area.width, area.height) * 0.8f);
    putDefaultAppearance(d, "/" + std::string(ButtonSymbolFontKey) + " " + num(markSizePt) + " Tf 0 g");
    const bool radio = (flags & RadioButtonFlag) != 0;
    const std::string on = buttonAppearance(d, area, radio, true, markSizePt);
    const std::string off = buttonAppearance(d, area, radio, false, markSizePt);
    PdfPutEntry("/AP << /N << /Yes " + on + " /Off " + off + " >> >>\n", "", "", PdfEntryPlain, field);
    endWidget(d, field, w, h, ln);
    return 0;
}

std::int32_t PdfTextField(
    std::int32_t doc,
    const std::string& name,
    const std::string& value,
    std::int32_t flags,
    float w,
    float h,
    std::int32_t border,
    std::int32_t ln,
    const std::string& alignment,
    std::int32_t background)
{
    PdfDocument* document = findPdfDocument(doc);
    if (document == nullptr || document->pageNumber < 1) {
        return 0;
    }
    PdfDocument& d = *document;
    const std::string da = appearance(d);
    const std::int32_t unicode = d.unicodeFlag;
    const std::int32_t sizePt = d.fontSizePt;
    const std::string trimmed = trimTrailing(value);
    const std::vector<ShownLine> lines = shownLines(trimmed, flags, sizePt);
    const WidgetArea area = beginWidget(d, w, h);
    const std::string field = PdfObjRef(d.lastObjectNumber);
    std::string text = widgetStart(d, area) + "/FT /Tx\n";
    if (flags != 0) {
        text += "/Ff " + std::to_string(flags) + "\n";
    }
    const std::int32_t q = alignment == "R" ? 2 : alignment == "C" ? 1 : 0;
    text += "/Q " + std::to_string(q) + "\n";
    text += "/MK << ";
    if (border != 0) {
        text += "/BC [0.24 0.24 0.24] ";
    }
    if (background != 0) {
        text += "/BG [0.99 0.99 0.99] ";
    }
    text += ">>\n";
    if (border != 0) {
        text += BorderStyle;
    }
    PdfPutEntry(text, "\n", "", PdfEntryPlain);
    PdfPutEntry(trimmed, "/V (", ")\n", PdfEntryTextString);
    PdfPutEntry(name, "/T (", ")\n", PdfEntryTextString);
    PdfPutEntry(trimmed, "/TU (", ")\n", PdfEntryTextString);
    putDefaultAppearance(d, da);
    const std::string shown =
        textAppearance(d, area, da, lines, unicode, sizePt, q, border != 0, background != 0);
    PdfPutEntry("/AP << /N " + shown + " >>\n", "", "", PdfEntryPlain, field);
    endWidget(d, field, w, h, ln);
    return 0;
}

std::int32_t PdfChoiceField(
    std::int32_t doc,
    const std::string& name,
    const std::string& defaultValue,
    const std::string& options,
    std::int32_t selected,
    std::int32_t flags,
    float w,
    float h,
    std::int32_t ln)
{
    PdfDocument* document = findPdfDocument(doc);
    if (document == nullptr || document->pageNumber < 1) {
        return 0;
    }
    PdfDocument& d = *document;
    const std::string da = appearance(d);
    const WidgetArea area = beginWidget(d, w, h);
    const std::string field = PdfObjRef(d.lastObjectNumber);
    std::string text = widgetStart(d, area) + "/FT /Ch\n";
    if (flags != 0) {
        text += " /Ff " + std::to_string(flags) + "\n";
    }
    text += "/MK << /BC [0.24 0.24 0.24] >>\n" + std::string(BorderStyle) + "/V ()\n";
    PdfPutEntry(text, "\n", "", PdfEntryPlain);
    PdfPutEntry(name, "/T (", ")\n", PdfEntryTextString);
    PdfPutEntry(trimTrailing(defaultValue), "/DV (", ")\n", PdfEntryTextString);
    putDefaultAppearance(d, da);
    if (!options.empty()) {
        if (selected != -1) {
            PdfPutEntry("/I [" + std::to_string(selected) + "]\n", "", "", PdfEntryPlain);
        }
        PdfPutEntry("/Opt [ ", "", "", PdfEntryPlain);
        std::size_t start = 0;
        while (true) {
            const std::size_t blank = options.find(' ', start);
            PdfPutEntry(options.substr(start, blank - start), "(", ") ", PdfEntryTextString);
            if (blank == std::string::npos) {
                break;
            }
            start = blank + 1;
        }
        PdfPutEntry("]\n", "", "", PdfEntryPlain);
    }
    endWidget(d, field, w, h, ln);
    return 0;
}

} // namespace folvex
