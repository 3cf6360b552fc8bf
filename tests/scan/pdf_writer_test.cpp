#include "pdf/pdf_document.h"
#include "scan/page_depth.h"
#include "scan/pdf_output.h"
#include "scan/save_outcome.h"
#include "scan/writer_steps.h"
#include "scan_job_fakes.h"
#include "shell/settings.h"
#include "support/action_box_fakes.h"
#include "support/fakes.h"
#include "support/image_fixtures.h"
#include "support/pdf_check.h"
#include "support/temp_dir.h"
#include "twain/fake_scanner_library.h"
#include "writer_fixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace folvex {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::realFunctions;
using testing::writeFile;

// Every depth a page can have, prepared for every format that needs it, saves and reads back; no
// format leaves a file behind that it could not write.
TEST(PageDepthTest, EveryPreparedPageSavesAndReloads)
{
    const FreeImageFunctionTable& functions = realFunctions();
    testing::TempDir dir;
    const std::map<FREE_IMAGE_FORMAT, std::string> formats{
        {FIF_JPEG, "jpg"}, {FIF_PNG, "png"}, {FIF_TIFF, "tif"}, {FIF_GIF, "gif"}, {FIF_TARGA, "tga"}};
    for (const auto& [format, extension] : formats) {
        for (const std::string depth : {"1", "4", "8 grey", "8 palette", "16", "24", "32"}) {
            SCOPED_TRACE(extension + " from " + depth + " bits");
            const testing::ImagePtr page(makeDepthImage(40, 30, depth));
            ASSERT_NE(page, nullptr);
            const PreparedPage prepared = prepareDepthFor(functions, format, page.get());
            ASSERT_NE(prepared.image, nullptr);
            const std::string path = dir.file("page." + extension);
            fs::remove(path);
            ASSERT_TRUE(functions.SaveU(format, prepared.image, path, 0));
            const testing::ImagePtr back(functions.LoadU(format, path));
            ASSERT_NE(back, nullptr);
            EXPECT_EQ(FreeImage_GetWidth(back.get()), 40U);
            EXPECT_EQ(FreeImage_GetHeight(back.get()), 30U);
        }
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 5);
}

TEST(SaveOutcomeTest, FailureTextShowsTwentyLinesAndCountsTheRest)
{
    SaveOutcome outcome;
    for (int page = 1; page <= 23; ++page) {
        outcome.pageUnreadable(page);
    }
    outcome.fileNotWritten("/a/b/Brief.pdf");
    outcome.fileNotWritten("/a/b/Brief_2.pdf");
    const std::string text = saveFailureText(outcome.failures);
    EXPECT_EQ(
        text.rfind(R"(Nicht alles konnte gespeichert werden:\n\nSeite 1: konnte nicht gelesen werden.\n)", 0),
        0U);
    EXPECT_NE(text.find(R"(Seite 20: konnte nicht gelesen werden.\n… und 5 weitere)"), std::string::npos);
    EXPECT_EQ(text.find("Seite 21"), std::string::npos);

    const std::vector<std::string> two{outcome.failures[0], "Brief.pdf: konnte nicht geschrieben werden."};
    EXPECT_EQ(
        saveFailureText(two),
        R"(Nicht alles konnte gespeichert werden:\n\nSeite 1: konnte nicht gelesen werden.\nBrief.pdf: konnte nicht geschrieben werden.)");
}

TEST(WriterStepsTest, SplitFlagsAreReadOnlyInsideTheTable)
{
    ShellState shell;
    EXPECT_FALSE(splitModeOf(shell));
    EXPECT_EQ(splitFlagAt(shell, 0), 0);
    shell.PageSplitFlags.assign(10, 0);
    shell.PageSplitFlags[0] = 1; // position 0 is not used
    EXPECT_FALSE(splitModeOf(shell));
    EXPECT_EQ(splitFlagAt(shell, 10), 0);
    EXPECT_EQ(splitFlagAt(shell, 50000), 0);
    shell.PageSplitFlags[9] = 1;
    EXPECT_TRUE(splitModeOf(shell));
    EXPECT_EQ(splitFlagAt(shell, 9), 1);
}

