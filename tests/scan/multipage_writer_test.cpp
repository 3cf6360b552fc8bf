#include "scan/multipage_writers.h"
#include "scan/save_outcome.h"
#include "support/fakes.h"
#include "support/image_fixtures.h"
#include "writer_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace folvex {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::realFunctions;
using testing::writeFile;

// The parts of a GIF file an animation player reads.
struct GifFile
{
    unsigned screenWidth = 0;
    unsigned screenHeight = 0;
    std::optional<unsigned> loopCount; // the NETSCAPE block's count, when there is one
    std::vector<unsigned> delays;      // per graphic-control block, in 1/100 s
    std::vector<std::pair<unsigned, unsigned>> frames;
};

unsigned word(const std::string& bytes, std::size_t at)
{
    return static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8U);
}

std::size_t skipSubBlocks(const std::string& bytes, std::size_t at)
{
    while (at < bytes.size() && bytes[at] != 0) {
        at += 1U + static_cast<unsigned char>(bytes[at]);
    }
    return at + 1;
}

std::size_t colourTableSize(unsigned char flags)
{
    return (flags & 0x80U) != 0 ? 3U * (1U << ((flags & 0x07U) + 1U)) : 0U;
}

GifFile parseGif(const std::string& bytes)
{
    GifFile gif;
    EXPECT_EQ(bytes.substr(0, 3), "GIF");
    gif.screenWidth = word(bytes, 6);
    gif.screenHeight = word(bytes, 8);
    std::size_t at = 13 + colourTableSize(static_cast<unsigned char>(bytes[10]));
    while (at < bytes.size() && bytes[at] != 0x3B) {
        if (bytes[at] == 0x21) {
            const auto label = static_cast<unsigned char>(bytes[at + 1]);
            if (label == 0xF9) {
                gif.delays.push_back(word(bytes, at + 4));
            } else if (label == 0xFF && bytes.compare(at + 3, 11, "NETSCAPE2.0") == 0) {
                gif.loopCount = word(bytes, at + 16);
            }
            at = skipSubBlocks(bytes, at + 2);
        } else if (bytes[at] == 0x2C) {
            gif.frames.emplace_back(word(bytes, at + 5), word(bytes, at + 7));
            at += 10 + colourTableSize(static_cast<unsigned char>(bytes[at + 9]));
            at = skipSubBlocks(bytes, at + 1);
        } else {
            ADD_FAILURE() << "unexpected block at " << at;
            break;
        }
    }
    return gif;
}

// The depth of every page of a multi-page file.
std::vector<unsigned> pageDepths(FREE_IMAGE_FORMAT format, const std::string& path)
{
    std::vector<unsigned> depths;
    FIMULTIBITMAP* document = FreeImage_OpenMultiBitmap(format, path.c_str(), FALSE, TRUE, TRUE, 0);
    if (document == nullptr) {
        return depths;
    }
    for (int page = 0; page < FreeImage_GetPageCount(document); ++page) {
        FIBITMAP* image = FreeImage_LockPage(document, page);
        depths.push_back(FreeImage_GetBPP(image));
        FreeImage_UnlockPage(document, image, FALSE);
    }
    FreeImage_CloseMultiBitmap(document, 0);
    return depths;
}

// What the program writes to the error stream while the call runs.
template <typename Call>
std::string errorStreamDuring(Call call)
{
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    std::FILE* capture = std::tmpfile();
    dup2(fileno(capture), STDERR_FILENO);
    call();
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    std::string text;
    std::rewind(capture);
    for (int c = std::fgetc(capture); c != EOF; c = std::fgetc(capture)) {
        text += static_cast<char>(c);
    }
    std::fclose(capture);
    return text;
}

// Injected: the library closes the document but reports a failure.
BOOL failingClose(FIMULTIBITMAP* document, int flags)
{
    static_cast<void>(FreeImage_CloseMultiBitmap(document, flags));
    return FALSE;
}

class MultipageWriterTest : public WriterTest
{
protected:
    void splitAfter(const std::set<std::size_t>& positions)
    {
        for (const std::size_t p : positions) {
            shell.PageSplitFlags.at(p) = 1;
        }
    }

