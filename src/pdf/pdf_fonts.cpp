// Fonts of a document: the standard fonts with their built-in widths, TrueType fonts embedded as simple
// WinAnsi fonts or as composite fonts with two-byte codes, the current font and size, and measuring.
#include "pdf/pdf_writer.h"
#include "pdf/pdf_writer_internal.h"
#include "runtime/text.h"

#include <array>
#include <cmath>

namespace folvex {

namespace {

constexpr std::int32_t CompositeFontFlag = 16;
constexpr std::int32_t CourierWidth = 600;
constexpr std::int32_t DefaultStemV = 70;

// fsType bits of the OS/2 table.
constexpr std::int32_t RestrictedLicence = 0x0002;
constexpr std::int32_t PreviewAndPrint = 0x0004;
constexpr std::int32_t Editable = 0x0008;
constexpr std::int32_t NoSubsetting = 0x0100;
constexpr std::int32_t BitmapOnly = 0x0200;

struct CoreFont
{
    const char* key; // upper-case family + style
    const char* baseName;
    int table; // index in PdfCoreFontWidths, −1 for Courier
};

constexpr std::array<CoreFont, 14> CoreFonts = {{
    {"COURIER", "Courier", -1},
    {"COURIERB", "Courier-Bold", -1},
    {"COURIERI", "Courier-Oblique", -1},
    {"COURIERBI", "Courier-BoldOblique", -1},
    {"HELVETICA", "Helvetica", 1},
    {"HELVETICAB", "Helvetica-Bold", 2},
    {"HELVETICAI", "Helvetica-Oblique", 3},
    {"HELVETICABI", "Helvetica-BoldOblique", 4},
    {"ZAPFDINGBATS", "ZapfDingbats", 0},
    {"TIMES", "Times-Roman", 5},
    {"TIMESI", "Times-Italic", 7},
    {"TIMESBI", "Times-BoldItalic", 8},
    {"TIMESB", "Times-Bold", 6},
    {"SYMBOL", "Symbol", 9},
}};

struct LicenceTexts
{
    const char* title;
    const char* noEmbedding;
    const char* bitmapOnly;
    const char* noSubsetting;
};

LicenceTexts licenceTexts(const std::string& language)
{
    if (language == "DE" || language == "AT") {
        return {
            "Zeichensatz einbetten",
            "Schriftart darf auf Grund der Lizenz nicht in PDF eingebettet werden.",
            "Die Schrift darf nur als Bitmap-Schrift eingebettet werden.",
            "Die Schriftart darf nicht als Subsetting eingebettet werden."};
    }
    if (language == "FR") {
        return {
            "Intégrer le jeu de caractères",
            "La police peut ne pas être incorporée dans le PDF en raison de la licence.",
            "La police ne peut être intégrée que sous forme de police bitmap.",
            "La police ne doit pas être intégrée en tant que sous-ensemble."};
    }
    if (language == "ES") {
        return {
            "Incrustar juego de caracteres",
            "La fuente no puede estar incrustada en PDF debido a la licencia.",
            "La fuente sólo se puede incrustar como fuente de mapa de bits.",
            "La fuente no debe ser incrustada como un subconjunto."};
    }
    if (language == "IT") {
        return {
            "Incorporare il set di caratteri",
            "Il carattere potrebbe non essere incorporato nel PDF a causa della licenza.",
            "Il font può essere incorporato solo come font bitmap.",
            "Il font non deve essere incorporato come sottoinsieme."};
    }
    return {
        "Embed character set",
        "Font may not be embedded in PDF according to license.",
        "Font may only be embedded as bitmap font.",
        "Font may not be embedded as subsetting."};
}

// Upper case, trimmed, "U" removed, "IB" made "BI"; underline tells whether a "U" was there.
std::string normalizedStyle(const std::string& style, bool& underline)
{
    const std::string upperStyle = upperCase(style);
    std::string upper(trimBlanks(upperStyle));
    underline = upper.find('U') != std::string::npos;
    std::erase(upper, 'U');
    if (upper == "IB") {
        upper = "BI";
    }
    return upper;
}

std::string fontKey(const std::string& style, const std::string& family)
{
    std::string field = style.substr(0, 3);
    field.insert(0, 3 - field.size(), '_');
    return upperCase(field + family);
}

// The byte an 8-bit font writes for a character: its Windows-1252 code, "?" when there is none.
std::uint8_t writtenByte(char32_t code)
{
    return unicodeToCp1252(code).value_or(static_cast<std::uint8_t>('?'));
}

void showLicenceMessage(PdfDocument& d, PdfError error)
{
    const LicenceTexts texts = licenceTexts(d.languageCode);
    const char* text = error == PdfError::FontLicence      ? texts.noEmbedding
                       : error == PdfError::FontBitmapOnly ? texts.bitmapOnly
                                                           : texts.noSubsetting;
    if (MessageRequester* messages = pdfMessages()) {
        messages->showMessage(texts.title, text, MessageButtons::Ok, MessageIcon::Warning);
    }
}

// The licence check: the error that forbids embedding, or nullopt (no-subsetting is reported and
// allowed, as the font is embedded whole).
std::optional<PdfError> licenceRefusal(PdfDocument& d, std::int32_t fsType)
{
    if ((fsType & RestrictedLicence) != 0 && (fsType & (PreviewAndPrint | Editable)) == 0) {
        setPdfError(d, PdfError::FontLicence);
        showLicenceMessage(d, PdfError::FontLicence);
        return PdfError::FontLicence;
    }
    if ((fsType & BitmapOnly) != 0) {
        setPdfError(d, PdfError::FontBitmapOnly);
        showLicenceMessage(d, PdfError::FontBitmapOnly);
        return PdfError::FontBitmapOnly;
    }
    if ((fsType & NoSubsetting) != 0) {
        setPdfError(d, PdfError::FontNoSubsetting);
        showLicenceMessage(d, PdfError::FontNoSubsetting);
    }
    return std::nullopt;
}

// A stream object holding deflated bytes; its reference, or "" when they cannot be compressed.
std::string compressedStreamObject(const std::string& data)
{
    PdfMemoryBlock block;
    if (PdfCompress(data, block) == 0) {
        return {};
    }
    PdfNewObject(PdfObjectKind::Plain);
    PdfPutEntry(
        "/Filter /FlateDecode /Length " + std::to_string(block.data.size()) + " /Length1 " +
            std::to_string(data.size()),
        "",
        "",
        PdfEntryPlain);
    PdfPutStream(std::move(block.data), PdfCompressedStreamMarker);
    return PdfObjRef(currentPdfDocument()->lastObjectNumber);
}

std::string identityToUnicodeMap()
{
    std::string text = "\n/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                       "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                       "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                       "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    static constexpr char Hex[] = "0123456789ABCDEF";
    int code = 0;
    for (const int count : {100, 100, 56}) {
        text += std::to_string(count) + " beginbfrange\n";
        for (int i = 0; i < count; ++i, ++code) {
            const std::string xx{Hex[code >> 4], Hex[code & 15]};
            text += "<" + xx + "00> <" + xx + "FF> <" + xx + "00>\n";
        }
        text += "endbfrange\n";
    }
    text += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    return text;
}

void ensureUnicodeMap(PdfDocument& d)
{
    if (!d.unicodeMapRef.empty()) {
        return;
    }
    const std::string text = identityToUnicodeMap();
    PdfMemoryBlock block;
    PdfNewObject(PdfObjectKind::Plain);
    d.unicodeMapRef = PdfObjRef(d.lastObjectNumber);
    if (PdfCompress(text, block) != 0) {
        PdfPutEntry(
            "/Filter /FlateDecode /Length " + std::to_string(block.data.size()) + " /Length1 " +
                std::to_string(text.size()),
            "",
            "",
            PdfEntryPlain);
        PdfPutStream(std::move(block.data), PdfCompressedStreamMarker);
    } else {
        PdfPutEntry("/Length " + std::to_string(text.size()), "", "", PdfEntryPlain);
        PdfPutStream(text, 0);
    }
}

std::int32_t descriptorFlags(const PdfTrueTypeInfo& info)
{
    std::int32_t flags = info.encodingId == 0 ? 4 : 32;
    if (info.fixedPitch) {
        flags += 1;
    }
    if (info.italicAngle != 0 || info.italicStyle) {
        flags += 64;
    }
    return flags;
}

// The width of an 8-bit code in a TrueType font: by its Windows-1252 character, and for a symbol font
// also at the private-use code symbol fonts map their bytes to.
std::optional<std::int32_t> simpleWidth(const PdfTrueTypeInfo& info, std::uint8_t byte)
{
    const char32_t code = cp1252ToUnicode(byte);
    if (const auto found = info.widths.find(code); found != info.widths.end()) {
        return found->second;
    }
    if (info.encodingId == 0) {
        if (const auto found = info.widths.find(0xF000u + byte); found != info.widths.end()) {
            return found->second;
        }
    }
    return std::nullopt;
}

} // namespace

void ensureCurrentFont(PdfDocument& d)
{
    if (d.currentFontKey.empty()) {
        PdfSetFontCore("Helvetica", "", 0);
    }
}

std::int32_t PdfSetFontCore(const std::string& family, const std::string& style, std::int32_t size)
{
    PdfDocument* document = currentPdfDocument();
    if (document == nullptr) {
        return 0;
    }
    PdfDocument& d = *document;
    std::string name(trimBlanks(family));
    if (name.empty()) {
        name = d.fontFamily;
    }
    if (name.empty()) {
        return 0;
    }
    std::string upperName = upperCase(name);
    std::string styleText = style;
    if (upperName == "ARIAL") {
        name = "Helvetica";
    } else if (upperName == "TIMES-ROMAN") {
        name = "Times";
    } else if (upperName == "SYMBOL" || upperName == "ZAPFDINGBATS") {
        styleText.clear();
    }
    bool underline = false;
    const std::string normal = normalizedStyle(styleText, underline);
    d.underlineFlag = underline ? 1 : 0;
    const std::int32_t sizePt = size <= 0 ? d.fontSizePt : size;

    if (upperCase(d.fontFamily) != upperCase(name) || d.fontStyle != normal || d.fontSizePt != sizePt ||
        d.currentFontKey.empty()) {
        const std::string key = fontKey(normal, name);
        if (!d.fonts.contains(key)) {
            PdfCoreFont(name, normal, key);
        }
        if (const PdfFontEntry* entry = d.fonts.find(key)) {
            d.currentFontKey = key;
            d.fontNumber = entry->number;
            d.fontFamily = name;
            d.fontStyle = normal;
            d.fontSizePt = sizePt;
            d.fontSize = static_cast<float>(sizePt) / d.k;
            d.unicodeFlag = entry->unicodeFlag;
        }
    }
    if (d.pageNumber >= 1 && !d.fonts.empty()) {
        PdfOut(
            "BT /F" + std::to_string(d.fontNumber) + " " + PdfNumber(static_cast<float>(d.fontSizePt), 2) +
            " Tf ET");
    }
    return 0;
}

std::int32_t PdfSetFontSizeCore(std::int32_t size)
{
    PdfDocument* document = currentPdfDocument();
    if (document == nullptr || size <= 0 || size == document->fontSizePt) {
        return 0;
    }
    PdfDocument& d = *document;
    d.fontSizePt = size;
    d.fontSize = static_cast<float>(size) / d.k;
    if (d.pageNumber >= 1 && !d.currentFontKey.empty()) {
        PdfOut(
            "BT /F" + std::to_string(d.fontNumber) + " " + PdfNumber(static_cast<float>(size), 2) + " Tf ET");
    }
    return 0;
}

float PdfStringWidth(std::string_view text, std::int32_t scaled)
{
    PdfDocument* document = currentPdfDocument();
    if (document == nullptr) {
        return 0;
    }
    PdfDocument& d = *document;
    const PdfFontEntry* font = d.fonts.find(d.currentFontKey);
    std::int64_t sum = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        char32_t code = decodeUtf8(text, pos).value_or(ReplacementCharacter);
        if (font == nullptr) {
            continue;
        }
        if (font->unicodeFlag != 0) {
            if (code > 0xFFFF) {
                code = '?';
            }
        } else {
            code = writtenByte(code);
        }
        if (const auto found = font->widths.find(code); found != font->widths.end()) {
            sum += found->second;
        }
    }
    if (scaled != 0) {
        return static_cast<float>(sum) * d.fontSize / 1000.0f;
    }
    return static_cast<float>(sum);
}

