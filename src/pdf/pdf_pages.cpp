// Creating a document with its first four objects, starting and finishing pages with their header and
// footer procedures, and closing a document into its file.
#include "pdf/pdf_writer.h"
#include "pdf/pdf_writer_internal.h"
#include "runtime/md5.h"
#include "runtime/text.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <utility>

namespace folvex {

namespace {

constexpr const char* A4FormatPt = "595.28,841.89";
constexpr float DefaultLineWidthPt = 0.567f;
constexpr float DefaultMarginPt = 28.35f;
constexpr std::int32_t DefaultFontSizePt = 12;

struct PageSize
{
    float widthPt;
    float heightPt;
};

// The leading decimal number of a text ("." as decimal point), 0 when there is none.
float readDecimal(std::string_view text)
{
    text = trimBlanks(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    double value = 0;
    const auto result =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    return result.ec == std::errc() ? static_cast<float>(value) : 0.0f;
}

bool usableSize(float widthPt, float heightPt)
{
    return std::isfinite(widthPt) && std::isfinite(heightPt) && widthPt > 0 && heightPt > 0;
}

// The size a format text "width,height" gives, when both are above 0.
std::optional<PageSize> formatSize(std::string_view format)
{
    format = trimBlanks(format);
    if (format.empty()) {
        return std::nullopt;
    }
    const std::size_t comma = format.find(',');
    const float widthPt = readDecimal(format.substr(0, comma));
    float heightPt = 0;
    if (comma != std::string_view::npos) {
        const std::string_view rest = format.substr(comma + 1);
        heightPt = readDecimal(rest.substr(0, rest.find(',')));
    }
    if (!usableSize(widthPt, heightPt)) {
        return std::nullopt;
    }
    return PageSize{widthPt, heightPt};
}

float scaleFactor(const std::string& unit)
{
    if (unit == "pt") {
        return 1.0f;
    }
    if (unit == "cm") {
        return 72.0f / 2.54f;
    }
    if (unit == "in") {
        return 72.0f;
    }
    return 72.0f / 25.4f;
}

// "P", "L" or whatever else the first character of the orientation is, upper-cased.
std::string orientationLetter(const std::string& orientation)
{
    std::size_t pos = 0;
    std::string letter;
    appendUtf8(letter, upperCaseChar(decodeUtf8(orientation, pos).value_or(ReplacementCharacter)));
    return letter;
}

constexpr const char* producerText()
{
    return sizeof(void*) == 8 ? "rvPDF V2.0 for Ravelin X64" : "rvPDF V2.0 for Ravelin X86";
}

// What a page's footer and header may change and the page around them keeps.
struct GraphicsState
{
    std::string fontFamily;
    std::string fontStyle;
    std::int32_t fontSizePt = 0;
    std::int32_t underlineFlag = 0;
    std::string fontKey;
    std::int32_t fontNumber = 0;
    float fontSize = 0;
    std::int32_t unicodeFlag = 0;
    std::string drawColor;
    std::string fillColor;
    std::string textColor;
    std::int32_t colorFlag = 0;
    float lineWidth = 0;
};

GraphicsState saveState(const PdfDocument& d)
{
    return {
        d.fontFamily,
        d.fontStyle,
        d.fontSizePt,
        d.underlineFlag,
        d.currentFontKey,
        d.fontNumber,
        d.fontSize,
        d.unicodeFlag,
        d.drawColor,
        d.fillColor,
        d.textColor,
        d.colorFlag,
        d.lineWidth};
}

void restoreState(PdfDocument& d, const GraphicsState& state)
{
    d.lineWidth = state.lineWidth;
    d.drawColor = state.drawColor;
    d.fillColor = state.fillColor;
    d.textColor = state.textColor;
    d.colorFlag = state.colorFlag;
    d.fontFamily = state.fontFamily;
    d.fontStyle = state.fontStyle;
    d.fontSizePt = state.fontSizePt;
    d.underlineFlag = state.underlineFlag;
    d.currentFontKey = state.fontKey;
    d.fontNumber = state.fontNumber;
    d.fontSize = state.fontSize;
    d.unicodeFlag = state.unicodeFlag;
}

// The style letters that select a remembered font again, underline included.
std::string styleWithUnderline(const std::string& style, std::int32_t underlineFlag)
{
    return underlineFlag == 1 ? style + "U" : style;
}

// Calls a header or footer procedure, then makes the document current again: a procedure that used
// another document must not send the rest of the page to it.
void callProcedure(
    const PdfProcedure& stored, std::int32_t argument, const std::shared_ptr<PdfDocument>& self)
{
    const PdfProcedure procedure = stored; // the procedure may replace itself while it runs
    if (argument != 0) {
        procedure(argument);
    } else {
        procedure(std::nullopt);
    }
    pdfModule().current = self;
}

void closeOpenTransform(PdfDocument& d)
{
    if (d.transformOpen != 0) {
        d.transformOpen = 0;
        PdfOut("Q\n");
    }
}

// The footer of the page being finished: the caller's procedure, or the built-in page number. With
// saved the font is selected again afterwards.
void runFooter(PdfDocument& d, const std::shared_ptr<PdfDocument>& self, const GraphicsState* saved)
{
    bool drawn = false;
    if (d.footerEnabled != 0 && d.footerProc) {
        d.pageBreakPermission = 0;
        callProcedure(d.footerProc, d.footerArgument, self);
        d.pageBreakPermission = 1;
        drawn = true;
    } else if (d.pageNumberFooterFlag != 0) {
        d.pageBreakPermission = 0;
        PdfSetY(-15, 1);
        PdfSetFontCore("Arial", "BI", 9);
        PdfCell(0, 10, "{p}", 0, 0, "C", 0, -1, {});
        d.pageBreakPermission = 1;
        drawn = true;
    }
    if (drawn && saved != nullptr) {
        PdfSetFontCore(
            saved->fontFamily, styleWithUnderline(saved->fontStyle, saved->underlineFlag), saved->fontSizePt);
    }
}

void runHeader(PdfDocument& d, const std::shared_ptr<PdfDocument>& self)
{
    if (d.headerEnabled == 0 || !d.headerProc) {
        return;
    }
    const GraphicsState saved = saveState(d);
    callProcedure(d.headerProc, d.headerArgument, self);
    if (d.lineWidth != saved.lineWidth) {
        d.lineWidth = saved.lineWidth;
        PdfOut(PdfNumber(d.lineWidth * d.k, 2) + " w");
    }
    if (!saved.fontFamily.empty()) {
        PdfSetFontCore(
            saved.fontFamily, styleWithUnderline(saved.fontStyle, saved.underlineFlag), saved.fontSizePt);
    }
    if (d.drawColor != saved.drawColor) {
        d.drawColor = saved.drawColor;
        PdfOut(d.drawColor);
    }
    if (d.fillColor != saved.fillColor) {
        d.fillColor = saved.fillColor;
        PdfOut(d.fillColor);
    }
    d.textColor = saved.textColor;
    d.colorFlag = saved.colorFlag;
}

} // namespace

std::int32_t PdfCreate(
    std::int32_t doc,
    const std::string& orientation,
    const std::string& unit,
    const std::string& format,
    float widthPt,
    float heightPt)
{
    PdfModule& module = pdfModule();
    std::int32_t number = doc;
    if (doc == -1) {
        number = 1;
        while (module.PdfDocuments.count(number) != 0) {
            ++number;
        }
    }
    auto created = std::make_shared<PdfDocument>();
    module.PdfDocuments[number] = created;
    module.lastSystemError = 0;
    module.current = created;
    PdfDocument& d = *created;

    d.k = scaleFactor(unit.empty() ? "mm" : unit);
    d.fontSizePt = DefaultFontSizePt;
    d.fontSize = static_cast<float>(DefaultFontSizePt) / d.k;

    PageSize size{0, 0};
    if (usableSize(widthPt, heightPt)) {
        size = {widthPt, heightPt};
    } else {
        size = formatSize(format).value_or(*formatSize(A4FormatPt));
    }
    d.defaultPageWidthPt = size.widthPt;
    d.defaultPageHeightPt = size.heightPt;
    d.defaultPageWidth = size.widthPt / d.k;
    d.defaultPageHeight = size.heightPt / d.k;
    d.defaultOrientation = orientationLetter(orientation.empty() ? "P" : orientation);
    d.orientation = d.defaultOrientation;
    if (d.orientation == "L") {
        d.pageWidthPt = d.defaultPageHeightPt;
        d.pageHeightPt = d.defaultPageWidthPt;
    } else {
        d.pageWidthPt = d.defaultPageWidthPt;
        d.pageHeightPt = d.defaultPageHeightPt;
    }
    d.pageWidth = d.pageWidthPt / d.k;
    d.pageHeight = d.pageHeightPt / d.k;

    d.lineWidth = DefaultLineWidthPt / d.k;
    d.leftMargin = DefaultMarginPt / d.k;
    d.topMargin = d.leftMargin;
    d.rightMargin = d.leftMargin;
    d.cellMargin = d.leftMargin / 10;
    d.breakMargin = d.leftMargin * 2;
    d.breakTrigger = d.pageHeight - d.breakMargin;

    const std::int64_t localSeconds = Date(pdfClock());
    PdfNewObject(PdfObjectKind::Page);
    d.pagesRef = d.currentPageRef;
    PdfPutEntry("/Type /Pages", "\n", "\n", PdfEntryPlain);
    PdfNewObject(PdfObjectKind::Plain);
    d.infoRef = PdfObjRef(d.lastObjectNumber);
    PdfPutEntry(producerText(), "\n/Producer (", ")\n", PdfEntryTextString);
    PdfPutEntry(
        "D:" + FormatDate("%yyyy%mm%dd%hh%ii%ss", localSeconds),
        "/CreationDate (",
        ")\n",
        PdfEntryTextString);
    PdfNewObject(PdfObjectKind::Plain);
    d.catalogRef = PdfObjRef(d.lastObjectNumber);
    PdfPutEntry("/Type /Catalog\n/Pages " + d.pagesRef, "\n", "\n", PdfEntryPlain);
    PdfNewObject(PdfObjectKind::Plain);
    d.resourcesRef = PdfObjRef(d.lastObjectNumber);
    PdfPutEntry("/ProcSet [/PDF /Text /ImageB /ImageC /ImageI]", "\n", "\n", PdfEntryPlain);

    d.fileIdentifier = toHex(md5(std::to_string(localSeconds)));
    return number;
}

std::int32_t PdfAddPage(
    std::int32_t doc,
    const std::string& orientation,
    const std::string& format,
    float widthPt,
    float heightPt)
{
    if (findPdfDocument(doc) == nullptr) {
        return 0;
    }
    return PdfBeginPage(orientation, format, widthPt, heightPt);
}

std::int32_t
PdfBeginPage(const std::string& orientation, const std::string& format, float widthPt, float heightPt)
{
    const std::shared_ptr<PdfDocument> self = pdfModule().current;
    if (!self) {
        return 0;
    }
    PdfDocument& d = *self;
    d.orientation = orientation.empty() ? d.defaultOrientation : orientationLetter(orientation);

    // The font the new page starts with: the one of the page before, or the family's regular style at
    // the current size on the first page.
    std::string startStyle;
    std::int32_t startSize = 0;
    if (d.pageNumber >= 1) {
        closeOpenTransform(d);
        const GraphicsState saved = saveState(d);
        runFooter(d, self, &saved);
        restoreState(d, saved);
        startStyle = styleWithUnderline(saved.fontStyle, saved.underlineFlag);
        startSize = saved.fontSizePt;
    }

    d.pageNumber = PdfNewObject(PdfObjectKind::Page);
    d.x = d.leftMargin;
    d.y = d.topMargin;

    PageSize size{d.defaultPageWidthPt, d.defaultPageHeightPt};
    if (usableSize(widthPt, heightPt)) {
        size = {widthPt, heightPt};
    } else if (const auto fromFormat = formatSize(format)) {
        size = *fromFormat;
    }
    if (d.orientation == "L") {
        std::swap(size.widthPt, size.heightPt);
    }
    d.pageWidthPt = size.widthPt;
    d.pageHeightPt = size.heightPt;
    d.pageWidth = size.widthPt / d.k;
    d.pageHeight = size.heightPt / d.k;
    d.pages.back().widthPt = size.widthPt;
    d.pages.back().heightPt = size.heightPt;

    PdfNewObject(PdfObjectKind::Contents);
    PdfPutEntry(
        "\n/Type /Page\n/Parent " + d.pagesRef + "\n/MediaBox [0 0 " + PdfNumber(d.pageWidthPt, 2) + " " +
            PdfNumber(d.pageHeightPt, 2) + "]\n/Resources " + d.resourcesRef + "\n/Contents " +
            d.currentContentsRef + "\n",
        "",
        "",
        PdfEntryPlain,
        d.currentPageRef);

    std::string start = "2 J\n" + PdfNumber(d.lineWidth * d.k, 2) + " w\n";
    if (d.drawColor != "0 G") {
        start += d.drawColor + "\n";
    }
    if (d.fillColor != "0 g") {
        start += d.fillColor + "\n";
    }
    PdfOut(start);

    if (d.fontFamily.find_first_not_of(' ') != std::string::npos) {
        PdfSetFontCore(d.fontFamily, startStyle, startSize);
    }
    runHeader(d, self);

    if (d.pageCountingFlag == 1) {
        ++d.countedPageNumber;
    }
    return 1;
}

std::int32_t PdfClose(std::int32_t doc, const std::string& fileName)
{
    if (findPdfDocument(doc) == nullptr) {
        return 0;
    }
    PdfModule& module = pdfModule();
    const std::shared_ptr<PdfDocument> self = module.current;
    PdfDocument& d = *self;
    if (d.pageNumber == 0) {
        PdfBeginPage({}, {}, -1.0f, -1.0f);
    }
    closeOpenTransform(d);
    runFooter(d, self, nullptr);

    PdfAssemble();
    const std::int32_t result = PdfWriteFile(fileName);

    const auto entry = module.PdfDocuments.find(doc);
    if (entry != module.PdfDocuments.end() && entry->second == self) {
        module.PdfDocuments.erase(entry);
    }
    if (module.current == self) {
        module.current.reset();
    }
    return result;
}

std::int32_t PdfSave(std::int32_t doc, const std::string& fileName)
{
    return PdfClose(doc, fileName);
}

void PdfDiscard(std::int32_t doc)
{
    PdfModule& module = pdfModule();
    const auto entry = module.PdfDocuments.find(doc);
    if (entry == module.PdfDocuments.end()) {
        return;
    }
    if (module.current == entry->second) {
        module.current.reset();
    }
    module.PdfDocuments.erase(entry);
}

int PdfSystemError()
{
    return pdfModule().lastSystemError;
}

} // namespace folvex
