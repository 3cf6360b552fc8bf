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

// Closes the document without writing anything; its spool file goes with it. Nothing for a number
// that is not open.
void PdfDiscard(std::int32_t doc);

// The system error (errno) of the last file the writer could not create or write (the output file of
// PdfSave, the spool file of an image); 0 when none since PdfCreate or when it is not known.
int PdfSystemError();

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

// Fonts. A family is one of the standard fonts (Courier, Helvetica or Arial, Times or Times-Roman,
// Symbol, ZapfDingbats; any other name gives Courier) or a family registered with PdfEmbedTrueType;
// style holds "B", "I" and "U" (underline) in any order and case. Sizes are whole points.

// Selects the current font; a size of 0 or less keeps the current size.
std::int32_t
PdfSetFont(std::int32_t doc, const std::string& family, const std::string& style, std::int32_t size);

// A size of 0 or less changes nothing.
std::int32_t PdfSetFontSize(std::int32_t doc, std::int32_t size);

// The width of text in the current font, in user units.
float PdfGetStringWidth(std::int32_t doc, const std::string& text);

// Embeds a TrueType font: font is a font file's path or, when system is not 0 or no such file exists,
// the family name of an installed font (best match for family, weight and slant of style). flags 16
// makes a composite font written with two-byte codes (any Unicode text of the basic plane), otherwise
// the font is a simple WinAnsi font. family names it for PdfSetFont (empty: the font's own name).
// Returns the font's name, or "" when nothing was added (not TrueType outlines, unreadable or bad
// font: error 7, a licence that forbids embedding: 9 or 10; a licence that forbids subsetting is
// reported as 11 and the font embedded whole).
std::string PdfEmbedTrueType(
    std::int32_t doc,
    const std::string& font,
    const std::string& family,
    const std::string& style,
    std::int32_t flags,
    std::int32_t system);

// Text. Positions and sizes in user units, y downwards from the top edge; −1 for x or y is the current
// position, for h the font size. border: 0 none, 1 frame, negative: −(sum of the edges 1 left, 2 top,
// 4 right, 8 bottom) drawn as lines. ln: 0 right of the cell, 1 start of the next line, 2 below the
// cell. align: "R", "C", "FJ" (full justification), otherwise left ("J" justifies a multi-cell). link: a
// link number or −1; target: the name of a link target or "".

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
    const std::string& target);

// A text wrapped into lines of width w (0: to the right margin), the first indented by indent. With
// maxline above 0 at most maxline lines are written; returns the text that was not written.
std::string PdfMultiCellPublic(
    std::int32_t doc,
    const std::string& text,
    float w,
    float h,
    std::int32_t border,
    const std::string& align,
    std::int32_t fill,
    std::int32_t indent,
    std::int32_t maxline);

std::int32_t PdfMultiCellBullet(
    std::int32_t doc,
    const std::string& text,
    float w,
    float h,
    std::int32_t border,
    const std::string& align,
    std::int32_t fill,
    const std::string& bullet);

// Flowing text from the current position, wrapped at the margins.
std::int32_t PdfWritePublic(
    std::int32_t doc, const std::string& text, float h, const std::string& target, std::int32_t link);

// Flowing text in size points, raised by offset points (lowered when negative).
std::int32_t PdfSubWrite(
    std::int32_t doc,
    const std::string& text,
    float h,
    std::int32_t size,
    float offset,
    const std::string& target,
    std::int32_t link);

// Text with its base line at (x, y); the position does not change.
std::int32_t PdfText(std::int32_t doc, const std::string& text, float x, float y);

// A cell with as much of text (followed by suffix) as fits; returns what was cut off.
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
    std::int32_t link);

// Moves to the start of the next line, h below (−1: the last cell's height).
std::int32_t PdfLnPublic(std::int32_t doc, float h);

// A contents page of the entries of PdfAddTocEntry; title "Local" is the document language's word.
// location not 0 moves the contents pages to stand before that page.
std::int32_t PdfTableOfContents(
    std::int32_t doc,
    std::int32_t location,
    const std::string& title,
    std::int32_t titleSize,
    std::int32_t entrySize,
    const std::string& family);

// Graphics. Colours: components 0 to 255, green and blue −1 make red a gray level; CMYK components 0
// to 1. kind 1 text, 2 draw, 3 fill colour. style: "D" or "" stroke, "F" fill, "DF" both.

std::int32_t PdfSetColor(std::int32_t doc, std::int32_t kind, float r, float g, float b);
std::int32_t PdfSetColorCmyk(std::int32_t doc, std::int32_t kind, float c, float m, float y, float k);
std::int32_t PdfSetLineWidthPublic(std::int32_t doc, float w);
// A dash pattern of black and white lengths; either 0 gives a solid line.
std::int32_t PdfSetDash(std::int32_t doc, std::int32_t black, std::int32_t white);
std::int32_t PdfLinePublic(std::int32_t doc, float x1, float y1, float x2, float y2);
std::int32_t PdfRectPublic(std::int32_t doc, float x, float y, float w, float h, const std::string& style);
std::int32_t
PdfRoundedRect(std::int32_t doc, float x, float y, float w, float h, float r, const std::string& style);
std::int32_t
PdfEllipsePublic(std::int32_t doc, float x, float y, float rx, float ry, const std::string& style);
std::int32_t PdfCircle(std::int32_t doc, float x, float y, float r, const std::string& style);
std::int32_t PdfTriangle(
    std::int32_t doc, float x1, float y1, float x2, float y2, float x3, float y3, const std::string& style);
