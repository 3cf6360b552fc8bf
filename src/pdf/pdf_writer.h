#pragma once
// The PDF writer's public operations: create a document, add pages, set document information and
// viewer settings, read the page geometry, save the file. Every operation takes the document number
// first and makes that document current; a number that is not open does nothing and returns 0, 0.0 or
// the empty text. Texts are UTF-8; lengths are in the document's user unit. GUI thread only.

#include "pdf/pdf_document.h"

#include <cstdint>
#include <string>

namespace folvex {

// Creates document doc (−1: the smallest free number from 1; an open document of that number is
// built anew). orientation "P" or "L" (first character, any case; empty = "P"); unit "pt", "mm", "cm"
// or "in" (anything else = "mm"); format "width,height" in points (empty = A4); widthPt and heightPt
// give a custom size when both are above 0 (−1.0 = not given). Returns the number, 0 on failure.
std::int32_t PdfCreate(
    std::int32_t doc,
    const std::string& orientation,
    const std::string& unit,
    const std::string& format,
    float widthPt,
    float heightPt);

// Finishes the current page (footer) and starts a new one (header); empty orientation and format and
// no custom size take the document's defaults. Returns 1, or 0 when doc is not open.
std::int32_t PdfAddPage(
    std::int32_t doc,
    const std::string& orientation,
    const std::string& format,
    float widthPt,
    float heightPt);

// Finishes, writes and closes the document. The file is written under a temporary name and replaces
// fileName only when complete. Returns 0 on success (also for a document that is not open) and 6
// when the file could not be written; the document is closed either way.
std::int32_t PdfSave(std::int32_t doc, const std::string& fileName);

// "(" + escaped text + ")".
std::string PdfLiteral(std::int32_t doc, const std::string& text);

std::int32_t PdfErrorCode(std::int32_t doc);

// The English text of the last error code, empty for 0.
std::string PdfErrorText(std::int32_t doc);

// Settings. Each returns 0.

// type 1 Author, 2 Title, 3 Subject, 4 Keywords, 5 Creator; a later call of a type replaces its value.
std::int32_t PdfSetInfo(std::int32_t doc, std::int32_t type, const std::string& text);

// The page shown first and its zoom: "PageTop", "PageWidth" (also the empty text), "FullPage", or a
// percentage such as "75" or "150%".
std::int32_t PdfSetDisplayMode(std::int32_t doc, const std::string& zoom, std::int32_t page);

// A PDF name with its slash, such as "/TwoColumnLeft"; anything else is ignored.
std::int32_t PdfSetPageLayout(std::int32_t doc, const std::string& layout);

// A PDF name with its slash, such as "/UseOutlines"; anything else is ignored.
std::int32_t PdfSetPageMode(std::int32_t doc, const std::string& mode);

// Left, top and right margins; right −1.0 takes the left margin.
std::int32_t PdfSetMargins(std::int32_t doc, float left, float top, float right);

// type 1 top, 2 left, 3 right, 4 cell margin.
std::int32_t PdfSetMargin(std::int32_t doc, std::int32_t type, float value);

std::int32_t PdfSetAutoPageBreak(std::int32_t doc, std::int32_t flag, float margin);

// 1 compresses the page contents when the file is written.
std::int32_t PdfSetCompression(std::int32_t doc, std::int32_t flag);

// type 1 language code, 2 number option, 3 decimal separator (one character that is no digit and no
// sign; other values are ignored).
std::int32_t PdfSetOption(std::int32_t doc, std::int32_t type, const std::string& value);

std::int32_t PdfSetHeaderProc(std::int32_t doc, PdfProcedure procedure, std::int32_t argument);

std::int32_t PdfSetFooterProc(std::int32_t doc, PdfProcedure procedure, std::int32_t argument);

std::int32_t PdfEnableHeader(std::int32_t doc, std::int32_t flag);

std::int32_t PdfEnableFooter(std::int32_t doc, std::int32_t flag);

// Flag exactly 1 also switches the "{p}" replacement on.
std::int32_t PdfEnablePageNumberFooter(std::int32_t doc, std::int32_t flag);

// The page-count alias, replaced by the number of pages; switches the "{p}" replacement on.
std::int32_t PdfSetAliasNbPages(std::int32_t doc, const std::string& alias);

// Page counting on (flag not 0) or off.
std::int32_t PdfSetFlag(std::int32_t doc, std::int32_t flag);

std::int32_t PdfSetWordSpacing(std::int32_t doc, float value);

std::int32_t PdfAddTocEntry(std::int32_t doc, const std::string& text, std::int32_t level);

// Getters.

float PdfGetPageWidth(std::int32_t doc);

float PdfGetPageHeight(std::int32_t doc);

// Points per user unit.
float PdfGetScaleFactor(std::int32_t doc);

float PdfGetX(std::int32_t doc);

float PdfGetY(std::int32_t doc);

// type 1 top, 2 left, 3 right, 4 cell margin; 0.0 for other types.
float PdfGetMargin(std::int32_t doc, std::int32_t type);

// type 1 in points, 2 in user units; 0.0 for other types.
float PdfGetFontSize(std::int32_t doc, std::int32_t type);

float PdfGetFontSizeUnits(std::int32_t doc);

float PdfGetWordSpacing(std::int32_t doc);

// flag 0: the current page's number (0 before the first page); otherwise the counted page number.
std::int32_t PdfPageNo(std::int32_t doc, std::int32_t flag);

// flag not 0: the page counting flag; flag 0: the page-number footer flag.
std::int32_t PdfGetFlag(std::int32_t doc, std::int32_t flag);

// The number of objects so far.
std::int32_t PdfGetCounter(std::int32_t doc);

std::int32_t PdfGetMultiCellLines(std::int32_t doc);

} // namespace folvex
