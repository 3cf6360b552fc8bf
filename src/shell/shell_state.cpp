#include "shell/shell_state.h"

#include "foundation/freeimage_messages.h"

#include <algorithm>

namespace folvex {

void allocateMainProgramTables(ShellState& state)
{
    state.PageSplitFlags.assign(10001, 0);
    Settings& settings = state.settingsState.settings;
    settings.ExternalEditors.EditorName.assign(2, std::string());
    settings.ExternalEditors.EditorPath.assign(2, std::string());
    settings.ExternalEditors.EditorWait.assign(2, 0);
    state.DestinationTypes.assign(101, std::string());
}

void fillDestinationTypes(ShellState& state)
{
    if (state.DestinationTypes.size() < 101) {
        state.DestinationTypes.resize(101);
    }
    std::int32_t index = 0;
    for (const std::string_view name : DestinationTypeNames) {
        ++index;
        state.DestinationTypes[static_cast<std::size_t>(index)] = std::string(name);
    }
    state.DestinationTypeCount = index;
}

ScreenRect chooseRestoredRect(
    const ScreenRect& saved, const ScreenRect& startRect, const std::vector<ScreenRect>& screens)
{
    if (saved.right <= saved.left || saved.bottom <= saved.top) {
        return startRect;
    }
    const bool visible = std::any_of(screens.begin(), screens.end(), [&saved](const ScreenRect& screen) {
        return saved.left < screen.right && screen.left < saved.right && saved.top < screen.bottom &&
               screen.top < saved.bottom;
    });
    return visible ? saved : startRect;
}

void DLL_CALLCONV FreeImageErrorHandler(FREE_IMAGE_FORMAT /*format*/, const char* message)
{
    deliverFreeImageMessage(message);
}

} // namespace folvex