TEST(WriterStepsTest, PagePointsFollowTheResolution)
{
    const auto dpm = [](double dpi) { return static_cast<unsigned>(std::lround(dpi / MetresPerInch)); };
    EXPECT_NEAR(pagePoints(2480, dpm(300)), 595.2, 0.5);
    EXPECT_NEAR(pagePoints(3508, dpm(300)), 841.9, 0.5);
    EXPECT_NEAR(pagePoints(1654, dpm(200)), 595.4, 0.5);
    EXPECT_FLOAT_EQ(pagePoints(123, 0), 123.0F);
}

class PdfWriterTest : public WriterTest
{
protected:
    WriterOutcome save(const std::string& answer) { return WriterTest::save(SavePdf, answer); }

    int pageCount(const std::string& pdf) const { return std::stoi(testing::pdfInfo(pdf).at("Pages")); }
};

// Pages of 300 and 200 dpi become A4 pages; 1-bit pages go in losslessly, the others as JPEG; a page
// without resolution keeps one point a pixel. The run ends with the beep and the last file offered.
TEST_F(PdfWriterTest, PagesAreSizedByTheirResolution)
{
    writePage(1, {"1", 2480, 3508, 300.0});
    writePage(2, {"8 grey", 2480, 3508, 300.0});
    writePage(3, {"24", 1654, 2339, 200.0});
    writePage(4, {"24", 300, 200, 0.0});
    shell.LastOutputFile = "/alt.pdf";

    EXPECT_EQ(save(out("scan.pdf")), WriterOutcome::Written);

    const std::string pdf = out("scan.pdf");
    ASSERT_TRUE(testing::qpdfCheckPasses(pdf));
    const auto info = testing::pdfInfo(pdf, {"-f", "1", "-l", "4"});
    for (int page = 1; page <= 3; ++page) {
        std::istringstream size(info.at("Page    " + std::to_string(page) + " size"));
        double w = 0;
        double h = 0;
        std::string x;
        size >> w >> x >> h;
        EXPECT_NEAR(w, 595.2, 0.5) << page;
        EXPECT_NEAR(h, 841.9, 0.5) << page;
    }
    EXPECT_EQ(info.at("Page    4 size").rfind("300 x 200 pts", 0), 0U);

    const testing::ProgramOutput images = testing::runProgram({"pdfimages", "-list", pdf});
    std::istringstream lines(images.output);
    std::string line;
    std::getline(lines, line);
    std::getline(lines, line);
    std::vector<std::string> rows;
    while (std::getline(lines, line)) {
        std::istringstream row(line);
        std::string page, num, type, width, height, colour, comp, bpc, enc, interp, object, id, xppi, yppi;
        row >> page >> num >> type >> width >> height >> colour >> comp >> bpc >> enc >> interp >> object >>
            id >> xppi >> yppi;
        rows.push_back(enc + " " + colour + " " + bpc + " " + xppi + " " + yppi);
    }
    EXPECT_EQ(
        rows,
        (std::vector<std::string>{
            "image gray 1 300 300", "jpeg gray 8 300 300", "jpeg rgb 8 200 200", "jpeg rgb 8 72 72"}));

    EXPECT_EQ(shell.LastOutputFile, pdf);
    EXPECT_TRUE(window.menuItems[LastOutputMenuItem]);
    EXPECT_TRUE(window.buttons[MainButton::OpenLastOutput]);
    EXPECT_EQ(effects.sound.systemSounds, (std::vector<int>{-1}));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(window.statusHistory.front(), "Status: verarbeite Seite (1/4)...");
    EXPECT_EQ(window.statusHistory.back(), "Status: verarbeite Seite (4/4)...");
    EXPECT_TRUE(fs::exists(tmp("TmpReadyImg1.png")));
    EXPECT_TRUE(fs::exists(tmp("TmpReadyImg3.jpg")));
}