    WriterOutcome save(
        WriterOutcome (*writer)(ScanJobContext&, ScanJobState&),
        const std::string& answer,
        const FreeImageFunctionTable& functions = realFunctions())
    {
        return saveWith(writer, answer, functions);
    }

    void offerLastOutput()
    {
        window.menuItems[LastOutputMenuItem] = true;
        window.buttons[MainButton::OpenLastOutput] = true;
        shell.LastOutputFile = "/alt.pdf";
    }

    // The offer to open the last output is grayed and still names the earlier file.
    void expectOfferGrayed()
    {
        EXPECT_FALSE(window.menuItems[LastOutputMenuItem]);
        EXPECT_FALSE(window.buttons[MainButton::OpenLastOutput]);
        EXPECT_EQ(shell.LastOutputFile, "/alt.pdf");
    }
};

TEST(TiffNameTest, TiffEndingsAreCompletedAndShortened)
{
    const std::vector<std::pair<std::string, std::string>> cases{
        {"brief", "brief.TIF"},
        {"brief.tif", "brief.tif"},
        {"brief.tiff", "brief.tif"},
        {"Brief.TiFF", "Brief.TiF"},
        {"brief.png", "brief.png.TIF"},
        {"brief.tiff.tiff", "brief.tiff.tif"},
    };
    for (const auto& [typed, completed] : cases) {
        EXPECT_EQ(completeTiffName(typed), completed) << typed;
    }
}

// Pages of every usual depth and resolution are written and joined without a word on the error
// stream: the TIFF library's reports of tags it does not know are no faults.
TEST_F(MultipageWriterTest, TiffDocumentSaysNothingOnTheErrorStream)
{
    const std::vector<PageShape> shapes{
        {"1", 120, 160, 300.0}, {"8 palette", 90, 60, 150.0}, {"24", 120, 160, 600.0}, {"4", 40, 40, 72.0}};
    for (std::size_t k = 0; k < shapes.size(); ++k) {
        writePage(static_cast<int>(k + 1), shapes[k]);
    }
    WriterOutcome outcome = WriterOutcome::Cancelled;
    const std::string said = errorStreamDuring([&] { outcome = save(SaveMultipageTiff, out("brief.tif")); });

    EXPECT_EQ(outcome, WriterOutcome::Written);
    EXPECT_EQ(said, "");
    EXPECT_EQ(pageDepths(FIF_TIFF, out("brief.tif")), (std::vector<unsigned>{1, 8, 24, 4}));
    EXPECT_TRUE(boxes.shown.empty());
}

// A split after page 5 of 12 gives two numbered documents and never the chosen name; pages keep their
// depth except 16 bits, which become 24.
TEST_F(MultipageWriterTest, SplitJobGivesNumberedTiffDocuments)
{
    const std::vector<std::string> depths{
        "1", "4", "8 palette", "16", "24", "32", "24", "24", "24", "24", "24", "1"};
    for (std::size_t k = 0; k < depths.size(); ++k) {
        writePage(static_cast<int>(k + 1), {depths[k]});
    }
    splitAfter({5});
    offerLastOutput();

    EXPECT_EQ(save(SaveMultipageTiff, out("brief.tif")), WriterOutcome::Written);

    EXPECT_EQ(outFiles(), (std::set<std::string>{"brief_1.TIF", "brief_2.TIF"}));
    EXPECT_EQ(pageDepths(FIF_TIFF, out("brief_1.TIF")), (std::vector<unsigned>{1, 4, 8, 24, 24}));
    EXPECT_EQ(pageDepths(FIF_TIFF, out("brief_2.TIF")), (std::vector<unsigned>{32, 24, 24, 24, 24, 24, 1}));
    EXPECT_EQ(effects.sound.systemSounds, (std::vector<int>{-1}));
    EXPECT_TRUE(boxes.shown.empty());
    expectOfferGrayed();
    EXPECT_EQ(effects.files.dialogs.back().request.patterns, "TIF-Dateien (*.tif)|*.tif");
}