std::int32_t PdfCoreFont(const std::string& family, const std::string& style, const std::string& key)
{
    PdfDocument* document = currentPdfDocument();
    if (document == nullptr) {
        return 0;
    }
    PdfDocument& d = *document;
    auto [entry, added] = d.fonts.insert(key);
    if (!added) {
        return 0;
    }
    entry->number = static_cast<std::int32_t>(d.fonts.size());
    entry->style = style;
    const std::string wanted = upperCase(family + style);
    const CoreFont* chosen = &CoreFonts[0];
    for (const CoreFont& font : CoreFonts) {
        if (wanted == font.key) {
            chosen = &font;
            break;
        }
    }
    entry->baseName = chosen->baseName;
    const bool symbolic = chosen->table == 0 || chosen->table == 9;
    entry->encodingFlag = symbolic ? 0 : 1;
    for (char32_t code = 0; code < 256; ++code) {
        entry->widths[code] = chosen->table < 0
                                  ? CourierWidth
                                  : PdfCoreFontWidths[static_cast<std::size_t>(chosen->table)][code];
    }
    const std::string baseName = entry->baseName; // the entry may move when objects are created
    PdfNewObject(PdfObjectKind::Font, baseName);
    PdfPutEntry(
        "/Type /Font /Subtype /Type1 /BaseFont /" + baseName +
            (symbolic ? "" : " /Encoding /WinAnsiEncoding"),
        "",
        "",
        PdfEntryPlain);
    return 1;
}

