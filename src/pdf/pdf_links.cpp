// Interactive objects of a document: link records and their annotations (internal links, URIs, launch
// actions, text notes, file attachments), links to named targets, outline items, embedded files and
// document-level scripts, and the cross-references the assembly adds for them and for form fields.
#include "pdf/pdf_writer.h"
#include "pdf/pdf_writer_internal.h"
#include "runtime/safe_file.h"
#include "runtime/text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

namespace folvex {

namespace {

std::string num(float value)
{
    return PdfNumber(value, 2);
}

std::int32_t addLink(PdfDocument& d, PdfLinkEntry entry)
{
    d.links.push_back(std::move(entry));
    return static_cast<std::int32_t>(d.links.size() - 1);
}

// A file time as a PDF date in UTC.
std::string pdfDate(std::int64_t seconds)
{
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    gmtime_r(&time, &parts);
    std::array<char, 32> buffer{};
    std::strftime(buffer.data(), buffer.size(), "D:%Y%m%d%H%M%SZ", &parts);
    return buffer.data();
}

struct FileTimes
{
    std::int64_t created = 0;
    std::int64_t modified = 0;
};

// Creation time where the file system records it, else the modification time.
FileTimes fileTimes(const std::string& path)
{
    FileTimes times;

    struct statx status
    {};

    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME, &status) == 0) {
        times.modified = status.stx_mtime.tv_sec;
        times.created = (status.stx_mask & STATX_BTIME) != 0 ? status.stx_btime.tv_sec : times.modified;
    }
    return times;
}

// The page a kind 2 record points at: its target page when that exists, else the page it was made on.
const PdfPageEntry* targetPage(const PdfDocument& d, const PdfLinkEntry& link)
{
    if (link.targetPage >= 1 && static_cast<std::size_t>(link.targetPage) < d.pages.size()) {
        return &d.pages[static_cast<std::size_t>(link.targetPage)];
    }
    for (std::size_t i = 1; i < d.pages.size(); ++i) {
        if (d.pages[i].pageRef == link.targetPageRef) {
            return &d.pages[i];
        }
    }
    return nullptr;
}

std::string destination(const PdfDocument& d, const PdfLinkEntry& link)
{
    const PdfPageEntry* page = targetPage(d, link);
    if (page == nullptr) {
        return {};
    }
    if (link.y > 0) {
        const long top = std::lround(page->heightPt - link.y * d.k);
        return "/Dest [" + page->pageRef + " /XYZ 0 " + std::to_string(top) + " 0]";
    }
    return "/Dest [" + page->pageRef + " /Fit]";
}

// A link address as 7-bit ASCII: every byte outside printable ASCII, and the blank, percent-encoded,
// so characters beyond ASCII appear as their UTF-8 bytes ("ü" as "%C3%BC").
std::string asciiUri(std::string_view uri)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(uri.size());
    for (const char c : uri) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte > 0x20 && byte < 0x7F) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(Digits[byte >> 4]);
            out.push_back(Digits[byte & 15]);
        }
    }
    return out;
}

// A name tree of named references, sorted by the bytes of their keys.
std::string nameTree(PdfDocument& d, std::vector<PdfNamedRef> entries, const std::string& namesKey)
{
    std::stable_sort(entries.begin(), entries.end(), [](const PdfNamedRef& a, const PdfNamedRef& b) {
        return encodeTextString(a.name) < encodeTextString(b.name);
    });
    PdfNewObject(PdfObjectKind::Plain);
    const std::string treeRef = PdfObjRef(d.lastObjectNumber);
    PdfPutEntry("\n", "/Names [ ", "", PdfEntryPlain);
    for (const PdfNamedRef& entry : entries) {
        PdfPutEntry(entry.name, "(", ") " + entry.reference + " ", PdfEntryTextString, treeRef);
    }
    PdfPutEntry("", "]\n", "", PdfEntryPlain, treeRef);
    PdfPutEntry(namesKey + treeRef, "", " ", PdfEntryPlain, d.namesRef);
    return treeRef;
}

// Writes the children of the item of outline level onto it and empties the level.
void closeOutlineLevel(PdfOutlineNode& node)
{
    if (!node.reference.empty() && node.childCount > 0) {
        PdfPutEntry(
            "/First " + node.firstChild + "\n/Last " + node.lastChild + "\n/Count " +
                std::to_string(node.descendantCount) + "\n",
            "",
            "",
            PdfEntryPlain,
            node.reference);
    }
    node = PdfOutlineNode{};
}

} // namespace

std::string annotationRect(float left, float top, float width, float height)
{
    return "/Rect [" + num(left) + " " + num(top) + " " + num(left + width) + " " + num(top - height) + "]";
}

