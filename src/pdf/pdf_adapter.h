#pragma once
// The pdf_ procedures through which the rest of the program uses the PDF writer: each converts its
// arguments into the writer's forms (orientation and unit letters, the page-format text, default
// markers) and makes one call on document PdfCurrentDoc. Texts are UTF-8. GUI thread only.

#include <cstdint>
#include <string>

namespace folvex {

// The document every procedure works on; nothing changes it.
inline std::int32_t PdfCurrentDoc = 0;

// 1 once pdf_AddPage has been called in this run.
inline std::uint8_t PdfPageAdded = 0;

// The page-format text "width,height" in points with two decimals: 0, 7 and −1 A4; 1 to 45 the
// ISO 216 and 217 sizes (4A0, 2A0, A0–A10, B0–B10, C0–C10, RA0–RA4, SRA0–SRA4); 46 to 49 four fixed
// sizes; the empty text for any other index.
std::string PdfPageFormats(std::int32_t index);

// "P" for 0 and 1, "L" for every other value.
std::string pdfOrientationText(std::int32_t orientation);

// "pt" for 0 and 1, "mm" 2, "cm" 3, "in" 4, the empty text (the writer's millimetres) otherwise.
std::string pdfUnitText(std::int32_t unit);

// Opens the document. width and height in points, −1.0 for none. Returns the document number (0).
std::int32_t
pdf_Create(std::int32_t orientation, std::int32_t unit, std::int32_t format, float width, float height);

std::int32_t pdf_SetAuthor(const std::string& text);

std::int32_t pdf_SetCreator(const std::string& text);

// Adds a page; width and height in points (−1.0: the format's size). 1, or 0 without a document.
std::int32_t pdf_AddPage(std::int32_t orientation, std::int32_t format, float width, float height);

// Places an image file (see PdfImage); w or h 0.0 counts as −1.0. Returns 0, or the error code when
// nothing was placed.
std::int32_t pdf_Image(const std::string& fileName, float x, float y, float w, float h, std::int32_t link);

// flag 0: the number of pages begun so far (0.0 also without a document); else the counted page.
float pdf_PageNo(std::int32_t flag);

// Writes the document to fileName and ends it. 0, or the writer's error code (6: not written).
std::int32_t pdf_Save(const std::string& fileName);

} // namespace folvex
