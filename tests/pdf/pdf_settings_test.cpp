#include "pdf/pdf_writer.h"
#include "pdf/pdf_writer_internal.h"
#include "pdf_test_fixture.h"

#include <gtest/gtest.h>

namespace folvex {
namespace {

using testing::objectText;
using testing::PdfTest;

TEST_F(PdfTest, NewDocumentDefaultsPerUnit)
{
    const struct
    {
        const char* unit;
        float k;
    } cases[] = {
        {"pt", 1.0f},
        {"mm", 72.0f / 25.4f},
        {"cm", 72.0f / 2.54f},
        {"in", 72.0f},
        {"", 72.0f / 25.4f},
        {"furlong", 72.0f / 25.4f}};

    for (const auto& c : cases) {
        SCOPED_TRACE(c.unit);
        const std::int32_t doc = PdfCreate(1, "P", c.unit, "", -1.0f, -1.0f);
        EXPECT_FLOAT_EQ(PdfGetScaleFactor(doc), c.k);
        EXPECT_FLOAT_EQ(PdfGetPageWidth(doc), 595.28f / c.k);
        EXPECT_FLOAT_EQ(PdfGetPageHeight(doc), 841.89f / c.k);
        EXPECT_FLOAT_EQ(PdfGetMargin(doc, 1), 28.35f / c.k);
        EXPECT_FLOAT_EQ(PdfGetMargin(doc, 2), 28.35f / c.k);
        EXPECT_FLOAT_EQ(PdfGetMargin(doc, 3), 28.35f / c.k);
        EXPECT_FLOAT_EQ(PdfGetMargin(doc, 4), 2.835f / c.k);
        EXPECT_EQ(PdfGetMargin(doc, 5), 0.0f);
        EXPECT_EQ(PdfGetFontSize(doc, 1), 12.0f);
        EXPECT_FLOAT_EQ(PdfGetFontSize(doc, 2), 12.0f / c.k);
        EXPECT_FLOAT_EQ(PdfGetFontSizeUnits(doc), 12.0f / c.k);
        EXPECT_EQ(PdfGetFontSize(doc, 3), 0.0f);
        EXPECT_FLOAT_EQ(module.current->breakTrigger, (841.89f - 56.7f) / c.k);
        EXPECT_EQ(PdfPageNo(doc, 0), 0);
        EXPECT_EQ(PdfPageNo(doc, 1), 1);
        EXPECT_EQ(PdfGetCounter(doc), 4);
        EXPECT_EQ(PdfGetFlag(doc, 0), 0);
        EXPECT_EQ(PdfGetFlag(doc, 1), 0);
        EXPECT_EQ(PdfGetWordSpacing(doc), 0.0f);
        EXPECT_EQ(PdfGetMultiCellLines(doc), 0);
    }
}

TEST_F(PdfTest, MarginsPositionAndPageBreak)
{
    const std::int32_t doc = PdfCreate(-1, "P", "pt", "", -1.0f, -1.0f);
    PdfSetMargins(doc, 20, 10, -1);
    EXPECT_EQ(PdfGetMargin(doc, 2), 20.0f);
    EXPECT_EQ(PdfGetMargin(doc, 1), 10.0f);
    EXPECT_EQ(PdfGetMargin(doc, 3), 20.0f);
    PdfSetMargins(doc, 20, 10, 15);
    EXPECT_EQ(PdfGetMargin(doc, 3), 15.0f);

    PdfSetMargin(doc, 2, 30);
    EXPECT_EQ(PdfGetX(doc), 0.0f) << "before the first page x stays";
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    EXPECT_EQ(PdfGetX(doc), 30.0f);
    EXPECT_EQ(PdfGetY(doc), 10.0f);
    PdfSetMargin(doc, 2, 10);
    EXPECT_EQ(PdfGetX(doc), 30.0f) << "a smaller left margin leaves x";
    PdfSetMargin(doc, 2, 45);
    EXPECT_EQ(PdfGetX(doc), 45.0f);
    PdfSetMargin(doc, 1, 5);
    PdfSetMargin(doc, 3, 6);
    PdfSetMargin(doc, 4, 7);
    PdfSetMargin(doc, 9, 99);
    EXPECT_EQ(PdfGetMargin(doc, 1), 5.0f);
    EXPECT_EQ(PdfGetMargin(doc, 3), 6.0f);
    EXPECT_EQ(PdfGetMargin(doc, 4), 7.0f);

    PdfSetAutoPageBreak(doc, 0, 40);
    EXPECT_EQ(module.current->autoPageBreak, 0);
    EXPECT_FLOAT_EQ(module.current->breakTrigger, 841.89f - 40);
    PdfAddPage(doc, "", "", 100.0f, 100.0f);
    EXPECT_FLOAT_EQ(module.current->breakTrigger, 841.89f - 40) << "a page of another size keeps the trigger";
}

TEST_F(PdfTest, CountersFlagsAndTableOfContents)
{
    const std::int32_t doc = PdfCreate(-1, "P", "mm", "", -1.0f, -1.0f);
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    EXPECT_EQ(PdfPageNo(doc, 1), 1) << "not counted without the flag";
    PdfSetFlag(doc, 5);
    EXPECT_EQ(PdfGetFlag(doc, 1), 1);
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    PdfAddTocEntry(doc, "Kapitel", 1);
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    EXPECT_EQ(PdfPageNo(doc, 0), 3);
    EXPECT_EQ(PdfPageNo(doc, 1), 3);
    PdfSetFlag(doc, 0);
    EXPECT_EQ(PdfGetFlag(doc, 1), 0);
    ASSERT_EQ(module.current->tableOfContents.size(), 1u);
    EXPECT_EQ(module.current->tableOfContents[0].page, 2);
    EXPECT_EQ(module.current->tableOfContents[0].level, 1);
    EXPECT_EQ(module.current->tableOfContents[0].text, "Kapitel");

    PdfEnablePageNumberFooter(doc, 2);
    EXPECT_EQ(PdfGetFlag(doc, 0), 2);
    EXPECT_EQ(module.current->aliasFlag, 0) << "only flag 1 switches the aliases on";
    PdfEnablePageNumberFooter(doc, 1);
    EXPECT_EQ(module.current->aliasFlag, 1);

    PdfSetWordSpacing(doc, 1.5f);
    EXPECT_EQ(PdfGetWordSpacing(doc), 1.5f);
    PdfSetCompression(doc, 1);
    EXPECT_EQ(module.current->compressionFlag, 1);
    PdfSetOption(doc, 1, "FR");
    PdfSetOption(doc, 2, " 42");
    EXPECT_EQ(module.current->languageCode, "FR");
    EXPECT_EQ(module.current->numberOption, 42);
}

TEST_F(PdfTest, EmptyPageCountAliasStillReplacesPageNumbers)
{
    const std::int32_t doc = PdfCreate(-1, "P", "mm", "", -1.0f, -1.0f);
    PdfSetAliasNbPages(doc, "");
    for (int page = 0; page < 3; ++page) {
        PdfAddPage(doc, "", "", -1.0f, -1.0f);
        PdfOut("% {p} {nb}");
    }
    const std::string bytes = saveChecked(doc, "alias.pdf");
    EXPECT_NE(testing::streamOf(bytes, 10).find("% 3 {nb}\n"), std::string::npos);
}

TEST_F(PdfTest, InformationEntriesAreReplacedNotRepeated)
{
    const std::int32_t doc = PdfCreate(-1, "P", "mm", "", -1.0f, -1.0f);
    PdfSetInfo(doc, 1, "A(B)");
    PdfSetInfo(doc, 6, "ignored");
    PdfSetInfo(doc, 0, "ignored");
    PdfSetInfo(doc, 4, "scan");
    PdfSetInfo(doc, 1, "Erika");
    PdfSetInfo(doc, 3, "Betreff");
    PdfSetInfo(doc, 2, "Titel");
    PdfSetInfo(doc, 5, "Folvex");
    const std::string info = objectText(saveChecked(doc, "info.pdf"), 2);
    EXPECT_EQ(
        info,
        "2 0 obj\n<<\n/Producer (rvPDF V2.0 for Ravelin X" + std::string(sizeof(void*) == 8 ? "64" : "86") +
            ")\n/CreationDate (D:20251210120000)\n/Author (Erika)\n/Keywords (scan)\n/Subject (Betreff)\n"
            "/Title (Titel)\n/Creator (Folvex)\n>>\nendobj\n");

    PdfCreate(1, "P", "mm", "", -1.0f, -1.0f);
    PdfSetInfo(1, 1, "A(B)");
    EXPECT_NE(objectText(saveChecked(1, "escaped.pdf"), 2).find("/Author (A\\(B\\))\n"), std::string::npos);
}

TEST_F(PdfTest, PageLayoutAndModeTakeOnlyPdfNamesAndReplaceEarlierOnes)
{
    const std::int32_t doc = PdfCreate(-1, "P", "mm", "", -1.0f, -1.0f);
    PdfSetPageLayout(doc, "/SinglePage");
    PdfSetPageMode(doc, "/UseOutlines");
    PdfSetPageLayout(doc, "/TwoColumnLeft");
    const char* refused[] = {"TwoColumnLeft", "/", "/Two Column", "/a(b)", "/a/b", "", "/Ä"};
    for (const char* name : refused) {
        PdfSetPageLayout(doc, name);
        PdfSetPageMode(doc, name);
    }
    PdfSetPageMode(doc, "/FullScreen");
    PdfSetDisplayMode(doc, "FullPage", 1);
    const std::string catalog = objectText(saveChecked(doc, "layout.pdf"), 3);
    EXPECT_EQ(
        catalog,
        "3 0 obj\n<<\n/Type /Catalog\n/Pages 1 0 R\n/PageLayout /TwoColumnLeft/PageMode /FullScreen"
        "/OpenAction [5 0 R /Fit]\n>>\nendobj\n");
}

TEST_F(PdfTest, DecimalSeparatorOptionCannotCorruptNumbers)
{
    const std::int32_t doc = PdfCreate(-1, "P", "mm", "", -1.0f, -1.0f);

    const struct
    {
        const char* value;
        const char* expected; // the separator afterwards
    } cases[] = {
        {".", "."},
        {";", ";"},
        {"0", ";"},
        {"5", ";"},
        {"-", ";"},
        {"+", ";"},
        {",,", ";"},
        {"", ";"},
        {"·", "·"},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        PdfSetOption(doc, 3, c.value);
        EXPECT_EQ(module.current->decimalSeparator, c.expected);
        EXPECT_EQ(PdfNumber(-10.5f, 2), "-10.50");
    }
}

} // namespace
} // namespace folvex
