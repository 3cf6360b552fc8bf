#include "foundation/image_file_ops.h"
#include "runtime/safe_file.h"
#include "scan/image_writers.h"
#include "scan/page_depth.h"
#include "scan/save_outcome.h"
#include "writer_fixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace folvex {
namespace {

using testing::readFile;
using testing::writeFile;

struct WriterCase
{
    std::string name;
    ScanWriter writer;
    FREE_IMAGE_FORMAT format;
    std::string numbered; // the numbered files' extension
};

const std::vector<WriterCase>& writers()
{
    static const std::vector<WriterCase> all{
        {"BMP", SaveBmp, FIF_BMP, ".bmp"},
        {"JPG", SaveJpg, FIF_JPEG, ".jpg"},
        {"PNG", SavePng, FIF_PNG, ".png"},
        {"einseitiges TIF", SaveSingleTif, FIF_TIFF, ".tif"},
        {"GIF", SaveGif, FIF_GIF, ".gif"},
        {"TARGA", SaveTarga, FIF_TARGA, ".tga"},
    };
    return all;
}

TEST(PadPageNumberTest, ZerosBringTheNumberToTheTotalsDigitsUpToFive)
{
    const std::vector<std::int32_t> totals{9, 10, 99, 150, 1000, 9999, 10000, 100000};
    const std::vector<std::int32_t> numbers{1, 9, 10, 99, 100, 9999, 10000, 100000};
    // One row per total, one column per number.
    const std::vector<std::vector<std::string>> expected{
        {"", "", "", "", "", "", "", ""},
        {"0", "0", "", "", "", "", "", ""},
        {"0", "0", "", "", "", "", "", ""},
        {"00", "00", "0", "0", "", "", "", ""},
        {"000", "000", "00", "00", "0", "", "", ""},
        {"000", "000", "00", "00", "0", "", "", ""},
        {"0000", "0000", "000", "000", "00", "0", "", ""},
        {"0000", "0000", "000", "000", "00", "0", "", ""},
    };
    for (std::size_t t = 0; t < totals.size(); ++t) {
        for (std::size_t n = 0; n < numbers.size(); ++n) {
            EXPECT_EQ(PadPageNumber(totals[t], numbers[n]), expected[t][n])
                << "total " << totals[t] << ", number " << numbers[n];
        }
    }
}

// The real file effects, with moves that fail as across file systems and saves that fail for
// chosen names.
class ScriptedFileOps final : public ImageFileOps
{
public:
    ScriptedFileOps()
        : ImageFileOps(realFunctions())
    {}

    Expected<void> renameOver(const std::string& from, const std::string& to) override
    {
        if (crossDevice) {
            return Error{EXDEV, "Invalid cross-device link"};
        }
        return ImageFileOps::renameOver(from, to);
    }

    bool saveImage(int format, FIBITMAP* image, const std::string& path, int flags) override
    {
        return failingSaves.count(path) == 0 && ImageFileOps::saveImage(format, image, path, flags);
    }

    bool crossDevice = false;
    std::set<std::string> failingSaves;
};

// The files of a folder that a safe write left behind.
std::vector<std::string> temporaryFiles(const fs::path& folder)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().string().find(SafeWriteSuffix) != std::string::npos) {
            found.push_back(entry.path().string());
        }
    }
    return found;
}

class ImageWriterTest : public WriterTest
{
protected:
    void clearRun()
    {
        for (const char* folder : {"out", "tmp"}) {
            fs::remove_all(dir.path() / folder);
            fs::create_directories(dir.path() / folder);
        }
        effects.sound.systemSounds.clear();
        boxes.shown.clear();
        window.menuItems.clear();
        window.buttons.clear();
        job.mergedPages = 0;
    }
};

