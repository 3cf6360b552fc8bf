#include "pdf/pdf_writer.h"
#include "pdf/pdf_writer_internal.h"
#include "pdf_test_fixture.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <limits>

namespace folvex {
namespace {

using testing::PdfTest;

class PdfObjectsTest : public PdfTest
{
protected:
    PdfObjectsTest() { doc = PdfCreate(-1, "P", "mm", "", -1.0f, -1.0f); }

    PdfDocument& document() { return *module.current; }

    std::string& content() { return document().object(document().currentContentsRef)->stream.data; }

    std::int32_t doc = 0;
};

TEST_F(PdfObjectsTest, NumbersUseAPointInAnyLocaleAndSeparatorOption)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();

    struct Case
    {
        const char* label;
        float value;
        std::int32_t decimals;
        const char* expected;
    };

    const Case cases[] = {
        {"whole number padded", 12.0f, 2, "12.00"},
        {"rounded to three", 0.5669f, 3, "0.567"},
        {"A4 width", 595.28f, 2, "595.28"},
        {"no decimals", 1234567.0f, 0, "1234567"},
        {"negative", -3.14159f, 2, "-3.14"},
        {"negative zero after rounding", -0.001f, 2, "0.00"},
        {"not a number", nan, 2, "0.00"},
        {"infinite", inf, 1, "0.0"},
        {"minus infinite", -inf, 0, "0"},
    };
    for (const char* separator : {",", ".", ";"}) {
        ASSERT_EQ(PdfSetOption(doc, 3, separator), 0);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.label) + " with separator " + separator);
            EXPECT_EQ(PdfNumber(c.value, c.decimals), c.expected);
        }
    }
}

TEST_F(PdfObjectsTest, EscapeTextForPageContents)
{
    const struct
    {
        const char* label;
        std::string text;
        std::string expected;
    } cases[] = {
        {"delimiters and backslash", "a(b)\\c", "a\\(b\\)\\\\c"},
        {"control characters", "\b\t\n\f\r", "\\b\\t\\n\\f\\r"},
        {"e acute as octal", "é", "\\351"},
        {"first and last octal codes", "\u0080\u00FF", "\\200\\377"},
        {"euro stays a character", "€", "€"},
        {"OE ligature stays a character", "Œ", "Œ"},
        {"plain text", "Seite 1", "Seite 1"},
        {"malformed byte", "a\xFF", "a\uFFFD"},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(PdfEscapeText(c.text), c.expected);
    }
    EXPECT_EQ(PdfLiteral(doc, "x(y)"), "(x\\(y\\))");
    EXPECT_EQ(PdfLiteral(doc + 1, "x"), "");
}

TEST(PdfOctalTest, DigitsReadAsDecimal)
{
    const struct
    {
        std::int32_t value;
        std::int64_t expected;
    } cases[] = {{0, 0}, {8, 10}, {128, 200}, {233, 351}, {511, 777}, {2147483647, 17777777777}};

    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(PdfOctal(c.value), c.expected);
    }
}

TEST_F(PdfObjectsTest, OutAppendsWindows1252LinesToTheCurrentPage)
{
    PdfOut("BT");
    for (const PdfObject& object : document().objects) {
        EXPECT_TRUE(object.stream.empty()) << "nothing is written before the first page";
    }

    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    const std::string start = content();
    EXPECT_EQ(start, "2 J\n0.57 w\n");
    PdfOut("BT");
    PdfOut("ET\n");
    PdfOut("");
    PdfOut("(" + PdfEscapeText("Œ € é Ł") + ") Tj");
    PdfOut("", "q ", " Q");
    PdfOut("AB", "(", ") Tj", 1);
    PdfOut("\u0128\u0A0D\u5C29", "(", ") Tj\n", 1);
    PdfOut("a😀", "(", ") Tj", 1);
    EXPECT_EQ(
        content().substr(start.size()),
        std::string("BT\nET\n\n(\x8C \x80 \\351 ?) Tj\nq  Q\n(\0A\0B) Tj\n", 38) +
            "(\x01\\(\\n\\r\\\\\\)) Tj\n" + std::string("(\0a\0?) Tj\n", 10));

    const std::string pageRef = document().currentPageRef;
    const std::size_t before = content().size();
    PdfOut("x", "", "", 0, "99 0 R");
    PdfOut("x", "", "", 0, pageRef + " ");
    EXPECT_EQ(content().size(), before);
}

TEST_F(PdfObjectsTest, ReplaceAliasReplacesOnlyTheFirstOccurrence)
{
    const struct
    {
        const char* label;
        std::string stream;
        std::string alias;
        std::string replacement;
        std::string expected;
    } cases[] = {
        {"first of two", "a{p}b{p}", "{p}", "12", "a12b{p}"},
        {"at the very end", "ab{p}", "{p}", "3", "ab3"},
        {"absent", "abc", "{p}", "3", "abc"},
        {"shorter replacement", "x{nb}y", "{nb}", "", "xy"},
        {"longer replacement", "{nb}", "{nb}", "12345", "12345"},
        {"alias longer than the stream", "{p", "{p}", "1", "{p"},
        {"Windows-1252 alias", "a\x80x", "€x", "7", "a7"},
        {"empty alias changes nothing", "abc", "", "7", "abc"},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        PdfNewObject(PdfObjectKind::Plain);
        const std::string ref = PdfObjRef(document().lastObjectNumber);
        PdfPutStream(c.stream, 0, ref);
        PdfReplaceAlias(ref, c.alias, c.replacement);
        EXPECT_EQ(document().object(ref)->stream.data, c.expected);
    }
}

