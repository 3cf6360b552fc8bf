#include "pdf/pdf_images.h"
#include "pdf/pdf_writer.h"
#include "pdf/pdf_writer_internal.h"
#include "pdf_test_fixture.h"
#include "support/image_fixtures.h"
#include "support/pdf_check.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>

namespace folvex {
namespace {

using testing::PdfTest;
using testing::readFile;
using testing::renderComplaints;
using testing::toolOutput;

// The objects of qpdf's JSON view of a file, by reference ("5 0 R"), each without the blanks and line
// breaks outside its strings.
std::map<std::string, std::string> jsonObjects(const std::string& path)
{
    const std::string json = toolOutput({"qpdf", "--json=2", "--json-key=qpdf", path});
    std::map<std::string, std::string> objects;
    std::size_t at = json.find("\"obj:");
    while (at != std::string::npos) {
        const std::size_t end = json.find("\"obj:", at + 1);
        const std::size_t quote = json.find('"', at + 5);
        const std::string reference = json.substr(at + 5, quote - at - 5);
        const std::string text = json.substr(at, end == std::string::npos ? std::string::npos : end - at);
        std::string compact;
        bool inString = false;
        for (std::size_t i = quote - at + 1; i < text.size(); ++i) {
            const char c = text[i];
            if (c == '"' && text[i - 1] != '\\') {
                inString = !inString;
            }
            if (inString || (c != ' ' && c != '\n')) {
                compact.push_back(c);
            }
        }
        objects[reference] = compact;
        at = end;
    }
    return objects;
}

// The reference of the first object that contains needle, "" when none does.
std::string find(const std::map<std::string, std::string>& objects, const std::string& needle)
{
    for (const auto& [reference, text] : objects) {
        if (text.find(needle) != std::string::npos) {
            return reference;
        }
    }
    return {};
}

class PdfLinksTest : public PdfTest
{
protected:
    PdfLinksTest() { PdfSetMargins(doc, 10, 10, 10); }

