// The small public setters and getters of a document: information entries, viewer settings, margins,
// page break, compression, options, header and footer procedures, aliases, counters.
#include "pdf/pdf_writer.h"
#include "pdf/pdf_writer_internal.h"
#include "runtime/text.h"

#include <array>
#include <charconv>

namespace folvex {

namespace {

constexpr std::array<const char*, 5> InfoPrefixes = {
    "/Author (", "/Title (", "/Subject (", "/Keywords (", "/Creator ("};

// A PDF name: a slash followed by at least one regular character (printable ASCII, no delimiter).
bool isPdfName(std::string_view text)
{
    if (text.size() < 2 || text.front() != '/') {
        return false;
    }
    for (const char c : text.substr(1)) {
        if (c <= ' ' || c > '~' || std::string_view("()<>[]{}/%#").find(c) != std::string_view::npos) {
            return false;
        }
    }
    return true;
}

// Sets the catalog entry that starts with key, replacing an earlier one.
void setCatalogName(PdfDocument& d, const std::string& key, const std::string& name)
{
    PdfObject* catalog = d.object(d.catalogRef);
    if (catalog == nullptr || !isPdfName(name)) {
        return;
    }
    for (PdfDictEntry& entry : catalog->entries) {
        if (entry.value.starts_with(key)) {
            entry.value = key + name;
            return;
        }
    }
    PdfPutEntry(key + name, "", "", PdfEntryPlain, d.catalogRef);
}

// One character that can never be part of a formatted number.
bool isDecimalSeparator(std::string_view value)
{
    std::size_t pos = 0;
    const auto code = decodeUtf8(value, pos);
    return code && pos == value.size() && !(*code >= '0' && *code <= '9') && *code != '+' && *code != '-';
}

} // namespace

std::int32_t PdfSetInfo(std::int32_t doc, std::int32_t type, const std::string& text)
{
    PdfDocument* document = findPdfDocument(doc);
    if (document == nullptr || type < 1 || type > static_cast<std::int32_t>(InfoPrefixes.size())) {
        return 0;
    }
    const std::string prefix = InfoPrefixes[static_cast<std::size_t>(type - 1)];
    if (PdfObject* info = document->object(document->infoRef)) {
        for (PdfDictEntry& entry : info->entries) {
            if (entry.prefix == prefix) {
                entry.value = text;
                return 0;
            }
        }
    }
    PdfPutEntry(text, prefix, ")\n", PdfEntryTextString, document->infoRef);
    return 0;
}

std::int32_t PdfSetDisplayMode(std::int32_t doc, const std::string& zoom, std::int32_t page)
{
    if (PdfDocument* d = findPdfDocument(doc)) {
        d->openPage = page;
        d->zoom = zoom.empty() ? "PageWidth" : zoom;
    }
    return 0;
}

std::int32_t PdfSetPageLayout(std::int32_t doc, const std::string& layout)
{
    if (PdfDocument* d = findPdfDocument(doc)) {
        setCatalogName(*d, "/PageLayout ", layout);
    }
    return 0;
}

std::int32_t PdfSetPageMode(std::int32_t doc, const std::string& mode)
{
    if (PdfDocument* d = findPdfDocument(doc)) {
        setCatalogName(*d, "/PageMode ", mode);
    }
    return 0;
}

std::int32_t PdfSetMargins(std::int32_t doc, float left, float top, float right)
{
    if (PdfDocument* d = findPdfDocument(doc)) {
        d->leftMargin = left;
        d->topMargin = top;
        d->rightMargin = right == -1.0f ? left : right;
    }
    return 0;
}

std::int32_t PdfSetMargin(std::int32_t doc, std::int32_t type, float value)
{
    PdfDocument* d = findPdfDocument(doc);
    if (d == nullptr) {
        return 0;
    }
    switch (type) {
        case 1:
            d->topMargin = value;
            break;
        case 2:
            d->leftMargin = value;
            if (d->pageNumber >= 1 && d->leftMargin > d->x) {
                d->x = d->leftMargin;
            }
            break;
        case 3:
            d->rightMargin = value;
            break;
        case 4:
            d->cellMargin = value;
            break;
        default:
            break;
    }
    return 0;
}

std::int32_t PdfSetAutoPageBreak(std::int32_t doc, std::int32_t flag, float margin)
{
    if (PdfDocument* d = findPdfDocument(doc)) {
        d->autoPageBreak = flag;
        d->breakMargin = margin;
        d->breakTrigger = d->pageHeight - margin;
    }
    return 0;
}

std::int32_t PdfSetCompression(std::int32_t doc, std::int32_t flag)
{
    if (PdfDocument* d = findPdfDocument(doc)) {
        d->compressionFlag = flag;
    }
    return 0;
}

std::int32_t PdfSetOption(std::int32_t doc, std::int32_t type, const std::string& value)
{
    PdfDocument* d = findPdfDocument(doc);
    if (d == nullptr) {
        return 0;
    }
    if (type == 1) {
        d->languageCode = value;
    } else if (type == 2) {
        std::string_view text = value;
        text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
        std::int32_t number = 0;
        std::from_chars(text.data(), text.data() + text.size(), number);
        d->numberOption = number;
    } else if (type == 3 && isDecimalSeparator(value)) {
        d->decimalSeparator = value;
    }
    return 0;
}

std::int32_t PdfSetHeaderProc(std::int32_t doc, PdfProcedure procedure, std::int32_t argument)
{
    if (PdfDocument* d = findPdfDocument(doc)) {
        d->headerProc = std::move(procedure);
        d->headerArgument = argument;
    }
    return 0;
}

std::int32_t PdfSetFooterProc(std::int32_t doc, PdfProcedure procedure, std::int32_t argument)
{
    if (PdfDocument* d = findPdfDocument(doc)) {
        d->footerProc = std::move(procedure);
        d->footerArgument = argument;
    }
    return 0;
}

std::int32_t PdfEnableHeader(std::int32_t doc, std::int32_t flag)
{
    if (PdfDocument* d = findPdfDocument(doc)) {
        d->headerEnabled = flag;
    }
    return 0;
}

std::int32_t PdfEnableFooter(std::int32_t doc, std::int32_t flag)
{
    if (PdfDocument* d = findPdfDocument(doc)) {
        d->footerEnabled = flag;
    }
    return 0;
}

std::int32_t PdfEnablePageNumberFooter(std::int32_t doc, std::int32_t flag)
{
    if (PdfDocument* d = findPdfDocument(doc)) {
        d->pageNumberFooterFlag = flag;
        if (flag == 1) {
            d->aliasFlag = 1;
        }
    }
    return 0;
}

std::int32_t PdfSetAliasNbPages(std::int32_t doc, const std::string& alias)
{
    if (PdfDocument* d = findPdfDocument(doc)) {
        d->pageCountAlias = alias;
        d->aliasFlag = 1;
    }
    return 0;
}

std::int32_t PdfSetFlag(std::int32_t doc, std::int32_t flag)
{
    if (PdfDocument* d = findPdfDocument(doc)) {
        d->pageCountingFlag = flag != 0 ? 1 : 0;
    }
    return 0;
}

std::int32_t PdfSetWordSpacing(std::int32_t doc, float value)
{
    if (PdfDocument* d = findPdfDocument(doc)) {
        d->wordSpacing = value;
    }
    return 0;
}

std::int32_t PdfAddTocEntry(std::int32_t doc, const std::string& text, std::int32_t level)
{
    if (PdfDocument* d = findPdfDocument(doc)) {
        d->tableOfContents.push_back({level, d->pageNumber, text});
    }
    return 0;
}

float PdfGetPageWidth(std::int32_t doc)
{
    const PdfDocument* d = findPdfDocument(doc);
    return d == nullptr ? 0.0f : d->pageWidth;
}

float PdfGetPageHeight(std::int32_t doc)
{
    const PdfDocument* d = findPdfDocument(doc);
    return d == nullptr ? 0.0f : d->pageHeight;
}

float PdfGetScaleFactor(std::int32_t doc)
{
    const PdfDocument* d = findPdfDocument(doc);
    return d == nullptr ? 0.0f : d->k;
}

float PdfGetX(std::int32_t doc)
{
    const PdfDocument* d = findPdfDocument(doc);
    return d == nullptr ? 0.0f : d->x;
}

float PdfGetY(std::int32_t doc)
{
    const PdfDocument* d = findPdfDocument(doc);
    return d == nullptr ? 0.0f : d->y;
}

float PdfGetMargin(std::int32_t doc, std::int32_t type)
{
    const PdfDocument* d = findPdfDocument(doc);
    if (d == nullptr) {
        return 0.0f;
    }
    switch (type) {
        case 1:
            return d->topMargin;
        case 2:
            return d->leftMargin;
        case 3:
            return d->rightMargin;
        case 4:
            return d->cellMargin;
        default:
            return 0.0f;
    }
}

float PdfGetFontSize(std::int32_t doc, std::int32_t type)
{
    const PdfDocument* d = findPdfDocument(doc);
    if (d == nullptr) {
        return 0.0f;
    }
    if (type == 1) {
        return static_cast<float>(d->fontSizePt);
    }
    return type == 2 ? d->fontSize : 0.0f;
}

float PdfGetFontSizeUnits(std::int32_t doc)
{
    const PdfDocument* d = findPdfDocument(doc);
    return d == nullptr ? 0.0f : d->fontSize;
}

float PdfGetWordSpacing(std::int32_t doc)
{
    const PdfDocument* d = findPdfDocument(doc);
    return d == nullptr ? 0.0f : d->wordSpacing;
}

std::int32_t PdfPageNo(std::int32_t doc, std::int32_t flag)
{
    const PdfDocument* d = findPdfDocument(doc);
    if (d == nullptr) {
        return 0;
    }
    return flag == 0 ? d->pageNumber : d->countedPageNumber;
}

std::int32_t PdfGetFlag(std::int32_t doc, std::int32_t flag)
{
    const PdfDocument* d = findPdfDocument(doc);
    if (d == nullptr) {
        return 0;
    }
    return flag != 0 ? d->pageCountingFlag : d->pageNumberFooterFlag;
}

std::int32_t PdfGetCounter(std::int32_t doc)
{
    const PdfDocument* d = findPdfDocument(doc);
    return d == nullptr ? 0 : d->lastObjectNumber;
}

std::int32_t PdfGetMultiCellLines(std::int32_t doc)
{
    const PdfDocument* d = findPdfDocument(doc);
    return d == nullptr ? 0 : d->multiCellLineCount;
}

} // namespace folvex