TEST(PdfHexToBufferTest, PairsBetweenPrefixAndSuffix)
{
    const struct
    {
        const char* label;
        std::string hex;
        std::string prefix;
        std::string suffix;
        std::string expected;
    } cases[] = {
        {"text between parentheses", "414243", "(", ")", "(ABC)"},
        {"trailing single digit ignored", "41424", "", "", "AB"},
        {"either case", "aBcD", "", "", "\xAB\xCD"},
        {"second digit invalid", "4g", "", "", "\x04"},
        {"first digit invalid", "g4", "", "", std::string(1, '\0')},
        {"nothing", "", "<", ">", "<>"},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        PdfMemoryBlock block;
        PdfHexToBuffer(c.hex, c.prefix, c.suffix, block);
        EXPECT_EQ(block.data, c.expected);
    }
}

TEST(PdfObjRefTest, ReferencesAndNumbers)
{
    EXPECT_EQ(PdfObjRef(12), "12 0 R");

    const struct
    {
        const char* reference;
        std::int32_t expected;
    } cases[] = {{"12 0 R", 12}, {"", 0}, {"7", 7}, {"x 0 R", 0}, {" 12 0 R", 0}};

    for (const auto& c : cases) {
        SCOPED_TRACE(c.reference);
        EXPECT_EQ(PdfObjNumber(c.reference), c.expected);
    }
}

TEST_F(PdfObjectsTest, NewObjectRecordsEachKindAndReturnsItsIndex)
{
    ASSERT_EQ(document().lastObjectNumber, 4);

    const struct
    {
        PdfObjectKind kind;
        const char* text;
        std::int32_t expected;
    } steps[] = {
        {PdfObjectKind::Plain, "", 0},                   // 5
        {PdfObjectKind::FormField, "", 0},               // 6
        {PdfObjectKind::OutlineItem, "", 0},             // 7
        {PdfObjectKind::OutlineItem, "", 0},             // 8
        {PdfObjectKind::EmbeddedFile, "/docs/a.pdf", 0}, // 9
        {PdfObjectKind::EmbeddedFile, "/tmp/b.txt", 1},  // 10
        {PdfObjectKind::Font, "Helvetica", 0},           // 11
        {PdfObjectKind::Image, "scan.png", 0},           // 12
        {PdfObjectKind::Image, "scan.png", 0},           // 13
        {PdfObjectKind::JavaScript, "first", 0},         // 14
        {PdfObjectKind::JavaScript, "second", 1},        // 15
        {PdfObjectKind::Page, "", 1},                    // 16
        {PdfObjectKind::Contents, "", 0},                // 17
        {PdfObjectKind::Names, "", 0},                   // 18
        {PdfObjectKind::OutlineRoot, "", 0},             // 19
    };

    for (const auto& step : steps) {
        SCOPED_TRACE(std::to_string(document().lastObjectNumber + 1));
        EXPECT_EQ(PdfNewObject(step.kind, step.text), step.expected);
    }
    const PdfDocument& d = document();
    EXPECT_EQ(d.lastObjectNumber, 19);
    EXPECT_EQ(PdfGetCounter(doc), 19);
    EXPECT_EQ(d.formFields, std::vector<std::string>{"6 0 R"});
    EXPECT_EQ(d.firstOutlineItemRef, "7 0 R");
    EXPECT_EQ(d.lastOutlineItemRef, "8 0 R");
    EXPECT_EQ(d.outlineItemCount, 2);
    EXPECT_EQ(d.firstEmbeddedFileName, "a.pdf");
    EXPECT_EQ(d.lastEmbeddedFileName, "b.txt");
    EXPECT_EQ(d.embeddedFiles[1].reference, "10 0 R");
    EXPECT_EQ(d.fontObjects[0].name, "Helvetica");
    ASSERT_EQ(d.images.size(), 2u);
    EXPECT_EQ(d.images[1].number, 2);
    EXPECT_EQ(d.images[1].reference, "13 0 R");
    EXPECT_EQ(d.imageCounter, 2);
    EXPECT_EQ(d.firstJavaScriptName, "first");
    EXPECT_EQ(d.lastJavaScriptName, "second");
    EXPECT_EQ(d.currentPageRef, "16 0 R");
    EXPECT_EQ(d.pages[1].contentsRef, "17 0 R");
    EXPECT_EQ(d.currentContentsRef, "17 0 R");
    EXPECT_EQ(d.namesRef, "18 0 R");
    EXPECT_EQ(d.outlineRootRef, "19 0 R");
}

