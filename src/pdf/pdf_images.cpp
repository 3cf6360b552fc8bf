// Placing images: reading the file or taking the memory, preparing PNG and BMP data, the image
// object with its dictionary, its stream in the spool file, its size and its line of page content.
#include "pdf/pdf_images.h"

#include "pdf/pdf_image_parsers.h"
#include "pdf/pdf_images_internal.h"
#include "pdf/pdf_writer_internal.h"
#include "runtime/safe_file.h"
#include "runtime/text.h"

#include <cstdlib>

namespace folvex {

namespace {

constexpr std::string_view PngSignature("\x89PNG\r\n\x1A\n", 8);

std::int32_t code(PdfError error)
{
    return static_cast<std::int32_t>(error);
}

std::int32_t fail(PdfDocument& document, PdfError error)
{
    setPdfError(document, error);
    return code(error);
}

std::string lowerExtension(const std::string& path)
{
    const std::string_view name = fileNamePart(path);
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string{} : lowerAscii(name.substr(dot + 1));
}

std::string spoolFolder()
{
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

void applyDefaults(const PdfDocument& d, float& x, float& y, float& w, float& h)
{
    if (x == -1.0f) {
        x = d.x;
    }
    if (y == -1.0f) {
        y = d.y;
    }
    if (w == -1.0f) {
        w = 0;
    }
    if (h == -1.0f) {
        h = 0;
    }
}

enum class Prepared
{
    Ready,    // the data goes on as it is
    Replaced, // converted into the output buffer
    BadPng,
    BadBmp,
    NotDecodable // neither PNG nor BMP
};

// PNG data a PDF can carry stays as it is (PdfPutImage checks it); other PNG and every BMP become an
// 8-bit RGB PNG.
Prepared preparePixels(std::string_view data, std::string& converted)
{
    if (data.substr(0, PngSignature.size()) == PngSignature) {
        if (!pngNeedsDecoding(data)) {
            return Prepared::Ready;
        }
        return pngToRgbPng(data, converted) ? Prepared::Replaced : Prepared::BadPng;
    }
    if (data.substr(0, 2) == "BM") {
        return bmpToRgbPng(data, converted) ? Prepared::Replaced : Prepared::BadBmp;
    }
    return Prepared::NotDecodable;
}

} // namespace

std::int32_t imageTypeOfExtension(std::string_view extension)
{
    if (extension == "png" || extension == "bmp") {
        return PdfImageTypePng;
    }
    for (const char* jpeg : {"jpg", "jpeg", "jfif", "jif", "jpe"}) {
        if (extension == jpeg) {
            return PdfImageTypeJpeg;
        }
    }
    for (const char* jpx : {"jp2", "jpc", "j2k", "jpm", "jpx", "jpg2", "jpeg2000"}) {
        if (extension == jpx) {
            return PdfImageTypeJpx;
        }
    }
    return 0;
}

std::int32_t PdfPutImage(
    const std::string& name,
    std::string_view buffer,
    std::int32_t type,
    float x,
    float y,
    float w,
    float h,
    std::int32_t link)
{
    PdfDocument* document = currentPdfDocument();
    if (document == nullptr || buffer.empty()) {
        return 0;
    }
    PdfDocument& d = *document;
    PdfImageInfo info;
    std::string colourSpace;
    std::string filter;
    std::string decodeParms;
    if (type == PdfImageTypePng) {
        if (PdfParsePng(buffer, info) == 0) {
            return fail(d, PdfError::IncorrectPng);
        }
        if (info.colour == 4 || info.colour == 6) {
            return fail(d, PdfError::AlphaChannelPng);
        }
        // The predictor undoes the PNG row filters; it cannot undo interlacing or read 16-bit samples
        // of these colour types, which the preparation has already converted.
        if (info.interlaceMethod != 0 || info.bitsPerComponent == 16 || info.data.empty()) {
            return fail(d, PdfError::IncorrectPng);
        }
        filter = "FlateDecode";
        std::int32_t colours = 1;
        if (info.colour == 0) {
            colourSpace = "DeviceGray";
        } else if (info.colour == 2) {
            colourSpace = "DeviceRGB";
            colours = 3;
        } else {
            colourSpace = "Indexed";
            const std::size_t entries = info.palette.size() / 3;
            if (info.palette.size() % 3 != 0 || entries == 0 || entries > 256) {
                return fail(d, PdfError::IncorrectPng);
            }
        }
        decodeParms = "/DecodeParms <</Predictor 15 /Colors " + std::to_string(colours) +
                      " /BitsPerComponent " + std::to_string(info.bitsPerComponent) + " /Columns " +
                      std::to_string(info.width) + ">>";
    } else if (type == PdfImageTypeJpeg) {
        if (PdfParseJpeg(buffer, info) == 0) {
            return fail(d, PdfError::NotJpeg);
        }
        filter = "DCTDecode";
        colourSpace = info.colour == 1 ? "DeviceGray" : info.colour == 3 ? "DeviceRGB" : "DeviceCMYK";
    } else if (type == PdfImageTypeJpx) {
        if (PdfParseJpx(buffer, info) == 0) {
            return fail(d, PdfError::NotJpeg);
        }
        filter = "JPXDecode";
        if (info.colour == 17) {
            colourSpace = "DeviceGray";
        } else if (info.colour == 16 || info.colour == 18) {
            colourSpace = "DeviceRGB";
        }
    } else {
        return fail(d, PdfError::NotJpegOrPng);
    }

    // The stream goes to disk first: when that fails, nothing of the image is in the document.
    if (!d.spool) {
        auto spool = PdfSpoolFile::create(spoolFolder());
        if (!spool) {
            pdfModule().lastSystemError = spool.error().code;
            return fail(d, PdfError::FileNotCreated);
        }
        d.spool = std::move(spool.value());
    }
    const auto range = d.spool->append(info.data);
    if (!range) {
        pdfModule().lastSystemError = range.error().code;
        return fail(d, PdfError::FileNotCreated);
    }

    std::string paletteRef;
    if (colourSpace == "Indexed") {
        PdfNewObject(PdfObjectKind::Plain);
        paletteRef = PdfObjRef(d.lastObjectNumber);
        PdfPutEntry("/Length " + std::to_string(info.palette.size()), "", "", PdfEntryPlain);
        PdfPutStream(info.palette, 0);
    }
    PdfNewObject(PdfObjectKind::Image, name);

    std::string dictionary = "/Type /XObject /Subtype /Image\n/Width " + std::to_string(info.width) +
                             "\n/Height " + std::to_string(info.height) + "\n";
    if (colourSpace == "Indexed") {
        dictionary += "/ColorSpace [/Indexed /DeviceRGB " + std::to_string(info.palette.size() / 3 - 1) +
                      " " + paletteRef + "]\n";
    } else if (!colourSpace.empty()) {
        dictionary += "/ColorSpace /" + colourSpace + "\n";
        if (colourSpace == "DeviceCMYK") {
            dictionary += "/Decode [1 0 1 0 1 0 1 0]\n";
        }
    }
    dictionary += "/BitsPerComponent " + std::to_string(info.bitsPerComponent) + "\n";
    dictionary += "/Filter /" + filter + "\n";
    if (!decodeParms.empty()) {
        dictionary += decodeParms + "\n";
    }
    dictionary += "/Length " + std::to_string(info.data.size()) + "\n";
    PdfPutEntry(dictionary, "\n", "", PdfEntryPlain);
    putSpoolStream(range.value(), PdfCompressedStreamMarker);

    const double pixelWidth = static_cast<double>(info.width);
    const double pixelHeight = static_cast<double>(info.height);
    if (w == 0 && h == 0) {
        w = static_cast<float>(pixelWidth / d.k);
        h = static_cast<float>(pixelHeight / d.k);
    }
    if (w == 0) {
        w = static_cast<float>(h * pixelWidth / pixelHeight);
    }
    if (h == 0) {
        h = static_cast<float>(w * pixelHeight / pixelWidth);
    }
    PdfImageEntry& entry = d.images.back();
    entry.width = w;
    entry.height = h;
    PdfOut(
        "q " + PdfNumber(w * d.k, 2) + " 0 0 " + PdfNumber(h * d.k, 2) + " " + PdfNumber(x * d.k, 2) + " " +
        PdfNumber((d.pageHeight - (y + h)) * d.k, 2) + " cm /I" + std::to_string(entry.number) + " Do Q");
    if (link >= 0) {
        PdfPutAnnotations(link, x, y, w, h);
    }
    return 0;
}

std::int32_t placeImageFile(
    std::int32_t doc, const std::string& fileName, float x, float y, float w, float h, std::int32_t link)
{
    PdfDocument* document = findPdfDocument(doc);
    if (document == nullptr) {
        return 0;
    }
    PdfDocument& d = *document;
    applyDefaults(d, x, y, w, h);
    const std::string extension = lowerExtension(fileName);
    const std::int32_t type = imageTypeOfExtension(extension);
    auto read = readWholeFile(fileName);
    if (!read || read.value().empty()) {
        return fail(d, PdfError::FileNotRead);
    }
    std::string data = std::move(read.value());
    if (type == 0) {
        return fail(d, PdfError::NotJpegOrPng);
    }
    if (type == PdfImageTypePng) {
        std::string converted;
        switch (preparePixels(data, converted)) {
            case Prepared::Ready:
                break;
            case Prepared::Replaced:
                data = std::move(converted);
                break;
            case Prepared::BadPng:
                return fail(d, PdfError::IncorrectPng);
            case Prepared::BadBmp:
                return fail(d, PdfError::FileNotRead);
            case Prepared::NotDecodable:
                return fail(d, extension == "png" ? PdfError::IncorrectPng : PdfError::FileNotRead);
        }
    }
    return PdfPutImage(std::string(fileNamePart(fileName)), data, type, x, y, w, h, link);
}

std::int32_t
PdfImage(std::int32_t doc, const std::string& fileName, float x, float y, float w, float h, std::int32_t link)
{
    placeImageFile(doc, fileName, x, y, w, h, link);
    return 0;
}

std::int32_t PdfImageMemory(
    std::int32_t doc,
    const std::string& name,
    std::string_view buffer,
    std::int32_t type,
    float x,
    float y,
    float w,
    float h,
    std::int32_t link)
{
    PdfDocument* document = findPdfDocument(doc);
    if (document == nullptr) {
        return 0;
    }
    PdfDocument& d = *document;
    applyDefaults(d, x, y, w, h);
    if (buffer.empty()) {
        fail(d, PdfError::ImageInMemory);
        return 0;
    }
    std::string converted;
    switch (preparePixels(buffer, converted)) {
        case Prepared::Ready:
            type = PdfImageTypePng;
            break;
        case Prepared::Replaced:
            buffer = converted;
            type = PdfImageTypePng;
            break;
        case Prepared::BadPng:
            fail(d, PdfError::IncorrectPng);
            return 0;
        case Prepared::BadBmp:
            fail(d, PdfError::FileNotRead);
            return 0;
        case Prepared::NotDecodable:
            break;
    }
    PdfPutImage(name, buffer, type, x, y, w, h, link);
    return 0;
}

} // namespace folvex