std::int32_t coreFontNumber(PdfDocument& d, const std::string& family)
{
    const std::string key = fontKey("", family);
    if (!d.fonts.contains(key)) {
        PdfCoreFont(family, "", key);
    }
    const PdfFontEntry* entry = d.fonts.find(key);
    return entry == nullptr ? 0 : entry->number;
}

std::int32_t
PdfSetFont(std::int32_t doc, const std::string& family, const std::string& style, std::int32_t size)
{
    if (findPdfDocument(doc) == nullptr) {
        return 0;
    }
    return PdfSetFontCore(family, style, size <= 0 ? 0 : size);
}

std::int32_t PdfSetFontSize(std::int32_t doc, std::int32_t size)
{
    if (findPdfDocument(doc) == nullptr) {
        return 0;
    }
    return PdfSetFontSizeCore(size);
}

float PdfGetStringWidth(std::int32_t doc, const std::string& text)
{
    if (findPdfDocument(doc) == nullptr) {
        return 0.0f;
    }
    return PdfStringWidth(text, 1);
}

std::string PdfEmbedTrueType(
    std::int32_t doc,
    const std::string& font,
    const std::string& family,
    const std::string& style,
    std::int32_t flags,
    std::int32_t system)
{
    PdfDocument* document = findPdfDocument(doc);
    if (document == nullptr) {
        return {};
    }
    PdfDocument& d = *document;
    bool underline = false;
    const std::string normal = normalizedStyle(style, underline);
    PdfTrueTypeInfo info;
    if (PdfParseTrueType(font, normal, info, system) == 0) {
        return {};
    }
    const std::string name = info.name;
    const std::string_view trimmedFamily = trimBlanks(family);
    const std::string key = fontKey(normal, trimmedFamily.empty() ? name : std::string(trimmedFamily));
    if (d.fonts.contains(key)) {
        return {};
    }
    if (licenceRefusal(d, info.embeddingPermissions)) {
        return {};
    }
    const bool composite = (flags & CompositeFontFlag) != 0;
    const std::int32_t number = static_cast<std::int32_t>(d.fonts.size()) + 1;

    // Every object is made before the font joins the font map, so a failure leaves nothing behind but
    // unreferenced objects, and the font's number matches its resource name.
    const std::string programRef = compressedStreamObject(info.fontData);
    if (programRef.empty()) {
        setPdfError(d, PdfError::CompressionFailed);
        return {};
    }
    std::string writtenName;
    for (const char c : name) {
        writtenName += c == ' ' ? std::string("#20") : std::string(1, c);
    }
    PdfNewObject(PdfObjectKind::Plain);
    const std::string descriptorRef = PdfObjRef(d.lastObjectNumber);
    PdfPutEntry(
        "\n/Type /FontDescriptor\n/FontName /" + writtenName + "\n/Ascent " + std::to_string(info.ascent) +
            "\n/Descent " + std::to_string(info.descent) + "\n/CapHeight " + std::to_string(info.capHeight) +
            "\n/Flags " + std::to_string(descriptorFlags(info)) + "\n/FontBBox [" +
            std::to_string(info.xMin) + " " + std::to_string(info.yMin) + " " + std::to_string(info.xMax) +
            " " + std::to_string(info.yMax) + "]\n/ItalicAngle " + PdfNumber(info.italicAngle, 2) +
            "\n/StemV " + std::to_string(DefaultStemV) + "\n/MissingWidth " +
            std::to_string(info.missingWidth) + "\n/FontFile2 " + programRef + "\n",
        "",
        "",
        PdfEntryPlain);

    std::unordered_map<char32_t, std::int32_t> widths;
    if (composite) {
        const std::string glyphMapRef = compressedStreamObject(info.glyphMap);
        if (glyphMapRef.empty()) {
            setPdfError(d, PdfError::CompressionFailed);
            return {};
        }
        ensureUnicodeMap(d);
        PdfNewObject(PdfObjectKind::Plain);
        const std::string descendantRef = PdfObjRef(d.lastObjectNumber);
        // The strings of the system info are entries of their own, so they are encrypted like every
        // other string of the document.
        PdfPutEntry(
            "Adobe",
            "\n/Type /Font /Subtype /CIDFontType2\n/BaseFont /" + writtenName +
                "\n/CIDSystemInfo <</Registry (",
            ")",
            PdfEntryTextString);
        PdfPutEntry(
            "UCS",
            " /Ordering (",
            ") /Supplement 0>>\n/FontDescriptor " + descriptorRef + "\n/CIDToGIDMap " + glyphMapRef + "\n",
            PdfEntryTextString);
        std::string w = "/W [";
        for (const auto& [code, width] : info.widths) {
            if (code <= 0xFFFF) {
                w += std::to_string(code) + " [" + std::to_string(width) + "] ";
                widths[code] = width;
            }
        }
        PdfPutEntry(w + "]\n", "", "", PdfEntryPlain);
        PdfNewObject(PdfObjectKind::Font, name);
        PdfPutEntry(
            "\n/Type /Font /Subtype /Type0\n/BaseFont /" + writtenName + "-UCS\n/Encoding /Identity-H\n" +
                "/DescendantFonts [" + descendantRef + "]\n/ToUnicode " + d.unicodeMapRef + "\n",
            "",
            "",
            PdfEntryPlain);
    } else {
        std::string array = "[";
        for (int byte = 0; byte < 256; ++byte) {
            const auto width = simpleWidth(info, static_cast<std::uint8_t>(byte));
            if (width) {
                widths[static_cast<char32_t>(byte)] = *width;
            }
            array += std::to_string(width.value_or(0)) + " ";
        }
        array += "]";
        PdfNewObject(PdfObjectKind::Plain);
        const std::string widthsRef = PdfObjRef(d.lastObjectNumber);
        PdfPutFontStream(array, 0);
        PdfNewObject(PdfObjectKind::Font, name);
        PdfPutEntry(
            "\n/Type /Font /Subtype /TrueType\n/BaseFont /" + writtenName + "\n" +
                (info.encodingId != 0 ? "/Encoding /WinAnsiEncoding\n" : "") + "/Name /F" +
                std::to_string(number) + "\n/FirstChar 0 /LastChar 255\n/Widths " + widthsRef +
                "\n/FontDescriptor " + descriptorRef + "\n",
            "",
            "",
            PdfEntryPlain);
    }

    PdfFontEntry& entry = *d.fonts.insert(key).first;
    entry.number = number;
    entry.baseName = name;
    entry.style = normal;
    entry.encodingFlag = info.encodingId;
    entry.unicodeFlag = composite ? 1 : 0;
    entry.flags = flags & ~CompositeFontFlag;
    entry.widths = std::move(widths);
    return name;
}

void writeFontResources(PdfDocument& d)
{
    if (d.fontObjects.empty()) {
        return;
    }
    std::string text = "/Font <<";
    for (std::size_t i = 0; i < d.fontObjects.size(); ++i) {
        text += (i > 0 ? " /F" : "/F") + std::to_string(i + 1) + " " + d.fontObjects[i].reference;
    }
    // These resources are also the form's: viewers that draw buttons themselves look their symbol
    // font up under this name.
    if (!d.formFields.empty()) {
        for (const PdfNamedRef& font : d.fontObjects) {
            if (font.name == ButtonSymbolFont) {
                text += " /" + std::string(ButtonSymbolFontKey) + " " + font.reference;
                break;
            }
        }
    }
    PdfPutEntry(text, "", ">>\n", PdfEntryPlain, d.resourcesRef);
}

} // namespace folvex