TEST_F(PdfObjectsTest, EntriesAndStreamsGoToTheNamedOrTheLastObject)
{
    PdfNewObject(PdfObjectKind::Plain);
    PdfPutEntry("/A 1", "", "\n", PdfEntryPlain);
    PdfPutEntry("/B 2", "", "\n", PdfEntryPlain, "1 0 R");
    PdfPutEntry("/C 3", "", "\n", PdfEntryPlain, "77 0 R");
    PdfPutStream("first", 0);
    PdfPutStream("second", PdfCompressedStreamMarker);
    PdfPutFontStream("[500 600]", 3, "5 0 R");
    const PdfObject& object = *document().object("5 0 R");
    ASSERT_EQ(object.entries.size(), 1u);
    EXPECT_EQ(object.entries[0].value, "/A 1");
    EXPECT_EQ(document().object("1 0 R")->entries.back().value, "/B 2");
    EXPECT_EQ(object.stream.data, "second");
    EXPECT_EQ(object.streamMarker, PdfCompressedStreamMarker);
    EXPECT_EQ(object.rawText, "[500 600]");
    EXPECT_EQ(object.fontValue, 3);
}

TEST_F(PdfObjectsTest, ErrorTextsPerCode)
{
    const std::vector<std::string> texts = {
        "",
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
        "",
    };
    EXPECT_EQ(PdfErrorText(doc), "");
    for (std::size_t code = 0; code < texts.size(); ++code) {
        SCOPED_TRACE(code);
        document().lastErrorCode = static_cast<std::int32_t>(code);
        EXPECT_EQ(PdfErrorCode(doc), static_cast<std::int32_t>(code));
        EXPECT_EQ(PdfErrorText(doc), texts[code]);
    }
    document().lastErrorCode = -1;
    EXPECT_EQ(PdfErrorText(doc), "");
    EXPECT_EQ(PdfErrorCode(doc + 1), 0);
    EXPECT_EQ(PdfErrorText(doc + 1), "");
}

TEST(PdfTextStringTest, PdfDocEncodingOrUtf16)
{
    const struct
    {
        const char* label;
        std::string text;
        std::string expected;
    } cases[] = {
        {"ASCII", "Folvex", "Folvex"},
        {"Latin-1 letters",
         "Grüße",
         "Gr\xFC\xDF"
         "e"},
        {"dashes, ligature, euro", "– Œ €", "\x85 \x96 \xA0"},
        {"quotes and ellipsis", "„…“", "\x8C\x83\x8D"},
        {"Polish L", "Ł", "\x95"},
        {"no-break space is not in it", "a\u00A0", std::string("\xFE\xFF\0a\0\xA0", 6)},
        {"CJK", "日本", "\xFE\xFF\x65\xE5\x67\x2C"},
        {"beyond the basic plane", "😀", std::string("\xFE\xFF\xD8\x3D\xDE\x00", 6)},
        {"empty", "", ""},
        // Read as PDFDocEncoding bytes these would start with a byte-order mark, so readers would take
        // the rest for UTF-16 or UTF-8.
        {"starts like UTF-16", "þÿ", std::string("\xFE\xFF\0\xFE\0\xFF", 6)},
        {"starts like UTF-8", "ï»¿x", std::string("\xFE\xFF\0\xEF\0\xBB\0\xBF\0x", 10)},
        {"byte-order letters later stay", "xþÿ", "x\xFE\xFF"},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(encodeTextString(c.text), c.expected);
    }
    EXPECT_EQ(escapeStringBytes(std::string("(a)\\\n\x96\x00z", 8)), "\\(a\\)\\\\\\n\\226\\000z");
}

TEST_F(PdfObjectsTest, CompressAndLoadCompressed)
{
    const std::string data(5000, 'x');
    PdfMemoryBlock block;
    ASSERT_EQ(PdfCompress(data, block), 1);
    uLongf size = static_cast<uLongf>(data.size());
    std::string inflated(size, '\0');
    ASSERT_EQ(
        uncompress(
            reinterpret_cast<Bytef*>(inflated.data()),
            &size,
            reinterpret_cast<const Bytef*>(block.data.data()),
            static_cast<uLong>(block.data.size())),
        Z_OK);
    EXPECT_EQ(inflated, data);
    EXPECT_LT(block.data.size(), data.size());

    testing::writeFile(dir.file("font.bin"), data);
    PdfMemoryBlock loaded;
    ASSERT_EQ(PdfLoadCompressed(dir.file("font.bin"), loaded), 1);
    EXPECT_EQ(loaded.data, block.data);
    EXPECT_EQ(loaded.uncompressedLength, 5000);
    EXPECT_EQ(loaded.marker, PdfCompressedStreamMarker);

    EXPECT_EQ(PdfLoadCompressed(dir.file("missing.bin"), loaded), 0);
    EXPECT_EQ(PdfErrorCode(doc), 7);
}

} // namespace
} // namespace folvex