float topEdgePt(const PdfDocument& d, float y)
{
    return d.pageHeightPt - y * d.k;
}

std::int32_t PdfAddLink(std::int32_t doc, std::int32_t page, std::int32_t y)
{
    PdfDocument* d = findPdfDocument(doc);
    if (d == nullptr) {
        return 0;
    }
    PdfLinkEntry link;
    link.kind = 2;
    link.targetPage = page == -1 ? d->pageNumber : page;
    link.y = y == -1 ? std::round(d->y) : static_cast<float>(y);
    link.targetPageRef = d->currentPageRef;
    return addLink(*d, std::move(link));
}

std::int32_t PdfAddLinkRecord(
    std::int32_t doc,
    std::int32_t embeddedFileIndex,
    const std::string& title,
    const std::string& contents,
    const std::string& iconName,
    float w,
    float h,
    float x)
{
    PdfDocument* d = findPdfDocument(doc);
    if (d == nullptr || embeddedFileIndex < 0) {
        return 0;
    }
    PdfLinkEntry link;
    link.kind = 1;
    link.embeddedFileIndex = embeddedFileIndex;
    link.title = title;
    link.contents = contents;
    link.iconName = iconName;
    link.x = x;
    link.w = w;
    link.h = h;
    return addLink(*d, std::move(link));
}

std::int32_t
PdfAddLinkValueRecord(std::int32_t doc, const std::string& file, float y, const std::string& parameter)
{
    PdfDocument* d = findPdfDocument(doc);
    if (d == nullptr) {
        return 0;
    }
    PdfLinkEntry link;
    link.kind = 3;
    link.file = file;
    link.parameter = parameter;
    link.y = y;
    return addLink(*d, std::move(link));
}

std::int32_t PdfAddLinkTextRecord(
    std::int32_t doc,
    const std::string& title,
    const std::string& contents,
    const std::string& iconName,
    float y)
{
    PdfDocument* d = findPdfDocument(doc);
    if (d == nullptr) {
        return 0;
    }
    PdfLinkEntry link;
    link.kind = 4;
    link.title = title;
    link.contents = contents;
    link.iconName = iconName;
    link.y = y;
    return addLink(*d, std::move(link));
}

std::int32_t PdfAddLinkTextOnlyRecord(std::int32_t doc, const std::string& uri)
{
    PdfDocument* d = findPdfDocument(doc);
    if (d == nullptr) {
        return 0;
    }
    PdfLinkEntry link;
    link.kind = 5;
    link.uri = uri;
    return addLink(*d, std::move(link));
}

std::int32_t PdfAddNamedTarget(std::int32_t doc, const std::string& name)
{
    PdfDocument* d = findPdfDocument(doc);
    if (d == nullptr || name.empty()) {
        return 0;
    }
    PdfLinkEntry link;
    link.kind = 2;
    link.targetPage = d->pageNumber;
    link.targetPageRef = d->currentPageRef;
    link.y = d->y;
    const std::int32_t number = addLink(*d, std::move(link));
    PdfLinkAnnotEntry& entry = d->linkAnnotations[name];
    entry.linkNumber = number;
    entry.targetPageHeightPt = d->pageHeightPt;
    entry.targetPageWidthPt = d->pageWidthPt;
    return 0;
}

std::int32_t
PdfLink(std::int32_t doc, float x, float y, float w, float h, const std::string& name, std::int32_t link)
{
    if (findPdfDocument(doc) == nullptr) {
        return 0;
    }
    if (link > -1) {
        PdfPutAnnotations(link, x, y, w, h);
    } else if (!name.empty()) {
        PdfNamedLinkAnnot(name, x, y, w, h);
    }
    return 0;
}

std::int32_t PdfNamedLinkAnnot(const std::string& name, float x, float y, float w, float h)
{
    PdfDocument* document = currentPdfDocument();
    if (document == nullptr || document->pageNumber < 1) {
        return 0;
    }
    PdfDocument& d = *document;
    PdfNewObject(PdfObjectKind::Plain);
    const std::string reference = PdfObjRef(d.lastObjectNumber);
    auto [entry, added] = d.linkAnnotations.insert(name);
    if (added) {
        entry->linkNumber = -1; // not defined (yet)
    }
    entry->placements.push_back({reference, d.currentPageRef});
    PdfPutEntry(
        "/Type /Annot /Subtype /Link\n" + annotationRect(x * d.k, topEdgePt(d, y), w * d.k, h * d.k) +
            "\n/Border [0 0 0]\n",
        "\n",
        "",
        PdfEntryPlain,
        reference);
    return 0;
}

