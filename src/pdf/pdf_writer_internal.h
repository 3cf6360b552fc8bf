#pragma once
// The PDF writer's internal routines, shared by its source files: objects, entries and streams of the
// current document, number and string formatting, compression, page building, assembly and the file
// writer. They act on the current document (the one a public operation looked up last) and do nothing
// without one. Not for other folders; tests may use them. GUI thread only.

#include "pdf/pdf_document.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace folvex {

// Objects of the current document. An empty objref means the object created last (for PdfOut: the
// current page's content stream); a reference that names no object makes the call do nothing.

// Creates the next object and records it in the list of its kind; returns the new index in that list
// for fonts, embedded files, JavaScript and pages, else 0.
std::int32_t PdfNewObject(PdfObjectKind kind, const std::string& text = {});

// "12 0 R" for 12.
std::string PdfObjRef(std::int32_t number);

// The number before the first blank, 0 when that is no number.
std::int32_t PdfObjNumber(std::string_view reference);

std::int32_t PdfPutEntry(
    const std::string& value,
    const std::string& prefix,
    const std::string& suffix,
    std::int32_t flags,
    const std::string& objref = {});

// Attaches bytes as the object's stream (replacing one attached before).
std::int32_t PdfPutStream(std::string data, std::int32_t marker, const std::string& objref = {});

// Attaches a range of the document's spool file as the object's stream.
std::int32_t putSpoolStream(PdfSpoolRange range, std::int32_t marker, const std::string& objref = {});

std::int32_t PdfPutFontStream(const std::string& text, std::int32_t value, const std::string& objref = {});

// Appends prefix + text + suffix as one line (a line feed is added when missing) to an object's stream,
// as Windows-1252 bytes. unicode not 0: prefix, text as two-byte codes (big-endian; characters beyond
// the basic plane as "?") with the bytes ( ) \ CR LF escaped, then suffix (ending in a line feed).
std::int32_t PdfOut(
    const std::string& text,
    const std::string& prefix = {},
    const std::string& suffix = {},
    std::int32_t unicode = 0,
    const std::string& objref = {});

// value with exactly decimals digits after ".", in any locale; non-finite values are written as 0.
std::string PdfNumber(float value, std::int32_t decimals);

// Escapes a text for a literal string of a page content: \ ( ) and control characters get a backslash,
// characters 128 to 255 become three octal digits, others stay (PdfOut turns them into Windows-1252).
std::string PdfEscapeText(std::string_view text);

// The octal digits of value read as a decimal number (233 gives 351).
std::int64_t PdfOctal(std::int32_t value);

// Replaces the first occurrence of alias in the object's stream by replacement.
std::int32_t
PdfReplaceAlias(const std::string& objref, const std::string& alias, const std::string& replacement);

// block = prefix + the bytes of the hexadecimal pairs of hex (a trailing single digit is ignored) + suffix.
void PdfHexToBuffer(
    std::string_view hex, std::string_view prefix, std::string_view suffix, PdfMemoryBlock& block);

// Deflates data (zlib level 6) into block; 1 on success, 0 on failure (block untouched).
std::int32_t PdfCompress(std::string_view data, PdfMemoryBlock& block);

// Reads a whole file and deflates it into block {data, uncompressed length, marker 32}; 1 on success.
// Error 7 when it cannot be read, 8 when it cannot be compressed.
std::int32_t PdfLoadCompressed(const std::string& fileName, PdfMemoryBlock& block);

// The bytes of a text string in a dictionary: PDFDocEncoding when every character has a code there,
// else UTF-16BE after the bytes FE FF.
std::string encodeTextString(std::string_view utf8);

// Appends the UTF-16BE code units of a UTF-8 text.
void appendUtf16Be(std::string& out, std::string_view utf8);

// Escapes bytes for a literal string: \ ( ) and control bytes get a backslash, bytes outside printable
// ASCII become three octal digits.
std::string escapeStringBytes(std::string_view bytes);

// Pages and the file.

// Finishes the open page and starts a new one on the current document; returns 1.
std::int32_t
PdfBeginPage(const std::string& orientation, const std::string& format, float widthPt, float heightPt);

// Finishes, assembles, writes and removes document doc; returns 0, or 6 when the file was not written.
std::int32_t PdfClose(std::int32_t doc, const std::string& fileName);