// The names of every writer: the chosen name for one page, zero-padded numbers otherwise, blank
// pages leaving their number out, the appended and the accepted extensions.
TEST_F(ImageWriterTest, OutputNamesOfEveryWriter)
{
    struct Case
    {
        int pages;
        std::set<int> blank;
        std::string typed;
        std::map<std::string, std::set<std::string>>
            files; // by writer; "*": every writer, numbered ending added
    };

    const std::vector<Case> cases{
        {1,
         {},
         "brief",
         {{"BMP", {"brief.bmp"}},
          {"JPG", {"brief.jpg"}},
          {"PNG", {"brief.png"}},
          {"einseitiges TIF", {"brief.TIF"}},
          {"GIF", {"brief.gif"}},
          {"TARGA", {"brief.tga"}}}},
        {9, {}, "brief", {{"*", {"brief_1", "brief_5", "brief_9"}}}},
        {10, {}, "brief", {{"*", {"brief_01", "brief_09", "brief_10"}}}},
        {5, {3}, "brief", {{"*", {"brief_1", "brief_2", "brief_4", "brief_5"}}}},
        {2, {}, "brief.jpeg", {{"JPG", {"brief_1.jpg", "brief_2.jpg"}}}},
        {1, {}, "brief.JPEG", {{"JPG", {"brief.JPEG"}}}},
        {1, {}, "brief.tiff", {{"einseitiges TIF", {"brief.tiff"}}}},
        {1, {}, "brief.png", {{"JPG", {"brief.png.jpg"}}}},
        {2, {}, "brief.png", {{"JPG", {"brief.png_1.jpg", "brief.png_2.jpg"}}}},
    };
    for (const Case& c : cases) {
        for (const WriterCase& w : writers()) {
            const auto found = c.files.count(w.name) != 0 ? c.files.find(w.name) : c.files.find("*");
            if (found == c.files.end()) {
                continue;
            }
            SCOPED_TRACE(w.name + ": " + std::to_string(c.pages) + " × " + c.typed);
            clearRun();
            writePages(c.pages, c.blank);
            EXPECT_EQ(save(w.writer, out(c.typed)), WriterOutcome::Written);
            std::set<std::string> expected;
            for (const std::string& name : found->second) {
                expected.insert(found->first == "*" ? name + w.numbered : name);
            }
            // The named files are there, and no others than one per kept page.
            EXPECT_EQ(outFiles().size(), static_cast<std::size_t>(c.pages) - c.blank.size());
            for (const std::string& name : expected) {
                EXPECT_EQ(outFiles().count(name), 1U) << name;
            }
            for (const std::string& name : outFiles()) {
                const testing::ImagePtr back(realFunctions().LoadU(w.format, out(name)));
                EXPECT_NE(back, nullptr) << name;
            }
            EXPECT_EQ(effects.sound.systemSounds, (std::vector<int>{-1}));
            EXPECT_TRUE(boxes.shown.empty());
        }
    }
}

// The overwrite question comes for the chosen name and for a first numbered file of any digit count.
TEST_F(ImageWriterTest, NumberVariantsOfTheChosenNameAreAskedAbout)
{
    for (const std::string existing : {"brief.png", "brief_1.png", "brief_001.png", "brief_00001.png"}) {
        SCOPED_TRACE(existing);
        clearRun();
        writePages(1);
        writeFile(out(existing), "old");
        boxes.queueAnswer(2);
        job.ok = 1;
        EXPECT_EQ(save(SavePng, out("brief.png")), WriterOutcome::Declined);
        EXPECT_EQ(job.ok, 0);
        ASSERT_EQ(boxes.shown.size(), 1U);
        EXPECT_EQ(boxes.shown[0].Title, "Datei existiert bereits");
        EXPECT_EQ(
            boxes.shown[0].Text,
            R"(Die Zieldatei\n\n\qbrief.png\q\n\n bzw. eine Nummernvariante davon existiert bereits.\n\nSoll sie überschrieben werden?)");
        EXPECT_EQ(outFiles(), (std::set<std::string>{existing}));
    }
    clearRun();
    writePages(1);
    writeFile(out("brief_2.png"), "old");
    EXPECT_EQ(save(SavePng, out("brief.png")), WriterOutcome::Written);
    EXPECT_TRUE(boxes.shown.empty());

    EXPECT_EQ(save(SaveGif, ""), WriterOutcome::Cancelled);
    EXPECT_EQ(effects.files.dialogs.back().request.patterns, "GIF-Dateien (*.gif)|*.gif");
    EXPECT_EQ(effects.files.dialogs.back().request.defaultFile.substr(dir.folder().size()), "out/scan.gif");
}