void PdfPutAnnotations(std::int32_t link, float x, float y, float w, float h)
{
    PdfDocument* document = currentPdfDocument();
    if (document == nullptr || document->pageNumber < 1 || link < 0 ||
        static_cast<std::size_t>(link) >= document->links.size()) {
        return;
    }
    PdfDocument& d = *document;
    PdfLinkEntry& record = d.links[static_cast<std::size_t>(link)];
    if (record.pageNumber == 0) {
        record.pageNumber = d.pageNumber;
        record.annotationPageRef = d.currentPageRef;
    }
    // Each placement gets its own area: what the record fixed, the rest from this placement. An internal
    // link's y is its target, never its area.
    const bool fixedArea = record.kind == 1 || record.kind == 3 || record.kind == 4;
    const auto pick = [fixedArea](float own, float given) { return fixedArea && own != -1.0f ? own : given; };
    const float px = pick(record.x, x);
    const float py = pick(record.y, y);
    const float pw = pick(record.w, w);
    const float ph = pick(record.h, h);
    if (record.kind == 1 && (record.embeddedFileIndex < 0 ||
                             static_cast<std::size_t>(record.embeddedFileIndex) >= d.embeddedFiles.size())) {
        return;
    }
    if (record.kind < 1 || record.kind > 5) {
        return;
    }
    const float left = px * d.k;
    const float top = topEdgePt(d, py);
    const float rw = pw * d.k;
    const float rh = ph * d.k;
    const float shift = w * d.k;
    PdfNewObject(PdfObjectKind::Plain);
    const std::string reference = PdfObjRef(d.lastObjectNumber);
    d.pageAnnotations[d.currentPageRef].push_back(reference);
    // The record may move when objects are created; take what is needed first.
    const PdfLinkEntry r = d.links[static_cast<std::size_t>(link)];
    switch (r.kind) {
        case 1: {
            const std::string& fileRef =
                d.embeddedFiles[static_cast<std::size_t>(r.embeddedFileIndex)].reference;
            std::string text = "/Type /Annot /Subtype /FileAttachment\n/FS " + fileRef + "\n";
            if (!r.iconName.empty()) {
                text += annotationRect(left + shift, top, rw, rh) + "\n/Name /" + r.iconName + "\n";
            } else {
                text += annotationRect(left, top, rw, rh) + "\n";
            }
            PdfPutEntry(text, "\n", "", PdfEntryPlain, reference);
            PdfPutEntry(r.title, "/T (", ")\n", PdfEntryTextString, reference);
            PdfPutEntry(r.contents, "/Contents (", ")\n", PdfEntryTextString, reference);
            break;
        }
        case 2:
            PdfPutEntry(
                "/Type /Annot /Subtype /Link\n" + annotationRect(left, top, rw, rh) + "\n",
                "\n",
                "",
                PdfEntryPlain,
                reference);
            d.internalLinkAnnotations.emplace_back(reference, link);
            break;
        case 3:
            PdfPutEntry(
                "/Type /Annot /Subtype /Link\n" + annotationRect(left, top, rw, rh) +
                    "\n/Border [0 0 0]\n/A << /Type /Action /S /Launch /F << /Type /Filespec ",
                "\n",
                "",
                PdfEntryPlain,
                reference);
            PdfPutEntry(r.file, "/F (", ") >> ", PdfEntryTextString, reference);
            PdfPutEntry(r.parameter, "/O (", ") >>\n", PdfEntryTextString, reference);
            break;
        case 4: {
            std::string text =
                "/Type /Annot /Subtype /Text\n" + annotationRect(left + shift, top, rw, rh) + "\n";
            if (!r.iconName.empty()) {
                text += "/Name /" + r.iconName + "\n";
            }
            PdfPutEntry(text, "\n", "", PdfEntryPlain, reference);
            PdfPutEntry(r.title, "/T (", ")\n", PdfEntryTextString, reference);
            PdfPutEntry(r.contents, "/Contents (", ")\n", PdfEntryTextString, reference);
            break;
        }
        default:
            PdfPutEntry(
                "/Type /Annot /Subtype /Link\n" + annotationRect(left, top, rw, rh) + "\n/Border [0 0 0]\n",
                "\n",
                "",
                PdfEntryPlain,
                reference);
            PdfPutEntry(asciiUri(r.uri), "/A << /S /URI /URI (", ") >>\n", PdfEntryTextString, reference);
            break;
    }
}

