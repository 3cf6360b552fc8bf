#include "pageeditor/editor_tools.h"

#include "pageeditor/thumbnail_grid.h"

namespace folvex {

std::optional<std::array<std::string, 3>> colourChannelTexts(std::int32_t colour)
{
    if (colour == -1) {
        return std::nullopt;
    }
    const auto bits = static_cast<std::uint32_t>(colour);
    return std::array<std::string, 3>{
        std::to_string(bits & 0xFFU), std::to_string(bits >> 8 & 0xFFU), std::to_string(bits >> 16 & 0xFFU)};
}

bool pickPointColour(
    std::array<std::string, 3>& fields, const std::function<std::int32_t(const std::string& hint)>& picker)
{
    const std::optional<std::array<std::string, 3>> texts = colourChannelTexts(picker(ColourPickHint));
    if (!texts) {
        return false;
    }
    fields = *texts;
    return true;
}

bool takeThumbnailSize(PageEditorModel& model, std::int32_t clientWidth)
{
    const std::int32_t size = model.shell().settingsState.settings.Rotate_ThumbSize;
    const std::int32_t columns = GridColumns(clientWidth, size);
    if (columns < 1) {
        return false;
    }
    model.state().ThumbnailSize = size;
    model.state().GridColumns = columns;
    return true;
}

bool RunOptionsCommand(
    PageEditorModel& model,
    const std::function<void()>& optionsDialog,
    std::int32_t clientWidth,
    const std::function<void()>& rebuildAll)
{
    if (optionsDialog) {
        optionsDialog();
    }
    if (!takeThumbnailSize(model, clientWidth)) {
        model.ui().showNote(ThumbnailTooLargeNote);
        return false;
    }
    rebuildAll();
    return true;
}

} // namespace folvex
