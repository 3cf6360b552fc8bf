#include "pdf/pdf_adapter.h"

#include "pdf/pdf_writer.h"
#include "pdf_test_fixture.h"
#include "support/image_fixtures.h"
#include "support/pdf_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <sstream>

namespace folvex {
namespace {

using testing::objectText;
using testing::PdfTest;
using testing::readFile;
using testing::runProgram;
using testing::streamOf;

TEST(PdfAdapterTexts, PageFormatsOrientationsAndUnits)
{
    const std::pair<std::int32_t, const char*> formats[] = {
        {0, "595.28,841.89"},
        {7, "595.28,841.89"},
        {-1, "595.28,841.89"},
        {1, "4767.87,6740.79"},
        {6, "841.89,1190.55"},
        {8, "419.53,595.28"},
        {14, "2834.65,4008.19"},
        {24, "87.87,124.72"},
        {35, "79.37,113.39"},
        {45, "637.80,907.09"},
        {46, "612.00,792.00"},
        {47, "612.00,1008.00"},
        {48, "521.86,756.00"},
        {49, "612.00,936.00"},
        {50, ""},
        {100, ""},
        {-2, ""},
    };
    for (const auto& [index, text] : formats) {
        EXPECT_EQ(PdfPageFormats(index), text) << index;
    }
    const std::pair<std::int32_t, const char*> orientations[] = {{0, "P"}, {1, "P"}, {2, "L"}, {-1, "L"}};
    for (const auto& [index, text] : orientations) {
        EXPECT_EQ(pdfOrientationText(index), text) << index;
    }
    const std::pair<std::int32_t, const char*> units[] = {
        {0, "pt"}, {1, "pt"}, {2, "mm"}, {3, "cm"}, {4, "in"}, {5, ""}, {-1, ""}};
    for (const auto& [index, text] : units) {
        EXPECT_EQ(pdfUnitText(index), text) << index;
    }
}

TEST_F(PdfTest, AdapterUnitsFormatsAndPageCount)
{
    EXPECT_EQ(pdf_PageNo(0), 0.0f); // no document yet
    pdf_Create(-1, 5, 50, -1.0f, -1.0f);
    EXPECT_FLOAT_EQ(PdfGetScaleFactor(PdfCurrentDoc), 72.0f / 25.4f); // unit 5: millimetres
    EXPECT_FLOAT_EQ(PdfGetPageWidth(PdfCurrentDoc), 297.0f);          // landscape A4
    EXPECT_EQ(pdf_PageNo(0), 0.0f);
    EXPECT_EQ(pdf_AddPage(1, 8, -1.0f, -1.0f), 1);
    EXPECT_EQ(PdfPageAdded, 1);
    EXPECT_NEAR(PdfGetPageWidth(PdfCurrentDoc), 148.0f, 0.01f); // A5 portrait
    pdf_AddPage(1, 0, 200.0f, 100.0f);                          // custom size in points
    EXPECT_FLOAT_EQ(PdfGetPageHeight(PdfCurrentDoc), 100.0f * 25.4f / 72.0f);
    EXPECT_EQ(pdf_PageNo(0), 2.0f);
    EXPECT_EQ(pdf_Image(dir.file("missing.jpg"), 0, 0, 0, 0, -1), 7);
    EXPECT_EQ(pdf_Save(dir.file("units.pdf")), 0);
    EXPECT_TRUE(testing::pdfFileIsSound(dir.file("units.pdf")));
    EXPECT_EQ(pdf_PageNo(0), 0.0f);                           // the document is gone
    EXPECT_EQ(pdf_Save(dir.file("folder-missing/x.pdf")), 0); // no document: nothing to write
    pdf_Create(1, 1, 0, -1.0f, -1.0f);
    EXPECT_EQ(pdf_Save(dir.file("folder-missing/x.pdf")), 6);
}

TEST_F(PdfTest, ScanJobPageOfASmallJpegMatchesTheGoldenFile)
{
    const std::string jpeg = readFile(FOLVEX_PDF_GOLDEN_DIR "/small.jpg");
    ASSERT_FALSE(jpeg.empty());
    pdf_Create(1, 1, 0, -1.0f, -1.0f);
    pdf_SetAuthor("Folvex");
    pdf_SetCreator("Folvex");
    pdf_AddPage(1, 0, 24.0f, 16.0f);
    EXPECT_EQ(pdf_Image(FOLVEX_PDF_GOLDEN_DIR "/small.jpg", 0, 0, 24.0f, -1.0f, -1), 0);
    EXPECT_EQ(pdf_PageNo(0), 1.0f);
    const std::string bytes = saveChecked(PdfCurrentDoc, "small.pdf");
    EXPECT_TRUE(testing::matchesGolden(bytes, FOLVEX_PDF_GOLDEN_DIR "/scan_job_page.pdf"));
    EXPECT_NE(objectText(bytes, 3).find("/OpenAction [5 0 R /FitH]"), std::string::npos);
    EXPECT_NE(objectText(bytes, 4).find("/XObject <</I1 7 0 R>>"), std::string::npos);
    EXPECT_EQ(streamOf(bytes, 6), "2 J\n0.57 w\nq 24.00 0 0 16.00 0.00 0.00 cm /I1 Do Q\n");
    EXPECT_TRUE(streamOf(bytes, 7) == jpeg);
}

// A 1-bit page like a scanned letter: white with black blocks in lines of "words".
FIBITMAP* makeTextPage(std::uint32_t width, std::uint32_t height)
{
    FIBITMAP* page = FreeImage_Allocate(static_cast<int>(width), static_cast<int>(height), 1);
    RGBQUAD* palette = FreeImage_GetPalette(page);
    palette[0] = {0, 0, 0, 0};
    palette[1] = {255, 255, 255, 0};
    const unsigned pitch = FreeImage_GetPitch(page);
    std::memset(FreeImage_GetBits(page), 0xFF, std::size_t{pitch} * height);
    std::mt19937 random(7);
    for (std::uint32_t line = 300; line + 40 < height - 300; line += 70) {
        for (std::uint32_t x = 250; x + 60 < width - 250;) {
            const std::uint32_t word = 40 + random() % 160;
            for (std::uint32_t y = line; y < line + 36; ++y) {
                BYTE* row = FreeImage_GetScanLine(page, static_cast<int>(height - 1 - y));
                for (std::uint32_t dx = 0; dx < word && x + dx < width - 250; ++dx) {
                    if ((random() & 3) != 0) {
                        row[(x + dx) / 8] &= static_cast<BYTE>(~(0x80 >> ((x + dx) % 8)));
                    }
                }
            }
            x += word + 30;
        }
    }
    return page;
}

FIBITMAP* makeGradientPage(std::uint32_t width, std::uint32_t height, unsigned bitCount)
{
    FIBITMAP* page =
        FreeImage_Allocate(static_cast<int>(width), static_cast<int>(height), static_cast<int>(bitCount));
    if (bitCount == 8) {
        RGBQUAD* palette = FreeImage_GetPalette(page);
        for (unsigned i = 0; i < 256; ++i) {
            palette[i] = {static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
        }
    }
    const unsigned bytesPerPixel = bitCount / 8;
    for (std::uint32_t y = 0; y < height; ++y) {
        BYTE* row = FreeImage_GetScanLine(page, static_cast<int>(y));
        for (std::uint32_t x = 0; x < width; ++x) {
            for (unsigned c = 0; c < bytesPerPixel; ++c) {
                row[x * bytesPerPixel + c] = static_cast<BYTE>((x / 9 + y / 13 + c * 70) % 256);
            }
        }
    }
    return page;
}

TEST_F(PdfTest, ScanJobWritesThreeA4PagesAsTheViewersExpect)
{
    constexpr std::uint32_t Width = 2480;
    constexpr std::uint32_t Height = 3508;
    // The page files, as acquisition leaves them.
    FIBITMAP* pages[] = {
        makeTextPage(Width, Height), makeGradientPage(Width, Height, 8), makeGradientPage(Width, Height, 24)};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(FreeImage_Save(
            FIF_BMP, pages[i], dir.file("TmpReadyImg" + std::to_string(i + 1) + ".bmp").c_str(), 0));
    }
    // The text page as it should render: 0 for black, 255 for white, rows from the top.
    std::string textPixels;
    textPixels.reserve(std::size_t{Width} * Height);
    for (std::uint32_t y = 0; y < Height; ++y) {
        const BYTE* row = FreeImage_GetScanLine(pages[0], static_cast<int>(Height - 1 - y));
        for (std::uint32_t x = 0; x < Width; ++x) {
            textPixels.push_back((row[x / 8] & (0x80 >> (x % 8))) != 0 ? '\xFF' : '\0');
        }
    }
    for (FIBITMAP* page : pages) {
        FreeImage_Unload(page);
    }

    // The scan job's writer: a temporary image per page, 1 bit as PNG, others as JPEG at quality 75.
    pdf_Create(1, 1, 0, -1.0f, -1.0f);
    pdf_SetAuthor("Folvex");
    pdf_SetCreator("Folvex");
    std::vector<std::string> temporaries;
    for (int i = 1; i <= 3; ++i) {
        FIBITMAP* page =
            FreeImage_Load(FIF_BMP, dir.file("TmpReadyImg" + std::to_string(i) + ".bmp").c_str(), 0);
        ASSERT_NE(page, nullptr);
        const bool oneBit = FreeImage_GetBPP(page) == 1;
        const std::string temporary = dir.file("tmp" + std::to_string(i) + (oneBit ? ".png" : ".jpg"));
        ASSERT_TRUE(FreeImage_Save(oneBit ? FIF_PNG : FIF_JPEG, page, temporary.c_str(), oneBit ? 0 : 75));
        const auto w = static_cast<float>(FreeImage_GetWidth(page));
        const auto h = static_cast<float>(FreeImage_GetHeight(page));
        FreeImage_Unload(page);
        pdf_AddPage(1, 0, w, h);
        EXPECT_EQ(pdf_Image(temporary, 0.0f, 0.0f, w, -1.0f, -1), 0);
        temporaries.push_back(temporary);
    }
    ASSERT_NE(pdf_PageNo(0), 0.0f);
    const std::string path = dir.file("scan.pdf");
    ASSERT_EQ(pdf_Save(path), 0);
    ASSERT_TRUE(testing::pdfFileIsSound(path));

    const auto info = testing::pdfInfo(path, {"-f", "1", "-l", "3"});
    EXPECT_EQ(info.at("Pages"), "3");
    EXPECT_EQ(info.at("Author"), "Folvex");
    EXPECT_EQ(info.at("Creator"), "Folvex");
    int sizes = 0;
    for (const auto& [key, value] : info) {
        if (key.rfind("Page ", 0) == 0 && key.find(" size") != std::string::npos) {
            EXPECT_EQ(value.substr(0, value.find(" pts") + 4), "2480 x 3508 pts") << key;
            ++sizes;
        }
    }
    EXPECT_EQ(sizes, 3);

    // One image per page: page num type width height color comp bpc enc ...
    const auto list = runProgram({"pdfimages", "-list", path});
    ASSERT_EQ(list.exitCode, 0);
    std::istringstream lines(list.output);
    std::string line;
    std::getline(lines, line);
    std::getline(lines, line);
    const char* expected[][4] = {
        {"gray", "1", "image", "1"}, {"gray", "8", "jpeg", "2"}, {"rgb", "8", "jpeg", "3"}};
    int images = 0;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string page, num, type, width, height, colour, comp, bpc, enc;
        fields >> page >> num >> type >> width >> height >> colour >> comp >> bpc >> enc;
        ASSERT_LT(images, 3) << line;
        EXPECT_EQ(page, expected[images][3]);
        EXPECT_EQ(type, "image");
        EXPECT_EQ(width + "x" + height, "2480x3508");
        EXPECT_EQ(colour, expected[images][0]);
        EXPECT_EQ(bpc, expected[images][1]);
        EXPECT_EQ(enc, expected[images][2]);
        ++images;
    }
    EXPECT_EQ(images, 3);

