#include "pdf/pdf_writer.h"
#include "pdf/pdf_writer_internal.h"
#include "pdf_test_fixture.h"
#include "support/pdf_check.h"

#include <gtest/gtest.h>

namespace folvex {
namespace {

using testing::currentContent;
using testing::PdfTest;
using testing::readFile;
using testing::toolOutput;

constexpr const char* DejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* DejaVuSansMono = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
constexpr const char* DroidFallback = "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf";
constexpr const char* NimbusOtf = "/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf";
constexpr const char* RoundTripText = "„Grüße“ – € Œ a)b\\c";

std::string sourceDir()
{
    return FOLVEX_PDF_GOLDEN_DIR "/../../..";
}

// A copy of a font whose OS/2 embedding permissions are fsType.
std::string withFsType(const std::string& font, std::uint16_t fsType)
{
    std::string data = readFile(font);
    const auto u16 = [&data](std::size_t at) {
        return static_cast<std::size_t>(
            static_cast<std::uint8_t>(data[at]) << 8 | static_cast<std::uint8_t>(data[at + 1]));
    };
    const auto u32 = [&](std::size_t at) { return u16(at) << 16 | u16(at + 2); };
    for (std::size_t i = 0; i < u16(4); ++i) {
        const std::size_t record = 12 + 16 * i;
        if (data.compare(record, 4, "OS/2") == 0) {
            const std::size_t at = u32(record + 8) + 8;
            data[at] = static_cast<char>(fsType >> 8);
            data[at + 1] = static_cast<char>(fsType & 0xFF);
        }
    }
    return data;
}

class PdfFontsTest : public PdfTest
{
protected:
    PdfFontsTest() { module.messages = &messages; }