// The extension is completed unless the name ends in it, and the folder is stored in the field and
// in the settings file; the next dialog starts there.
TEST_F(PdfWriterTest, NamesAreCompletedAndTheFolderIsStored)
{
    struct Case
    {
        std::string typed;
        std::string written;
    };

    const std::vector<Case> cases{
        {"Brief", "Brief.pdf"}, {"Brief.PDF", "Brief.PDF"}, {"Brief.pdf.txt", "Brief.pdf.txt.pdf"}};
    writePages(1);
    shell.settingsState.settings.ImagePath = dir.folder() + "tmp";
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].typed);
        EXPECT_EQ(save(out(cases[i].typed)), WriterOutcome::Written);
        EXPECT_TRUE(fs::exists(out(cases[i].written)));
        EXPECT_EQ(shell.settingsState.settings.ImagePath, dir.folder() + "out");
        EXPECT_EQ(readSetting(shell.settingsState, "LAST_VALUES", "ImagePath"), dir.folder() + "out");
        const std::string expectedStart = i == 0 ? dir.folder() + "tmp" : dir.folder() + "out";
        EXPECT_EQ(effects.files.dialogs.back().request.defaultFile, expectedStart + "/scan.pdf");
        EXPECT_EQ(effects.files.dialogs.back().request.title, "Scanergebnis speichern als...");
        EXPECT_EQ(effects.files.dialogs.back().request.patterns, "PDF-Dateien (*.pdf)|*.pdf");
    }
    EXPECT_EQ(outFiles(), (std::set<std::string>{"Brief.pdf", "Brief.PDF", "Brief.pdf.txt.pdf"}));
}

// Split points after pages 2 and 4 of 6: numbered documents; a part whose pages were all blank
// consumes its number and leaves no file.
TEST_F(PdfWriterTest, SplitPointsMakeNumberedDocuments)
{
    struct Case
    {
        std::set<int> blank;
        std::set<std::string> files;
        std::string last;
    };

    const std::vector<Case> cases{
        {{}, {"Brief_1.pdf", "Brief_2.pdf", "Brief_3.pdf"}, "Brief_3.pdf"},
        {{3, 4}, {"Brief_1.pdf", "Brief_3.pdf"}, "Brief_3.pdf"},
        {{5, 6}, {"Brief_1.pdf", "Brief_2.pdf"}, "Brief_2.pdf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.last);
        fs::remove_all(dir.path() / "out");
        fs::create_directories(dir.path() / "out");
        fs::remove_all(dir.path() / "tmp");
        fs::create_directories(dir.path() / "tmp");
        effects.sound.systemSounds.clear();
        writePages(6, c.blank);
        shell.PageSplitFlags[2] = 1;
        shell.PageSplitFlags[4] = 1;

        EXPECT_EQ(save(out("Brief.pdf")), WriterOutcome::Written);

        EXPECT_EQ(outFiles(), c.files);
        for (const std::string& name : c.files) {
            EXPECT_TRUE(testing::qpdfCheckPasses(out(name)));
            EXPECT_EQ(pageCount(out(name)), 2) << name;
        }
        EXPECT_EQ(shell.LastOutputFile, out(c.last));
        EXPECT_EQ(effects.sound.systemSounds.size(), 1U);
        EXPECT_TRUE(boxes.shown.empty());
    }
}

// One question covers every numbered document the run replaces: it names the first and says that
// number variants exist too.
TEST_F(PdfWriterTest, OneQuestionCoversEveryNumberedDocument)
{
    writePages(3);
    shell.PageSplitFlags[1] = 1;
    shell.PageSplitFlags[2] = 1;
    writeFile(out("Brief_1.pdf"), "old");
    writeFile(out("Brief_2.pdf"), "old");
    boxes.queueAnswer(1);

    EXPECT_EQ(save(out("Brief")), WriterOutcome::Written);

    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_EQ(boxes.shown[0].Title, "Datei existiert bereits");
    EXPECT_EQ(
        boxes.shown[0].Text,
        R"(Die Zieldatei\n\n\qBrief_1.pdf\q\n\n bzw. eine Nummernvariante davon existiert bereits.\n\nSoll sie überschrieben werden?)");
    EXPECT_EQ(boxes.shown[0].Buttons, "Ja|Nein");
    EXPECT_EQ(boxes.shown[0].DefaultButton, 2);
    EXPECT_EQ(boxes.shown[0].Icon, 3);
    EXPECT_EQ(pageCount(out("Brief_1.pdf")), 1);
    EXPECT_EQ(pageCount(out("Brief_2.pdf")), 1);
    EXPECT_EQ(pageCount(out("Brief_3.pdf")), 1);
}

// A split flag the page editor set beyond position 10000 splits there; the flag at size() is never
// read.
TEST_F(PdfWriterTest, SplitFlagsBeyondTheFirstTenThousandPagesCount)
{
    writePages(2);
    shell.PageSplitFlags.assign(10002, 0);
    shell.PageSplitFlags[10001] = 1; // no page of that number: split mode, but one document
    EXPECT_EQ(save(out("Brief.pdf")), WriterOutcome::Written);
    EXPECT_EQ(outFiles(), (std::set<std::string>{"Brief_1.pdf"}));

    fs::remove(out("Brief_1.pdf"));
    shell.PageSplitFlags.assign(2, 0);
    shell.PageSplitFlags[1] = 1; // the table ends at position 2: page 2 reads 0
    EXPECT_EQ(save(out("Brief.pdf")), WriterOutcome::Written);
    EXPECT_EQ(outFiles(), (std::set<std::string>{"Brief_1.pdf", "Brief_2.pdf"}));
}

// Blank pages are tested only when the user asked for their removal and the page editor did not
// remove them; only the test result 1 drops a page.
TEST_F(PdfWriterTest, BlankRuleDecidesWhichPagesAreKept)
{
    struct Case
    {
        std::uint8_t discardBlank;
        std::uint8_t emptyRemoved;
        float percent; // 0 makes every page blank
        int pages;
    };

    const std::vector<Case> cases{{1, 0, 98.5F, 2}, {1, 1, 98.5F, 3}, {0, 0, 98.5F, 3}, {1, 0, 0.0F, 0}};
    writePages(3, {2});
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << int(c.discardBlank) << int(c.emptyRemoved) << c.percent);
        fs::remove(out("scan.pdf"));
        job.discardBlank = c.discardBlank;
        job.emptyRemoved = c.emptyRemoved;
        shell.settingsState.settings.BlankRecognitionPercentageSingle = c.percent;
        if (c.pages == 0) {
            boxes.queueAnswer(1);
        }
        EXPECT_EQ(save(out("scan.pdf")), WriterOutcome::Written);
        EXPECT_EQ(c.pages == 0 ? 0 : pageCount(out("scan.pdf")), c.pages);
    }
}