TEST_F(MultipageWriterTest, UnsplitJobGivesOneTiffDocument)
{
    struct Case
    {
        std::string typed;
        std::set<std::size_t> splits;
        std::string written;
    };

    const std::vector<Case> cases{
        {"brief", {}, "brief.TIF"},
        {"brief.tiff", {}, "brief.tif"},
        {"flags.tif", {4, 9}, "flags_1.TIF"}, // flags only beyond the last page
    };
    writePages(3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        splitAfter(c.splits);
        EXPECT_EQ(save(SaveMultipageTiff, out(c.typed)), WriterOutcome::Written);
        EXPECT_EQ(pageDepths(FIF_TIFF, out(c.written)).size(), 3U);
    }
    EXPECT_EQ(outFiles(), (std::set<std::string>{"brief.TIF", "brief.tif", "flags_1.TIF"}));
}

// The library's cache and spool files are not written through links planted beside the target
// under the names they would get there; the document is made all the same.
TEST_F(MultipageWriterTest, PlantedLinksBesideTheTargetAreNotWrittenThrough)
{
    writePages(2);
    writeFile(dir.file("victim"), "keep me");
    const std::string unique = out("brief.TIF") + "." + std::to_string(::getpid()) + "-";
    for (int k = 0; k < 32; ++k) {
        for (const char* ending : {".ficache", ".fispool"}) {
            std::filesystem::create_symlink(dir.file("victim"), unique + std::to_string(k) + ending);
        }
    }
    EXPECT_EQ(save(SaveMultipageTiff, out("brief")), WriterOutcome::Written);
    EXPECT_EQ(pageDepths(FIF_TIFF, out("brief.TIF")).size(), 2U);
    EXPECT_EQ(readFile(dir.file("victim")), "keep me");
}

// A part whose pages are all blank writes nothing and gives its number to the next part; a file of an
// earlier run under a number this run does not reach stays as it was (it was asked about: before the
// blank test nobody knows that its part stays empty).
TEST_F(MultipageWriterTest, BlankPartGivesItsNumberToTheNext)
{
    writePages(6, {3, 4});
    splitAfter({2, 4});
    writeFile(out("brief_3.TIF"), "earlier run");
    boxes.queueAnswer(1);

    EXPECT_EQ(save(SaveMultipageTiff, out("brief.tif")), WriterOutcome::Written);

    EXPECT_EQ(outFiles(), (std::set<std::string>{"brief_1.TIF", "brief_2.TIF", "brief_3.TIF"}));
    EXPECT_EQ(pageDepths(FIF_TIFF, out("brief_1.TIF")).size(), 2U);
    EXPECT_EQ(pageDepths(FIF_TIFF, out("brief_2.TIF")).size(), 2U);
    EXPECT_EQ(readFile(out("brief_3.TIF")), "earlier run");
}

// A document the library cannot complete leaves the existing file as it was and no temporary or cache
// file; the run reports it instead of beeping.
TEST_F(MultipageWriterTest, FailedCloseKeepsTheOldFile)
{
    writePages(2);
    writeFile(out("brief.tif"), "old document");
    boxes.queueAnswer(1); // overwrite: "Ja"
    boxes.queueAnswer(1); // the error box
    FreeImageFunctionTable functions = realFunctions();
    functions.CloseMultiBitmap = &failingClose;

    EXPECT_EQ(save(SaveMultipageTiff, out("brief.tif"), functions), WriterOutcome::Written);

    EXPECT_EQ(outFiles(), (std::set<std::string>{"brief.tif"}));
    EXPECT_EQ(readFile(out("brief.tif")), "old document");
    ASSERT_EQ(boxes.shown.size(), 2U);
    EXPECT_EQ(boxes.shown[0].Title, "Datei existiert bereits");
    EXPECT_EQ(boxes.shown[1].Title, "Fehler beim Speichern");
    EXPECT_NE(boxes.shown[1].Text.find("brief.tif: konnte nicht geschrieben werden."), std::string::npos);
    EXPECT_FALSE(beeped());
}