// "BMP" moves the page files: the outputs are the page files byte for byte, and only the blank pages'
// files stay in the temporary folder; the same across file systems, injected and real.
TEST_F(ImageWriterTest, BmpOutputIsThePageFileItself)
{
    testing::TempDir shm; // replaced by a folder on /dev/shm where there is one
    const bool haveShm = fs::is_directory("/dev/shm");
    const fs::path shmTmp =
        fs::path(haveShm ? "/dev/shm" : shm.path().string()) / ("folvex-bmp-" + std::to_string(::getpid()));
    enum class Move
    {
        Rename,
        InjectedCrossDevice,
        RealCrossDevice
    };
    for (const Move move : {Move::Rename, Move::InjectedCrossDevice, Move::RealCrossDevice}) {
        SCOPED_TRACE(static_cast<int>(move));
        clearRun();
        if (move == Move::RealCrossDevice) {
            fs::remove_all(shmTmp);
            fs::create_directories(shmTmp);
            shell.settingsState.settings.TmpPath = shmTmp.string();
        }
        const std::string tmpFolder = shell.settingsState.settings.TmpPath;
        PageShape page;
        for (int k = 1; k <= 3; ++k) {
            page.depth = k == 1 ? "1" : "24";
            page.blank = k == 2;
            FIBITMAP* image = makeDepthImage(page.width, page.height, page.depth);
            if (page.blank) {
                const RGBQUAD white{255, 255, 255, 0};
                FreeImage_FillBackground(image, &white, 0);
            }
            testing::saveLibraryImage(
                image, FIF_BMP, tmpFolder + "/TmpReadyImg" + std::to_string(k) + ".bmp");
            FreeImage_Unload(image);
        }
        job.mergedPages = 3;
        const std::string page1 = readFile(tmpFolder + "/TmpReadyImg1.bmp");
        const std::string page3 = readFile(tmpFolder + "/TmpReadyImg3.bmp");
        writeFile(out("brief_3.bmp"), "old"); // no first numbered file, but the run replaces it: asked
        boxes.queueAnswer(1);

        ScriptedFileOps files;
        files.crossDevice = move == Move::InjectedCrossDevice;
        EXPECT_EQ(save(SaveBmp, out("brief"), &files), WriterOutcome::Written);

        EXPECT_EQ(outFiles(), (std::set<std::string>{"brief_1.bmp", "brief_3.bmp"}));
        EXPECT_EQ(readFile(out("brief_1.bmp")), page1);
        EXPECT_EQ(readFile(out("brief_3.bmp")), page3);
        std::set<std::string> left;
        for (const auto& entry : fs::directory_iterator(tmpFolder)) {
            left.insert(entry.path().filename().string());
        }
        EXPECT_EQ(left, (std::set<std::string>{"TmpReadyImg2.bmp"}));
        EXPECT_TRUE(temporaryFiles(dir.path() / "out").empty());
        EXPECT_EQ(boxTitles(), (std::vector<std::string>{"Datei existiert bereits"}));
        EXPECT_EQ(effects.sound.systemSounds, (std::vector<int>{-1}));
    }
    fs::remove_all(shmTmp);
}

// A move across file systems whose copy cannot be written fails and keeps the page file.
TEST_F(ImageWriterTest, FailedCopyKeepsThePageFile)
{
    writeFile(tmp("seite.bmp"), "page");
    writeFile(out("datei"), "x");
    ScriptedFileOps files;
    files.crossDevice = true;
    EXPECT_FALSE(movePageFile(files, tmp("seite.bmp"), out("datei/seite.bmp")));
    EXPECT_EQ(readFile(tmp("seite.bmp")), "page");
    EXPECT_TRUE(movePageFile(files, tmp("seite.bmp"), out("seite.bmp")));
    EXPECT_EQ(readFile(out("seite.bmp")), "page");
    EXPECT_FALSE(fs::exists(tmp("seite.bmp")));
}

