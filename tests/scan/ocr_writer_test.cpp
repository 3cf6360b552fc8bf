#include "runtime/process_runner.h"
#include "scan/ocr_output.h"
#include "scan/save_outcome.h"
#include "scan_job_fakes.h"
#include "shell/settings.h"
#include "support/action_box_fakes.h"
#include "support/fakes.h"
#include "support/image_fixtures.h"
#include "support/pdf_check.h"
#include "support/temp_dir.h"
#include "twain/fake_scanner_library.h"

#include <gtest/gtest.h>

#include <QFont>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace folvex {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::realFunctions;
using testing::writeFile;

constexpr double MetresPerInch = 0.0254;

// A one-page PDF with a correct cross-reference table, as the stub's output.
std::string smallPdf()
{
    const std::vector<std::string> objects{
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >>"};
    std::string pdf = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const std::size_t offset : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

// A "tesseract" first on PATH: logs its arguments, working folder and OMP_THREAD_LIMIT, writes a line
// on standard error and, unless a file mode_<TIFF name> scripts a failure, copies the small PDF to
// <base>.pdf.
constexpr const char* StubScript = R"SH(#!/bin/sh
d=$(dirname "$0")
printf '%s|' "$@" >> "$d/log"
printf 'PWD=%s|OMP=%s\n' "$(pwd)" "$OMP_THREAD_LIMIT" >> "$d/log"
echo "Page 1" >&2
mode=$(cat "$d/mode_$(basename "$1")" 2>/dev/null)
case "$mode" in
  exit1) exit 1 ;;
  nooutput) exit 0 ;;
  emptyoutput) : > "$2.pdf"; exit 0 ;;
  kill) kill -9 $$ ;;
esac
cp "$d/page.pdf" "$2.pdf"
)SH";

class OcrWriterTest : public ::testing::Test
{
protected:
    OcrWriterTest()
    {
        allocateMainProgramTables(shell);
        SettingsState& s = shell.settingsState;
        for (const char* folder : {"prog", "tmp", "out", "bin"}) {
            fs::create_directories(dir.path() / folder);
        }
        s.ProgramDir = dir.folder() + "prog/";
        s.settings.TmpPath = dir.file("tmp");
        job.discardBlank = 1;
        m_previousRunner = folvex::effects().processes;
        folvex::effects().processes = &m_runner;
        const char* path = std::getenv("PATH");
        m_previousPath = path == nullptr ? "" : path;
        writeFile(bin("page.pdf"), smallPdf());
    }

    ~OcrWriterTest() override
    {
        folvex::effects().processes = m_previousRunner;
        ::setenv("PATH", m_previousPath.c_str(), 1);
    }

    OcrWriterTest(const OcrWriterTest&) = delete;
    OcrWriterTest& operator=(const OcrWriterTest&) = delete;

    // Puts the stub first on PATH.
    void useStub()
    {
        writeFile(bin("tesseract"), StubScript);
        fs::permissions(bin("tesseract"), fs::perms::owner_all);
        ::setenv("PATH", (dir.folder() + "bin:" + m_previousPath).c_str(), 1);
    }

    void scriptRange(int tiffNumber, const std::string& mode)
    {
        writeFile(bin("mode_MultiPage_" + std::to_string(tiffNumber) + ".tiff"), mode);
    }

    void writePages(int count, const std::set<int>& blank = {})
    {
        for (int k = 1; k <= count; ++k) {
            std::string rgb;
            FIBITMAP* image = testing::makeLibraryImage(60, 80, 24, rgb);
            if (blank.count(k) != 0) {
                const RGBQUAD white{255, 255, 255, 0};
                FreeImage_FillBackground(image, &white, 0);
            }
            const auto dpm = static_cast<unsigned>(std::lround(300.0 / MetresPerInch));
            FreeImage_SetDotsPerMeterX(image, dpm);
            FreeImage_SetDotsPerMeterY(image, dpm);
            testing::saveLibraryImage(
                image, FIF_BMP, dir.folder() + "tmp/TmpReadyImg" + std::to_string(k) + ".bmp");
            FreeImage_Unload(image);
        }
        job.mergedPages = count;
    }