    // The JPEG pages carry the temporary files' bytes.
    ASSERT_EQ(runProgram({"pdfimages", "-j", path, dir.file("out")}).exitCode, 0);
    EXPECT_TRUE(readFile(dir.file("out-001.jpg")) == readFile(temporaries[1]));
    EXPECT_TRUE(readFile(dir.file("out-002.jpg")) == readFile(temporaries[2]));

    // The text page renders pixel for pixel.
    const testing::Rendered first = testing::renderPage(path, 1, "pgmraw");
    EXPECT_EQ(first.width, Width);
    EXPECT_EQ(first.height, Height);
    EXPECT_TRUE(first.rgb == textPixels) << "page 1 differs from the scanned page";

    // Page k: objects 3k+2 (page), 3k+3 (contents), 3k+4 (image).
    const std::string bytes = readFile(path);
    for (int k = 1; k <= 3; ++k) {
        EXPECT_NE(objectText(bytes, 3 * k + 2).find("/Type /Page\n"), std::string::npos) << k;
        EXPECT_NE(
            streamOf(bytes, 3 * k + 3)
                .find("q 2480.00 0 0 3508.00 0.00 0.00 cm /I" + std::to_string(k) + " Do Q"),
            std::string::npos)
            << k;
        EXPECT_NE(objectText(bytes, 3 * k + 4).find("/Subtype /Image"), std::string::npos) << k;
    }
    EXPECT_NE(bytes.find("/Size 14\n"), std::string::npos);
}

// The adapter's flag lives for the run; each test starts it where it needs it and puts it back.
class PdfAdapterDrawingTest : public PdfTest
{
protected:
    PdfAdapterDrawingTest()
        : m_pageAdded(PdfPageAdded)
    {
        module.messages = &messages;
    }

