#include "pageeditor/editor_tools.h"

#include "pageeditor/editor_fakes.h"
#include "pageeditor/thumbnail_grid.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <memory>

namespace folvex {
namespace {

using testing::TempDir;

TEST(EditorToolsTest, PickedColourIsSplitIntoRedGreenAndBlueTexts)
{
    struct Case
    {
        const char* label;
        std::int32_t colour;
        std::array<std::string, 3> texts;
    };

    const Case cases[] = {
        {"pure red", 0x000000FF, {"255", "0", "0"}},
        {"pure blue", 0x00FF0000, {"0", "0", "255"}},
        {"mixed", 0x00102030, {"48", "32", "16"}},
        {"black", 0, {"0", "0", "0"}},
        {"white", 0x00FFFFFF, {"255", "255", "255"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::array<std::string, 3> fields{"170", "170", "170"};
        std::string hint;
        EXPECT_TRUE(pickPointColour(fields, [&](const std::string& shown) {
            hint = shown;
            return c.colour;
        }));
        EXPECT_EQ(fields, c.texts);
        EXPECT_EQ(hint, "Farbe unter Cursor abgreifen: Linksklick, Abbruch: Escape");
    }

    std::array<std::string, 3> kept{"70", "71", "72"};
    EXPECT_FALSE(pickPointColour(kept, [](const std::string&) { return -1; }));
    EXPECT_EQ(kept, (std::array<std::string, 3>{"70", "71", "72"}));
}

TEST(EditorToolsTest, OptionsTakeAFittingSizeAndRebuildEvenWhenUnchanged)
{
    constexpr std::int32_t ClientWidthPx = 1000;

    struct Case
    {
        const char* label;
        std::int32_t newSize;
        bool taken;
    };

    // 250 is the size the editor opened with; 950 leaves no column in 1000 pixels.
    const Case cases[] = {
        {"unchanged", 250, true},
        {"smaller", 100, true},
        {"largest that fits", ClientWidthPx - 19 - 2 * GridGapXPx, true},
        {"one pixel too large", ClientWidthPx - 19 - 2 * GridGapXPx + 1, false},
        {"too large", 950, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        ShellState shell;
        allocateMainProgramTables(shell);
        shell.settingsState.settings.TmpPath = dir.path().string();
        testing::writeFile(dir.file("TmpReadyImg1.bmp"), "page");
        SystemFileOps files;
        testing::RecordingEditorUi ui;
        PageEditorModel model(shell, files, ui, 0, "PDF");
        ASSERT_FALSE(model.open(ClientWidthPx).any());
        const std::int32_t columnsBefore = model.state().GridColumns;

        int dialogs = 0;
        int rebuilds = 0;
        const bool rebuilt = RunOptionsCommand(
            model,
            [&] {
                ++dialogs;
                shell.settingsState.settings.Rotate_ThumbSize = c.newSize;
            },
            ClientWidthPx,
            [&] {
                ++rebuilds;
                EXPECT_EQ(model.state().ThumbnailSize, c.newSize);
            });
        EXPECT_EQ(dialogs, 1);
        EXPECT_EQ(rebuilt, c.taken);
        EXPECT_EQ(rebuilds, c.taken ? 1 : 0);
        if (c.taken) {
            EXPECT_TRUE(ui.notes.empty());
            EXPECT_EQ(model.state().ThumbnailSize, c.newSize);
            EXPECT_EQ(model.state().GridColumns, GridColumns(ClientWidthPx, c.newSize));
        } else {
            EXPECT_EQ(ui.notes, std::vector<std::string>{ThumbnailTooLargeNote});
            EXPECT_EQ(model.state().ThumbnailSize, 250);
            EXPECT_EQ(model.state().GridColumns, columnsBefore);
        }
    }
}

} // namespace
} // namespace folvex
