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

// Closes the document without writing it.
void pdf_Discard();

// The system error (errno) of the last output or spool file that could not be written; 0 when none.
std::int32_t pdf_SystemError();

// flag 0: the number of pages begun so far (0.0 also without a document); else the counted page.
float pdf_PageNo(std::int32_t flag);

// Writes the document to fileName and ends it. 0, or the writer's error code (6: not written).
std::int32_t pdf_Save(const std::string& fileName);

// Selects a font (style bits: 1 bold, 2 italic, 4 underline). Refused with a message box until
// pdf_AddPage has been called once in this run.
std::int32_t pdf_SetFont(const std::string& family, std::int32_t style, std::int32_t size);

// Colours: components 0 to 255 (green and blue −1 make red a gray level); CMYK components are held to
// 0 to 1.
std::int32_t pdf_SetTextColor(float r, float g, float b);
std::int32_t pdf_SetDrawColor(float r, float g, float b);
std::int32_t pdf_SetFillColor(float r, float g, float b);
std::int32_t pdf_SetTextColorCMYK(float c, float m, float y, float k);
std::int32_t pdf_SetDrawColorCMYK(float c, float m, float y, float k);
std::int32_t pdf_SetFillColorCMYK(float c, float m, float y, float k);

std::int32_t pdf_SetLineWidth(float width);
std::int32_t pdf_SetDash(std::int32_t dash, std::int32_t gap);

// Transformations. A coordinate of −999.0 (pdf_Rotate) or −999.123 (the others) is the current
// position.
std::int32_t pdf_Rotate(float angle, float x, float y);
std::int32_t pdf_MirrorH(float x);
std::int32_t pdf_MirrorV(float y);
std::int32_t pdf_ScaleX(float factor, float x, float y);
std::int32_t pdf_ScaleY(float factor, float x, float y);
// The angle is rounded to whole degrees.
std::int32_t pdf_SkewX(float angle, float x, float y);
std::int32_t pdf_SkewY(float angle, float x, float y);
std::int32_t pdf_TranslateX(float distance);
std::int32_t pdf_TranslateY(float distance);

// The texts of pdf_SetFont's refusal.
inline constexpr const char* PdfSetFontRefusalTitle = "Fehler!";
inline constexpr const char* PdfSetFontRefusalText =
    "Vellorin2.dll / pdf_SetFont: Es wurde noch keine Seite hinzugefügt!";

} // namespace folvex
