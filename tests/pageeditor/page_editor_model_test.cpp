#include "pageeditor/page_editor_model.h"

#include "pageeditor/editor_fakes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace folvex {
namespace {

using testing::TempDir;

// A shell state whose temporary folder is a fresh folder holding `pages` empty page files.
struct ModelFixture
{
    explicit ModelFixture(int pages, const std::string& destinationType = "PDF")
    {
        allocateMainProgramTables(shell);
        shell.settingsState.settings.TmpPath = dir.path().string();
        for (int n = 1; n <= pages; ++n) {
            testing::writeFile(pagePath(n), "page " + std::to_string(n));
        }
        model = std::make_unique<PageEditorModel>(shell, files, ui, 0, destinationType);
    }

    std::string pagePath(int n) const { return dir.file("TmpReadyImg" + std::to_string(n) + ".bmp"); }

    // The original numbers of the pages in their current order.
    std::string order() const
    {
        std::string text;
        for (const PageRow& row : model->state().table.rows) {
            text += row.OrigNumber;
        }
        return text;
    }

    TempDir dir;
    ShellState shell;
    SystemFileOps real;
    testing::RecordingFileOps files{real};
    testing::RecordingEditorUi ui;
    std::unique_ptr<PageEditorModel> model;
};

TEST(PageEditorModelTest, OpeningSizesTheStateAndRaisesTheCapacity)
{
    ModelFixture fixture(26);
    fixture.shell.settingsState.settings.Rotate_ThumbSize = 250;
    const EditorRefusals refusals = fixture.model->open(1820);
    EXPECT_FALSE(refusals.any());
    const PageEditorState& state = fixture.model->state();
    EXPECT_EQ(fixture.model->PageCount(), 26);
    EXPECT_EQ(fixture.shell.PageCapacity, 50);
    EXPECT_EQ(state.RotationState.size(), 27U);
    EXPECT_EQ(state.StraightenAngle.size(), 27U);
    EXPECT_EQ(state.SplitToggles.size(), 27U);
    EXPECT_EQ(state.GridColumns, 6);
    EXPECT_EQ(state.ThumbnailSize, 250);
    EXPECT_EQ(state.GridGapX, 30);
    EXPECT_EQ(state.GridGapY, 32);
    EXPECT_EQ(state.TmpPath, fixture.dir.path().string());
    EXPECT_EQ(fixture.model->whitePointText(PointChannel::Green), "170");
    EXPECT_EQ(fixture.model->blackPointText(PointChannel::Blue), "70");

    // A later run with fewer pages keeps the capacity; one with more raises it in steps of 25.
    std::int32_t capacity = 50;
    growPageCapacity(capacity, 30);
    EXPECT_EQ(capacity, 50);
    growPageCapacity(capacity, 5);
    EXPECT_EQ(capacity, 50);
    growPageCapacity(capacity, 101);
    EXPECT_EQ(capacity, 125);
}

TEST(PageEditorModelTest, OpeningReportsBothRefusals)
{
    ModelFixture fixture(0);
    fixture.shell.settingsState.settings.Rotate_ThumbSize = 1742;
    const EditorRefusals refusals = fixture.model->open(1820);
    EXPECT_TRUE(refusals.noPages);
    EXPECT_TRUE(refusals.thumbnailTooLarge);
    EXPECT_EQ(fixture.shell.PageCapacity, 25);
}

TEST(PageEditorModelTest, SplitTogglesStartFromTheFlagsForSplittingTypesOnly)
{
    for (const char* type : {"PDF", "PDF+OCR", "mehrseitiges TIF", "JPG", "Animated GIF"}) {
        SCOPED_TRACE(type);
        ModelFixture fixture(4, type);
        fixture.shell.PageSplitFlags[2] = 1;
        fixture.shell.PageSplitFlags[4] = 1; // after the last page: no toggle there
        fixture.model->open(1820);
        const bool splits = std::string(type) != "JPG" && std::string(type) != "Animated GIF";
        EXPECT_EQ(fixture.model->splitToggleExists(1), splits);
        EXPECT_EQ(fixture.model->splitTogglePressed(1), false);
        EXPECT_EQ(fixture.model->splitTogglePressed(2), splits);
        EXPECT_EQ(fixture.model->splitToggleExists(3), splits);
        EXPECT_FALSE(fixture.model->splitToggleExists(4));
        EXPECT_FALSE(fixture.model->splitTogglePressed(4));
    }
    // Flags shorter than the page count read as cleared.
    ModelFixture fixture(4);
    fixture.shell.PageSplitFlags.assign(2, 1);
    fixture.model->open(1820);
    EXPECT_TRUE(fixture.model->splitTogglePressed(1));
    EXPECT_FALSE(fixture.model->splitTogglePressed(2));
    EXPECT_TRUE(fixture.model->splitToggleExists(3));
}

TEST(PageEditorModelTest, TurnsAddUpModuloFour)
{
    ModelFixture fixture(3);
    fixture.model->open(1820);
    PageEditorModel& model = *fixture.model;
    model.turnRight(1);
    model.turnLeft(2);
    model.turnRight(3);
    model.turnRight(3);
    EXPECT_EQ(model.turns(1), 1);
    EXPECT_EQ(model.turns(2), 3);
    EXPECT_EQ(model.turns(3), 2);
    model.turnAllPages(3);
    EXPECT_EQ(model.turns(1), 0);
    EXPECT_EQ(model.turns(2), 2);
    EXPECT_EQ(model.turns(3), 1);
    model.turnAllPages(-1);
    EXPECT_EQ(model.turns(1), 3);
    model.turnRight(0);
    model.turnLeft(4);
    EXPECT_EQ(model.turns(0), 0);
    EXPECT_EQ(model.turns(4), 0);
}

TEST(PageEditorModelTest, MarksAndOutOfRangePages)
{
    ModelFixture fixture(2);
    fixture.model->open(1820);
    PageEditorModel& model = *fixture.model;
    model.markForDeletion(2);
    EXPECT_TRUE(model.markedForDeletion(2));
    EXPECT_EQ(model.state().table.rows[1].toBeDeleted, "1");
    model.unmarkForDeletion(2);
    EXPECT_FALSE(model.markedForDeletion(2));
    model.state().table.rows[0].pageEmpty = "1";
    EXPECT_TRUE(model.markedBlank(1));
    model.clearBlankMark(1);
    EXPECT_FALSE(model.markedBlank(1));
    for (const std::int32_t page : {0, 3, -1}) {
        model.markForDeletion(page);
        EXPECT_FALSE(model.markedForDeletion(page));
        EXPECT_EQ(model.pagePath(page), "");
    }
}

TEST(PageEditorModelTest, EditedAndRestore)
{
    ModelFixture fixture(3);
    fixture.model->open(1820);
    PageEditorModel& model = *fixture.model;
    const std::string copy = fixture.dir.file("TmpReadyImg2_edited.bmp");
    testing::writeFile(copy, "edited");
    model.turnRight(1);
    model.setAngle(3, 0.1);
    EXPECT_TRUE(model.isEdited(1));
    EXPECT_TRUE(model.isEdited(2));
    EXPECT_TRUE(model.isEdited(3));
    model.turnLeft(1);
    EXPECT_FALSE(model.isEdited(1));

    model.turnRight(2);
    model.setAngle(2, -2.5);
    model.restorePage(2);
    EXPECT_FALSE(std::filesystem::exists(copy));
    EXPECT_EQ(model.turns(2), 0);
    EXPECT_EQ(model.angle(2), 0.0);
    EXPECT_FALSE(model.isEdited(2));
    EXPECT_EQ(testing::readFile(fixture.pagePath(2)), "page 2");
}

TEST(PageEditorModelTest, MovePageCarriesRowMarksTurnsAndAngleButNotToggles)
{
    struct Case
    {
        std::int32_t src;
        std::int32_t dst;
        const char* order;
    };

    const Case cases[] = {
        {2, 5, "134526"},
        {5, 2, "152346"},
        {1, 6, "234561"},
        {6, 1, "612345"},
        {3, 3, "123456"},
        {0, 3, "123456"},
        {3, 7, "123456"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.src) + " -> " + std::to_string(c.dst));
        ModelFixture fixture(6);
        fixture.model->open(1820);
        PageEditorModel& model = *fixture.model;
        for (std::int32_t p = 1; p <= 6; ++p) {
            model.state().RotationState[p] = static_cast<std::uint8_t>(p % 4);
            model.setAngle(p, p * 1.5);
        }
        model.state().SplitToggles[2].pressed = true;
        model.markForDeletion(4);
        model.state().table.rows[4].pageEmpty = SetMark;
        model.MovePage(c.src, c.dst);
        ASSERT_EQ(fixture.order(), c.order);
        for (std::int32_t p = 1; p <= 6; ++p) {
            const int original = c.order[p - 1] - '0';
            EXPECT_EQ(model.turns(p), original % 4) << p;
            EXPECT_EQ(model.angle(p), original * 1.5) << p;
            EXPECT_EQ(model.pagePath(p), fixture.pagePath(original));
            EXPECT_EQ(model.markedForDeletion(p), original == 4) << p;
            EXPECT_EQ(model.markedBlank(p), original == 5) << p;
        }
        EXPECT_TRUE(model.splitTogglePressed(2));
        EXPECT_FALSE(model.splitTogglePressed(1));
    }
}

} // namespace
} // namespace folvex