    void splitAfter(const std::vector<int>& pages)
    {
        for (const int page : pages) {
            shell.PageSplitFlags[static_cast<std::size_t>(page)] = 1;
        }
    }

    WriterOutcome save(const std::string& answer, unsigned cores = 1)
    {
        effects.files.queueAnswer(answer);
        ScanJobContext context{shell, scanner, window, dialogs, {}, &realFunctions()};
        return SavePdfOcr(context, job, cores);
    }

    std::string out(const std::string& name) const { return dir.folder() + "out/" + name; }

    std::string bin(const std::string& name) const { return dir.folder() + "bin/" + name; }

    std::set<std::string> filesIn(const std::string& folder) const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path() / folder)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    bool multiPageLeft() const
    {
        const std::set<std::string> names = filesIn("tmp");
        return std::any_of(names.begin(), names.end(), [](const std::string& name) {
            return name.find("MultiPage") != std::string::npos;
        });
    }

    // The stub's log: one line per run.
    std::vector<std::string> runs() const
    {
        std::vector<std::string> lines;
        std::istringstream log(readFile(bin("log")));
        for (std::string line; std::getline(log, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    bool statusShown(const std::string& text) const
    {
        const auto& history = window.statusHistory;
        return std::find(history.begin(), history.end(), text) != history.end();
    }

    bool beeped() const { return !effects.sound.systemSounds.empty(); }

    // A successful run: the document alone in the target folder, offered as the last output, one
    // beep, no box and no TIFF left.
    void expectOnlyWritten(const std::string& name) const
    {
        EXPECT_EQ(filesIn("out"), std::set<std::string>{name});
        EXPECT_FALSE(multiPageLeft());
        EXPECT_EQ(shell.LastOutputFile, out(name));
        EXPECT_TRUE(window.menuItems.at(LastOutputMenuItem));
        EXPECT_TRUE(window.buttons.at(MainButton::OpenLastOutput));
        EXPECT_TRUE(boxes.shown.empty());
        EXPECT_EQ(effects.sound.systemSounds.size(), 1U);
    }

    testing::TempDir dir;
    testing::ScopedFakeEffects effects;
    testing::ScriptedActionBoxAnswerer boxes;
    ShellState shell;
    FakeScannerLibrary scanner;
    testing::RecordingWindow window;
    testing::RecordingDialogs dialogs;
    ScanJobState job;

private:
    PosixProcessRunner m_runner;
    ProcessRunner* m_previousRunner = nullptr;
    std::string m_previousPath;
};

// One run with the program's arguments, the target's folder as working folder and one thread; its
// lines reach the status line; the result replaces nothing but its own name.
TEST_F(OcrWriterTest, RunsTesseractWithItsArgumentsAndShowsItsLines)
{
    useStub();
    writePages(2);
    shell.LastOutputFile = "/alt.pdf";

    EXPECT_EQ(save(out("Brief")), WriterOutcome::Written);

    const std::vector<std::string> log = runs();
    ASSERT_EQ(log.size(), 1U);
    // The range TIFF in a folder of its own in the temporary folder, the result in one beside the
    // document; both are gone afterwards.
    const std::string tiff = log[0].substr(0, log[0].find('|'));
    const std::string base =
        log[0].substr(tiff.size() + 1, log[0].find('|', tiff.size() + 1) - tiff.size() - 1);
    EXPECT_EQ(fs::path(tiff).filename(), "MultiPage_1.tiff");
    EXPECT_EQ(fs::path(tiff).parent_path().parent_path(), dir.path() / "tmp");
    EXPECT_EQ(fs::path(base).parent_path().parent_path(), dir.path() / "out");
    EXPECT_FALSE(fs::exists(fs::path(tiff).parent_path()));
    EXPECT_FALSE(fs::exists(fs::path(base).parent_path()));
    EXPECT_NE(log[0].find("|-l|deu|--psm|1|pdf|PWD=" + dir.folder() + "out|OMP=1"), std::string::npos)
        << log[0];
    EXPECT_TRUE(statusShown("Status: OCR läuft..."));
    EXPECT_TRUE(statusShown("Status: OCR läuft (2 Seiten)..."));
    EXPECT_TRUE(statusShown("Status: OCR-Page 1"));

    EXPECT_EQ(readFile(out("Brief.pdf")), smallPdf());
    expectOnlyWritten("Brief.pdf");
}

// A temporary folder named relative to the current folder: tesseract, started in the target's folder,
// gets the range TIFF by its absolute path.
TEST_F(OcrWriterTest, TesseractGetsTheRangeByItsAbsolutePath)
{
    useStub();
    writePages(1);
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path());
    shell.settingsState.settings.TmpPath = "tmp";

    const WriterOutcome outcome = save(out("Brief"));
    fs::current_path(previous);

    EXPECT_EQ(outcome, WriterOutcome::Written);
    const std::vector<std::string> log = runs();
    ASSERT_EQ(log.size(), 1U);
    const std::string tiff = log[0].substr(0, log[0].find('|'));
    // Inside the temporary folder (in the run's private folder there), named from the root.
    EXPECT_TRUE(tiff.starts_with(dir.folder() + "tmp/")) << tiff;
    EXPECT_TRUE(tiff.ends_with("/MultiPage_1.tiff")) << tiff;
}

// A range's run starts while later pages are still collected, but the status line keeps its order:
// every page first, then "OCR läuft...", then the documents' runs with their whole page counts and
// the program's lines.
TEST_F(OcrWriterTest, StatusLinesFollowTheCollecting)
{
    useStub();
    writePages(6);
    splitAfter({4});

    EXPECT_EQ(save(out("Brief.pdf"), 2), WriterOutcome::Written);

    EXPECT_EQ(runs().size(), 3U); // pages 1-3, 4, 5-6
    std::vector<std::string> shown;
    for (const std::string& text : window.statusHistory) {
        if (text.rfind("Status: verarbeite", 0) == 0 || text.rfind("Status: OCR", 0) == 0) {
            shown.push_back(text);
        }
    }
    const std::vector<std::string> expected{
        "Status: verarbeite Seite (1/6)...",
        "Status: verarbeite Seite (2/6)...",
        "Status: verarbeite Seite (3/6)...",
        "Status: verarbeite Seite (4/6)...",
        "Status: verarbeite Seite (5/6)...",
        "Status: verarbeite Seite (6/6)...",
        "Status: OCR läuft...",
    };
    ASSERT_GE(shown.size(), expected.size() + 5);
    EXPECT_EQ(std::vector<std::string>(shown.begin(), shown.begin() + 7), expected);
    const std::vector<std::string> rest(shown.begin() + 7, shown.end());
    EXPECT_EQ(std::count(rest.begin(), rest.end(), "Status: OCR läuft (4 Seiten)..."), 1);
    EXPECT_EQ(std::count(rest.begin(), rest.end(), "Status: OCR läuft (2 Seiten)..."), 1);
    EXPECT_EQ(std::count(rest.begin(), rest.end(), "Status: OCR-Page 1"), 3);
    EXPECT_EQ(rest.size(), 5U);
    EXPECT_EQ(filesIn("out"), (std::set<std::string>{"Brief_1.pdf", "Brief_2.pdf"}));
    EXPECT_FALSE(multiPageLeft());
}

// Documents are numbered by the pages they received, the chosen letter case is kept, and several
// ranges of one document are joined into one file.
TEST_F(OcrWriterTest, DocumentsAreNamedWithoutGaps)
{
    struct Case
    {
        const char* name;
        int pages;
        std::set<int> blank;
        std::vector<int> splits;
        unsigned cores;
        const char* answer;
        std::set<std::string> files;
        std::size_t runCount;
        const char* last;
    };

    const std::vector<Case> cases{
        {"blank middle part",
         6,
         {3, 4},
         {2, 4},
         1,
         "Brief.pdf",
         {"Brief_1.pdf", "Brief_2.pdf"},
         2,
         "Brief_2.pdf"},
        {"blank last part",
         6,
         {5, 6},
         {2, 4},
         1,
         "Brief.pdf",
         {"Brief_1.pdf", "Brief_2.pdf"},
         2,
         "Brief_2.pdf"},
        {"upper-case extension", 2, {}, {}, 1, "Brief.PDF", {"Brief.PDF"}, 1, "Brief.PDF"},
        {"two ranges joined", 4, {}, {}, 2, "Brief.pdf", {"Brief.pdf"}, 2, "Brief.pdf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* folder : {"out", "tmp"}) {
            fs::remove_all(dir.path() / folder);
            fs::create_directories(dir.path() / folder);
        }
        fs::remove(bin("log"));
        std::fill(shell.PageSplitFlags.begin(), shell.PageSplitFlags.end(), std::uint8_t{0});
        effects.sound.systemSounds.clear();
        useStub();
        writePages(c.pages, c.blank);
        splitAfter(c.splits);

        EXPECT_EQ(save(out(c.answer), c.cores), WriterOutcome::Written);

        EXPECT_EQ(filesIn("out"), c.files);
        EXPECT_EQ(runs().size(), c.runCount);
        EXPECT_EQ(shell.LastOutputFile, out(c.last));
        EXPECT_TRUE(boxes.shown.empty());
        EXPECT_EQ(effects.sound.systemSounds.size(), 1U);
        EXPECT_FALSE(multiPageLeft());
    }
}

// Links planted under the names of the run's files, in a shared temporary folder and beside the
// documents, are not written through: what they point at stays as it was, and the documents are made.
TEST_F(OcrWriterTest, PlantedLinksAreNotWrittenThrough)
{
    useStub();
    writePages(4);
    writeFile(dir.file("victim"), "keep me");
    const auto plant = [this](const std::string& link) { fs::create_symlink(dir.file("victim"), link); };
    for (int n = 1; n <= 4; ++n) {
        plant(dir.folder() + "tmp/MultiPage_" + std::to_string(n) + ".tiff");
    }
    plant(dir.folder() + "tmp/MultiPage.tiff");
    // The names a process-wide counter would give, for the pages' TIFFs and the range results.
    const std::string unique = "." + std::to_string(::getpid()) + "-";
    for (int k = 0; k < 32; ++k) {
        const std::string suffix = unique + std::to_string(k) + ".folvex-tmp";
        for (int page = 1; page <= 4; ++page) {
            plant(dir.folder() + "tmp/MultiPage_page" + std::to_string(page) + ".tiff" + suffix);
        }
        plant(out("Brief.pdf") + suffix + ".pdf");
    }

    EXPECT_EQ(save(out("Brief.pdf"), 2), WriterOutcome::Written);

    EXPECT_EQ(readFile(dir.file("victim")), "keep me");
    EXPECT_EQ(runs().size(), 2U);
    EXPECT_EQ(readFile(out("Brief.pdf")).rfind("%PDF-", 0), 0U);
    EXPECT_TRUE(boxes.shown.empty());
}

// Every way a run can fail leaves the old file as it was, names the document with the reason in German
// and the program's own last line, and cleans up; a failed first range is not hidden by a good last one.
TEST_F(OcrWriterTest, FailedRunKeepsTheOldFile)
{
    const std::string exit1 = "Tesseract endete mit dem Fehlercode 1.";
    const std::string noPdf = "Tesseract hat keine PDF-Datei erzeugt.";
    const std::vector<std::pair<std::string, std::string>> cases{
        {"exit1", exit1},
        {"nooutput", noPdf},
        {"emptyoutput", noPdf},
        {"kill", "Tesseract wurde abgebrochen (Signal 9)."},
        {"second range", exit1},
        {"first range", exit1},
    };
    for (const auto& [mode, reason] : cases) {
        SCOPED_TRACE(mode);
        boxes.shown.clear();
        effects.sound.systemSounds.clear();
        fs::remove_all(dir.path() / "bin");
        fs::create_directories(dir.path() / "bin");
        writeFile(bin("page.pdf"), smallPdf());
        useStub();
        writePages(2);
        const bool joined = mode == "second range" || mode == "first range";
        scriptRange(mode == "second range" ? 2 : 1, joined ? "exit1" : mode);
        writeFile(out("Brief.pdf"), "the old document");
        shell.LastOutputFile = "/alt.pdf";
        boxes.queueAnswer(1); // replace it
        boxes.queueAnswer(1); // the failure box

        EXPECT_EQ(save(out("Brief.pdf"), joined ? 2 : 1), WriterOutcome::Written);

        EXPECT_EQ(runs().size(), joined ? 2U : 1U);
        EXPECT_EQ(boxes.titles(), (std::vector<std::string>{"Datei existiert bereits", "OCRF abgebrochen"}));
        ASSERT_EQ(boxes.shown.size(), 2U);
        EXPECT_EQ(
            boxes.shown[1].Text,
            R"(OCR abgebrochen.\n\nNicht erstellt: Brief.pdf\n\nBrief.pdf: )" + reason +
                R"(\nTesseract meldet: Page 1)");
        EXPECT_EQ(boxes.shown[1].Icon, 3);
        EXPECT_FALSE(beeped());
        EXPECT_EQ(readFile(out("Brief.pdf")), "the old document");
        EXPECT_EQ(filesIn("out"), std::set<std::string>{"Brief.pdf"});
        EXPECT_EQ(shell.LastOutputFile, "/alt.pdf");
        EXPECT_FALSE(multiPageLeft());
    }
}

// A failed first document does not hide behind a successful second one.
TEST_F(OcrWriterTest, FailedFirstDocumentIsReported)
{
    useStub();
    writePages(4);
    splitAfter({2});
    scriptRange(1, "exit1");
    boxes.queueAnswer(1);

    EXPECT_EQ(save(out("Brief.pdf")), WriterOutcome::Written);

    EXPECT_EQ(boxes.titles(), std::vector<std::string>{"OCRF abgebrochen"});
    EXPECT_EQ(
        boxes.shown[0].Text,
        R"(OCR abgebrochen.\n\nNicht erstellt: Brief_1.pdf\n\nBrief_1.pdf: Tesseract endete mit dem Fehlercode 1.\nTesseract meldet: Page 1)");
    EXPECT_EQ(filesIn("out"), std::set<std::string>{"Brief_2.pdf"});
    EXPECT_EQ(shell.LastOutputFile, out("Brief_2.pdf"));
    EXPECT_TRUE(window.menuItems.at(LastOutputMenuItem));
    EXPECT_FALSE(beeped());
}

// Pages the collecting could not read are listed in the same box; the document is still written.
TEST_F(OcrWriterTest, UnreadablePageIsListedAfterTheDocuments)
{
    useStub();
    writePages(4);
    splitAfter({2});
    writeFile(dir.folder() + "tmp/TmpReadyImg2.bmp", "no image");
    scriptRange(2, "exit1");
    boxes.queueAnswer(1);

    EXPECT_EQ(save(out("Brief.pdf")), WriterOutcome::Written);

    EXPECT_EQ(boxes.titles(), std::vector<std::string>{"OCRF abgebrochen"});
    EXPECT_EQ(
        boxes.shown[0].Text,
        R"(OCR abgebrochen.\n\nNicht erstellt: Brief_2.pdf\n\nBrief_2.pdf: Tesseract endete mit dem Fehlercode 1.\nTesseract meldet: Page 1\n\nSeite 2: konnte nicht gelesen werden.)");
    EXPECT_EQ(filesIn("out"), std::set<std::string>{"Brief_1.pdf"});
    EXPECT_EQ(shell.LastOutputFile, out("Brief_1.pdf"));
}

// Every document written and only a page lost: the usual save list, not "OCR abgebrochen.".
TEST_F(OcrWriterTest, PageFailureAloneGivesTheSaveList)
{
    useStub();
    writePages(3);
    writeFile(dir.folder() + "tmp/TmpReadyImg2.bmp", "no image");
    boxes.queueAnswer(1);

    EXPECT_EQ(save(out("Brief.pdf")), WriterOutcome::Written);

    EXPECT_EQ(boxes.titles(), std::vector<std::string>{"Fehler beim Speichern"});
    EXPECT_NE(boxes.shown[0].Text.find("Seite 2: konnte nicht gelesen werden."), std::string::npos);
    EXPECT_EQ(filesIn("out"), std::set<std::string>{"Brief.pdf"});
    EXPECT_EQ(shell.LastOutputFile, out("Brief.pdf"));
    EXPECT_FALSE(beeped());
}

// In split mode the question names the first numbered document.
TEST_F(OcrWriterTest, QuestionNamesTheFirstNumberedDocument)
{
    useStub();
    writePages(2);
    splitAfter({1});
    writeFile(out("Brief_1.pdf"), "old");
    boxes.queueAnswer(2); // "Nein"

    EXPECT_EQ(save(out("Brief.pdf")), WriterOutcome::Declined);

    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_NE(boxes.shown[0].Text.find(R"(\qBrief_1.pdf\q)"), std::string::npos);
    EXPECT_EQ(readFile(out("Brief_1.pdf")), "old");
    EXPECT_TRUE(runs().empty());
}

TEST_F(OcrWriterTest, AllBlankRunsNothing)
{
    useStub();
    writePages(2, {1, 2});
    boxes.queueAnswer(1);

    EXPECT_EQ(save(out("Brief.pdf")), WriterOutcome::Written);

    EXPECT_EQ(boxes.titles(), std::vector<std::string>{"alle Seiten leer"});
    EXPECT_TRUE(runs().empty());
    EXPECT_TRUE(filesIn("out").empty());
    EXPECT_FALSE(beeped());
}

// Without the program the note is shown and the result dialog comes again; no save dialog is asked.
TEST_F(OcrWriterTest, MissingTesseractShowsTheNote)
{
    ::setenv("PATH", dir.folder().append("bin").c_str(), 1);
    writePages(1);
    effects.messages.queueAnswer(MessageAnswer::Ok);

    EXPECT_EQ(save(out("Brief.pdf")), WriterOutcome::Cancelled);

    ASSERT_EQ(effects.messages.shown.size(), 1U);
    EXPECT_NE(effects.messages.shown[0].text.find("tesseract wurde im Suchpfad"), std::string::npos);
    EXPECT_TRUE(effects.files.dialogs.empty());
    EXPECT_TRUE(filesIn("out").empty());
}

// A text page as a scanner gives it: A4 at 300 dpi, DejaVu Sans 28 pt, one line per text, at 1 or 24
// bits.
void writeTextPage(const std::string& bmpPath, const std::vector<std::string>& lines, unsigned bits)
{
    const int dpm = static_cast<int>(std::lround(300.0 / MetresPerInch));
    QImage image(2480, 3508, QImage::Format_RGB32);
    image.setDotsPerMeterX(dpm);
    image.setDotsPerMeterY(dpm);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setPen(Qt::black);
        painter.setFont(QFont("DejaVu Sans", 28));
        int y = 400;
        for (const std::string& line : lines) {
            painter.drawText(250, y, QString::fromStdString(line));
            y += 200;
        }
    }
    const std::string png = bmpPath + ".png";
    ASSERT_TRUE(image.save(QString::fromStdString(png), "PNG"));
    FIBITMAP* page = FreeImage_Load(FIF_PNG, png.c_str(), 0);
    ASSERT_NE(page, nullptr);
    fs::remove(png);
    FIBITMAP* converted = bits == 1 ? FreeImage_Threshold(page, 128) : FreeImage_ConvertTo24Bits(page);
    FreeImage_Unload(page);
    FreeImage_SetDotsPerMeterX(converted, static_cast<unsigned>(dpm));
    FreeImage_SetDotsPerMeterY(converted, static_cast<unsigned>(dpm));
    testing::saveLibraryImage(converted, FIF_BMP, bmpPath);
    FreeImage_Unload(converted);
}

