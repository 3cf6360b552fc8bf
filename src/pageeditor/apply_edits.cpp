#include "pageeditor/apply_edits.h"

#include "imageops/raster.h"
#include "runtime/heap_tuning.h"

#include <cerrno>

namespace folvex {

namespace {

// Every pass-1 name is tried with at most this many suffixes before the rename counts as failed.
constexpr int MaxPass1Suffix = 100000;

constexpr int EscapePollMs = 25;

// The flag cells of the table's rows as "Anwenden" reads them.
bool rowKept(const PageRow& row, bool dropBlank)
{
    return !row.markedForDeletion() && !(dropBlank && row.markedBlank());
}

// What turning and straightening one page gave; the notes are shown in page order on the GUI thread.
enum class PageWorkResult
{
    Unchanged,
    Saved,
    LoadFailed,
    TurnFailed,
    AngleFailed,
    SaveFailed,
};

struct PageWork
{
    std::int32_t page = 0;
    std::string path;
    int turns = 0;
    double angleDeg = 0.0;
};

struct PageWorkOutcome
{
    PageWorkResult result = PageWorkResult::Unchanged;
    // A turn or angle that could not be made while the rest was saved.
    bool turnFailed = false;
    bool angleFailed = false;
};

// Loads the page once, applies the turns and then the angle in memory and saves it once; the page
// file is replaced only by a complete new file. Runs on a worker.
PageWorkOutcome
turnAndStraighten(FileOps& files, const FreeImageFunctionTable& functions, const PageWork& work)
{
    PageWorkOutcome outcome;
    if (work.turns == 0 && work.angleDeg == 0.0) {
        return outcome;
    }
    FreeImageBitmap image = ownFreeImage(functions, files.loadBmp(work.path));
    if (!image) {
        outcome.result = PageWorkResult::LoadFailed;
        return outcome;
    }
    bool changed = false;
    if (work.turns != 0) {
        FreeImageBitmap turned = QuarterTurn(functions, image.get(), work.turns);
        if (turned) {
            image = std::move(turned);
            changed = true;
        } else {
            outcome.turnFailed = true;
        }
    }
    if (work.angleDeg != 0.0) {
        FreeImageBitmap rotated = RotateCropWhite(functions, image.get(), work.angleDeg);
        if (rotated) {
            image = std::move(rotated);
            changed = true;
        } else {
            outcome.angleFailed = true;
        }
    }
    if (!changed) {
        outcome.result = outcome.turnFailed ? PageWorkResult::TurnFailed : PageWorkResult::AngleFailed;
        return outcome;
    }
    outcome.result =
        files.saveBmp(image.get(), work.path) ? PageWorkResult::Saved : PageWorkResult::SaveFailed;
    return outcome;
}

void showPageWorkNotes(EditorUi& ui, const PageWork& work, const PageWorkOutcome& outcome)
{
    switch (outcome.result) {
        case PageWorkResult::Unchanged:
            return;
        case PageWorkResult::LoadFailed:
            ui.showNote(work.turns != 0 ? turnFailedNote(work.page, 1) : straightenFailedNote(work.page));
            return;
        case PageWorkResult::SaveFailed:
            ui.showNote(work.turns != 0 ? turnFailedNote(work.page, 2) : straightenFailedNote(work.page));
            return;
        case PageWorkResult::Saved:
        case PageWorkResult::TurnFailed:
        case PageWorkResult::AngleFailed:
            break;
    }
    if (outcome.turnFailed) {
        ui.showNote(turnFailedNote(work.page, 2));
    }
    if (outcome.angleFailed) {
        ui.showNote(straightenFailedNote(work.page));
    }
}

std::string pass1Name(const std::string& tmpPath, std::int32_t row, int suffix)
{
    std::string name = tmpPath + "/TmpReadyImg_1_" + std::to_string(row);
    if (suffix > 0) {
        name += "_" + std::to_string(suffix);
    }
    return name + ".bmp";
}

// Renames the page file of a row to its pass-1 name, the lowest free one; the name, or empty on failure.
std::string
moveToPass1Name(FileOps& files, const std::string& tmpPath, std::int32_t row, const std::string& from)
{
    for (int suffix = 0; suffix < MaxPass1Suffix; ++suffix) {
        const std::string to = pass1Name(tmpPath, row, suffix);
        const Expected<void> renamed = files.renameNoReplace(from, to);
        if (renamed) {
            return to;
        }
        if (renamed.error().code != EEXIST) {
            return {};
        }
    }
    return {};
}

// Pass 1 moves every row's file out of the way of the final names; on a failure the files moved so far
// go back, so the pages stay as they were. The pass-1 names, or an empty list on failure.
std::vector<std::string> arrangePass1(PageEditorModel& model)
{
    FileOps& files = model.files();
    EditorUi& ui = model.ui();
    const std::int32_t count = model.PageCount();
    std::vector<std::string> moved;
    ui.openWait(arrangeWaitText(count, count, 1));
    for (std::int32_t i = 1; i <= count; ++i) {
        ui.setWaitText(arrangeWaitText(i, count, 1));
        std::string name = moveToPass1Name(files, model.state().TmpPath, i, model.pagePath(i));
        if (name.empty()) {
            for (std::size_t back = 0; back < moved.size(); ++back) {
                // A file that cannot go back keeps its pass-1 name, which the next collection takes as
                // a page.
                (void)files.renameNoReplace(moved[back], model.pagePath(static_cast<std::int32_t>(back) + 1));
            }
            ui.closeWait();
            ui.showNote(ArrangeFailedNote);
            return {};
        }
        moved.push_back(std::move(name));
    }
    ui.closeWait();
    return moved;
}

// Pass 2 gives the kept rows their final names 1 .. K without gaps and removes the dropped rows'
// files. A kept row whose rename fails keeps its pass-1 name and counts as dropped here, so the pages
// after it close the gap; the next collection finds it again. Returns the rows that got a final name.
std::vector<bool>
arrangePass2(PageEditorModel& model, const std::vector<std::string>& pass1, const std::vector<bool>& kept)
{
    FileOps& files = model.files();
    EditorUi& ui = model.ui();
    const std::int32_t count = model.PageCount();
    std::vector<bool> placed(kept.size(), false);
    ui.openWait(arrangeWaitText(count, count, 2));
    std::int32_t k = 0;
    for (std::int32_t i = 1; i <= count; ++i) {
        ui.setWaitText(arrangeWaitText(i, count, 2));
        const auto index = static_cast<std::size_t>(i);
        const std::string& from = pass1[index - 1];
        if (kept[index]) {
            const std::string to = model.state().TmpPath + "/TmpReadyImg" + std::to_string(k + 1) + ".bmp";
            if (files.renameNoReplace(from, to)) {
                ++k;
                placed[index] = true;
            } else {
                ui.showNote(renameFailedNote(k + 1));
            }
        } else {
            files.remove(from);
        }
    }
    ui.closeWait();
    return placed;
}

} // namespace

std::string turnWaitText(std::int32_t page, std::int32_t pageCount)
{
    return "drehe Seite " + std::to_string(page) + "/" + std::to_string(pageCount) + "...";
}

std::string arrangeWaitText(std::int32_t row, std::int32_t pageCount, int pass)
{
    return "arrangiere Seite " + std::to_string(row) + "/" + std::to_string(pageCount) + " (Pass " +
           std::to_string(pass) + ")...";
}

std::string turnFailedNote(std::int32_t page, int reason)
{
    return "Seite " + std::to_string(page) + " konnte nicht gedreht werden (" + std::to_string(reason) + ").";
}

std::string straightenFailedNote(std::int32_t page)
{
    return "Seite " + std::to_string(page) + " konnte nicht begradigt werden.";
}

std::string workingCopyFailedNote(std::int32_t page)
{
    return "Seite " + std::to_string(page) +
           ": Die bearbeitete Fassung konnte nicht übernommen werden. Die Seite bleibt unverändert.";
}

std::string renameFailedNote(std::int32_t page)
{
    return "Seite " + std::to_string(page) + " konnte nicht umbenannt werden.";
}

std::vector<std::uint8_t>
carrySplitFlags(const std::vector<std::uint8_t>& rowFlags, const std::vector<bool>& kept, std::int32_t rows)
{
    std::vector<std::uint8_t> flags(static_cast<std::size_t>(std::max(rows, 0)) + 1, 0);
    std::size_t k = 0;
    for (std::int32_t r = 1; r <= rows; ++r) {
        const auto index = static_cast<std::size_t>(r);
        const bool flag = index < rowFlags.size() && rowFlags[index] != 0;
        if (index < kept.size() && kept[index]) {
            ++k;
            flags[k] = flag ? 1 : 0;
        } else if (k > 0 && flag) {
            flags[k] = 1;
        }
    }
    if (k > 0) {
        flags[k] = 0;
    }
    return flags;
}

void storeSplitFlags(
    std::vector<std::uint8_t>& PageSplitFlags, const std::vector<std::uint8_t>& flags, std::int32_t pageCount)
{
    if (pageCount < 1) {
        return;
    }
    const auto entries = static_cast<std::size_t>(pageCount) + 1;
    if (PageSplitFlags.size() < entries) {
        PageSplitFlags.resize(entries, 0);
    }
    for (std::size_t p = 1; p < static_cast<std::size_t>(pageCount); ++p) {
        PageSplitFlags[p] = p < flags.size() ? flags[p] : 0;
    }
}

void ApplyEdits(
    PageEditorModel& model,
    const FreeImageFunctionTable& functions,
    WorkerPool& pool,
    std::uint8_t& emptyRemoved)
{
    FileOps& files = model.files();
    EditorUi& ui = model.ui();
    const std::int32_t count = model.PageCount();

    std::vector<std::uint8_t> rowFlags(static_cast<std::size_t>(count) + 1, 0);
    for (std::int32_t p = 1; p < count; ++p) {
        rowFlags[static_cast<std::size_t>(p)] = model.splitTogglePressed(p) ? 1 : 0;
    }

    // A working copy replaces its page in one rename; a page whose copy stays keeps its turns and
    // angle unapplied too, so it is as the note says: unchanged.
    std::vector<bool> untouched(static_cast<std::size_t>(count) + 1, false);
    for (std::int32_t p = 1; p <= count; ++p) {
        const std::string page = model.pagePath(p);
        const std::string copy = workingCopyPath(page);
        if (files.exists(copy) && !files.renameOver(copy, page)) {
            untouched[static_cast<std::size_t>(p)] = true;
            ui.showNote(workingCopyFailedNote(p));
        }
    }

    // Pages are independent: each is loaded, turned, straightened and saved on a worker, and the
    // results are taken here in page order, so texts and notes come as from one thread.
    std::vector<PageWork> works(static_cast<std::size_t>(count));
    for (std::int32_t p = 1; p <= count; ++p) {
        PageWork& work = works[static_cast<std::size_t>(p - 1)];
        work.page = p;
        work.path = model.pagePath(p);
        if (!untouched[static_cast<std::size_t>(p)]) {
            work.turns = model.turns(p) % 4;
            work.angleDeg = model.angle(p);
        }
    }
    ui.openWait(ApplyWaitStartText);
    runInOrder<PageWorkOutcome>(
        pool,
        works.size(),
        std::size_t{2} * pool.workerCount(),
        [&](std::size_t index) -> Expected<PageWorkOutcome> {
            return turnAndStraighten(files, functions, works[index]);
        },
        [&](JobOutcome<PageWorkOutcome>&& outcome) {
            const PageWork& work = works[outcome.index];
            ui.setWaitText(turnWaitText(work.page, count));
            if (outcome.result) {
                showPageWorkNotes(ui, work, outcome.result.value());
            } else {
                ui.showNote(work.turns != 0 ? turnFailedNote(work.page, 2) : straightenFailedNote(work.page));
            }
            return true;
        });
    ui.closeWait();
    // The workers' heaps kept the page images' memory from page to page; the pages are done.
    releaseFreeHeapMemory();

    const bool dropBlank = model.DelEmptyOnEdit() != 0;
    std::vector<bool> kept(static_cast<std::size_t>(count) + 1, false);
    for (std::int32_t p = 1; p <= count; ++p) {
        kept[static_cast<std::size_t>(p)] =
            rowKept(model.state().table.rows[static_cast<std::size_t>(p - 1)], dropBlank);
    }
    const std::vector<std::string> pass1 = arrangePass1(model);
    if (pass1.size() != static_cast<std::size_t>(count)) {
        return;
    }
    const std::vector<bool> placed = arrangePass2(model, pass1, kept);
    storeSplitFlags(model.shell().PageSplitFlags, carrySplitFlags(rowFlags, placed, count), count);
    emptyRemoved = dropBlank ? 1 : 0;
}

void CancelEdits(PageEditorModel& model)
{
    FileOps& files = model.files();
    for (std::int32_t p = 1; p <= model.PageCount(); ++p) {
        const std::string copy = workingCopyPath(model.pagePath(p));
        if (files.exists(copy)) {
            files.remove(copy);
        }
        model.setAngle(p, 0.0);
    }
    while (model.ui().escapeDown()) {
        model.ui().pauseMs(EscapePollMs);
    }
}

} // namespace folvex