// Every page blank: the note, no beep, nothing written; a file the user agreed to replace stays as
// it was, and the menu item keeps its state.
TEST_F(PdfWriterTest, AllBlankLeavesTheOldFileAndShowsTheNote)
{
    writePages(2, {1, 2});
    writeFile(out("scan.pdf"), "the old document");
    shell.LastOutputFile = "/alt.pdf";
    boxes.queueAnswer(1); // replace it
    boxes.queueAnswer(1); // the note

    EXPECT_EQ(save(out("scan.pdf")), WriterOutcome::Written);

    EXPECT_EQ(boxes.titles(), (std::vector<std::string>{"Datei existiert bereits", "alle Seiten leer"}));
    EXPECT_EQ(boxes.shown[1].Text, std::string(AllBlankText));
    EXPECT_EQ(boxes.shown[1].Icon, 1);
    EXPECT_FALSE(beeped());
    EXPECT_EQ(readFile(out("scan.pdf")), "the old document");
    EXPECT_EQ(shell.LastOutputFile, "/alt.pdf");
    EXPECT_TRUE(window.menuItems.empty());
}

TEST_F(PdfWriterTest, DeclinedOverwriteAndCancelledDialogWriteNothing)
{
    writePages(1);
    writeFile(out("scan.pdf"), "keep");
    for (const std::intptr_t answer : {2, 0}) {
        SCOPED_TRACE(answer);
        job.ok = 1;
        boxes.queueAnswer(answer);
        EXPECT_EQ(save(out("scan.pdf")), WriterOutcome::Declined);
        EXPECT_EQ(job.ok, 0);
        EXPECT_EQ(readFile(out("scan.pdf")), "keep");
    }
    job.ok = 1;
    EXPECT_EQ(save(""), WriterOutcome::Cancelled);
    EXPECT_EQ(job.ok, 1);
    EXPECT_EQ(outFiles(), (std::set<std::string>{"scan.pdf"}));
    EXPECT_TRUE(shell.settingsState.settings.ImagePath.empty());
    EXPECT_FALSE(beeped());

    boxes.queueAnswer(1);
    EXPECT_EQ(save(out("scan.pdf")), WriterOutcome::Written);
    EXPECT_EQ(pageCount(out("scan.pdf")), 1);
}

