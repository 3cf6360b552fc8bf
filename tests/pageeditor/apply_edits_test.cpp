#include "pageeditor/apply_edits.h"

#include "foundation/image_file_ops.h"
#include "pageeditor/editor_fakes.h"
#include "support/image_fixtures.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>

namespace folvex {
namespace {

using testing::FileCall;
using testing::TempDir;

using testing::ImagePtr;

const FreeImageFunctionTable& freeImage()
{
    return testing::realFunctions();
}

constexpr unsigned PageWidth = 200;
constexpr unsigned PageHeight = 150;

// Page n is filled with a colour whose red is 20 × n, and carries a black block in its top-left
// corner, so both its identity and its orientation can be read back.
ImagePtr makePage(int n)
{
    const FreeImageFunctionTable& fi = freeImage();
    ImagePtr page(fi.Allocate(PageWidth, PageHeight, 24, 0, 0, 0));
    for (unsigned y = 0; y < PageHeight; ++y) {
        BYTE* line = fi.GetBits(page.get()) + static_cast<std::size_t>(y) * fi.GetPitch(page.get());
        for (unsigned x = 0; x < PageWidth; ++x) {
            // Rows are stored bottom-up: the last stored rows are the top of the page.
            const bool block = x < 6 && y >= PageHeight - 4;
            line[3 * x + FI_RGBA_RED] = block ? 0 : static_cast<BYTE>(20 * n);
            line[3 * x + FI_RGBA_GREEN] = block ? 0 : static_cast<BYTE>(255 - 10 * n);
            line[3 * x + FI_RGBA_BLUE] = block ? 0 : 100;
        }
    }
    fi.SetDotsPerMeterX(page.get(), 11811);
    fi.SetDotsPerMeterY(page.get(), 11811);
    return page;
}

ImagePtr loadImage(const std::string& path)
{
    return ImagePtr(freeImage().LoadU(FIF_BMP, path, 0));
}

// The number of the page a file holds, read from the colour of its centre; 0 when it cannot be read.
int fingerprint(const std::string& path)
{
    const ImagePtr image = loadImage(path);
    if (!image) {
        return 0;
    }
    const FreeImageFunctionTable& fi = freeImage();
    RGBQUAD colour{};
    fi.GetPixelColor(image.get(), fi.GetWidth(image.get()) / 2, fi.GetHeight(image.get()) / 2, &colour);
    return colour.rgbRed / 20;
}

bool samePixels(FIBITMAP* a, FIBITMAP* b)
{
    const FreeImageFunctionTable& fi = freeImage();
    if (fi.GetWidth(a) != fi.GetWidth(b) || fi.GetHeight(a) != fi.GetHeight(b) ||
        fi.GetBPP(a) != fi.GetBPP(b)) {
        return false;
    }
    const std::size_t bytes = (std::size_t{fi.GetWidth(a)} * fi.GetBPP(a) + 7) / 8;
    for (unsigned y = 0; y < fi.GetHeight(a); ++y) {
        if (std::memcmp(
                fi.GetBits(a) + std::size_t{y} * fi.GetPitch(a),
                fi.GetBits(b) + std::size_t{y} * fi.GetPitch(b),
                bytes) != 0) {
            return false;
        }
    }
    return true;
}

// Stand-ins for library calls that fail: no image can be made (exact quarter turns allocate their
// result) and no image can be turned by a free angle.
FIBITMAP* DLL_CALLCONV failingAllocate(int, int, int, unsigned, unsigned, unsigned)
{
    return nullptr;
}

FIBITMAP* DLL_CALLCONV failingRotate(FIBITMAP*, double, const void*)
{
    return nullptr;
}

// A temporary folder with page files, the model opened on it, and the effects recorded.
struct ApplyFixture
{
    // pages: file name and the number it is stamped with.
    explicit ApplyFixture(
        const std::vector<std::pair<std::string, int>>& pages, int delEmptyOnEdit = 1, unsigned workers = 4)
        : pool(workers)
    {
        allocateMainProgramTables(shell);
        shell.settingsState.settings.TmpPath = dir.path().string();
        shell.settingsState.settings.DelEmptyOnEdit = delEmptyOnEdit;
        for (const auto& [name, n] : pages) {
            writePage(dir.file(name), n);
        }
        model.open(1820);
    }

