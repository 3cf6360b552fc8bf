// The pdf_ procedures and the page-format table.
#include "pdf/pdf_adapter.h"

#include "pdf/pdf_images.h"
#include "pdf/pdf_images_internal.h"
#include "pdf/pdf_writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace folvex {

namespace {

struct SizeMm
{
    int shortSide;
    int longSide;
};

// Indexes 1 to 45.
constexpr std::array<SizeMm, 45> IsoSizes = {{
    {1682, 2378}, {1189, 1682},                                                             // 4A0, 2A0
    {841, 1189},  {594, 841},   {420, 594}, {297, 420}, {210, 297}, {148, 210}, {105, 148}, // A0-A6
    {74, 105},    {52, 74},     {37, 52},   {26, 37},                                       // A7-A10
    {1000, 1414}, {707, 1000},  {500, 707}, {353, 500}, {250, 353}, {176, 250}, {125, 176}, // B0-B6
    {88, 125},    {62, 88},     {44, 62},   {31, 44},                                       // B7-B10
    {917, 1297},  {648, 917},   {458, 648}, {324, 458}, {229, 324}, {162, 229}, {114, 162}, // C0-C6
    {81, 114},    {57, 81},     {40, 57},   {28, 40},                                       // C7-C10
    {860, 1220},  {610, 860},   {430, 610}, {305, 430}, {215, 305},                         // RA0-RA4
    {900, 1280},  {640, 900},   {450, 640}, {320, 450}, {225, 320},                         // SRA0-SRA4
}};

constexpr std::array<const char*, 4> FixedFormats = {
    "612.00,792.00", "612.00,1008.00", "521.86,756.00", "612.00,936.00"};

// The marker callers pass for "the current position" to the mirror, scale and skew procedures, and to
// pdf_Rotate; compared exactly.
constexpr float OmittedMarker = -999.123f;
constexpr float OmittedRotateMarker = -999.0f;

float position(float value, float marker)
{
    return value == marker ? -1.0f : value;
}

float unitRange(float value)
{
    return std::clamp(value, 0.0f, 1.0f);
}

std::string pointsText(int millimetres)
{
    std::array<char, 32> buffer{};
    const double points = millimetres * 72.0 / 25.4;
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), points, std::chars_format::fixed, 2);
    return std::string(buffer.data(), result.ptr);
}

} // namespace

std::string PdfPageFormats(std::int32_t index)
{
    if (index == 0 || index == 7 || index == -1) {
        return "595.28,841.89";
    }
    if (index >= 1 && index <= 45) {
        const SizeMm size = IsoSizes[static_cast<std::size_t>(index - 1)];
        return pointsText(size.shortSide) + "," + pointsText(size.longSide);
    }
    if (index >= 46 && index <= 49) {
        return FixedFormats[static_cast<std::size_t>(index - 46)];
    }
    return {};
}

std::string pdfOrientationText(std::int32_t orientation)
{
    return orientation == 0 || orientation == 1 ? "P" : "L";
}

std::string pdfUnitText(std::int32_t unit)
{
    switch (unit) {
        case 0:
        case 1:
            return "pt";
        case 2:
            return "mm";
        case 3:
            return "cm";
        case 4:
            return "in";
        default:
            return {};
    }
}

std::int32_t
pdf_Create(std::int32_t orientation, std::int32_t unit, std::int32_t format, float width, float height)
{
    return PdfCreate(
        PdfCurrentDoc,
        pdfOrientationText(orientation),
        pdfUnitText(unit),
        PdfPageFormats(format),
        width,
        height);
}

std::int32_t pdf_SetAuthor(const std::string& text)
{
    return PdfSetInfo(PdfCurrentDoc, 1, text);
}

std::int32_t pdf_SetCreator(const std::string& text)
{
    return PdfSetInfo(PdfCurrentDoc, 5, text);
}

std::int32_t pdf_AddPage(std::int32_t orientation, std::int32_t format, float width, float height)
{
    const std::int32_t result =
        PdfAddPage(PdfCurrentDoc, pdfOrientationText(orientation), PdfPageFormats(format), width, height);
    PdfPageAdded = 1;
    return result;
}

std::int32_t pdf_Image(const std::string& fileName, float x, float y, float w, float h, std::int32_t link)
{
    return placeImageFile(PdfCurrentDoc, fileName, x, y, w == 0.0f ? -1.0f : w, h == 0.0f ? -1.0f : h, link);
}