// A document that cannot be written is reported once at the end; the old file stays and nothing
// points at a file that was not written.
TEST_F(PdfWriterTest, UnwritableTargetIsReported)
{
    writePages(2);
    writeFile(out("plain"), "a file, not a folder");
    shell.LastOutputFile = "/alt.pdf";
    boxes.queueAnswer(1);

    EXPECT_EQ(save(out("plain/scan.pdf")), WriterOutcome::Written);

    ASSERT_EQ(boxes.titles(), (std::vector<std::string>{"Fehler beim Speichern"}));
    EXPECT_EQ(
        boxes.shown[0].Text,
        R"(Nicht alles konnte gespeichert werden:\n\nscan.pdf: konnte nicht geschrieben werden. Grund: Ordner nicht gefunden.)");
    EXPECT_EQ(boxes.shown[0].Icon, 3);
    EXPECT_FALSE(beeped());
    EXPECT_EQ(shell.LastOutputFile, "/alt.pdf");
    EXPECT_TRUE(window.menuItems.empty());
}

// An output that refuses every file, as a full disk would.
class RefusingOutputFiles final : public PdfOutputFiles
{
public:
    Expected<std::unique_ptr<PdfOutputFile>> create(const std::string&) override
    {
        return Error{6, "no space left"};
    }
};

TEST_F(PdfWriterTest, FailedSaveKeepsTheOldDocument)
{
    writePages(1);
    writeFile(out("scan.pdf"), "the old document");
    shell.LastOutputFile = "/alt.pdf";
    RefusingOutputFiles refusing;
    PdfModule module;
    module.outputFiles = &refusing;
    PdfModule* const previous = installPdfModule(&module);
    boxes.queueAnswer(1); // replace it
    boxes.queueAnswer(1); // the error

    EXPECT_EQ(save(out("scan.pdf")), WriterOutcome::Written);
    installPdfModule(previous);

    EXPECT_EQ(boxes.titles(), (std::vector<std::string>{"Datei existiert bereits", "Fehler beim Speichern"}));
    EXPECT_EQ(readFile(out("scan.pdf")), "the old document");
    EXPECT_EQ(shell.LastOutputFile, "/alt.pdf");
    EXPECT_FALSE(beeped());
}

// A page file the image library cannot read is named in the box together with the library's message
// (no note of its own), and the other pages are written.
TEST_F(PdfWriterTest, UnreadablePageIsNamedAndTheOthersAreWritten)
{
    writePages(3);
    writeFile(tmp("TmpReadyImg2.bmp"), "BM not really a bitmap, cut short");
    realFunctions().SetOutputMessage(FreeImageErrorHandler);
    boxes.queueAnswer(1);

    EXPECT_EQ(save(out("scan.pdf")), WriterOutcome::Written);
    realFunctions().SetOutputMessage(nullptr);

    EXPECT_TRUE(effects.messages.shown.empty());
    ASSERT_EQ(boxes.titles(), (std::vector<std::string>{"Fehler beim Speichern"}));
    EXPECT_NE(
        boxes.shown[0].Text.find("Seite 2: konnte nicht gelesen werden. FreeImage-Fehler: "), std::string::npos)
        << boxes.shown[0].Text;
    EXPECT_EQ(pageCount(out("scan.pdf")), 2);
    EXPECT_EQ(shell.LastOutputFile, out("scan.pdf"));
    EXPECT_FALSE(beeped());
}