// Without the blank test "BMP" reads no page: even a page file the image library cannot read is
// moved as it is. With the test it is a page that could not be read, and stays.
TEST_F(ImageWriterTest, BmpReadsPagesOnlyForTheBlankTest)
{
    for (const std::uint8_t discardBlank : {0, 1}) {
        SCOPED_TRACE(int(discardBlank));
        clearRun();
        writeFile(tmp("TmpReadyImg1.bmp"), "no image");
        job.mergedPages = 1;
        job.discardBlank = discardBlank;
        if (discardBlank != 0) {
            boxes.queueAnswer(1);
        }
        EXPECT_EQ(save(SaveBmp, out("brief.bmp")), WriterOutcome::Written);
        if (discardBlank == 0) {
            EXPECT_EQ(readFile(out("brief.bmp")), "no image");
            EXPECT_TRUE(beeped());
        } else {
            EXPECT_EQ(boxTitles(), (std::vector<std::string>{"Fehler beim Speichern"}));
            EXPECT_NE(boxes.shown[0].Text.find("Seite 1: konnte nicht gelesen werden."), std::string::npos);
            EXPECT_TRUE(outFiles().empty());
            EXPECT_TRUE(fs::exists(tmp("TmpReadyImg1.bmp")));
        }
    }
}

// Only "JPG" offers its last file for opening; every other writer grays the menu item and the button,
// also after an earlier PDF save, and keeps LastOutputFile.
TEST_F(ImageWriterTest, OnlyJpgOffersTheLastFile)
{
    for (const WriterCase& w : writers()) {
        SCOPED_TRACE(w.name);
        clearRun();
        writePages(12);
        shell.LastOutputFile = "/alt.pdf";
        window.menuItems[LastOutputMenuItem] = true;
        window.buttons[MainButton::OpenLastOutput] = true;

        EXPECT_EQ(save(w.writer, out("brief" + w.numbered)), WriterOutcome::Written);

        const bool jpg = w.name == "JPG";
        EXPECT_EQ(shell.LastOutputFile, jpg ? out("brief_12.jpg") : "/alt.pdf");
        EXPECT_EQ(window.menuItems[LastOutputMenuItem], jpg);
        EXPECT_EQ(window.buttons[MainButton::OpenLastOutput], jpg);
    }
}

// What each format stores of each page depth: 1-bit pages stay 1-bit where the format allows it,
// 24 bits become a GIF palette, and every depth gives a readable file whose pixels are the prepared
// page's (JPEG close to them).
TEST_F(ImageWriterTest, EveryDepthGivesAReadableFile)
{
    const FreeImageFunctionTable& functions = realFunctions();
    const std::map<std::string, std::map<std::string, unsigned>> storedDepth{
        {"JPG", {{"1", 8}, {"24", 24}}},
        {"PNG", {{"1", 1}, {"24", 24}}},
        {"einseitiges TIF", {{"1", 1}, {"24", 24}}},
        {"GIF", {{"1", 1}, {"24", 8}}},
        {"TARGA", {{"1", 8}, {"24", 24}}},
    };
    for (const WriterCase& w : writers()) {
        if (w.name == "BMP") {
            continue;
        }
        for (const std::string depth : {"1", "4", "8 grey", "8 palette", "16", "24", "32"}) {
            SCOPED_TRACE(w.name + " from " + depth + " bits");
            clearRun();
            writePage(1, {depth, 64, 48, 150.0});
            EXPECT_EQ(save(w.writer, out("seite" + w.numbered)), WriterOutcome::Written);

            const testing::ImagePtr back(functions.LoadU(w.format, out("seite" + w.numbered)));
            ASSERT_NE(back, nullptr);
            const auto depths = storedDepth.at(w.name);
            if (depths.count(depth) != 0) {
                EXPECT_EQ(FreeImage_GetBPP(back.get()), depths.at(depth));
            }
            const testing::ImagePtr page(functions.LoadU(FIF_BMP, tmp("TmpReadyImg1.bmp")));
            const PreparedPage prepared = prepareDepthFor(functions, w.format, page.get());
            ASSERT_NE(prepared.image, nullptr);
            ASSERT_EQ(FreeImage_GetWidth(back.get()), 64U);
            ASSERT_EQ(FreeImage_GetHeight(back.get()), 48U);
            // JPEG is compared on the means of 8 × 8 blocks, which its loss keeps.
            const unsigned block = w.format == FIF_JPEG ? 8 : 1;
            const testing::ImagePtr expected24(FreeImage_ConvertTo24Bits(prepared.image));
            const testing::ImagePtr back24(FreeImage_ConvertTo24Bits(back.get()));
            double difference = 0.0;
            for (unsigned by = 0; by < 48; by += block) {
                for (unsigned bx = 0; bx < 64; bx += block) {
                    for (int shift = 0; shift < 24; shift += 8) {
                        int sum = 0;
                        for (unsigned y = by; y < by + block; ++y) {
                            for (unsigned x = bx; x < bx + block; ++x) {
                                sum +=
                                    static_cast<int>(
                                        (testing::libraryColourAt(expected24.get(), x, y) >> shift) & 0xFFU) -
                                    static_cast<int>(
                                        (testing::libraryColourAt(back24.get(), x, y) >> shift) & 0xFFU);
                            }
                        }
                        difference += std::abs(sum);
                    }
                }
            }
            const double mean = difference / (64.0 * 48.0 * 3.0);
            if (w.format == FIF_JPEG) {
                EXPECT_LT(mean, 4.0);
            } else {
                EXPECT_EQ(mean, 0.0);
            }
        }
    }
}

