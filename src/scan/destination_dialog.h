#pragma once
// The window "Ziel temporär ändern" of the scan job: a small dialog owned by and centred over the main
// window, with the destination types, "leere Seiten entfernen", "Ok" and "Abbruch". GUI thread.

#include "scan/scan_job.h"

#include <optional>
#include <string>
#include <vector>

namespace folvex {

inline constexpr std::string_view DestinationDialogTitle = "Ziel temporär ändern";

// Shows the dialog with the types in their order (current.type shown, when among them) and the check
// box as current says, all controls in font, and waits for the user. The choice on "Ok"; nothing on
// "Abbruch", Esc or a close event of any window. The dialog is closed when it returns.
std::optional<DestinationChoice>
runDestinationDialog(const std::vector<std::string>& types, const DestinationChoice& current, Handle font);

} // namespace folvex