    std::int32_t doc = PdfCreate(-1, "P", "pt", "", -1.0f, -1.0f);
    testing::FakeMessageRequester messages;
};

TEST_F(PdfFontsTest, CoreFontWidthsAreTheCommittedTableOfTheAfms)
{
    const std::string generated = dir.file("widths.cpp");
    toolOutput({"python3", sourceDir() + "/tools/make_core_font_widths.py", "--output", generated});
    EXPECT_EQ(readFile(generated), readFile(sourceDir() + "/src/pdf/pdf_core_font_widths.cpp"));

    struct Case
    {
        const char* family;
        const char* style;
        const char* text;
        float widthPt;
    };

    const Case cases[] = {
        {"Helvetica", "", "AV", 13.34f},
        {"Arial", "", "€", 5.56f},
        {"Helvetica", "B", "„", 5.0f},
        {"Times", "", "–", 5.0f},
        {"Times", "I", "…", 8.89f},
        {"Courier", "", "Œ€x", 18.0f},
        {"Helvetica", "", "ł", 5.56f}, // written as "?"
        {"Symbol", "", "a", 6.31f},
        {"ZapfDingbats", "", "a", 7.89f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.family) + " " + c.text);
        PdfSetFont(doc, c.family, c.style, 10);
        EXPECT_NEAR(PdfGetStringWidth(doc, c.text), c.widthPt, 0.001f);
    }
}

TEST_F(PdfFontsTest, FamiliesStylesAndSizesSelectTheirFonts)
{
    PdfSetFont(doc, "Arial", "", 10);
    PdfSetFont(doc, "helvetica", "", 10);
    PdfSetFont(doc, "Times-Roman", "", 10);
    PdfSetFont(doc, "Courier New", "", 10);
    PdfSetFont(doc, "Helvetica", "ub", 10);
    EXPECT_EQ(module.current->underlineFlag, 1);
    PdfSetFont(doc, "Helvetica", "BI", 10);
    PdfSetFont(doc, "Helvetica", "IB", 10);
    PdfSetFont(doc, "Symbol", "BI", 10);
    PdfSetFont(doc, "ZapfDingbats", "B", 10);
    std::vector<std::string> bases;
    for (const auto& [key, font] : module.current->fonts) {
        bases.push_back(key + "=" + font.baseName + "/F" + std::to_string(font.number));
    }
    EXPECT_EQ(
        bases,
        (std::vector<std::string>{
            "___HELVETICA=Helvetica/F1",
            "___TIMES=Times-Roman/F2",
            "___COURIER NEW=Courier/F3",
            "__BHELVETICA=Helvetica-Bold/F4",
            "_BIHELVETICA=Helvetica-BoldOblique/F5",
            "___SYMBOL=Symbol/F6",
            "___ZAPFDINGBATS=ZapfDingbats/F7"}));
    EXPECT_EQ(currentContent(), "") << "no content line before the first page";

    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    const std::size_t start = currentContent().size();
    PdfSetFont(doc, "Helvetica", "", 11);
    PdfSetFont(doc, "Helvetica", "", 11);
    PdfSetFontSize(doc, 11);
    PdfSetFontSize(doc, 0);
    PdfSetFontSize(doc, -3);
    PdfSetFont(doc, "Times", "B", 0); // keeps the size
    PdfSetFont(doc, "Times", "", -1); // keeps the size
    PdfSetFontSize(doc, 14);
    EXPECT_EQ(
        currentContent().substr(start),
        "BT /F1 11.00 Tf ET\nBT /F1 11.00 Tf ET\nBT /F8 11.00 Tf ET\nBT /F2 11.00 Tf ET\nBT /F2 14.00 Tf "
        "ET\n");
    EXPECT_EQ(PdfGetFontSize(doc, 1), 14.0f);
    saveChecked(doc, "fonts.pdf");
}

TEST_F(PdfFontsTest, FirstPageStartsInTheRegularStyleAndLaterPagesKeepTheFont)
{
    PdfSetFont(doc, "Helvetica", "B", 10);
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    EXPECT_EQ(currentContent(), "2 J\n0.57 w\nBT /F2 10.00 Tf ET\n");
    PdfSetFont(doc, "Times", "I", 9);
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    EXPECT_EQ(currentContent(), "2 J\n0.57 w\nBT /F3 9.00 Tf ET\n");
}

// One page per font kind, each with the same line, read back by the PDF tools.
TEST_F(PdfFontsTest, CoreSimpleAndCompositeFontsRoundTripTheirText)
{
    PdfSetFont(doc, "Helvetica", "", 12);
    ASSERT_EQ(PdfEmbedTrueType(doc, DejaVuSans, "Simple", "", 0, 0), "DejaVuSans");
    ASSERT_EQ(PdfEmbedTrueType(doc, DejaVuSans, "Wide", "", 16, 0), "DejaVuSans");
    ASSERT_EQ(PdfEmbedTrueType(doc, DroidFallback, "Cjk", "", 16, 0), "DroidSansFallback");
    EXPECT_EQ(PdfEmbedTrueType(doc, DejaVuSans, "Simple", "", 0, 0), "") << "the same font twice";
    for (const char* family : {"Helvetica", "Simple", "Wide"}) {
        PdfAddPage(doc, "", "", -1.0f, -1.0f);
        PdfSetFont(doc, family, "", 12);
        PdfCellPublic(doc, RoundTripText, -1, 20, 1, 1, "", 0, -1, "");
        PdfText(doc, "(Text)", 50, 200);
    }
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    PdfSetFont(doc, "Cjk", "", 12);
    PdfCellPublic(doc, "漢字かな交じり文", -1, 20, 0, 1, "", 0, -1, "");
    const std::string path = dir.file("round_trip.pdf");
    saveChecked(doc, "round_trip.pdf");

    const std::string fonts = toolOutput({"pdffonts", path});
    EXPECT_NE(
        fonts.find("Helvetica                            Type 1            WinAnsi          no  no  no"),
        std::string::npos)
        << fonts;
    EXPECT_NE(
        fonts.find("DejaVuSans                           TrueType          WinAnsi          yes no  no"),
        std::string::npos)
        << fonts;
    EXPECT_NE(
        fonts.find("DejaVuSans-UCS                       CID TrueType      Identity-H       yes no  yes"),
        std::string::npos)
        << fonts;
    EXPECT_NE(
        fonts.find("DroidSansFallback-UCS                CID TrueType      Identity-H       yes no  yes"),
        std::string::npos)
        << fonts;
    for (int page = 1; page <= 3; ++page) {
        SCOPED_TRACE(page);
        const std::string text = toolOutput(
            {"pdftotext",
             "-f",
             std::to_string(page),
             "-l",
             std::to_string(page),
             "-enc",
             "UTF-8",
             path,
             "-"});
        EXPECT_EQ(text.substr(0, text.find('\n')), RoundTripText);
        EXPECT_NE(text.find("(Text)"), std::string::npos);
    }
    const std::string cjk = toolOutput({"pdftotext", "-f", "4", "-l", "4", "-enc", "UTF-8", path, "-"});
    EXPECT_EQ(cjk.substr(0, cjk.find('\n')), "漢字かな交じり文");
}

TEST_F(PdfFontsTest, WidthsFollowTheFontAndItsLastMetric)
{
    ASSERT_EQ(PdfEmbedTrueType(doc, DejaVuSansMono, "Mono", "", 0, 0), "DejaVuSansMono");
    ASSERT_EQ(PdfEmbedTrueType(doc, DejaVuSansMono, "MonoWide", "", 16, 0), "DejaVuSansMono");
    ASSERT_EQ(PdfEmbedTrueType(doc, DejaVuSans, "Sans", "", 0, 0), "DejaVuSans");

    struct Case
    {
        const char* family;
        const char* text;
        float widthPt;
    };

    // The monospace font has four metrics; every later glyph is as wide as the last (1233/2048 em).
    const Case cases[] = {
        {"Mono", "AVé€", 24.08f},
        {"MonoWide", "AVé€Ж", 30.10f},
        {"Sans", "AV", 13.68f},
        {"Sans", "€", 6.36f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        PdfSetFont(doc, c.family, "", 10);
        EXPECT_NEAR(PdfGetStringWidth(doc, c.text), c.widthPt, 0.01f);
    }
    const std::string bytes = saveChecked(doc, "widths.pdf");
    // The simple font's widths array holds the euro at its Windows-1252 code 128.
    const std::size_t widths = bytes.find("[0 0 0 0");
    ASSERT_NE(widths, std::string::npos);
    std::string array = bytes.substr(widths + 1, bytes.find(']', widths) - widths - 1);
    std::vector<int> values;
    for (std::size_t pos = 0; pos < array.size();) {
        values.push_back(std::atoi(array.c_str() + pos));
        pos = array.find(' ', pos) + 1;
        if (pos == 0) {
            break;
        }
    }
    ASSERT_GE(values.size(), 256u);
    EXPECT_EQ(values[128], 602);
    EXPECT_EQ(values[65], 602);
}

TEST_F(PdfFontsTest, FontsThatCannotBeEmbeddedAddNothing)
{
    PdfSetFont(doc, "Helvetica", "", 10);
    const std::int32_t objects = PdfGetCounter(doc);
    EXPECT_EQ(PdfEmbedTrueType(doc, NimbusOtf, "", "", 0, 0), "");
    EXPECT_EQ(PdfErrorCode(doc), 0) << "other outlines are no error";

    std::string truncated = readFile(DejaVuSans);
    truncated.resize(4000);
    testing::writeFile(dir.file("cut.ttf"), truncated);
    testing::writeFile(dir.file("tiny.ttf"), std::string("\0\1", 2));
    for (const char* name : {"cut.ttf", "tiny.ttf"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(PdfEmbedTrueType(doc, dir.file(name), "Bad", "", 16, 0), "");
        EXPECT_EQ(PdfErrorCode(doc), 7);
    }
    EXPECT_EQ(PdfGetCounter(doc), objects);
    EXPECT_TRUE(messages.shown.empty());

    // The next font keeps numbering and resource names in step.
    PdfSetFont(doc, "Times", "", 10);
    EXPECT_EQ(module.current->fontNumber, 2);
    EXPECT_EQ(module.current->fontObjects.size(), 2u);
}

TEST_F(PdfFontsTest, LicenceBitsDecideEmbeddingAndShowOneMessage)
{
    struct Case
    {
        std::uint16_t fsType;
        bool embedded;
        std::int32_t error;
        const char* message;
    };

    const Case cases[] = {
        {0x0002, false, 9, "Schriftart darf auf Grund der Lizenz nicht in PDF eingebettet werden."},
        {0x0200, false, 10, "Die Schrift darf nur als Bitmap-Schrift eingebettet werden."},
        {0x0100, true, 11, "Die Schriftart darf nicht als Subsetting eingebettet werden."},
        {0x000C, true, 0, nullptr},
        {0x0006, true, 0, nullptr},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fsType);
        const std::int32_t d = PdfCreate(-1, "P", "pt", "", -1.0f, -1.0f);
        const std::string font = dir.file("patched" + std::to_string(++n) + ".ttf");
        testing::writeFile(font, withFsType(DejaVuSans, c.fsType));
        messages.shown.clear();
        if (c.message != nullptr) {
            messages.queueAnswer(MessageAnswer::Ok);
        }
        EXPECT_EQ(PdfEmbedTrueType(d, font, "", "", 0, 0), c.embedded ? "DejaVuSans" : "");
        EXPECT_EQ(PdfErrorCode(d), c.error);
        ASSERT_EQ(messages.shown.size(), c.message != nullptr ? 1u : 0u);
        if (c.message != nullptr) {
            EXPECT_EQ(messages.shown[0].title, "Zeichensatz einbetten");
            EXPECT_EQ(messages.shown[0].text, c.message);
            EXPECT_EQ(messages.shown[0].icon, MessageIcon::Warning);
        }
        EXPECT_EQ(module.current->fonts.size(), c.embedded ? 1u : 0u);
    }
}

TEST_F(PdfFontsTest, InstalledFontsAreFoundByFamilyWeightAndSlant)
{
    EXPECT_EQ(PdfEmbedTrueType(doc, "Arial", "", "", 0, 1), "LiberationSans");
    EXPECT_EQ(PdfEmbedTrueType(doc, "Arial", "", "B", 0, 1), "LiberationSans-Bold");
    EXPECT_EQ(PdfEmbedTrueType(doc, "DejaVu Sans", "", "BI", 16, 0), "DejaVuSans-BoldOblique");
    saveChecked(doc, "installed.pdf");
}

TEST_F(PdfFontsTest, HeadersAndFootersGiveTheFontBack)
{
    PdfSetHeaderProc(
        doc,
        [this](std::optional<std::int32_t>) {
            PdfSetFont(doc, "Times", "I", 8);
            PdfCellPublic(doc, "Kopf", 0, 10, 0, 1, "", 0, -1, "");
        },
        0);
    PdfEnableHeader(doc, 1);
    PdfEnablePageNumberFooter(doc, 1);
    PdfSetFont(doc, "Helvetica", "", 10);
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    EXPECT_TRUE(currentContent().ends_with("BT /F1 10.00 Tf ET\n")) << currentContent();
    PdfSetFont(doc, "Courier", "U", 11);
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    EXPECT_EQ(module.current->fontFamily, "Courier");
    EXPECT_EQ(module.current->underlineFlag, 1);
    EXPECT_TRUE(currentContent().ends_with("BT /F3 11.00 Tf ET\n")) << currentContent();
    const std::string path = dir.file("header.pdf");
    saveChecked(doc, "header.pdf");
    const std::string text = toolOutput({"pdftotext", "-f", "2", "-l", "2", path, "-"});
    EXPECT_NE(text.find("Kopf"), std::string::npos);
    EXPECT_NE(text.find("2"), std::string::npos);
}

TEST(PdfTrueTypeReaders, SignedWordsAndBigEndianNames)
{
    EXPECT_EQ(ReadInt16(0xFFFE, 0), -2);
    EXPECT_EQ(ReadInt16(0xFEFF, 1), -2);
    EXPECT_EQ(ReadInt16(0x12345678, 0), 0x5678);
    const std::string name("\0A\0b\xD8\x3D\xDE\x00\0c", 10);
    EXPECT_EQ(ReadUTF16BEString(name.data(), 10), "Ab😀c");
    EXPECT_EQ(ReadUTF16BEString(name.data(), 3), "A");
}

} // namespace
} // namespace folvex