    static void writePage(const std::string& path, int n)
    {
        const ImagePtr page = makePage(n);
        ASSERT_TRUE(freeImage().SaveU(FIF_BMP, page.get(), path, 0));
    }

    std::string page(int k) const { return dir.file("TmpReadyImg" + std::to_string(k) + ".bmp"); }

    // The numbers stamped on TmpReadyImg1, 2, … as far as they exist.
    std::vector<int> pageNumbers() const
    {
        std::vector<int> numbers;
        for (int k = 1; std::filesystem::exists(page(k)); ++k) {
            numbers.push_back(fingerprint(page(k)));
        }
        return numbers;
    }

    // The numbers stamped on every file the next editor run collects, in its order.
    std::vector<int> collectedNumbers() const
    {
        SystemFileOps plain;
        std::vector<int> numbers;
        for (const PageRow& row : collectPages(plain, dir.path().string()).rows) {
            numbers.push_back(fingerprint(row.path));
        }
        return numbers;
    }

    std::vector<std::string> fileNames() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // No working copy, pass-1 name or temporary file left, and no page loaded or saved twice.
    void expectCleanFolder() const
    {
        for (const std::string& name : fileNames()) {
            EXPECT_EQ(name.find("_edited"), std::string::npos) << name;
            EXPECT_EQ(name.find("TmpReadyImg_1_"), std::string::npos) << name;
            EXPECT_EQ(name.find(".folvex-tmp"), std::string::npos) << name;
        }
        for (const testing::RecordedFileCall& call : files.calls()) {
            if (call.call == FileCall::Load || call.call == FileCall::Save) {
                EXPECT_LE(files.count(call.call, call.path), 1) << call.path;
            }
        }
    }

    void apply() { ApplyEdits(model, functions, pool, emptyRemoved); }

    std::vector<std::uint8_t> splitFlags(std::int32_t last) const
    {
        return {shell.PageSplitFlags.begin() + 1, shell.PageSplitFlags.begin() + last + 1};
    }

