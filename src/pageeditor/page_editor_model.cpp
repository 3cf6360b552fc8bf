#include "pageeditor/page_editor_model.h"

#include "imageops/raster.h"

#include <algorithm>

namespace folvex {

void growPageCapacity(std::int32_t& capacity, std::int32_t pageCount)
{
    while (pageCount > capacity) {
        capacity += PageCapacityStep;
    }
}

PageEditorModel::PageEditorModel(
    ShellState& shell,
    FileOps& files,
    EditorUi& ui,
    std::int32_t detectBlank,
    const std::string& destinationType)
    : m_shell(shell)
    , m_files(files)
    , m_ui(ui)
{
    m_state.detectBlank = detectBlank;
    m_state.destinationType = destinationType;
}

EditorRefusals PageEditorModel::open(std::int32_t clientWidth)
{
    const Settings& settings = m_shell.settingsState.settings;
    m_state.TmpPath = settings.TmpPath;
    m_state.ThumbnailSize = settings.Rotate_ThumbSize;
    m_state.table = collectPages(m_files, m_state.TmpPath);
    const std::int32_t count = PageCount();
    growPageCapacity(m_shell.PageCapacity, count);
    const auto entries = static_cast<std::size_t>(count) + 1;
    m_state.RotationState.assign(entries, 0);
    m_state.StraightenAngle.assign(entries, 0.0);
    m_state.SplitToggles.assign(entries, SplitToggleState{});
    if (destinationTypeSplits(m_state.destinationType)) {
        const std::vector<std::uint8_t>& flags = m_shell.PageSplitFlags;
        for (std::int32_t p = 1; p < count; ++p) {
            const auto index = static_cast<std::size_t>(p);
            m_state.SplitToggles[index] = {true, index < flags.size() && flags[index] != 0};
        }
    }
    m_state.GridColumns = folvex::GridColumns(clientWidth, m_state.ThumbnailSize);
    return editorRefusals(count, m_state.ThumbnailSize, clientWidth);
}

PageRow* PageEditorModel::row(std::int32_t page)
{
    return valid(page) ? &m_state.table.rows[static_cast<std::size_t>(page - 1)] : nullptr;
}

const PageRow* PageEditorModel::row(std::int32_t page) const
{
    return valid(page) ? &m_state.table.rows[static_cast<std::size_t>(page - 1)] : nullptr;
}

void PageEditorModel::markForDeletion(std::int32_t page)
{
    if (PageRow* r = row(page)) {
        r->toBeDeleted = SetMark;
    }
}

void PageEditorModel::unmarkForDeletion(std::int32_t page)
{
    if (PageRow* r = row(page)) {
        r->toBeDeleted = ClearedMark;
    }
}

void PageEditorModel::clearBlankMark(std::int32_t page)
{
    if (PageRow* r = row(page)) {
        r->pageEmpty = ClearedMark;
    }
}

bool PageEditorModel::isEdited(std::int32_t page)
{
    const PageRow* r = row(page);
    return r != nullptr &&
           (turns(page) != 0 || angle(page) != 0.0 || m_files.exists(workingCopyPath(r->path)));
}

void PageEditorModel::markUnchanged()
{
    m_unchangedRows = m_state.table.rows;
    m_unchangedToggles.assign(m_state.SplitToggles.size(), false);
    for (std::size_t p = 0; p < m_state.SplitToggles.size(); ++p) {
        m_unchangedToggles[p] = m_state.SplitToggles[p].pressed;
    }
}

bool PageEditorModel::hasPendingEdits()
{
    const std::vector<PageRow>& rows = m_state.table.rows;
    if (rows.size() != m_unchangedRows.size()) {
        return true;
    }
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const PageRow& now = rows[r];
        const PageRow& before = m_unchangedRows[r];
        if (now.path != before.path || now.markedForDeletion() != before.markedForDeletion() ||
            now.markedBlank() != before.markedBlank() || isEdited(static_cast<std::int32_t>(r) + 1)) {
            return true;
        }
    }
    for (std::size_t p = 0; p < m_state.SplitToggles.size() && p < m_unchangedToggles.size(); ++p) {
        if (m_state.SplitToggles[p].pressed != m_unchangedToggles[p]) {
            return true;
        }
    }
    return false;
}

void PageEditorModel::restorePage(std::int32_t page)
{
    const PageRow* r = row(page);
    if (r == nullptr) {
        return;
    }
    const std::string copy = workingCopyPath(r->path);
    if (m_files.exists(copy)) {
        m_files.remove(copy);
    }
    m_state.RotationState[static_cast<std::size_t>(page)] = 0;
    m_state.StraightenAngle[static_cast<std::size_t>(page)] = 0.0;
}