    ~PdfAdapterDrawingTest() override { PdfPageAdded = m_pageAdded; }

    testing::FakeMessageRequester messages;

private:
    std::uint8_t m_pageAdded;
};

TEST_F(PdfAdapterDrawingTest, SetFontBeforeAnyPageIsRefusedWithOneMessage)
{
    PdfPageAdded = 0;
    pdf_Create(1, 1, 0, -1.0f, -1.0f);
    messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_EQ(pdf_SetFont("Arial", 1, 12), 0);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "Fehler!");
    EXPECT_EQ(messages.shown[0].text, "Vellorin2.dll / pdf_SetFont: Es wurde noch keine Seite hinzugefügt!");
    EXPECT_EQ(messages.shown[0].buttons, MessageButtons::Ok);
    EXPECT_TRUE(module.current->fonts.empty()) << "no call reached the writer";

    pdf_AddPage(1, 0, -1.0f, -1.0f);
    EXPECT_EQ(pdf_SetFont("Arial", 7, 14), 0);
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(module.current->fonts.begin()->second.baseName, "Helvetica-BoldOblique");
    EXPECT_EQ(module.current->underlineFlag, 1);
    EXPECT_EQ(pdf_Save(dir.file("font.pdf")), 0);
    EXPECT_TRUE(testing::pdfFileIsSound(dir.file("font.pdf")));

