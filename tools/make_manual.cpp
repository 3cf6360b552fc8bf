// make_manual: lays out the user manual from its text source with the program's own PDF writer.
//
//   make_manual SOURCE.txt "OUT.pdf"
//
// The source is UTF-8 text in a small markup:
//   @titel TEXT, @untertitel TEXT, @stand TEXT   the lines of the title page
//   # Heading                                    a chapter (numbered, in the outline and the contents)
//   ## Heading                                   a section of the chapter (numbered likewise)
//   - text                                       an item of a list
//   anything else                                running text; a blank line ends a paragraph or item,
//                                                and a line that continues one is joined to it
// A line starting with "//" is a comment. The output has a title page, a contents page whose entries
// link to their chapters, the chapters with page numbers below and an outline of all headings.

#include "pdf/pdf_writer.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using folvex::PdfAddNamedTarget;
using folvex::PdfAddOutlineItem;

enum class BlockKind
{
    Chapter,
    Section,
    Paragraph,
    Item,
};

struct Block
{
    BlockKind kind;
    std::string text;
    std::string number; // "3" or "3.2" for headings
};

struct Manual
{
    std::string title;
    std::string subtitle;
    std::string stand;
    std::vector<Block> blocks;
};

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

Manual parseManual(std::istream& in)
{
    Manual manual;
    int chapter = 0;
    int section = 0;
    bool open = false; // the last block is a paragraph or item that a following line continues
    std::string raw;
    while (std::getline(in, raw)) {
        const std::string line = trimmed(raw);
        if (startsWith(line, "//")) {
            continue;
        }
        if (line.empty()) {
            open = false;
        } else if (startsWith(line, "@titel ")) {
            manual.title = trimmed(line.substr(7));
        } else if (startsWith(line, "@untertitel ")) {
            manual.subtitle = trimmed(line.substr(12));
        } else if (startsWith(line, "@stand ")) {
            manual.stand = trimmed(line.substr(7));
        } else if (startsWith(line, "## ")) {
            ++section;
            manual.blocks.push_back(
                {BlockKind::Section,
                 trimmed(line.substr(3)),
                 std::to_string(chapter) + "." + std::to_string(section)});
            open = false;
        } else if (startsWith(line, "# ")) {
            ++chapter;
            section = 0;
            manual.blocks.push_back({BlockKind::Chapter, trimmed(line.substr(2)), std::to_string(chapter)});
            open = false;
        } else if (startsWith(line, "- ")) {
            manual.blocks.push_back({BlockKind::Item, trimmed(line.substr(2)), {}});
            open = true;
        } else if (open) {
            manual.blocks.back().text += " " + line;
        } else {
            manual.blocks.push_back({BlockKind::Paragraph, line, {}});
            open = true;
        }
    }
    return manual;
}

constexpr const char* Family = "Helvetica";
constexpr float Margin = 22.0f;      // mm, left and right
constexpr float TopMargin = 20.0f;   // mm
constexpr float LineHeight = 5.2f;   // mm, running text
constexpr float ChapterRoom = 60.0f; // mm a chapter needs below its heading, else it starts a page

std::string targetName(const Block& heading)
{
    return "k" + heading.number;
}

