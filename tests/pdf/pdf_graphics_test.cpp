#include "pdf/pdf_writer.h"
#include "pdf/pdf_writer_internal.h"
#include "pdf_test_fixture.h"
#include "support/pdf_check.h"

#include <gtest/gtest.h>

#include <functional>

namespace folvex {
namespace {

using testing::currentContent;
using testing::PdfTest;
using testing::readFile;
using testing::toolOutput;

// A 600 × 800 pt page, current position (10, 10).
class PdfGraphicsTest : public PdfTest
{
protected:
    PdfGraphicsTest()
    {
        PdfSetMargins(doc, 10, 10, 10);
        PdfAddPage(doc, "", "600,800", -1.0f, -1.0f);
    }

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

TEST_F(PdfGraphicsTest, OperationsWriteTheirContentLines)
{
    struct Case
    {
        const char* label;
        std::function<std::int32_t(std::int32_t)> call;
        const char* content;
    };

    const Case cases[] = {
        {"gray draw colour", [](std::int32_t d) { return PdfSetColor(d, 2, 255, -1, -1); }, "1.000 G\n"},
        {"rgb fill colour",
         [](std::int32_t d) { return PdfSetColor(d, 3, 255, 0, 0); },
         "1.000 0.000 0.000 rg\n"},
        {"text colour is only stored", [](std::int32_t d) { return PdfSetColor(d, 1, 0, 0, 255); }, ""},
        {"other colour kinds", [](std::int32_t d) { return PdfSetColor(d, 4, 0, 0, 255); }, ""},
        {"cmyk draw colour",
         [](std::int32_t d) { return PdfSetColorCmyk(d, 2, 0, 0, 0, 1); },
         "0.00 0.00 0.00 1.00  K\n"},
        {"cmyk fill colour",
         [](std::int32_t d) { return PdfSetColorCmyk(d, 3, 0.5f, 0, 0, 0); },
         "0.50 0.00 0.00 0.00  k\n"},
        {"line width", [](std::int32_t d) { return PdfSetLineWidthPublic(d, 1.5f); }, "1.50 w\n"},
        {"dash", [](std::int32_t d) { return PdfSetDash(d, 3, 2); }, "[3.000 2.000] 0 d\n"},
        {"solid again", [](std::int32_t d) { return PdfSetDash(d, 0, 5); }, "[] 0 d\n"},
        {"line",
         [](std::int32_t d) { return PdfLinePublic(d, 10, 20, 30, 40); },
         "10.00 780.00 m 30.00 760.00 l S\n"},
        {"filled rectangle",
         [](std::int32_t d) { return PdfRectPublic(d, 10, 20, 30, 40, "F"); },
         "10.00 780.00 30.00 -40.00 re\nf\n"},
        {"filled and stroked",
         [](std::int32_t d) { return PdfRectPublic(d, 10, 20, 30, 40, "DF"); },
         "10.00 780.00 30.00 -40.00 re\nB\n"},
        {"FD only strokes",
         [](std::int32_t d) { return PdfRectPublic(d, 10, 20, 30, 40, "FD"); },
         "10.00 780.00 30.00 -40.00 re\nS\n"},
        {"open triangle",
         [](std::int32_t d) { return PdfTriangle(d, 0, 0, 10, 0, 0, 10, ""); },
         "0.00 800.00 m\n10.00 800.00 l\n0.00 790.00 l\nS\n"},
        {"closed triangle",
         [](std::int32_t d) { return PdfTriangle(d, 0, 0, 10, 0, 0, 10, "D"); },
         "0.00 800.00 m\n10.00 800.00 l\n0.00 790.00 l\ns\n"},
        {"circle",
         [](std::int32_t d) { return PdfCircle(d, 100, 100, 10, "F"); },
         "110.00 700.00 m\n110.00 705.52 105.52 710.00 100.00 710.00 c\n94.48 710.00 90.00 705.52 90.00 "
         "700.00 c\n"
         "90.00 694.48 94.48 690.00 100.00 690.00 c\n105.52 690.00 110.00 694.48 110.00 700.00 c\nf\n"},
        {"rounded rectangle",
         [](std::int32_t d) { return PdfRoundedRect(d, 0, 0, 40, 20, 4, ""); },
         "0.00 796.00 m\n0.00 798.00 2.00 800.00 4.00 800.00 c\n36.00 800.00 l\n38.00 800.00 40.00 798.00 "
         "40.00 "
         "796.00 c\n40.00 784.00 l\n40.00 782.00 38.00 780.00 36.00 780.00 c\n4.00 780.00 l\n2.00 780.00 "
         "0.00 "
         "782.00 0.00 784.00 c\nS\n"},
        {"quarter sector",
         [](std::int32_t d) { return PdfSector(d, 100, 100, 10, 0, 45, "F", 0, 0); },
         "100.00 700.00 m\n110.00 700.00 l\n110.00 702.65 108.95 705.20 107.07 707.07 c\nf\n"},
        {"path",
         [](std::int32_t d) {
             PdfMoveTo(d, 1, 2);
             PdfLineTo(d, 3, 4);
             PdfCurve(d, 5, 6, 7, 8, 9, 10);
             return PdfPaintPath(d, "f*");
         },
         "1.00 798.00 m\n3.00 796.00 l\n5.00 794.00 7.00 792.00 9.00 790.00 c\nf*\n"},
        {"horizontal rule",
         [](std::int32_t d) { return PdfHorizontalLine(d, -1, -1, -1); },
         "10.00 790.00 m 590.00 790.00 l S\n"},
        {"save and restore",
         [](std::int32_t d) { return PdfStartTransform(d) + PdfStopTransform(d); },
         "q\nQ\n"},
        {"scale",
         [](std::int32_t d) { return PdfScalePublic(d, 200, 10, 20); },
         "2.000 0.000 0.000 2.000 -10.000 -780.000 cm\n"},
        {"scale 0", [](std::int32_t d) { return PdfScaleX(d, 0, 10, 20) + 1; }, ""},
        {"mirror",
         [](std::int32_t d) { return PdfMirrorHorizontal(d, 50); },
         "-1.000 0.000 0.000 1.000 100.000 0.000 cm\n"},
        {"skew",
         [](std::int32_t d) { return PdfSkewX(d, 45, 0, 0); },
         "1.000 0.000 1.000 1.000 -800.000 0.000 cm\n"},
        {"skew 90", [](std::int32_t d) { return PdfSkewX(d, 90, 0, 0) + PdfSkewY(d, -90, 0, 0); }, ""},
        {"translate",
         [](std::int32_t d) { return PdfTranslate(d, 5, -7); },
         "1.000 0.000 0.000 1.000 5.000 -7.000 cm\n"},
        {"rotate and close",
         [](std::int32_t d) { return PdfRotate(d, 90, 100, 100) + PdfRotate(d, 0, -1, -1); },
         "q\n0.00000 1.00000 -1.00000 0.00000 100.00 700.00 cm\n1 0 0 1 -100.00 -700.00 cm\nQ\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        written();
        EXPECT_EQ(c.call(doc), 0);
        EXPECT_EQ(written(), c.content);
    }
    EXPECT_EQ(PdfScaleX(doc, 0, 10, 20), -1);
    // Equal angles draw the full circle in four arcs.
    PdfSector(doc, 100, 100, 10, 30, 30, "", 0, 0);
    const std::string circle = written();
    EXPECT_EQ(std::count(circle.begin(), circle.end(), 'c'), 4) << circle;
    EXPECT_TRUE(circle.starts_with("100.00 700.00 m\n108.66 705.00 l\n")) << circle;
    EXPECT_TRUE(circle.ends_with(" 108.66 705.00 c\nS\n")) << circle;
    saveChecked(doc, "graphics.pdf");
}

TEST_F(PdfGraphicsTest, ColourFlagAndStateBeforeTheFirstPage)
{
    const std::int32_t other = PdfCreate(-1, "P", "pt", "", -1.0f, -1.0f);
    PdfSetColor(other, 3, 255, 0, 0);
    PdfSetLineWidthPublic(other, 2);
    EXPECT_EQ(module.current->fillColor, "1.000 0.000 0.000 rg");
    EXPECT_EQ(module.current->colorFlag, 1);
    PdfSetColor(other, 1, 255, 0, 0);
    EXPECT_EQ(module.current->colorFlag, 1) << "equal colours leave the flag";
    EXPECT_EQ(currentContent(), "");
    PdfAddPage(other, "", "", -1.0f, -1.0f);
    EXPECT_EQ(currentContent(), "2 J\n2.00 w\n1.000 0.000 0.000 rg\n");
}

TEST_F(PdfGraphicsTest, PositionsCountFromTheFarEdgesWhenNegative)
{
    PdfSetXYPublic(doc, 50, 60);
    PdfSetXPublic(doc, -20);
    EXPECT_FLOAT_EQ(PdfGetX(doc), 580);
    PdfSetYPublic(doc, -20, 0);
    EXPECT_FLOAT_EQ(PdfGetY(doc), 780);
    EXPECT_FLOAT_EQ(PdfGetX(doc), 580);
    PdfSetYPublic(doc, 30, 1);
    EXPECT_FLOAT_EQ(PdfGetX(doc), 10);
}

TEST_F(PdfGraphicsTest, GridsUseTheirSpacingAndSwitchPageBreaksOff)
{
    struct Case
    {
        std::int32_t spacing;
        const char* secondLine;
    };

    const Case cases[] = {{0, "100.00 800.00 m"}, {-1, "5.00 800.00 m"}, {30, "30.00 800.00 m"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.spacing);
        written();
        PdfGrid(doc, c.spacing);
        const std::string out = written();
        EXPECT_NE(
            out.find(
                "0.800 1.000 1.000 RG\n0.25 w\n0.00 800.00 m 0.00 0.00 l S\n" + std::string(c.secondLine)),
            std::string::npos);
        EXPECT_NE(out.find("(20) Tj"), std::string::npos);
        EXPECT_TRUE(out.ends_with("0.000 0.000 0.000 RG\n"));
    }
    EXPECT_EQ(module.current->autoPageBreak, 0);
    EXPECT_FLOAT_EQ(PdfGetX(doc), 10);
    EXPECT_EQ(PdfPageNo(doc, 0), 1);
    saveChecked(doc, "grid.pdf");
}

TEST_F(PdfTest, FilledShapeRendersWhereItIsPlaced)
{
    const std::int32_t doc = PdfCreate(-1, "P", "pt", "", -1.0f, -1.0f);
    PdfAddPage(doc, "", "100,100", -1.0f, -1.0f);
    PdfSetColor(doc, 3, 255, 0, 0);
    PdfRectPublic(doc, 20, 10, 30, 40, "F");
    PdfCircle(doc, 75, 75, 10, "F");
    const std::string path = dir.file("shape.pdf");
    saveChecked(doc, "shape.pdf");
    const std::string image = dir.file("shape.ppm");
    toolOutput({"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=ppmraw", "-r72", "-o", image, path});
    const std::string ppm = readFile(image);
    // A binary PPM: a header (with comments) and then 100 × 100 RGB pixels.
    ASSERT_TRUE(ppm.starts_with("P6\n")) << ppm.substr(0, 20);
    ASSERT_NE(ppm.find("\n100 100\n255\n"), std::string::npos);
    ASSERT_GE(ppm.size(), 30000u);
    const std::string pixels = ppm.substr(ppm.size() - 30000);
    const auto pixel = [&pixels](int x, int y) {
        const std::size_t at = 3 * static_cast<std::size_t>(y * 100 + x);
        return std::string(pixels.substr(at, 3));
    };
    const std::string red("\xFF\0\0", 3);
    const std::string white("\xFF\xFF\xFF", 3);
    EXPECT_EQ(pixel(35, 30), red);
    EXPECT_EQ(pixel(21, 11), red);
    EXPECT_EQ(pixel(48, 48), red);
    EXPECT_EQ(pixel(75, 75), red);
    EXPECT_EQ(pixel(18, 30), white);
    EXPECT_EQ(pixel(35, 52), white);
    EXPECT_EQ(pixel(60, 60), white);
}

} // namespace
} // namespace folvex
