#pragma once
// The page editor's model: the table of pages and, per page position, the pending quarter turns,
// free angles and split-toggle states, the point-field texts and the grid values of one editor run,
// with the page commands that change them. It is the context the page operations get. GUI thread.

#include "imageops/page_op_context.h"
#include "pageeditor/page_table.h"
#include "pageeditor/thumbnail_grid.h"
#include "runtime/file_ops.h"
#include "shell/shell_state.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace folvex {

// The per-page arrays of the shell grow by this many pages at a time.
inline constexpr std::int32_t PageCapacityStep = 25;

inline constexpr const char* WhitePointDefault = "170";
inline constexpr const char* BlackPointDefault = "70";

// Raises capacity by PageCapacityStep until it holds pageCount; never lowers it.
void growPageCapacity(std::int32_t& capacity, std::int32_t pageCount);

struct SplitToggleState
{
    bool exists = false;
    bool pressed = false;
};

// The values of one editor run. The per-page vectors are 1-based with PageCount + 1 entries.
struct PageEditorState
{
    PageTable table;
    std::vector<std::uint8_t> RotationState;    // clockwise quarter turns, 0..3
    std::vector<double> StraightenAngle;        // degrees, counter-clockwise positive
    std::vector<SplitToggleState> SplitToggles; // entry p: the toggle between pages p and p + 1
    std::array<std::string, 3> WhitePointFields{WhitePointDefault, WhitePointDefault, WhitePointDefault};
    std::array<std::string, 3> BlackPointFields{BlackPointDefault, BlackPointDefault, BlackPointDefault};
    std::int32_t ThumbnailSize = 0;
    std::int32_t GridGapX = GridGapXPx;
    std::int32_t GridGapY = GridGapYPx;
    std::int32_t GridColumns = 0;
    std::int32_t detectBlank = 0;
    std::string TmpPath;         // taken at opening, no trailing "/"
    std::string destinationType; // taken at opening
};

class PageEditorModel final : public PageOpContext
{
public:
    // detectBlank and the destination type as the editor is opened with them. Nothing is read yet.
    PageEditorModel(
        ShellState& shell,
        FileOps& files,
        EditorUi& ui,
        std::int32_t detectBlank,
        const std::string& destinationType);

    // Takes TmpPath and the thumbnail edge from the settings, collects the pages of TmpPath (removing
    // left-over working copies), sizes the per-page vectors, raises the shell's PageCapacity when needed,
    // starts the split toggles from the shell's split flags (destination types that split only), and computes
    // GridColumns for the client width. Returns what refuses the editor, if anything.
    EditorRefusals open(std::int32_t clientWidth);

    PageEditorState& state() { return m_state; }

    const PageEditorState& state() const { return m_state; }

    ShellState& shell() { return m_shell; }

    FileOps& files() { return m_files; }

    // The grid of this run.
    ThumbnailGrid grid() const { return {m_state.ThumbnailSize, m_state.GridColumns, PageCount()}; }

    // Page commands; a page number outside 1 .. PageCount() does nothing.
    void markForDeletion(std::int32_t page);
    void unmarkForDeletion(std::int32_t page);
    void clearBlankMark(std::int32_t page);
    // True when the page has a working copy, pending turns or an angle other than 0.0.
    bool isEdited(std::int32_t page);
    // Drops the working copy, the turns and the angle of the page.
    void restorePage(std::int32_t page);
    void turnRight(std::int32_t page);
    void turnLeft(std::int32_t page);
    // Adds turns clockwise quarter turns (taken mod 4) to every page.
    void turnAllPages(std::int32_t turns);
    void setAngle(std::int32_t page, double angleDeg);
    // Takes the pages' order, marks and split toggles as they stand as the state with nothing pending
    // (after the first thumbnail build, whose blank test sets marks).
    void markUnchanged();
    // True when "Abbruch" would throw something away: a working copy, a turn or an angle of a page, or
    // an order, a mark or a split toggle other than at markUnchanged.
    bool hasPendingEdits();
    // Moves the page of position src to position dst; the pages between shift by one. Row, turns and
    // angle move with the page; the split toggles stay with their positions.
    void MovePage(std::int32_t src, std::int32_t dst);

    // PageOpContext.
    std::int32_t PageCount() const override { return m_state.table.PageCount(); }

    std::string pagePath(std::int32_t page) const override;
    bool markedForDeletion(std::int32_t page) const override;
    bool markedBlank(std::int32_t page) const override;
    std::uint8_t turns(std::int32_t page) const override;
    double angle(std::int32_t page) const override;
    std::string dpiText(std::int32_t page) const override;
    void setDpiText(std::int32_t page, const std::string& text) override;
    std::string whitePointText(PointChannel channel) const override;
    std::string blackPointText(PointChannel channel) const override;

    const std::string& destinationType() const override { return m_state.destinationType; }

    bool splitToggleExists(std::int32_t page) const override;
    bool splitTogglePressed(std::int32_t page) const override;
    std::int32_t DelEmptyOnEdit() const override;
    std::int32_t RefPicX() const override;
    std::int32_t RefPicY() const override;
    std::int32_t RefPicCutoff() const override;

    EditorUi& ui() override { return m_ui; }

    TextRenderer* textRenderer() override { return m_textRenderer; }

    // The renderer the page operations draw text with; the editor window sets it once.
    void setTextRenderer(TextRenderer* renderer) { m_textRenderer = renderer; }

private:
    bool valid(std::int32_t page) const { return page >= 1 && page <= PageCount(); }

    PageRow* row(std::int32_t page);
    const PageRow* row(std::int32_t page) const;

    ShellState& m_shell;
    FileOps& m_files;
    EditorUi& m_ui;
    TextRenderer* m_textRenderer = nullptr;
    PageEditorState m_state;
    // The rows and toggles as markUnchanged found them.
    std::vector<PageRow> m_unchangedRows;
    std::vector<bool> m_unchangedToggles;
};

} // namespace folvex