std::int32_t
PdfAddOutlineItem(std::int32_t doc, const std::string& title, std::int32_t level, float y, std::int32_t page)
{
    PdfDocument* document = findPdfDocument(doc);
    if (document == nullptr) {
        return 0;
    }
    PdfDocument& d = *document;
    if (y == -1.0f) {
        y = d.y;
    }
    if (page == -1) {
        page = d.pageNumber;
    }
    // The level of the item added last: the deepest level that holds an item.
    std::int32_t previousLevel = -1;
    for (const auto& [key, node] : d.outlineChildren) {
        if (!node.reference.empty()) {
            previousLevel = std::max(previousLevel, std::stoi(key));
        }
    }
    level = std::clamp(level, 0, previousLevel + 1);
    if (d.outlineRootRef.empty()) {
        PdfNewObject(PdfObjectKind::OutlineRoot);
        PdfPutEntry("/Type /Outlines\n", "\n", "", PdfEntryPlain);
    }
    // Items below the new one's level are complete: their children go onto them.
    for (std::int32_t deeper = previousLevel; deeper > level; --deeper) {
        closeOutlineLevel(d.outlineChildren[std::to_string(deeper)]);
    }
    const std::string prev = d.outlineChildren[std::to_string(level)].reference;
    PdfNewObject(PdfObjectKind::OutlineItem);
    const std::string self = PdfObjRef(d.lastObjectNumber);
    PdfPutEntry(title, "\n/Title (", ")\n", PdfEntryTextString);
    std::string text;
    if (level == 0) {
        text = "/Parent " + d.outlineRootRef + "\n";
    } else {
        PdfOutlineNode& parent = d.outlineChildren[std::to_string(level - 1)];
        text = "/Parent " + parent.reference + "\n";
        if (parent.firstChild.empty()) {
            parent.firstChild = self;
        }
        parent.lastChild = self;
        ++parent.childCount;
        for (std::int32_t ancestor = 0; ancestor < level; ++ancestor) {
            ++d.outlineChildren[std::to_string(ancestor)].descendantCount;
        }
    }
    if (!prev.empty()) {
        text += "/Prev " + prev + "\n";
        PdfPutEntry("/Next " + self + "\n", "", "", PdfEntryPlain, prev);
        closeOutlineLevel(d.outlineChildren[std::to_string(level)]);
    }
    d.outlineChildren[std::to_string(level)].reference = self;
    if (page >= 1 && static_cast<std::size_t>(page) < d.pages.size()) {
        const PdfPageEntry& target = d.pages[static_cast<std::size_t>(page)];
        text += "/Dest [" + target.pageRef + " /XYZ 0 " + num(target.heightPt - y * d.k) + " 0]\n";
    }
    PdfPutEntry(text, "", "", PdfEntryPlain, self);
    return 0;
}

std::int32_t PdfPutEmbeddedFile(std::int32_t doc, const std::string& fileName, const std::string& description)
{
    PdfDocument* document = findPdfDocument(doc);
    if (document == nullptr) {
        return 0;
    }
    PdfDocument& d = *document;
    PdfMemoryBlock block;
    if (PdfLoadCompressed(fileName, block) == 0) {
        return 0;
    }
    const FileTimes times = fileTimes(fileName);
    PdfNewObject(PdfObjectKind::Plain);
    const std::string streamRef = PdfObjRef(d.lastObjectNumber);
    PdfPutEntry(
        "/Type /EmbeddedFile\n/Filter /FlateDecode\n/Length " + std::to_string(block.data.size()) +
            "\n/Params <</Size " + std::to_string(block.uncompressedLength) + " ",
        "\n",
        "",
        PdfEntryPlain);
    PdfPutEntry(pdfDate(times.created), "/CreationDate (", ") ", PdfEntryTextString);
    PdfPutEntry(pdfDate(times.modified), "/ModDate (", ")>>\n", PdfEntryTextString);
    PdfPutStream(std::move(block.data), PdfCompressedStreamMarker);
    const std::string name(fileNamePart(fileName));
    const std::int32_t index = PdfNewObject(PdfObjectKind::EmbeddedFile, name);
    PdfPutEntry("/Type /Filespec\n/EF <</F " + streamRef + ">>\n", "\n", "", PdfEntryPlain);
    if (!description.empty()) {
        PdfPutEntry(description, "/Desc (", ")\n", PdfEntryTextString);
    }
    PdfPutEntry(name, "/F (", ")\n", PdfEntryTextString);
    if (d.namesRef.empty()) {
        PdfNewObject(PdfObjectKind::Names);
    }
    return index;
}