// A pie sector around (xc, yc) from angle a to b (degrees); cw 1 clockwise; o the direction of angle 0.
std::int32_t PdfSector(
    std::int32_t doc,
    float xc,
    float yc,
    float r,
    float a,
    float b,
    const std::string& style,
    std::int32_t cw,
    float o);
std::int32_t PdfHorizontalLine(std::int32_t doc, float x, float y, float w);
// A measuring grid every spacing user units (−1: 5; outside 1 to 99: 100); switches page breaks off.
std::int32_t PdfGrid(std::int32_t doc, std::int32_t spacing);
std::int32_t PdfMoveTo(std::int32_t doc, float x, float y);
std::int32_t PdfLineTo(std::int32_t doc, float x, float y);
std::int32_t PdfCurve(std::int32_t doc, float x1, float y1, float x2, float y2, float x3, float y3);
std::int32_t PdfPaintPath(std::int32_t doc, const std::string& style);
std::int32_t PdfSetXPublic(std::int32_t doc, float x);
std::int32_t PdfSetYPublic(std::int32_t doc, float y, std::int32_t reset);
std::int32_t PdfSetXYPublic(std::int32_t doc, float x, float y);
std::int32_t PdfStartTransform(std::int32_t doc);
std::int32_t PdfStopTransform(std::int32_t doc);
// Scale factors in percent around (x, y); a factor 0 does nothing and returns −1.
std::int32_t PdfScalePublic(std::int32_t doc, float s, float x, float y);
std::int32_t PdfScaleX(std::int32_t doc, float s, float x, float y);
std::int32_t PdfScaleY(std::int32_t doc, float s, float x, float y);
std::int32_t PdfMirrorHorizontal(std::int32_t doc, float x);
std::int32_t PdfMirrorVertical(std::int32_t doc, float y);
std::int32_t PdfSkewX(std::int32_t doc, std::int32_t angle, float x, float y);
std::int32_t PdfSkewY(std::int32_t doc, std::int32_t angle, float x, float y);
// Offsets in points, y upwards.
std::int32_t PdfTranslate(std::int32_t doc, float tx, float ty);
std::int32_t PdfTranslateX(std::int32_t doc, float tx);
std::int32_t PdfTranslateY(std::int32_t doc, float ty);
// Rotates what follows by angle degrees around (x, y) until the next PdfRotate or the end of the page.
std::int32_t PdfRotate(std::int32_t doc, float angle, float x, float y);

// Links, annotations, form fields, outlines, attachments, scripts.

// An internal link to page (−1: the current one) at y (−1: the current y); returns its link number.
std::int32_t PdfAddLink(std::int32_t doc, std::int32_t page, std::int32_t y);

// A file attachment of embedded file index; 0 and nothing added when the index is below 0.
std::int32_t PdfAddLinkRecord(
    std::int32_t doc,
    std::int32_t embeddedFileIndex,
    const std::string& title,
    const std::string& contents,
    const std::string& iconName,
    float w,
    float h,
    float x);

// A launch action for file with parameter.
std::int32_t
PdfAddLinkValueRecord(std::int32_t doc, const std::string& file, float y, const std::string& parameter);

// A text note.
std::int32_t PdfAddLinkTextRecord(
    std::int32_t doc,
    const std::string& title,
    const std::string& contents,
    const std::string& iconName,
    float y);

// A URI link.
std::int32_t PdfAddLinkTextOnlyRecord(std::int32_t doc, const std::string& uri);

// Defines the link target name at the current position.
std::int32_t PdfAddNamedTarget(std::int32_t doc, const std::string& name);

// Places link record link (when 0 or more) or a link to the target name over the area.
std::int32_t
PdfLink(std::int32_t doc, float x, float y, float w, float h, const std::string& name, std::int32_t link);

std::int32_t PdfCheckBox(
    std::int32_t doc,
    const std::string& name,
    std::int32_t ticked,
    std::int32_t flags,
    float w,
    float h,
    std::int32_t ln);

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
    std::int32_t background);

// options: the choices separated by single blanks; selected −1 selects none.
std::int32_t PdfChoiceField(
    std::int32_t doc,
    const std::string& name,
    const std::string& defaultValue,
    const std::string& options,
    std::int32_t selected,
    std::int32_t flags,
    float w,
    float h,
    std::int32_t ln);

// An outline item at level (0 top; deeper than one below the previous item is taken as that) pointing
// at y (−1.0: the current y) of page (−1: the current page).
std::int32_t
PdfAddOutlineItem(std::int32_t doc, const std::string& title, std::int32_t level, float y, std::int32_t page);

// Embeds a file; returns its index in the embedded file list, 0 when it cannot be read (error 7).
std::int32_t
PdfPutEmbeddedFile(std::int32_t doc, const std::string& fileName, const std::string& description);

// A document-level script; returns its index.
std::int32_t PdfJavaScriptAction(std::int32_t doc, const std::string& script, const std::string& name);

// A document-level script read from a file; 1, or 0 with error 7 when it cannot be read.
std::int32_t PdfJavaScript(std::int32_t doc, const std::string& fileName, const std::string& name);

// Encrypts the document with the standard security handler (128-bit RC4). permissions: the bits 4 print,
// 8 modify, 16 copy, 32 annotate, 256 fill in, 512 extract, 1024 assemble, 2048 print well. An empty
// owner password takes the user password.
std::int32_t PdfSetProtection(
    std::int32_t doc,
    const std::string& userPassword,
    const std::string& ownerPassword,
    std::int64_t permissions);

} // namespace folvex
