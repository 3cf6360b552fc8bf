#pragma once
// The page editor's colour pick of the white and black points and its options command: what a picked
// colour writes into the three fields of a point, and how the thumbnail size chosen in the options
// reaches the grid. Qt-free; GUI thread.

#include "pageeditor/page_editor_model.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace folvex {

inline constexpr const char* ColourPickHint = "Farbe unter Cursor abgreifen: Linksklick, Abbruch: Escape";

// The decimal texts of red (bits 0-7), green (8-15) and blue (16-23) of a colour 0x00BBGGRR; empty for
// −1, the cancelled pick.
std::optional<std::array<std::string, 3>> colourChannelTexts(std::int32_t colour);

// Asks picker (given ColourPickHint) for a colour and writes its three texts into fields; the fields
// stay as they are when the pick is cancelled. True when they were written.
bool pickPointColour(
    std::array<std::string, 3>& fields, const std::function<std::int32_t(const std::string& hint)>& picker);

// Takes the thumbnail size setting (Rotate_ThumbSize) into the model when one thumbnail still fits a
// row of clientWidth, with the column count for it; false, and the model as it was, when it does not.
bool takeThumbnailSize(PageEditorModel& model, std::int32_t clientWidth);

// The options command: runs optionsDialog (when set) to its end, then takes the thumbnail size and
// calls rebuildAll, also when nothing changed; a size that does not fit is refused with the note of
// the editor's start and the thumbnails are kept. True when they were rebuilt.
bool RunOptionsCommand(
    PageEditorModel& model,
    const std::function<void()>& optionsDialog,
    std::int32_t clientWidth,
    const std::function<void()>& rebuildAll);

} // namespace folvex