void PageEditorModel::turnRight(std::int32_t page)
{
    if (valid(page)) {
        std::uint8_t& state = m_state.RotationState[static_cast<std::size_t>(page)];
        state = static_cast<std::uint8_t>((state + 1) % 4);
    }
}

void PageEditorModel::turnLeft(std::int32_t page)
{
    if (valid(page)) {
        std::uint8_t& state = m_state.RotationState[static_cast<std::size_t>(page)];
        state = static_cast<std::uint8_t>((state + 3) % 4);
    }
}

void PageEditorModel::turnAllPages(std::int32_t turns)
{
    // ((turns mod 4) + 4) mod 4 keeps a negative count a count of clockwise turns.
    const int add = ((turns % 4) + 4) % 4;
    for (std::int32_t p = 1; p <= PageCount(); ++p) {
        std::uint8_t& state = m_state.RotationState[static_cast<std::size_t>(p)];
        state = static_cast<std::uint8_t>((state + add) % 4);
    }
}

void PageEditorModel::setAngle(std::int32_t page, double angleDeg)
{
    if (valid(page)) {
        m_state.StraightenAngle[static_cast<std::size_t>(page)] = angleDeg;
    }
}

void PageEditorModel::MovePage(std::int32_t src, std::int32_t dst)
{
    if (!valid(src) || !valid(dst) || src == dst) {
        return;
    }
    const auto moveOne = [src, dst](auto& container, std::ptrdiff_t offset) {
        const auto at = [&](std::int32_t position) { return container.begin() + (position + offset); };
        if (src < dst) {
            std::rotate(at(src), at(src) + 1, at(dst) + 1);
        } else {
            std::rotate(at(dst), at(src), at(src) + 1);
        }
    };
    moveOne(m_state.table.rows, -1);
    moveOne(m_state.RotationState, 0);
    moveOne(m_state.StraightenAngle, 0);
}

std::string PageEditorModel::pagePath(std::int32_t page) const
{
    const PageRow* r = row(page);
    return r != nullptr ? r->path : std::string();
}

bool PageEditorModel::markedForDeletion(std::int32_t page) const
{
    const PageRow* r = row(page);
    return r != nullptr && r->markedForDeletion();
}

bool PageEditorModel::markedBlank(std::int32_t page) const
{
    const PageRow* r = row(page);
    return r != nullptr && r->markedBlank();
}

std::uint8_t PageEditorModel::turns(std::int32_t page) const
{
    return valid(page) ? m_state.RotationState[static_cast<std::size_t>(page)] : std::uint8_t{0};
}

double PageEditorModel::angle(std::int32_t page) const
{
    return valid(page) ? m_state.StraightenAngle[static_cast<std::size_t>(page)] : 0.0;
}

std::string PageEditorModel::dpiText(std::int32_t page) const
{
    const PageRow* r = row(page);
    return r != nullptr ? r->dpi : std::string();
}

void PageEditorModel::setDpiText(std::int32_t page, const std::string& text)
{
    if (PageRow* r = row(page)) {
        r->dpi = text;
    }
}

std::string PageEditorModel::whitePointText(PointChannel channel) const
{
    return m_state.WhitePointFields[static_cast<std::size_t>(channel)];
}

std::string PageEditorModel::blackPointText(PointChannel channel) const
{
    return m_state.BlackPointFields[static_cast<std::size_t>(channel)];
}

bool PageEditorModel::splitToggleExists(std::int32_t page) const
{
    return page >= 1 && page < PageCount() && m_state.SplitToggles[static_cast<std::size_t>(page)].exists;
}

bool PageEditorModel::splitTogglePressed(std::int32_t page) const
{
    return splitToggleExists(page) && m_state.SplitToggles[static_cast<std::size_t>(page)].pressed;
}

std::int32_t PageEditorModel::DelEmptyOnEdit() const
{
    return m_shell.settingsState.settings.DelEmptyOnEdit;
}

std::int32_t PageEditorModel::RefPicX() const
{
    return m_shell.settingsState.settings.RefPicX;
}

std::int32_t PageEditorModel::RefPicY() const
{
    return m_shell.settingsState.settings.RefPicY;
}

std::int32_t PageEditorModel::RefPicCutoff() const
{
    return m_shell.settingsState.settings.RefPicCutoff;
}

} // namespace folvex