// Writes the manual; pages[i] is the page number of the i-th heading (0 while it is not known) and is
// filled in with where the headings landed. Returns the PDF writer's result of saving.
int writeManual(const Manual& manual, std::vector<int>& pages, const std::string& outFile)
{
    const std::int32_t doc = folvex::PdfCreate(-1, "P", "mm", "", -1.0f, -1.0f);
    if (doc == 0) {
        return 1;
    }
    folvex::PdfSetCompression(doc, 1);
    folvex::PdfSetInfo(doc, 2, manual.title);
    folvex::PdfSetInfo(doc, 3, manual.subtitle);
    folvex::PdfSetInfo(doc, 5, "Folvex");
    folvex::PdfSetPageMode(doc, "/UseOutlines");
    folvex::PdfSetMargins(doc, Margin, TopMargin, -1.0f);
    folvex::PdfSetAutoPageBreak(doc, 1, 22.0f);
    folvex::PdfSetFooterProc(
        doc,
        [doc](std::optional<std::int32_t>) {
            const std::int32_t page = folvex::PdfPageNo(doc, 0);
            if (page <= 1) {
                return; // the title page has no number
            }
            folvex::PdfSetYPublic(doc, -15.0f, 1);
            folvex::PdfSetFont(doc, Family, "", 9);
            folvex::PdfSetColor(doc, 1, 90, -1, -1);
            folvex::PdfCellPublic(doc, "Seite " + std::to_string(page), 0, 10, 0, 0, "C", 0, -1, "");
            folvex::PdfSetColor(doc, 1, 0, -1, -1);
        },
        0);
    folvex::PdfEnableFooter(doc, 1);

    const float pageWidth = folvex::PdfGetPageWidth(doc);
    const float pageHeight = folvex::PdfGetPageHeight(doc);
    const float textWidth = pageWidth - 2 * Margin;

    // Title page.
    folvex::PdfAddPage(doc, "", "", -1.0f, -1.0f);
    folvex::PdfSetColor(doc, 3, 0, 128, 64);
    folvex::PdfRectPublic(doc, 0, 70, pageWidth, 4, "F");
    folvex::PdfSetYPublic(doc, 95, 1);
    folvex::PdfSetFont(doc, Family, "B", 32);
    folvex::PdfCellPublic(doc, manual.title, 0, 14, 0, 1, "C", 0, -1, "");
    folvex::PdfLnPublic(doc, 6);
    folvex::PdfSetFont(doc, Family, "", 15);
    folvex::PdfMultiCellPublic(doc, manual.subtitle, 0, 8, 0, "C", 0, 0, 0);
    folvex::PdfSetYPublic(doc, pageHeight - 50, 1);
    folvex::PdfSetFont(doc, Family, "", 11);
    folvex::PdfCellPublic(doc, manual.stand, 0, 6, 0, 1, "C", 0, -1, "");

    // Contents: each entry links to its heading.
    folvex::PdfAddPage(doc, "", "", -1.0f, -1.0f);
    folvex::PdfSetFont(doc, Family, "B", 20);
    folvex::PdfCellPublic(doc, "Inhalt", 0, 12, 0, 1, "", 0, -1, "");
    PdfAddOutlineItem(doc, "Inhalt", 0, -1.0f, -1);
    folvex::PdfLnPublic(doc, 4);
    std::size_t heading = 0;
    for (const Block& block : manual.blocks) {
        if (block.kind != BlockKind::Chapter && block.kind != BlockKind::Section) {
            continue;
        }
        const bool chapter = block.kind == BlockKind::Chapter;
        const float indent = chapter ? 0.0f : 8.0f;
        const float height = chapter ? 7.5f : 6.0f;
        const std::string pageText = std::to_string(pages[heading++]);
        folvex::PdfSetFont(doc, Family, chapter ? "B" : "", chapter ? 11 : 10);
        const float pageCell = 14.0f;
        folvex::PdfSetXPublic(doc, Margin + indent);
        folvex::PdfCellPublic(
            doc,
            block.number + "  " + block.text,
            textWidth - indent - pageCell,
            height,
            0,
            0,
            "",
            0,
            -1,
            targetName(block));
        folvex::PdfCellPublic(doc, pageText, pageCell, height, 0, 1, "R", 0, -1, targetName(block));
    }

    // Chapters.
    heading = 0;
    bool first = true;
    for (const Block& block : manual.blocks) {
        switch (block.kind) {
            case BlockKind::Chapter:
                if (first || folvex::PdfGetY(doc) > pageHeight - ChapterRoom) {
                    folvex::PdfAddPage(doc, "", "", -1.0f, -1.0f);
                } else {
                    folvex::PdfLnPublic(doc, 8);
                }
                first = false;
                pages[heading++] = folvex::PdfPageNo(doc, 0);
                PdfAddNamedTarget(doc, targetName(block));
                PdfAddOutlineItem(doc, block.number + " " + block.text, 0, -1.0f, -1);
                folvex::PdfSetFont(doc, Family, "B", 17);
                folvex::PdfSetColor(doc, 1, 0, 100, 50);
                folvex::PdfMultiCellPublic(doc, block.number + "  " + block.text, 0, 9, 0, "", 0, 0, 0);
                folvex::PdfSetColor(doc, 1, 0, -1, -1);
                folvex::PdfSetColor(doc, 2, 0, 128, 64);
                folvex::PdfSetLineWidthPublic(doc, 0.4f);
                folvex::PdfLinePublic(
                    doc, Margin, folvex::PdfGetY(doc) + 1, pageWidth - Margin, folvex::PdfGetY(doc) + 1);
                folvex::PdfLnPublic(doc, 5);
                break;
            case BlockKind::Section:
                if (folvex::PdfGetY(doc) > pageHeight - 45) {
                    folvex::PdfAddPage(doc, "", "", -1.0f, -1.0f);
                } else {
                    folvex::PdfLnPublic(doc, 3);
                }
                pages[heading++] = folvex::PdfPageNo(doc, 0);
                PdfAddNamedTarget(doc, targetName(block));
                PdfAddOutlineItem(doc, block.number + " " + block.text, 1, -1.0f, -1);
                folvex::PdfSetFont(doc, Family, "B", 12);
                folvex::PdfMultiCellPublic(doc, block.number + "  " + block.text, 0, 7, 0, "", 0, 0, 0);
                folvex::PdfLnPublic(doc, 1.5f);
                break;
            case BlockKind::Paragraph:
                folvex::PdfSetFont(doc, Family, "", 10);
                folvex::PdfMultiCellPublic(doc, block.text, 0, LineHeight, 0, "J", 0, 0, 0);
                folvex::PdfLnPublic(doc, 2.2f);
                break;
            case BlockKind::Item:
                folvex::PdfSetFont(doc, Family, "", 10);
                folvex::PdfSetXPublic(doc, Margin + 4);
                folvex::PdfMultiCellBullet(doc, block.text, textWidth - 4, LineHeight, 0, "", 0, "\u2022");
                folvex::PdfLnPublic(doc, 1.2f);
                break;
        }
    }
    return folvex::PdfSave(doc, outFile);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_manual SOURCE.txt OUT.pdf\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "make_manual: cannot read %s\n", argv[1]);
        return 1;
    }
    const Manual manual = parseManual(in);
    std::size_t headings = 0;
    for (const Block& block : manual.blocks) {
        headings += block.kind == BlockKind::Chapter || block.kind == BlockKind::Section ? 1 : 0;
    }
    if (headings == 0) {
        std::fprintf(stderr, "make_manual: %s has no chapter\n", argv[1]);
        return 1;
    }
    // The first pass learns on which page each heading lands, the second writes the contents with it.
    std::vector<int> pages(headings, 0);
    const std::string scratch = std::string(argv[2]) + ".pass1";
    if (writeManual(manual, pages, scratch) != 0) {
        std::fprintf(stderr, "make_manual: cannot write %s\n", scratch.c_str());
        return 1;
    }
    std::remove(scratch.c_str());
    if (writeManual(manual, pages, argv[2]) != 0) {
        std::fprintf(stderr, "make_manual: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