    // A later document without a page is not refused: the flag stays for the run.
    pdf_Create(1, 1, 0, -1.0f, -1.0f);
    pdf_SetFont("Times", 0, 10);
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(module.current->fonts.begin()->second.baseName, "Times-Roman");
}

TEST_F(PdfAdapterDrawingTest, ColourLineAndTransformCallsConvertTheirArguments)
{
    pdf_Create(1, 1, 0, -1.0f, -1.0f);
    pdf_AddPage(1, 0, 600.0f, 800.0f); // current position (28.35, 28.35)

    struct Case
    {
        const char* label;
        std::function<std::int32_t()> call;
        const char* content;
    };

    const Case cases[] = {
        {"draw gray", [] { return pdf_SetDrawColor(0, -1, -1); }, "0.000 G\n"},
        {"fill rgb", [] { return pdf_SetFillColor(0, 0, 255); }, "0.000 0.000 1.000 rg\n"},
        {"text rgb", [] { return pdf_SetTextColor(255, 0, 0); }, ""},
        {"text cmyk held to 0 to 1", [] { return pdf_SetTextColorCMYK(1.5f, -0.2f, 0.5f, 0); }, ""},
        {"draw cmyk", [] { return pdf_SetDrawColorCMYK(2, 0, 0, 0.25f); }, "1.00 0.00 0.00 0.25  K\n"},
        {"fill cmyk", [] { return pdf_SetFillColorCMYK(0, 0, 0, -1); }, "0.00 0.00 0.00 0.00  k\n"},
        {"line width", [] { return pdf_SetLineWidth(2); }, "2.00 w\n"},
        {"dash", [] { return pdf_SetDash(3, 1); }, "[3.000 1.000] 0 d\n"},
        {"rotate at the current position",
         [] { return pdf_Rotate(90, -999.0f, -999.0f); },
         "q\n0.00000 1.00000 -1.00000 0.00000 28.35 771.65 cm\n1 0 0 1 -28.35 -771.65 cm\n"},
        {"rotation closed", [] { return pdf_Rotate(0, 10, 10); }, "Q\n"},
        {"mirror at the current x",
         [] { return pdf_MirrorH(-999.123f); },
         "-1.000 0.000 0.000 1.000 56.700 0.000 cm\n"},
        {"mirror at x -999",
         [] { return pdf_MirrorH(-999.0f); },
         "-1.000 0.000 0.000 1.000 -1998.000 0.000 cm\n"},
        {"mirror vertically",
         [] { return pdf_MirrorV(-999.123f); },
         "1.000 0.000 0.000 -1.000 0.000 1543.300 cm\n"},
        {"scale x",
         [] { return pdf_ScaleX(200, 10, -999.123f); },
         "2.000 0.000 0.000 1.000 -10.000 0.000 cm\n"},
        {"scale y",
         [] { return pdf_ScaleY(50, -999.123f, 0); },
         "1.000 0.000 0.000 0.500 0.000 400.000 cm\n"},
        {"skew x rounded",
         [] { return pdf_SkewX(44.6f, 0, 0); },
         "1.000 0.000 1.000 1.000 -800.000 0.000 cm\n"},
        {"skew y rounded", [] { return pdf_SkewY(-89.6f, 0, 0); }, ""},
        {"translate x", [] { return pdf_TranslateX(5); }, "1.000 0.000 0.000 1.000 5.000 0.000 cm\n"},
        {"translate y", [] { return pdf_TranslateY(-5); }, "1.000 0.000 0.000 1.000 0.000 -5.000 cm\n"},
    };
    std::size_t seen = testing::currentContent().size();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(c.call(), 0);
        const std::string content = testing::currentContent();
        EXPECT_EQ(content.substr(seen), c.content);
        seen = content.size();
    }
    EXPECT_EQ(module.current->textColor, "1.00 0.00 0.50 0.00  k");
    EXPECT_EQ(pdf_Save(dir.file("drawing.pdf")), 0);
    EXPECT_TRUE(testing::pdfFileIsSound(dir.file("drawing.pdf")));
}

} // namespace
} // namespace folvex
