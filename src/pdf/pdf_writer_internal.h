#pragma once
// The PDF writer's internal routines, shared by its source files: objects, entries and streams of the
// current document, number and string formatting, compression, page building, assembly and the file
// writer. They act on the current document (the one a public operation looked up last) and do nothing
// without one. Not for other folders; tests may use them. GUI thread only.

#include "pdf/pdf_document.h"

#include <cstdint>
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
// as Windows-1252 bytes. unicode not 0: prefix, FE FF, text as UTF-16BE with the bytes ( ) \ CR LF
// escaped, then suffix (ending in a line feed).
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

} // namespace folvex
