#include "scan/destination_dialog.h"

#include "foundation/control_creation.h"
#include "foundation/window_routines.h"
#include "runtime/controls.h"
#include "runtime/input_state.h"
#include "runtime/window_events.h"

namespace folvex {

namespace {

constexpr int ClientWidthPx = 150;
constexpr int ClientHeightPx = 100;
constexpr int ButtonWidthPx = 60;
constexpr int ButtonHeightPx = 30;
constexpr int ButtonMarginPx = 5;

std::string joinedItems(const std::vector<std::string>& types)
{
    std::string items;
    for (const std::string& type : types) {
        items += (items.empty() ? "" : "|") + type;
    }
    return items;
}

} // namespace

std::optional<DestinationChoice>
runDestinationDialog(const std::vector<std::string>& types, const DestinationChoice& current, Handle font)
{
    const Handle dialog =
        openDialogWindow(std::string(DestinationDialogTitle), ClientWidthPx, ClientHeightPx);
    if (dialog == NoHandle) {
        return std::nullopt;
    }
    const Handle combo = create("COMBOBOX", dialog, joinedItems(types), 5, 5, 140, 23, font);
    ComboSelectText(combo, current.type);
    const Handle check = create("CHECKBOX", dialog, "leere Seiten entfernen", 7, 33, 160, 20, font);
    SetCheckState(check, current.discardBlank ? 1 : 0);
    const int buttonTop = ClientHeightPx - ButtonHeightPx - ButtonMarginPx;
    const Handle ok =
        create("BUTTON", dialog, "Ok", ButtonMarginPx, buttonTop, ButtonWidthPx, ButtonHeightPx, font);
    const Handle cancel = create(
        "BUTTON",
        dialog,
        "Abbruch",
        ClientWidthPx - ButtonWidthPx - ButtonMarginPx,
        buttonTop,
        ButtonWidthPx,
        ButtonHeightPx,
        font);

    std::optional<DestinationChoice> chosen;
    for (;;) {
        const auto kind = static_cast<EventKind>(WaitWindowEvent());
        if (kind == EventKind::Control && EventControl() == ok) {
            chosen = DestinationChoice{ComboText(combo), GetCheckState(check) == 1};
            break;
        }
        if ((kind == EventKind::Control && EventControl() == cancel) || kind == EventKind::CloseWindow) {
            break;
        }
        // Esc counts while this window is in front.
        if ((kind == EventKind::Key && EventType() == VkEscape && EventWindow() == dialog) ||
            KeyDown(VkEscape, 0, dialog) == 1) {
            break;
        }
    }
    closeDialogWindow(dialog);
    return chosen;
}

} // namespace folvex