// Placing a page's image fails (here: the spool folder is missing): the page is already in the
// document, so the document does not replace the old file; the list names the page and the cause.
TEST_F(PdfWriterTest, FailedImagePlacementKeepsTheOldDocument)
{
    writePages(3);
    writeFile(out("scan.pdf"), "the old document");
    boxes.queueAnswer(1); // replace it
    boxes.queueAnswer(1); // the error
    const std::string previous = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "";
    ::setenv("TMPDIR", (dir.folder() + "missing").c_str(), 1);

    EXPECT_EQ(save(out("scan.pdf")), WriterOutcome::Written);
    if (previous.empty()) {
        ::unsetenv("TMPDIR");
    } else {
        ::setenv("TMPDIR", previous.c_str(), 1);
    }

    EXPECT_EQ(readFile(out("scan.pdf")), "the old document");
    ASSERT_EQ(boxes.titles(), (std::vector<std::string>{"Datei existiert bereits", "Fehler beim Speichern"}));
    EXPECT_EQ(
        boxes.shown[1].Text,
        R"(Nicht alles konnte gespeichert werden:\n\nSeite 1: konnte nicht in das PDF eingefügt werden. Grund: Auslagerungsdatei nicht beschreibbar (Ordner nicht gefunden).\nscan.pdf: konnte nicht geschrieben werden. Grund: Seite 1 konnte nicht eingefügt werden.)");
    EXPECT_FALSE(beeped());
}

// A full disk under the output names its cause.
TEST_F(PdfWriterTest, FullDiskIsNamed)
{
    writePages(1);
    class FullDisk final : public PdfOutputFiles
    {
    public:
        Expected<std::unique_ptr<PdfOutputFile>> create(const std::string&) override
        {
            return Error{ENOSPC, "no space left"};
        }
    } full;
    PdfModule module;
    module.outputFiles = &full;
    PdfModule* const previous = installPdfModule(&module);
    boxes.queueAnswer(1);

    EXPECT_EQ(save(out("scan.pdf")), WriterOutcome::Written);
    installPdfModule(previous);

    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_NE(
        boxes.shown[0].Text.find("scan.pdf: konnte nicht geschrieben werden. Grund: kein Speicherplatz mehr frei."),
        std::string::npos);
}

// Blank pages left out are counted for the status line; a page the blank test cannot read (its
// answer -1, here a converted copy of another size) is kept.
TEST_F(PdfWriterTest, BlankPagesAreCountedAndUnreadableTestKeepsThePage)
{
    writePages(4, {2, 3});
    EXPECT_EQ(save(out("scan.pdf")), WriterOutcome::Written);
    EXPECT_EQ(job.blankPagesLeftOut, 2);
    EXPECT_EQ(pageCount(out("scan.pdf")), 2);

    fs::remove(out("scan.pdf"));
    PageShape white;
    white.depth = "16";
    writePage(2, white);
    FreeImageFunctionTable functions = realFunctions();
    functions.ConvertTo24Bits = [](FIBITMAP* page) -> FIBITMAP* {
        FIBITMAP* converted = FreeImage_ConvertTo24Bits(page);
        FIBITMAP* other = FreeImage_Rescale(converted, 7, 5, FILTER_BOX);
        FreeImage_Unload(converted);
        return other;
    };
    effects.messages.queueAnswer(MessageAnswer::Ok); // the blank test's own note
    effects.messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_EQ(saveWith(SavePdf, out("scan.pdf"), functions), WriterOutcome::Written);
    EXPECT_EQ(job.blankPagesLeftOut, 1);
    EXPECT_EQ(pageCount(out("scan.pdf")), 3);
}

// Different horizontal and vertical resolutions size each side by its own.
TEST_F(PdfWriterTest, EachSideIsSizedByItsOwnResolution)
{
    FIBITMAP* image = makeDepthImage(600, 300, "24");
    FreeImage_SetDotsPerMeterX(image, static_cast<unsigned>(std::lround(300 / MetresPerInch)));
    FreeImage_SetDotsPerMeterY(image, static_cast<unsigned>(std::lround(150 / MetresPerInch)));
    testing::saveLibraryImage(image, FIF_BMP, tmp("TmpReadyImg1.bmp"));
    FreeImage_Unload(image);
    job.mergedPages = 1;

    EXPECT_EQ(save(out("scan.pdf")), WriterOutcome::Written);

    const std::string size = testing::pdfInfo(out("scan.pdf")).at("Page size");
    EXPECT_EQ(size.rfind("144 x 14", 0), 0U) << size; // 144 x 143.99: 150 dpi stored in whole dots per metre
}

