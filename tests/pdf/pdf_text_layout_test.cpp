#include "pdf/pdf_writer.h"
#include "pdf/pdf_writer_internal.h"
#include "pdf_test_fixture.h"
#include "support/pdf_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace folvex {
namespace {

using testing::currentContent;
using testing::PdfTest;
using testing::toolOutput;

// A 600 × 800 pt page with margins of 10, a cell margin of 2 and Courier 10 (every character 6 pt).
class PdfTextLayoutTest : public PdfTest
{
protected:
    PdfTextLayoutTest()
    {
        PdfSetMargins(doc, 10, 10, 10);
        PdfSetMargin(doc, 4, 2);
        PdfAddPage(doc, "", "600,800", -1.0f, -1.0f);
        PdfSetFont(doc, "Courier", "", 10);
    }

    // What was written since the last call.
    std::string written()
    {
        const std::string all = currentContent();
        std::string fresh = all.substr(std::min(m_seen, all.size()));
        m_seen = all.size();
        return fresh;
    }

    std::int32_t doc = PdfCreate(-1, "P", "pt", "", -1.0f, -1.0f);

private:
    std::size_t m_seen = 0;
};

TEST_F(PdfTextLayoutTest, CellsDrawFramesAlignTextAndMove)
{
    struct Case
    {
        const char* label;
        const char* text;
        float w;
        std::int32_t border;
        std::int32_t ln;
        const char* align;
        std::int32_t fill;
        const char* content;
        float x;
        float y;
    };

    const Case cases[] = {
        {"plain", "AB", 100, 0, 0, "", 0, "BT 12.00 777.00 Td (AB) Tj ET\n", 110, 10},
        {"frame",
         "AB",
         100,
         1,
         1,
         "L",
         0,
         "10.00 790.00 100.00 -20.00 re S BT 12.00 777.00 Td (AB) Tj ET\n",
         10,
         30},
        {"filled frame", "", 100, 1, 2, "", 1, "10.00 790.00 100.00 -20.00 re B \n", 10, 30},
        {"left and right",
         "AB",
         100,
         -5,
         0,
         "",
         0,
         "10.00 790.00 m 10.00 770.00 l S 110.00 790.00 m 110.00 770.00 l S BT 12.00 777.00 Td (AB) Tj ET\n",
         110,
         10},
        {"four edges",
         "",
         100,
         -15,
         0,
         "",
         0,
         "10.00 790.00 m 10.00 770.00 l S 10.00 790.00 m 110.00 790.00 l S 110.00 790.00 m 110.00 770.00 l S "
         "10.00 770.00 m 110.00 770.00 l S \n",
         110,
         10},
        {"right", "AB", 100, 0, 2, "R", 0, "BT 96.00 777.00 Td (AB) Tj ET\n", 10, 30},
        {"centre", "AB", 100, 0, 0, "C", 0, "BT 54.00 777.00 Td (AB) Tj ET\n", 110, 10},
        {"full justification",
         "A B",
         100,
         0,
         0,
         "FJ",
         0,
         "78.000 Tw\nBT 12.00 777.00 Td (A B) Tj ET\n0 Tw\n",
         110,
         10},
        {"as wide as the text", "AB", -1, 0, 0, "", 0, "BT 12.00 777.00 Td (AB) Tj ET\n", 22, 10},
        {"to the right margin", "a(b)", 0, 0, 1, "", 0, "BT 12.00 777.00 Td (a\\(b\\)) Tj ET\n", 10, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        PdfSetXYPublic(doc, 10, 10);
        written();
        PdfCellPublic(doc, c.text, c.w, 20, c.border, c.ln, c.align, c.fill, -1, "");
        EXPECT_EQ(written(), c.content);
        EXPECT_FLOAT_EQ(PdfGetX(doc), c.x);
        EXPECT_FLOAT_EQ(PdfGetY(doc), c.y);
        EXPECT_FLOAT_EQ(PdfGetWordSpacing(doc), 0);
    }
    saveChecked(doc, "cells.pdf");
}

TEST_F(PdfTextLayoutTest, UnderlineAndTextColourWrapTheText)
{
    PdfSetFont(doc, "Courier", "U", 10);
    PdfSetColor(doc, 1, 255, 0, 0);
    written();
    PdfCellPublic(doc, "AB", 100, 20, 0, 0, "", 0, -1, "");
    EXPECT_EQ(
        written(), "q 1.000 0.000 0.000 rg BT 12.00 777.00 Td (AB) Tj ET 12.00 776.00 12.00 -0.50 re f Q\n");
    PdfText(doc, "", 50, 50);
    EXPECT_EQ(written(), "");
    PdfText(doc, "C", 50, 50);
    EXPECT_EQ(
        written(), "q 1.000 0.000 0.000 rg BT 50.00 750.00 Td (C) Tj ET 50.00 749.00 6.00 -0.50 re f Q\n");
}

TEST_F(PdfTextLayoutTest, MultiCellsWrapAtSpacesLineFeedsAndLongWords)
{
    struct Case
    {
        const char* label;
        const char* text;
        const char* align;
        std::int32_t maxline;
        std::vector<std::string> lines;
        const char* rest;
        const char* justification;
    };

    // Lines of 50 pt hold 7 characters.
    const Case cases[] = {
        {"spaces", "AAAA BBBB CC", "", 0, {"AAAA", "BBBB CC"}, "", ""},
        {"line feeds", "AB\nCD\n\n", "", 0, {"AB", "CD"}, "", ""},
        {"long word", "ABCDEFGHIJ", "", 0, {"ABCDEFG", "HIJ"}, "", ""},
        {"justified", "AA BB CC DD", "J", 0, {"AA BB", "CC DD"}, "", "16.000 Tw\n"},
        {"line limit", "L1\nL2\nL3\nL4\nL5", "", 2, {"L1", "L2"}, "L3\nL4\nL5", ""},
        {"carriage return inside", "A\rB", "", 0, {"A\\rB"}, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        PdfSetXYPublic(doc, 10, 10);
        written();
        EXPECT_EQ(PdfMultiCellPublic(doc, c.text, 50, 10, 0, c.align, 0, 0, c.maxline), c.rest);
        const std::string out = written();
        std::vector<std::string> lines;
        std::istringstream stream(out);
        std::string line;
        while (std::getline(stream, line)) {
            const std::size_t open = line.find(" Td (");
            if (open != std::string::npos) {
                lines.push_back(line.substr(open + 5, line.rfind(") Tj") - open - 5));
            }
        }
        EXPECT_EQ(lines, c.lines) << out;
        EXPECT_EQ(PdfGetMultiCellLines(doc), static_cast<std::int32_t>(c.lines.size()));
        EXPECT_EQ(out.find("Tw\n") == std::string::npos, std::string(c.justification).empty()) << out;
        if (*c.justification != 0) {
            EXPECT_NE(out.find(c.justification), std::string::npos) << out;
        }
        EXPECT_FLOAT_EQ(PdfGetY(doc), 10 + 10 * static_cast<float>(c.lines.size()));
    }
}

TEST_F(PdfTextLayoutTest, MultiCellFramesEdgesPerLineAndIndentsTheFirst)
{
    written();
    PdfMultiCellPublic(doc, "AB\nCD\nEF", 50, 10, 1, "", 0, 6, 0);
    EXPECT_EQ(
        written(),
        "16.00 790.00 m 16.00 780.00 l S 16.00 790.00 m 60.00 790.00 l S 60.00 790.00 m 60.00 780.00 l S "
        "BT 18.00 782.00 Td (AB) Tj ET\n"
        "10.00 780.00 m 10.00 770.00 l S 60.00 780.00 m 60.00 770.00 l S BT 12.00 772.00 Td (CD) Tj ET\n"
        "10.00 770.00 m 10.00 760.00 l S 60.00 770.00 m 60.00 760.00 l S 10.00 760.00 m 60.00 760.00 l S "
        "BT 12.00 762.00 Td (EF) Tj ET\n");
}

TEST_F(PdfTextLayoutTest, WriteFlowsOnAndEndsOnWordsWiderThanALine)
{
    PdfSetXYPublic(doc, 500, 10);
    written();
    // 90 pt are left on this line (14 characters), 580 on the following ones.
    PdfWritePublic(doc, "AAAA BBBB CCCC DDDD", 10, "", -1);
    EXPECT_EQ(
        written(),
        "BT 502.00 782.00 Td (AAAA BBBB CCCC) Tj ET\n"
        "BT 12.00 772.00 Td (DDDD) Tj ET\n");
    EXPECT_FLOAT_EQ(PdfGetX(doc), 10 + 24);
    EXPECT_FLOAT_EQ(PdfGetY(doc), 20);

    // A cell margin that leaves less than one character per line: each character stands alone.
    PdfSetMargin(doc, 4, 289);
    PdfSetXYPublic(doc, 10, 100);
    written();
    PdfWritePublic(doc, "XYZ", 10, "", -1);
    const std::string out = written();
    EXPECT_NE(out.find("(X) Tj"), std::string::npos) << out;
    EXPECT_NE(out.find("(Y) Tj"), std::string::npos) << out;
    EXPECT_NE(out.find("(Z) Tj"), std::string::npos) << out;
}

TEST_F(PdfTextLayoutTest, TruncatedCellsKeepWhatFits)
{
    PdfSetXYPublic(doc, 10, 10);
    written();
    EXPECT_EQ(PdfTruncateCell(doc, "ABCDEFGHIJ", 50, 10, 0, 1, "", 0, "...", "", -1), "EFGHIJ");
    EXPECT_EQ(written(), "BT 12.00 782.00 Td (ABCD...) Tj ET\n");
    EXPECT_EQ(PdfTruncateCell(doc, "ABCDEFG", 50, 10, 0, 1, "", 0, "...", "", -1), "");
    EXPECT_EQ(written(), "BT 12.00 772.00 Td (ABCDEFG) Tj ET\n");
    EXPECT_EQ(PdfTruncateCell(doc, "ABCDEFG", 10, 10, 0, 1, "", 0, "...", "", -1), "");
    EXPECT_EQ(written(), "");
}

TEST_F(PdfTextLayoutTest, CellsBelowTheBreakLineStartANewPageAtTheSameX)
{
    PdfSetXYPublic(doc, 200, 770);
    PdfCellPublic(doc, "AB", 50, 20, 0, 0, "", 0, -1, "");
    EXPECT_EQ(PdfPageNo(doc, 0), 2);
    EXPECT_FLOAT_EQ(PdfGetY(doc), 10);
    EXPECT_FLOAT_EQ(PdfGetX(doc), 250);
    EXPECT_NE(currentContent().find("BT 202.00 818.89 Td (AB) Tj ET"), std::string::npos);
    saveChecked(doc, "break.pdf");
}

TEST_F(PdfTest, AlignedWordsLineUpAndFootersNumberThePages)
{
    const std::int32_t doc = PdfCreate(-1, "P", "mm", "", -1.0f, -1.0f);
    PdfEnablePageNumberFooter(doc, 1);
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    PdfSetFont(doc, "Helvetica", "", 12);
    for (const char* word : {"Wasserfall", "i", "Grüße"}) {
        PdfCellPublic(doc, word, 100, 8, 0, 1, "R", 0, -1, "");
        PdfCellPublic(doc, word, 100, 8, 0, 1, "C", 0, -1, "");
    }
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    const std::string path = dir.file("aligned.pdf");
    saveChecked(doc, "aligned.pdf");

    const std::string boxes = toolOutput({"pdftotext", "-f", "1", "-l", "1", "-bbox", path, "-"});
    std::vector<double> rightEdges;
    std::vector<double> centres;
    std::istringstream lines(boxes);
    std::string line;
    int n = 0;
    while (std::getline(lines, line)) {
        if (line.find("<word") == std::string::npos || line.find(">1<") != std::string::npos) {
            continue;
        }
        const auto attribute = [&line](const char* name) {
            return std::stod(line.substr(line.find(name) + std::string(name).size() + 2));
        };
        const double xMin = attribute("xMin");
        const double xMax = attribute("xMax");
        if (n % 2 == 0) {
            rightEdges.push_back(xMax);
        } else {
            centres.push_back((xMin + xMax) / 2);
        }
        ++n;
    }
    ASSERT_EQ(rightEdges.size(), 3u) << boxes;
    ASSERT_EQ(centres.size(), 3u) << boxes;
    for (std::size_t i = 1; i < 3; ++i) {
        EXPECT_NEAR(rightEdges[i], rightEdges[0], 0.5);
        EXPECT_NEAR(centres[i], centres[0], 0.5);
    }
    for (int page = 1; page <= 3; ++page) {
        const std::string text =
            toolOutput({"pdftotext", "-f", std::to_string(page), "-l", std::to_string(page), path, "-"});
        EXPECT_NE(text.find(std::to_string(page) + "\n"), std::string::npos) << text;
        EXPECT_EQ(text.find("{p}"), std::string::npos);
    }
}

TEST_F(PdfTest, ContentsPageListsEntriesWithLeadersAndMovesToTheFront)
{
    const std::int32_t doc = PdfCreate(-1, "P", "mm", "", -1.0f, -1.0f);
    PdfSetFont(doc, "Helvetica", "", 12);
    for (int page = 1; page <= 3; ++page) {
        PdfAddPage(doc, "", "", -1.0f, -1.0f);
        const std::string title = "Kapitel " + std::to_string(page);
        PdfCellPublic(doc, title, 0, 10, 0, 1, "", 0, -1, "");
        PdfAddTocEntry(doc, title, 0);
        PdfAddTocEntry(doc, "Abschnitt " + std::to_string(page), 1);
    }
    const std::string pageRef = module.current->pages[1].pageRef;
    PdfTableOfContents(doc, 1, "Local", 16, 11, "Helvetica");
    EXPECT_EQ(PdfGetFlag(doc, 1), 0);
    EXPECT_EQ(PdfPageNo(doc, 0), 1);
    EXPECT_EQ(module.current->pages[2].pageRef, pageRef);
    const std::string path = dir.file("contents.pdf");
    saveChecked(doc, "contents.pdf");
    const std::string text =
        toolOutput({"pdftotext", "-f", "1", "-l", "1", "-layout", "-enc", "UTF-8", path, "-"});
    EXPECT_NE(text.find("Inhaltsverzeichnis"), std::string::npos) << text;
    for (const char* entry : {"Kapitel 1", "Abschnitt 2", "Kapitel 3"}) {
        const std::size_t at = text.find(entry);
        ASSERT_NE(at, std::string::npos) << text;
        const std::string row = text.substr(at, text.find('\n', at) - at);
        EXPECT_NE(row.find("....."), std::string::npos) << row;
    }
    EXPECT_NE(text.find("Kapitel 2"), std::string::npos);
    const std::string second = toolOutput({"pdftotext", "-f", "2", "-l", "2", path, "-"});
    EXPECT_EQ(second.substr(0, 9), "Kapitel 1");
}

TEST_F(PdfTest, TextWithoutAFontUsesHelvetica)
{
    const std::int32_t doc = PdfCreate(-1, "P", "pt", "", -1.0f, -1.0f);
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    PdfCellPublic(doc, "AV", -1, 10, 0, 0, "", 0, -1, "");
    EXPECT_NE(currentContent().find("BT /F1 12.00 Tf ET\n"), std::string::npos);
    EXPECT_NEAR(PdfGetX(doc), 28.35f + 16.008f, 0.01f);
    const std::string bytes = saveChecked(doc, "default_font.pdf");
    EXPECT_NE(bytes.find("/BaseFont /Helvetica"), std::string::npos);
}

} // namespace
} // namespace folvex