// A target folder below a regular file: both writers report the document instead of beeping.
TEST_F(MultipageWriterTest, UnwritableFolderIsReported)
{
    writePages(2);
    writeFile(out("datei"), "a file");
    for (const auto writer : {SaveMultipageTiff, SaveAnimatedGif}) {
        boxes.queueAnswer(1);
        EXPECT_EQ(save(writer, out("datei/brief")), WriterOutcome::Written);
    }
    ASSERT_EQ(boxes.shown.size(), 2U);
    EXPECT_NE(boxes.shown[0].Text.find("brief.TIF: konnte nicht geschrieben werden."), std::string::npos);
    EXPECT_NE(boxes.shown[1].Text.find("brief.gif: konnte nicht geschrieben werden."), std::string::npos);
    EXPECT_EQ(outFiles(), (std::set<std::string>{"datei"}));
    EXPECT_FALSE(beeped());
}

// A page the library cannot convert for the format is reported by its number; the others are written.
TEST_F(MultipageWriterTest, PageThatCannotBePreparedIsReported)
{
    writePages(3);
    writePage(2, {"16"});
    boxes.queueAnswer(1);
    FreeImageFunctionTable functions = realFunctions();
    functions.ConvertTo24Bits = [](FIBITMAP*) -> FIBITMAP* { return nullptr; };

    EXPECT_EQ(save(SaveMultipageTiff, out("brief.tif"), functions), WriterOutcome::Written);

    EXPECT_EQ(pageDepths(FIF_TIFF, out("brief.tif")), (std::vector<unsigned>{24, 24}));
    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_NE(boxes.shown[0].Text.find("Seite 2: konnte nicht geschrieben werden."), std::string::npos);
    EXPECT_FALSE(beeped());
}

TEST_F(MultipageWriterTest, AllBlankPagesWriteNothing)
{
    writePages(3, {1, 2, 3});
    splitAfter({1});
    offerLastOutput();
    for (const auto writer : {SaveMultipageTiff, SaveAnimatedGif}) {
        boxes.queueAnswer(1);
        EXPECT_EQ(save(writer, out("brief")), WriterOutcome::Written);
    }
    EXPECT_TRUE(outFiles().empty());
    ASSERT_EQ(boxes.shown.size(), 2U);
    EXPECT_EQ(boxes.shown[0].Title, "alle Seiten leer");
    EXPECT_EQ(boxes.shown[1].Title, "alle Seiten leer");
    EXPECT_FALSE(beeped());
    EXPECT_TRUE(window.menuItems[LastOutputMenuItem]);
    EXPECT_TRUE(window.buttons[MainButton::OpenLastOutput]);
    EXPECT_EQ(shell.LastOutputFile, "/alt.pdf");
}

// The question names exactly the files the writer replaces: the animation ignores split points, the
// TIFF asks in split mode about every numbered part; "Nein" keeps every old file.
TEST_F(MultipageWriterTest, QuestionNamesTheFilesThatAreReplaced)
{
    struct Case
    {
        WriterOutcome (*writer)(ScanJobContext&, ScanJobState&);
        std::set<std::size_t> splits;
        std::set<std::string> existing;
        std::string named; // empty: no question
        bool variants;
    };

    const std::vector<Case> cases{
        {SaveAnimatedGif, {}, {"anim.gif"}, "anim.gif", false},
        {SaveAnimatedGif, {1}, {"anim.gif"}, "anim.gif", false},
        {SaveAnimatedGif, {1}, {"anim_1.gif"}, "", false},
        {SaveMultipageTiff, {}, {"anim.TIF"}, "anim.TIF", false},
        {SaveMultipageTiff, {1}, {"anim_2.TIF"}, "anim_2.TIF", false},
        {SaveMultipageTiff, {1}, {"anim_1.TIF", "anim_2.TIF"}, "anim_1.TIF", true},
        {SaveMultipageTiff, {1}, {"anim.TIF", "anim_3.TIF"}, "", false},
    };
    writePages(2);
    for (const Case& c : cases) {
        SCOPED_TRACE(*c.existing.begin() + " " + std::to_string(c.splits.size()));
        fs::remove_all(dir.path() / "out");
        fs::create_directories(dir.path() / "out");
        std::fill(shell.PageSplitFlags.begin(), shell.PageSplitFlags.end(), std::uint8_t{0});
        splitAfter(c.splits);
        for (const std::string& name : c.existing) {
            writeFile(out(name), "old");
        }
        boxes.shown.clear();
        job.ok = 1;
        if (!c.named.empty()) {
            boxes.queueAnswer(2); // "Nein"
        }
        const WriterOutcome outcome = save(c.writer, out("anim"));
        if (c.named.empty()) {
            EXPECT_EQ(outcome, WriterOutcome::Written);
            EXPECT_TRUE(boxes.shown.empty());
            continue;
        }
        EXPECT_EQ(outcome, WriterOutcome::Declined);
        ASSERT_EQ(boxes.shown.size(), 1U);
        EXPECT_EQ(
            boxes.shown[0].Text,
            R"(Die Zieldatei\n\n\q)" + c.named + R"(\q\n\n)" +
                (c.variants ? " bzw. eine Nummernvariante davon existiert bereits." : "existiert bereits.") +
                R"(\n\nSoll sie überschrieben werden?)");
        for (const std::string& name : c.existing) {
            EXPECT_EQ(readFile(out(name)), "old") << name;
        }
    }
}

