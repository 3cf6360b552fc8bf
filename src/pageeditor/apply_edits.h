#pragma once
// The two ways out of the page editor. "Anwenden" makes the pending edits physical: split flags from
// the toggles, working copies over their pages, quarter turns and free angles into the page files, the
// page files renumbered in table order with the dropped pages removed and their split points carried.
// "Abbruch" drops every working copy and angle. GUI thread; the page work may run on workers.

#include "foundation/freeimage_binding.h"
#include "pageeditor/page_editor_model.h"
#include "runtime/worker_pool.h"

#include <cstdint>
#include <string>
#include <vector>

namespace folvex {

inline constexpr const char* ApplyWaitStartText = "drehe Seite 0/0000...";
inline constexpr const char* ArrangeFailedNote =
    "Die Seiten konnten nicht neu geordnet werden; Reihenfolge und Löschmarken wurden nicht übernommen.";

// "drehe Seite p/N..."
std::string turnWaitText(std::int32_t page, std::int32_t pageCount);
// "arrangiere Seite i/N (Pass n)..."
std::string arrangeWaitText(std::int32_t row, std::int32_t pageCount, int pass);
// "Seite p konnte nicht gedreht werden (1)." and "(2).": the page could not be loaded, or not be
// turned or saved.
std::string turnFailedNote(std::int32_t page, int reason);
// "Seite p konnte nicht begradigt werden."
std::string straightenFailedNote(std::int32_t page);
// "Seite p: Die bearbeitete Fassung konnte nicht übernommen werden. Die Seite bleibt unverändert."
std::string workingCopyFailedNote(std::int32_t page);
// "Seite k konnte nicht umbenannt werden."
std::string renameFailedNote(std::int32_t page);

// The split flags of the kept pages. rowFlags[r] is the flag after row r and kept[r] whether row r
// stays (both 1-based, entry 0 unused; a missing entry reads as 0 and as dropped). Entry k of the
// result (k = 1 .. rows) is set when the flag of the k-th kept row, or of a dropped row between it and
// the next kept row, is set; flags of rows dropped before the first kept row are lost, and the last
// kept page and every entry after it get 0. The result has rows + 1 entries.
std::vector<std::uint8_t>
carrySplitFlags(const std::vector<std::uint8_t>& rowFlags, const std::vector<bool>& kept, std::int32_t rows);

// Writes flags 1 .. pageCount − 1 into PageSplitFlags, first growing it to pageCount + 1 entries when
// it is shorter; entries from pageCount on stay.
void storeSplitFlags(
    std::vector<std::uint8_t>& PageSplitFlags,
    const std::vector<std::uint8_t>& flags,
    std::int32_t pageCount);

// Applies the edits of the model. Nothing is lost on a failure: a page whose working copy, turn or
// angle cannot be written stays as it was, a failed renumbering is undone, and each failure is shown
// as a note (OK only). emptyRemoved becomes 1 when DelEmptyOnEdit is on, else 0, unless the
// renumbering failed; PageSplitFlags likewise keep their values then. The pages are turned and
// straightened on pool's workers; the notes and wait texts come in page order on the calling thread.
void ApplyEdits(
    PageEditorModel& model,
    const FreeImageFunctionTable& functions,
    WorkerPool& pool,
    std::uint8_t& emptyRemoved);

// Removes every working copy of the model's pages, sets every angle to 0.0 and returns once Esc is
// released. The page files stay as they are.
void CancelEdits(PageEditorModel& model);

} // namespace folvex