TEST_F(PdfWriterTest, WaitsForTheEscKeyToBeReleased)
{
    writePages(1);
    window.heldAnswers = {true, true, true, false};
    EXPECT_EQ(save(out("scan.pdf")), WriterOutcome::Written);
    EXPECT_EQ(window.keysAsked, (std::vector<int>(4, EscapeKey)));
    EXPECT_EQ(window.delays, (std::vector<int>(3, 25)));
}

// A page of the depth in flat blocks of 32 x 32 pixels, so that a JPEG of it keeps its colours.
FIBITMAP* makeBlockImage(unsigned width, unsigned height, const std::string& depth)
{
    if (depth == "16") {
        const testing::ImagePtr colour(makeBlockImage(width, height, "24"));
        return FreeImage_ConvertTo16Bits565(colour.get());
    }
    FIBITMAP* image = makeDepthImage(width, height, depth);
    const unsigned bpp = FreeImage_GetBPP(image);
    const unsigned entries = bpp <= 8 ? 1U << bpp : 256U;
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            const unsigned block = (x / 32) + (y / 32) * 7;
            if (bpp <= 8) {
                BYTE index = static_cast<BYTE>((block * 5 + 3) % entries);
                FreeImage_SetPixelIndex(image, x, y, &index);
            } else {
                RGBQUAD colour{
                    static_cast<BYTE>(block * 37 % 256),
                    static_cast<BYTE>(block * 91 % 256),
                    static_cast<BYTE>(255 - block * 23 % 256),
                    255};
                FreeImage_SetPixelColor(image, x, y, &colour);
            }
        }
    }
    return image;
}

// Pages of depths the JPEG encoder refuses look like their source in the document.
TEST_F(PdfWriterTest, PagesOfEveryDepthRenderLikeTheirSource)
{
    constexpr unsigned Width = 128;
    constexpr unsigned Height = 96;
    const std::vector<std::string> depths{"4", "16", "32", "8 palette"};
    for (std::size_t i = 0; i < depths.size(); ++i) {
        FIBITMAP* image = makeBlockImage(Width, Height, depths[i]);
        testing::saveLibraryImage(image, FIF_BMP, tmp("TmpReadyImg" + std::to_string(i + 1) + ".bmp"));
        FreeImage_Unload(image);
    }
    job.mergedPages = static_cast<std::int32_t>(depths.size());
    shell.settingsState.settings.JpgQuality = 95;
    EXPECT_EQ(save(out("scan.pdf")), WriterOutcome::Written);
    ASSERT_TRUE(testing::qpdfCheckPasses(out("scan.pdf")));
    for (std::size_t i = 0; i < depths.size(); ++i) {
        SCOPED_TRACE(depths[i]);
        const testing::ImagePtr original(makeBlockImage(Width, Height, depths[i]));
        const testing::ImagePtr source(FreeImage_ConvertTo24Bits(original.get()));
        const testing::Rendered page = testing::renderPage(out("scan.pdf"), static_cast<int>(i + 1));
        ASSERT_EQ(page.width, Width);
        ASSERT_EQ(page.height, Height);
        double difference = 0;
        for (unsigned y = 0; y < Height; ++y) {
            for (unsigned x = 0; x < Width; ++x) {
                const std::uint32_t colour = testing::libraryColourAt(source.get(), x, y);
                const std::size_t at = (y * Width + x) * 3;
                for (int c = 0; c < 3; ++c) {
                    const int expected = static_cast<int>((colour >> (16 - 8 * c)) & 0xFF);
                    difference += std::abs(static_cast<unsigned char>(page.rgb[at + c]) - expected);
                }
            }
        }
        EXPECT_LT(difference / (Width * Height * 3.0), 3.0);
    }
}

} // namespace
} // namespace folvex