// The loop count is the number of plays: the NETSCAPE block counts repetitions, and one play has no
// block; every frame shows for the frame time.
TEST_F(MultipageWriterTest, GifLoopsAndFrameTimes)
{
    const std::vector<std::pair<std::int32_t, std::optional<unsigned>>> cases{
        {0, 0U}, {3, 2U}, {1, std::nullopt}};
    writePages(3);
    shell.settingsState.settings.AnimGifFrameRate = 100;
    for (const auto& [loops, count] : cases) {
        SCOPED_TRACE(loops);
        shell.settingsState.settings.AnimGifLoops = loops;
        const std::string name = out("loops" + std::to_string(loops) + ".gif");
        EXPECT_EQ(save(SaveAnimatedGif, name), WriterOutcome::Written);
        const GifFile gif = parseGif(readFile(name));
        EXPECT_EQ(gif.loopCount, count);
        EXPECT_EQ(gif.delays, (std::vector<unsigned>{10, 10, 10}));
        EXPECT_EQ(gif.frames.size(), 3U);
    }
}

// Page 1 skipped as blank: the first frame written carries the loop count; split flags are ignored;
// a larger later frame widens the logical screen rather than being clipped; 24-bit pages become
// palette frames, 1- and 8-bit pages stay as they are.
TEST_F(MultipageWriterTest, GifFramesAreWholeAndLoopFromTheFirstWritten)
{
    writePage(1, {"24", 1240, 1754, 300.0, true});
    writePage(2, {"24", 1240, 1754, 150.0});
    writePage(3, {"1", 300, 200});
    writePage(4, {"8 grey", 300, 200});
    writePage(5, {"24", 2480, 3508, 300.0});
    splitAfter({3});
    shell.settingsState.settings.AnimGifLoops = 3;
    offerLastOutput();

    EXPECT_EQ(save(SaveAnimatedGif, out("anim")), WriterOutcome::Written);

    EXPECT_EQ(outFiles(), (std::set<std::string>{"anim.gif"}));
    const GifFile gif = parseGif(readFile(out("anim.gif")));
    EXPECT_EQ(gif.loopCount, std::optional<unsigned>(2U));
    EXPECT_EQ(gif.screenWidth, 2480U);
    EXPECT_EQ(gif.screenHeight, 3508U);
    using Size = std::pair<unsigned, unsigned>;
    EXPECT_EQ(gif.frames, (std::vector<Size>{{1240, 1754}, {300, 200}, {300, 200}, {2480, 3508}}));
    EXPECT_EQ(pageDepths(FIF_GIF, out("anim.gif")), (std::vector<unsigned>{8, 1, 8, 8}));
    EXPECT_EQ(effects.sound.systemSounds, (std::vector<int>{-1}));
    expectOfferGrayed();
}

} // namespace
} // namespace folvex