std::string pdfText(const std::string& pdf, int page = 0)
{
    std::vector<std::string> argv{"pdftotext"};
    if (page > 0) {
        argv.insert(argv.end(), {"-f", std::to_string(page), "-l", std::to_string(page)});
    }
    argv.insert(argv.end(), {pdf, "-"});
    std::string text = testing::runProgram(argv).output;
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// Real tesseract: two ranges on two cores joined into one searchable A4 document, in one and in two
// languages.
TEST_F(OcrWriterTest, RealRunMakesASearchableDocument)
{
    job.discardBlank = 0; // a line of text on a whole page may count as blank
    for (const std::string language : {"deu", "deu+eng"}) {
        SCOPED_TRACE(language);
        effects.sound.systemSounds.clear();
        fs::remove(out("Brief.pdf"));
        shell.settingsState.settings.Language = language;
        writeTextPage(dir.folder() + "tmp/TmpReadyImg1.bmp", {"Rechnung Nummer 4711"}, 1);
        writeTextPage(dir.folder() + "tmp/TmpReadyImg2.bmp", {"Auftrag"}, 24);
        job.mergedPages = 2;

        EXPECT_EQ(save(out("Brief.pdf"), 2), WriterOutcome::Written);

        const std::string text = pdfText(out("Brief.pdf"));
        for (const char* word : {"rechnung", "4711", "auftrag"}) {
            EXPECT_NE(text.find(word), std::string::npos) << word << " in " << text;
        }
        const std::map<std::string, std::string> info = testing::pdfInfo(out("Brief.pdf"));
        EXPECT_EQ(info.at("Pages"), "2");
        double width = 0;
        double height = 0;
        ASSERT_EQ(std::sscanf(info.at("Page size").c_str(), "%lf x %lf", &width, &height), 2);
        EXPECT_NEAR(width, 595, 2);
        EXPECT_NEAR(height, 842, 2);
        EXPECT_NE(
            testing::runProgram({"pdffonts", out("Brief.pdf")}).output.find("GlyphLessFont"),
            std::string::npos);
        EXPECT_TRUE(testing::qpdfCheckPasses(out("Brief.pdf")));
        expectOnlyWritten("Brief.pdf");
    }
}

// Real tesseract on a split job, one page per range: each document holds its pages in order.
TEST_F(OcrWriterTest, RealSplitKeepsThePageOrder)
{
    job.discardBlank = 0;
    const std::vector<std::string> words{"Eins", "Zwei", "Drei", "Vier"};
    for (std::size_t k = 0; k < words.size(); ++k) {
        writeTextPage(
            dir.folder() + "tmp/TmpReadyImg" + std::to_string(k + 1) + ".bmp",
            {"Rechnung Nummer 4711", "Auftrag", words[k]},
            24);
    }
    job.mergedPages = 4;
    splitAfter({2});
    writeFile(out("Brief_1.pdf"), "old");
    boxes.queueAnswer(1); // replace it

    EXPECT_EQ(save(out("Brief.pdf"), 4), WriterOutcome::Written);

    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_NE(boxes.shown[0].Text.find(R"(\qBrief_1.pdf\q)"), std::string::npos);
    EXPECT_EQ(filesIn("out"), (std::set<std::string>{"Brief_1.pdf", "Brief_2.pdf"}));
    EXPECT_NE(pdfText(out("Brief_1.pdf"), 1).find("eins"), std::string::npos);
    EXPECT_NE(pdfText(out("Brief_1.pdf"), 2).find("zwei"), std::string::npos);
    EXPECT_NE(pdfText(out("Brief_2.pdf"), 1).find("drei"), std::string::npos);
    EXPECT_NE(pdfText(out("Brief_2.pdf"), 2).find("vier"), std::string::npos);
    EXPECT_EQ(shell.LastOutputFile, out("Brief_2.pdf"));
}

} // namespace
} // namespace folvex
