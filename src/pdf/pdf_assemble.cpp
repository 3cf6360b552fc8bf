// The entries that can only be written once every page is known: annotation lists and destinations,
// form fields, the outline, page-number aliases, the page tree, name trees, the shared resources, the
// open action, the catalog's links and the encryption dictionary.
#include "pdf/pdf_writer_internal.h"

#include <array>
#include <charconv>

namespace folvex {

namespace {

void replaceAliases(PdfDocument& d)
{
    if (d.aliasFlag == 0) {
        return;
    }
    const std::string pageCount = std::to_string(d.pages.size() - 1);
    for (std::size_t i = 1; i < d.pages.size(); ++i) {
        const std::string contentsRef = d.pages[i].contentsRef;
        PdfReplaceAlias(contentsRef, "{p}", std::to_string(i));
        if (!d.pageCountAlias.empty()) {
            PdfReplaceAlias(contentsRef, d.pageCountAlias, pageCount);
        }
    }
}

void writePageTree(PdfDocument& d)
{
    std::string kids;
    for (std::size_t i = 1; i < d.pages.size(); ++i) {
        kids += (i > 1 ? " " : "") + d.pages[i].pageRef;
    }
    PdfPutEntry(
        "/Kids [" + kids + "]\n/Count " + std::to_string(d.pages.size() - 1) + "\n",
        "",
        "",
        PdfEntryPlain,
        d.pagesRef);
}

void writeImageResources(PdfDocument& d)
{
    if (d.images.empty()) {
        return;
    }
    std::string text = "/XObject <<";
    for (std::size_t i = 0; i < d.images.size(); ++i) {
        text += (i > 0 ? " /I" : "/I") + std::to_string(d.images[i].number) + " " + d.images[i].reference;
    }
    PdfPutEntry(text, "", ">>\n", PdfEntryPlain, d.resourcesRef);
}

// The zoom factor of a percentage text such as "75" or "150%", with two decimals.
std::string zoomFactor(std::string_view zoom)
{
    while (!zoom.empty() && zoom.back() == '%') {
        zoom.remove_suffix(1);
    }
    const std::size_t first = zoom.find_first_not_of(' ');
    zoom = first == std::string_view::npos ? std::string_view{} : zoom.substr(first);
    if (!zoom.empty() && zoom.front() == '+') {
        zoom.remove_prefix(1);
    }
    std::int64_t percent = 0;
    std::from_chars(zoom.data(), zoom.data() + zoom.size(), percent);
    std::array<char, 40> buffer{};
    const auto result = std::to_chars(
        buffer.data(),
        buffer.data() + buffer.size(),
        static_cast<double>(percent) / 100.0,
        std::chars_format::fixed,
        2);
    return std::string(buffer.data(), result.ptr);
}

void writeOpenAction(PdfDocument& d)
{
    if (d.openPage < 1 || static_cast<std::size_t>(d.openPage) >= d.pages.size()) {
        return;
    }
    const std::string& pageRef = d.pages[static_cast<std::size_t>(d.openPage)].pageRef;
    std::string destination;
    if (d.zoom == "PageTop" || d.zoom == "PageWidth") {
        destination = " /FitH]";
    } else if (d.zoom == "FullPage") {
        destination = " /Fit]";
    } else {
        destination = " /XYZ 0 0 " + zoomFactor(d.zoom) + "]";
    }
    PdfPutEntry("/OpenAction [" + pageRef + destination, "", "\n", PdfEntryPlain, d.catalogRef);
}

void writeCatalogLinks(PdfDocument& d)
{
    std::string text;
    if (!d.acroFormRef.empty()) {
        text += "/AcroForm " + d.acroFormRef + "\n";
    }
    if (!d.outlineRootRef.empty()) {
        text += "/Outlines " + d.outlineRootRef + "\n";
    }
    if (!d.namesRef.empty()) {
        text += "/Names " + d.namesRef + "\n";
    }
    if (!text.empty()) {
        PdfPutEntry(text, "", "", PdfEntryPlain, d.catalogRef);
    }
}

} // namespace

void PdfAssemble()
{
    PdfDocument* document = currentPdfDocument();
    if (document == nullptr) {
        return;
    }
    PdfDocument& d = *document;
    assembleInteractiveObjects(d);
    replaceAliases(d);
    writePageTree(d);
    assembleNameTrees(d);
    writeFontResources(d);
    writeImageResources(d);
    writeOpenAction(d);
    writeCatalogLinks(d);
    writeEncryptionDictionary(d);
}

} // namespace folvex