std::int32_t PdfJavaScriptAction(std::int32_t doc, const std::string& script, const std::string& name)
{
    PdfDocument* document = findPdfDocument(doc);
    if (document == nullptr) {
        return 0;
    }
    PdfDocument& d = *document;
    const std::int32_t index = PdfNewObject(PdfObjectKind::JavaScript, name);
    PdfPutEntry(script, "/S /JavaScript /JS (", ")", PdfEntryTextString);
    if (d.javaScriptTreeRef.empty()) {
        PdfNewObject(PdfObjectKind::Plain);
        d.javaScriptTreeRef = PdfObjRef(d.lastObjectNumber);
    }
    if (d.namesRef.empty()) {
        PdfNewObject(PdfObjectKind::Names);
    }
    return index;
}

std::int32_t PdfJavaScript(std::int32_t doc, const std::string& fileName, const std::string& name)
{
    PdfDocument* document = findPdfDocument(doc);
    if (document == nullptr) {
        return 0;
    }
    auto content = readWholeFile(fileName);
    if (!content) {
        setPdfError(*document, PdfError::FileNotRead);
        return 0;
    }
    std::string script;
    const std::string& text = content.value();
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        script += text.substr(start, end - start) + "\n";
        if (end == std::string::npos) {
            break;
        }
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    PdfJavaScriptAction(doc, utf8OrCp1252ToUtf8(script), name);
    return 1;
}

void assembleInteractiveObjects(PdfDocument& d)
{
    // Links to named targets: listed on their pages with a destination; a target that was never
    // defined leaves no annotation.
    for (auto& [name, entry] : d.linkAnnotations) {
        const bool defined =
            entry.linkNumber >= 0 && static_cast<std::size_t>(entry.linkNumber) < d.links.size();
        for (const PdfAnnotationPlacement& placement : entry.placements) {
            if (!defined) {
                if (PdfObject* object = d.object(placement.annotationRef)) {
                    object->entries.clear();
                }
                continue;
            }
            d.pageAnnotations[placement.pageRef].push_back(placement.annotationRef);
            const PdfLinkEntry& link = d.links[static_cast<std::size_t>(entry.linkNumber)];
            if (link.kind == 2) {
                const std::string dest = destination(d, link);
                if (!dest.empty()) {
                    PdfPutEntry(dest, "", "\n", PdfEntryPlain, placement.annotationRef);
                }
            }
        }
    }
    for (const auto& [annotationRef, linkNumber] : d.internalLinkAnnotations) {
        const std::string dest = destination(d, d.links[static_cast<std::size_t>(linkNumber)]);
        if (!dest.empty()) {
            PdfPutEntry(dest, "", "\n", PdfEntryPlain, annotationRef);
        }
    }
    for (const auto& [pageRef, annotations] : d.pageAnnotations) {
        if (annotations.empty()) {
            continue;
        }
        std::string list;
        for (const std::string& annotation : annotations) {
            list += (list.empty() ? "" : " ") + annotation;
        }
        PdfPutEntry("/Annots [" + list, "", "]\n", PdfEntryPlain, pageRef);
    }
    if (!d.formFields.empty()) {
        std::string fields;
        for (const std::string& field : d.formFields) {
            fields += (fields.empty() ? "" : " ") + field;
        }
        PdfNewObject(PdfObjectKind::Plain);
        d.acroFormRef = PdfObjRef(d.lastObjectNumber);
        PdfPutEntry(
            "/NeedAppearances true\n/Fields [" + fields + "]\n/DR " + d.resourcesRef + "\n",
            "\n",
            "",
            PdfEntryPlain);
        PdfPutEntry(d.formDefaultAppearance, "/DA (", ")\n", PdfEntryTextString);
    }
    // The root's last child is the last top-level item, which need not be the last item made.
    const PdfOutlineNode* topLevel = d.outlineChildren.find("0");
    const std::string lastTopItem =
        topLevel != nullptr && !topLevel->reference.empty() ? topLevel->reference : d.lastOutlineItemRef;
    for (auto& [level, node] : d.outlineChildren) {
        if (!node.reference.empty()) {
            closeOutlineLevel(node);
        }
    }
    if (d.outlineItemCount != 0) {
        PdfPutEntry(
            "/First " + d.firstOutlineItemRef + "\n/Last " + lastTopItem + "\n/Count " +
                std::to_string(d.outlineItemCount) + "\n",
            "",
            "",
            PdfEntryPlain,
            d.outlineRootRef);
    }
}

void assembleNameTrees(PdfDocument& d)
{
    if (!d.embeddedFiles.empty()) {
        d.embeddedFilesTreeRef = nameTree(d, d.embeddedFiles, "/EmbeddedFiles ");
    }
    if (!d.javaScripts.empty()) {
        d.javaScriptTreeRef = nameTree(d, d.javaScripts, "/JavaScript ");
    }
}

} // namespace folvex
