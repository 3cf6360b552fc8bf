#include "runtime/file_ops.h"
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

} // namespace
} // namespace folvex