// A save that fails, in a folder that cannot exist or for one page, is named in the error box; the
// other pages are written, an earlier file under the failed name stays, and there is no beep.
TEST_F(ImageWriterTest, FailedSavesAreReportedAndKeepOldFiles)
{
    writePages(3);
    writeFile(out("brief_2.png"), "the old page");
    boxes.queueAnswer(1); // replace brief_1.png and the others
    writeFile(out("brief_1.png"), "old");
    boxes.queueAnswer(1); // the error box
    ScriptedFileOps files;
    files.failingSaves.insert(out("brief_2.png"));

    EXPECT_EQ(save(SavePng, out("brief.png"), &files), WriterOutcome::Written);

    EXPECT_EQ(boxTitles(), (std::vector<std::string>{"Datei existiert bereits", "Fehler beim Speichern"}));
    EXPECT_NE(boxes.shown[1].Text.find("brief_2.png: konnte nicht geschrieben werden."), std::string::npos);
    EXPECT_EQ(readFile(out("brief_2.png")), "the old page");
    EXPECT_NE(readFile(out("brief_1.png")), "old");
    EXPECT_TRUE(fs::exists(out("brief_3.png")));
    EXPECT_FALSE(beeped());

    // Below a regular file no folder can be made, whoever runs the test.
    clearRun();
    writePages(2);
    writeFile(out("datei"), "x");
    boxes.queueAnswer(1);
    EXPECT_EQ(save(SaveJpg, out("datei/brief.jpg")), WriterOutcome::Written);
    ASSERT_EQ(boxTitles(), (std::vector<std::string>{"Fehler beim Speichern"}));
    EXPECT_NE(boxes.shown[0].Text.find("brief_1.jpg: konnte nicht geschrieben werden."), std::string::npos);
    EXPECT_NE(boxes.shown[0].Text.find("brief_2.jpg: konnte nicht geschrieben werden."), std::string::npos);
    EXPECT_FALSE(beeped());
    EXPECT_TRUE(window.menuItems.empty());
}

// Every page blank: the note instead of the beep, no file, an old file under a page's name untouched,
// the menu state kept.
TEST_F(ImageWriterTest, AllBlankWritesNothing)
{
    for (const WriterCase& w : writers()) {
        SCOPED_TRACE(w.name);
        clearRun();
        writePages(2, {1, 2});
        writeFile(out("brief_1" + w.numbered), "old");
        boxes.queueAnswer(1); // replace
        boxes.queueAnswer(1); // the note
        EXPECT_EQ(save(w.writer, out("brief" + w.numbered)), WriterOutcome::Written);
        EXPECT_EQ(boxTitles(), (std::vector<std::string>{"Datei existiert bereits", "alle Seiten leer"}));
        EXPECT_EQ(outFiles(), (std::set<std::string>{"brief_1" + w.numbered}));
        EXPECT_EQ(readFile(out("brief_1" + w.numbered)), "old");
        EXPECT_FALSE(beeped());
        EXPECT_TRUE(window.menuItems.empty());
    }
}

} // namespace
} // namespace folvex