    TempDir dir;
    ShellState shell;
    ImageFileOps real{freeImage()};
    testing::RecordingFileOps files{real};
    testing::RecordingEditorUi ui;
    PageEditorModel model{shell, files, ui, 0, "PDF"};
    // A copy of the library table whose entries a test may replace.
    FreeImageFunctionTable functions = freeImage();
    WorkerPool pool;
    std::uint8_t emptyRemoved = 7;
};

std::vector<std::pair<std::string, int>> readyPages(int count)
{
    std::vector<std::pair<std::string, int>> pages;
    for (int n = 1; n <= count; ++n) {
        pages.emplace_back("TmpReadyImg" + std::to_string(n) + ".bmp", n);
    }
    return pages;
}

TEST(ApplyEditsTest, MarksOrderAndSplitPoints)
{
    struct Case
    {
        const char* label;
        std::vector<std::pair<std::string, int>> pages;
        int delEmptyOnEdit;
        std::function<void(PageEditorModel&)> edit;
        std::vector<int> result;
        std::vector<std::uint8_t> flags; // PageSplitFlags 1 .. pages − 1 afterwards
        std::uint8_t emptyRemoved;
    };

    const auto pressToggle = [](PageEditorModel& model, std::int32_t p) {
        model.state().SplitToggles[static_cast<std::size_t>(p)].pressed = true;
    };
    const Case cases[] = {
        {"page 2 deleted, split after it",
         readyPages(5),
         1,
         [&](PageEditorModel& m) {
             m.markForDeletion(2);
             pressToggle(m, 2);
         },
         {1, 3, 4, 5},
         {1, 0, 0, 0},
         1},
        {"dragged into the order 3, 1, 2; toggles stay by position",
         readyPages(3),
         1,
         [&](PageEditorModel& m) {
             m.MovePage(3, 1);
             pressToggle(m, 1);
         },
         {3, 1, 2},
         {1, 0},
         1},
        {"blank page kept while DelEmptyOnEdit is off",
         readyPages(3),
         0,
         [](PageEditorModel& m) { m.state().table.rows[1].pageEmpty = "1"; },
         {1, 2, 3},
         {0, 0},
         0},
        {"blank page dropped while DelEmptyOnEdit is on",
         readyPages(3),
         1,
         [](PageEditorModel& m) { m.state().table.rows[1].pageEmpty = "1"; },
         {1, 3},
         {0, 0},
         1},
        {"all pages deleted",
         readyPages(3),
         1,
         [&](PageEditorModel& m) {
             for (std::int32_t p = 1; p <= 3; ++p) {
                 m.markForDeletion(p);
             }
             pressToggle(m, 1);
             pressToggle(m, 2);
         },
         {},
         {0, 0},
         1},
        {"gaps and a front scan are renumbered in table order",
         {{"TmpReadyImg1.bmp", 1}, {"TmpReadyImg2.bmp", 2}, {"TmpReadyImg4.bmp", 4}, {"tmpimg7.bmp", 7}},
         1,
         [](PageEditorModel&) {},
         {1, 2, 4, 7},
         {0, 0, 0},
         1},
        {"pages of one number and a pass-1 name already taken",
         {{"TmpReadyImg1.bmp", 1}, {"TmpReadyImg_1_1.bmp", 6}, {"TmpReadyImg3.bmp", 3}, {"tmpimg3.bmp", 5}},
         1,
         [](PageEditorModel&) {},
         {1, 6, 3, 5},
         {0, 0, 0},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ApplyFixture fixture(c.pages, c.delEmptyOnEdit);
        c.edit(fixture.model);
        fixture.apply();
        EXPECT_EQ(fixture.pageNumbers(), c.result);
        EXPECT_EQ(fixture.fileNames().size(), c.result.size());
        EXPECT_EQ(fixture.splitFlags(static_cast<std::int32_t>(c.flags.size())), c.flags);
        EXPECT_EQ(fixture.emptyRemoved, c.emptyRemoved);
        EXPECT_TRUE(fixture.ui.notes.empty());
        EXPECT_EQ(fixture.files.count(FileCall::Load), 0);
        fixture.expectCleanFolder();
    }
}

TEST(ApplyEditsTest, WaitTexts)
{
    ApplyFixture fixture(readyPages(2));
    fixture.model.turnRight(2);
    fixture.apply();
    EXPECT_EQ(
        fixture.ui.waitEvents,
        (std::vector<std::string>{
            "open: drehe Seite 0/0000...",
            "text: drehe Seite 1/2...",
            "text: drehe Seite 2/2...",
            "close",
            "open: arrangiere Seite 2/2 (Pass 1)...",
            "text: arrangiere Seite 1/2 (Pass 1)...",
            "text: arrangiere Seite 2/2 (Pass 1)...",
            "close",
            "open: arrangiere Seite 2/2 (Pass 2)...",
            "text: arrangiere Seite 1/2 (Pass 2)...",
            "text: arrangiere Seite 2/2 (Pass 2)...",
            "close"}));
}

TEST(ApplyEditsTest, TurnsAnglesAndWorkingCopiesReachThePageFiles)
{
    ApplyFixture fixture(readyPages(4));
    PageEditorModel& model = fixture.model;
    model.turnRight(1);
    model.turnRight(2);
    model.turnRight(2);
    model.setAngle(2, 1.5);
    ApplyFixture::writePage(fixture.dir.file("TmpReadyImg3_edited.bmp"), 9);
    const std::string copyBytes = testing::readFile(fixture.dir.file("TmpReadyImg3_edited.bmp"));
    const std::string page4Bytes = testing::readFile(fixture.page(4));
    fixture.apply();

    const FreeImageFunctionTable& fi = freeImage();
    const ImagePtr original = makePage(1);
    const ImagePtr expected(fi.Rotate(original.get(), 270.0, nullptr));
    const ImagePtr turned = loadImage(fixture.page(1));
    ASSERT_TRUE(turned);
    EXPECT_EQ(fi.GetWidth(turned.get()), PageHeight);
    EXPECT_TRUE(samePixels(turned.get(), expected.get()));

    const ImagePtr straightened = loadImage(fixture.page(2));
    ASSERT_TRUE(straightened);
    EXPECT_EQ(fi.GetWidth(straightened.get()), PageWidth);
    EXPECT_EQ(fi.GetHeight(straightened.get()), PageHeight);
    for (const auto& [x, y] :
         {std::pair{0U, 0U}, {PageWidth - 1, 0U}, {0U, PageHeight - 1}, {PageWidth - 1, PageHeight - 1}}) {
        RGBQUAD corner{};
        fi.GetPixelColor(straightened.get(), x, y, &corner);
        // White up to the rotation's interpolation at the page edge.
        EXPECT_GE(std::min({corner.rgbRed, corner.rgbGreen, corner.rgbBlue}), 250) << x << "," << y;
    }
    EXPECT_EQ(fingerprint(fixture.page(2)), 2);

    EXPECT_EQ(testing::readFile(fixture.page(3)), copyBytes);
    EXPECT_EQ(testing::readFile(fixture.page(4)), page4Bytes);
    EXPECT_EQ(fixture.files.count(FileCall::Load), 2);
    EXPECT_EQ(fixture.files.count(FileCall::Save), 2);
    EXPECT_TRUE(fixture.ui.notes.empty());
    fixture.expectCleanFolder();
}

// One run per failing step: every page that is not to be dropped still exists exactly once, under a
// name the next collection finds, and a note says what failed.
TEST(ApplyEditsTest, FailuresLoseNoPage)
{
    struct Case
    {
        const char* label;
        std::function<void(ApplyFixture&)> inject;
        std::vector<int> collected;
        std::vector<std::string> notes;
    };

    const Case cases[] = {
        {"working copy cannot replace its page",
         [](ApplyFixture& f) { f.files.failNth(FileCall::RenameOver, 0); },
         {1, 2, 4},
         {"Seite 2: Die bearbeitete Fassung konnte nicht übernommen werden. Die Seite bleibt unverändert."}},
        {"turned page cannot be loaded",
         [](ApplyFixture& f) { f.files.failFor(FileCall::Load, "TmpReadyImg1."); },
         {1, 5, 4},
         {"Seite 1 konnte nicht gedreht werden (1)."}},
        {"turned page cannot be saved",
         [](ApplyFixture& f) { f.files.failFor(FileCall::Save, "TmpReadyImg1."); },
         {1, 5, 4},
         {"Seite 1 konnte nicht gedreht werden (2)."}},
        {"straightened page cannot be loaded",
         [](ApplyFixture& f) { f.files.failFor(FileCall::Load, "TmpReadyImg4."); },
         {1, 5, 4},
         {"Seite 4 konnte nicht begradigt werden."}},
        {"straightened page cannot be saved",
         [](ApplyFixture& f) { f.files.failFor(FileCall::Save, "TmpReadyImg4."); },
         {1, 5, 4},
         {"Seite 4 konnte nicht begradigt werden."}},
        {"quarter turn cannot be made",
         [](ApplyFixture& f) { f.functions.Allocate = failingAllocate; },
         {1, 5, 4},
         {"Seite 1 konnte nicht gedreht werden (2)."}},
        {"free angle cannot be made",
         [](ApplyFixture& f) { f.functions.Rotate = failingRotate; },
         {1, 5, 4},
         {"Seite 4 konnte nicht begradigt werden."}},
        {"first pass-1 rename fails",
         [](ApplyFixture& f) { f.files.failNth(FileCall::RenameNoReplace, 0); },
         {1, 5, 3, 4},
         {ArrangeFailedNote}},
        {"last pass-1 rename fails",
         [](ApplyFixture& f) { f.files.failNth(FileCall::RenameNoReplace, 3); },
         {1, 5, 3, 4},
         {ArrangeFailedNote}},
        {"a pass-2 rename fails",
         [](ApplyFixture& f) { f.files.failNth(FileCall::RenameNoReplace, 5); },
         {1, 5, 4},
         {"Seite 2 konnte nicht umbenannt werden."}},
        {"a dropped page cannot be removed",
         [](ApplyFixture& f) { f.files.failFor(FileCall::Remove, "TmpReadyImg_1_3"); },
         {1, 5, 3, 4},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ApplyFixture fixture(readyPages(4));
        PageEditorModel& model = fixture.model;
        model.turnRight(1);
        model.setAngle(4, -2.0);
        model.markForDeletion(3);
        ApplyFixture::writePage(fixture.dir.file("TmpReadyImg2_edited.bmp"), 5);
        c.inject(fixture);
        fixture.apply();
        EXPECT_EQ(fixture.ui.notes, c.notes);
        std::vector<int> collected = fixture.collectedNumbers();
        std::vector<int> expected = c.collected;
        std::sort(collected.begin(), collected.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(collected, expected);
        EXPECT_FALSE(fixture.ui.waitOpen);
    }
}

// A page whose working copy cannot replace it keeps its file byte for byte: its pending turn and angle
// are not applied to the old page either, while the other pages get theirs.
TEST(ApplyEditsTest, FailedWorkingCopyRenameLeavesThePageWithItsTurnsUntouched)
{
    struct Case
    {
        const char* label;
        int turns;
        double angleDeg;
    };

    const Case cases[] = {{"turn", 1, 0.0}, {"angle", 0, 3.0}, {"turn and angle", 2, -1.5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ApplyFixture fixture(readyPages(2), 0, 1);
        PageEditorModel& model = fixture.model;
        for (int t = 0; t < c.turns; ++t) {
            model.turnRight(2);
        }
        model.setAngle(2, c.angleDeg);
        model.turnRight(1);
        ApplyFixture::writePage(fixture.dir.file("TmpReadyImg2_edited.bmp"), 5);
        const std::string before = testing::readFile(fixture.page(2));
        fixture.files.failNth(FileCall::RenameOver, 0);
        fixture.apply();
        EXPECT_EQ(fixture.ui.notes, std::vector<std::string>{workingCopyFailedNote(2)});
        EXPECT_EQ(testing::readFile(fixture.page(2)), before);
        EXPECT_EQ(fixture.files.count(FileCall::Load, fixture.page(2)), 0);
        EXPECT_EQ(fingerprint(fixture.page(1)), 1);
        EXPECT_EQ(
            loadImage(fixture.page(1)) ? freeImage().GetWidth(loadImage(fixture.page(1)).get()) : 0U,
            PageHeight);
    }
}

// A page that keeps its pass-1 name leaves no gap: the pages after it move up, and the split flags
// follow the files as they are.
TEST(ApplyEditsTest, FailedFinalRenameLeavesNoGap)
{
    ApplyFixture fixture(readyPages(4));
    for (std::int32_t p = 1; p <= 3; ++p) {
        fixture.model.state().SplitToggles[static_cast<std::size_t>(p)].pressed = p != 2;
    }
    fixture.files.failNth(FileCall::RenameNoReplace, 5); // pass 2, row 2
    fixture.apply();
    EXPECT_EQ(fixture.ui.notes, (std::vector<std::string>{"Seite 2 konnte nicht umbenannt werden."}));
    EXPECT_EQ(fixture.pageNumbers(), (std::vector<int>{1, 3, 4}));
    EXPECT_EQ(fingerprint(fixture.dir.file("TmpReadyImg_1_2.bmp")), 2);
    EXPECT_EQ(fixture.splitFlags(3), (std::vector<std::uint8_t>{1, 1, 0}));
    EXPECT_EQ(fixture.emptyRemoved, 1);
}

TEST(ApplyEditsTest, FailedRenumberingKeepsFlagsAndEmptyRemoved)
{
    ApplyFixture fixture(readyPages(3));
    fixture.shell.PageSplitFlags[1] = 1;
    fixture.model.open(1820);
    fixture.model.state().SplitToggles[1].pressed = false;
    fixture.model.state().SplitToggles[2].pressed = true;
    fixture.model.MovePage(3, 1);
    const std::string before = testing::readFile(fixture.page(1));
    fixture.files.failNth(FileCall::RenameNoReplace, 2);
    fixture.apply();
    EXPECT_EQ(fixture.pageNumbers(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(testing::readFile(fixture.page(1)), before);
    EXPECT_EQ(fixture.splitFlags(2), (std::vector<std::uint8_t>{1, 0}));
    EXPECT_EQ(fixture.emptyRemoved, 7);
    fixture.expectCleanFolder();
}

// Pages of few colours keep their depth: a 1-bit page straightened, a 4-bit page turned.
TEST(ApplyEditsTest, PagesKeepTheirDepth)
{
    ApplyFixture fixture(readyPages(2));
    const FreeImageFunctionTable& fi = freeImage();
    const ImagePtr colour = makePage(1);
    const ImagePtr grey(fi.ConvertToGreyscale(colour.get()));
    const ImagePtr oneBit(fi.Threshold(grey.get(), 128));
    const ImagePtr fourBit(fi.ConvertTo4Bits(colour.get()));
    ASSERT_TRUE(fi.SaveU(FIF_BMP, oneBit.get(), fixture.page(1), 0));
    ASSERT_TRUE(fi.SaveU(FIF_BMP, fourBit.get(), fixture.page(2), 0));
    fixture.model.setAngle(1, 2.0);
    fixture.model.turnRight(2);
    fixture.apply();
    EXPECT_TRUE(fixture.ui.notes.empty());

    const ImagePtr straightened = loadImage(fixture.page(1));
    ASSERT_TRUE(straightened);
    EXPECT_EQ(fi.GetBPP(straightened.get()), 1U);
    EXPECT_EQ(fi.GetWidth(straightened.get()), PageWidth);
    EXPECT_EQ(fi.GetHeight(straightened.get()), PageHeight);
    EXPECT_FALSE(samePixels(straightened.get(), oneBit.get()));

    const ImagePtr turned = loadImage(fixture.page(2));
    ASSERT_TRUE(turned);
    EXPECT_EQ(fi.GetBPP(turned.get()), 4U);
    EXPECT_EQ(fi.GetWidth(turned.get()), PageHeight);
    EXPECT_EQ(fi.GetHeight(turned.get()), PageWidth);
    // The black block of the top-left corner is now in the top-right one.
    EXPECT_EQ(testing::libraryColourAt(turned.get(), PageHeight - 1, 0), 0U);
    EXPECT_NE(testing::libraryColourAt(turned.get(), 0, 0), 0U);
}

// The pages turned on many workers come out as on one, with the same texts and notes in page order.
TEST(ApplyEditsTest, WorkersGiveTheSameResultAsOne)
{
    struct Run
    {
        std::vector<std::string> files;
        std::vector<std::string> waitEvents;
        std::vector<std::string> notes;
    };

    const auto run = [](unsigned workers) {
        ApplyFixture fixture(readyPages(12), 1, workers);
        PageEditorModel& model = fixture.model;
        for (std::int32_t p = 1; p <= 12; ++p) {
            for (std::int32_t t = 0; t < p % 4; ++t) {
                model.turnRight(p);
            }
            model.setAngle(p, p % 3 == 0 ? 0.0 : -2.5 + 0.4 * p);
        }
        model.markForDeletion(5);
        fixture.files.failFor(FileCall::Save, "TmpReadyImg7.");
        fixture.files.failFor(FileCall::Load, "TmpReadyImg10.");
        fixture.apply();
        Run result{{}, fixture.ui.waitEvents, fixture.ui.notes};
        for (std::int32_t k = 1; k <= 12; ++k) {
            result.files.push_back(testing::readFile(fixture.page(k)));
        }
        fixture.expectCleanFolder();
        return result;
    };
    const Run one = run(1);
    const Run many = run(4);
    ASSERT_EQ(one.files.size(), many.files.size());
    for (std::size_t k = 0; k < one.files.size(); ++k) {
        EXPECT_TRUE(one.files[k] == many.files[k]) << "page file " << k + 1;
    }
    EXPECT_TRUE(one.files[11].empty()); // page 5 dropped
    EXPECT_EQ(one.waitEvents, many.waitEvents);
    EXPECT_EQ(
        one.notes,
        (std::vector<std::string>{
            "Seite 7 konnte nicht gedreht werden (2).", "Seite 10 konnte nicht gedreht werden (1)."}));
    EXPECT_EQ(one.notes, many.notes);
}

TEST(ApplyEditsTest, SplitFlagCarry)
{
    struct Case
    {
        const char* label;
        std::vector<std::uint8_t> rowFlags; // entry 0 unused
        std::vector<bool> kept;
        std::vector<std::uint8_t> result;
    };

    const Case cases[] = {
        {"row 2 dropped, split after it",
         {0, 0, 1, 1, 0, 0},
         {false, true, false, true, true, true},
         {0, 1, 1, 0, 0, 0}},
        {"drops before the first kept row lose their flags",
         {0, 1, 1, 0, 0},
         {false, false, false, true, true},
         {0, 0, 0, 0, 0}},
        {"drops after the last kept row",
         {0, 1, 1, 1, 0},
         {false, true, true, false, false},
         {0, 1, 0, 0, 0}},
        {"several drops between two kept rows",
         {0, 0, 0, 1, 0, 0},
         {false, true, false, false, false, true},
         {0, 1, 0, 0, 0, 0}},
        {"nothing kept", {0, 1, 1, 0}, {false, false, false, false}, {0, 0, 0, 0}},
        {"short inputs read as cleared and dropped", {0, 1}, {false, true, true}, {0, 1, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const auto rows = static_cast<std::int32_t>(c.result.size()) - 1;
        EXPECT_EQ(carrySplitFlags(c.rowFlags, c.kept, rows), c.result);
    }

    // 10050 pages: the flags grow to hold them; each page but the last one carries its split.
    const std::int32_t rows = 10050;
    std::vector<std::uint8_t> rowFlags(rows + 1, 1);
    std::vector<bool> kept(rows + 1, true);
    kept[10] = false;
    ShellState shell;
    allocateMainProgramTables(shell);
    ASSERT_EQ(shell.PageSplitFlags.size(), 10001U);
    storeSplitFlags(shell.PageSplitFlags, carrySplitFlags(rowFlags, kept, rows), rows);
    ASSERT_EQ(shell.PageSplitFlags.size(), 10051U);
    EXPECT_EQ(shell.PageSplitFlags[0], 0);
    EXPECT_EQ(shell.PageSplitFlags[10048], 1);
    EXPECT_EQ(shell.PageSplitFlags[10049], 0);
    EXPECT_EQ(shell.PageSplitFlags[10050], 0);
}

TEST(CancelEditsTest, DropsWorkingCopiesAndAnglesAndWaitsForEsc)
{
    ApplyFixture fixture(readyPages(3));
    PageEditorModel& model = fixture.model;
    ApplyFixture::writePage(fixture.dir.file("TmpReadyImg1_edited.bmp"), 7);
    ApplyFixture::writePage(fixture.dir.file("TmpReadyImg3_edited.bmp"), 8);
    std::vector<std::string> before;
    for (int k = 1; k <= 3; ++k) {
        before.push_back(testing::readFile(fixture.page(k)));
    }
    model.setAngle(1, 2.5);
    model.setAngle(2, -0.3);
    model.turnRight(3);
    model.markForDeletion(2);
    fixture.ui.escapeHeldPolls = 3;
    CancelEdits(model);

    EXPECT_EQ(
        fixture.fileNames(),
        (std::vector<std::string>{"TmpReadyImg1.bmp", "TmpReadyImg2.bmp", "TmpReadyImg3.bmp"}));
    for (int k = 1; k <= 3; ++k) {
        EXPECT_EQ(testing::readFile(fixture.page(k)), before[static_cast<std::size_t>(k - 1)]);
        EXPECT_EQ(model.angle(k), 0.0);
    }
    EXPECT_EQ(fixture.ui.escapePolls, 4);
    EXPECT_EQ(fixture.ui.pauses, (std::vector<int>{25, 25, 25}));
    EXPECT_EQ(fixture.shell.PageSplitFlags[1], 0);
    EXPECT_EQ(fixture.emptyRemoved, 7);
}

} // namespace
} // namespace folvex