void pdf_Discard()
{
    PdfDiscard(PdfCurrentDoc);
}

std::int32_t pdf_SystemError()
{
    return PdfSystemError();
}

float pdf_PageNo(std::int32_t flag)
{
    return static_cast<float>(PdfPageNo(PdfCurrentDoc, flag));
}

std::int32_t pdf_Save(const std::string& fileName)
{
    return PdfSave(PdfCurrentDoc, fileName);
}

std::int32_t pdf_SetFont(const std::string& family, std::int32_t style, std::int32_t size)
{
    if (PdfPageAdded == 0) {
        if (MessageRequester* messages = pdfMessages()) {
            messages->showMessage(
                PdfSetFontRefusalTitle, PdfSetFontRefusalText, MessageButtons::Ok, MessageIcon::None);
        }
        return 0;
    }
    std::string letters;
    if ((style & 1) != 0) {
        letters += "B";
    }
    if ((style & 2) != 0) {
        letters += "I";
    }
    if ((style & 4) != 0) {
        letters += "U";
    }
    return PdfSetFont(PdfCurrentDoc, family, letters, size);
}

std::int32_t pdf_SetTextColor(float r, float g, float b)
{
    return PdfSetColor(PdfCurrentDoc, 1, r, g, b);
}

std::int32_t pdf_SetDrawColor(float r, float g, float b)
{
    return PdfSetColor(PdfCurrentDoc, 2, r, g, b);
}

std::int32_t pdf_SetFillColor(float r, float g, float b)
{
    return PdfSetColor(PdfCurrentDoc, 3, r, g, b);
}

std::int32_t pdf_SetTextColorCMYK(float c, float m, float y, float k)
{
    return PdfSetColorCmyk(PdfCurrentDoc, 1, unitRange(c), unitRange(m), unitRange(y), unitRange(k));
}

std::int32_t pdf_SetDrawColorCMYK(float c, float m, float y, float k)
{
    return PdfSetColorCmyk(PdfCurrentDoc, 2, unitRange(c), unitRange(m), unitRange(y), unitRange(k));
}

std::int32_t pdf_SetFillColorCMYK(float c, float m, float y, float k)
{
    return PdfSetColorCmyk(PdfCurrentDoc, 3, unitRange(c), unitRange(m), unitRange(y), unitRange(k));
}

std::int32_t pdf_SetLineWidth(float width)
{
    return PdfSetLineWidthPublic(PdfCurrentDoc, width);
}

std::int32_t pdf_SetDash(std::int32_t dash, std::int32_t gap)
{
    return PdfSetDash(PdfCurrentDoc, dash, gap);
}

std::int32_t pdf_Rotate(float angle, float x, float y)
{
    return PdfRotate(
        PdfCurrentDoc, angle, position(x, OmittedRotateMarker), position(y, OmittedRotateMarker));
}

std::int32_t pdf_MirrorH(float x)
{
    return PdfMirrorHorizontal(PdfCurrentDoc, position(x, OmittedMarker));
}

std::int32_t pdf_MirrorV(float y)
{
    return PdfMirrorVertical(PdfCurrentDoc, position(y, OmittedMarker));
}

std::int32_t pdf_ScaleX(float factor, float x, float y)
{
    return PdfScaleX(PdfCurrentDoc, factor, position(x, OmittedMarker), position(y, OmittedMarker));
}

std::int32_t pdf_ScaleY(float factor, float x, float y)
{
    return PdfScaleY(PdfCurrentDoc, factor, position(x, OmittedMarker), position(y, OmittedMarker));
}

std::int32_t pdf_SkewX(float angle, float x, float y)
{
    return PdfSkewX(
        PdfCurrentDoc,
        static_cast<std::int32_t>(std::lround(angle)),
        position(x, OmittedMarker),
        position(y, OmittedMarker));
}

std::int32_t pdf_SkewY(float angle, float x, float y)
{
    return PdfSkewY(
        PdfCurrentDoc,
        static_cast<std::int32_t>(std::lround(angle)),
        position(x, OmittedMarker),
        position(y, OmittedMarker));
}

std::int32_t pdf_TranslateX(float distance)
{
    return PdfTranslateX(PdfCurrentDoc, distance);
}

std::int32_t pdf_TranslateY(float distance)
{
    return PdfTranslateY(PdfCurrentDoc, distance);
}

} // namespace folvex
