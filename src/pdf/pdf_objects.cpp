// Objects of the current document: creation, dictionary entries, streams, the page content writer,
// alias replacement, compression, and the error texts.
#include "pdf/pdf_writer.h"
#include "pdf/pdf_writer_internal.h"
#include "runtime/safe_file.h"
#include "runtime/text.h"

#include <zlib.h>

#include <array>
#include <charconv>

namespace folvex {

namespace {

constexpr std::array<const char*, 11> ErrorTexts = {
    "Alpha channel PNG not supported.",
    "Problem reading image file in memory.",
    "Not a JPEG file.",
    "Incorrect PNG file.",
    "Not a JPEG or PNG file.",
    "The file could not be created.",
    "The file could not be read.",
    "File compression failed",
    "Font may not be embedded in PDF according to license.",
    "Font may only be embedded as bitmap font.",
    "Font may not be embedded as subsetting.",
};

PdfObject* targetObject(PdfDocument& document, const std::string& objref)
{
    return document.object(objref.empty() ? PdfObjRef(document.lastObjectNumber) : objref);
}

} // namespace

std::string PdfObjRef(std::int32_t number)
{
    return std::to_string(number) + " 0 R";
}

std::int32_t PdfObjNumber(std::string_view reference)
{
    const std::string_view field = reference.substr(0, reference.find(' '));
    std::int32_t number = 0;
    const auto result = std::from_chars(field.data(), field.data() + field.size(), number);
    return result.ec == std::errc() ? number : 0;
}

std::int32_t PdfNewObject(PdfObjectKind kind, const std::string& text)
{
    PdfDocument* document = currentPdfDocument();
    if (document == nullptr) {
        return 0;
    }
    PdfDocument& d = *document;
    ++d.lastObjectNumber;
    const std::string reference = PdfObjRef(d.lastObjectNumber);
    d.objects.emplace_back();
    d.objects.back().kind = kind;
    switch (kind) {
        case PdfObjectKind::Plain:
            return 0;
        case PdfObjectKind::FormField:
            d.formFields.push_back(reference);
            return 0;
        case PdfObjectKind::OutlineItem:
            if (d.firstOutlineItemRef.empty()) {
                d.firstOutlineItemRef = reference;
            }
            d.lastOutlineItemRef = reference;
            ++d.outlineItemCount;
            return 0;
        case PdfObjectKind::EmbeddedFile:
            d.embeddedFiles.push_back({reference, text});
            if (d.firstEmbeddedFileName.empty()) {
                d.firstEmbeddedFileName = std::string(fileNamePart(text));
            }
            d.lastEmbeddedFileName = std::string(fileNamePart(text));
            return static_cast<std::int32_t>(d.embeddedFiles.size() - 1);
        case PdfObjectKind::Font:
            d.fontObjects.push_back({reference, text});
            return static_cast<std::int32_t>(d.fontObjects.size() - 1);
        case PdfObjectKind::Image:
            ++d.imageCounter;
            d.images.push_back({d.imageCounter, reference, 0.0f, 0.0f, text});
            return 0;
        case PdfObjectKind::JavaScript:
            d.javaScripts.push_back({reference, text});
            if (d.firstJavaScriptName.empty()) {
                d.firstJavaScriptName = text;
            }
            d.lastJavaScriptName = text;
            return static_cast<std::int32_t>(d.javaScripts.size() - 1);
        case PdfObjectKind::Page:
            d.currentPageRef = reference;
            d.pages.push_back({reference, {}, d.pageWidthPt, d.pageHeightPt, d.orientation});
            return static_cast<std::int32_t>(d.pages.size() - 1);
        case PdfObjectKind::Contents:
            d.currentContentsRef = reference;
            if (d.pages.size() >= 2) {
                d.pages.back().contentsRef = reference;
            }
            return 0;
        case PdfObjectKind::Names:
            d.namesRef = reference;
            return 0;
        case PdfObjectKind::OutlineRoot:
            d.outlineRootRef = reference;
            return 0;
    }
    return 0;
}

std::int32_t PdfPutEntry(
    const std::string& value,
    const std::string& prefix,
    const std::string& suffix,
    std::int32_t flags,
    const std::string& objref)
{
    PdfDocument* document = currentPdfDocument();
    if (document == nullptr) {
        return 0;
    }
    if (PdfObject* object = targetObject(*document, objref)) {
        object->entries.push_back({prefix, value, suffix, 0, flags});
    }
    return 0;
}

std::int32_t PdfPutStream(std::string data, std::int32_t marker, const std::string& objref)
{
    PdfDocument* document = currentPdfDocument();
    if (document == nullptr) {
        return 0;
    }
    if (PdfObject* object = targetObject(*document, objref)) {
        object->stream.clear();
        object->stream.data = std::move(data);
        object->streamMarker = marker;
    }
    return 0;
}

std::int32_t putSpoolStream(PdfSpoolRange range, std::int32_t marker, const std::string& objref)
{
    PdfDocument* document = currentPdfDocument();
    if (document == nullptr) {
        return 0;
    }
    if (PdfObject* object = targetObject(*document, objref)) {
        object->stream.clear();
        object->stream.spoolRange = range;
        object->streamMarker = marker;
    }
    return 0;
}

std::int32_t PdfPutFontStream(const std::string& text, std::int32_t value, const std::string& objref)
{
    PdfDocument* document = currentPdfDocument();
    if (document == nullptr) {
        return 0;
    }
    if (PdfObject* object = targetObject(*document, objref)) {
        object->rawText = text;
        object->fontValue = value;
    }
    return 0;
}

std::int32_t PdfOut(
    const std::string& text,
    const std::string& prefix,
    const std::string& suffix,
    std::int32_t unicode,
    const std::string& objref)
{
    PdfDocument* document = currentPdfDocument();
    if (document == nullptr) {
        return 0;
    }
    PdfObject* object = document->object(objref.empty() ? document->currentContentsRef : objref);
    if (object == nullptr || object->stream.spoolRange) {
        return 0;
    }
    std::string& stream = object->stream.data;
    if (unicode == 0) {
        std::string line = utf8ToCp1252(prefix + text + suffix);
        if (line.empty() || line.back() != '\n') {
            line.push_back('\n');
        }
        stream += line;
    } else {
        stream += utf8ToCp1252(prefix);
        // The two-byte codes sit inside a literal string: a byte that would end the string, start an
        // escape or be read as a line end gets a backslash. Characters beyond the basic plane have no
        // two-byte code and are written as "?".
        std::string codes;
        std::size_t pos = 0;
        while (pos < text.size()) {
            char32_t code = decodeUtf8(text, pos).value_or(ReplacementCharacter);
            if (code > 0xFFFF) {
                code = '?';
            }
            codes.push_back(static_cast<char>(code >> 8));
            codes.push_back(static_cast<char>(code & 0xFF));
        }
        for (const char byte : codes) {
            if (byte == '(' || byte == ')' || byte == '\\') {
                stream.push_back('\\');
            }
            if (byte == '\r' || byte == '\n') {
                stream += byte == '\r' ? "\\r" : "\\n";
            } else {
                stream.push_back(byte);
            }
        }
        stream += utf8ToCp1252(suffix);
        if (suffix.empty() || suffix.back() != '\n') {
            stream.push_back('\n');
        }
    }
    object->streamMarker = PdfContentStreamMarker;
    return 0;
}

std::int32_t
PdfReplaceAlias(const std::string& objref, const std::string& alias, const std::string& replacement)
{
    PdfDocument* document = currentPdfDocument();
    if (document == nullptr || alias.empty()) {
        return 0;
    }
    PdfObject* object = document->object(objref);
    if (object == nullptr || object->stream.spoolRange) {
        return 0;
    }
    std::string& stream = object->stream.data;
    const std::string aliasBytes = utf8ToCp1252(alias);
    const std::size_t position = stream.find(aliasBytes);
    if (position != std::string::npos) {
        stream.replace(position, aliasBytes.size(), utf8ToCp1252(replacement));
    }
    return 0;
}

std::int32_t PdfCompress(std::string_view data, PdfMemoryBlock& block)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string compressed(size, '\0');
    const int result = compress2(
        reinterpret_cast<Bytef*>(compressed.data()),
        &size,
        reinterpret_cast<const Bytef*>(data.data()),
        static_cast<uLong>(data.size()),
        6);
    if (result != Z_OK || size == 0) {
        return 0;
    }
    compressed.resize(size);
    block.data = std::move(compressed);
    return 1;
}