    std::int32_t doc = PdfCreate(-1, "P", "pt", "600,800", -1.0f, -1.0f);
};

TEST_F(PdfLinksTest, AnnotationsFieldsAndDestinationsLandWhereTheyWerePlaced)
{
    testing::writeFile(dir.file("anlage.txt"), "Anlage\n");
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    PdfSetFont(doc, "Helvetica", "", 10);
    const std::int32_t toPage2 = PdfAddLink(doc, 2, 100);
    PdfLink(doc, 10, 20, 50, 10, "", toPage2);
    PdfLink(doc, 10, 40, 50, 10, "ziel", -1);
    PdfLink(doc, 10, 60, 50, 10, "nirgends", -1);
    const std::int32_t uri = PdfAddLinkTextOnlyRecord(doc, "https://example.org/a(b)");
    PdfLink(doc, 10, 80, 50, 10, "", uri);
    const std::int32_t launch = PdfAddLinkValueRecord(doc, "/usr/bin/true", -1, "open");
    PdfLink(doc, 10, 100, 50, 10, "", launch);
    const std::int32_t note = PdfAddLinkTextRecord(doc, "Titel", "Inhalt", "Comment", -1);
    PdfLink(doc, 100, 100, 20, 20, "", note);
    const std::int32_t file = PdfPutEmbeddedFile(doc, dir.file("anlage.txt"), "Eine Anlage");
    const std::int32_t attachment = PdfAddLinkRecord(doc, file, "Datei", "Anlage", "", 10, 10, -1);
    PdfLink(doc, 200, 100, 10, 10, "", attachment);
    const std::int32_t missing = PdfAddLinkRecord(doc, 7, "Datei", "fehlt", "", 10, 10, -1);
    PdfLink(doc, 200, 150, 10, 10, "", missing);
    EXPECT_EQ(PdfAddLinkRecord(doc, -1, "", "", "", 1, 1, 1), 0);

    PdfSetXYPublic(doc, 10, 200);
    PdfCheckBox(doc, "Haken", 1, 0, 10, 10, 1);
    PdfTextField(doc, "Name", "Grüße\r\n", 0, 100, 12, 1, 1, "C", 1);
    PdfChoiceField(doc, "Wahl", "zwei", "eins zwei drei", 1, 0, 100, 12, 1);

    PdfAddPage(doc, "L", "", -1.0f, -1.0f);
    PdfSetYPublic(doc, 50, 1);
    PdfAddNamedTarget(doc, "ziel");
    PdfLink(doc, 10, 20, 50, 10, "", uri);

    const std::string path = dir.file("links.pdf");
    saveChecked(doc, "links.pdf");
    const auto objects = jsonObjects(path);
    const std::string page1 = find(objects, "\"/MediaBox\":[0,0,600.00,800.00]");
    const std::string page2 = find(objects, "\"/MediaBox\":[0,0,800.00,600.00]");
    ASSERT_FALSE(page1.empty());
    ASSERT_FALSE(page2.empty());

    struct Case
    {
        const char* label;
        const char* identifies;
        std::vector<std::string> contains;
        std::string page;
    };

    const std::vector<Case> cases = {
        {"internal link",
         "[10.00,780.00,60.00,770.00]",
         {"\"/Dest\":[\"" + page2 + "\",\"/XYZ\",0,500,0]", "\"/Subtype\":\"/Link\""},
         page1},
        {"named link",
         "[10.00,760.00,60.00,750.00]",
         {"\"/Dest\":[\"" + page2 + "\",\"/XYZ\",0,550,0]"},
         page1},
        {"uri", "[10.00,720.00,60.00,710.00]", {"\"/URI\":\"u:https://example.org/a(b)\""}, page1},
        {"uri on the landscape page",
         "[10.00,580.00,60.00,570.00]",
         {"\"/URI\":\"u:https://example.org/a(b)\""},
         page2},
        {"launch",
         "[10.00,700.00,60.00,690.00]",
         {"\"/S\":\"/Launch\"",
          "\"/F\":{\"/F\":\"u:/usr/bin/true\",\"/Type\":\"/Filespec\"}",
          "\"/O\":\"u:open\""},
         page1},
        {"note",
         "[120.00,700.00,140.00,680.00]",
         {"\"/Subtype\":\"/Text\"", "\"/Name\":\"/Comment\"", "\"/Contents\":\"u:Inhalt\""},
         page1},
        {"attachment",
         "[200.00,700.00,210.00,690.00]",
         {"\"/Subtype\":\"/FileAttachment\"", "\"/T\":\"u:Datei\""},
         page1},
        {"check box",
         "\"/T\":\"u:Haken\"",
         {"[10.00,600.00,20.00,590.00]", "\"/V\":\"/Yes\"", "\"/P\":\"" + page1 + "\""},
         page1},
        {"text field",
         "\"/T\":\"u:Name\"",
         {"[10.00,590.00,110.00,578.00]",
          "\"/V\":\"b:4772fcdf65\"",
          "\"/DA\":\"u:/F1 10 Tf 0 g\"",
          "\"/Q\":1"},
         page1},
        {"choice field",
         "\"/T\":\"u:Wahl\"",
         {"\"/Opt\":[\"u:eins\",\"u:zwei\",\"u:drei\"]", "\"/I\":[1]", "\"/DV\":\"u:zwei\""},
         page1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string reference = find(objects, c.identifies);
        ASSERT_FALSE(reference.empty());
        const std::string& object = objects.at(reference);
        for (const std::string& part : c.contains) {
            EXPECT_NE(object.find(part), std::string::npos) << part << " in " << object;
        }
        EXPECT_NE(objects.at(c.page).find("\"" + reference + "\""), std::string::npos) << objects.at(c.page);
    }
    EXPECT_EQ(find(objects, "[10.00,740.00,60.00,730.00]"), "") << "an undefined target leaves no annotation";
    EXPECT_EQ(find(objects, "u:fehlt"), "") << "an attachment without its file leaves no annotation";
    const std::string annots = objects.at(page1).substr(objects.at(page1).find("\"/Annots\""));
    EXPECT_EQ(std::count(annots.begin(), annots.begin() + annots.find(']'), 'R'), 9);

    const std::string acroForm = objects.at(find(objects, "\"/NeedAppearances\":true"));
    EXPECT_NE(acroForm.find("\"/DR\":\"4 0 R\""), std::string::npos);
    const std::string fields = acroForm.substr(acroForm.find("\"/Fields\""));
    EXPECT_EQ(std::count(fields.begin(), fields.begin() + fields.find(']'), 'R'), 3) << acroForm;
    EXPECT_NE(objects.at(find(objects, "\"/Type\":\"/Catalog\"")).find("\"/AcroForm\""), std::string::npos);
}

TEST_F(PdfLinksTest, OutlineItemsLinkToTheirFamily)
{
    for (int page = 0; page < 3; ++page) {
        PdfAddPage(doc, "", "", -1.0f, -1.0f);
    }

    struct Item
    {
        const char* title;
        std::int32_t level;
        std::int32_t page;
    };

    const Item items[] = {{"A", 0, 1}, {"A1", 1, 1}, {"A1a", 2, 2}, {"A2", 1, 2}, {"B", 0, 3}, {"C", 5, 3}};
    for (const Item& item : items) {
        PdfAddOutlineItem(doc, item.title, item.level, 100, item.page);
    }
    const std::string path = dir.file("outline.pdf");
    saveChecked(doc, "outline.pdf");
    const auto objects = jsonObjects(path);
    std::map<std::string, std::string> ref;
    for (const Item& item : items) {
        ref[item.title] = find(objects, std::string("\"/Title\":\"u:") + item.title + "\"");
        ASSERT_FALSE(ref[item.title].empty()) << item.title;
    }
    const std::string root = find(objects, "\"/Type\":\"/Outlines\"");
    const auto link = [](const char* key, const std::string& reference) {
        return std::string("\"/") + key + "\":\"" + reference + "\"";
    };

    struct Expectation
    {
        std::string object;
        std::vector<std::string> contains;
        std::vector<std::string> lacks;
    };

    const std::vector<Expectation> expectations = {
        {root, {link("First", ref["A"]), link("Last", ref["B"]), "\"/Count\":6"}, {}},
        {ref["A"],
         {link("Parent", root),
          link("Next", ref["B"]),
          link("First", ref["A1"]),
          link("Last", ref["A2"]),
          "\"/Count\":3"},
         {"/Prev"}},
        {ref["A1"],
         {link("Parent", ref["A"]),
          link("Next", ref["A2"]),
          link("First", ref["A1a"]),
          link("Last", ref["A1a"]),
          "\"/Count\":1"},
         {"/Prev"}},
        {ref["A1a"], {link("Parent", ref["A1"])}, {"/Prev", "/Next", "/First", "/Count"}},
        {ref["A2"], {link("Parent", ref["A"]), link("Prev", ref["A1"])}, {"/Next", "/First"}},
        {ref["B"],
         {link("Parent", root), link("Prev", ref["A"]), link("First", ref["C"]), "\"/Count\":1"},
         {"/Next"}},
        {ref["C"], {link("Parent", ref["B"])}, {"/Prev", "/Next"}},
    };
    for (const Expectation& e : expectations) {
        const std::string& object = objects.at(e.object);
        SCOPED_TRACE(object);
        for (const std::string& part : e.contains) {
            EXPECT_NE(object.find(part), std::string::npos) << part;
        }
        for (const std::string& part : e.lacks) {
            EXPECT_EQ(object.find(part), std::string::npos) << part;
        }
    }
    EXPECT_NE(objects.at(ref["A1a"]).find(",\"/XYZ\",0,700.00,0]"), std::string::npos);
}

TEST_F(PdfLinksTest, AttachmentsAndScriptsAreListedSortedAndComeBackWhole)
{
    std::string binary;
    for (int i = 0; i < 3000; ++i) {
        binary.push_back(static_cast<char>(i * 7 % 256));
    }
    testing::writeFile(dir.file("zeta.txt"), "letzte Datei\n");
    testing::writeFile(dir.file("alpha.bin"), binary);
    testing::writeFile(dir.file("skript.js"), "app.alert('aus Datei');\r\nvar x = 1;\r");
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    EXPECT_EQ(PdfPutEmbeddedFile(doc, dir.file("zeta.txt"), ""), 0);
    EXPECT_EQ(PdfPutEmbeddedFile(doc, dir.file("alpha.bin"), "Binär"), 1);
    const std::int32_t objects = PdfGetCounter(doc);
    EXPECT_EQ(PdfPutEmbeddedFile(doc, dir.file("fehlt.txt"), ""), 0);
    EXPECT_EQ(PdfErrorCode(doc), 7);
    EXPECT_EQ(PdfGetCounter(doc), objects);
    PdfJavaScriptAction(doc, "app.alert('zwei');", "zwei");
    EXPECT_EQ(PdfJavaScript(doc, dir.file("skript.js"), "eins"), 1);
    EXPECT_EQ(PdfJavaScript(doc, dir.file("fehlt.js"), "drei"), 0);

    const std::string path = dir.file("files.pdf");
    const std::string bytes = saveChecked(doc, "files.pdf");
    const std::string list = toolOutput({"pdfdetach", "-list", path});
    EXPECT_EQ(list, "2 embedded files\n1: alpha.bin\n2: zeta.txt\n");
    const std::string out = dir.file("out");
    toolOutput({"mkdir", out});
    toolOutput({"pdfdetach", "-saveall", "-o", out, path});
    EXPECT_EQ(readFile(out + "/alpha.bin"), binary);
    EXPECT_EQ(readFile(out + "/zeta.txt"), "letzte Datei\n");
    EXPECT_NE(bytes.find("/Size 3000 /CreationDate (D:"), std::string::npos);

    const std::string scripts = toolOutput({"pdfinfo", "-js", path});
    const std::size_t first = scripts.find("app.alert('aus Datei');\nvar x = 1;\n");
    const std::size_t second = scripts.find("app.alert('zwei');");
    EXPECT_NE(first, std::string::npos) << scripts;
    EXPECT_NE(second, std::string::npos) << scripts;
    EXPECT_LT(first, second) << "the name tree is sorted: eins before zwei";
}

TEST_F(PdfLinksTest, FieldsWithoutAFontUseHelveticaAndFileDatesAreUtc)
{
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    PdfTextField(doc, "Feld", "", 0, 50, 10, 0, 0, "", 0);
    EXPECT_EQ(module.current->fonts.size(), 1u);
    EXPECT_EQ(module.current->fonts.begin()->second.baseName, "Helvetica");

    const std::string file = dir.file("alt.txt");
    testing::writeFile(file, "alt");
    const timespec times[2] = {{1577934245, 0}, {1577934245, 0}}; // 2020-01-02 03:04:05 UTC
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    ::setenv("TZ", "UTC-1", 1);
    ::tzset();
    PdfPutEmbeddedFile(doc, file, "");
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    const std::string bytes = saveChecked(doc, "dates.pdf");
    EXPECT_NE(bytes.find("/ModDate (D:20200102030405Z)>>"), std::string::npos);
    EXPECT_NE(bytes.find("/DA (/F1 12 Tf 0 g)"), std::string::npos);
}

TEST_F(PdfLinksTest, ImagesCarryTheirLinkOverTheirArea)
{
    testing::writeFile(dir.file("bild.jpg"), testing::makeCmykJpeg(8, 8));
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    const std::int32_t uri = PdfAddLinkTextOnlyRecord(doc, "https://example.org/bild");
    PdfImage(doc, dir.file("bild.jpg"), 10, 20, 50, 30, uri);
    PdfImage(doc, dir.file("bild.jpg"), 100, 20, 50, 30, -1);
    const std::string path = dir.file("image_link.pdf");
    saveChecked(doc, "image_link.pdf");
    const auto objects = jsonObjects(path);
    const std::string annotation = find(objects, "\"/URI\":\"u:https://example.org/bild\"");
    ASSERT_FALSE(annotation.empty());
    EXPECT_NE(objects.at(annotation).find("\"/Rect\":[10.00,780.00,60.00,750.00]"), std::string::npos);
    EXPECT_EQ(find(objects, "[100.00,780.00"), "");
}

TEST_F(PdfLinksTest, LinkAddressesAreWrittenAsPercentEncodedAscii)
{
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    const std::int32_t uri = PdfAddLinkTextOnlyRecord(doc, "https://beispiel.de/Müller?q=ä");
    PdfLink(doc, 10, 20, 50, 10, "", uri);
    const std::int32_t blank = PdfAddLinkTextOnlyRecord(doc, "https://beispiel.de/a b%20c\t(1)");
    PdfLink(doc, 10, 40, 50, 10, "", blank);
    const std::string bytes = saveChecked(doc, "uri.pdf");
    EXPECT_NE(bytes.find("/URI (https://beispiel.de/M%C3%BCller?q=%C3%A4) >>"), std::string::npos);
    // The blank and the tab are encoded, an existing escape and the parentheses are kept.
    EXPECT_NE(bytes.find("/URI (https://beispiel.de/a%20b%20c%09\\(1\\)) >>"), std::string::npos);
}

// The share of pixels darker than mid-grey in the rectangle of points (x, y from the top) of a 72 dpi
// rendering, a margin of inset pixels inside it left out.
double darkShare(const testing::Rendered& page, int x, int y, int w, int h, int inset)
{
    int dark = 0;
    int all = 0;
    for (int row = y + inset; row < y + h - inset; ++row) {
        for (int column = x + inset; column < x + w - inset; ++column) {
            const std::size_t at = (static_cast<std::size_t>(row) * page.width + column) * 3;
            if (at + 2 >= page.rgb.size()) {
                continue;
            }
            const int sum = static_cast<std::uint8_t>(page.rgb[at]) +
                            static_cast<std::uint8_t>(page.rgb[at + 1]) +
                            static_cast<std::uint8_t>(page.rgb[at + 2]);
            dark += sum < 3 * 128 ? 1 : 0;
            ++all;
        }
    }
    return all == 0 ? 0.0 : static_cast<double>(dark) / all;
}

TEST_F(PdfLinksTest, FormFieldsShowTheirStateInEveryViewer)
{
    constexpr std::int32_t RadioFlags = 49152; // radio button, never all off
    PdfAddPage(doc, "", "", -1.0f, -1.0f);
    PdfSetFont(doc, "Helvetica", "", 12);
    PdfSetXYPublic(doc, 20, 20);
    PdfCheckBox(doc, "Ja", 1, 0, 20, 20, 0);
    PdfSetXYPublic(doc, 60, 20);
    PdfCheckBox(doc, "Nein", 0, 0, 20, 20, 0);
    PdfSetXYPublic(doc, 20, 60);
    PdfCheckBox(doc, "Farbe rot", 1, RadioFlags, 20, 20, 0);
    PdfSetXYPublic(doc, 60, 60);
    PdfCheckBox(doc, "Farbe blau", 0, RadioFlags, 20, 20, 0);
    PdfSetXYPublic(doc, 20, 100);
    PdfTextField(doc, "Name", "Müller", 0, 200, 20, 1, 1, "", 0);
    PdfSetXYPublic(doc, 20, 140);
    PdfTextField(doc, "Leer", "", 0, 200, 20, 1, 1, "", 0);
    // A composite font writes the value as two-byte codes.
    ASSERT_EQ(
        PdfEmbedTrueType(doc, "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "Wide", "", 16, 0),
        "DejaVuSans");
    PdfSetFont(doc, "Wide", "", 12);
    PdfSetXYPublic(doc, 20, 180);
    PdfTextField(doc, "Gruß", "Grüße €", 0, 200, 20, 1, 1, "R", 0);
    const std::string path = dir.file("form.pdf");
    saveChecked(doc, "form.pdf");

    // Every field has a default appearance naming a font of the form's resources; buttons have both looks.
    const auto objects = jsonObjects(path);
    const std::string acroForm = objects.at(find(objects, "\"/NeedAppearances\":true"));
    EXPECT_NE(acroForm.find("\"/DA\":\"u:/F1 12 Tf 0 g\""), std::string::npos) << acroForm;
    const std::string symbols = find(objects, "\"/BaseFont\":\"/ZapfDingbats\"");
    EXPECT_NE(objects.at("4 0 R").find("\"/ZaDb\":\"" + symbols + "\""), std::string::npos)
        << objects.at("4 0 R");
    for (const char* name : {"u:Ja", "u:Nein", "u:Farbe rot", "u:Farbe blau"}) {
        SCOPED_TRACE(name);
        const std::string& box = objects.at(find(objects, "\"/T\":\"" + std::string(name) + "\""));
        EXPECT_NE(box.find("\"/DA\":\"u:/ZaDb 16.00 Tf 0 g\""), std::string::npos) << box;
        EXPECT_NE(box.find("\"/AP\":{\"/N\":{\"/Off\":"), std::string::npos) << box;
        EXPECT_NE(box.find("\"/Yes\":"), std::string::npos) << box;
    }
    const std::string& text = objects.at(find(objects, "\"/T\":\"u:Name\""));
    EXPECT_NE(text.find("\"/DA\":\"u:/F1 12 Tf 0 g\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"/AP\":{\"/N\":"), std::string::npos) << text;

    EXPECT_EQ(renderComplaints(path, dir.path().string()), "");
    const std::string words = toolOutput({"pdftotext", path, "-"});
    EXPECT_EQ(words.find("rror"), std::string::npos) << words;

    // Ticked and unticked look different in poppler, which builds the looks itself, and in
    // Ghostscript, which shows the appearance streams.
    const std::pair<const char*, testing::Rendered> renderings[] = {
        {"pdftoppm", testing::renderPageWithPoppler(path)},
        {"gs", testing::renderPage(path)},
    };
    for (const auto& [renderer, page] : renderings) {
        SCOPED_TRACE(renderer);
        ASSERT_EQ(page.width, 600u);
        // The middle 10 × 10 points of each button, the frame or ring left out.
        EXPECT_GT(darkShare(page, 20, 20, 20, 20, 5), 0.1) << "the ticked box shows a mark";
        EXPECT_EQ(darkShare(page, 60, 20, 20, 20, 5), 0.0) << "the unticked box is empty";
        EXPECT_GT(darkShare(page, 20, 60, 20, 20, 5), 0.1) << "the chosen radio button shows a dot";
        EXPECT_EQ(darkShare(page, 60, 60, 20, 20, 5), 0.0) << "the other radio button is empty";
        EXPECT_GT(darkShare(page, 20, 100, 200, 20, 3), 0.01) << "the text field shows its value";
        EXPECT_GT(darkShare(page, 30, 99, 180, 3, 0), 0.2) << "the text field's border shows";
        EXPECT_EQ(darkShare(page, 20, 140, 200, 20, 3), 0.0) << "the empty text field shows nothing inside";
        EXPECT_GT(darkShare(page, 20, 180, 200, 20, 3), 0.01) << "the composite font shows the value";
    }
}

} // namespace
} // namespace folvex