// Adds the entries that need the whole document.
void PdfAssemble();

// Writes the current document's file; returns 0, or 6 (also recorded as the error code).
std::int32_t PdfWriteFile(const std::string& fileName);

// Writes the document's file layout to output; false when a write fails or spooled data cannot be read.
[[nodiscard]] bool writePdfDocument(PdfDocument& document, PdfOutputFile& output);

// The PDFDocEncoding byte of a character, nullopt when it has none.
std::optional<std::uint8_t> pdfDocEncodingByte(char32_t code);

// Fonts.

// Widths in 1/1000 em of ZapfDingbats, Helvetica, Helvetica-Bold, Helvetica-Oblique,
// Helvetica-BoldOblique, Times-Roman, Times-Bold, Times-Italic, Times-BoldItalic and Symbol, by code.
extern const std::array<std::array<std::uint16_t, 256>, 10> PdfCoreFontWidths;

// What the TrueType parser reads; lengths in 1/1000 em.
struct PdfTrueTypeInfo
{
    std::string version; // upper-case hexadecimal of the first 32-bit value, "10000" for TrueType outlines
    std::string name;
    std::int32_t encodingId = 0; // of the cmap used: 1 Unicode, 0 symbol
    std::int16_t xMin = 0;
    std::int16_t xMax = 0;
    std::int16_t yMin = 0;
    std::int16_t yMax = 0;
    std::int32_t ascent = 0;
    std::int32_t descent = 0;
    std::int32_t capHeight = 0;
    std::int32_t missingWidth = 0;
    float italicAngle = 0;
    std::int32_t unitsPerEm = 0;
    std::int32_t stemV = 0;
    std::map<std::uint32_t, std::int32_t> widths; // by character code
    std::string glyphMap;                         // 65536 big-endian glyph indexes, by character code
    std::int32_t embeddingPermissions = 0;        // OS/2 fsType
    bool fixedPitch = false;
    bool italicStyle = false; // head macStyle
    std::string fontData;     // the whole font program
};

// Selects the current font (a size of 0 or less keeps the current size) and writes its line on a page.
std::int32_t PdfSetFontCore(const std::string& family, const std::string& style, std::int32_t size);

std::int32_t PdfSetFontSizeCore(std::int32_t size);

// The width of text in the current font: 1/1000 em, or user units when scaled is not 0. An 8-bit font
// measures each character by the byte it is written as, a composite font by its code point.
float PdfStringWidth(std::string_view text, std::int32_t scaled);

// Adds a standard font under key; 0 when the key exists.
std::int32_t PdfCoreFont(const std::string& family, const std::string& style, const std::string& key);

// The resource number ("/F" + number) of a standard font in its regular style, added to the document
// when it is not there yet. The current font stays.
std::int32_t coreFontNumber(PdfDocument& d, const std::string& family);

// The standard font of check marks, and the second resource name it has in a document with form
// fields (the one viewers expect in a button's default appearance).
inline constexpr const char* ButtonSymbolFont = "ZapfDingbats";
inline constexpr const char* ButtonSymbolFontKey = "ZaDb";

// Reads a TrueType font (a file, or an installed font when system is not 0 or no file font exists);
// 1 when info was filled. Every read is bounded; a damaged font gives 0 and error 7.
std::int32_t PdfParseTrueType(
    const std::string& font, const std::string& style, PdfTrueTypeInfo& info, std::int32_t system);

// The low 16 bits as a signed number, bytes exchanged when swap is not 0.
std::int16_t ReadInt16(std::uint32_t value, std::int32_t swap);

// The text of byteLength / 2 big-endian UTF-16 code units, as UTF-8.
std::string ReadUTF16BEString(const char* address, std::int32_t byteLength);

// The file data of the installed font that best matches family and style (a collection member as a
// font of its own); nullopt when there is none.
std::optional<std::string> loadInstalledFont(const std::string& family, const std::string& style);

// Selects Helvetica when the document has no current font yet.
void ensureCurrentFont(PdfDocument& d);

// The "/Font" entry of the shared resources.
void writeFontResources(PdfDocument& d);

// Text layout (user units).