std::int32_t PdfLoadCompressed(const std::string& fileName, PdfMemoryBlock& block)
{
    PdfDocument* document = currentPdfDocument();
    auto content = readWholeFile(fileName);
    if (!content) {
        if (document != nullptr) {
            setPdfError(*document, PdfError::FileNotRead);
        }
        return 0;
    }
    PdfMemoryBlock compressed;
    if (PdfCompress(content.value(), compressed) == 0) {
        if (document != nullptr) {
            setPdfError(*document, PdfError::CompressionFailed);
        }
        return 0;
    }
    block.data = std::move(compressed.data);
    block.uncompressedLength = static_cast<std::int64_t>(content.value().size());
    block.marker = PdfCompressedStreamMarker;
    return 1;
}

std::string PdfLiteral(std::int32_t doc, const std::string& text)
{
    if (findPdfDocument(doc) == nullptr) {
        return {};
    }
    return "(" + PdfEscapeText(text) + ")";
}

std::int32_t PdfErrorCode(std::int32_t doc)
{
    const PdfDocument* document = findPdfDocument(doc);
    return document == nullptr ? 0 : document->lastErrorCode;
}

std::string PdfErrorText(std::int32_t doc)
{
    const PdfDocument* document = findPdfDocument(doc);
    if (document == nullptr || document->lastErrorCode < 1 ||
        document->lastErrorCode > static_cast<std::int32_t>(ErrorTexts.size())) {
        return {};
    }
    return ErrorTexts[static_cast<std::size_t>(document->lastErrorCode - 1)];
}

} // namespace folvex