std::int32_t PdfCell(
    float w,
    float h,
    const std::string& text,
    std::int32_t border,
    std::int32_t ln,
    const std::string& align,
    std::int32_t fill,
    std::int32_t link,
    const std::string& target);

std::string PdfMultiCell(
    float w,
    float h,
    const std::string& text,
    std::int32_t border,
    const std::string& align,
    std::int32_t fill,
    float indent,
    std::int32_t maxline);

std::int32_t PdfWrite(float h, const std::string& text, std::int32_t link, const std::string& target);

std::int32_t PdfLn(float h);

// Writes prefix, the text as a font writes it (unicode 0: escaped bytes of an 8-bit font, else the
// two-byte codes of a composite font) and suffix as one line of an object's stream (empty: the
// current page).
void outText(
    std::int32_t unicode,
    const std::string& text,
    const std::string& prefix,
    const std::string& suffix,
    const std::string& objref);

// The operators of an underline bar below text at (x, y).
std::string PdfUnderline(float x, float y, std::string_view text);

// Graphics on the current document.

std::int32_t PdfSetDrawColor(float r, float g, float b);
std::int32_t PdfSetTextColor(float r, float g, float b);
std::int32_t PdfSetLineWidth(float w);
std::int32_t PdfLine(float x1, float y1, float x2, float y2);
std::int32_t PdfRect(float x, float y, float w, float h, const std::string& style);
std::int32_t PdfEllipse(float x, float y, float rx, float ry, const std::string& style);
std::int32_t PdfMoveToOp(float x, float y);
std::int32_t PdfLineToOp(float x, float y);
std::int32_t PdfCurveOp(float x1, float y1, float x2, float y2, float x3, float y3);
std::int32_t PdfPaintOp(const std::string& style);
std::int32_t PdfSetX(float x);
std::int32_t PdfSetY(float y, std::int32_t reset);
std::int32_t PdfSetXY(float x, float y);
std::int32_t PdfTransform(float a, float b, float c, float d, float e, float f);
std::int32_t PdfScale(float sx, float sy, float x, float y);
std::int32_t PdfSkew(float ax, float ay, float x, float y);

// Links and form fields.

// "/Rect [left top right bottom]" of an area in points.
std::string annotationRect(float left, float top, float width, float height);

// The top edge of an area at y (user units from the top) on the current page, in points from the bottom.
float topEdgePt(const PdfDocument& d, float y);

// Places link record link over the area of the current page.
void PdfPutAnnotations(std::int32_t link, float x, float y, float w, float h);

// A link annotation to the link target name.
std::int32_t PdfNamedLinkAnnot(const std::string& name, float x, float y, float w, float h);

// Assembly: link destinations, annotation lists, the AcroForm and the outline (before the page tree),
// the name trees of embedded files and scripts (after it).
void assembleInteractiveObjects(PdfDocument& d);
void assembleNameTrees(PdfDocument& d);

// Security. Byte strings are hexadecimal texts (upper-case digits out, either case in).

std::int32_t
PdfComputeKeys(const std::string& userPassword, const std::string& ownerPassword, std::int64_t p);
std::string PdfPadPassword(const std::string& password);
std::string PdfMD5Hex(const std::string& hex);
// mode bit 1: key in hexadecimal (else bytes), 2: data in hexadecimal, 8: result as bytes (else hex).
std::string PdfRC4Hex(const std::string& data, const std::string& key, std::int32_t mode);
void PdfRC4Buffer(const std::string& keyHex, char* address, std::size_t length);
std::string PdfPermissionsHex(std::int64_t p);
std::string PdfObjectKeySuffix(std::int32_t objectNumber, std::int32_t generation);
// The key of one object, 16 bytes as hexadecimal text.
std::string objectKeyHex(const std::string& fileKeyHex, std::int32_t objectNumber, std::int32_t generation);
// Encrypted bytes of a text string, escaped, as hexadecimal text.
std::string PdfEncryptString(std::int32_t objectNumber, std::int32_t generation, std::string_view bytes);
void PdfEncryptStream(std::int32_t objectNumber, std::int32_t generation, char* address, std::size_t length);
std::string PdfEscapeHexBytes(const std::string& hex);

// Adds the encryption dictionary when protection is on (the last object, after every other).
void writeEncryptionDictionary(PdfDocument& d);

} // namespace folvex
